// Key lookup, splitters, and the routing of responses and events to signals.

#include <QFile>
#include <QTest>

#include "SignalRecorder.h"
#include "ami/ManagerSocket.h"
#include "testsupport/TestDataDir.h"

class TestAmiDispatch : public QObject
{
    Q_OBJECT

private slots:
    void getValue_data();
    void getValue();
    void splitters_data();
    void splitters();
    void dispatch_data();
    void dispatch();
    void trace();
};

void TestAmiDispatch::getValue_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("message");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "Channel" << QStringList { "Event: Hangup", "Channel: SIP/101-0a1b" } << "SIP/101-0a1b";
    QTest::newRow("absent") << "Event" << QStringList { "Response: Success" } << "";
    QTest::newRow("empty value") << "Key" << QStringList { "Key: " } << "";
    QTest::newRow("no blank after colon gives the line") << "Key" << QStringList { "Key:value" } << "Key:value";
    QTest::newRow("value cut at next separator") << "Message" << QStringList { "Message: a: b" } << "a";
    QTest::newRow("line feed kept") << "Key" << QStringList { "Key: 101\n" } << "101\n";
    QTest::newRow("first match wins") << "Key" << QStringList { "Key: 1", "Key: 2" } << "1";
    QTest::newRow("longer key not matched") << "Key" << QStringList { "Keys: 1", "KeyX: 2" } << "";
    QTest::newRow("other case not matched") << "Event" << QStringList { "event: Hangup", "EVENT: Link" } << "";
    QTest::newRow("key not at line start") << "Key" << QStringList { " Key: 1", "Family: Key: 2" } << "";
    QTest::newRow("value holding a colon")
        << "Channel" << QStringList { "Channel: IAX2/1.2.3.4:4569-7" } << "IAX2/1.2.3.4:4569-7";
    QTest::newRow("empty message") << "Event" << QStringList {} << "";
}

void TestAmiDispatch::getValue()
{
    QFETCH(QString, key);
    QFETCH(QStringList, message);
    QFETCH(QString, expected);
    QCOMPARE(ManagerSocket::getValue(key, message), expected);
}

// Every splitter on every input: plain prefix and split work, quirks included.
void TestAmiDispatch::splitters_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("extTechOptionFamily");

    QTest::newRow("channel") << "SIP/101-0a1b" << QStringList { "101", "SIP", "0a1b", "101-0a1b" };
    QTest::newRow("bare extension") << "101" << QStringList { "101", "101", "101", "101" };
    QTest::newRow("ActionID with option") << "DBcheck/101-dnd" << QStringList { "101", "DBcheck", "dnd", "101-dnd" };
    QTest::newRow("dashes in the name") << "SIP/my-phone-01" << QStringList { "my", "SIP", "phone-01", "my-phone-01" };
    QTest::newRow("database key") << "/CF/101 : 555" << QStringList { "CF/101 : 555", "", "/CF/101 : 555", "CF" };
    QTest::newRow("nothing after the slash") << "SIP/" << QStringList { "", "SIP", "SIP/", "" };
    QTest::newRow("empty") << "" << QStringList { "", "", "", "" };
}

void TestAmiDispatch::splitters()
{
    QFETCH(QString, input);
    QFETCH(QStringList, extTechOptionFamily);
    const QStringList results = { ManagerSocket::extFromChannel(input), ManagerSocket::techFromChannel(input),
        ManagerSocket::optionFromActionId(input), ManagerSocket::familyFromDbKey(input) };
    QCOMPARE(results, extTechOptionFamily);
}

