// The extensions panel as the main window runs it, over loopback: discovery,
// what the PBX's answers and events do to tiles and records, the texts the
// panel sends. The window's routing and reconnection: tests/mainwindow/tst_routing.

#include <QPointer>

#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TGridLayout.h"
#include "extensions/TQuorGroupsEdit.h"
#include "testsupport/ManagerFixture.h"

using Peers = QList<PbxModel::Peer>;
using Call = std::function<void(QuorExtensions *)>;
Q_DECLARE_METATYPE(Call)

namespace {

QString sipDetails(const char *name)
{
    return QStringLiteral("Action: SIPShowPeer\r\nPeer: %1\r\nActionID: SIPShowPeer\r\n\r\n").arg(name);
}

// The three queries a peer with a voicemail box gets.
QStringList boxQueries(const char *ext, const char *mailbox)
{
    return {
        QStringLiteral("Action: MailBoxCount\r\nMailBox: %1\r\nActionID: MailBoxCount\r\n\r\n").arg(mailbox),
        QStringLiteral("Action: DBGet\r\nFamily: DND\r\nKey: %1\r\nActionID: DBcheck/%1-dnd\r\n\r\n").arg(ext),
        QStringLiteral("Action: command\r\nCommand: database showkey %1\r\nActionID: showkey/%1-fwd\r\n\r\n").arg(ext)
    };
}

PbxModel::Peer peer(const char *tech, const char *name, const char *callerName, const char *mailbox = nullptr)
{
    PbxModel::Peer p = PbxModel::peer(QLatin1String(tech), QLatin1String(name), QLatin1String(callerName));
    if (mailbox)
        p.mailbox = QLatin1String(mailbox);
    return p;
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
};

void TestQuorExtensions::discovery_data()
{
    QTest::addColumn<Peers>("peers");
    QTest::addColumn<QString>("driver"); // the PBX's; "dahdi" knows no "zap" command
    QTest::addColumn<bool>("freePbx");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("shown"); // name, state, hasMailbox of the one tile
    QTest::addColumn<QString>("channels"); // the window's channel query and its driver at the end

    const auto row = [](const char *name, const PbxModel::Peer &p, const char *driver, bool freePbx,
                         const QStringList &requests, const char *shown, const char *channels = "") {
        QTest::newRow(name) << Peers { p } << driver << freePbx << requests << shown << channels;
    };
    row("sip", peer("SIP", "101", "Alice Moss"), "none", false,
        QStringList { sipDetails("101") } + boxQueries("101", "101@default"), "Alice Moss 2 1");
    row("iax", peer("IAX", "301", "Bob"), "none", false,
        QStringList { "Action: Command\r\nCommand: iax2 show peer 301\r\nActionID: IAXShowPeer\r\n\r\n" }
            + boxQueries("301", "301@default"),
        "Bob 2 1");
    // Card channels report no status: unavailable until a status event.
    row("zap", peer("Zap", "1", "Lobby"), "Zap", false,
        { "Action: Command\r\nCommand: zap show channel 1\r\nActionID: ZAPShowPeer\r\n\r\n" }, "Lobby 1 0", "zap Zap");
    row("dahdi, then none", peer("Zap", "2", "Gate"), "dahdi", false,
        { "Action: Command\r\nCommand: dahdi show channel 2\r\nActionID: ZAPShowPeer\r\n\r\n" }, "Gate 1 0",
        "dahdi none");
    PbxModel::Peer away = peer("SIP", "102", "Carl");
    away.reachable = false;
    row("unreachable", away, "none", false, QStringList { sipDetails("102") } + boxQueries("102", "102@default"),
        "Carl 1 1");
    row("mailbox not set", peer("SIP", "103", "Dora", "not set"), "none", false, { sipDetails("103") }, "Dora 2 0");
    row("empty mailbox is the extension", peer("SIP", "104", "Erik", ""), "none", false,
        QStringList { sipDetails("104") } + boxQueries("104", "104"), "Erik 2 1");
    row("caller name from FreePBX", peer("SIP", "105", "Ignored", "not set"), "none", true,
        { sipDetails("105"), "Action: DBGet\r\nFamily: AMPUSER/105\r\nKey: cidname\r\nActionID: DBGetCidN\r\n\r\n" },
        "Frida 2 0");
}

void TestQuorExtensions::discovery()
{
    QFETCH(Peers, peers);
    QFETCH(QString, driver);
    QFETCH(bool, freePbx);
    QFETCH(QStringList, requests);
    QFETCH(QString, shown);
    QFETCH(QString, channels);

    ManagerFixture f;
    f.pbx.peers = peers;
    f.pbx.driver = driver;
    f.pbx.db.insert("AMPUSER/105/cidname", "Frida");
    if (driver == "dahdi")
        f.ami.addRule("Command", PbxModel::follows("zapStatus", "No such command 'zap' (type 'help')\n"), "zapStatus");
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
    QCOMPARE(p->tiles.size(), 1);
    QuorAgent *t = p->tiles.first();
    QCOMPARE(QString("%1 %2 %3").arg(t->callerIdName).arg(int(t->state)).arg(t->hasMailbox), shown);
    QVERIFY(p->grid->children.contains(t));
    // The channel table is asked for once, of the driver the PBX knows.
    const QString query = channels.section(QLatin1Char(' '), 0, 0);
    QCOMPARE(f.actionIds().count(QStringLiteral("ZAPPeers")), query.isEmpty() ? 0 : 1);
    QCOMPARE(f.ami.received().count("Command: " + query.toLatin1() + " show channels\r\n"), query.isEmpty() ? 0 : 1);
    QCOMPARE(f.manager->driverName(), channels.section(QLatin1Char(' '), -1));
    QCOMPARE(p->dahdiDriver, driver == QLatin1String("dahdi"));
}

void TestQuorExtensions::events_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("events"); // as ManagerFixture::run takes them
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("record"); // name|callerId|callerIdName of the record 1.2, when given
    const auto row = [](const char *name, const char *version, const QStringList &events, const QString &shown,
                         const char *record = "") { QTest::newRow(name) << version << events << shown << record; };
    const char *v14 = "1.4.21";
    const QString entry = "Event: DBGetResponse|Family: %1|Key: %2|Val: %3";
    const QString missing = "Response: Error|ActionID: DBcheck/%1|Message: Database entry not found";
    const QString showkey = "Response: Follows|ActionID: showkey/102-fwd|%1 results found.\n|--END COMMAND--";
    row("AstDB entries: DND, forward; another family", v14,
        { entry.arg("DND", "102", "YES"), entry.arg("CFB", "103", "300"), entry.arg("XYZ", "101", "1") },
        "102=7 dnd | 103=8 300 fwd:CFB:300");
    row("AstDB misses end them", v14,
        { entry.arg("DND", "102", "YES"), entry.arg("CFB", "103", "300"), missing.arg("102-dnd"),
            missing.arg("103-fwd") },
        "");
    row("forward from showkey: the last line of a family", v14,
        { QString(showkey).replace("|%1", "|/CF/102    : 200\n/CFB/102   : 300\n%1").arg(2) }, "102=8 300 fwd:CFB:300");
    row("an unset forward family matches no line", v14, { showkey.arg(0) }, "");
    row("DND of a card channel", v14, { "Event: DNDState|Channel: Zap/102|Status: enabled" }, "102=7 dnd");
    const QString count = "Response: Success|ActionID: MailBoxCount|Mailbox: %1@default|NewMessages: %2";
    row("voicemail on the tiles, the own on the phone; a shared box's first tile only", v14,
        { count.arg("101", "2"), count.arg("102", "7") }, "101=2 vm:2 | 102=2 vm:7 | mes:2");
    row("a count that is no number is none; MailBoxStatus", v14,
        { count.arg("101", "2"), count.arg("101", "lots"),
            "Response: Success|ActionID: MailBoxStatus|Mailbox: 102|Waiting: 1" },
        "102=2 vm:1");

