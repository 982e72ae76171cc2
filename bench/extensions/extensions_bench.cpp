// The extensions panel under a large PBX, over loopback and through the main
// window's router (PbxRouter) without the window and its call windows. A writer thread plays the PBX: it
// answers every action the panel and router send (PbxModel) and pushes call
// events, as fast as the socket takes them or paced. Prints the figures; a
// tool, never a test. Loopback only; stops by itself.
//
// Usage: extensions_bench [rounds]   (default 4 rounds of 500 calls)

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "PbxModel.h"
#include "ami/ManagerSocket.h"
#include "core/Paths.h"
#include "core/XmlReader.h"
#include "extensions/QuorAgent.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TGridLayout.h"
#include "extensions/TQuorGroupsEdit.h"
#include "mainwindow/PbxRouter.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

namespace {

constexpr int kSipPeers = 1500;
constexpr int kIaxPeers = 400;
constexpr int kZapPeers = 100;
constexpr int kCalls = 500;
constexpr int kPacedPerSecond = 1000;
constexpr int kPacedEvents = 3000;
constexpr int kHeartbeatMs = 10;
constexpr int kWatchdogMs = 120000;
constexpr int kSettleMs = 300;

// ---------------------------------------------------------------- the PBX side

// What the writer thread sends beyond answers: a stream of events, at once or
// paced, closed by a marker event.
struct Push
{
    QList<QByteArray> events;
    int perSecond = 0; // 0: as fast as the socket takes them
};

class PbxThread
{
public:
    explicit PbxThread(PbxModel model)
        : m_model(std::move(model))
    {
    }

    ~PbxThread() { stop(); }

    bool listen()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr {};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0
            || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
            return false;
        m_port = ntohs(addr.sin_port);
        m_wake = ::eventfd(0, EFD_NONBLOCK);
        m_thread = std::thread([this] { run(); });
        return true;
    }

    quint16 port() const { return m_port; }

    void push(Push push)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_queue.push_back(std::move(push));
        }
        wake();
    }

    void stop()
    {
        if (!m_thread.joinable())
            return;
        m_stop = true;
        wake();
        m_thread.join();
        ::close(m_listener);
        ::close(m_wake);
    }

private:
    void wake()
    {
        const quint64 one = 1;
        [[maybe_unused]] const ssize_t n = ::write(m_wake, &one, sizeof one);
    }

    void run()
    {
        const int conn = ::accept(m_listener, nullptr, nullptr);
        if (conn < 0)
            return;
        QByteArray out = "Asterisk Call Manager/1.1\r\n";
        QByteArray in;
        QStringList action;
        Push current;
        qsizetype next = 0;
        QElapsedTimer pace;
        while (!m_stop) {
            if (next >= current.events.size()) {
                std::lock_guard<std::mutex> lock(m_mutex);
                if (!m_queue.empty()) {
                    current = std::move(m_queue.front());
                    m_queue.pop_front();
                    next = 0;
                    pace.start();
                }
            }
            // Events are released as the pace allows, and only while the
            // socket keeps up, so answers are never stuck behind a backlog.
            while (next < current.events.size() && out.size() < 256 * 1024) {
                if (current.perSecond > 0 && next >= pace.elapsed() * current.perSecond / 1000)
                    break;
                out += current.events.at(next++);
            }
            // A marker asked for during a push comes after the push.
            if (next >= current.events.size() && !m_markers.isEmpty() && !queued()) {
                out += m_markers;
                m_markers.clear();
            }
            pollfd fds[2] = { { conn, short(POLLIN | (out.isEmpty() ? 0 : POLLOUT)), 0 }, { m_wake, POLLIN, 0 } };
            const bool pacing = next < current.events.size() && current.perSecond > 0;
            if (::poll(fds, 2, pacing ? 1 : 50) < 0)
                break;
            if (fds[1].revents & POLLIN) {
                quint64 count;
                [[maybe_unused]] const ssize_t n = ::read(m_wake, &count, sizeof count);
            }
            if (fds[0].revents & (POLLERR | POLLHUP))
                break;
            if (fds[0].revents & POLLIN) {
                char buffer[65536];
                const ssize_t n = ::recv(conn, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                in.append(buffer, n);
                answer(in, action, out, next < current.events.size() || queued());
            }
            if ((fds[0].revents & POLLOUT) && !out.isEmpty()) {
                const ssize_t n = ::send(conn, out.constData(), size_t(out.size()), MSG_NOSIGNAL);
                if (n < 0)
                    break;
                out.remove(0, n);
            }
        }
        ::shutdown(conn, SHUT_RDWR);
        ::close(conn);
    }

    bool queued()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return !m_queue.empty();
    }

    void answer(QByteArray &in, QStringList &action, QByteArray &out, bool pushing)
    {
        qsizetype lf;
        while ((lf = in.indexOf('\n')) >= 0) {
            QByteArray line = in.left(lf);
            in.remove(0, lf + 1);
            if (line.endsWith('\r'))
                line.chop(1);
            if (!line.isEmpty()) {
                action << QString::fromLatin1(line);
                continue;
            }
            if (action.isEmpty()) {
                out += "Response: Error\r\nMessage: Missing action in request\r\n\r\n";
                continue;
            }
            if (PbxModel::valueOf(action, "Action") == QLatin1String("Ping"))
                (pushing ? m_markers : out) += "Event: UserEvent\r\nUserEvent: Sync\r\nMark: "
                    + PbxModel::valueOf(action, "ActionID").toLatin1() + "\r\n\r\n";
            else
                out += m_model.answer(action);
            action.clear();
        }
    }

    const PbxModel m_model;
    int m_listener = -1;
    int m_wake = -1;
    quint16 m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::mutex m_mutex;
    std::deque<Push> m_queue;
    QByteArray m_markers;
};

