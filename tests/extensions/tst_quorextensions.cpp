// The panel's discovery, registry and grid, the AstDB, voicemail and status
// answers, and the texts it sends, over loopback through the test router.

#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "PanelFixture.h"
#include "extensions/QuorAgent.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TGridLayout.h"
#include "extensions/TQuorGroupsEdit.h"
#include "softphone/TQuorPhone.h"

using Peers = QList<PbxModel::Peer>;
using Db = QHash<QString, QString>;
using Events = QList<QStringList>;
using Call = std::function<void(QuorExtensions *)>;
Q_DECLARE_METATYPE(Call)

namespace {

QString sipDetails(const char *name)
{
    return QStringLiteral("Action: SIPShowPeer\r\nPeer: %1\r\nActionID: SIPShowPeer\r\n\r\n").arg(QLatin1String(name));
}

QString dbGet(const char *family, const char *option)
{
    return QStringLiteral("Action: DBGet\r\nFamily: %1\r\nKey: 101\r\nActionID: DBcheck/101-%2\r\n\r\n")
        .arg(QLatin1String(family), QLatin1String(option));
}

// The three queries a peer with a voicemail box gets.
QStringList boxQueries(const char *ext, const char *mailbox)
{
    const QString e = QLatin1String(ext);
    return { QStringLiteral("Action: MailBoxCount\r\nMailBox: %1\r\nActionID: MailBoxCount\r\n\r\n")
                 .arg(QLatin1String(mailbox)),
        QStringLiteral("Action: DBGet\r\nFamily: DND\r\nKey: %1\r\nActionID: DBcheck/%1-dnd\r\n\r\n").arg(e),
        QStringLiteral("Action: command\r\nCommand: database showkey %1\r\nActionID: showkey/%1-fwd\r\n\r\n").arg(e) };
}

PbxModel::Peer peer(const char *tech, const char *name, const char *callerName, const char *mailbox = nullptr)
{
    PbxModel::Peer p = PbxModel::peer(QLatin1String(tech), QLatin1String(name), QLatin1String(callerName));
    if (mailbox)
        p.mailbox = QLatin1String(mailbox);
    return p;
}

std::unique_ptr<PanelFixture> fixture(const Peers &peers, bool freePbx = false)
{
    PanelFixture::Options options;
    options.freePbx = freePbx;
    auto f = std::make_unique<PanelFixture>(options);
    f->pbx.peers = peers;
    return f;
}

} // namespace

class TestQuorExtensions : public QObject
{
    Q_OBJECT

private slots:
    void discovery_data();
    void discovery();
    void registryAndGrid();
    void voicemail();
    void tileAnswers_data();
    void tileAnswers();
    void texts_data();
    void texts();
    void hostileValues();
};

void TestQuorExtensions::discovery_data()
{
    QTest::addColumn<Peers>("peers");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<bool>("freePbx");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<QString>("shown"); // name, state, hasMailbox of the one tile

    QTest::newRow("sip") << Peers { peer("SIP", "101", "Alice Moss") } << "Zap" << false
                         << QStringList { sipDetails("101") } + boxQueries("101", "101@default") << "Alice Moss 2 1";
    QTest::newRow("iax")
        << Peers { peer("IAX", "301", "Bob") } << "none" << false
        << QStringList { "Action: Command\r\nCommand: iax2 show peer 301\r\nActionID: IAXShowPeer\r\n\r\n" }
            + boxQueries("301", "301@default")
        << "Bob 2 1";
    // Card channels report no status: unavailable until a status event.
    QTest::newRow("zap")
        << Peers { peer("Zap", "1", "Lobby") } << "Zap" << false
        << QStringList { "Action: Command\r\nCommand: zap show channel 1\r\nActionID: ZAPShowPeer\r\n\r\n" }
        << "Lobby 1 0";
    QTest::newRow("dahdi")
        << Peers { peer("Zap", "2", "Gate") } << "dahdi" << false
        << QStringList { "Action: Command\r\nCommand: dahdi show channel 2\r\nActionID: ZAPShowPeer\r\n\r\n" }
        << "Gate 1 0";
    PbxModel::Peer away = peer("SIP", "102", "Carl");
    away.reachable = false;
    QTest::newRow("unreachable") << Peers { away } << "none" << false
                                 << QStringList { sipDetails("102") } + boxQueries("102", "102@default") << "Carl 1 1";
    QTest::newRow("mailbox not set") << Peers { peer("SIP", "103", "Dora", "not set") } << "none" << false
                                     << QStringList { sipDetails("103") } << "Dora 2 0";
    QTest::newRow("empty mailbox is the extension")
        << Peers { peer("SIP", "104", "Erik", "") } << "none" << false
        << QStringList { sipDetails("104") } + boxQueries("104", "104") << "Erik 2 1";
    QTest::newRow("caller name from FreePBX")
        << Peers { peer("SIP", "105", "Ignored", "not set") } << "none" << true
        << QStringList { sipDetails("105"),
               "Action: DBGet\r\nFamily: AMPUSER/105\r\nKey: cidname\r\nActionID: DBGetCidN\r\n\r\n" }
        << "Frida 2 0";
}

