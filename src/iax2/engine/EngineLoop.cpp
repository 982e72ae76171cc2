// The socket loop: opening the UDP socket and the wake pipe, the processing
// thread's cycle of waiting, reading, timers, media and delivering events, the
// bounded queues of events and log lines, and the one warning per peer that
// sends malformed datagrams.

#include "iax2/engine/EngineImpl.h"

#include "iax2/engine/EngineUtil.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace iax2 {

namespace {

constexpr size_t kMaxMalformedPeers = 256;
constexpr size_t kMaxPendingEvents = 4096;
// Datagrams are read in chunks, each handled under one short hold of the lock;
// a bounded number per cycle, so a flood cannot starve the media clock.
constexpr int kReadChunk = 32;
constexpr int kMaxChunksPerCycle = 16;

} // namespace

Iax2Engine::Impl::Impl(Config config, AudioDevice *audio)
    : m_config(std::move(config))
    , m_audio(audio ? audio : &m_nullAudio)
    , m_media(m_config.codecs, *m_audio, m_config.callSlots, m_config.jitterTargetMs)
{
    m_calls.resize(size_t(std::max(1, m_config.callSlots)));
    m_registrations.resize(size_t(std::max(1, m_config.maxRegistrations)));
    m_nextCallNo = uint16_t(1 + (Clock::now().time_since_epoch().count() % kMaxCallNumber));
    m_nextTransferId = uint32_t(Clock::now().time_since_epoch().count()) | 1u;

    int fds[2];
    if (pipe(fds) != 0) {
        m_error = std::string("cannot create wake pipe: ") + std::strerror(errno);
        return;
    }
    m_wakeRead = fds[0];
    m_wakeWrite = fds[1];
    fcntl(m_wakeRead, F_SETFL, O_NONBLOCK);
    fcntl(m_wakeWrite, F_SETFL, O_NONBLOCK);

    m_socket = socket(AF_INET, SOCK_DGRAM, 0);
    if (m_socket < 0) {
        m_error = std::string("cannot create UDP socket: ") + std::strerror(errno);
        return;
    }
    fcntl(m_socket, F_SETFL, O_NONBLOCK);
    fcntl(m_socket, F_SETFD, FD_CLOEXEC);
    sockaddr_in local {};
    if (!numericAddress(m_config.bindAddress, m_config.port, local)) {
        m_error = "bad bind address " + m_config.bindAddress;
        close(m_socket);
        m_socket = -1;
        return;
    }
    if (bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
        const std::string reason = std::strerror(errno);
        local.sin_port = 0;
        if (!m_config.fallbackToAnyPort || m_config.port == 0
            || bind(m_socket, reinterpret_cast<sockaddr *>(&local), sizeof local) != 0) {
            m_error = "cannot bind UDP port " + std::to_string(m_config.port) + ": " + reason;
            close(m_socket);
            m_socket = -1;
            return;
        }
        log(TextWarning, "UDP port " + std::to_string(m_config.port) + " is taken (" + reason + "); using another");
    }
    socklen_t len = sizeof local;
    getsockname(m_socket, reinterpret_cast<sockaddr *>(&local), &len);
    m_localPort = ntohs(local.sin_port);
}

Iax2Engine::Impl::~Impl()
{
    if (m_socket >= 0)
        close(m_socket);
    if (m_wakeRead >= 0)
        close(m_wakeRead);
    if (m_wakeWrite >= 0)
        close(m_wakeWrite);
}

void Iax2Engine::Impl::wake()
{
    if (m_wakeWrite >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = write(m_wakeWrite, &c, 1);
    }
}

void Iax2Engine::Impl::run()
{
    m_nextTick = clockNow() + kTick;
    while (!m_stop) {
        // Rounded up: a timeout cut to 0 ms would spin until the tick.
        int timeout = int(std::chrono::ceil<Millis>(m_nextTick - clockNow()).count());
        timeout = std::clamp(timeout, 0, int(kTick.count()));
        pollfd fds[2] = { { m_socket, POLLIN, 0 }, { m_wakeRead, POLLIN, 0 } };
        poll(fds, 2, timeout);
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (read(m_wakeRead, drain, sizeof drain) > 0) { }
        }
        resolvePending();
        applyAudio();
        receive();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            timers(clockNow());
        }
        mediaTicks();
        deviceIo();
        dispatch();
    }
    dispatch();
    m_wantAudio = false;
    applyAudio();
    m_audio->stopRing();
}

