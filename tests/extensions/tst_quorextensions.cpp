// The extensions panel in the main window over loopback (routing: tst_routing).

#include <QPointer>

#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "extensions/TGridLayout.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "testsupport/ManagerFixture.h"

using Peers = QList<PbxModel::Peer>;
using Call = std::function<void(QuorExtensions *)>;
Q_DECLARE_METATYPE(Call)

namespace {

// The three queries a peer with a voicemail box gets.
QStringList boxQueries(const char *ext, const char *mailbox)
{
    return {
        QStringLiteral("Action: MailBoxCount\r\nMailBox: %1\r\nActionID: MailBoxCount\r\n\r\n").arg(mailbox),
        QStringLiteral("Action: DBGet\r\nFamily: DND\r\nKey: %1\r\nActionID: DBcheck/%1-dnd\r\n\r\n").arg(ext),
        QStringLiteral("Action: command\r\nCommand: database showkey %1\r\nActionID: showkey/%1-fwd\r\n\r\n").arg(ext)
    };
}

} // namespace

class TestQuorExtensions : public QObject
{
    Q_OBJECT

private slots:
    void discovery_data();
    void discovery();
    void events_data();
    void events();
    void registryAndGrid();
    void texts_data();
    void texts();
    void hostileValues();
    void nestedHangup();
    void eventSplitOverTwoWrites();
};

void TestQuorExtensions::discovery_data()
{
    QTest::addColumn<Peers>("peers");
    QTest::addColumn<QString>("driver"); // the PBX's
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("shown"); // name, state, hasMailbox, number of each tile
    QTest::addColumn<bool>("channels"); // whether the card channels are asked for
    QTest::addColumn<bool>("freePbx"); // caller names from the PBX's user database

    const auto row = [](const char *name, const PbxModel::Peer &p, const char *driver, const QStringList &requests,
                         const char *shown, bool channels = false, bool freePbx = false) {
        QTest::newRow(name) << Peers { p } << driver << requests << shown << channels << freePbx;
    };
    const auto sip = [](const char *ext) {
        return QStringLiteral("Action: SIPShowPeer\r\nPeer: %1\r\nActionID: SIPShowPeer\r\n\r\n").arg(ext);
    };
    row("sip", PbxModel::peer("SIP", "101", "Alice Moss"), "none",
        QStringList { sip("101") } + boxQueries("101", "101@default"), "Alice Moss 2 1 101");
    row("iax", PbxModel::peer("IAX", "301", "Bob"), "none",
        QStringList { "Action: Command\r\nCommand: iax2 show peer 301\r\nActionID: IAXShowPeer\r\n\r\n" }
            + boxQueries("301", "301@default"),
        "Bob 2 1 301");
    // Card channels report no status: unavailable until a status event.
    row("zap", PbxModel::peer("Zap", "1", "Lobby"), "Zap",
        { "Action: Command\r\nCommand: zap show channel 1\r\nActionID: ZAPShowPeer\r\n\r\n" }, "Lobby 1 0 1", true);
    row("unreachable", { "SIP", "102", "Carl", "102@default", false }, "none",
        QStringList { sip("102") } + boxQueries("102", "102@default"), "Carl 1 1 102");
    row("mailbox not set", { "SIP", "103", "Dora", "not set" }, "none", { sip("103") }, "Dora 2 0 103");
    row("empty mailbox is the extension", { "SIP", "104", "Erik", "" }, "none",
        QStringList { sip("104") } + boxQueries("104", "104"), "Erik 2 1 104");
    row("caller name from the user database", { "SIP", "105", "Ignored", "not set" }, "none",
        { sip("105"), "Action: DBGet\r\nFamily: AMPUSER/105\r\nKey: cidname\r\nActionID: DBGetCidN\r\n\r\n" },
        "Frida 2 0 105", false, true);
    Peers bare { { "SIP", "106", "", "not set" }, { "IAX", "306", "", "" }, { "Zap", "2", "", "" } };
    for (PbxModel::Peer &p : bare)
        p.numbered = false;
    QTest::newRow("no caller-id: the extension is shown and dialled")
        << bare << "Zap"
        << QStringList { sip("106"), "Action: Command\r\nCommand: iax2 show peer 306\r\nActionID: IAXShowPeer\r\n\r\n",
               "Action: Command\r\nCommand: zap show channel 2\r\nActionID: ZAPShowPeer\r\n\r\n" }
            + boxQueries("306", "306")
        << "106 2 0 106 | 2 1 0 2 | 306 2 1 306" << true << false;
}

