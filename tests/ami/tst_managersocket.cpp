// The AMI client: framing of the byte stream (fed directly and over loopback
// reads), key lookup and splitters, the routing of answers and events to
// signals, and the conversions of CLI output into AMI-style messages.

#include <QMetaMethod>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "ami/AmiMessage.h"
#include "ami/ManagerSocket.h"
#include "testsupport/FakeAmiServer.h"

namespace {

// The connection's settings for noticing a dead peer, as the kernel has them.
QString deadPeerWatch(qintptr fd)
{
    const auto get = [fd](int level, int option) {
        int value = -1;
        socklen_t size = sizeof value;
        return ::getsockopt(int(fd), level, option, &value, &size) == 0 ? value : -1;
    };
    return QString("keepalive %1, idle %2, interval %3, probes %4, unacked %5")
        .arg(get(SOL_SOCKET, SO_KEEPALIVE))
        .arg(get(IPPROTO_TCP, TCP_KEEPIDLE))
        .arg(get(IPPROTO_TCP, TCP_KEEPINTVL))
        .arg(get(IPPROTO_TCP, TCP_KEEPCNT))
        .arg(get(IPPROTO_TCP, TCP_USER_TIMEOUT));
}

// Records every signal of a socket as "name(argument|argument...)", a
// QStringList argument giving one argument per line. The signals are read
// from the meta-object, so a signal added later is recorded too.
class Recorder : public QObject
{
public:
    explicit Recorder(ManagerSocket *socket)
    {
        const QMetaObject &mo = ManagerSocket::staticMetaObject;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            if (mo.method(i).methodType() == QMetaMethod::Signal)
                QMetaObject::connect(socket, i, this, QObject::staticMetaObject.methodCount(), Qt::DirectConnection);
        }
    }
    QStringList seen;

    int qt_metacall(QMetaObject::Call call, int id, void **args) override
    {
        if ((id = QObject::qt_metacall(call, id, args)) < 0 || call != QMetaObject::InvokeMetaMethod)
            return id;
        const QMetaMethod signal = sender()->metaObject()->method(senderSignalIndex());
        QStringList parts;
        for (int p = 0; p < signal.parameterCount(); ++p) {
            const QVariant value(signal.parameterMetaType(p), args[p + 1]);
            parts << (value.typeId() == QMetaType::QStringList ? value.toStringList().join(u'|') : value.toString());
        }
        seen << QString::fromLatin1(signal.name()) + u'(' + parts.join(u'|') + u')';
        return -1;
    }
};

class FeedSocket : public ManagerSocket
{
public:
    void feed(const QByteArray &bytes) { consumeBytes(bytes.constData(), bytes.size()); }
};

// Lines of a message written "a|b|c".
QStringList lines(const char *message)
{
    return QString::fromLatin1(message).split(u'|');
}

// A CLI command's answer as the PBX wraps it, its output cut after each line feed.
QStringList answer(const char *actionId, const char *output)
{
    return QStringList { "Response: Follows", "Privilege: Command", QLatin1String("ActionID: ") + actionId }
    + QString::fromLatin1(output).split(QRegularExpression(QStringLiteral("(?<=\n)")), Qt::SkipEmptyParts)
        + QStringList { "--END COMMAND--" };
}

QString entry(const char *type, const char *name, const char *address)
{
    return QStringLiteral("PeerEntry(Event: PeerEntry|Channeltype: %1|ObjectName: %2|IPaddress: %3)")
        .arg(QLatin1String(type), QLatin1String(name), QLatin1String(address));
}

// The closing count of a peer table; avail < 0 leaves ListAvail out.
QString count(const char *type, int items, int avail, const char *event = "PeerlistComplete")
{
    return QStringLiteral("peersCount(Event: %1|ListItems: %2%3|%4)")
        .arg(QLatin1String(event))
        .arg(items)
        .arg(avail < 0 ? QString() : QStringLiteral("|ListAvail: %1").arg(avail), QLatin1String(type));
}

