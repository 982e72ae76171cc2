#include "PanelFixture.h"

#include <QHostAddress>
#include <QTest>

#include "PanelRouter.h"
#include "core/Paths.h"
#include "core/XmlReader.h"
#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakeAmiServer.h"
#include "testsupport/FakePbx.h"
#include "testsupport/TestDataDir.h"

namespace {

constexpr int kWaitMs = 10000;

void setKey(XmlReader &xml, const char *section, const char *key, const QString &value)
{
    xml.addValue(QLatin1String(key), value, QLatin1String(section));
    xml.setValue(QLatin1String(key), value, QLatin1String(section));
}

bool isPing(const QStringList &action)
{
    return FakeAmiServer::valueOf(action, QStringLiteral("Action")) == QLatin1String("Ping");
}

} // namespace

PanelFixture::PanelFixture(const Options &options)
    : m_data(std::make_unique<TestDataDir>())
    , m_iax(std::make_unique<FakePbx>())
    , m_server(std::make_unique<FakeAmiServer>())
{
    m_iax->addUser(QStringLiteral("201"), QStringLiteral("secret"));
    {
        XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
        xml.createRoot(QStringLiteral("quorer"));
        setKey(xml, "agent", "server", QStringLiteral("127.0.0.1"));
        setKey(xml, "agent", "port", QString::number(m_iax->port()));
        setKey(xml, "agent", "uname", QStringLiteral("201"));
        setKey(xml, "agent", "passwd", TQuorSettings::scramblePassword(QStringLiteral("secret")));
        setKey(xml, "options", "vm_preffix", options.vmPrefix);
        setKey(xml, "manager", "use_freepbx", options.freePbx ? QStringLiteral("yes") : QStringLiteral("no"));
        xml.save();
    }
    if (!options.groupsFile.isEmpty())
        m_data->write(QStringLiteral("extgroups.xml"), options.groupsFile);

    m_settings = std::make_unique<TQuorSettings>();
    TQuorPhone::Options phoneOptions;
    phoneOptions.voip.engine.bindAddress = "127.0.0.1";
    phoneOptions.voip.engine.port = 0;
    phoneOptions.voip.useSoundCard = false;
    phoneOptions.clickToDialPort = -1;
    m_phone = std::make_unique<TQuorPhone>(m_settings.get(), phoneOptions);
    m_phone->setExitFunction([](int) {});
    m_groups = std::make_unique<TQuorGroupsEdit>();
    m_panel = std::make_unique<QuorExtensions>(m_phone.get(), m_settings.get(), m_groups.get());
    m_socket = std::make_unique<ManagerSocket>();
    m_router = std::make_unique<PanelRouter>(m_socket.get(), m_panel.get(), m_groups.get());

    QObject::connect(m_socket.get(), &ManagerSocket::UserEvent, m_socket.get(), [this](const QStringList &event) {
        if (ManagerSocket::getValue(QStringLiteral("UserEvent"), event) == QLatin1String("Sync"))
            m_seen = ManagerSocket::getValue(QStringLiteral("Mark"), event).toInt();
    });
    m_server->listen();
    m_server->addResponder(QStringLiteral("Ping"), [](const QStringList &action) {
        return "Event: UserEvent\r\nUserEvent: Sync\r\nMark: "
            + FakeAmiServer::valueOf(action, QStringLiteral("ActionID")).toLatin1() + "\r\n\r\n";
    });
    for (const char *action : { "Login", "Command", "SIPShowPeer", "MailBoxCount", "DBGet", "QueueStatus" })
        m_server->addResponder(QLatin1String(action), [this](const QStringList &a) { return pbx.answer(a); });
}

PanelFixture::~PanelFixture()
{
    m_router.reset();
    m_socket.reset();
    m_panel.reset();
    m_groups.reset();
    m_phone.reset();
    m_settings.reset();
}

bool PanelFixture::login()
{
    m_socket->connectToHost(QHostAddress::LocalHost, m_server->port());
    if (!QTest::qWaitFor([this] { return m_router->loggedIn(); }, kWaitMs))
        return false;
    // Each answer may ask for more; done when a round trip brings no new request.
    qsizetype before = -1;
    while (before != m_server->actions().size()) {
        before = m_server->actions().size();
        sync();
        ++before; // the ping itself
    }
    return true;
}

bool PanelFixture::drop()
{
    m_server->dropClient();
    return QTest::qWaitFor([this] { return m_socket->state() == QAbstractSocket::UnconnectedState; }, kWaitMs);
}

void PanelFixture::push(const QStringList &event)
{
    m_server->sendMessage(event);
    sync();
}

void PanelFixture::pushRaw(const QByteArray &bytes)
{
    m_server->sendRaw(bytes);
    sync();
}

void PanelFixture::sync()
{
    const int mark = ++m_mark;
    m_socket->sendCommand(QStringLiteral("Action: Ping\r\nActionID: %1\r\n\r\n").arg(mark));
    if (!QTest::qWaitFor([&] { return m_seen >= mark; }, kWaitMs))
        qWarning("PanelFixture: no answer to sync mark %d", mark);
}

QuorAgent *PanelFixture::tile(const QString &extension, const QString &tech) const
{
    for (QuorAgent *t : std::as_const(m_panel->tiles)) {
        if (t->extension == extension && t->tech == tech)
            return t;
    }
    return nullptr;
}

Channel *PanelFixture::record(const QString &uniqueid) const
{
    for (Channel *c : std::as_const(*m_panel->channels)) {
        if (c->uniqueid == uniqueid)
            return c;
    }
    return nullptr;
}

QStringList PanelFixture::takeSent()
{
    QStringList texts;
    const QList<QStringList> actions = m_server->actions();
    for (qsizetype i = m_sentCount; i < actions.size(); ++i) {
        if (!isPing(actions.at(i)))
            texts << actions.at(i).join(QLatin1String("\r\n")) + QLatin1String("\r\n\r\n");
    }
    m_sentCount = actions.size();
    return texts;
}