void Iax2Engine::Impl::receive()
{
    struct Datagram
    {
        sockaddr_in from {};
        size_t size = 0;
        std::vector<uint8_t> data = std::vector<uint8_t>(kMaxDatagram + 1);
    };
    static thread_local std::vector<Datagram> chunk(kReadChunk);
    for (int round = 0; round < kMaxChunksPerCycle; ++round) {
        int count = 0;
        while (count < kReadChunk) {
            Datagram &d = chunk[size_t(count)];
            socklen_t fromLen = sizeof d.from;
            const ssize_t n
                = recvfrom(m_socket, d.data.data(), d.data.size(), 0, reinterpret_cast<sockaddr *>(&d.from), &fromLen);
            if (n < 0)
                break;
            if (d.from.sin_family != AF_INET)
                continue;
            d.size = size_t(n);
            ++count;
        }
        if (count == 0)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        const TimePoint now = clockNow();
        for (int i = 0; i < count; ++i)
            handleDatagram(chunk[size_t(i)].data.data(), chunk[size_t(i)].size, chunk[size_t(i)].from, now);
        if (count < kReadChunk)
            return;
    }
}

void Iax2Engine::Impl::timers(TimePoint now)
{
    callTimers(now);
    registrationTimers(now);
    transferTimers(now);
    closingTimers(now);
}

void Iax2Engine::Impl::deviceIo()
{
    bool select = false;
    int ids[3];
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        select = std::exchange(m_selectPending, false);
        std::copy(std::begin(m_selectIds), std::end(m_selectIds), ids);
    }
    // The device reports a missing device itself; this only goes to the log.
    if (select && !m_audio->select(ids[0], ids[1], ids[2])) {
        std::lock_guard<std::mutex> lock(m_mutex);
        log(TextWarning, "A chosen audio device is not available; another one is used");
    }
}

void Iax2Engine::Impl::applyAudio()
{
    const bool want = m_wantAudio;
    if (want && !m_audio->isRunning()) {
        // A device without mixing opens once: the ring stream gives way.
        m_audio->stopRing();
        if (!m_audio->start()) {
            std::lock_guard<std::mutex> lock(m_mutex);
            emitText(TextError, "Cannot start the sound device");
        }
    } else if (!want && m_audio->isRunning()) {
        m_audio->stop();
    }
}

void Iax2Engine::Impl::dispatch()
{
    std::vector<EngineEvent> events;
    std::vector<std::pair<int, std::string>> logs;
    EventCallback onEvent;
    LogCallback onLog;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        events.swap(m_events);
        logs.swap(m_logs);
        onEvent = m_eventCallback;
        onLog = m_logCallback;
    }
    if (onLog) {
        for (const auto &entry : logs)
            onLog(entry.first, entry.second);
    }
    if (onEvent) {
        for (const EngineEvent &event : events)
            onEvent(event);
    }
}

void Iax2Engine::Impl::push(EngineEvent event)
{
    // Without a running thread nobody drains the queue; keep the newest.
    if (m_events.size() >= kMaxPendingEvents)
        m_events.erase(m_events.begin());
    m_events.push_back(std::move(event));
}

void Iax2Engine::Impl::emitText(int type, const std::string &text)
{
    push(TextEvent { type, text });
}

void Iax2Engine::Impl::log(int level, const std::string &text)
{
    if (m_logs.size() >= kMaxPendingEvents)
        m_logs.erase(m_logs.begin());
    m_logs.emplace_back(level, text);
}

void Iax2Engine::Impl::malformed(const sockaddr_in &from, const std::string &why)
{
    const uint64_t key = addressKey(from);
    auto it = m_malformedPeers.find(key);
    if (it != m_malformedPeers.end()) {
        ++it->second;
        return;
    }
    if (m_malformedPeers.size() >= kMaxMalformedPeers)
        m_malformedPeers.clear();
    m_malformedPeers[key] = 1;
    log(TextWarning,
        "Dropped a malformed IAX2 datagram from " + addressText(from) + " (" + why + "); further ones are not logged");
}

} // namespace iax2