// Connects to the server and waits for its greeting.
bool connected(ManagerSocket &socket, const FakeAmiServer &server)
{
    QSignalSpy reads(&socket, &QTcpSocket::readyRead);
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    return reads.wait(5000);
}

const QByteArray kGreeting = "Asterisk Call Manager/1.1\r\n";
const QByteArray kLogin = "\r\nAction: Login\r\nUsername: admin\r\nSecret: s3cret\r\nActionID: logIn\r\n\r\n";
const QString kLoggedIn = QStringLiteral("logInResponse(true|Authentication accepted)");

} // namespace

class TestManagerSocket : public QObject
{
    Q_OBJECT

private slots:
    void stream_data();
    void stream();
    void messageLimits();
    void loopback();
    void floodIsReadInBoundedChunks();
    void slowMessagesSpreadOverPasses();
    void textHelpers_data();
    void textHelpers();
};

void TestManagerSocket::stream_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QStringList>("expected");
    const auto row = [](const char *name, const QList<QByteArray> &chunks, const QStringList &expected) {
        QTest::newRow(name) << chunks << expected;
    };
    // A message as it comes over the wire; CLI output lines end in "\n" alone.
    const auto bytes = [](const QStringList &message) {
        QByteArray out;
        for (const QString &line : message)
            out += line.toLatin1() + (line.endsWith(u'\n') ? "" : "\r\n");
        return out + "\r\n";
    };
    const auto msg = [&](const char *name, const QStringList &message, const QStringList &expected) {
        row(name, { bytes(message) }, expected);
    };
    const auto echo = [&](const char *name, const char *message, const char *signal) {
        msg(name, lines(message), { QLatin1String(signal) + u'(' + QLatin1String(message) + u')' });
    };

    // Framing -----------------------------------------------------------------
    const QString link = QStringLiteral("Link(Event: Link)");
    row("one message", { "Event: Hangup\r\nUniqueid: 1\r\n\r\n" }, { "Hangup(Event: Hangup|Uniqueid: 1)" });
    row("bare line feeds stay inside", { "Event: UserEvent\r\nline one\n\n   indented \n\r\n" },
        { "UserEvent(Event: UserEvent|line one\n|\n|   indented \n)" });
    row("NUL cuts the rest of the line", { QByteArray("Event: Hangup\r\nA: b\0garbage\r\n\r\n", 31) },
        { "Hangup(Event: Hangup|A: b)" });
    row("login answered through the leading empty line",
        { kGreeting, "Response: Error\r\nMessage: Missing action in request\r\n\r\n",
            "Response: Success\r\nActionID: logIn\r\nMessage: Authentication accepted\r\n\r\n" },
        { kLoggedIn });

    // A message missing a line would read as another message: an oversized
    // line drops its whole message, and the next one survives.
    const QByteArray longValue(70000, 'a');
    row("oversized line in one read", { "Event: Hangup\r\nX: " + longValue + "\r\nA: 2\r\n\r\nEvent: Link\r\n\r\n" },
        { link });
    // The limit counts every byte before the line feed, the carriage return too.
    const QByteArray fits = "X: " + QByteArray(ManagerSocket::kMaxLineBytes - 4, 'b');
    row("line at the limit kept", { "Event: Hangup\r\n" + fits + "\r\n\r\n" },
        { "Hangup(Event: Hangup|" + QString::fromLatin1(fits) + u')' });
    // Answers -----------------------------------------------------------------
    row("channel count: the calls up, not those processed",
        { bytes(answer("showChannels", "Channel Location State\n1 active channel\n1 active call\n")),
            bytes(answer("showChannels", "Channel State\n8 active channels\n4 active calls\n21 calls processed\n")) },
        { "chanNum(1|1)", "chanNum(8|4)" });
    msg("version once per line up to END COMMAND",
        lines("Response: Follows|ActionID: getVersion|Asterisk 1.6 built\n|second line\n|single|word\n|--END COMMAND--|"
              "after end\n"),
        { "asteriskVersion(1.6)", "asteriskVersion(line)", "asteriskVersion()" });
    msg("login refused", lines("Response: Error|ActionID: logIn|Message: Authentication failed"),
        { "logInResponse(false|Authentication failed)" });
    msg("AstDB miss under any ActionID",
        lines("Response: Error|ActionID: DBcheck/101-dnd|Message: Database entry not found"),
        { "DBerror(Key: 101|Option: dnd)" });
    echo("SIPShowPeer with any response", "Response: Error|ActionID: SIPShowPeer|Message: Peer 9 not found", "SipPeer");
    const QStringList showkey = answer("xshowkey/101-fwd", "/CF/101      : 5551234     \n1 results found.\n");
    msg("showkey anywhere in the ActionID", showkey,
        { "showkey(" + (showkey + QStringList { "Key: 101", "Option: fwd" }).join(u'|') + u')' });
    msg("first line without separator drops all", lines("Asterisk Call Manager/1.1|Response: Success|ActionID: logIn"),
        {});

    // Events reach the signal of the same name, whatever line holds it; names are case-exact.
    echo("event after another line", "Privilege: call,all|Event: QueueMemberPaused|Unqiueid: 5", "QueueMemberPaused");
    echo("DahdiShowChannels", "Event: DahdiShowChannels|DAHDIChannel: 1", "ZapShowChannels");
    msg("ParkedCall repairs Unqiueid", lines("Event: ParkedCall|Unqiueid: 123|From: Unqiueid Unqiueid"),
        { "ParkedCall(Event: ParkedCall|Uniqueid: 123|From: Uniqueid Uniqueid)" });
    // Newer releases' events in the older shape (bridge and hold states: tst_quorextensions).
    const char *newchannel = "Event: Newchannel|Channel: SIP/1-a|ChannelStateDesc: Ring|CallerIDNum: 1|Uniqueid: 1.1";
    const char *dial = "Event: Dial|SubEvent: Begin|Channel: SIP/1-a|CallerIDNum: 1|UniqueID: 1.1|DestUniqueID: 1.2";
    const char *rename = "Event: Rename|Channel: SIP/1-a|Newname: SIP/1-b|Uniqueid: 1.1";
    row("1.6 keys copied to the 1.4 ones", { bytes(lines(newchannel)), bytes(lines(dial)), bytes(lines(rename)) },
        { "Newchannel(" + QLatin1String(newchannel) + "|CallerID: 1|State: Ring)",
            "Dial(" + QLatin1String(dial) + "|Source: SIP/1-a|SrcUniqueID: 1.1|CallerID: 1)",
            "Rename(" + QLatin1String(rename) + "|Oldname: SIP/1-a)" });
    msg("1.6 end of a dial dropped", lines("Event: Dial|SubEvent: End|Channel: SIP/1-a|UniqueID: 1.1"), {});
    echo("1.4 Newchannel keeps its number apart", "Event: Newchannel|State: Ring|CallerIDNum: 1", "Newchannel");

    // CLI output converted ----------------------------------------------------
    const char *sipTable = "Name/username   Host   Dyn Port Status\n101/101 192.168.1.10 D 5060 OK (3 ms)\n"
                           "102 (Unspecified) D 0 UNKNOWN\n103/103 192.168.1.13 D 5060 UNREACHABLE\n"
                           "104/104 192.168.1.14 5060 Unmonitored\n\n4 sip peers [Monitored: 1 online]\n";
    const char *iaxTable = "Name/Username Host Mask Port Status\n201 192.168.1.20 (D) 255.255.255.255 4569 OK\n"
                           "202/202 (Unspecified) (D) 255.255.255.255 0 UNKNOWN\n"
                           "203 192.168.1.23 (D) 255.255.255.255 4569 UNREACHABLE\n3 iax2 peers [1 online]\n";
    msg("sip show peers", answer("SIPpeers", sipTable),
        { entry("SIP", "101", "192.168.1.10"), entry("SIP", "102", "(Unspecified)"),
            entry("SIP", "103", "192.168.1.13"), entry("SIP", "104", "192.168.1.14"), count("SIP", 4, 2) });
    msg("iax2 count", answer("IAXCount", iaxTable), { count("IAX", 3, 2, "IaxCount") });
    msg("rows only after the header, END COMMAND never a row",
        lines("Response: Follows|ActionID: SIPpeers|999 8.8.8.8 x y\n|Name/username Host Port\n|--END COMMAND-- a b c"),
        { count("SIP", 0, 0) });
    msg("zap show channels",
        answer("ZAPPeers",
            "   Chan Extension  Context  Language\n pseudo  default\n      1   from-pstn  default\n"
            "3    from-internal   en\n"),
        { entry("Zap", "1", "127.0.0.1"), entry("Zap", "3", "127.0.0.1"), count("Zap", 2, -1) });
    msg("iax2 show peer",
        answer("IAXShowPeer",
            "\n  * Name       : 201\n  Secret       : <Set>\n  Context      : from-internal\n"
            "  Mailbox      : 201@default\n  Callerid     : \"Alice Jones\" <201>\n  Expire : 3587\n"
            "  Addr->IP     : 192.168.1.20 Port 4569\n  Defaddr->IP  : 0.0.0.0 Port 4569\n"
            "  Codecs       : 0x6 (gsm|ulaw)\n  Codec Order  : (gsm|ulaw)\n  Status : OK (5 ms)\n"),
        { "IaxPeer(ActionID: IAXShowPeer|ObjectName: 201|SecretExist: Y|Context: from-internal|"
          "VoiceMailbox: 201@default|Callerid: \"AliceJones\"<201>|Address-IP: 192.168.1.20|Adress-Port: 4569|"
          "Default-addr-IP: 0.0.0.0|Default-addr-port: 4569|Codecs: 0x6 (gsm|ulaw)|CodecOrder: gsm,ulaw|"
          "Status: OK(5ms)|Response: Success|ChanObjectType: peer|Channeltype: IAX|\r\n\r\n)" });

    // Driver status: the driver word one answer finds decides what the next emits.
    const QByteArray dahdiCard
        = bytes(answer("dahdiStatus", "Description  Alarms  IRQ\nWildcard TE122 Card 0  OK  0\n"));
    const QByteArray dahdiMissing = bytes(answer("dahdiStatus", "No such command 'dahdi' (type 'help' for help)\n"));
    const QByteArray zapCard = bytes(answer("zapStatus", "Description Alarms IRQ\n T1 card OK\n"));
    const QByteArray zapMissing = bytes(answer("zapStatus", "No such command 'zap' (type 'help' for help)\n"));
    const QString none = QStringLiteral("zapStatus(Event: zapStatus|Driver: none)");
    const QString dahdi = QStringLiteral("zapStatus(Event: zapStatus|Driver: dahdi|ObjectName: Wildcard)");
    const QString zap = QStringLiteral("zapStatus(Event: zapStatus|Driver: Zap|ObjectName: )");
    row("dahdi card, then zap missing", { dahdiCard, zapMissing }, { dahdi, none });
    row("dahdi missing, then a zap card row beginning with a blank", { dahdiMissing, zapCard }, { none, zap });
}

