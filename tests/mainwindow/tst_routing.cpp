// PBX events routed by the real main window to the real panel, against a fake
// AMI server that answers as a PBX: the tiles, the labels, and the texts each
// event makes the window send, in order.

#include <QElapsedTimer>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "ManagerFixture.h"
#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TQuorGroupsEdit.h"
#include "mainwindow/TQuorManager.h"
#include "softphone/TQuorPhone.h"

namespace {

const QString kShowChannels = QStringLiteral("Action: command\r\nCommand: show channels\r\nActionID: showChannels\r\n\r\n");

QString showkey(const QString &ext)
{
    return QStringLiteral("Action: command\r\nCommand: database showkey %1\r\nActionID: showkey/%1-fwd\r\n\r\n").arg(ext);
}

QString dbGet(const QString &family, const QString &key, const char *option)
{
    return QStringLiteral("Action: DBGet\r\nFamily: %1\r\nKey: %2\r\nActionID: DBcheck/%2-%3\r\n\r\n")
        .arg(family, key, QLatin1String(option));
}

QuorAgent *tileOf(TQuorManager *window, const QString &ext, const QString &tech)
{
    for (QuorAgent *t : std::as_const(window->extensions()->tiles)) {
        if (t->extension == ext && t->tech == tech)
            return t;
    }
    return nullptr;
}

// Every tile sits in exactly one group.
bool everyTileGrouped(TQuorManager *window)
{
    const QList<TExtensionGroup *> groups = window->groupsEdit()->groups();
    for (QuorAgent *tile : std::as_const(window->extensions()->tiles)) {
        int holders = 0;
        for (TExtensionGroup *group : groups)
            holders += int(group->tiles.count(tile));
        if (holders != 1)
            return false;
    }
    return true;
}

} // namespace

class TestRouting : public QObject
{
    Q_OBJECT

private slots:
    void loginDropAndRepeatedLogin();
    void dahdiThenNone();
    void statuses_data();
    void statuses();
    void userEvents_data();
    void userEvents();
    void showChannels_data();
    void showChannels();
    void renames_data();
    void renames();

private:
    // zapAnswer: the PBX's own answer to "zap show status", when given.
    std::unique_ptr<ManagerFixture> loggedIn(const QString &version = QStringLiteral("1.4.21"),
        const QString &driver = QStringLiteral("Zap"), const QByteArray &zapAnswer = QByteArray());
};

std::unique_ptr<ManagerFixture> TestRouting::loggedIn(
    const QString &version, const QString &driver, const QByteArray &zapAnswer)
{
    auto f = std::make_unique<ManagerFixture>();
    if (!zapAnswer.isEmpty())
        f->ami.addRule(QStringLiteral("Command"), zapAnswer, QStringLiteral("zapStatus"));
    f->pbx.peers = { PbxModel::peer(QStringLiteral("SIP"), QStringLiteral("101"), QStringLiteral("Alice")),
        PbxModel::peer(QStringLiteral("SIP"), QStringLiteral("102"), QStringLiteral("Bruno")),
        PbxModel::peer(QStringLiteral("IAX"), QStringLiteral("201"), QStringLiteral("Carla")),
        PbxModel::peer(QStringLiteral("Zap"), QStringLiteral("1"), QStringLiteral("Lobby")) };
    f->pbx.version = version;
    f->pbx.driver = driver;
    f->answerAsPbx();
    f->start();
    if (!f->settle())
        qWarning("not logged in");
    f->takeSent();
    return f;
}