    const QString call = "101=4 Bob @1.1 >1.2 | 102=%1 @1.2 >1.1 | rec:1.1,1.2";
    row("a waiting call is bound after the hangup", v14,
        { "Event: Newchannel|Channel: SIP/101-a|State: Up|Uniqueid: 1.1",
            "Event: Newchannel|Channel: SIP/101-c|State: Ringing|Uniqueid: 1.3",
            "Event: Hangup|Channel: SIP/101-a|Uniqueid: 1.1" },
        "101=2 @1.3 | rec:1.3");
    row("hold changes the other party", v14, { "call", "Event: Hold|Uniqueid: 1.1" }, call.arg("6 Alice"));
    const QString park = "Event: ParkedCall|Exten: 701|Channel: AsyncGoto/SIP/102-b<ZOMBIE>|CallerID: 102";
    const QString parkEnd = "|Exten: 701|Channel: SIP/102-b|From: SIP/103-c|CallerID: 102|CallerIDName: ";
    row("parked", v14, { "call", park }, call.arg("10 Parked to: 701"));
    row("unparked", v14, { "call", park, "Event: UnParkedCall" + parkEnd }, call.arg("5"));
    row("timeout of another space", v14, { "call", park, "Event: ParkedCallTimeOut|Exten: 702|Channel: SIP/102-b" },
        call.arg("10 Parked to: 701"));
    const QString join = "Event: Join|Channel: SIP/101-a|Queue: sales|Uniqueid: 1.1";
    row("queue join and leave", v14, { "call", join, "Event: Leave|Channel: SIP/101-a|Queue: sales|Uniqueid: 1.1" },
        "101=5 @1.1 >1.2 | 102=3 Alice @1.2 >1.1 | rec:1.1,1.2");

