// The whole main window under a large PBX: the real TQuorManager with its phone
// (loopback engine, no sound card) and panel, logged in over loopback to a PBX
// that runs in a thread of its own, answers every query as a PBX would and
// streams a call mix. Prints events per second from the socket through the
// window to the panel, the longest stall of the GUI thread and the peak memory.
// A tool, never a test; loopback only; stops by itself.
//
// Then the mix once more beside 50,000 channels whose Hangup never came.
//
// Usage: mainwindow_bench [rounds]   (default 4 rounds over 500 calls)

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QSemaphore>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <sys/resource.h>

#include "PbxModel.h"
#include "core/Paths.h"
#include "extensions/QuorAgent.h"
#include "extensions/QuorExtensions.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/AmiSync.h"
#include "testsupport/FakeAmiServer.h"
#include "testsupport/LoopbackPhone.h"
#include "testsupport/SettingsFile.h"

namespace {

constexpr int kSip = 1500;
constexpr int kIax = 400;
constexpr int kZap = 100;
constexpr int kCalls = 500;
constexpr int kStaleCalls = 50000;
constexpr int kHeartbeatMs = 10;
constexpr int kTimeoutMs = 180000;

PbxModel largePbx()
{
    PbxModel pbx;
    const auto add = [&pbx](const char *tech, int first, int count) {
        for (int n = first; n < first + count; ++n) {
            const QString ext = QString::number(n);
            PbxModel::Peer peer = PbxModel::peer(QLatin1String(tech), ext, QStringLiteral("Staff ") + ext);
            peer.reachable = n % 29 != 0;
            if (n % 37 == 0)
                pbx.db.insert(QStringLiteral("DND/") + ext, QStringLiteral("YES"));
            if (n % 41 == 0)
                pbx.db.insert(QStringLiteral("CF/") + ext, QStringLiteral("0") + ext);
            if (n % 7 == 0)
                pbx.voicemail.insert(peer.mailbox, n % 4);
            pbx.peers << peer;
        }
    };
    add("SIP", 2000, kSip);
    add("IAX", 5000, kIax);
    add("Zap", 1, kZap);
    return pbx;
}

// One event as the PBX writes it.
QByteArray ev(const QList<QByteArray> &lines)
{
    return lines.join("\r\n") + "\r\n\r\n";
}

// A call from SIP extension 2000+i to 2000+kCalls+i in its n-th generation.
struct Leg
{
    QByteArray ext, channel, id;
};

std::pair<Leg, Leg> legs(int i, int generation)
{
    const QByteArray g = QByteArray::number(generation) + "x" + QByteArray::number(i);
    const QByteArray a = QByteArray::number(2000 + i);
    const QByteArray b = QByteArray::number(2000 + kCalls + i);
    return { { a, "SIP/" + a + "-" + g + "a", "9" + g + ".1" }, { b, "SIP/" + b + "-" + g + "b", "9" + g + ".2" } };
}

void setUp(QByteArray &out, int i, int generation)
{
    const auto [a, b] = legs(i, generation);
    out += ev({ "Event: Newchannel", "Channel: " + a.channel, "State: Ring", "CallerID: " + a.ext,
        "CallerIDName: Staff " + a.ext, "Uniqueid: " + a.id });
    out += ev({ "Event: Newexten", "Channel: " + a.channel, "Context: from-internal", "Extension: " + b.ext,
        "Priority: 1", "Application: Dial", "Uniqueid: " + a.id });
    out += ev({ "Event: Newchannel", "Channel: " + b.channel, "State: Down", "CallerID: " + b.ext,
        "CallerIDName: Staff " + b.ext, "Uniqueid: " + b.id });
    out += ev({ "Event: Dial", "Source: " + a.channel, "Destination: " + b.channel, "CallerID: " + a.ext,
        "SrcUniqueID: " + a.id, "DestUniqueID: " + b.id });
    out += ev({ "Event: Newstate", "Channel: " + b.channel, "State: Ringing", "CallerID: " + a.ext,
        "Uniqueid: " + b.id });
    // Answered: both legs are up, then bridged.
    out += ev({ "Event: Newstate", "Channel: " + b.channel, "State: Up", "CallerID: " + b.ext, "Uniqueid: " + b.id });
    out += ev({ "Event: Newstate", "Channel: " + a.channel, "State: Up", "CallerID: " + a.ext, "Uniqueid: " + a.id });
    out += ev({ "Event: Link", "Channel1: " + a.channel, "Channel2: " + b.channel, "Uniqueid1: " + a.id,
        "Uniqueid2: " + b.id, "CallerID1: " + a.ext, "CallerID2: " + b.ext });
}

// What happens to a call while it is up: a queue, the parking lot, hold, a
// peer coming and going, a DND change announced by another client.
void middle(QByteArray &out, int i, int generation)
{
    const auto [a, b] = legs(i, generation);
    switch (i % 6) {
    case 0:
        out += ev({ "Event: Join", "Channel: " + a.channel, "CallerID: " + a.ext, "CallerIDName: Staff " + a.ext,
            "Queue: support", "Position: 1", "Count: 1", "Uniqueid: " + a.id });
        out += ev({ "Event: Leave", "Channel: " + a.channel, "Queue: support", "Count: 0", "Uniqueid: " + a.id });
        break;
    case 1:
        out += ev({ "Event: ParkedCall", "Exten: 70" + QByteArray::number(i % 10), "Channel: " + b.channel,
            "From: " + a.channel, "Timeout: 45", "CallerID: " + b.ext, "CallerIDName: Staff " + b.ext });
        out += ev({ "Event: UnParkedCall", "Exten: 70" + QByteArray::number(i % 10), "Channel: " + b.channel,
            "From: " + a.channel, "CallerID: " + b.ext });
        break;
    case 2:
        out += ev({ "Event: Hold", "Channel: " + a.channel, "Uniqueid: " + a.id });
        out += ev({ "Event: Unhold", "Channel: " + a.channel, "Uniqueid: " + a.id });
        break;
    case 3:
        // A peer comes and goes now and then; each asks for a whole peer table.
        if (i % 60 != 3)
            break;
        out += ev({ "Event: PeerStatus", "Peer: SIP/" + QByteArray::number(2000 + 2 * kCalls + i),
            "PeerStatus: Unreachable" });
        out += ev({ "Event: PeerStatus", "Peer: SIP/" + QByteArray::number(2000 + 2 * kCalls + i),
            "PeerStatus: Registered" });
        break;
    case 4:
        out += ev({ "Event: UserEvent", "UserEvent: DND", "Act: DND", "User: " + a.ext });
        break;
    default:
        out += ev({ "Event: Newcallerid", "Channel: " + b.channel, "CallerID: " + b.ext,
            "CallerIDName: Staff " + b.ext, "Uniqueid: " + b.id });
        break;
    }
}

void tearDown(QByteArray &out, int i, int generation)
{
    const auto [a, b] = legs(i, generation);
    out += ev({ "Event: Unlink", "Channel1: " + a.channel, "Channel2: " + b.channel, "Uniqueid1: " + a.id,
        "Uniqueid2: " + b.id, "CallerID1: " + a.ext, "CallerID2: " + b.ext });
    out += ev({ "Event: Hangup", "Channel: " + a.channel, "Uniqueid: " + a.id, "Cause: 16" });
    out += ev({ "Event: Hangup", "Channel: " + b.channel, "Uniqueid: " + b.id, "Cause: 16" });
}

int countEvents(const QByteArray &bytes)
{
    return int(bytes.count("\r\n\r\n"));
}

// The PBX: a fake AMI server answering as the model says, in its own thread
// so that the window's thread does only the client's work.
class PbxThread : public QThread
{
public:
    explicit PbxThread(PbxModel model)
        : m_model(std::move(model))
    {
    }

