// Framing of the AMI byte stream: fed directly and over real loopback reads.

#include <QSignalSpy>
#include <QTest>

#include "ami/ManagerSocket.h"
#include "testsupport/FakeAmiServer.h"
#include "SignalRecorder.h"
#include "testsupport/TestDataDir.h"

namespace {

class FeedSocket : public ManagerSocket
{
public:
    using ManagerSocket::consumeBytes;
    void feed(const QByteArray &bytes) { consumeBytes(bytes.constData(), bytes.size()); }
};

const QByteArray Greeting = "Asterisk Call Manager/1.1\r\n";
const QByteArray LoginAction = "\r\nAction: Login\r\nUsername: admin\r\nSecret: s3cret\r\nActionID: logIn\r\n\r\n";

} // namespace

class TestAmiFraming : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void everyByteSplit();
    void messageLimits();
    void loopbackSplitReads();
    void loopbackLoginAndEvents();
    void staleLinesClearedOnReconnect();
    void sendCommandIsLatin1();
    void abortFromReceiverStopsFraming();
    void metaObjectInterface();
};

void TestAmiFraming::framing_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<Emission>>("expected");

    QTest::newRow("one message") << QList<QByteArray> { "Event: Hangup\r\nUniqueid: 1\r\n\r\n" }
                                 << QList<Emission> { { "Hangup", { "Event: Hangup", "Uniqueid: 1" }, {} } };
    QTest::newRow("header split over reads") << QList<QByteArray> { "Event: Hang", "up\r\nUniq", "ueid: 1\r", "\n\r",
        "\n" } << QList<Emission> { { "Hangup", { "Event: Hangup", "Uniqueid: 1" }, {} } };
    QTest::newRow("incomplete line waits")
        << QList<QByteArray> { "Event: Hangup\r\nUniqueid: 1" } << QList<Emission> {};
    QTest::newRow("bare line feeds stay inside")
        << QList<QByteArray> { "Event: UserEvent\r\nline one\n\n   indented \n\r\n" }
        << QList<Emission> { { "UserEvent", { "Event: UserEvent", "line one\n", "\n", "   indented \n" }, {} } };
    QTest::newRow("blank line is a line")
        << QList<QByteArray> { "Event: UserEvent\r\n   \r\nA: b\r\n\r\n" }
        << QList<Emission> { { "UserEvent", { "Event: UserEvent", "   ", "A: b" }, {} } };
    QTest::newRow("two empty lines give one message")
        << QList<QByteArray> { "Event: Hangup\r\n\r\n\r\nEvent: Link\r\n\r\n" }
        << QList<Emission> { { "Hangup", { "Event: Hangup" }, {} }, { "Link", { "Event: Link" }, {} } };
    QTest::newRow("leading empty lines ignored")
        << QList<QByteArray> { "\r\n\r\nEvent: Link\r\n\r\n" } << QList<Emission> { { "Link", { "Event: Link" }, {} } };
    QTest::newRow("lone carriage return kept") << QList<QByteArray> { "Event: Hangup\r\nA: b\r\r\n\r\n" }
                                               << QList<Emission> { { "Hangup", { "Event: Hangup", "A: b\r" }, {} } };
    QTest::newRow("NUL cuts the rest of the line")
        << QList<QByteArray> { QByteArray("Event: Hangup\r\nChannel: SIP/1\0garbage\r\n\r\n", 41) }
        << QList<Emission> { { "Hangup", { "Event: Hangup", "Channel: SIP/1" }, {} } };
    QTest::newRow("line starting with NUL ends the message")
        << QList<QByteArray> { QByteArray("Event: Hangup\r\n\0junk\r\nEvent: Link\r\n\r\n", 37) }
        << QList<Emission> { { "Hangup", { "Event: Hangup" }, {} }, { "Link", { "Event: Link" }, {} } };
    QTest::newRow("greeting dropped with the message glued to it")
        << QList<QByteArray> { Greeting + "Event: Hangup\r\n\r\nEvent: Link\r\n\r\n" }
        << QList<Emission> { { "Link", { "Event: Link" }, {} } };
    QTest::newRow("login answered through the leading empty line")
        << QList<QByteArray> { Greeting, "Response: Error\r\nMessage: Missing action in request\r\n\r\n",
               "Response: Success\r\nActionID: logIn\r\nMessage: Authentication accepted\r\n\r\n" }
        << QList<Emission> { { "logInResponse", { "true", "Authentication accepted" }, {} } };

    const QByteArray longValue(70000, 'a');
    QTest::newRow("oversized line in one read")
        << QList<QByteArray> { "Event: Hangup\r\nX: " + longValue + "\r\nUniqueid: 2\r\n\r\n" }
        << QList<Emission> { { "Hangup", { "Event: Hangup", "Uniqueid: 2" }, {} } };
    QTest::newRow("oversized line over reads") << QList<QByteArray> { "Event: Hangup\r\nX: ", longValue, longValue,
        "tail\r\nUniqueid: 2\r\n\r\n" } << QList<Emission> { { "Hangup", { "Event: Hangup", "Uniqueid: 2" }, {} } };
    QTest::newRow("oversized line grown from pending bytes")
        << QList<QByteArray> { "Event: Hangup\r\nX: ", longValue + "\r\nUniqueid: 2\r\n\r\n" }
        << QList<Emission> { { "Hangup", { "Event: Hangup", "Uniqueid: 2" }, {} } };
    // The limit counts every byte before the line feed, the carriage return too.
    const QByteArray fits = "X: " + QByteArray(ManagerSocket::MaxLineBytes - 4, 'b');
    QTest::newRow("line at the limit kept")
        << QList<QByteArray> { "Event: Hangup\r\n" + fits.left(100), fits.mid(100) + "\r\n\r\n" }
        << QList<Emission> { { "Hangup", { "Event: Hangup", QString::fromLatin1(fits) }, {} } };
}

