#include "testsupport/ManagerFixture.h"

#include <QMessageBox>

#include "core/Logger.h"
#include "core/Paths.h"
#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "mainwindow/BoxRunner.h"
#include "testsupport/LoopbackPhone.h"

ManagerFixture::ManagerFixture()
{
    // The shipped files (the administrator password among them) lie beside
    // the binary; the data directory is the fixture's own.
    const QString dataDir = Paths::dataDir();
    Paths::init();
    Paths::setDataDir(dataDir);
    Logger::setProgramLog("quorer.log");
    boxes.clear();
    BoxRunner::set([](QMessageBox *box) { boxes << box->text(); });
    TQuorSettings::setErrorBoxHandler([](const QString &, const QString &text) { boxes << text; });
    ami.listen();
}

void ManagerFixture::setPeers(const QString &peers)
{
    pbx.peers.clear();
    for (const QString &peer : peers.split('|'))
        pbx.peers << PbxModel::peer(peer.section(' ', 0, 0), peer.section(' ', 1, 1), peer.section(' ', 2));
}

void ManagerFixture::start(const SettingKeys &keys)
{
    const SettingKeys manager { { "manager/use_phone_ip", "no" }, { "manager/server", "127.0.0.1" },
        { "manager/port", QString::number(ami.port()) } };
    if (!writeSettingKeys(manager + keys))
        qWarning("ManagerFixture: the settings file was not written");
    settings = std::make_unique<TQuorSettings>();
    phone = std::make_unique<TQuorPhone>(settings.get(), loopbackPhoneOptions());
    phone->setExitFunction([](int) {});
    this->manager = std::make_unique<TQuorManager>(phone.get(), settings.get());
}

bool ManagerFixture::startLoggedIn(const SettingKeys &keys)
{
    answerAsPbx();
    start(keys);
    const bool done = settle();
    takeSent();
    return done;
}

void ManagerFixture::openPage(const char *button)
{
    settings->buttonAdmin->click();
    settings->editLockPassword->setText("fendro");
    settings->settingsApply();
    settings->findChild<QAbstractButton *>(button)->click();
}

void ManagerFixture::answerAsPbx()
{
    ami.answerPings();
    for (const char *action : { "Login", "SIPShowPeer", "MailBoxCount", "DBGet", "QueueStatus" })
        ami.addResponder(action, [this](const QStringList &a) { return pbx.answer(a); });
    ami.addResponder("Command", [this](const QStringList &action) {
        const QStringList words = PbxModel::valueOf(action, "Command").split(' ');
        if (words.size() < 4 || words.at(0) != "database")
            return pbx.answer(action);
        const QString path = words.at(2) + '/' + words.at(3);
        if (words.at(1) == "put")
            pbx.db.insert(path, words.mid(4).join(' '));
        else
            pbx.db.remove(path);
        return PbxModel::follows({}, "Updated database successfully\n");
    });
    ami.addResponder("UserEvent", [](const QStringList &action) {
        return "Response: Success\r\n\r\nEvent: UserEvent\r\nUserEvent: \r\nAct: "
            + PbxModel::valueOf(action, "Act").toLatin1() + "\r\nUser: " + PbxModel::valueOf(action, "User").toLatin1()
            + "\r\n\r\n";
    });
}

void ManagerFixture::sync()
{
    // Without a connection no round trip comes back: what is pending is handled.
    if (manager->socket()->state() != QAbstractSocket::ConnectedState) {
        QCoreApplication::processEvents();
        return;
    }
    if (!m_sync)
        m_sync = std::make_unique<AmiSync>(manager->socket());
    if (!m_sync->sync())
        qWarning("ManagerFixture: no answer to a sync");
}

bool ManagerFixture::settle()
{
    if (!waitLoggedIn())
        return false;
    // A window that answers every round trip with another request never settles.
    for (int round = 0; round < 100; ++round) {
        const qsizetype before = ami.actions().size();
        sync();
        if (ami.actions().size() == before + 1) // the sync's own Ping
            return true;
    }
    return false;
}

void ManagerFixture::push(const QString &message)
{
    ami.sendMessage(message.split('|'));
    sync();
}