// Tiles and groups come with each login and go with each drop; a second
// login on the same connection starts from nothing, so no tile is left out
// of the groups.
void TestRouting::loginDropAndRepeatedLogin()
{
    auto f = loggedIn();
    TQuorManager *w = f->manager.get();
    QCOMPARE(w->extensions()->tiles.size(), 4);
    QCOMPARE(f->phone->labelExtN->text(), QStringLiteral("4"));
    QVERIFY(everyTileGrouped(w));

    f->ami.sendRaw("Response: Success\r\nActionID: logIn\r\nMessage: Authentication accepted\r\n\r\n");
    QVERIFY(f->settle());
    QCOMPARE(w->extensions()->tiles.size(), 4);
    QVERIFY(everyTileGrouped(w));

    f->phone->labelMesNum->setText(QStringLiteral("3"));
    f->phone->labelAcCallsN->setText(QStringLiteral("2"));
    QSignalSpy connections(&f->ami, &FakeAmiServer::clientConnected);
    QElapsedTimer clock;
    clock.start();
    f->ami.dropClient();
    QTRY_COMPARE(f->phone->labelAsterisk->text(), QStringLiteral("Disconnected"));
    QCOMPARE(f->phone->labelMesNum->text(), QStringLiteral("0"));
    QCOMPARE(f->phone->labelAcCallsN->text(), QStringLiteral("0"));
    QVERIFY(!w->isLoggedIn());
    QVERIFY(w->extensions()->tiles.isEmpty());
    QVERIFY(w->groupsEdit()->groups().isEmpty());
    // The totals stay until the next count.
    QCOMPARE(f->phone->labelExtN->text(), QStringLiteral("4"));

    QTRY_COMPARE_WITH_TIMEOUT(connections.size(), 1, 5000);
    QVERIFY2(clock.elapsed() >= 1500 && clock.elapsed() <= 4000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(f->settle());
    QCOMPARE(w->extensions()->tiles.size(), 4);
}

// A PBX that knows "dahdi" answers "zap show status" with No such command:
// the channels are asked once, of dahdi, and only the window ends on "none".
void TestRouting::dahdiThenNone()
{
    auto f = loggedIn(QStringLiteral("1.4.21"), QStringLiteral("dahdi"),
        PbxModel::follows("zapStatus", "No such command 'zap' (type 'help' for help)\n"));
    QCOMPARE(f->manager->driverName(), QStringLiteral("none"));
    QCOMPARE(f->countId(QStringLiteral("ZAPPeers")), 1);
    QVERIFY(f->ami.received().contains("Command: dahdi show channels\r\nActionID: ZAPPeers\r\n\r\n"));
    QVERIFY(f->manager->extensions()->dahdiDriver);
}

void TestRouting::statuses_data()
{
    QTest::addColumn<QStringList>("event");
    QTest::addColumn<QString>("tech");
    QTest::addColumn<QString>("ext");
    QTest::addColumn<int>("state");
    QTest::addColumn<QStringList>("sent");

    const QString sipCount = QStringLiteral("Action: Command\r\nCommand: sip show peers\r\nActionID: SIPCount\r\n\r\n");
    const QString iaxCount = QStringLiteral("Action: Command\r\nCommand: iax2 show peers\r\nActionID: IAXCount\r\n\r\n");
    QTest::newRow("SIP unreachable") << QStringList { "Event: PeerStatus", "Peer: SIP/101", "PeerStatus: Unreachable" }
                                     << "SIP" << "101" << int(AgentUnavailable) << QStringList { showkey("101"), sipCount };
    QTest::newRow("other status passed on")
        << QStringList { "Event: PeerStatus", "Peer: SIP/101", "PeerStatus: Lagged" } << "SIP" << "101" << int(AgentIdle)
        << QStringList { showkey("101"), sipCount };
    QTest::newRow("IAX2 registered") << QStringList { "Event: PeerStatus", "Peer: IAX2/201", "PeerStatus: Registered" }
                                     << "IAX" << "201" << int(AgentIdle) << QStringList { showkey("201"), iaxCount };
    QTest::newRow("card channel: no count") << QStringList { "Event: PeerStatus", "Peer: Zap/1", "PeerStatus: Registered" }
                                            << "Zap" << "1" << int(AgentIdle) << QStringList { showkey("1") };
    QTest::newRow("extension in use") << QStringList { "Event: ExtensionStatus", "Exten: 102", "Status: 1" } << "SIP"
                                      << "102" << int(AgentInCall) << QStringList {};
}

void TestRouting::statuses()
{
    QFETCH(QStringList, event);
    QFETCH(QString, tech);
    QFETCH(QString, ext);
    QFETCH(int, state);
    QFETCH(QStringList, sent);

    auto f = loggedIn();
    f->push(event);
    QVERIFY(tileOf(f->manager.get(), ext, tech));
    QCOMPARE(int(tileOf(f->manager.get(), ext, tech)->state), state);
    QCOMPARE(f->takeSent(), sent);
}

void TestRouting::userEvents_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("event");
    QTest::addColumn<QStringList>("sent");

    QTest::newRow("new PBX: DND of the User line")
        << "1.4.21" << QStringList { "Event: UserEvent", "UserEvent: DND", "Act: DND", "User: 104" }
        << QStringList { dbGet("DND", "104", "dnd") };
    QTest::newRow("new PBX: a forward family")
        << "1.6.2.0" << QStringList { "Event: UserEvent", "UserEvent: CFB", "Act: CFB", "User: 104" }
        << QStringList { dbGet("CFB", "104", "fwd") };
    QTest::newRow("old PBX: the user of the Channel line")
        << "1.2.40"
        << QStringList { "Event: UserEvent", "UserEvent: DND", "Act: DND", "User: 999", "Channel: SIP/104-0a1b" }
        << QStringList { dbGet("DND", "104", "dnd") };
    QTest::newRow("old PBX without Channel: no user")
        << "1.2.40" << QStringList { "Event: UserEvent", "UserEvent: DND", "Act: DND", "User: 104" }
        << QStringList { dbGet("DND", "", "dnd") };
    QTest::newRow("another act") << "1.4.21" << QStringList { "Event: UserEvent", "Act: Other", "User: 104" }
                                 << QStringList {};
}

