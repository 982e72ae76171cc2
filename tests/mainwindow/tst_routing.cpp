// PBX events routed by the real main window to the panel and its call records:
// the follow-up texts it sends and what the tiles and call windows show; a lost
// connection and a repeated login. How the panel reacts: tst_quorextensions.

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTableWidget>

#include "extensions/TExtensionGroup.h"
#include "extensions/QuorAgent.h"
#include "extensions/TQuorGroupsEdit.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "testsupport/ManagerFixture.h"

struct Case
{
    QStringList events; // as ManagerFixture::run takes them
    QStringList sent;
    QString shown;
    QString version = "1.4.21";
    QString driver = "Zap"; // the PBX's card driver
};
Q_DECLARE_METATYPE(Case)

namespace {

const QString kShowChannels = "Action: command|Command: show channels|ActionID: showChannels";

// SIP 101 (the phone's own), 102 and 103, IAX 104.
std::unique_ptr<ManagerFixture> loggedIn(const Case &c = {})
{
    auto f = std::make_unique<ManagerFixture>();
    f->pbx.version = c.version;
    f->pbx.driver = c.driver;
    f->setPeers("SIP 101 Alice|SIP 102 Bob|SIP 103 Cleo|IAX 104 Dan");
    if (!f->startLoggedIn({ { "agent/uname", "101" } }))
        qWarning("not logged in");
    return f;
}

} // namespace

class TestRouting : public QObject
{
    Q_OBJECT

private slots:
    void events_data();
    void events();
    void callRecords_data();
    void callRecords();
    void dropAndRepeatedLogin();
    void repeatedLoginAnswers_data();
    void repeatedLoginAnswers();
};

void TestRouting::events_data()
{
    QTest::addColumn<Case>("c");
    const auto row = [](const char *name, const Case &c) { QTest::newRow(name) << c; };
    const QString sc = kShowChannels;
    const auto dbGet = [](const char *family, const char *key, const char *option) {
        return QString("Action: DBGet|Family: %1|Key: %2|ActionID: DBcheck/%2-%3").arg(family, key, option);
    };
    const QString userEvent = "Event: UserEvent|UserEvent: %1|Act: %1|User: %2";
    row("1.4: the User line's DND and forward read again, no other act",
        { { "db:DND/102=YES", userEvent.arg("DND", "102"), userEvent.arg("CFB", "103"), userEvent.arg("X", "102") },
            { dbGet("DND", "102", "dnd"), dbGet("CFB", "103", "fwd") }, "102=7 dnd" });
    row("1.6: the User line, no card driver",
        { { "db:CFB/102=300", userEvent.arg("CFB", "102") }, { dbGet("CFB", "102", "fwd") }, "102=8 300 fwd:CFB:300",
            "1.6.2.0", "none" });
    row("1.2: the user of the Channel line, or none; dahdi cards",
        { { "db:DND/104=YES", userEvent.arg("DND", "999") + "|Channel: SIP/104-0a1b", userEvent.arg("DND", "102") },
            { dbGet("DND", "104", "dnd"), dbGet("DND", "", "dnd") }, "IAX/104=7 dnd", "1.2.40", "dahdi" });
    const QString box = "Action: MailBoxCount|MailBox: %1@default|ActionID: MailBoxCount";
    row("Hangup: the box count and the channels",
        { { "call", "Event: Hangup|Channel: SIP/101-a|Uniqueid: 1.1",
              "Event: Hangup|Channel: SIP/102-b|Uniqueid: 1.2" },
            { sc, box.arg("101"), sc, box.arg("102"), sc }, "" });
}

void TestRouting::events()
{
    QFETCH(Case, c);
    auto f = loggedIn(c);
    QCOMPARE(f->phone->labelAsterisk->text(), "Asterisk : v." + c.version + "\non: 127.0.0.1");
    // The card channels are asked for once, of the driver found.
    const bool dahdi = c.driver == "dahdi";
    QCOMPARE(f->ami.received().count(dahdi ? "dahdi show channels" : "zap show channels"), int(c.driver != "none"));
    QCOMPARE(f->manager->driverName(), c.driver == "none" ? "" : c.driver);
    QCOMPARE(f->manager->extensions()->dahdiDriver, dahdi);
    f->run(c.events);
    QCOMPARE(f->takeSent(), c.sent);
    QCOMPARE(f->shown(), c.shown);
}