PbxModel bigPbx()
{
    PbxModel model;
    model.version = QStringLiteral("1.4.21");
    model.driver = QStringLiteral("Zap");
    const auto add = [&](const char *tech, int first, int count) {
        for (int i = 0; i < count; ++i) {
            const QString name = QString::number(first + i);
            PbxModel::Peer p = PbxModel::peer(QLatin1String(tech), name, QStringLiteral("User ") + name);
            if (QLatin1String(tech) == QLatin1String("Zap"))
                p.mailbox = QStringLiteral("not set");
            p.reachable = i % 23 != 0;
            model.peers << p;
            if (i % 50 == 7)
                model.db.insert(QStringLiteral("DND/") + name, QStringLiteral("YES"));
            if (i % 40 == 11)
                model.db.insert(QStringLiteral("CF/") + name, QStringLiteral("555") + name);
            if (i % 9 == 0)
                model.voicemail.insert(p.mailbox, i % 5);
        }
    };
    add("SIP", 1000, kSipPeers);
    add("IAX", 3000, kIaxPeers);
    add("Zap", 1, kZapPeers);
    return model;
}

// ---------------------------------------------------------------- call events

QByteArray event(std::initializer_list<QByteArray> lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out + "\r\n";
}

struct Call
{
    QByteArray a, b; // extensions
    QByteArray ca, cb; // channels
    QByteArray ua, ub; // Uniqueids
};

Call makeCall(int index, int generation)
{
    // SIP peers in pairs 1000+i and 1500+i, both reachable or not alike.
    Call c;
    c.a = QByteArray::number(1000 + index);
    c.b = QByteArray::number(1000 + kCalls + index);
    const QByteArray tag = QByteArray::number(generation) + '-' + QByteArray::number(index, 16);
    c.ca = "SIP/" + c.a + "-a" + tag;
    c.cb = "SIP/" + c.b + "-b" + tag;
    c.ua = "17" + QByteArray::number(generation) + "." + QByteArray::number(2 * index);
    c.ub = "17" + QByteArray::number(generation) + "." + QByteArray::number(2 * index + 1);
    return c;
}