void TestAmiFraming::framing()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<Emission>, expected);
    TestDataDir dataDir;
    FeedSocket socket;
    SignalRecorder recorder(&socket);
    for (const QByteArray &chunk : chunks)
        socket.feed(chunk);
    QCOMPARE(describe(recorder.emissions), describe(expected));
}

// The framing must not depend on where the reads fall.
void TestAmiFraming::everyByteSplit()
{
    const QByteArray stream = Greeting
        + "Response: Error\r\nMessage: Missing action in request\r\n\r\n"
          "Response: Follows\r\nActionID: showkey/101-fwd\r\n/CFB/101 : 200\n\n"
          "--END COMMAND--\r\n\r\nEvent: Newchannel\r\nChannel: SIP/101-1\r\n\r\n";
    FeedSocket whole;
    SignalRecorder wholeRecorder(&whole);
    whole.feed(stream);
    QCOMPARE(wholeRecorder.names(), (QList<QByteArray> { "showkey", "Newchannel" }));

    FeedSocket bytewise;
    SignalRecorder byteRecorder(&bytewise);
    for (char c : stream)
        bytewise.feed(QByteArray(1, c));
    QCOMPARE(describe(byteRecorder.emissions), describe(wholeRecorder.emissions));
}

void TestAmiFraming::messageLimits()
{
    TestDataDir dataDir;
    FeedSocket socket;
    SignalRecorder recorder(&socket);

    // Exactly at the line limit: delivered whole.
    QByteArray atLimit = "Event: UserEvent\r\n";
    for (qsizetype i = 1; i < ManagerSocket::MaxMessageLines; ++i)
        atLimit += "A: b\r\n";
    socket.feed(atLimit + "\r\n");
    QCOMPARE(recorder.emissions.size(), 1);
    QCOMPARE(recorder.emissions.at(0).lines.size(), ManagerSocket::MaxMessageLines);
    recorder.emissions.clear();

    // One line more: dropped up to its empty line, the next message survives.
    socket.feed(atLimit + "A: b\r\nA: c\r\n\r\nEvent: Link\r\n\r\n");
    QCOMPARE(recorder.names(), QList<QByteArray> { "Link" });
    recorder.emissions.clear();

    // Too many bytes in lines that are each within the line limit.
    QByteArray big = "Event: UserEvent\r\n";
    const QByteArray line = "A: " + QByteArray(60000, 'x') + "\r\n";
    while (big.size() < ManagerSocket::MaxMessageBytes + 2 * line.size())
        big += line;
    socket.feed(big + "\r\nEvent: Unlink\r\n\r\n");
    QCOMPARE(recorder.names(), QList<QByteArray> { "Unlink" });
}