void TestQuorExtensions::discovery()
{
    QFETCH(Peers, peers);
    QFETCH(QString, driver);
    QFETCH(bool, freePbx);
    QFETCH(QStringList, requests);
    QFETCH(QString, shown);
    auto f = fixture(peers, freePbx);
    f->pbx.driver = driver;
    f->pbx.db.insert(QStringLiteral("AMPUSER/105/cidname"), QStringLiteral("Frida"));
    QSignalSpy sent(f->panel(), &QuorExtensions::AsteriskCommand);
    QSignalSpy done(f->panel(), &QuorExtensions::countDone);
    QVERIFY(f->login());

    QStringList texts;
    for (const QList<QVariant> &args : sent)
        texts << args.at(0).toString();
    QCOMPARE(texts, requests);
    QVERIFY(!done.isEmpty());
    QCOMPARE(f->panel()->tiles.size(), 1);
    QuorAgent *t = f->panel()->tiles.first();
    QCOMPARE(QStringLiteral("%1 %2 %3").arg(t->callerIdName).arg(int(t->state)).arg(t->hasMailbox), shown);
    QVERIFY(f->panel()->grid->children.contains(t));
}

void TestQuorExtensions::registryAndGrid()
{
    auto f = fixture({});
    QVERIFY(f->login());
    QuorExtensions *p = f->panel();
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
        order << t->tech + QLatin1Char('/') + t->extension;
    QCOMPARE(order.join(QLatin1Char(' ')), QStringLiteral("SIP/alice IAX/alice SIP/Bob SIP/carol sip/dave"));
    QCOMPARE(sent.size(), 6);

    // Closing lists: 3 of 5, then a bad number (still 3), then the rest.
    QSignalSpy done(p, &QuorExtensions::countDone);
    QVERIFY(!p->peersCount({ "Event: PeerlistComplete", "ListItems: 3" }, QStringLiteral("SIP")));
    QVERIFY(!p->peersCount({ "ListItems: abc" }));
    QVERIFY(p->peersCount({ "ListItems: 2" }, QStringLiteral("IAX")));
    QCOMPARE(done.size(), 1);
    QCOMPARE(p->grid->children.size(), 6); // the Unsorted header and five tiles

    // Collapsed: only the header stays; an empty panel leaves the grid alone.
    TExtensionGroup *unsorted = f->groups()->groups().constLast();
    unsorted->setExpanded(false);
    p->updateExtGrid();
    QCOMPARE(p->grid->children, QList<QWidget *> { unsorted });
    QVERIFY(f->drop());
    QVERIFY(p->tiles.isEmpty());
    QCOMPARE(p->expectedPeers, 0);
    QWidget *marker = new QWidget;
    p->grid->addWidget(marker);
    p->updateExtGrid();
    QCOMPARE(p->grid->children, QList<QWidget *> { marker });
}

void TestQuorExtensions::voicemail()
{
    auto f = fixture(
        { peer("SIP", "201", "Me"), peer("SIP", "202", "Ann", "202@sales"), peer("IAX", "202", "Ann", "202@sales") });
    f->pbx.voicemail.insert(QStringLiteral("201@default"), 2);
    QVERIFY(f->login());
    QCOMPARE(f->tile(QStringLiteral("201"))->vmCount, 2);
    QCOMPARE(f->phone()->labelMesNum->text(), QStringLiteral("2"));
    QVERIFY(!f->phone()->labelMesNum->isHidden());

    // An answer reaches the first tile of its box only; a count that is no
    // number is 0, which hides the phone's count.
    f->push({ "Response: Success", "ActionID: MailBoxCount", "Mailbox: 202@sales", "NewMessages: 7" });
    QCOMPARE(f->tile(QStringLiteral("202"))->vmCount, 7);
    QCOMPARE(f->tile(QStringLiteral("202"), QStringLiteral("IAX"))->vmCount, 0);
    f->push({ "Response: Success", "ActionID: MailBoxCount", "Mailbox: 201@default", "NewMessages: lots" });
    QCOMPARE(f->tile(QStringLiteral("201"))->vmCount, 0);
    QVERIFY(f->phone()->labelMesNum->isHidden());
    f->push({ "Response: Success", "ActionID: MailBoxStatus", "Mailbox: 201", "Waiting: 1" });
    QCOMPARE(f->tile(QStringLiteral("201"))->vmCount, 1);
}