void TestRouting::callRecords_data()
{
    QTest::addColumn<QStringList>("events");
    // Each record "channel uniqueid phase callerId", then the hidden keys of the
    // queue rows (q:) and parked rows (p:), and the texts the last event sent.
    QTest::addColumn<QString>("state");
    const auto row = [](const char *name, const QStringList &events, const QString &state) {
        QTest::newRow(name) << events << state;
    };
    const QString nc = "Event: Newchannel|Channel: %1|State: %2|CallerID: 300|Uniqueid: %3";
    const QString caller = nc.arg("SIP/300-a", "Ring", "u1");
    const QString queued = "Event: Join|Channel: SIP/300-a|CallerID: 300|CallerIDName: Anna|Queue: sales|Uniqueid: u1";
    const QString parked = "Event: ParkedCall|Exten: 70%1|Channel: SIP/300-a|From: SIP/101-b|CallerID: 0612";
    const QString bridge = "Event: %1|Channel1: %2|Channel2: %3|Uniqueid1: %4|Uniqueid2: %5";
    const QString parkEnd = "Event: %1|Exten: 701|Channel: %2|CallerID: 0612";
    const QString rename = "Event: Rename|Oldname: SIP/300-a|Newname: SIP/300-%1|Uniqueid: u7|NewUniqueid: %2";
    const QString ring = "SIP/300-a u1 20 300";
    const QString inQueue = "SIP/300-a u1 50 300";
    const QString inPark = "SIP/300-a u1 60 0612";
    const QString sc = " | " + kShowChannels;
    row("ringing, idle and other states",
        { nc.arg("SIP/1-1", "Ringing", "a"), nc.arg("SIP/2-2", "Down", "b"), nc.arg("SIP/3-3", "Up", "c"),
            nc.arg("SIP/4-4", "ring", "d") },
        "SIP/1-1 a 30 300, SIP/2-2 b 70 300");
    row("repeated join keeps one row", { caller, queued, QString(queued).replace("sales", "support") },
        inQueue + " | q:u1");
    row("link, caller on side 2", { caller, queued, bridge.arg("Link", "SIP/101-b", "SIP/300-a", "u2", "u1") },
        inQueue + sc);
    row("hangup clears both windows",
        { caller, queued, parked.arg(1), nc.arg("SIP/101-b", "Ring", "u2"),
            "Event: Hangup|Channel: SIP/300-a|Uniqueid: u1" },
        "SIP/101-b u2 20 300" + sc);
    row("hangup without uniqueid ends nothing", { nc.arg("SIP/300-a", "Ring", ""), "Event: Hangup|Channel: SIP/300-a" },
        "SIP/300-a  20 300" + sc);
    row("parked again keeps one row", { caller, parked.arg(1), parked.arg(2) }, inPark + " | p:SIP/300-a|702");
    row("unparked while queued keeps the phase",
        { caller, parked.arg(1), queued, parkEnd.arg("UnParkedCall", "SIP/300-a") }, "SIP/300-a u1 50 0612 | q:u1");
    row("zombie rename", { caller, rename.arg("e<ZOMBIE>", "") }, ring);
    // Records that share a channel for a while are found in creation order; a
    // renamed record keeps its caller id.
    const QString parkedE = QString(parked).replace("300-a", "300-e").arg(1);
    row("renamed onto a newer record's channel, the older comes first",
        { caller, nc.arg("SIP/300-e", "Ring", "u2"), rename.arg("e", ""), parkedE },
        "SIP/300-e u7 60 0612, SIP/300-e u2 20 300 | p:SIP/300-e|701");
    row("renamed onto an older record's channel, the old name is gone",
        { nc.arg("SIP/300-e", "Ring", "u2"), caller, rename.arg("e", ""), parked.arg(1), parkedE },
        "SIP/300-e u2 60 0612, SIP/300-e u7 20 300 | p:SIP/300-e|701");
    row("hangup of the first record of a channel",
        { caller, nc.arg("SIP/300-a", "Ring", "u2"), "Event: Hangup|Channel: SIP/300-a|Uniqueid: u1", parked.arg(1) },
        "SIP/300-a u2 60 0612 | p:SIP/300-a|701");
}

