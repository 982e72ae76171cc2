// The CLI output conversions, fed with canned answers of the layouts the PBX
// prints, through the dispatcher as the socket would hand them over.

#include <QTest>

#include "SignalRecorder.h"
#include "ami/ManagerSocket.h"

namespace {

QStringList answer(const char *actionId, const QStringList &output)
{
    QStringList message = { "Response: Follows", "Privilege: Command", QStringLiteral("ActionID: ") + actionId };
    message += output;
    message << "--END COMMAND--";
    return message;
}

Emission entry(const char *type, const QString &name, const QString &address)
{
    return { "PeerEntry",
        { "Event: PeerEntry", QStringLiteral("Channeltype: ") + type, "ObjectName: " + name, "IPaddress: " + address },
        {} };
}

// The closing count of a peer table; avail < 0 leaves ListAvail out.
Emission count(const QString &type, int items, int avail, const char *event = "PeerlistComplete")
{
    QStringList lines { QStringLiteral("Event: ") + event, QStringLiteral("ListItems: %1").arg(items) };
    if (avail >= 0)
        lines << QStringLiteral("ListAvail: %1").arg(avail);
    return { "peersCount", lines, type };
}

Emission status(const char *driver, const char *object = nullptr)
{
    QStringList lines { "Event: zapStatus", QStringLiteral("Driver: ") + driver };
    if (object)
        lines << QStringLiteral("ObjectName: ") + object;
    return { "zapStatus", lines, {} };
}

const QStringList kSipTable = {
    "Name/username              Host            Dyn Nat ACL Port     Status     \n",
    "101/101                    192.168.1.10     D          5060     OK (3 ms)  \n",
    "102                        (Unspecified)    D          0        UNKNOWN    \n",
    "103/103                    192.168.1.13     D          5060     UNREACHABLE \n",
    "104/104                    192.168.1.14                5060     Unmonitored \n",
    "\n",
    "4 sip peers [Monitored: 1 online, 2 offline Unmonitored: 1 online, 0 offline]\n",
};

const QStringList kIaxTable = {
    "Name/Username    Host                 Mask             Port          Status    \n",
    "201              192.168.1.20    (D)  255.255.255.255  4569          OK (5 ms) \n",
    "202/202          (Unspecified)   (D)  255.255.255.255  0             UNKNOWN   \n",
    "203              192.168.1.23    (D)  255.255.255.255  4569          UNREACHABLE \n",
    "3 iax2 peers [1 online, 1 offline, 1 unmonitored]\n",
};

const QStringList kZapTable = {
    "   Chan Extension  Context         Language   MOH Interpret        \n",
    " pseudo            default                    default              \n",
    "      1            from-pstn                  default              \n",
    "      2            from-pstn       en         default              \n",
    "3                  from-internal   en         default              \n",
};

} // namespace

class TestAmiConversions : public QObject
{
    Q_OBJECT

private slots:
    void conversions_data();
    void conversions();
    void driverStatus_data();
    void driverStatus();
};