void TestQuorExtensions::discovery()
{
    QFETCH(Peers, peers);
    QFETCH(QString, driver);
    QFETCH(QStringList, requests);
    QFETCH(QString, shown);
    QFETCH(bool, channels);
    QFETCH(bool, freePbx);

    ManagerFixture f;
    f.pbx.peers = peers;
    f.pbx.driver = driver;
    f.pbx.db.insert("AMPUSER/105/cidname", "Frida");
    f.answerAsPbx();
    f.start({ { "manager/use_freepbx", freePbx ? "yes" : "no" } });
    QuorExtensions *p = f.manager->extensions();
    QSignalSpy sent(p, &QuorExtensions::AsteriskCommand);
    QSignalSpy done(p, &QuorExtensions::countDone);
    QVERIFY(f.settle());

    QStringList texts;
    for (const QList<QVariant> &args : sent)
        texts << args.at(0).toString();
    QCOMPARE(texts, requests);
    QVERIFY(!done.isEmpty());
    QStringList tiles;
    for (const QuorAgent *t : std::as_const(p->tiles)) {
        tiles << QString("%1 %2 %3 %4")
                     .arg(t->button_user->text())
                     .arg(int(t->state))
                     .arg(t->hasMailbox)
                     .arg(t->number)
                     .simplified();
        QVERIFY(p->grid->children.contains(t));
    }
    QCOMPARE(tiles.join(" | "), shown);
    QCOMPARE(f.ami.received().count("Command: zap show channels\r\n"), channels ? 1 : 0);
}