void TestAmiFraming::loopbackSplitReads()
{
    FakeAmiServer server;
    QVERIFY(server.listen());
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    QSignalSpy reads(&socket, &QTcpSocket::readyRead);
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(reads.wait(5000)); // the greeting

    server.sendRaw("Event: Newchannel\r\nChannel: SIP/101-0a1b\r\nUniq");
    QVERIFY(reads.wait(5000));
    QVERIFY(recorder.emissions.isEmpty());
    server.sendRaw("ueid: 17\r\n\r\nEvent: Hangup\r\nUniqueid: 17\r\n\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(recorder.emissions.size(), 1, 5000);
    // The greeting swallowed the first message.
    QCOMPARE(recorder.names(), QList<QByteArray> { "Hangup" });
}

void TestAmiFraming::loopbackLoginAndEvents()
{
    FakeAmiServer server;
    server.addLoginRule();
    QVERIFY(server.listen());
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(5000));
    socket.sendCommand(QString::fromLatin1(LoginAction));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.emissions.size(), 1, 5000);
    QCOMPARE(describe(recorder.emissions.at(0)),
        describe(Emission { "logInResponse", { "true", "Authentication accepted" }, {} }));
    QCOMPARE(server.actions().size(), 1);
    QCOMPARE(server.actions().at(0),
        (QStringList { "Action: Login", "Username: admin", "Secret: s3cret", "ActionID: logIn" }));

    server.sendMessage({ "Event: Newchannel", "Channel: SIP/101-1", "Uniqueid: 1" });
    server.sendMessage({ "Event: Newstate", "Channel: SIP/101-1", "State: Ringing" });
    server.sendMessage({ "Event: Link", "Channel1: SIP/101-1", "Channel2: SIP/102-2" });
    server.sendMessage({ "Event: newstate", "Channel: SIP/101-1" });
    server.sendMessage({ "Event: Hangup", "Channel: SIP/101-1", "Uniqueid: 1" });
    QTRY_COMPARE_WITH_TIMEOUT(recorder.emissions.size(), 5, 5000);
    QCOMPARE(recorder.names(), (QList<QByteArray> { "logInResponse", "Newchannel", "Newstate", "Link", "Hangup" }));
    QCOMPARE(recorder.emissions.at(4).lines, (QStringList { "Event: Hangup", "Channel: SIP/101-1", "Uniqueid: 1" }));
}

void TestAmiFraming::staleLinesClearedOnReconnect()
{
    FakeAmiServer server;
    server.addLoginRule();
    QVERIFY(server.listen());
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    QSignalSpy reads(&socket, &QTcpSocket::readyRead);
    QSignalSpy lost(&socket, &QTcpSocket::disconnected);

    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(5000));
    QVERIFY(reads.wait(5000));
    // A message cut by the lost connection, and a partial line.
    server.sendRaw("\r\nEvent: Newchannel\r\nChannel: SIP/101-1\r\nUniqueid: 9");
    QVERIFY(reads.wait(5000));
    server.dropClient();
    QVERIFY(lost.wait(5000));

    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(5000));
    socket.sendCommand(QString::fromLatin1(LoginAction));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.emissions.size(), 1, 5000);
    QCOMPARE(recorder.names(), QList<QByteArray> { "logInResponse" });
    QCOMPARE(recorder.emissions.at(0).lines.at(0), QStringLiteral("true"));
}

