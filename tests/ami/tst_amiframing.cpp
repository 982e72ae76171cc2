// Framing of the AMI byte stream: fed directly and over real loopback reads.

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "SignalRecorder.h"
#include "ami/ManagerSocket.h"
#include "testsupport/FakeAmiServer.h"
#include "testsupport/TestDataDir.h"

namespace {

class FeedSocket : public ManagerSocket
{
public:
    using ManagerSocket::consumeBytes;
    void feed(const QByteArray &bytes) { consumeBytes(bytes.constData(), bytes.size()); }
};

const QByteArray kGreeting = "Asterisk Call Manager/1.1\r\n";
const QByteArray kLoginAction = "\r\nAction: Login\r\nUsername: admin\r\nSecret: s3cret\r\nActionID: logIn\r\n\r\n";

} // namespace

class TestAmiFraming : public QObject
{
    Q_OBJECT

private slots:
    void framing_data();
    void framing();
    void everyByteSplit();
    void messageLimits();
    void loopbackLoginAndEvents();
    void floodIsReadInBoundedChunks();
    void abortFromReceiverStopsFraming();
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
        << QList<QByteArray> { kGreeting + "Event: Hangup\r\n\r\nEvent: Link\r\n\r\n" }
        << QList<Emission> { { "Link", { "Event: Link" }, {} } };
    QTest::newRow("login answered through the leading empty line")
        << QList<QByteArray> { kGreeting, "Response: Error\r\nMessage: Missing action in request\r\n\r\n",
               "Response: Success\r\nActionID: logIn\r\nMessage: Authentication accepted\r\n\r\n" }
        << QList<Emission> { { "logInResponse", { "true", "Authentication accepted" }, {} } };

    // A message missing a line would read as another message: an oversized
    // line drops its whole message, and the next one survives.
    const QByteArray longValue(70000, 'a');
    const QList<Emission> onlyLink { { "Link", { "Event: Link" }, {} } };
    QTest::newRow("oversized line in one read")
        << QList<QByteArray> { "Event: Hangup\r\nX: " + longValue + "\r\nUniqueid: 2\r\n\r\nEvent: Link\r\n\r\n" }
        << onlyLink;
    QTest::newRow("oversized line over reads") << QList<QByteArray> { "Event: Hangup\r\nX: ", longValue, longValue,
        "tail\r\nUniqueid: 2\r\n\r\nEvent: Link\r\n\r\n" }
                                               << onlyLink;
    QTest::newRow("oversized line grown from pending bytes")
        << QList<QByteArray> { "Event: Hangup\r\nX: ", longValue + "\r\nUniqueid: 2\r\n\r\nEvent: Link\r\n\r\n" }
        << onlyLink;
    QTest::newRow("oversized first line")
        << QList<QByteArray> { longValue + "\r\nEvent: Hangup\r\n\r\nEvent: Link\r\n\r\n" } << onlyLink;
    // The limit counts every byte before the line feed, the carriage return too.
    const QByteArray fits = "X: " + QByteArray(ManagerSocket::kMaxLineBytes - 4, 'b');
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
    const QByteArray stream = kGreeting
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
    for (qsizetype i = 1; i < ManagerSocket::kMaxMessageLines; ++i)
        atLimit += "A: b\r\n";
    socket.feed(atLimit + "\r\n");
    QCOMPARE(recorder.emissions.size(), 1);
    QCOMPARE(recorder.emissions.at(0).lines.size(), ManagerSocket::kMaxMessageLines);
    recorder.emissions.clear();

    // One line more: dropped up to its empty line, the next message survives.
    socket.feed(atLimit + "A: c\r\n\r\nEvent: Link\r\n\r\n");
    QCOMPARE(recorder.names(), QList<QByteArray> { "Link" });
    recorder.emissions.clear();

    // Too many bytes in lines that are each within the line limit.
    QByteArray big = "Event: UserEvent\r\n";
    const QByteArray line = "A: " + QByteArray(60000, 'x') + "\r\n";
    while (big.size() < ManagerSocket::kMaxMessageBytes + 2 * line.size())
        big += line;
    socket.feed(big + "\r\nEvent: Unlink\r\n\r\n");
    QCOMPARE(recorder.names(), QList<QByteArray> { "Unlink" });
}