void TestAmiConversions::conversions_data()
{
    QTest::addColumn<QStringList>("message");
    QTest::addColumn<QList<Emission>>("expected");

    // Peer tables ---------------------------------------------------------
    QTest::newRow("sip show peers") << answer("SIPpeers", kSipTable)
                                    << QList<Emission> { entry("SIP", "101", "192.168.1.10"),
                                           entry("SIP", "102", "(Unspecified)"), entry("SIP", "103", "192.168.1.13"),
                                           entry("SIP", "104", "192.168.1.14"), count("SIP", 4, 2) };
    QTest::newRow("sip count") << answer("SIPCount", kSipTable) << QList<Emission> { count("SIP", 4, 2, "SipCount") };
    QTest::newRow("sip header in IAX case is no header") << answer(
        "SIPpeers", QStringList { "Name/Username   Host   Status\n", "101/101  1.2.3.4  OK\n", "1 sip peers [x]\n" })
                                                         << QList<Emission> { count("SIP", 1, 0) };
    QTest::newRow("summary without leading digits")
        << answer("SIPpeers",
               QStringList { "Name/username Host Status\n", "101 1.2.3.4 5060 OK\n", "sip peers: none counted\n" })
        << QList<Emission> { entry("SIP", "101", "1.2.3.4"), count("SIP", 0, 1) };
    QTest::newRow("rows only after the header, END COMMAND never a row") << QStringList { "Response: Follows",
        "ActionID: SIPpeers", "999 8.8.8.8 x y\n", "Name/username Host Dyn Port Status\n", "--END COMMAND-- a b c" }
                                                                         << QList<Emission> { count("SIP", 0, 0) };
    QTest::newRow("iax2 show peers") << answer("IAXPeers", kIaxTable)
                                     << QList<Emission> { entry("IAX", "201", "192.168.1.20"),
                                            entry("IAX", "202", "(Unspecified)"), entry("IAX", "203", "192.168.1.23"),
                                            count("IAX", 3, 2) };
    QTest::newRow("iax2 count") << answer("IAXCount", kIaxTable) << QList<Emission> { count("IAX", 3, 2, "IaxCount") };
    QTest::newRow("zap show channels") << answer("ZAPPeers", kZapTable)
                                       << QList<Emission> { entry("Zap", "1", "127.0.0.1"),
                                              entry("Zap", "2", "127.0.0.1"), entry("Zap", "3", "127.0.0.1"),
                                              count("Zap", 3, -1) };
    QTest::newRow("dgv channels") << answer("DGVPeers",
        QStringList { "Chan Group Context Language MOH Name\n", " 1 0 from-internal en default\n", "A B C D E F G\n",
            "X Y Z\n", " pseudo 0 default\n" })
                                  << QList<Emission> { entry("DGV", "1", "127.0.0.1"), entry("DGV", "F", "127.0.0.1"),
                                         count("DGV", 2, -1) };
    QTest::newRow("empty peer table") << answer("IAXPeers", {}) << QList<Emission> { count("IAX", 0, 0) };

    // Show-peer answers ---------------------------------------------------
    QTest::newRow("iax2 show peer")
        << answer("IAXShowPeer",
               QStringList { "\n", "\n", "  * Name       : 201\n", "  Secret       : <Set>\n",
                   "  Context      : from-internal\n", "  Mailbox      : 201@default\n",
                   "  Callerid     : \"Alice Jones\" <201>\n", "  Expire       : 3587\n",
                   "  Addr->IP     : 192.168.1.20 Port 4569\n", "  Defaddr->IP  : 0.0.0.0 Port 4569\n",
                   "  Codecs       : 0x6 (gsm|ulaw)\n", "  Codec Order  : (gsm|ulaw)\n", "  Status       : OK (5 ms)\n",
                   "  Last seen    : 2009-01-01 10:00:00\n", "\n" })
        << QList<Emission> { { "IaxPeer",
               { "ActionID: IAXShowPeer", "ObjectName: 201", "SecretExist: Y", "Context: from-internal",
                   "VoiceMailbox: 201@default", "Callerid: \"AliceJones\"<201>", "Address-IP: 192.168.1.20",
                   "Adress-Port: 4569", "Default-addr-IP: 0.0.0.0", "Default-addr-port: 4569", "Codecs: 0x6 (gsm|ulaw)",
                   "CodecOrder: gsm,ulaw", "Status: OK(5ms)", "Response: Success", "ChanObjectType: peer",
                   "Channeltype: IAX", "\r\n\r\n" },
               {} } };
    QTest::newRow("iax2 show peer, unspecified address")
        << answer("IAXShowPeer",
               QStringList { "  Name : 202\n", "  Secret : <set>\n", "  Addr->IP : (Unspecified) Port 0\n",
                   "  Defaddr->IP : (Unspecified) Port 0\n" })
        << QList<Emission> { { "IaxPeer",
               { "ActionID: IAXShowPeer", "ObjectName: 202", "SecretExist: N", "Address-IP: ", "Adress-Port: 0",
                   "Default-addr-IP: (Unspecified)", "Default-addr-port: 0", "Response: Success",
                   "ChanObjectType: peer", "Channeltype: IAX", "\r\n\r\n" },
               {} } };
    QTest::newRow("iax2 show peer, colon in value ignored")
        << answer("IAXShowPeer", QStringList { "  Name : 203\n", "  Addr->IP : fe80::1 Port 4569\n" })
        << QList<Emission> { { "IaxPeer",
               { "ActionID: IAXShowPeer", "ObjectName: 203", "Response: Success", "ChanObjectType: peer",
                   "Channeltype: IAX", "\r\n\r\n" },
               {} } };
    QTest::newRow("zap show channel") << answer("ZAPShowPeer",
        QStringList { "Channel: 1\n", "File Descriptor: 15\n", "Span: 1\n", "Extension: \n", "Context: from-pstn\n",
            "Caller ID: 5551234\n", "Calling TON: 0\n", "Caller ID name: Bob Smith\n", "Default law: ulaw\n" })
                                      << QList<Emission> { { "IaxPeer",
                                             { "ActionID: ZAPShowPeer", "ObjectName: 1", "Context: from-pstn",
                                                 "Callerid: \"BobSmith\" <5551234>", "Codecs: ulaw", "CodecOrder: ulaw",
                                                 "VoiceMailbox: not set", "SecretExist: N", "Address-IP: 127.0.0.1",
                                                 "Adress-Port: 1234", "Default-addr-IP: 0.0.0.0",
                                                 "Default-addr-port: 1234", "Response: Success", "Channeltype: Zap",
                                                 "\r\n\r\n" },
                                             {} } };
    QTest::newRow("dgv show peer, name before number")
        << answer("DGVShowPeer", QStringList { "Channel: 4\n", "Caller ID name: Eve\n", "Caller ID: 77\n" })
        << QList<Emission> { { "IaxPeer",
               { "ActionID: DGVShowPeer", "ObjectName: 4", "Callerid: \"Eve\" <>", "VoiceMailbox: not set",
                   "SecretExist: N", "Address-IP: 127.0.0.1", "Adress-Port: 1234", "Default-addr-IP: 0.0.0.0",
                   "Default-addr-port: 1234", "Response: Success", "Channeltype: Dgv", "\r\n\r\n" },
               {} } };

    // AstDB miss, showkey --------------------------------------------------
    QTest::newRow("AstDB miss of DBGetCidN") << QStringList { "Response: Error", "ActionID: DBGetCidN",
        "Message: Database entry not found" } << QList<Emission> { { "DBerror", {}, {} } };
    const QStringList showkey = answer("showkey/101-fwd",
        QStringList {
            "/CF/101                                           : 5551234            \n", "1 results found.\n" });
    QTest::newRow("database showkey") << showkey
                                      << QList<Emission> { { "showkey",
                                             showkey + QStringList { "Key: 101", "Option: fwd" }, {} } };
}