// The chunks as given, and again one byte per read: the framing must not
// depend on where the reads fall.
void TestManagerSocket::stream()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QStringList, expected);
    FeedSocket socket;
    FeedSocket bytewise;
    Recorder recorder(&socket);
    Recorder byteRecorder(&bytewise);
    for (const QByteArray &chunk : chunks) {
        socket.feed(chunk);
        for (char c : chunk)
            bytewise.feed(QByteArray(1, c));
    }
    QCOMPARE(recorder.seen, expected);
    QCOMPARE(byteRecorder.seen, expected);
}

void TestManagerSocket::messageLimits()
{
    FeedSocket socket;
    Recorder recorder(&socket);
    // At the line limit: delivered whole. One line more: dropped up to its
    // empty line, and the next message survives.
    QByteArray atLimit = "Event: UserEvent\r\n";
    for (qsizetype i = 1; i < ManagerSocket::kMaxMessageLines; ++i)
        atLimit += "A: b\r\n";
    socket.feed(atLimit + "\r\n" + atLimit + "A: c\r\n\r\nEvent: Link\r\n\r\n");
    QCOMPARE(recorder.seen.size(), 2);
    QCOMPARE(recorder.seen.at(0).count(u'|'), ManagerSocket::kMaxMessageLines - 1);
    QCOMPARE(recorder.seen.at(1), QStringLiteral("Link(Event: Link)"));
    // Too many bytes in lines that are each within the line limit.
    QByteArray big = "Event: UserEvent\r\n";
    const QByteArray line = "A: " + QByteArray(60000, 'x') + "\r\n";
    while (big.size() < ManagerSocket::kMaxMessageBytes + 2 * line.size())
        big += line;
    socket.feed(big + "\r\nEvent: Unlink\r\n\r\n");
    QCOMPARE(recorder.seen.mid(2), QStringList { "Unlink(Event: Unlink)" });
}