    const QString second = "Event: Newchannel|Channel: SIP/103-b|State: Up|CallerID: 555|CallerIDName: Caller|"
                           "Uniqueid: 1.2";
    const QString rename = "Event: Rename|Oldname: SIP/103-b|Newname: SIP/%1|Uniqueid: 1.2";
    row("rename", "1.2.40", { second, rename.arg("104-x") }, "103=2 @1.2 | rec:1.2", "SIP/104-x|555|Caller");
    row("1.4: masquerade takes the other caller id", v14,
        { "Event: Newchannel|Channel: SIP/101-a|State: Up|CallerID: 101|CallerIDName: Alice|Uniqueid: 1.1", second,
            rename.arg("101-a") },
        "101=2 @1.1 | 103=2 @1.2 | rec:1.1,1.2", "SIP/103-b|101|Alice");
    row("unknown caller name is the tile's", "1.2.40",
        { second, "Event: Newcallerid|Channel: SIP/103-b|CallerID: 556|CallerIDName: <Unknown>|Uniqueid: 1.2" },
        "103=2 @1.2 | rec:1.2", "SIP/103-b|556|Cleo");
    row("async goto and parked names", "1.2.40",
        { "Event: Newchannel|Channel: AsyncGoto/SIP/103-b<ZOMBIE>|State: Up|CallerID: 1|CallerIDName: A|Uniqueid: 1.2",
            "Event: Newchannel|Channel: Parked/SIP/103-b|State: Up|CallerID: 2|CallerIDName: B|Uniqueid: 1.2" },
        "103=2 @1.2 | rec:1.2", "SIP/103-b|1|A");
}

// SIP 101 (the phone's own), 102, 103 (with 102's box), IAX 104.
void TestQuorExtensions::events()
{
    QFETCH(QString, version);
    QFETCH(QStringList, events);
    QFETCH(QString, shown);
    QFETCH(QString, record);
    ManagerFixture f;
    f.pbx.version = version;
    f.setPeers("SIP 101 Alice|SIP 102 Bob|SIP 103 Cleo|IAX 104 Dan");
    f.pbx.peers[2].mailbox = "102@default";
    QVERIFY(f.startLoggedIn({ { "agent/uname", "101" } }));
    // An unset family must not match every line of a showkey answer.
    f.manager->extensions()->fwdFamilyNoAnswer.clear();
    f.run(events);
    QCOMPARE(f.shown(), shown);
    for (const Channel *c : std::as_const(*f.manager->extensions()->channels)) {
        if (c->uniqueid == "1.2" && !record.isEmpty())
            QCOMPARE(c->name + '|' + c->callerId + '|' + c->callerIdName, record);
    }
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

    // Collapsed: only the header stays; an empty panel leaves the grid alone.
    TExtensionGroup *unsorted = f.manager->groupsEdit()->groups().constLast();
    unsorted->setExpanded(false);
    p->updateExtGrid();
    QCOMPARE(p->grid->children, QList<QWidget *> { unsorted });
    p->removeAgents();
    QWidget marker;
    p->grid->addWidget(&marker);
    p->updateExtGrid();
    QCOMPARE(p->grid->children, QList<QWidget *> { &marker });
}

void TestQuorExtensions::texts_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QStringList>("texts");

    const auto row = [](const char *name, const Call &call, const QString &text, int times = 1) {
        QTest::newRow(name) << call << QStringList(times, text);
    };
    row(
        "redirect to the first tile's context", [](QuorExtensions *p) { p->redirectCall("SIP/300-1", "101"); },
        "Action: Redirect|Channel: SIP/300-1|Exten: 101|Priority: 1|Context: sales|ActionID: redirectCall");
    const QString originate = "ACTION: Originate|Channel: %1/101|Exten: 202|Priority: 1|Context: voip|"
                              "ActionID: originateCall";
    for (const char *tech : { "iax", "IAX2", "sip" }) {
        QTest::addRow("originate %s", tech) << Call([tech](QuorExtensions *p) {
            QMetaObject::invokeMethod(
                p, "originateCall", Q_ARG(QString, "101"), Q_ARG(QString, "202"), Q_ARG(QString, tech));
        }) << QStringList { originate.arg(tech == QByteArray("sip") ? "SIP" : "IAX2") };
    }
    row(
        "transfer",
        [](QuorExtensions *p) {
            QMetaObject::invokeMethod(p, "transferCall", Q_ARG(QString, "SIP/1-2"), Q_ARG(QString, "7"));
        },
        "ACTION: Redirect|Channel: SIP/1-2|Context: voip|Priority: 1|Exten: 7|ActionID: transferCall");
    row(
        "caller names when FreePBX comes on", [](QuorExtensions *p) { p->setUseFreePBX(true); },
        "Action: DBGet|Family: AMPUSER/101|Key: cidname|ActionID: DBGetCidN", 2);
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

// A Hangup handled while the same record's hangup is being delivered (a
// nested event loop in a receiver) leaves the record to the outer one.
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
        // The partner's tile holds the record as its link: a hold walk must
        // not follow it to a tile without a channel.
        panel->tiles.at(1)->channel = nullptr;
        panel->hold({ "Event: Hold", "Uniqueid: 1.1" });
    });
    f.push("Event: Hangup|Channel: SIP/101-a|Uniqueid: 1.1");
    QCOMPARE(nested, 1);
    QVERIFY(!record);
    QCOMPARE(panel->channels->size(), 1);
}

QUOR_MAINWINDOW_TEST_MAIN(TestQuorExtensions)
#include "tst_quorextensions.moc"