void TestQuorExtensions::events_data()
{
    QTest::addColumn<QStringList>("events"); // as ManagerFixture::run takes them
    QTest::addColumn<QString>("shown"); // then the rows of the queue (q:) and parked (p:) docks
    QTest::addColumn<QString>("version");
    const auto row = [](const char *name, const QStringList &events, const QString &shown,
                         const char *version = "1.4.21") { QTest::newRow(name) << events << shown << version; };
    const QString entry = "Event: DBGetResponse|Family: %1|Key: %2|Val: %3";
    const QString showkey = "Response: Follows|ActionID: showkey/102-fwd|%1 results found.\n|--END COMMAND--";
    row("AstDB entries: DND, forward; another family",
        { entry.arg("DND", "102", "YES"), entry.arg("CFB", "103", "300"), entry.arg("XYZ", "101", "1") },
        "102=7 dnd | 103=8 300 fwd:CFB:300");
    row("forward from showkey: the last line of a family",
        { QString(showkey).replace("|%1", "|/CF/102    : 200\n/CFB/102   : 300\n%1").arg(2) }, "102=8 300 fwd:CFB:300");
    row("an unset forward family matches no line", { showkey.arg(0) }, "");
    const QString count = "Response: Success|ActionID: MailBoxCount|Mailbox: %1@default|NewMessages: %2";
    row("voicemail on the tiles, the own on the phone; a shared box's first tile only",
        { count.arg("101", "2"), count.arg("102", "7") }, "101=2 vm:2 | 102=2 vm:7 | mes:2");
    row("a call hung up frees both tiles",
        { "call", "Event: Hangup|Channel: SIP/101-a|Uniqueid: 1.1", "Event: Hangup|Channel: SIP/102-b|Uniqueid: 1.2" },
        "");
    const QString call = "101=4 Bob @1.1 >1.2 | 102=%1 @1.2 >1.1 | rec:1.1,1.2";
    const QString park = "Event: ParkedCall|Exten: 701|Channel: AsyncGoto/SIP/102-b<ZOMBIE>|CallerID: 102";
    row("parked", { "call", park }, call.arg("10 Parked to: 701"));
    row("unparked",
        { "call", park,
            "Event: UnParkedCall|Exten: 701|Channel: SIP/102-b|From: SIP/103-c|CallerID: 102|CallerIDName: " },
        call.arg("5"));

    // The same calls as each release reports them, seen alike.
    const QString held = "Event: %1|Uniqueid: 1.%2";
    const QString bridge = "Event: %1|Channel1: SIP/101-a|Channel2: SIP/102-b|Uniqueid1: 1.1|Uniqueid2: 1.2";
    const QString caller = "Event: %1|Channel: SIP/300-q|%2: 300|CallerIDName: Anna|%3|Uniqueid: 7.1";
    const QString ringing = "Event: Newstate|Channel: SIP/102-b|ChannelStateDesc: %1|CallerIDNum: 101|"
                            "CallerIDName: Alice|Uniqueid: 1.2";
    const QStringList call16 { "Event: Newchannel|Channel: SIP/101-a|ChannelStateDesc: Ring|CallerIDNum: 101|"
                               "CallerIDName: Alice|Uniqueid: 1.1",
        "Event: Newexten|Channel: SIP/101-a|Extension: 102|Priority: 1|Uniqueid: 1.1",
        "Event: Newchannel|Channel: SIP/102-b|ChannelStateDesc: Down|CallerIDNum: 102|CallerIDName: Bob|Uniqueid: 1.2",
        "Event: Dial|SubEvent: Begin|Channel: SIP/101-a|Destination: SIP/102-b|CallerIDNum: 101|CallerIDName: Alice|"
        "UniqueID: 1.1|DestUniqueID: 1.2",
        ringing.arg("Ringing"), ringing.arg("Up"),
        bridge.arg("Bridge|Bridgestate: Link") + "|CallerID1: 101|CallerID2: 102",
        "Event: Dial|SubEvent: End|Channel: SIP/101-a|UniqueID: 1.1|DialStatus: ANSWER" };
    const QString seen = "101=5 Bob @1.1 | 102=6 Alice @1.2 | rec:1.1,1.2,7.1 | q:7.1 300 | p:SIP/300-q|701 300";
    row("1.4: a call held both ways, unlinked; a caller queued, parked",
        { "call", held.arg("Hold", "2"), held.arg("Unhold", "2"), held.arg("Hold", "1"), bridge.arg("Unlink"),
            caller.arg("Newchannel", "CallerIDNum", "State: Ring"), caller.arg("Join", "CallerID", "Queue: sales"),
            caller.arg("ParkedCall", "CallerID", "Exten: 701|From: SIP/101-a") },
        seen);
    row("1.6: a call held both ways, unlinked; a caller queued, parked",
        call16
            + QStringList { held.arg("Hold|Status: On", "2"), held.arg("Hold|Status: Off", "2"),
                held.arg("Hold|Status: On", "1"), bridge.arg("Bridge|Bridgestate: Unlink"),
                caller.arg("Newchannel", "CallerIDNum", "ChannelStateDesc: Ring"),
                caller.arg("Join", "CallerIDNum", "Queue: sales"),
                caller.arg("ParkedCall", "CallerIDNum", "Exten: 701|From: SIP/101-a") },
        seen, "1.6.2.0");
}