void ManagerFixture::run(const QStringList &events)
{
    static const QStringList call { "Event: Newchannel|Channel: SIP/101-a|State: Ring|CallerID: 101|CallerIDName: "
                                    "Alice|Uniqueid: 1.1",
        "Event: Newexten|Channel: SIP/101-a|Extension: 102|Priority: 1|Uniqueid: 1.1",
        "Event: Newchannel|Channel: SIP/102-b|State: Down|CallerID: 102|CallerIDName: Bob|Uniqueid: 1.2",
        "Event: Dial|Source: SIP/101-a|Destination: SIP/102-b|CallerID: 101|CallerIDName: Alice|SrcUniqueID: 1.1|"
        "DestUniqueID: 1.2",
        "Event: Newstate|Channel: SIP/102-b|State: Ringing|CallerID: 101|CallerIDName: Alice|Uniqueid: 1.2",
        "Event: Newstate|Channel: SIP/102-b|State: Up|CallerID: 101|CallerIDName: Alice|Uniqueid: 1.2",
        "Event: Link|Channel1: SIP/101-a|Channel2: SIP/102-b|Uniqueid1: 1.1|Uniqueid2: 1.2|CallerID1: 101|"
        "CallerID2: 102" };
    for (const QString &event : events) {
        if (event.startsWith("db:"))
            pbx.db.insert(event.mid(3).section('=', 0, 0), event.section('=', 1));
        else
            for (const QString &message : event == "call" ? call : QStringList { event })
                push(message);
    }
    sync(); // the answers to what the events asked
}

QStringList ManagerFixture::takeSent()
{
    QStringList texts;
    const QList<QStringList> actions = ami.actions();
    for (qsizetype i = m_sentCount; i < actions.size(); ++i) {
        if (FakeAmiServer::valueOf(actions.at(i), "Action") != "Ping")
            texts << actions.at(i).join('|');
    }
    m_sentCount = actions.size();
    return texts;
}

bool ManagerFixture::waitLoggedIn(int timeoutMs)
{
    return QTest::qWaitFor([this] { return manager->isLoggedIn(); }, timeoutMs);
}

QStringList ManagerFixture::actionIds() const
{
    QStringList ids;
    for (const QStringList &action : ami.actions())
        ids << FakeAmiServer::valueOf(action, "ActionID");
    return ids;
}

QAction *ManagerFixture::action(const QString &name) const
{
    for (QAction *a : manager->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly)) {
        if (a->text() == name || a->statusTip() == name
            || (!a->shortcut().isEmpty() && a->shortcut() == QKeySequence(name)))
            return a;
    }
    return nullptr;
}

QString ManagerFixture::shown() const
{
    QStringList out;
    for (const QuorAgent *t : std::as_const(manager->extensions()->tiles)) {
        QString s = QString::number(t->state) + ' ' + t->label_phone->text();
        if (t->channel)
            s += " @" + t->channel->uniqueid;
        if (t->linkedChannel)
            s += " >" + t->linkedChannel->uniqueid;
        if (t->dnd)
            s += " dnd";
        if (t->forward)
            s += " fwd:" + t->fwdFamily + ':' + t->fwdNumber;
        if (t->vmCount)
            s += " vm:" + QString::number(t->vmCount);
        if (s != "2 ")
            out << (t->tech == "SIP" ? QString() : t->tech + '/') + t->extension + '=' + s.simplified();
    }
    if (!phone->labelMesNum->isHidden())
        out << "mes:" + phone->labelMesNum->text();
    QStringList records;
    for (const Channel *c : std::as_const(*manager->extensions()->channels))
        records << c->uniqueid;
    if (!records.isEmpty())
        out << "rec:" + records.join(',');
    return out.join(" | ");
}

QStringList ManagerFixture::rowKeys(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList items;
        for (int column = 1; column < table->columnCount(); ++column)
            items << (table->item(row, column) ? table->item(row, column)->text() : "-");
        rows << items.join('|') + (table->cellWidget(row, 0) ? "" : "!");
    }
    return rows;
}