// Through real reads: a message split over reads, the login through the
// greeting, events in order, a fresh start after a lost connection, and none
// after a receiver dropped the connection.
void TestManagerSocket::loopback()
{
    FakeAmiServer server;
    server.addLoginRule();
    QVERIFY(server.listen());
    ManagerSocket socket;
    Recorder recorder(&socket);
    QSignalSpy reads(&socket, &QTcpSocket::readyRead);
    for (int connection = 0; connection < 2; ++connection) {
        socket.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(socket.waitForConnected(5000));
        // Every connection watches for a PBX gone silent: probes after 30 s
        // idle, every 10 s, 5 of them; as long for unacknowledged data.
        QCOMPARE(deadPeerWatch(socket.socketDescriptor()), "keepalive 1, idle 30, interval 10, probes 5, unacked 80000");
        socket.sendCommand(QString::fromLatin1(kLogin));
        QTRY_COMPARE_WITH_TIMEOUT(recorder.seen, QStringList { kLoggedIn }, 5000);
        // The start of a message cut by a lost connection must not become the
        // head of the next connection's first message.
        server.sendRaw("Event: Newchannel\r\nChannel: SIP/101-1\r\nUniq");
        QVERIFY(reads.wait(5000));
        if (connection == 0) {
            server.dropClient();
            QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
            recorder.seen.clear();
        }
    }
    QCOMPARE(server.actions().size(), 2);
    QCOMPARE(server.actions().at(1),
        QStringList({ "Action: Login", "Username: admin", "Secret: s3cret", "ActionID: logIn" }));

    // What was read after the message whose receiver dropped the connection
    // belongs to that connection and is not dispatched.
    connect(&socket, &ManagerSocket::Hangup, &socket, &QAbstractSocket::abort);
    server.sendRaw(
        "ueid: 17\r\n\r\nEvent: Newstate\r\n\r\nEvent: newstate\r\n\r\nEvent: Hangup\r\n\r\nEvent: Link\r\n\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(recorder.seen,
        QStringList({ kLoggedIn, "Newchannel(Event: Newchannel|Channel: SIP/101-1|Uniqueid: 17)",
            "Newstate(Event: Newstate)", "Hangup(Event: Hangup)" }));
}