void TestQuorExtensions::tileAnswers_data()
{
    QTest::addColumn<Db>("db");
    QTest::addColumn<Events>("events");
    QTest::addColumn<Db>("dbAfter"); // what the PBX holds when the events come
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QStringList>("sent"); // after login

    const QString idle = QStringLiteral("2 dnd=0 fwd=0::");
    const QString dndOn = QStringLiteral("7 dnd=1 fwd=0::");
    const QString cfbOn = QStringLiteral("8 dnd=0 fwd=1:CFB:300");
    const Db dnd { { "DND/101", "YES" } };
    const Db cfb { { "CFB/101", "300" } };
    const QStringList dndEvent { "Event: UserEvent", "Act: DND", "User: 101" };
    const QStringList cfbEvent { "Event: UserEvent", "Act: CFB", "User: 101" };
    const QStringList peerStatus {
        "Action: command\r\nCommand: database showkey 101\r\nActionID: showkey/101-fwd\r\n\r\n",
        "Action: Command\r\nCommand: sip show peers\r\nActionID: SIPCount\r\n\r\n"
    };

    QTest::newRow("nothing stored") << Db {} << Events {} << Db {} << idle << QStringList {};
    QTest::newRow("dnd entry") << dnd << Events {} << dnd << dndOn << QStringList {};
    QTest::newRow("forward from showkey")
        << Db { { "CF/101", "200" }, { "CFB/101", "300" } } << Events {} << Db {} << cfbOn << QStringList {};
    QTest::newRow("dnd set elsewhere") << Db {} << Events { dndEvent } << dnd << dndOn
                                       << QStringList { dbGet("DND", "dnd") };
    QTest::newRow("dnd cleared elsewhere")
        << dnd << Events { dndEvent } << Db {} << idle << QStringList { dbGet("DND", "dnd") };
    QTest::newRow("forward set elsewhere")
        << Db {} << Events { cfbEvent } << cfb << cfbOn << QStringList { dbGet("CFB", "fwd") };
    QTest::newRow("forward cleared elsewhere")
        << cfb << Events { cfbEvent } << Db {} << idle << QStringList { dbGet("CFB", "fwd") };
    QTest::newRow("other family") << Db {} << Events { { "Event: DBGetResponse", "Family: XYZ", "Key: 101", "Val: 1" } }
                                  << Db {} << idle << QStringList {};
    QTest::newRow("dnd of a card channel")
        << Db {} << Events { { "Event: DNDState", "Channel: Zap/101", "Status: enabled" } } << Db {} << dndOn
        << QStringList {};
    QTest::newRow("unset forward family matches no line")
        << Db {}
        << Events { { "Response: Follows", "ActionID: showkey/101-fwd", "0 results found.\n", "--END COMMAND--" } }
        << Db {} << idle << QStringList {};
    QTest::newRow("peer unreachable") << Db {}
                                      << Events { { "Event: PeerStatus", "Peer: SIP/101", "PeerStatus: Unreachable" } }
                                      << Db {} << "1 dnd=0 fwd=0::" << peerStatus;
    QTest::newRow("peer lagged") << Db {} << Events { { "Event: PeerStatus", "Peer: SIP/101", "PeerStatus: Lagged" } }
                                 << Db {} << idle << peerStatus;
    QTest::newRow("extension in use") << Db {} << Events { { "Event: ExtensionStatus", "Exten: 101", "Status: 1" } }
                                      << Db {} << "5 dnd=0 fwd=0::" << QStringList {};
    QTest::newRow("extension status 2") << Db {} << Events { { "Event: ExtensionStatus", "Exten: 101", "Status: 2" } }
                                        << Db {} << idle << QStringList {};
}

void TestQuorExtensions::tileAnswers()
{
    QFETCH(Db, db);
    QFETCH(Events, events);
    QFETCH(Db, dbAfter);
    QFETCH(QString, shown);
    QFETCH(QStringList, sent);
    auto f = fixture({ peer("SIP", "101", "Alice") });
    f->pbx.db = db;
    QVERIFY(f->login());
    f->panel()->fwdFamilyNoAnswer.clear();
    f->pbx.db = dbAfter;
    f->takeSent();
    for (const QStringList &event : std::as_const(events))
        f->push(event);
    f->sync(); // the answers to re-reads
    const QuorAgent *t = f->tile(QStringLiteral("101"));
    QCOMPARE(QStringLiteral("%1 dnd=%2 fwd=%3:%4:%5")
                 .arg(int(t->state))
                 .arg(t->dnd)
                 .arg(t->forward)
                 .arg(t->fwdFamily, t->fwdNumber),
        shown);
    QCOMPARE(f->takeSent(), sent);
}