void TestAmiDispatch::dispatch_data()
{
    QTest::addColumn<QStringList>("message");
    QTest::addColumn<QList<Emission>>("expected");

    const QStringList getVar = { "Response: Success", "ActionID: GETvar", "Variable: X", "Value: 1" };
    const QStringList mbStatus = { "Response: Success", "ActionID: MailBoxStatus", "Waiting: 1" };
    const QStringList mbCount = { "Response: Success", "ActionID: MailBoxCount", "NewMessages: 2" };
    const QStringList sipShow = { "Response: Error", "ActionID: SIPShowPeer", "Message: Peer 999 not found" };

    QTest::newRow("channel count") << QStringList { "Response: Follows", "Privilege: Command", "ActionID: showChannels",
        "Channel              Location             State   Application(Data)\n", "2 active channels\n",
        "1 active call\n", "7 calls processed\n", "--END COMMAND--" }
                                   << QList<Emission> { { "chanNum", { "2", "7" }, {} } };
    QTest::newRow("channel count without numbers") << QStringList { "Response: Follows", "ActionID: showChannels",
        "--END COMMAND--" } << QList<Emission> { { "chanNum", { "", "" }, {} } };
    QTest::newRow("version") << QStringList { "Response: Follows", "Privilege: Command", "ActionID: getVersion",
        "Asterisk 1.4.21.2 built by root @ pbx on a i686 running Linux\n", "--END COMMAND--" }
                             << QList<Emission> { { "asteriskVersion", { "1.4.21.2" }, {} } };
    QTest::newRow("version once per line up to END COMMAND")
        << QStringList { "Response: Follows", "ActionID: getVersion", "Asterisk 1.6.2.0 built\n", "second line\n",
               "single", "word\n", "--END COMMAND--", "after end\n" }
        << QList<Emission> { { "asteriskVersion", { "1.6.2.0" }, {} }, { "asteriskVersion", { "line" }, {} },
               { "asteriskVersion", { "" }, {} } };
    QTest::newRow("version: a one-word line yields nothing")
        << QStringList { "Response: Follows", "ActionID: getVersion", "Asterisk", "--END COMMAND--" }
        << QList<Emission> {};
    QTest::newRow("login accepted") << QStringList {
        "Response: Success", "ActionID: logIn", "Message: Authentication accepted"
    } << QList<Emission> { { "logInResponse", { "true", "Authentication accepted" }, {} } };
    QTest::newRow("login success in any case") << QStringList { "Response: SUCCESS", "ActionID: logIn" }
                                               << QList<Emission> { { "logInResponse", { "true", "" }, {} } };
    QTest::newRow("login refused") << QStringList { "Response: Error", "ActionID: logIn",
        "Message: Authentication failed" }
                                   << QList<Emission> { { "logInResponse", { "false", "Authentication failed" }, {} } };
    QTest::newRow("AstDB miss under any ActionID") << QStringList { "Response: Error", "ActionID: DBcheck/101-dnd",
        "Message: Database entry not found" } << QList<Emission> { { "DBerror", { "Key: 101", "Option: dnd" }, {} } };
    QTest::newRow("AstDB miss wins over SIPShowPeer")
        << QStringList { "Response: Error", "ActionID: SIPShowPeer", "Message: Database entry not found" }
        << QList<Emission> { { "DBerror", { "Key: SIPShowPeer", "Option: SIPShowPeer" }, {} } };
    QTest::newRow("other error dropped") << QStringList { "Response: Error", "ActionID: DBcheck/101-dnd",
        "Message: Permission denied" } << QList<Emission> {};
    QTest::newRow("GETvar") << getVar << QList<Emission> { { "GetVar", getVar, {} } };
    QTest::newRow("GETvar needs Success")
        << QStringList { "Response: Error", "ActionID: GETvar", "Message: No such channel" } << QList<Emission> {};
    QTest::newRow("SIPShowPeer with any response") << sipShow << QList<Emission> { { "SipPeer", sipShow, {} } };
    QTest::newRow("MailBoxStatus") << mbStatus << QList<Emission> { { "MailBoxStatus", mbStatus, {} } };
    QTest::newRow("MailBoxCount") << mbCount << QList<Emission> { { "MailBoxCount", mbCount, {} } };
    QTest::newRow("showkey needs Follows")
        << QStringList { "Response: Success", "ActionID: showkey/101-fwd" } << QList<Emission> {};
    QTest::newRow("showkey anywhere in the ActionID")
        << QStringList { "Response: Follows", "ActionID: xshowkey/7-fwd", "--END COMMAND--" }
        << QList<Emission> { { "showkey",
               { "Response: Follows", "ActionID: xshowkey/7-fwd", "--END COMMAND--", "Key: 7", "Option: fwd" }, {} } };
    QTest::newRow("SIPpeers needs Follows")
        << QStringList { "Response: Success", "ActionID: SIPpeers" } << QList<Emission> {};
    QTest::newRow("ActionIDs are case-exact")
        << QStringList { "Response: Follows", "ActionID: sippeers" } << QList<Emission> {};
    QTest::newRow("unknown ActionID dropped")
        << QStringList { "Response: Success", "ActionID: redirectCall" } << QList<Emission> {};
    QTest::newRow("empty Event value is a response") << QStringList { "Event: ", "Response: Success", "ActionID: logIn",
        "Message: ok" } << QList<Emission> { { "logInResponse", { "true", "ok" }, {} } };
    QTest::newRow("first line without separator drops all")
        << QStringList { "Asterisk Call Manager/1.1", "Response: Success", "ActionID: logIn" } << QList<Emission> {};
    QTest::newRow("empty message") << QStringList {} << QList<Emission> {};

    // Events: each name reaches the signal of the same name, whatever line
    // holds it; names are case-exact.
    const char *sameName[] = { "PeerEntry", "PeerStatus", "ExtensionStatus", "DNDState", "Link", "Unlink", "Rename",
        "MessageWaiting", "Hangup", "Newcallerid", "Newexten", "Status", "UnParkedCall", "ParkedCallGiveUp",
        "ParkedCallTimeOut", "Newchannel", "Join", "Leave", "Dial", "Cdr", "Agents", "Agentcallbacklogin",
        "Agentcallbacklogoff", "QueueMemberStatus", "QueueMemberAdded", "QueueMemberRemoved", "QueueStatusComplete",
        "QueueMember", "QueueParams", "QueueMemberPaused", "Newstate", "Hold", "Unhold", "UserEvent" };
    for (const char *name : sameName) {
        const QStringList message
            = { QStringLiteral("Event: ") + QLatin1String(name), "Privilege: call,all", "Unqiueid: 5" };
        QTest::addRow("%s", name) << message << QList<Emission> { { name, message, {} } };
    }
    QTest::newRow("event names are case-exact") << QStringList { "Event: hangup" } << QList<Emission> {};
    const QStringList dbGet = { "Event: DBGetResponse", "Family: DND", "Key: 101", "Val: YES" };
    QTest::newRow("DBGetResponse") << dbGet << QList<Emission> { { "DBGet", dbGet, {} } };
    const QStringList zap = { "Event: ZapShowChannels", "Channel: 1", "DND: Disabled" };
    QTest::newRow("ZapShowChannels") << zap << QList<Emission> { { "ZapShowChannels", zap, {} } };
    const QStringList dahdi = { "Event: DahdiShowChannels", "DAHDIChannel: 1", "DND: Enabled" };
    QTest::newRow("DahdiShowChannels") << dahdi << QList<Emission> { { "ZapShowChannels", dahdi, {} } };
    QTest::newRow("ParkedCall repairs Unqiueid")
        << QStringList { "Event: ParkedCall", "Exten: 701", "Unqiueid: 123", "From: Unqiueid Unqiueid" }
        << QList<Emission> { { "ParkedCall",
               { "Event: ParkedCall", "Exten: 701", "Uniqueid: 123", "From: Uniqueid Uniqueid" }, {} } };
    QTest::newRow("unknown event") << QStringList { "Event: VarSet", "Variable: X" } << QList<Emission> {};
    QTest::newRow("DBGet is not an event name") << QStringList { "Event: DBGet" } << QList<Emission> {};
    QTest::newRow("never-emitted names") << QStringList { "Event: zapChannel" } << QList<Emission> {};
    QTest::newRow("Event line need not come first") << QStringList { "Privilege: call,all",
        "Event: Hangup" } << QList<Emission> { { "Hangup", { "Privilege: call,all", "Event: Hangup" }, {} } };
}