void TestRouting::callRecords()
{
    QFETCH(QStringList, events);
    QFETCH(QString, state);
    ManagerFixture f;
    QVERIFY(f.startLoggedIn());
    for (const QString &event : std::as_const(events)) {
        f.takeSent();
        f.push(event);
    }
    QStringList found;
    for (const ActiveCall *call : std::as_const(f.manager->activeCalls))
        found << QString("%1 %2 %3 %4").arg(call->channel, call->uniqueid).arg(call->phase).arg(call->callerId);
    found = found.isEmpty() ? QStringList() : QStringList { found.join(", ") };
    const QStringList queued = ManagerFixture::rowKeys(f.manager->queueWindow()->table);
    const QStringList parked = ManagerFixture::rowKeys(f.manager->parkedWindow()->table);
    if (!queued.isEmpty())
        found << "q:" + queued.join(',');
    if (!parked.isEmpty())
        found << "p:" + parked.join(',');
    QCOMPARE((found + f.takeSent()).join(" | "), state);
}

// A drop in the middle of a message clears tiles, groups, labels and the
// panel's records, and the window logs in again within 2 to 4 s; the calls of
// the lost connection leave no busy tile, call record or row in the call
// windows, and new calls fill them as before. A second login on one connection
// starts from nothing too.
void TestRouting::dropAndRepeatedLogin()
{
    auto f = loggedIn();
    TQuorManager *w = f->manager.get();
    const auto everyTileGrouped = [w] {
        qsizetype held = 0;
        for (const TExtensionGroup *group : w->groupsEdit()->groups())
            held += group->tiles.size();
        return held == w->extensions()->tiles.size();
    };
    const auto calls = [w] { // records, queue rows, parked rows
        return QString("%1 %2 %3")
            .arg(w->activeCalls.size())
            .arg(w->queueWindow()->table->rowCount())
            .arg(w->parkedWindow()->table->rowCount());
    };
    const QStringList queuedAndParked { "Event: Newchannel|Channel: SIP/300-q|State: Ring|CallerID: 300|Uniqueid: 7.1",
        "Event: Join|Channel: SIP/300-q|CallerID: 300|Queue: sales|Uniqueid: 7.1",
        "Event: ParkedCall|Exten: 701|Channel: SIP/300-q|From: SIP/101-a|CallerID: 300" };
    f->run(QStringList { "call" } + queuedAndParked);
    f->phone->labelMesNum->setText("3");
    f->phone->labelAcCallsN->setText("2");
    QSignalSpy connections(&f->ami, &FakeAmiServer::clientConnected);
    QElapsedTimer clock;
    clock.start();
    f->ami.sendRaw("Event: Hangup\r\nChannel: SIP/101-a\r\nUniq");
    f->ami.dropClient();
    QTRY_COMPARE(f->phone->labelAsterisk->text(), "Disconnected");
    QCOMPARE(f->phone->labelMesNum->text() + f->phone->labelAcCallsN->text(), "00");
    QVERIFY(!w->isLoggedIn() && w->groupsEdit()->groups().isEmpty());
    QVERIFY(w->extensions()->tiles.isEmpty() && w->extensions()->channels->isEmpty());
    QCOMPARE(f->phone->labelExtN->text(), "4"); // the totals stay until the next count

    QTRY_COMPARE_WITH_TIMEOUT(connections.size(), 1, 5000);
    QVERIFY2(clock.elapsed() >= 1500 && clock.elapsed() <= 4000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(f->settle());
    f->push("Event: Hangup|Channel: SIP/102-b|Uniqueid: 1.2");
    QCOMPARE(f->shown(), "");
    QVERIFY(everyTileGrouped());
    QCOMPARE(calls(), "0 0 0");
    f->run(queuedAndParked);
    QCOMPARE(calls(), "1 1 1");

    f->push("Event: Newchannel|Channel: SIP/101-a|State: Up|Uniqueid: 3.1");
    f->push("Response: Success|ActionID: logIn|Message: Authentication accepted");
    QVERIFY(f->settle());
    QCOMPARE(f->shown(), "");
    QCOMPARE(w->extensions()->tiles.size(), 4);
    QVERIFY(everyTileGrouped());
    f->push("Event: Hangup|Channel: SIP/300-q|Uniqueid: 7.1");
    QCOMPARE(calls(), "0 0 0");

    // A login answer right behind a PeerStatus, whose count query the PBX
    // answers only after it, still ends with every tile shown in its group.
    const auto everyTileShown = [w] {
        for (const QuorAgent *tile : std::as_const(w->extensions()->tiles)) {
            if (!tile->isVisibleTo(w->extensions()))
                return false;
        }
        return !w->extensions()->tiles.isEmpty();
    };
    w->show();
    QVERIFY(everyTileShown());
    for (const char *peer : { "SIP/103", "SIP/999" }) {
        f->ami.sendRaw(QByteArray("Event: PeerStatus\r\nPeer: ") + peer
            + "\r\nPeerStatus: Registered\r\n\r\n"
              "Response: Success\r\nActionID: logIn\r\nMessage: Authentication accepted\r\n\r\n");
        QVERIFY(f->settle());
        QCOMPARE(w->extensions()->tiles.size(), 4);
        QVERIFY(everyTileGrouped());
        QVERIFY2(everyTileShown(), peer);
    }

    // Discovery rebuilds the group editor's working copies only while the
    // editor is on screen: behind a hidden window an edit not yet applied
    // survives a rediscovery.
    w->showEditGroups();
    auto *box = w->groupsEdit()->findChild<QComboBox *>("boxEditGroup");
    const int groups = box->count();
    w->groupsEdit()->findChild<QPushButton *>("buttonAdd")->click();
    QCOMPARE(box->count(), groups + 1);
    for (const bool shown : { false, true }) {
        static_cast<QWidget *>(w)->setVisible(shown);
        // The SIP table again, with one new peer: the panel's count is reached again.
        f->pbx.peers << PbxModel::peer("SIP", shown ? "106" : "105", "New");
        f->ami.sendRaw(f->pbx.answer({ "Action: Command", "Command: sip show peers", "ActionID: SIPpeers" }));
        QVERIFY(f->settle());
        QCOMPARE(box->count(), shown ? groups : groups + 1);
    }
}

void TestRouting::repeatedLoginAnswers_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("driver");
    // What the PBX writes at once in answer to the one Login.
    QTest::addColumn<QByteArray>("reply");
    const QByteArray login = "Response: Success\r\nActionID: logIn\r\nMessage: Authentication accepted\r\n\r\n";
    const QByteArray status = "Event: PeerStatus\r\nPeer: SIP/102\r\nPeerStatus: Registered\r\n\r\n";
    const std::pair<const char *, QByteArray> replies[] = { { "answered twice", login + login },
        { "answer, PeerStatus, answer", login + status + login },
        { "PeerStatus and answer, twice", status + login + status + login } };
    for (const auto &[pbx, version, driver] : { std::tuple { "Zap", "1.4.21", "Zap" }, { "DAHDI", "1.6.2.0", "dahdi" } }) {
        for (const auto &[name, reply] : replies)
            QTest::addRow("%s: %s", pbx, name) << QString(version) << QString(driver) << reply;
    }
}

