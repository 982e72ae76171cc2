#include "ManagerFixture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include "core/Logger.h"
#include "core/Paths.h"
#include "core/XmlReader.h"
#include "ami/ManagerSocket.h"
#include "mainwindow/BoxRunner.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

ManagerFixture::ManagerFixture()
{
    // The shipped files (the administrator password among them) lie beside
    // the binary; the data directory is the fixture's own.
    const QString dataDir = Paths::dataDir();
    Paths::init();
    Paths::setDataDir(dataDir);
    Logger::setProgramLog(QStringLiteral("quorer.log"));
    BoxRunner::set([this](QMessageBox *box) { boxes << box->text(); });
    TQuorSettings::setErrorBoxHandler([this](const QString &, const QString &text) { boxes << text; });
    ami.listen();
}

ManagerFixture::~ManagerFixture()
{
    manager.reset();
    phone.reset();
    settings.reset();
    BoxRunner::set({});
    TQuorSettings::setErrorBoxHandler({});
}

void ManagerFixture::writeKeys(const Keys &keys)
{
    XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
    xml.createRoot(QStringLiteral("quorer"));
    for (const auto &k : keys) {
        const QString section = k.first.section(QLatin1Char('/'), 0, 0);
        const QString key = k.first.section(QLatin1Char('/'), 1);
        xml.addValue(key, k.second, section);
        xml.setValue(key, k.second, section);
    }
    QVERIFY(xml.save());
}

void ManagerFixture::start(const Keys &keys)
{
    writeKeys(Keys { { QStringLiteral("manager/use_phone_ip"), QStringLiteral("no") },
                  { QStringLiteral("manager/server"), QStringLiteral("127.0.0.1") },
                  { QStringLiteral("manager/port"), QString::number(ami.port()) } }
        + keys);
    settings = std::make_unique<TQuorSettings>();
    TQuorPhone::Options options;
    options.voip.engine.bindAddress = "127.0.0.1";
    options.voip.engine.port = 0;
    options.voip.useSoundCard = false;
    options.clickToDialPort = -1;
    phone = std::make_unique<TQuorPhone>(settings.get(), options);
    phone->setExitFunction([this](int status) { exits << status; });
    manager = std::make_unique<TQuorManager>(phone.get(), settings.get());
}

void ManagerFixture::applyManagerPage(const QString &widget, const QString &value)
{
    settings->buttonAdmin->click();
    settings->editLockPassword->setText(QStringLiteral("fendro"));
    settings->settingsApply();
    settings->buttonManager->click();
    if (auto *edit = settings->findChild<QLineEdit *>(widget))
        edit->setText(value);
    else if (auto *box = settings->findChild<QCheckBox *>(widget))
        box->setChecked(value == QLatin1String("yes"));
    settings->settingsApply();
}

bool ManagerFixture::waitLoggedIn(int timeoutMs)
{
    return QTest::qWaitFor([this] { return manager->isLoggedIn(); }, timeoutMs);
}

QStringList ManagerFixture::actionIds() const
{
    QStringList ids;
    for (const QStringList &action : ami.actions())
        ids << FakeAmiServer::valueOf(action, QStringLiteral("ActionID"));
    return ids;
}

int ManagerFixture::countId(const QString &id) const
{
    return int(actionIds().count(id));
}

void ManagerFixture::answerAsPbx()
{
    ami.addResponder(QStringLiteral("Ping"), [](const QStringList &action) {
        return "Event: UserEvent\r\nUserEvent: Sync\r\nMark: "
            + FakeAmiServer::valueOf(action, QStringLiteral("ActionID")).toLatin1() + "\r\n\r\n";
    });
    for (const char *action : { "Login", "Command", "SIPShowPeer", "MailBoxCount", "DBGet", "QueueStatus" })
        ami.addResponder(QLatin1String(action), [this](const QStringList &a) { return pbx.answer(a); });
}

void ManagerFixture::sync()
{
    if (m_mark == 0) {
        QObject::connect(manager->socket(), &ManagerSocket::UserEvent, manager.get(), [this](const QStringList &e) {
            if (ManagerSocket::getValue(QStringLiteral("UserEvent"), e) == QLatin1String("Sync"))
                m_seen = ManagerSocket::getValue(QStringLiteral("Mark"), e).toInt();
        });
    }
    const int mark = ++m_mark;
    manager->socket()->sendCommand(QStringLiteral("Action: Ping\r\nActionID: %1\r\n\r\n").arg(mark));
    if (!QTest::qWaitFor([&] { return m_seen >= mark; }, 10000))
        qWarning("ManagerFixture: no answer to sync mark %d", mark);
}

bool ManagerFixture::settle()
{
    if (!waitLoggedIn())
        return false;
    // Each answer may ask for more; done when a round trip brings nothing new.
    qsizetype before = -1;
    while (before != ami.actions().size()) {
        before = ami.actions().size();
        sync();
        ++before;
    }
    return true;
}

void ManagerFixture::push(const QStringList &event)
{
    ami.sendMessage(event);
    sync();
}

QStringList ManagerFixture::takeSent()
{
    QStringList texts;
    const QList<QStringList> actions = ami.actions();
    for (qsizetype i = m_sentCount; i < actions.size(); ++i) {
        if (FakeAmiServer::valueOf(actions.at(i), QStringLiteral("Action")) != QLatin1String("Ping"))
            texts << actions.at(i).join(QLatin1String("\r\n")) + QLatin1String("\r\n\r\n");
    }
    m_sentCount = actions.size();
    return texts;
}