void TestAmiConversions::conversions()
{
    QFETCH(QStringList, message);
    QFETCH(QList<Emission>, expected);
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    socket.parseMessage(message);
    QCOMPARE(describe(recorder.emissions), describe(expected));
}

// Driver status answers. The driver word one answer finds decides what the
// next emits.
void TestAmiConversions::driverStatus_data()
{
    QTest::addColumn<QList<QStringList>>("answers");
    QTest::addColumn<bool>("resetBeforeLast");
    QTest::addColumn<QList<Emission>>("expected");

    const QStringList dahdiCard = answer("dahdiStatus",
        { "Description                              Alarms  IRQ    bpviol CRC4\n",
            "Wildcard TE122 Card 0                    OK      0      0      0\n" });
    const QStringList dahdiDummy
        = answer("dahdiStatus", { "Description Alarms IRQ\n", "DAHDI_DUMMY/1 (source: HRtimer) 1 OK 0\n" });
    const QStringList dahdiMissing = answer("dahdiStatus", { "No such command 'dahdi' (type 'help' for help)\n" });
    const QStringList zapCard = answer("zapStatus", { "Description Alarms IRQ\n", " T1 card OK\n" });
    const QStringList zapDummy = answer("zapStatus", { "Description Alarms IRQ\n", "ZTDUMMY/1 x OK 0\n" });
    const QStringList zapMissing = answer("zapStatus", { "No such command 'zap' (type 'help' for help)\n" });

    QTest::newRow("dahdi card, then zap missing") << QList<QStringList> { dahdiCard, zapMissing } << false
                                                  << QList<Emission> { status("dahdi", "Wildcard"), status("none") };
    QTest::newRow("dahdi missing, then a zap card row beginning with a blank") << QList<QStringList> { dahdiMissing,
        zapCard } << false << QList<Emission> { status("none"), status("Zap", "") };
    QTest::newRow("dahdi keeps a zap card out")
        << QList<QStringList> { dahdiCard, zapCard } << false << QList<Emission> { status("dahdi", "Wildcard") };
    QTest::newRow("dummy keeps both out")
        << QList<QStringList> { dahdiDummy, zapCard, dahdiCard } << false << QList<Emission> { status("dummy") };
    QTest::newRow("zap dummy, then none")
        << QList<QStringList> { zapDummy, zapMissing } << false << QList<Emission> { status("dummy"), status("none") };
    QTest::newRow("reset forgets the driver") << QList<QStringList> { dahdiCard, zapCard } << true
                                              << QList<Emission> { status("dahdi", "Wildcard"), status("Zap", "") };
    QTest::newRow("status without header or row")
        << QList<QStringList> { answer("dahdiStatus", { "Description\n", "\n" }) } << false << QList<Emission> {};
}

void TestAmiConversions::driverStatus()
{
    QFETCH(QList<QStringList>, answers);
    QFETCH(bool, resetBeforeLast);
    QFETCH(QList<Emission>, expected);
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    for (qsizetype i = 0; i < answers.size(); ++i) {
        if (resetBeforeLast && i == answers.size() - 1)
            socket.resetCounters();
        socket.parseMessage(answers.at(i));
    }
    QCOMPARE(describe(recorder.emissions), describe(expected));
}

QTEST_GUILESS_MAIN(TestAmiConversions)
#include "tst_amiconversions.moc"
