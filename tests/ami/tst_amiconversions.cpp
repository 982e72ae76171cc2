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

QStringList peer(const char *type, const QString &name, const QString &address)
{
    return { "Event: PeerEntry", QStringLiteral("Channeltype: ") + type, "ObjectName: " + name,
        "IPaddress: " + address };
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
    void driverSequences_data();
    void driverSequences();
};

void TestAmiConversions::conversions_data()
{
    QTest::addColumn<QStringList>("message");
    QTest::addColumn<QList<Emission>>("expected");

    // Peer tables ---------------------------------------------------------
    QTest::newRow("sip show peers") << answer("SIPpeers", kSipTable)
                                    << QList<Emission> { { "PeerEntry", peer("SIP", "101", "192.168.1.10"), {} },
                                           { "PeerEntry", peer("SIP", "102", "(Unspecified)"), {} },
                                           { "PeerEntry", peer("SIP", "103", "192.168.1.13"), {} },
                                           { "PeerEntry", peer("SIP", "104", "192.168.1.14"), {} },
                                           { "peersCount",
                                               { "Event: PeerlistComplete", "ListItems: 4", "ListAvail: 2" }, "SIP" } };
    QTest::newRow("sip count") << answer("SIPCount", kSipTable)
                               << QList<Emission> { { "peersCount",
                                      { "Event: SipCount", "ListItems: 4", "ListAvail: 2" }, "SIP" } };
    QTest::newRow("sip header in IAX case is no header")
        << answer("SIPpeers",
               QStringList { "Name/Username   Host   Status\n", "101/101  1.2.3.4  OK\n", "1 sip peers [x]\n" })
        << QList<Emission> { { "peersCount", { "Event: PeerlistComplete", "ListItems: 1", "ListAvail: 0" }, "SIP" } };
    QTest::newRow("summary without leading digits")
        << answer("SIPpeers",
               QStringList { "Name/username Host Status\n", "101 1.2.3.4 5060 OK\n", "sip peers: none counted\n" })
        << QList<Emission> { { "PeerEntry", peer("SIP", "101", "1.2.3.4"), {} },
               { "peersCount", { "Event: PeerlistComplete", "ListItems: 0", "ListAvail: 1" }, "SIP" } };
    QTest::newRow("rows only after the header, END COMMAND never a row")
        << QStringList { "Response: Follows", "ActionID: SIPpeers", "999 8.8.8.8 x y\n",
               "Name/username Host Dyn Port Status\n", "--END COMMAND-- a b c" }
        << QList<Emission> { { "peersCount", { "Event: PeerlistComplete", "ListItems: 0", "ListAvail: 0" }, "SIP" } };
    QTest::newRow("iax2 show peers") << answer("IAXPeers", kIaxTable)
                                     << QList<Emission> { { "PeerEntry", peer("IAX", "201", "192.168.1.20"), {} },
                                            { "PeerEntry", peer("IAX", "202", "(Unspecified)"), {} },
                                            { "PeerEntry", peer("IAX", "203", "192.168.1.23"), {} },
                                            { "peersCount",
                                                { "Event: PeerlistComplete", "ListItems: 3", "ListAvail: 2" },
                                                "IAX" } };
    QTest::newRow("iax2 count") << answer("IAXCount", kIaxTable)
                                << QList<Emission> { { "peersCount",
                                       { "Event: IaxCount", "ListItems: 3", "ListAvail: 2" }, "IAX" } };
    QTest::newRow("zap show channels") << answer("ZAPPeers", kZapTable)
                                       << QList<Emission> { { "PeerEntry", peer("Zap", "1", "127.0.0.1"), {} },
                                              { "PeerEntry", peer("Zap", "2", "127.0.0.1"), {} },
                                              { "PeerEntry", peer("Zap", "3", "127.0.0.1"), {} },
                                              { "peersCount", { "Event: PeerlistComplete", "ListItems: 3" }, "Zap" } };
    QTest::newRow("dgv channels") << answer("DGVPeers",
        QStringList { "Chan Group Context Language MOH Name\n", " 1 0 from-internal en default\n", "A B C D E F G\n",
            "X Y Z\n", " pseudo 0 default\n" })
                                  << QList<Emission> { { "PeerEntry", peer("DGV", "1", "127.0.0.1"), {} },
                                         { "PeerEntry", peer("DGV", "F", "127.0.0.1"), {} },
                                         { "peersCount", { "Event: PeerlistComplete", "ListItems: 2" }, "DGV" } };
    QTest::newRow("empty peer table") << answer("IAXPeers", {})
                                      << QList<Emission> { { "peersCount",
                                             { "Event: PeerlistComplete", "ListItems: 0", "ListAvail: 0" }, "IAX" } };

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

    // Driver status, AstDB miss, showkey ----------------------------------
    QTest::newRow("dahdi status with a card")
        << answer("dahdiStatus",
               QStringList { "Description                              Alarms  IRQ    bpviol CRC4\n",
                   "Wildcard TE122 Card 0                    OK      0      0      0\n" })
        << QList<Emission> { { "zapStatus", { "Event: zapStatus", "Driver: dahdi", "ObjectName: Wildcard" }, {} } };
    QTest::newRow("dahdi dummy") << answer(
        "dahdiStatus", QStringList { "Description Alarms IRQ\n", "DAHDI_DUMMY/1 (source: HRtimer) 1 OK 0\n" })
                                 << QList<Emission> { { "zapStatus", { "Event: zapStatus", "Driver: dummy" }, {} } };
    QTest::newRow("zap dummy") << answer("zapStatus", QStringList { "Description Alarms IRQ\n", "ZTDUMMY/1 x OK 0\n" })
                               << QList<Emission> { { "zapStatus", { "Event: zapStatus", "Driver: dummy" }, {} } };
    QTest::newRow("zap card row beginning with a blank")
        << answer("zapStatus", QStringList { "Description Alarms IRQ\n", " T1 card OK\n" })
        << QList<Emission> { { "zapStatus", { "Event: zapStatus", "Driver: Zap", "ObjectName: " }, {} } };
    QTest::newRow("no such command") << answer(
        "zapStatus", QStringList { "No such command 'zap' (type 'help' for help)\n" })
                                     << QList<Emission> { { "zapStatus", { "Event: zapStatus", "Driver: none" }, {} } };
    QTest::newRow("status without header or row")
        << answer("dahdiStatus", QStringList { "Description\n", "\n" }) << QList<Emission> {};
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

// The driver word found by one status answer decides what the next emits.
void TestAmiConversions::driverSequences_data()
{
    QTest::addColumn<QList<QStringList>>("answers");
    QTest::addColumn<bool>("resetBeforeLast");
    QTest::addColumn<QStringList>("drivers");

    const QStringList dahdiCard = answer("dahdiStatus", { "Description Alarms\n", "TE122/1 card OK\n" });
    const QStringList dahdiDummy = answer("dahdiStatus", { "Description Alarms\n", "DAHDI_DUMMY/1 x OK\n" });
    const QStringList dahdiMissing = answer("dahdiStatus", { "No such command 'dahdi' (type 'help' for help)\n" });
    const QStringList zapCard = answer("zapStatus", { "Description Alarms\n", "T1/1 card OK\n" });
    const QStringList zapMissing = answer("zapStatus", { "No such command 'zap' (type 'help' for help)\n" });

    QTest::newRow("dahdi, then zap missing")
        << QList<QStringList> { dahdiCard, zapMissing } << false << QStringList { "dahdi", "none" };
    QTest::newRow("dahdi missing, then zap")
        << QList<QStringList> { dahdiMissing, zapCard } << false << QStringList { "none", "Zap" };
    QTest::newRow("dahdi keeps a zap card out")
        << QList<QStringList> { dahdiCard, zapCard } << false << QStringList { "dahdi" };
    QTest::newRow("dummy keeps both out")
        << QList<QStringList> { dahdiDummy, zapCard, dahdiCard } << false << QStringList { "dummy" };
    QTest::newRow("dummy, then none") << QList<QStringList> { dahdiDummy, zapMissing } << false
                                      << QStringList { "dummy", "none" };
    QTest::newRow("reset forgets the driver")
        << QList<QStringList> { dahdiCard, zapCard } << true << QStringList { "dahdi", "Zap" };
}

void TestAmiConversions::driverSequences()
{
    QFETCH(QList<QStringList>, answers);
    QFETCH(bool, resetBeforeLast);
    QFETCH(QStringList, drivers);
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    for (qsizetype i = 0; i < answers.size(); ++i) {
        if (resetBeforeLast && i == answers.size() - 1)
            socket.resetCounters();
        socket.parseMessage(answers.at(i));
    }
    QStringList seen;
    for (const Emission &e : std::as_const(recorder.emissions))
        seen << ManagerSocket::getValue(QStringLiteral("Driver"), e.lines);
    QCOMPARE(seen, drivers);
}

QTEST_GUILESS_MAIN(TestAmiConversions)
#include "tst_amiconversions.moc"