void callUp(QList<QByteArray> &out, const Call &c)
{
    out << event({ "Event: Newchannel", "Privilege: call,all", "Channel: " + c.ca, "State: Ring", "CallerID: " + c.a,
        "CallerIDName: User " + c.a, "Uniqueid: " + c.ua });
    out << event({ "Event: Newchannel", "Privilege: call,all", "Channel: " + c.cb, "State: Down", "CallerID: " + c.b,
        "CallerIDName: User " + c.b, "Uniqueid: " + c.ub });
    out << event({ "Event: Dial", "Privilege: call,all", "Source: " + c.ca, "Destination: " + c.cb, "CallerID: " + c.a,
        "CallerIDName: User " + c.a, "SrcUniqueID: " + c.ua, "DestUniqueID: " + c.ub });
    out << event({ "Event: Newstate", "Privilege: call,all", "Channel: " + c.cb, "State: Ringing", "CallerID: " + c.a,
        "CallerIDName: User " + c.a, "Uniqueid: " + c.ub });
    out << event({ "Event: Link", "Privilege: call,all", "Channel1: " + c.ca, "Channel2: " + c.cb, "Uniqueid1: " + c.ua,
        "Uniqueid2: " + c.ub, "CallerID1: " + c.a, "CallerID2: " + c.b });
}

void callMiddle(QList<QByteArray> &out, const Call &c, int index)
{
    if (index % 5 == 0) {
        out << event({ "Event: Hold", "Privilege: call,all", "Channel: " + c.ca, "Uniqueid: " + c.ua });
        out << event({ "Event: Unhold", "Privilege: call,all", "Channel: " + c.ca, "Uniqueid: " + c.ua });
    } else if (index % 5 == 1) {
        out << event({ "Event: Join", "Privilege: call,all", "Channel: " + c.ca, "CallerID: " + c.a, "Queue: support",
            "Position: 1", "Count: 1", "Uniqueid: " + c.ua });
        out << event({ "Event: Leave", "Privilege: call,all", "Channel: " + c.ca, "Queue: support", "Count: 0",
            "Uniqueid: " + c.ua });
    } else if (index % 10 == 2) {
        const QByteArray space = QByteArray::number(700 + index % 20);
        out << event({ "Event: ParkedCall", "Privilege: call,all", "Exten: " + space, "Channel: " + c.cb,
            "From: " + c.ca, "Timeout: 45", "CallerID: " + c.b, "CallerIDName: User " + c.b });
        out << event({ "Event: UnParkedCall", "Privilege: call,all", "Exten: " + space, "Channel: " + c.cb,
            "From: " + c.ca, "CallerID: " + c.b, "CallerIDName: User " + c.b });
    }
}

void callDown(QList<QByteArray> &out, const Call &c)
{
    out << event({ "Event: Unlink", "Privilege: call,all", "Channel1: " + c.ca, "Channel2: " + c.cb,
        "Uniqueid1: " + c.ua, "Uniqueid2: " + c.ub, "CallerID1: " + c.a, "CallerID2: " + c.b });
    out << event({ "Event: Hangup", "Privilege: call,all", "Channel: " + c.ca, "Uniqueid: " + c.ua, "Cause: 16" });
    out << event({ "Event: Hangup", "Privilege: call,all", "Channel: " + c.cb, "Uniqueid: " + c.ub, "Cause: 16" });
}

// Rounds over the 500 calls that are up: each call has its middle events, is
// torn down and at once set up again, so about 1,000 records stay live.
QList<QByteArray> churn(int firstGeneration, int rounds)
{
    QList<QByteArray> out;
    for (int r = 0; r < rounds; ++r) {
        for (int i = 0; i < kCalls; ++i) {
            const Call c = makeCall(i, firstGeneration + r);
            callMiddle(out, c, i);
            callDown(out, c);
            callUp(out, makeCall(i, firstGeneration + r + 1));
        }
    }
    return out;
}

// ---------------------------------------------------------------- the GUI side

long peakRssKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// The longest gap between ticks of a 10 ms timer, per phase.
class Heartbeat : public QObject
{
public:
    Heartbeat()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(kHeartbeatMs);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = qMax(m_longest, now - m_last);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    // The longest gap since the last reset, in ms, and a new phase.
    double take()
    {
        const double ms = qMax(m_longest, m_clock.nsecsElapsed() - m_last) / 1e6;
        m_longest = 0;
        m_last = m_clock.nsecsElapsed();
        return ms;
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Paint events reaching the grid or a tile.
class PaintWatch : public QObject
{
public:
    bool armed = false;
    qint64 paintedAt = -1;
    QElapsedTimer *clock = nullptr;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (armed && event->type() == QEvent::Paint && paintedAt < 0)
            paintedAt = clock->nsecsElapsed();
        return false;
    }
};

bool waitFor(QApplication &app, const std::function<bool()> &done, int timeoutMs = kWatchdogMs)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return false;
        app.processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

// Runs the event loop for a while, whatever comes.
void settle(QApplication &app, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        app.processEvents(QEventLoop::WaitForMoreEvents, 10);
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int rounds = argc > 1 ? qMax(1, QByteArray(argv[1]).toInt()) : 4;

    QTemporaryDir home;
    Paths::setDataDir(home.path() + QStringLiteral("/.quor/"));
    {
        XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
        xml.createRoot(QStringLiteral("quorer"));
        xml.save();
    }
    {
        // Two empty groups before Unsorted, which takes every tile: room for
        // a dropped tile and for reordering groups.
        QFile file(Paths::dataFile(QStringLiteral("extgroups.xml")));
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        file.write("<!DOCTYPE xmlreader>\n<groups>\n");
        for (const char *name : { "Front desk", "Back office" })
            file.write(QByteArray("<group><name>") + name
                + "</name><desc/><visible>yes</visible><expanded>yes</expanded><sort>num</sort></group>\n");
        file.write("</groups>\n");
    }

    PbxThread pbx(bigPbx());
    if (!pbx.listen()) {
        std::fprintf(stderr, "extensions_bench: cannot listen on 127.0.0.1\n");
        return 1;
    }

    TQuorSettings settings;
    TQuorPhone::Options phoneOptions;
    phoneOptions.voip.engine.bindAddress = "127.0.0.1";
    phoneOptions.voip.engine.port = 0;
    phoneOptions.voip.useSoundCard = false;
    phoneOptions.clickToDialPort = -1;
    TQuorPhone phone(&settings, phoneOptions);
    phone.setExitFunction([](int) {});
    TQuorGroupsEdit groups;
    QuorExtensions panel(&phone, &settings, &groups);
    panel.resize(1280, 900);
    panel.show();
    ManagerSocket socket;

    QElapsedTimer clock;
    clock.start();
    qint64 loginAt = -1;
    qint64 lastCountDone = -1;
    qint64 lastDetails = -1;
    int syncSeen = 0;
    int syncSent = 0;
    // Connected before the router: the login answer's own arrival.
    QObject::connect(&socket, &ManagerSocket::logInResponse, &app, [&] { loginAt = clock.nsecsElapsed(); });
    PbxRouter router(&socket, &panel, &groups);
    router.setFamilies(panel.dndFamily, panel.fwdFamilyAll, panel.fwdFamilyBusy, panel.fwdFamilyNoAnswer);
    QObject::connect(&panel, &QuorExtensions::countDone, &app, [&] { lastCountDone = clock.nsecsElapsed(); });
    for (auto signal : { &ManagerSocket::SipPeer, &ManagerSocket::IaxPeer })
        QObject::connect(&socket, signal, &app, [&] { lastDetails = clock.nsecsElapsed(); });
    QObject::connect(&socket, &ManagerSocket::UserEvent, &app, [&](const QStringList &e) {
        if (ManagerSocket::getValue(QStringLiteral("UserEvent"), e) == QLatin1String("Sync"))
            syncSeen = ManagerSocket::getValue(QStringLiteral("Mark"), e).toInt();
    });
    const auto sync = [&] {
        const int mark = ++syncSent;
        socket.sendCommand(QStringLiteral("Action: Ping\r\nActionID: %1\r\n\r\n").arg(mark));
        return waitFor(app, [&] { return syncSeen >= mark; });
    };
    PaintWatch paints;
    paints.clock = &clock;
    panel.grid->installEventFilter(&paints);

    Heartbeat heartbeat;
    const int total = kSipPeers + kIaxPeers + kZapPeers;
    int commands = 0;
    QObject::connect(&panel, &QuorExtensions::AsteriskCommand, &app, [&] { ++commands; });

    // Discovery: from the login answer to every tile placed and detailed.
    socket.connectToHost(QHostAddress::LocalHost, pbx.port());
    bool ok = waitFor(app, [&] { return panel.tiles.size() == total && panel.expectedPeers == total; });
    paints.armed = true;
    const qint64 builtAt = clock.nsecsElapsed();
    // Done when a round trip brings no new request.
    for (int before = -1; ok && before != commands;) {
        before = commands;
        ok = sync();
    }
    ok = ok && waitFor(app, [&] { return paints.paintedAt >= 0; });
    const double discoveryStall = heartbeat.take();
    if (!ok) {
        std::printf(
            "extensions_bench: discovery did not finish (%lld tiles)\n", static_cast<long long>(panel.tiles.size()));
        return 1;
    }
    int detailed = 0;
    for (const QuorAgent *tile : std::as_const(panel.tiles))
        detailed += tile->state != AgentInit;

    // Grid rebuilds, as the group editor asks for them from the event loop.
    double rebuildMax = 0;
    double rebuildSum = 0;
    constexpr int kRebuilds = 5;
    for (int i = 0; i < kRebuilds; ++i) {
        QElapsedTimer t;
        QTimer::singleShot(0, &groups, [&] {
            t.start();
            emit groups.signalUpdateExtGrid();
            const double ms = t.nsecsElapsed() / 1e6;
            rebuildMax = qMax(rebuildMax, ms);
            rebuildSum += ms;
        });
        ok = ok && waitFor(app, [&] { return t.isValid(); });
        ok = ok && sync(); // the repaint that follows
    }
    const double rebuildStall = heartbeat.take();

    // What a click or a drop on the one big group sets off, from the event
    // loop: the time of the handling and the longest stall with the repaint.
    const auto fromLoop = [&](const std::function<void()> &action) {
        QElapsedTimer t;
        double ms = -1;
        QTimer::singleShot(0, &groups, [&] {
            t.start();
            action();
            ms = t.nsecsElapsed() / 1e6;
        });
        ok = ok && waitFor(app, [&] { return ms >= 0; });
        ok = ok && sync();
        return ms;
    };
    TExtensionGroup *big = groups.unsorted;
    if (!big) {
        std::printf("extensions_bench: no Unsorted group\n");
        return 1;
    }
    // Collapsing and expanding: the grid lets go of 2,000 tiles and takes
    // them back.
    const double collapseMs = fromLoop([&] { big->expandClicked(); });
    const double expandMs = fromLoop([&] { big->expandClicked(); });
    const double collapseStall = heartbeat.take();
    // Sorting by name and back by number; a tile dropped on another group
    // and back; one group dragged onto another. Each drop writes the groups
    // file.
    const double byNameMs = fromLoop([&] { big->SortByName(); });
    const double byNumberMs = fromLoop([&] { big->SortByExt(); });
    const QString frontDesk = QStringLiteral("Front desk");
    const double dropMs = fromLoop([&] { groups.slotDrop2group(QStringLiteral("1000"), big->name, frontDesk); });
    const double dropBackMs = fromLoop([&] { groups.slotDrop2group(QStringLiteral("1000"), frontDesk, big->name); });
    const double regroupMs = fromLoop([&] { groups.slotNewGroupPosition(QStringLiteral("Back office"), frontDesk); });
    const double sortStall = heartbeat.take();
    ok = ok && big->tiles.size() == total;

    // Calls: 500 up, then rounds of churn as fast as the socket takes them.
    QList<QByteArray> setup;
    for (int i = 0; i < kCalls; ++i)
        callUp(setup, makeCall(i, 0));
    pbx.push({ setup, 0 });
    ok = ok && sync();
    const qint64 liveBefore = panel.channels->size();
    heartbeat.take();

    const QList<QByteArray> fast = churn(0, rounds);
    QElapsedTimer callClock;
    callClock.start();
    pbx.push({ fast, 0 });
    ok = ok && sync();
    const double callSeconds = callClock.nsecsElapsed() / 1e9;
    const qint64 liveAfter = panel.channels->size();
    // The repaint of what the burst changed belongs to the burst.
    settle(app, kSettleMs);
    ok = ok && sync();
    const double fastStall = heartbeat.take();

    // Paced at 1,000 events per second.
    QList<QByteArray> paced = churn(rounds, 1 + kPacedEvents / int(fast.size() / rounds + 1));
    paced.resize(qMin<qsizetype>(paced.size(), kPacedEvents));
    heartbeat.take();
    pbx.push({ paced, kPacedPerSecond });
    const qint64 pacedStart = clock.elapsed();
    const int pacedMs = kPacedEvents * 1000 / kPacedPerSecond;
    ok = ok && waitFor(app, [&] { return clock.elapsed() - pacedStart > pacedMs + 100; });
    ok = ok && sync();
    const double pacedStall = heartbeat.take();

    const auto ms = [&](qint64 at) { return (at - loginAt) / 1e6; };
    std::printf("extensions_bench: %d peers (%d SIP, %d IAX, %d Zap), %d calls, %d rounds\n", total, kSipPeers,
        kIaxPeers, kZapPeers, kCalls, rounds);
    std::printf("discovery:  tiles %lld, detailed %d, live records after setup %lld\n",
        static_cast<long long>(panel.tiles.size()), detailed, static_cast<long long>(liveBefore));
    std::printf("login answer -> last countDone():      %8.1f ms   (target: within 1000 ms)\n", ms(lastCountDone));
    std::printf("login answer -> last details handled:  %8.1f ms   (target: within 1000 ms)\n", ms(lastDetails));
    std::printf("login answer -> built panel painted:   %8.1f ms   (target: within 1500 ms)\n", ms(paints.paintedAt));
    std::printf("  (all tiles made at %.1f ms)\n", ms(builtAt));
    std::printf("longest stall during discovery:        %8.1f ms   (target: under 500 ms)\n", discoveryStall);
    std::printf(
        "full grid rebuild:                     %8.1f ms max, %.1f ms mean\n", rebuildMax, rebuildSum / kRebuilds);
    std::printf("longest stall during grid rebuilds:    %8.1f ms   (target: under 100 ms)\n", rebuildStall);
    std::printf("collapse / expand of the %d-tile group:  %.1f ms / %.1f ms, longest stall %.1f ms   (target: under "
                "100 ms)\n",
        total, collapseMs, expandMs, collapseStall);
    std::printf("sort by name / number, drop a tile out / back, move a group:  %.1f / %.1f, %.1f / %.1f, %.1f ms\n",
        byNameMs, byNumberMs, dropMs, dropBackMs, regroupMs);
    std::printf("longest stall during sorts and drops:  %8.1f ms   (target: under 100 ms)\n", sortStall);
    std::printf("call events at full speed:             %8lld events in %.3f s = %.0f events/s   (target: 20000)\n",
        static_cast<long long>(fast.size()), callSeconds, callSeconds > 0 ? fast.size() / callSeconds : 0.0);
    std::printf("  live records before %lld, after %lld\n", static_cast<long long>(liveBefore),
        static_cast<long long>(liveAfter));
    std::printf("longest stall at full speed:           %8.1f ms   (a pass reads up to %lld KiB, for up to %d ms)\n",
        fastStall, static_cast<long long>(ManagerSocket::kReadBufferBytes / 1024), ManagerSocket::kPassBudgetMs);
    std::printf(
        "longest stall at %d events/s:        %8.1f ms   (target: under 100 ms)\n", kPacedPerSecond, pacedStall);
    std::printf("peak RSS:                              %8.1f MiB  (target: under 250 MB)\n", peakRssKiB() / 1024.0);
    pbx.stop();
    if (!ok) {
        std::printf("extensions_bench: did not finish\n");
        return 1;
    }
    return 0;
}