    quint16 port() const { return m_port; }
    FakeAmiServer *server() const { return m_server; }

    // Queued to the server's thread; bytes go out in order after answers
    // already written.
    void send(const QByteArray &bytes)
    {
        QMetaObject::invokeMethod(m_server, [this, bytes] { m_server->sendRaw(bytes); });
    }

protected:
    void run() override
    {
        FakeAmiServer server;
        server.answerPings();
        for (const char *action : { "Login", "Command", "SIPShowPeer", "MailBoxCount", "DBGet", "QueueStatus" })
            server.addResponder(QLatin1String(action), [this, &server](const QStringList &a) {
                // The record of every action would grow without end.
                server.clearReceived();
                return m_model.answer(a);
            });
        server.listen();
        m_server = &server;
        m_port = server.port();
        m_ready.release();
        exec();
        m_server = nullptr;
    }

public:
    void waitReady() { m_ready.acquire(); }

private:
    const PbxModel m_model;
    FakeAmiServer *m_server = nullptr;
    quint16 m_port = 0;
    QSemaphore m_ready;
};

class Heartbeat : public QObject
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = qMax(m_longest, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start(kHeartbeatMs);
    }
    // The longest gap between ticks since the last call, in ms.
    double take()
    {
        const qint64 now = m_clock.nsecsElapsed();
        const double ms = qMax(m_longest, now - m_last) / 1e6;
        m_longest = 0;
        m_last = now;
        return ms;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

bool waitUntil(const std::function<bool()> &done)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > kTimeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 4;

    PbxThread pbx(largePbx());
    pbx.start();
    pbx.waitReady();

    QTemporaryDir home;
    Paths::init();
    Paths::setDataDir(home.path() + QStringLiteral("/.quor/"));
    writeSettingKeys({ { QStringLiteral("manager/use_phone_ip"), QStringLiteral("no") },
        { QStringLiteral("manager/server"), QStringLiteral("127.0.0.1") },
        { QStringLiteral("manager/port"), QString::number(pbx.port()) } });

    TQuorSettings settings;
    TQuorPhone phone(&settings, loopbackPhoneOptions());
    phone.setExitFunction([](int) {});
    QElapsedTimer clock;
    clock.start();
    TQuorManager window(&phone, &settings);
    window.resize(1400, 950);
    window.show();

    QuorExtensions *panel = window.extensions();
    AmiSync syncer(window.socket());
    const auto sync = [&syncer] { return syncer.sync(kTimeoutMs); };
    int texts = 0;
    QObject::connect(panel, &QuorExtensions::AsteriskCommand, &app, [&texts] { ++texts; });

    const int peers = kSip + kIax + kZap;
    bool ok = waitUntil([&] { return window.isLoggedIn() && panel->tiles.size() == peers; });
    for (int before = -1; ok && before != texts;) {
        before = texts;
        ok = sync();
    }
    const double discoveryMs = clock.nsecsElapsed() / 1e6;
    if (!ok) {
        std::printf("mainwindow_bench: discovery did not finish (%lld tiles)\n",
            static_cast<long long>(panel->tiles.size()));
        return 1;
    }
    Heartbeat heartbeat;

    QByteArray calls;
    for (int i = 0; i < kCalls; ++i)
        setUp(calls, i, 0);
    pbx.send(calls);
    ok = sync();
    heartbeat.take();

    QByteArray mix;
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < kCalls; ++i) {
            middle(mix, i, r);
            tearDown(mix, i, r);
            setUp(mix, i, r + 1);
        }
    }
    const int events = countEvents(mix);
    QElapsedTimer burst;
    burst.start();
    pbx.send(mix);
    ok = ok && sync();
    const double seconds = burst.nsecsElapsed() / 1e9;
    // The repaint of what the burst changed belongs to it.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    const double stall = heartbeat.take();

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    int busyTiles = 0;
    for (const QuorAgent *tile : std::as_const(panel->tiles))
        busyTiles += !tile->linkedChannel.isNull();

    std::printf("mainwindow_bench: %d peers (%d SIP, %d IAX, %d Zap), %d calls, %d rounds of the call mix\n", peers,
        kSip, kIax, kZap, kCalls, rounds);
    std::printf("start -> panel discovered (2,000 tiles, every answer handled): %8.1f ms\n", discoveryMs);
    std::printf("call mix routed socket -> window -> panel: %d events in %.3f s = %.0f events/s   (target: 20000)\n",
        events, seconds, seconds > 0 ? events / seconds : 0.0);
    std::printf("  tiles bridged afterwards: %d, live channel records: %lld\n", busyTiles,
        static_cast<long long>(panel->channels->size()));
    std::printf("longest GUI-thread stall after discovery:  %8.1f ms   (target: under 100 ms)\n", stall);
    std::printf("peak RSS:                                  %8.1f MiB  (target: under 300 MB)\n",
        usage.ru_maxrss / 1024.0);

    // Channels whose Hangup was never seen stay, in the call records and in
    // the panel, until the connection drops; the mix should keep its pace.
    QByteArray stale;
    for (int i = 0; i < kStaleCalls; ++i) {
        const QByteArray n = QByteArray::number(i);
        stale += ev({ "Event: Newchannel", "Channel: SIP/9999-s" + n, "State: Down", "Uniqueid: 8." + n });
    }
    pbx.send(stale);
    ok = ok && sync();
    QByteArray again;
    for (int i = 0; i < kCalls; ++i) {
        middle(again, i, rounds);
        tearDown(again, i, rounds);
        setUp(again, i, rounds + 1);
    }
    burst.restart();
    pbx.send(again);
    ok = ok && sync();
    const double staleSeconds = burst.nsecsElapsed() / 1e9;
    std::printf("the mix again beside %lld channels never hung up:  %.0f events/s\n",
        static_cast<long long>(window.activeCalls.size() - 2 * kCalls),
        staleSeconds > 0 ? countEvents(again) / staleSeconds : 0.0);

    pbx.quit();
    pbx.wait();
    if (!ok) {
        std::printf("mainwindow_bench: did not finish\n");
        return 1;
    }
    return 0;
}