void TestQuorExtensions::texts_data()
{
    QTest::addColumn<Call>("call");
    QTest::addColumn<QStringList>("texts");

    const auto redirect = [](const char *exten) {
        return Call([exten](QuorExtensions *p) { p->redirectCall(QStringLiteral("SIP/300-1"), QLatin1String(exten)); });
    };
    QTest::newRow("redirect to the first tile's context")
        << redirect("101")
        << QStringList { "Action: Redirect\r\nChannel: SIP/300-1\r\nExten: 101\r\nPriority: 1\r\nContext: "
                         "sales\r\nActionID: redirectCall\r\n\r\n" };
    QTest::newRow("redirect without a tile")
        << redirect("999")
        << QStringList { "Action: Redirect\r\nChannel: SIP/300-1\r\nExten: 999\r\nPriority: 1\r\nContext: "
                         "\r\nActionID: redirectCall\r\n\r\n" };
    for (const char *tech : { "iax", "IAX2", "sip" }) {
        QTest::addRow("originate %s", tech)
            << Call([tech](QuorExtensions *p) {
                   QMetaObject::invokeMethod(p, "originateCall", Q_ARG(QString, QStringLiteral("101")),
                       Q_ARG(QString, QStringLiteral("202")), Q_ARG(QString, QLatin1String(tech)));
               })
            << QStringList { QStringLiteral("ACTION: Originate\r\nChannel: %1/101\r\nExten: 202\r\nPriority: 1\r\n"
                                            "Context: voip\r\nActionID: originateCall\r\n\r\n")
                                 .arg(QLatin1String(tech == QByteArray("sip") ? "SIP" : "IAX2")) };
    }
    QTest::newRow("transfer") << Call([](QuorExtensions *p) {
        QMetaObject::invokeMethod(p, "transferCall", Q_ARG(QString, QStringLiteral("SIP/1-2")), Q_ARG(QString, "7"));
    })
                              << QStringList { "ACTION: Redirect\r\nChannel: SIP/1-2\r\nContext: voip\r\nPriority: "
                                               "1\r\nExten: 7\r\nActionID: transferCall\r\n\r\n" };
    QTest::newRow("forward re-read") << Call([](QuorExtensions *p) { p->checkFwd(QStringLiteral("101"), "CF"); })
                                     << QStringList { dbGet("CF", "fwd") };
    QTest::newRow("caller names when FreePBX comes on")
        << Call([](QuorExtensions *p) { p->setUseFreePBX(true); })
        << QStringList(2, "Action: DBGet\r\nFamily: AMPUSER/101\r\nKey: cidname\r\nActionID: DBGetCidN\r\n\r\n");
}

void TestQuorExtensions::texts()
{
    QFETCH(Call, call);
    QFETCH(QStringList, texts);
    PbxModel::Peer sales = peer("SIP", "101", "Alice");
    sales.context = QStringLiteral("sales");
    auto f = fixture({ sales, peer("IAX", "101", "Alice") });
    QVERIFY(f->login());
    f->takeSent();
    call(f->panel());
    f->sync();
    QCOMPARE(f->takeSent(), texts);
}

void TestQuorExtensions::hostileValues()
{
    // No value from the PBX can end a line of an action or add one.
    QuorExtensions panel(nullptr, nullptr, nullptr);
    QSignalSpy sent(&panel, &QuorExtensions::AsteriskCommand);
    panel.peerEntry({ "Channeltype: SIP", "ObjectName: 1\rAction: Hangup\nChannel: x" });
    panel.checkFwd(QStringLiteral("1\r\n"), QStringLiteral("CF\nAction: Logoff"));
    // A 30-line details answer whose second line has no ":" names no peer.
    QStringList details(30, QStringLiteral("Field: value"));
    details[1] = QStringLiteral("no colon here");
    details[14] = QStringLiteral("Name : 2\r9");
    panel.peerResponse(details);
    QCOMPARE(sent.size(), 3);
    for (const QList<QVariant> &args : sent) {
        const QString text = args.at(0).toString();
        QCOMPARE(text.count(QLatin1Char('\r')), text.count(QStringLiteral("\r\n")));
        QCOMPARE(text.count(QLatin1Char('\n')), text.count(QStringLiteral("\r\n")));
    }
    QVERIFY(sent.at(2).at(0).toString().contains(QLatin1String("iax2 show peer 29\r\n")));
}

QTEST_MAIN(TestQuorExtensions)
#include "tst_quorextensions.moc"