void TestAmiFraming::sendCommandIsLatin1()
{
    FakeAmiServer server;
    QVERIFY(server.listen());
    ManagerSocket socket;
    socket.sendCommand(QStringLiteral("Action: Ping\r\n\r\n")); // not connected: lost
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(5000));
    socket.sendCommand(QStringLiteral("Action: Command\r\nCommand: caf\u00e9 \u20ac\r\n\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(server.received(), QByteArray("Action: Command\r\nCommand: caf\xe9 ?\r\n\r\n"), 5000);
}

// A receiver that drops the connection: what was read after its message
// belongs to the old connection and is not dispatched.
void TestAmiFraming::abortFromReceiverStopsFraming()
{
    FakeAmiServer server;
    QVERIFY(server.listen());
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    connect(&socket, &ManagerSocket::Hangup, &socket, &QAbstractSocket::abort);
    QSignalSpy reads(&socket, &QTcpSocket::readyRead);
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(reads.wait(5000));
    server.sendRaw("\r\nEvent: Hangup\r\n\r\nEvent: Link\r\n\r\nEvent: Unlink");
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(recorder.names(), QList<QByteArray> { "Hangup" });
}

void TestAmiFraming::metaObjectInterface()
{
    const QMetaObject &mo = ManagerSocket::staticMetaObject;
    const QStringList declared = { "Newcallerid(QStringList)", "Cdr(QStringList)", "MessageWaiting(QStringList)",
        "MailBoxStatus(QStringList)", "MailBoxCount(QStringList)", "PeerEntry(QStringList)", "PeerStatus(QStringList)",
        "ExtensionStatus(QStringList)", "DNDState(QStringList)", "Link(QStringList)", "Hangup(QStringList)",
        "zapChannel(QStringList)", "dgvChannel(QStringList)", "Newchannel(QStringList)", "Newexten(QStringList)",
        "SipPeer(QStringList)", "IaxPeer(QStringList)", "DgvPeer(QStringList)", "Join(QStringList)",
        "Leave(QStringList)", "Dial(QStringList)", "Newstate(QStringList)", "QueueMemberStatus(QStringList)",
        "QueueMemberAdded(QStringList)", "QueueMemberRemoved(QStringList)", "QueueStatusComplete(QStringList)",
        "QueueMember(QStringList)", "QueueParams(QStringList)", "QueueMemberPaused(QStringList)", "DBGet(QStringList)",
        "DBGetCidN(QStringList)", "DBerror(QStringList)", "Agents(QStringList)", "showkey(QStringList)",
        "Agentcallbacklogin(QStringList)", "Agentcallbacklogoff(QStringList)", "UserEvent(QStringList)",
        "GetVar(QStringList)", "asteriskVersion(QString)", "zapStatus(QStringList)", "chanNum(QString,QString)",
        "ZapShowChannels(QStringList)", "Status(QStringList)", "ParkedCall(QStringList)", "UnParkedCall(QStringList)",
        "ParkedCallGiveUp(QStringList)", "ParkedCallTimeOut(QStringList)", "Unlink(QStringList)", "Rename(QStringList)",
        "Hold(QStringList)", "Unhold(QStringList)", "logInResponse(bool,QString)", "peersCount(QStringList,QString)",
        "stateChanged(QAbstractSocket::SocketState)", "readyRead()" };
    QStringList own;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        own << QString::fromLatin1(mo.method(i).methodSignature());
    QCOMPARE(own, declared);
    for (int i = 0; i < 53; ++i)
        QCOMPARE(mo.method(mo.methodOffset() + i).methodType(), QMetaMethod::Signal);
    QCOMPARE(mo.method(mo.methodOffset() + 53).access(), QMetaMethod::Private);
    QCOMPARE(mo.method(mo.methodOffset() + 54).methodType(), QMetaMethod::Slot);
}

QTEST_GUILESS_MAIN(TestAmiFraming)
#include "tst_amiframing.moc"