// Through real socket reads: a message split over reads, the login through
// the greeting, events in order, text sent as Latin-1, and a fresh start
// after a lost connection.
void TestAmiFraming::loopbackLoginAndEvents()
{
    FakeAmiServer server;
    server.addLoginRule();
    QVERIFY(server.listen());
    ManagerSocket socket;
    SignalRecorder recorder(&socket);
    socket.sendCommand(QStringLiteral("Action: Ping\r\n\r\n")); // not connected: lost
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(5000));
    socket.sendCommand(QString::fromLatin1(kLoginAction));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.emissions.size(), 1, 5000);
    QCOMPARE(describe(recorder.emissions.at(0)),
        describe(Emission { "logInResponse", { "true", "Authentication accepted" }, {} }));
    const QList<QStringList> login { { "Action: Login", "Username: admin", "Secret: s3cret", "ActionID: logIn" } };
    QCOMPARE(server.actions(), login);

    QSignalSpy reads(&socket, &QTcpSocket::readyRead);
    server.sendRaw("Event: Newchannel\r\nChannel: SIP/101-0a1b\r\nUniq");
    QVERIFY(reads.wait(5000));
    QCOMPARE(recorder.emissions.size(), 1);
    server.sendRaw("ueid: 17\r\n\r\n");
    server.sendMessage({ "Event: Newstate", "Channel: SIP/101-1", "State: Ringing" });
    server.sendMessage({ "Event: newstate", "Channel: SIP/101-1" });
    server.sendMessage({ "Event: Hangup", "Channel: SIP/101-1", "Uniqueid: 1" });
    QTRY_COMPARE_WITH_TIMEOUT(recorder.emissions.size(), 4, 5000);
    QCOMPARE(recorder.names(), (QList<QByteArray> { "logInResponse", "Newchannel", "Newstate", "Hangup" }));
    QCOMPARE(
        recorder.emissions.at(1).lines, (QStringList { "Event: Newchannel", "Channel: SIP/101-0a1b", "Uniqueid: 17" }));

    server.clearReceived();
    socket.sendCommand(QStringLiteral("Action: Command\r\nCommand: caf\u00e9 \u20ac\r\n\r\n"));
    QTRY_COMPARE_WITH_TIMEOUT(server.received(), QByteArray("Action: Command\r\nCommand: caf\xe9 ?\r\n\r\n"), 5000);

    // A message and a line cut by a lost connection do not become the head
    // of the next connection's first message.
    QSignalSpy lost(&socket, &QTcpSocket::disconnected);
    server.sendRaw("Event: Newchannel\r\nChannel: SIP/101-1\r\nUniqueid: 9");
    QVERIFY(reads.wait(5000));
    server.dropClient();
    QVERIFY(lost.wait(5000));
    recorder.emissions.clear();
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(socket.waitForConnected(5000));
    socket.sendCommand(QString::fromLatin1(kLoginAction));
    QTRY_COMPARE_WITH_TIMEOUT(recorder.emissions.size(), 1, 5000);
    QCOMPARE(describe(recorder.emissions.at(0)),
        describe(Emission { "logInResponse", { "true", "Authentication accepted" }, {} }));
}

// A flood is taken from the kernel in bounded chunks, with the event loop run
// between them, and still arrives whole and in order.
void TestAmiFraming::floodIsReadInBoundedChunks()
{
    FakeAmiServer server;
    QVERIFY(server.listen());
    ManagerSocket socket;
    QVERIFY(socket.readBufferSize() > 0);
    qint64 mostBuffered = 0;
    int received = 0;
    int receivedWhenLoopRan = -1;
    int outOfOrder = 0;
    connect(&socket, &ManagerSocket::UserEvent, &socket, [&](const QStringList &lines) {
        mostBuffered = qMax(mostBuffered, socket.bytesAvailable());
        if (lines.value(1) != QStringLiteral("Seq: %1").arg(received))
            ++outOfOrder;
        if (received++ == 0)
            QTimer::singleShot(0, &socket, [&] { receivedWhenLoopRan = received; });
    });
    QSignalSpy reads(&socket, &QTcpSocket::readyRead);
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(reads.wait(5000)); // the greeting

    QByteArray flood = "\r\n";
    const QByteArray padding(200, 'p');
    const int messages = int(4 * socket.readBufferSize() / 240);
    for (int i = 0; i < messages; ++i)
        flood += "Event: UserEvent\r\nSeq: " + QByteArray::number(i) + "\r\nPad: " + padding + "\r\n\r\n";
    server.sendRaw(flood);
    QTRY_COMPARE_WITH_TIMEOUT(received, messages, 20000);
    QCOMPARE(outOfOrder, 0);
    QVERIFY2(mostBuffered <= socket.readBufferSize(), QByteArray::number(mostBuffered).constData());
    QVERIFY(receivedWhenLoopRan > 0 && receivedWhenLoopRan < messages);
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

QTEST_GUILESS_MAIN(TestAmiFraming)
#include "tst_amiframing.moc"