// A flood is taken from the kernel in bounded chunks, with the event loop run
// between them, and still arrives whole and in order.
void TestManagerSocket::floodIsReadInBoundedChunks()
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
        outOfOrder += lines.value(1) != QStringLiteral("Seq: %1").arg(received);
        if (received++ == 0)
            QTimer::singleShot(0, &socket, [&] { receivedWhenLoopRan = received; });
    });
    QVERIFY(connected(socket, server));

    QByteArray flood = "\r\n";
    const int messages = int(4 * socket.readBufferSize() / 240);
    for (int i = 0; i < messages; ++i)
        flood += "Event: UserEvent\r\nSeq: " + QByteArray::number(i) + "\r\nPad: " + QByteArray(200, 'p') + "\r\n\r\n";
    server.sendRaw(flood);
    QTRY_COMPARE_WITH_TIMEOUT(received, messages, 20000);
    QCOMPARE(outOfOrder, 0);
    QVERIFY2(mostBuffered <= socket.readBufferSize(), QByteArray::number(mostBuffered).constData());
    QVERIFY(receivedWhenLoopRan > 0 && receivedWhenLoopRan < messages);
}

// Messages that take longer than one read pass may run are finished in later
// passes, in order; what was read before the PBX closed is still handled
// before the close is heard.
void TestManagerSocket::slowMessagesSpreadOverPasses()
{
    FakeAmiServer server;
    QVERIFY(server.listen());
    ManagerSocket socket;
    QVERIFY(connected(socket, server));

    constexpr int kMessages = 6;
    QStringList seen;
    int seenWhenClosed = -1;
    connect(&socket, &QAbstractSocket::disconnected, &socket, [&] { seenWhenClosed = int(seen.size()); });
    connect(&socket, &ManagerSocket::UserEvent, &socket, [&](const QStringList &lines) {
        seen << lines.value(1);
        if (seen.size() == 1) {
            QThread::msleep(ManagerSocket::kPassBudgetMs + 20);
            server.dropClient();
        }
    });
    QByteArray bytes = "\r\n";
    for (int i = 0; i < kMessages; ++i)
        bytes += "Event: UserEvent\r\nSeq: " + QByteArray::number(i) + "\r\n\r\n";
    server.sendRaw(bytes);

    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), kMessages, 5000);
    for (int i = 0; i < kMessages; ++i)
        QCOMPARE(seen.at(i), QStringLiteral("Seq: %1").arg(i));
    QTRY_VERIFY_WITH_TIMEOUT(seenWhenClosed >= 0, 5000);
    QCOMPARE(seenWhenClosed, kMessages);
}