// SIP 101 (the phone's own), 102, 103 (with 102's box), IAX 104.
void TestQuorExtensions::events()
{
    QFETCH(QStringList, events);
    QFETCH(QString, shown);
    QFETCH(QString, version);
    ManagerFixture f;
    f.pbx.version = version;
    f.setPeers("SIP 101 Alice|SIP 102 Bob|SIP 103 Cleo|IAX 104 Dan");
    f.pbx.peers[2].mailbox = "102@default";
    QVERIFY(f.startLoggedIn({ { "agent/uname", "101" } }));
    // An unset family must not match every line of a showkey answer.
    f.manager->extensions()->fwdFamilyNoAnswer.clear();
    f.run(events);
    QStringList docks { f.shown() };
    for (const auto &[name, table] :
        { std::pair("q:", f.manager->queueWindow()->table), std::pair("p:", f.manager->parkedWindow()->table) }) {
        for (int r = 0; r < table->rowCount(); ++r) // the row's key and caller
            docks << name + ManagerFixture::rowKeys(table).at(r) + ' '
                    + table->cellWidget(r, 0)->findChild<QLabel *>("label_source")->text();
    }
    QCOMPARE(docks.join(" | "), shown);
}

void TestQuorExtensions::registryAndGrid()
{
    ManagerFixture f;
    QVERIFY(f.startLoggedIn());
    QuorExtensions *p = f.manager->extensions();
    QSignalSpy sent(p, &QuorExtensions::AsteriskCommand);
    const auto entry = [&](const char *tech, const char *name) {
        p->peerEntry({ "Event: PeerEntry", QStringLiteral("Channeltype: ") + QLatin1String(tech),
            QStringLiteral("ObjectName: ") + QLatin1String(name) });
    };
    for (const char *name : { "carol", "Bob", "alice", "Bob" })
        entry("SIP", name);
    entry("sip", "dave"); // no request, but a tile the SIP entry finds
    entry("SIP", "dave");
    entry("IAX", "alice");
    QStringList order;
    for (const QuorAgent *t : std::as_const(p->tiles))
        order << t->tech + '/' + t->extension;
    QCOMPARE(order.join(' '), "SIP/alice IAX/alice SIP/Bob SIP/carol sip/dave");
    QCOMPARE(sent.size(), 6);

    // Closing lists: 3 of 5, then a bad number (still 3), then the rest.
    QSignalSpy done(p, &QuorExtensions::countDone);
    QVERIFY(!p->peersCount({ "Event: PeerlistComplete", "ListItems: 3" }, "SIP"));
    QVERIFY(!p->peersCount({ "ListItems: abc" }));
    QVERIFY(p->peersCount({ "ListItems: 2" }, "IAX"));
    QCOMPARE(done.size(), 1);
    QCOMPARE(p->grid->children.size(), 6); // the Unsorted header and five tiles
}

void TestQuorExtensions::texts_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QStringList>("texts");

    const auto row = [](const char *name, const Call &call, const QString &text) {
        QTest::newRow(name) << call << QStringList { text };
    };
    row(
        "redirect to the first tile's context", [](QuorExtensions *p) { p->redirectCall("SIP/300-1", "101"); },
        "Action: Redirect|Channel: SIP/300-1|Exten: 101|Priority: 1|Context: sales|ActionID: redirectCall");
    row(
        "originate from an iax tile",
        [](QuorExtensions *p) {
            QMetaObject::invokeMethod(
                p, "originateCall", Q_ARG(QString, "101"), Q_ARG(QString, "202"), Q_ARG(QString, "iax"));
        },
        "ACTION: Originate|Channel: IAX2/101|Exten: 202|Priority: 1|Context: voip|ActionID: originateCall");
    row(
        "transfer",
        [](QuorExtensions *p) {
            QMetaObject::invokeMethod(p, "transferCall", Q_ARG(QString, "SIP/1-2"), Q_ARG(QString, "7"));
        },
        "ACTION: Redirect|Channel: SIP/1-2|Context: voip|Priority: 1|Exten: 7|ActionID: transferCall");
}