// However the answers to a repeated login answer interleave with the first
// start's (the card's channels are asked only once its driver is known, so
// they come after the second start's SIP and IAX lists), discovery ends with
// every tile laid out in its group.
void TestRouting::repeatedLoginAnswers()
{
    QFETCH(QString, version);
    QFETCH(QString, driver);
    QFETCH(QByteArray, reply);
    ManagerFixture f;
    f.pbx.version = version;
    f.pbx.driver = driver;
    f.setPeers("SIP 101 Alice|SIP 102 Bob|SIP 103 Cleo|IAX 104 Dan|Zap 1 Line");
    f.ami.addResponder("Login", [reply](const QStringList &) { return reply; });
    QVERIFY(f.startLoggedIn({ { "agent/uname", "101" } }));
    TQuorManager *w = f.manager.get();
    QuorExtensions *panel = w->extensions();
    QCOMPARE(panel->tiles.size(), 5);
    qsizetype grouped = 0;
    for (const TExtensionGroup *group : w->groupsEdit()->groups())
        grouped += group->tiles.size();
    QCOMPARE(grouped, 5);
    QStringList hidden;
    for (const QuorAgent *tile : std::as_const(panel->tiles)) {
        if (!tile->isVisibleTo(panel))
            hidden << tile->tech + '/' + tile->extension;
    }
    QCOMPARE(hidden.join(' '), "");
    QCOMPARE(f.phone->labelExtN->text(), "5");
}

QUOR_MAINWINDOW_TEST_MAIN(TestRouting)
#include "tst_routing.moc"