// The key lookup, split or not, and every splitter on every input, quirks included.
void TestManagerSocket::textHelpers_data()
{
    QTest::addColumn<QString>("key"); // empty: the splitters
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QString>("expected"); // the splitters: ext|tech|option|family
    const auto row = [](const char *name, const char *key, const QStringList &input, const char *expected) {
        QTest::newRow(name) << QString::fromLatin1(key) << input << QString::fromLatin1(expected);
    };

    row("no blank after the colon gives the line", "Key", { "Key:value" }, "Key:value");
    row("value cut at the next separator", "Message", { "Message: a: b" }, "a");
    row("first exact key at a line start", "Key", { "Keys: 1", " Key: 2", "key: 3", "Key: 4", "Key: 5" }, "4");
    row("channel", "", { "SIP/101-0a1b" }, "101|SIP|0a1b|101-0a1b");
    row("database key", "", { "/CF/101 : 555" }, "CF/101 : 555||/CF/101 : 555|CF");
}

void TestManagerSocket::textHelpers()
{
    QFETCH(QString, key);
    QFETCH(QStringList, input);
    QFETCH(QString, expected);
    const QString in = input.value(0);
    QCOMPARE(key.isEmpty()
            ? QStringList({ ManagerSocket::extFromChannel(in), ManagerSocket::techFromChannel(in),
                              ManagerSocket::optionFromActionId(in), ManagerSocket::familyFromDbKey(in) })
                  .join(u'|')
            : ManagerSocket::getValue(key, input),
        expected);
    if (!key.isEmpty())
        QCOMPARE(AmiMessage(input).value(key), expected);
}

QTEST_GUILESS_MAIN(TestManagerSocket)
#include "tst_managersocket.moc"