void TestQuorExtensions::texts()
{
    QFETCH(Call, call);
    QFETCH(QStringList, texts);
    ManagerFixture f;
    f.setPeers("SIP 101 Alice|IAX 101 Alice");
    f.pbx.peers[0].context = "sales";
    QVERIFY(f.startLoggedIn());
    call(f.manager->extensions());
    f.sync();
    QCOMPARE(f.takeSent(), texts);
}

void TestQuorExtensions::hostileValues()
{
    // No value from the PBX can end a line of an action or add one.
    QuorExtensions panel(nullptr, nullptr, nullptr);
    QSignalSpy sent(&panel, &QuorExtensions::AsteriskCommand);
    panel.peerEntry({ "Channeltype: SIP", "ObjectName: 1\rAction: Hangup\nChannel: x" });
    panel.checkFwd("1\r\n", "CF\nAction: Logoff");
    // A 30-line details answer whose second line has no ":" names no peer.
    QStringList details(30, "Field: value");
    details[1] = "no colon here";
    details[14] = "Name : 2\r9";
    panel.peerResponse(details);
    QCOMPARE(sent.size(), 3);
    for (const QList<QVariant> &args : sent) {
        const QString text = args.at(0).toString();
        QCOMPARE(text.count('\r'), text.count("\r\n"));
        QCOMPARE(text.count('\n'), text.count("\r\n"));
    }
    QVERIFY(sent.at(2).at(0).toString().contains("iax2 show peer 29\r\n"));
}

// A Hangup nested in the same record's hangup leaves it to the outer one.
void TestQuorExtensions::nestedHangup()
{
    ManagerFixture f;
    f.setPeers("SIP 101 Alice|SIP 102 Bob");
    QVERIFY(f.startLoggedIn());
    QuorExtensions *panel = f.manager->extensions();
    f.push("Event: Newchannel|Channel: SIP/101-a|State: Up|Uniqueid: 1.1");
    f.push("Event: Newchannel|Channel: SIP/102-b|State: Up|Uniqueid: 1.2");
    f.push("Event: Link|Channel1: SIP/101-a|Channel2: SIP/102-b|Uniqueid1: 1.1|Uniqueid2: 1.2");
    QPointer<Channel> record = panel->tiles.at(0)->channel.data();
    QVERIFY(record);
    int nested = 0;
    connect(record, &Channel::hangupEvent, panel, [&] {
        if (nested++)
            return; // a second delivery is the fault itself
        panel->hangup({ "Event: Hangup", "Channel: SIP/101-a", "Uniqueid: 1.1" });
        // A hold walk must not follow the link to a tile without a channel.
        panel->tiles.at(1)->channel = nullptr;
        panel->hold({ "Event: Hold", "Uniqueid: 1.1" });
    });
    f.push("Event: Hangup|Channel: SIP/101-a|Uniqueid: 1.1");
    QCOMPARE(nested, 1);
    QVERIFY(!record);
    QCOMPARE(panel->channels->size(), 1);
    panel->removeAgents();
    QVERIFY(panel->channels->isEmpty()); // no Hangup comes after a lost connection
}

void TestQuorExtensions::eventSplitOverTwoWrites()
{
    ManagerFixture f;
    f.setPeers("IAX 104 Dan");
    QVERIFY(f.startLoggedIn());
    const QByteArray event = "Event: Newchannel\r\nChannel: IAX2/104-7\r\nState: Ringing\r\nUniqueid: 2.1\r\n\r\n";
    QSignalSpy read(f.manager->socket(), &QIODevice::readyRead);
    f.ami.sendRaw(event.left(30));
    QVERIFY(read.wait());
    QVERIFY(f.manager->extensions()->channels->isEmpty());
    f.ami.sendRaw(event.mid(30));
    f.sync();
    const QuorAgent *tile = f.manager->extensions()->tiles.value(0);
    QVERIFY(tile && tile->channel && tile->channel->uniqueid == "2.1");
}

QUOR_MAINWINDOW_TEST_MAIN(TestQuorExtensions)
#include "tst_quorextensions.moc"