void TestAmiDispatch::dispatch()
{
    QFETCH(QStringList, message);
    QFETCH(QList<Emission>, expected);
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    socket.parseMessage(message);
    QCOMPARE(describe(recorder.emissions), describe(expected));
}

void TestAmiDispatch::trace()
{
    TestDataDir dataDir;
    ManagerSocket socket;
    socket.parseMessage({ "Event: Hangup", "Uniqueid: 1" });
    QVERIFY(!QFile::exists(dataDir.filePath(QStringLiteral("manager.log"))));

    socket.setLogToFile(true);
    socket.parseMessage({ "Asterisk Call Manager/1.1" });
    socket.parseMessage({ "Event: Hangup", "Uniqueid: 2" });
    const QString text = QString::fromLatin1(dataDir.read(QStringLiteral("manager.log")));
    QVERIFY2(!text.contains(u"Asterisk Call Manager"), qPrintable(text));
    const QStringList logged = text.split(u'\n');
    QCOMPARE(logged.size(), 4); // two lines, the empty line, and the final line end
    QVERIFY(logged.at(0).endsWith(u" Event: Hangup"));
    QVERIFY(logged.at(1).endsWith(u" Uniqueid: 2"));
}

QTEST_GUILESS_MAIN(TestAmiDispatch)
#include "tst_amidispatch.moc"