void TestRouting::userEvents()
{
    QFETCH(QString, version);
    QFETCH(QStringList, event);
    QFETCH(QStringList, sent);

    auto f = loggedIn(version);
    QCOMPARE(f->phone->labelAsterisk->text(), QStringLiteral("Asterisk : v.%1\non: 127.0.0.1").arg(version));
    QCOMPARE(f->manager->isNewAsterisk(), !version.startsWith(QLatin1String("1.2")));
    f->push(event);
    QCOMPARE(f->takeSent(), sent);
}

void TestRouting::showChannels_data()
{
    QTest::addColumn<QStringList>("event");
    QTest::addColumn<int>("requests");
    QTest::addColumn<bool>("linked");

    const QStringList bridge = { "Channel1: SIP/101-1", "Channel2: SIP/102-2", "Uniqueid1: u1", "Uniqueid2: u2" };
    QTest::newRow("Link") << QStringList { "Event: Link" } + bridge << 1 << true;
    QTest::newRow("Hangup") << QStringList { "Event: Hangup", "Channel: SIP/101-1", "Uniqueid: u1" } << 1 << false;
    QTest::newRow("Unlink: its own and one per side") << QStringList { "Event: Unlink" } + bridge << 3 << false;
    QTest::newRow("GetVar transfer: as a Link")
        << QStringList { "Response: Success", "ActionID: GETvar", "Variable: transfer", "Value: 1" } + bridge << 1
        << true;
    QTest::newRow("GetVar of another variable")
        << QStringList { "Response: Success", "ActionID: GETvar", "Variable: other", "Value: 1" } + bridge << 0
        << false;
}

void TestRouting::showChannels()
{
    QFETCH(QStringList, event);
    QFETCH(int, requests);
    QFETCH(bool, linked);

    auto f = loggedIn();
    f->push({ "Event: Newchannel", "Channel: SIP/101-1", "State: Up", "Uniqueid: u1" });
    f->push({ "Event: Newchannel", "Channel: SIP/102-2", "State: Up", "Uniqueid: u2" });
    f->takeSent();
    f->push(event);
    QCOMPARE(int(f->takeSent().count(kShowChannels)), requests);
    QCOMPARE(f->manager->extensions()->channels->first()->linked, linked);
}

void TestRouting::renames_data()
{
    QTest::addColumn<QString>("newName");
    QTest::addColumn<QString>("name");

    QTest::newRow("followed") << "SIP/101-2" << "SIP/101-2";
    QTest::newRow("masquerade ignored") << "SIP/101-2<MASQ>" << "SIP/101-1";
    QTest::newRow("zombie ignored") << "SIP/101-1<ZOMBIE>" << "SIP/101-1";
}

void TestRouting::renames()
{
    QFETCH(QString, newName);
    QFETCH(QString, name);

    auto f = loggedIn(QStringLiteral("1.2.40"));
    f->push({ "Event: Newchannel", "Channel: SIP/101-1", "State: Ring", "Uniqueid: u1", "CallerID: 1" });
    f->push({ "Event: Rename", "Oldname: SIP/101-1", "Newname: " + newName, "Uniqueid: u1" });
    const QList<Channel *> records = *f->manager->extensions()->channels;
    QCOMPARE(records.size(), 1);
    QCOMPARE(records.first()->name, name);
}

QUOR_MAINWINDOW_TEST_MAIN(TestRouting)
#include "tst_routing.moc"
