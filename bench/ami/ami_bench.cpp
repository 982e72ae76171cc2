// Throughput of the AMI client: a realistic manager stream (call events, peer
// status, queue joins and "Response: Follows" command answers with thousands of
// peer rows) is written over a loopback TCP connection into a ManagerSocket
// whose every signal reaches a counting receiver. Prints messages per second,
// MB per second and the peak resident memory. Loopback only; stops by itself.
//
// Usage: ami_bench [repeats]   (default 40 repeats of a block of ~50,000 messages)

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QMetaMethod>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "ami/ManagerSocket.h"

namespace {

constexpr int kWatchdogMs = 25000;
constexpr int kSipPeers = 3000;
constexpr int kIaxPeers = 1000;
constexpr int kCallsPerBlock = 3800;

struct Block
{
    QByteArray bytes;
    qint64 messages = 0;
    qint64 emissions = 0;
};

void append(QByteArray &out, std::initializer_list<const char *> lines)
{
    for (const char *line : lines) {
        out += line;
        out += "\r\n";
    }
    out += "\r\n";
}

QByteArray peerTable(bool sip, int peers)
{
    QByteArray out = "Response: Follows\r\nPrivilege: Command\r\n";
    out += sip ? "ActionID: SIPpeers\r\n" : "ActionID: IAXPeers\r\n";
    out += sip ? "Name/username              Host            Dyn Nat ACL Port     Status     \n"
               : "Name/Username    Host                 Mask             Port          Status    \n";
    for (int i = 0; i < peers; ++i) {
        const QByteArray n = QByteArray::number((sip ? 1000 : 5000) + i);
        const QByteArray host = (i % 7 == 0)
            ? QByteArray("(Unspecified)")
            : "10.1." + QByteArray::number(i / 250) + '.' + QByteArray::number(i % 250);
        if (sip)
            out += n + '/' + n + "                  " + host + "     D          5060     "
                + (i % 11 == 0 ? "UNREACHABLE" : "OK (3 ms)") + "  \n";
        else
            out += n + "             " + host + "    (D)  255.255.255.255  4569          OK (5 ms) \n";
    }
    out += QByteArray::number(peers) + (sip ? " sip peers [Monitored: 1 online]\n" : " iax2 peers [1 online]\n");
    out += "--END COMMAND--\r\n\r\n";
    return out;
}

// One block: kCallsPerBlock calls of 13 events each, then one SIP and one IAX
// peer table and a channel count.
Block makeBlock()
{
    Block block;
    QByteArray &out = block.bytes;
    for (int c = 0; c < kCallsPerBlock; ++c) {
        const QByteArray a = QByteArray::number(100 + c % 400);
        const QByteArray b = QByteArray::number(500 + c % 400);
        const QByteArray ua = "1291234567." + QByteArray::number(2 * c);
        const QByteArray ub = "1291234567." + QByteArray::number(2 * c + 1);
        const QByteArray ca = "SIP/" + a + "-0a1b" + QByteArray::number(c, 16);
        const QByteArray cb = "SIP/" + b + "-0c2d" + QByteArray::number(c, 16);
        auto ev = [&](std::initializer_list<QByteArray> lines) {
            for (const QByteArray &line : lines)
                out += line + "\r\n";
            out += "\r\n";
            ++block.messages;
            ++block.emissions;
        };
        ev({ "Event: Newchannel", "Privilege: call,all", "Channel: " + ca, "State: Down", "CallerIDNum: " + a,
            "CallerIDName: Alice " + a, "Uniqueid: " + ua });
        ev({ "Event: Newchannel", "Privilege: call,all", "Channel: " + cb, "State: Down", "CallerIDNum: <unknown>",
            "CallerIDName: <unknown>", "Uniqueid: " + ub });
        ev({ "Event: Newstate", "Privilege: call,all", "Channel: " + ca, "State: Ring", "CallerID: " + a,
            "CallerIDName: Alice " + a, "Uniqueid: " + ua });
        ev({ "Event: Dial", "Privilege: call,all", "Source: " + ca, "Destination: " + cb, "CallerID: " + a,
            "CallerIDName: Alice " + a, "SrcUniqueID: " + ua, "DestUniqueID: " + ub });
        ev({ "Event: Newstate", "Privilege: call,all", "Channel: " + cb, "State: Ringing", "CallerID: " + b,
            "CallerIDName: Bob " + b, "Uniqueid: " + ub });
        ev({ "Event: Newstate", "Privilege: call,all", "Channel: " + cb, "State: Up", "CallerID: " + b,
            "CallerIDName: Bob " + b, "Uniqueid: " + ub });
        ev({ "Event: Link", "Privilege: call,all", "Channel1: " + ca, "Channel2: " + cb, "Uniqueid1: " + ua,
            "Uniqueid2: " + ub, "CallerID1: " + a, "CallerID2: " + b });
        ev({ "Event: Join", "Privilege: call,all", "Channel: " + ca, "CallerID: " + a, "CallerIDName: Alice " + a,
            "Queue: support", "Position: 1", "Count: 1", "Uniqueid: " + ua });
        ev({ "Event: Leave", "Privilege: call,all", "Channel: " + ca, "Queue: support", "Count: 0",
            "Uniqueid: " + ua });
        ev({ "Event: Unlink", "Privilege: call,all", "Channel1: " + ca, "Channel2: " + cb, "Uniqueid1: " + ua,
            "Uniqueid2: " + ub, "CallerID1: " + a, "CallerID2: " + b });
        ev({ "Event: Hangup", "Privilege: call,all", "Channel: " + ca, "Uniqueid: " + ua, "Cause: 16",
            "Cause-txt: Normal Clearing" });
        ev({ "Event: Hangup", "Privilege: call,all", "Channel: " + cb, "Uniqueid: " + ub, "Cause: 16",
            "Cause-txt: Normal Clearing" });
        ev({ "Event: PeerStatus", "Privilege: system,all", "Peer: SIP/" + a,
            c % 2 ? QByteArray("PeerStatus: Registered") : QByteArray("PeerStatus: Unregistered") });
    }
    out += peerTable(true, kSipPeers);
    out += peerTable(false, kIaxPeers);
    block.messages += 2;
    block.emissions += kSipPeers + kIaxPeers + 2;
    append(out,
        { "Response: Follows", "Privilege: Command", "ActionID: showChannels",
            "Channel              Location             State   Application(Data)\n3 active channels\n"
            "1 active call\n42 calls processed\n--END COMMAND--" });
    block.messages += 1;
    block.emissions += 1;
    return block;
}

class Counter : public QObject
{
    Q_OBJECT

public:
    qint64 emissions = 0;
    qint64 items = 0;

public slots:
    void onList(const QStringList &lines)
    {
        ++emissions;
        items += lines.size();
    }
    void onText(const QString &text)
    {
        ++emissions;
        items += text.size();
    }
    void onPair(const QString &a, const QString &b)
    {
        ++emissions;
        items += a.size() + b.size();
    }
    void onLogin(bool, const QString &text)
    {
        ++emissions;
        items += text.size();
    }
    void onPeers(const QStringList &lines, const QString &)
    {
        ++emissions;
        items += lines.size();
    }
};

int connectEverySignal(ManagerSocket *socket, Counter *counter)
{
    const QMetaObject &mo = ManagerSocket::staticMetaObject;
    const QMetaObject &cm = Counter::staticMetaObject;
    int connected = 0;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
        const QMetaMethod signal = mo.method(i);
        if (signal.methodType() != QMetaMethod::Signal)
            continue;
        const QByteArray sig = signal.methodSignature();
        const QByteArray args = sig.mid(sig.indexOf('('));
        const char *slot = args == "(QStringList)" ? "onList(QStringList)"
            : args == "(QString)"                  ? "onText(QString)"
            : args == "(QString,QString)"          ? "onPair(QString,QString)"
            : args == "(bool,QString)"             ? "onLogin(bool,QString)"
            : args == "(QStringList,QString)"      ? "onPeers(QStringList,QString)"
                                                   : nullptr;
        if (slot && QObject::connect(socket, signal, counter, cm.method(cm.indexOfSlot(slot))))
            ++connected;
    }
    return connected;
}

long peakRssKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int repeats = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 40;

    const Block block = makeBlock();
    const QByteArray sentinel = "Event: UserEvent\r\nPrivilege: user,all\r\nUserEvent: BenchDone\r\n\r\n";
    const qint64 totalBytes = qint64(block.bytes.size()) * repeats + sentinel.size();
    const qint64 totalMessages = block.messages * repeats + 1;
    const qint64 expectedEmissions = block.emissions * repeats + 1;

    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
        || ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0) {
        std::fprintf(stderr, "ami_bench: cannot listen on 127.0.0.1\n");
        return 1;
    }

    std::atomic<bool> stop { false };
    std::thread writer([&] {
        const int conn = ::accept(listener, nullptr, nullptr);
        if (conn < 0)
            return;
        auto sendAll = [&](const char *data, size_t size) {
            while (size > 0 && !stop.load()) {
                const ssize_t n = ::send(conn, data, size, MSG_NOSIGNAL);
                if (n <= 0)
                    return false;
                data += n;
                size -= size_t(n);
            }
            return !stop.load();
        };
        bool ok = sendAll("Asterisk Call Manager/1.1\r\n", 27);
        // The reply to the empty line a client sends first carries the greeting away.
        ok = ok && sendAll("Response: Error\r\nMessage: Missing action in request\r\n\r\n", 55);
        for (int i = 0; ok && i < repeats; ++i)
            ok = sendAll(block.bytes.constData(), size_t(block.bytes.size()));
        if (ok)
            sendAll(sentinel.constData(), size_t(sentinel.size()));
        ::shutdown(conn, SHUT_RDWR);
        ::close(conn);
    });

    ManagerSocket socket;
    Counter counter;
    const int connected = connectEverySignal(&socket, &counter);
    QElapsedTimer clock;
    bool finished = false;
    QObject::connect(&socket, &ManagerSocket::UserEvent, &app, [&](const QStringList &lines) {
        if (lines.contains(QStringLiteral("UserEvent: BenchDone"))) {
            finished = true;
            app.quit();
        }
    });
    QObject::connect(&socket, &QAbstractSocket::connected, &app, [&] { clock.start(); });
    QObject::connect(&socket, &QAbstractSocket::disconnected, &app, [&] { app.quit(); });
    QTimer::singleShot(kWatchdogMs, &app, [&] {
        std::fprintf(stderr, "ami_bench: watchdog fired after %d ms\n", kWatchdogMs);
        app.quit();
    });
    socket.connectToHost(QHostAddress::LocalHost, ntohs(addr.sin_port));
    app.exec();
    const qint64 ns = clock.isValid() ? clock.nsecsElapsed() : 0;

    stop = true;
    socket.abort();
    writer.join();
    ::close(listener);

    const double seconds = ns / 1e9;
    std::printf("ami_bench: %d signals connected\n", connected);
    std::printf("stream:     %lld messages (%lld per block x %d), %.1f MB\n", static_cast<long long>(totalMessages),
        static_cast<long long>(block.messages), repeats, totalBytes / 1e6);
    std::printf("emissions:  %lld (expected %lld)\n", static_cast<long long>(counter.emissions),
        static_cast<long long>(expectedEmissions));
    if (!finished || seconds <= 0) {
        std::printf("ami_bench: did not finish\n");
        return 1;
    }
    std::printf("time:       %.3f s\n", seconds);
    std::printf("messages/s: %.0f\n", totalMessages / seconds);
    std::printf("signals/s:  %.0f\n", counter.emissions / seconds);
    std::printf("MB/s:       %.1f\n", totalBytes / 1e6 / seconds);
    std::printf("peak RSS:   %.1f MiB\n", peakRssKiB() / 1024.0);
    return counter.emissions == expectedEmissions ? 0 : 2;
}

#include "ami_bench.moc"
