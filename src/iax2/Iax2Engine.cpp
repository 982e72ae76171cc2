#include "iax2/Iax2Engine.h"

#include "iax2/Frame.h"
#include "iax2/Md5.h"
#include "iax2/media/AudioFilters.h"
#include "iax2/media/AudioLevel.h"
#include "iax2/media/JitterBuffer.h"
#include "iax2/media/RingTone.h"
#include "iax2/NullAudioDevice.h"
#include "iax2/Sequencer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace iax2 {

namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Millis = std::chrono::milliseconds;

constexpr Millis kTick { 20 };
constexpr Millis kPingInterval { 5000 };
constexpr Millis kStatsInterval { 1000 };
constexpr Millis kBusyGrace { 10000 };
constexpr int kFrame = Codec::kFrameSamples;
// Ring frames wait for the thread to write them outside the lock; a stalled
// device must not make them pile up.
constexpr size_t kMaxQueuedRingFrames = 10;
constexpr size_t kMaxClosing = 64;
constexpr size_t kMaxMalformedPeers = 256;
constexpr size_t kMaxPendingEvents = 4096;
constexpr size_t kMaxTextLength = 80;
constexpr int kMinRefresh = 10;

// Names and numbers come from the network and end up in labels, logs and
// AMI-bound texts: no control characters, and a sane length.
std::string cleanText(const std::string &text, size_t maxLength = kMaxTextLength)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            continue;
        out.push_back(c);
        if (out.size() >= maxLength)
            break;
    }
    return out;
}

bool sameAddress(const sockaddr_in &a, const sockaddr_in &b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

std::string addressText(const sockaddr_in &addr)
{
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr.sin_addr, buf, sizeof buf);
    return std::string(buf) + ":" + std::to_string(ntohs(addr.sin_port));
}

uint64_t addressKey(const sockaddr_in &addr)
{
    return (uint64_t(addr.sin_addr.s_addr) << 16) | addr.sin_port;
}

bool numericAddress(const std::string &host, uint16_t port, sockaddr_in &out)
{
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1;
}

uint32_t lowestBit(uint32_t mask)
{
    return mask & (~mask + 1);
}

bool singleBit(uint32_t mask)
{
    return mask && !(mask & (mask - 1));
}

// The APPARENT ADDR element carries a socket address as the hosts lay it out:
// family in little-endian order, then port and address in network order, then
// eight zero bytes.
std::vector<uint8_t> apparentAddress(const sockaddr_in &addr)
{
    std::vector<uint8_t> out(16, 0);
    out[0] = AF_INET & 0xff;
    out[1] = (AF_INET >> 8) & 0xff;
    std::memcpy(&out[2], &addr.sin_port, 2);
    std::memcpy(&out[4], &addr.sin_addr.s_addr, 4);
    return out;
}

void mixInto(int16_t *frame, const int16_t *other)
{
    for (int i = 0; i < kFrame; ++i)
        frame[i] = int16_t(std::clamp(int(frame[i]) + int(other[i]), -32768, 32767));
}

// The format to use for a call: ours when the peer can take it, else the
// peer's own choice, else the first that both sides have.
uint32_t chooseFormat(uint32_t preferred, uint32_t ours, uint32_t peerCapability, uint32_t peerFormat)
{
    const uint32_t common = ours & peerCapability;
    // Either choice may carry several bits by mistake; one is taken.
    if (common & preferred)
        return lowestBit(common & preferred);
    if (common & peerFormat)
        return lowestBit(common & peerFormat);
    static const uint32_t order[] = { FormatUlaw, FormatAlaw, FormatGsm, FormatSpeex, FormatIlbc };
    for (uint32_t f : order) {
        if (common & f)
            return f;
    }
    return lowestBit(common);
}

} // namespace

struct Dialogue
{
    uint16_t localNo = 0;
    uint16_t remoteNo = 0;
    sockaddr_in peer {};
    Sequencer seq;
    TimePoint start;
    uint32_t lastTs = 0;
    // The frame that opened the dialogue, resent with the token a CALLTOKEN reply brings.
    uint8_t openingCommand = 0;
    IeList openingIes;
    bool tokenUsed = false;

    uint32_t nextTimestamp(TimePoint now)
    {
        auto ms = uint32_t(std::chrono::duration_cast<Millis>(now - start).count());
        // Signalling timestamps never repeat, so the peer can tell frames apart.
        if (ms <= lastTs)
            ms = lastTs + 1;
        lastTs = ms;
        return ms;
    }
};

struct Call
{
    bool used = false;
    bool waitingForAddress = false;
    bool incoming = false;
    bool answered = false;
    bool heldByUs = false;
    bool quelchedByPeer = false;
    int state = CallFree;
    Account account;
    std::string number;
    std::string remoteNumber;
    std::string remoteName;
    std::unique_ptr<Dialogue> dialogue;

    uint32_t format = 0;
    std::unique_ptr<Codec> encoder;
    std::unique_ptr<Codec> decoder;
    uint32_t rxFormat = 0;
    bool fullVoiceSent = false;
    uint32_t txFormat = 0;
    uint32_t voiceTs = 0;
    uint32_t lastVoiceTs = 0;
    bool voiceClockStarted = false;
    uint32_t rxTs = 0;
    bool rxStarted = false;
    JitterBuffer jitter;

    // Comfort noise: we told the peer we are silent; the peer told us it is,
    // from its frame's timestamp on, at this level (-dBov).
    bool cngSent = false;
    bool rxSilent = false;
    uint32_t rxCngTs = 0;
    int rxNoiseLevel = 127;
    uint32_t noiseSeed = 0x1234567;

    NetStats stats;
    double jitter_ = 0; // inter-arrival jitter estimate, ms
    int64_t lastTransit = 0;
    bool haveTransit = false;
    uint32_t pingTs = 0;
    bool pingOutstanding = false;
    TimePoint nextPing;
    TimePoint nextStats;
    TimePoint busyDeadline;
    bool busySent = false;
};

namespace {

bool isRinging(const Call &c)
{
    return c.used && c.incoming && !c.answered && (c.state & CallRinging) && !(c.state & CallBusy);
}

} // namespace

struct Registration
{
    bool used = false;
    int id = -1;
    Account account;
    sockaddr_in address {};
    bool haveAddress = false;
    bool waitingForAddress = false;
    bool releasing = false;
    bool authAnswered = false;
    bool awaitingReply = false;
    bool retry = true;
    std::unique_ptr<Dialogue> dialogue;
    TimePoint nextAttempt;
};

class Iax2Engine::Impl
{
public:
    Impl(Config config, AudioDevice *audio);
    ~Impl();

    void run();
    void wake();

    // All of the following run with m_mutex held.
    void handleDatagram(const uint8_t *data, size_t size, const sockaddr_in &from, TimePoint now);
    void handleFull(const FullFrame &frame, const sockaddr_in &from, TimePoint now);
    void handleMini(const MiniFrame &frame, const sockaddr_in &from, TimePoint now);
    void handleNew(const FullFrame &frame, const sockaddr_in &from, TimePoint now);
    void handleCallFrame(int callNo, const FullFrame &frame, TimePoint now);
    void handleRegistrationFrame(Registration &reg, const FullFrame &frame, TimePoint now);
    void handleCallToken(Dialogue &dlg, const FullFrame &frame, TimePoint now);
    void handleVoice(
        Call &call, uint32_t timestamp, uint32_t format, const std::vector<uint8_t> &payload, TimePoint now);
    void timers(TimePoint now);
    void mediaTick(TimePoint now);
    bool ringTick(int16_t *frame);
    void playout(Call &call, int16_t *frame);
    uint32_t nextVoiceTimestamp(Call &call, TimePoint now);
    void sendVoice(Call &call, const int16_t *pcm, TimePoint now);
    void sendComfortNoise(Call &call, TimePoint now);
    bool transferIncludes(int callNo) const;
    void transferReady(int callNo, TimePoint now);
    void failTransfer(int rejectingCall, const std::string &why, TimePoint now);
    void emitTransfer(int callNo, int otherCallNo, bool ok);
    void deviceIo();

    void send(Dialogue &dlg, FullFrame frame, TimePoint now);
    void sendIax(Dialogue &dlg, uint8_t command, const IeList &ies, TimePoint now);
    void sendControl(Dialogue &dlg, uint8_t control, TimePoint now);
    void sendAck(Dialogue &dlg, const FullFrame &frame);
    void sendRaw(const std::vector<uint8_t> &bytes, const sockaddr_in &to);
    void replyStateless(const FullFrame &to, const sockaddr_in &from, uint8_t command, const IeList &ies);
    void openDialogue(Dialogue &dlg, uint8_t command, IeList ies, TimePoint now);

    uint16_t allocateCallNo();
    std::unique_ptr<Dialogue> newDialogue() const;
    Dialogue *findLocal(uint16_t localNo, int *callNo, Registration **reg);
    Dialogue *findRemote(const sockaddr_in &from, uint16_t remoteNo, int *callNo, Registration **reg);
    Call *call(int callNo);
    void startCall(int callNo, TimePoint now);
    void startRegistration(Registration &reg, TimePoint now);
    void endCall(int callNo, uint8_t command, const std::string &cause, uint8_t code, TimePoint now);
    void dropCall(int callNo, const std::string &why);
    void retire(std::unique_ptr<Dialogue> dlg);
    bool setupCodecs(Call &call, uint32_t format);
    void updateAudio();
    void applyAudio();
    void resolvePending();

    void emitState(int callNo);
    void emitText(int type, const std::string &text);
    void emitRegistration(int id, RegistrationReply reply, int messages = -1);
    void push(EngineEvent event);
    void log(int level, const std::string &text);
    void malformed(const sockaddr_in &from, const std::string &why);
    void dispatch();

    Config m_config;
    AudioDevice *m_audio = nullptr;
    NullAudioDevice m_nullAudio;

    mutable std::mutex m_mutex;
    int m_socket = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::string m_error;
    uint16_t m_localPort = 0;

    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_running { false };
    std::atomic<bool> m_wantAudio { false };

    EventCallback m_eventCallback;
    LogCallback m_logCallback;
    std::vector<EngineEvent> m_events;
    std::vector<std::pair<int, std::string>> m_logs;

    std::vector<Call> m_calls;
    std::vector<Registration> m_registrations;
    std::vector<std::unique_ptr<Dialogue>> m_closing;
    std::map<uint64_t, int> m_malformedPeers;
    int m_nextRegistrationId = 1;
    uint16_t m_nextCallNo = 1;
    int m_selected = -1;

    std::string m_callerName;
    std::string m_callerNumber;
    uint32_t m_preferred = FormatUlaw;
    uint32_t m_allowed = FormatUlaw | FormatAlaw;
    int m_filters = 0;
    SpeexSettings m_speex;
    float m_inputGain = 1.0f;
    float m_outputGain = 1.0f;
    bool m_mute = false;
    TimePoint m_nextTick;

    // The media path; only the processing thread touches it, under the lock.
    AudioFilters m_audioFilters;
    LevelMeter m_inMeter;
    LevelMeter m_outMeter;
    float m_outLevel = kSilenceDb;
    bool m_audioWasRunning = false;

    // Sounds: ring frames and a ring stop wait here for the thread to hand them
    // to the device outside the lock (a ring stream may take a while to open).
    RingTone m_ringTone;
    bool m_ringInBoth = false;
    bool m_muteRing = false;
    bool m_ringing = false;
    std::vector<std::array<int16_t, kFrame>> m_ringOut;
    bool m_ringStopPending = false;

    // A device selection waiting for the thread (the device is the thread's alone).
    bool m_selectPending = false;
    int m_selectIds[3] = { -1, -1, -1 };

    struct AttendedTransfer
    {
        bool active = false;
        int calls[2] = { -1, -1 };
        bool ready[2] = { false, false };
        uint32_t id = 0;
        TimePoint deadline;
    };
    AttendedTransfer m_transfer;
    uint32_t m_nextTransferId = 1;
};

Iax2Engine::Impl::Impl(Config config, AudioDevice *audio)
    : m_config(std::move(config))
    , m_audio(audio ? audio : &m_nullAudio)
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

// ---------------------------------------------------------------- thread

void Iax2Engine::Impl::run()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_nextTick = Clock::now() + kTick;
    }
    std::vector<uint8_t> buffer(kMaxDatagram + 1);
    while (!m_stop) {
        TimePoint now = Clock::now();
        int timeout;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            // Rounded up: a timeout cut to 0 ms would spin until the tick.
            timeout = int(std::chrono::ceil<Millis>(m_nextTick - now).count());
        }
        timeout = std::clamp(timeout, 0, int(kTick.count()));
        pollfd fds[2] = { { m_socket, POLLIN, 0 }, { m_wakeRead, POLLIN, 0 } };
        poll(fds, 2, timeout);
        if (fds[1].revents & POLLIN) {
            char drain[64];
            while (read(m_wakeRead, drain, sizeof drain) > 0) { }
        }
        resolvePending();
        applyAudio();
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            // A bounded batch, so a flood cannot starve the media clock.
            for (int i = 0; i < 512; ++i) {
                sockaddr_in from {};
                socklen_t fromLen = sizeof from;
                const ssize_t n = recvfrom(
                    m_socket, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &fromLen);
                if (n < 0)
                    break;
                if (from.sin_family != AF_INET)
                    continue;
                now = Clock::now();
                handleDatagram(buffer.data(), size_t(n), from, now);
            }
            now = Clock::now();
            timers(now);
            int ticks = 0;
            while (now >= m_nextTick) {
                mediaTick(m_nextTick);
                m_nextTick += kTick;
                // After a stall, resume the clock instead of sending a burst.
                if (++ticks > 10) {
                    m_nextTick = now + kTick;
                    break;
                }
            }
        }
        deviceIo();
        dispatch();
    }
    dispatch();
    m_wantAudio = false;
    applyAudio();
    m_audio->stopRing();
}

void Iax2Engine::Impl::deviceIo()
{
    bool select = false;
    int ids[3];
    std::vector<std::array<int16_t, kFrame>> ring;
    bool stopRing = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        select = std::exchange(m_selectPending, false);
        std::copy(std::begin(m_selectIds), std::end(m_selectIds), ids);
        ring.swap(m_ringOut);
        stopRing = std::exchange(m_ringStopPending, false);
    }
    // The device reports a missing device itself; this only goes to the log.
    if (select && !m_audio->select(ids[0], ids[1], ids[2])) {
        std::lock_guard<std::mutex> lock(m_mutex);
        log(TextWarning, "A chosen audio device is not available; another one is used");
    }
    for (const auto &frame : ring)
        m_audio->writeRingFrame(frame.data());
    if (stopRing)
        m_audio->stopRing();
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

void Iax2Engine::Impl::resolvePending()
{
    std::vector<std::pair<std::string, uint16_t>> wanted;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Call &c : m_calls) {
            if (c.used && c.waitingForAddress)
                wanted.emplace_back(c.account.host, c.account.port);
        }
        for (const Registration &r : m_registrations) {
            if (r.used && r.waitingForAddress)
                wanted.emplace_back(r.account.host, r.account.port);
        }
    }
    if (wanted.empty())
        return;
    // Name lookups may block for a while, so they run without the lock.
    std::map<std::string, std::optional<in_addr>> found;
    for (const auto &entry : wanted) {
        if (found.count(entry.first))
            continue;
        addrinfo hints {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo *result = nullptr;
        std::optional<in_addr> addr;
        if (getaddrinfo(entry.first.c_str(), nullptr, &hints, &result) == 0 && result) {
            addr = reinterpret_cast<sockaddr_in *>(result->ai_addr)->sin_addr;
            freeaddrinfo(result);
        }
        found[entry.first] = addr;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    const TimePoint now = Clock::now();
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (!c.used || !c.waitingForAddress || !found.count(c.account.host))
            continue;
        c.waitingForAddress = false;
        const auto &addr = found[c.account.host];
        if (!addr) {
            emitText(TextError, "Cannot resolve host " + c.account.host);
            dropCall(int(i), "host not found");
            continue;
        }
        numericAddress("0.0.0.0", c.account.port, c.dialogue->peer);
        c.dialogue->peer.sin_addr = *addr;
        startCall(int(i), now);
    }
    for (Registration &r : m_registrations) {
        if (!r.used || !r.waitingForAddress || !found.count(r.account.host))
            continue;
        r.waitingForAddress = false;
        const auto &addr = found[r.account.host];
        if (!addr) {
            emitText(TextError, "Cannot resolve host " + r.account.host);
            emitRegistration(r.id, RegistrationReply::Timeout);
            r.nextAttempt = now + std::chrono::seconds(std::max(kMinRefresh, r.account.refresh));
            continue;
        }
        numericAddress("0.0.0.0", r.account.port, r.address);
        r.address.sin_addr = *addr;
        r.haveAddress = true;
        r.nextAttempt = now;
    }
}

// ---------------------------------------------------------------- events

void Iax2Engine::Impl::push(EngineEvent event)
{
    // Without a running thread nobody drains the queue; keep the newest.
    if (m_events.size() >= kMaxPendingEvents)
        m_events.erase(m_events.begin());
    m_events.push_back(std::move(event));
}

void Iax2Engine::Impl::emitState(int callNo)
{
    const Call &c = m_calls[size_t(callNo)];
    EngineEvent e;
    e.type = EngineEvent::Type::CallState;
    e.callNo = callNo;
    e.state = c.used ? c.state | (callNo == m_selected ? CallSelected : 0) : CallFree;
    e.format = c.format;
    e.remoteNumber = c.remoteNumber;
    e.remoteName = c.remoteName;
    e.localNumber = c.number;
    push(std::move(e));
}

void Iax2Engine::Impl::emitText(int type, const std::string &text)
{
    EngineEvent e;
    e.type = EngineEvent::Type::Text;
    e.textType = type;
    e.text = text;
    push(std::move(e));
    log(type, text);
}

void Iax2Engine::Impl::emitRegistration(int id, RegistrationReply reply, int messages)
{
    EngineEvent e;
    e.type = EngineEvent::Type::Registration;
    e.registrationId = id;
    e.reply = reply;
    e.messageCount = messages;
    push(std::move(e));
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

// ---------------------------------------------------------------- sending

void Iax2Engine::Impl::sendRaw(const std::vector<uint8_t> &bytes, const sockaddr_in &to)
{
    sendto(m_socket, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

void Iax2Engine::Impl::send(Dialogue &dlg, FullFrame frame, TimePoint now)
{
    frame.sourceCall = dlg.localNo;
    frame.destCall = dlg.remoteNo;
    // Media frames carry the media clock; replies carry the asker's timestamp.
    if (frame.type != FrameType::Voice && frame.type != FrameType::ComfortNoise && !frame.isIax(Cmd::Ack)
        && !frame.isIax(Cmd::Pong) && !frame.isIax(Cmd::LagRp))
        frame.timestamp = dlg.nextTimestamp(now);
    dlg.seq.stamp(frame);
    std::vector<uint8_t> bytes;
    encodeFullFrame(frame, bytes);
    dlg.seq.track(frame, bytes, now);
    sendRaw(bytes, dlg.peer);
}

void Iax2Engine::Impl::sendIax(Dialogue &dlg, uint8_t command, const IeList &ies, TimePoint now)
{
    FullFrame f;
    f.type = FrameType::Iax;
    f.subclass = command;
    ies.appendTo(f.payload);
    send(dlg, std::move(f), now);
}

void Iax2Engine::Impl::sendControl(Dialogue &dlg, uint8_t control, TimePoint now)
{
    FullFrame f;
    f.type = FrameType::Control;
    f.subclass = control;
    send(dlg, std::move(f), now);
}

void Iax2Engine::Impl::sendAck(Dialogue &dlg, const FullFrame &frame)
{
    FullFrame ack;
    ack.type = FrameType::Iax;
    ack.subclass = Cmd::Ack;
    // An ACK carries the timestamp of the frame it acknowledges.
    ack.timestamp = frame.timestamp;
    send(dlg, std::move(ack), TimePoint());
}

void Iax2Engine::Impl::replyStateless(const FullFrame &to, const sockaddr_in &from, uint8_t command, const IeList &ies)
{
    FullFrame f;
    f.sourceCall = command == Cmd::Inval ? to.destCall : allocateCallNo();
    f.destCall = to.sourceCall;
    f.timestamp = to.timestamp;
    f.oseqno = to.iseqno;
    f.iseqno = uint8_t(to.oseqno + 1);
    f.type = FrameType::Iax;
    f.subclass = command;
    ies.appendTo(f.payload);
    std::vector<uint8_t> bytes;
    encodeFullFrame(f, bytes);
    sendRaw(bytes, from);
}

void Iax2Engine::Impl::openDialogue(Dialogue &dlg, uint8_t command, IeList ies, TimePoint now)
{
    // Many PBXes want a call token before they keep any state: offer an empty
    // one and resend with theirs when they ask.
    ies.addEmpty(Ie::CallToken);
    dlg.openingCommand = command;
    dlg.openingIes = ies;
    sendIax(dlg, command, ies, now);
}

uint16_t Iax2Engine::Impl::allocateCallNo()
{
    for (int tries = 0; tries < kMaxCallNumber; ++tries) {
        const uint16_t candidate = m_nextCallNo;
        m_nextCallNo = uint16_t(m_nextCallNo % kMaxCallNumber + 1);
        if (!findLocal(candidate, nullptr, nullptr))
            return candidate;
    }
    return 1;
}

std::unique_ptr<Dialogue> Iax2Engine::Impl::newDialogue() const
{
    auto dlg = std::unique_ptr<Dialogue>(new Dialogue);
    Sequencer::Timing timing;
    timing.firstInterval = Millis(std::max(1, m_config.retransmitFirstMs));
    timing.maxInterval = Millis(std::max(m_config.retransmitFirstMs, m_config.retransmitMaxMs));
    timing.maxSends = std::max(1, m_config.retransmitMaxSends);
    dlg->seq = Sequencer(timing);
    return dlg;
}

Dialogue *Iax2Engine::Impl::findLocal(uint16_t localNo, int *callNo, Registration **reg)
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (c.used && c.dialogue && c.dialogue->localNo == localNo) {
            if (callNo)
                *callNo = int(i);
            return c.dialogue.get();
        }
    }
    for (Registration &r : m_registrations) {
        if (r.used && r.dialogue && r.dialogue->localNo == localNo) {
            if (reg)
                *reg = &r;
            return r.dialogue.get();
        }
    }
    for (auto &d : m_closing) {
        if (d->localNo == localNo)
            return d.get();
    }
    return nullptr;
}

Dialogue *Iax2Engine::Impl::findRemote(const sockaddr_in &from, uint16_t remoteNo, int *callNo, Registration **reg)
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (c.used && c.dialogue && c.dialogue->remoteNo == remoteNo && sameAddress(c.dialogue->peer, from)) {
            if (callNo)
                *callNo = int(i);
            return c.dialogue.get();
        }
    }
    for (Registration &r : m_registrations) {
        if (r.used && r.dialogue && r.dialogue->remoteNo == remoteNo && sameAddress(r.dialogue->peer, from)) {
            if (reg)
                *reg = &r;
            return r.dialogue.get();
        }
    }
    for (auto &d : m_closing) {
        if (d->remoteNo == remoteNo && sameAddress(d->peer, from))
            return d.get();
    }
    return nullptr;
}

Call *Iax2Engine::Impl::call(int callNo)
{
    if (callNo < 0 || callNo >= int(m_calls.size()) || !m_calls[size_t(callNo)].used)
        return nullptr;
    return &m_calls[size_t(callNo)];
}

void Iax2Engine::Impl::retire(std::unique_ptr<Dialogue> dlg)
{
    if (!dlg || dlg->seq.idle())
        return;
    dlg->openingCommand = 0; // a late CALLTOKEN must not reopen it
    // It stays until the peer acknowledges the last frames or they time out.
    if (m_closing.size() >= kMaxClosing)
        m_closing.erase(m_closing.begin());
    m_closing.push_back(std::move(dlg));
}

// ---------------------------------------------------------------- receiving

void Iax2Engine::Impl::handleDatagram(const uint8_t *data, size_t size, const sockaddr_in &from, TimePoint now)
{
    std::string why;
    switch (classify(data, size)) {
    case DatagramKind::Full: {
        FullFrame frame;
        if (!parseFullFrame(data, size, frame, &why)) {
            malformed(from, why);
            return;
        }
        handleFull(frame, from, now);
        return;
    }
    case DatagramKind::Mini: {
        MiniFrame frame;
        if (!parseMiniFrame(data, size, frame, &why)) {
            malformed(from, why);
            return;
        }
        handleMini(frame, from, now);
        return;
    }
    case DatagramKind::Meta:
        return;
    case DatagramKind::Malformed:
        malformed(from, size > kMaxDatagram ? "too large" : "too short");
        return;
    }
}

void Iax2Engine::Impl::handleFull(const FullFrame &frame, const sockaddr_in &from, TimePoint now)
{
    if (frame.type == FrameType::Iax && frame.subclass != Cmd::Ack && frame.subclass != Cmd::Inval
        && frame.subclass != Cmd::Vnak && !IeList::parse(frame.payload.data(), frame.payload.size())) {
        malformed(from, "information element runs past the frame");
        return;
    }
    int callNo = -1;
    Registration *reg = nullptr;
    Dialogue *dlg = nullptr;
    if (frame.destCall != 0) {
        dlg = findLocal(frame.destCall, &callNo, &reg);
        if (!dlg) {
            if (!frame.isIax(Cmd::Inval) && !frame.isIax(Cmd::Ack) && !frame.isIax(Cmd::Vnak))
                replyStateless(frame, from, Cmd::Inval, IeList());
            return;
        }
        if (!sameAddress(dlg->peer, from)) {
            malformed(from, "frame for call " + std::to_string(frame.destCall) + " from a foreign address");
            return;
        }
        if (frame.isIax(Cmd::CallToken)) {
            handleCallToken(*dlg, frame, now);
            return;
        }
        if (dlg->remoteNo == 0) {
            dlg->remoteNo = frame.sourceCall;
        } else if (dlg->remoteNo != frame.sourceCall) {
            malformed(from, "frame for call " + std::to_string(frame.destCall) + " from another dialogue");
            return;
        }
    } else {
        // Call number 0 is nobody's: it must not match a dialogue of ours
        // that has not heard from its peer yet.
        if (frame.sourceCall == 0)
            return;
        dlg = findRemote(from, frame.sourceCall, &callNo, &reg);
        if (!dlg) {
            if (frame.isIax(Cmd::New)) {
                handleNew(frame, from, now);
            } else if (frame.isIax(Cmd::Poke)) {
                replyStateless(frame, from, Cmd::Pong, IeList());
            }
            return;
        }
    }

    switch (dlg->seq.receive(frame)) {
    case Sequencer::Verdict::Duplicate:
        if (!frame.isUnsequenced())
            sendAck(*dlg, frame);
        return;
    case Sequencer::Verdict::Early: {
        FullFrame vnak;
        vnak.type = FrameType::Iax;
        vnak.subclass = Cmd::Vnak;
        send(*dlg, std::move(vnak), now);
        return;
    }
    case Sequencer::Verdict::Accept:
        break;
    }

    if (frame.isIax(Cmd::Vnak)) {
        for (const auto &bytes : dlg->seq.resendFrom(frame.iseqno, now))
            sendRaw(bytes, dlg->peer);
        return;
    }
    if (frame.isIax(Cmd::Ack))
        return;
    if (!frame.isUnsequenced())
        sendAck(*dlg, frame);

    if (callNo >= 0) {
        handleCallFrame(callNo, frame, now);
    } else if (reg) {
        handleRegistrationFrame(*reg, frame, now);
    } else if (frame.isIax(Cmd::Ping)) {
        FullFrame pong;
        pong.type = FrameType::Iax;
        pong.subclass = Cmd::Pong;
        pong.timestamp = frame.timestamp;
        send(*dlg, std::move(pong), now);
    }
}

void Iax2Engine::Impl::handleCallToken(Dialogue &dlg, const FullFrame &frame, TimePoint now)
{
    const auto ies = IeList::parse(frame.payload.data(), frame.payload.size());
    const IeList::Element *token = ies ? ies->find(Ie::CallToken) : nullptr;
    // Only the first reply to our opening frame may ask for a token.
    if (!token || token->data.empty() || dlg.tokenUsed || dlg.openingCommand == 0 || dlg.remoteNo != 0) {
        log(TextWarning, "Ignored an unexpected CALLTOKEN");
        return;
    }
    dlg.tokenUsed = true;
    IeList resent;
    for (const auto &e : dlg.openingIes.elements()) {
        if (e.id == Ie::CallToken)
            resent.addBytes(Ie::CallToken, token->data.data(), token->data.size());
        else
            resent.addBytes(e.id, e.data.data(), e.data.size());
    }
    // The peer kept nothing of the first attempt: start the dialogue over.
    dlg.seq.reset();
    dlg.remoteNo = 0;
    sendIax(dlg, dlg.openingCommand, resent, now);
}

void Iax2Engine::Impl::handleNew(const FullFrame &frame, const sockaddr_in &from, TimePoint now)
{
    const auto ies = IeList::parse(frame.payload.data(), frame.payload.size());
    if (!ies)
        return;
    auto reject = [&](const std::string &cause, uint8_t code) {
        IeList r;
        r.addString(Ie::Cause, cause).addU8(Ie::CauseCode, code);
        replyStateless(frame, from, Cmd::Reject, r);
        log(TextStatus, "Rejected a call from " + addressText(from) + ": " + cause);
    };
    if (frame.oseqno != 0) {
        malformed(from, "NEW that does not start its dialogue");
        return;
    }
    if (const auto version = ies->u16(Ie::Version); version && *version != 2) {
        reject("Unsupported protocol version", 111);
        return;
    }
    int slot = -1;
    for (size_t i = 0; i < m_calls.size(); ++i) {
        if (!m_calls[i].used) {
            slot = int(i);
            break;
        }
    }
    if (slot < 0) {
        reject("No free call slot", 34);
        return;
    }
    const uint32_t peerFormat = ies->u32(Ie::Format).value_or(0);
    const uint32_t capability = ies->u32(Ie::Capability).value_or(peerFormat);
    const uint32_t format = chooseFormat(m_preferred, m_allowed, capability, peerFormat);
    if (!format) {
        if (!m_allowed)
            emitText(TextError, "An incoming call was refused: no usable codec is allowed");
        reject("No compatible codec", 58);
        return;
    }

    Call &c = m_calls[size_t(slot)];
    c = Call();
    c.used = true;
    c.incoming = true;
    c.state = CallActive | CallRinging;
    c.remoteNumber = cleanText(ies->string(Ie::CallingNumber));
    c.remoteName = cleanText(ies->string(Ie::CallingName));
    c.number = cleanText(ies->string(Ie::CalledNumber));
    c.jitter.setTarget(m_config.jitterTargetMs);
    c.dialogue = newDialogue();
    Dialogue &dlg = *c.dialogue;
    dlg.localNo = allocateCallNo();
    dlg.remoteNo = frame.sourceCall;
    dlg.peer = from;
    dlg.start = now;
    dlg.seq.receive(frame);
    if (!setupCodecs(c, format)) {
        c = Call();
        reject("No compatible codec", 58);
        return;
    }
    c.nextPing = now + kPingInterval;
    c.nextStats = now + kStatsInterval;
    sendAck(dlg, frame);
    sendIax(dlg, Cmd::Accept, IeList().addU32(Ie::Format, format), now);
    sendControl(dlg, Ctl::Ringing, now);
    log(TextStatus, "Incoming call " + std::to_string(slot) + " from " + addressText(from));
    emitState(slot);
    updateAudio();
}

bool Iax2Engine::Impl::setupCodecs(Call &c, uint32_t format)
{
    auto encoder = m_config.codecs.create(format, m_speex);
    auto decoder = m_config.codecs.create(format, m_speex);
    if (!encoder || !decoder)
        return false;
    c.format = format;
    c.rxFormat = format;
    c.encoder = std::move(encoder);
    c.decoder = std::move(decoder);
    return true;
}

void Iax2Engine::Impl::handleCallFrame(int callNo, const FullFrame &frame, TimePoint now)
{
    Call &c = m_calls[size_t(callNo)];
    Dialogue &dlg = *c.dialogue;
    const auto ies = IeList::parse(frame.payload.data(), frame.payload.size());

    if (frame.type == FrameType::Voice) {
        handleVoice(c, frame.timestamp, frame.subclass, frame.payload, now);
        return;
    }
    if (frame.type == FrameType::ComfortNoise) {
        // The peer stops sending voice until it speaks again; its level fills the gap.
        c.rxSilent = true;
        c.rxCngTs = frame.timestamp;
        // Background noise is never loud: a level above -30 dBov is taken as -30.
        c.rxNoiseLevel = int(std::clamp<uint32_t>(frame.subclass, 30, 127));
        return;
    }
    if (frame.type == FrameType::Control) {
        switch (frame.subclass) {
        case Ctl::Ringing:
            c.state |= CallRinging;
            emitState(callNo);
            break;
        case Ctl::Answer:
            if (!c.incoming) {
                c.answered = true;
                c.state = (c.state & ~CallRinging) | CallComplete;
                emitState(callNo);
                updateAudio();
            }
            break;
        case Ctl::Busy:
        case Ctl::Congestion:
            c.state = (c.state & ~CallRinging) | CallBusy;
            emitText(TextStatus, frame.subclass == Ctl::Busy ? "Busy" : "Congestion");
            emitState(callNo);
            break;
        case Ctl::Hangup:
            endCall(callNo, 0, "Hangup", 16, now);
            break;
        default:
            break;
        }
        return;
    }
    if (frame.type == FrameType::DtmfEnd || frame.type == FrameType::DtmfBegin) {
        log(TextStatus, "Call " + std::to_string(callNo) + " received DTMF");
        return;
    }
    if (frame.type != FrameType::Iax || !ies)
        return;

    switch (frame.subclass) {
    case Cmd::Accept: {
        if (c.incoming || c.encoder)
            break;
        const uint32_t format = ies->u32(Ie::Format).value_or(m_preferred);
        if (!(format & m_allowed) || !setupCodecs(c, format)) {
            emitText(TextError, "The PBX chose a codec that is not allowed");
            endCall(callNo, Cmd::Hangup, "No compatible codec", 58, now);
            return;
        }
        emitState(callNo);
        break;
    }
    case Cmd::AuthReq: {
        if (c.incoming)
            break;
        const uint16_t methods = ies->u16(Ie::AuthMethods).value_or(0);
        IeList reply;
        if (methods & Auth::Md5) {
            reply.addString(Ie::Md5Result, challengeResponse(ies->string(Ie::Challenge), c.account.secret));
        } else if (methods & Auth::Plaintext) {
            emitText(TextWarning, "The PBX asks for the password in plain text");
            reply.addString(Ie::Password, c.account.secret);
        } else {
            emitText(TextError, "The PBX offers no supported authentication method");
            endCall(callNo, Cmd::Hangup, "No authentication method", 50, now);
            return;
        }
        sendIax(dlg, Cmd::AuthRep, reply, now);
        break;
    }
    case Cmd::Hangup:
    case Cmd::Reject: {
        const std::string cause = cleanText(ies->string(Ie::Cause));
        if (frame.subclass == Cmd::Reject)
            emitText(TextStatus, cause.empty() ? "Call rejected" : "Call rejected: " + cause);
        log(TextStatus, "Call " + std::to_string(callNo) + " ended by the peer" + (cause.empty() ? "" : ": " + cause));
        dropCall(callNo, std::string());
        return;
    }
    case Cmd::Ping: {
        FullFrame pong;
        pong.type = FrameType::Iax;
        pong.subclass = Cmd::Pong;
        pong.timestamp = frame.timestamp;
        send(dlg, std::move(pong), now);
        break;
    }
    case Cmd::LagRq: {
        FullFrame lag;
        lag.type = FrameType::Iax;
        lag.subclass = Cmd::LagRp;
        lag.timestamp = frame.timestamp;
        send(dlg, std::move(lag), now);
        break;
    }
    case Cmd::Pong:
    case Cmd::LagRp:
        if (c.pingOutstanding && frame.timestamp == c.pingTs) {
            const auto elapsed = std::chrono::duration_cast<Millis>(now - dlg.start).count();
            c.stats.roundTripMs = int(std::max<int64_t>(0, elapsed - int64_t(c.pingTs)));
            c.pingOutstanding = false;
        }
        break;
    case Cmd::Quelch:
        c.quelchedByPeer = true;
        break;
    case Cmd::Unquelch:
        c.quelchedByPeer = false;
        break;
    case Cmd::Inval:
        emitText(TextWarning, "The PBX no longer knows call " + std::to_string(callNo));
        dropCall(callNo, std::string());
        return;
    case Cmd::TxReq:
        // Media stays with the PBX; a direct path is not offered.
        sendIax(dlg, Cmd::TxRej, IeList(), now);
        break;
    case Cmd::TxReady:
        if (transferIncludes(callNo))
            transferReady(callNo, now);
        break;
    case Cmd::TxRej:
        if (transferIncludes(callNo))
            failTransfer(callNo, "the PBX refused it", now);
        break;
    case Cmd::Transfer:
    case Cmd::Unsupport:
    case Cmd::Poke:
    case Cmd::TxCnt:
    case Cmd::TxAcc:
    case Cmd::TxRel:
    case Cmd::New:
        break;
    default:
        sendIax(dlg, Cmd::Unsupport, IeList().addU8(Ie::IaxUnknown, uint8_t(frame.subclass)), now);
        break;
    }
}

void Iax2Engine::Impl::handleMini(const MiniFrame &frame, const sockaddr_in &from, TimePoint now)
{
    for (Call &c : m_calls) {
        if (!c.used || !c.dialogue || c.dialogue->remoteNo != frame.sourceCall || !sameAddress(c.dialogue->peer, from))
            continue;
        if (!c.rxStarted)
            return; // a mini frame means nothing before the first full voice frame
        handleVoice(c, expandMiniTimestamp(c.rxTs, frame.timestamp), c.rxFormat, frame.payload, now);
        return;
    }
}

void Iax2Engine::Impl::handleVoice(
    Call &c, uint32_t timestamp, uint32_t format, const std::vector<uint8_t> &payload, TimePoint now)
{
    if (format != c.rxFormat || !c.decoder) {
        auto decoder = m_config.codecs.create(format, m_speex);
        if (!decoder) {
            log(TextWarning, "Voice in an unsupported format " + std::to_string(format));
            return;
        }
        c.decoder = std::move(decoder);
        c.rxFormat = format;
        // What waits in the buffer is in the old format.
        c.jitter.reset();
    }
    const int64_t arrival = std::chrono::duration_cast<Millis>(now - c.dialogue->start).count();
    if (c.rxStarted) {
        if (timestamp < c.rxTs) {
            ++c.stats.outOfOrder;
        } else if (timestamp > c.rxTs) {
            const uint32_t gap = (timestamp - c.rxTs) / 20;
            if (gap > 1 && gap < 500 && !c.rxSilent)
                c.stats.lost += gap - 1;
        }
        const int64_t transit = arrival - int64_t(timestamp);
        if (c.haveTransit)
            c.jitter_ += (std::abs(double(transit - c.lastTransit)) - c.jitter_) / 16.0;
        c.lastTransit = transit;
        c.haveTransit = true;
    }
    if (!c.rxStarted || timestamp >= c.rxTs)
        c.rxTs = timestamp;
    c.rxStarted = true;
    ++c.stats.packetsIn;
    c.stats.jitterMs = int(c.jitter_ + 0.5);
    if (c.rxSilent && int32_t(timestamp - c.rxCngTs) >= 0)
        c.rxSilent = false;
    // Before the answer nothing plays; a buffer filled then would only add delay.
    if (c.answered)
        c.jitter.put(timestamp, payload.data(), payload.size());
}

void Iax2Engine::Impl::handleRegistrationFrame(Registration &reg, const FullFrame &frame, TimePoint now)
{
    const auto ies = IeList::parse(frame.payload.data(), frame.payload.size());
    if (frame.type != FrameType::Iax || !ies)
        return;
    Dialogue &dlg = *reg.dialogue;
    switch (frame.subclass) {
    case Cmd::RegAuth: {
        if (reg.authAnswered) {
            // A second challenge means the first answer was refused.
            reg.awaitingReply = false;
            if (!reg.releasing)
                emitRegistration(reg.id, RegistrationReply::Rejected);
            reg.retry = false;
            break;
        }
        reg.authAnswered = true;
        const uint16_t methods = ies->u16(Ie::AuthMethods).value_or(0);
        IeList reply;
        reply.addString(Ie::Username, reg.account.user);
        if (methods & Auth::Md5) {
            reply.addString(Ie::Md5Result, challengeResponse(ies->string(Ie::Challenge), reg.account.secret));
        } else if (methods & Auth::Plaintext) {
            emitText(TextWarning, "The registrar asks for the password in plain text");
            reply.addString(Ie::Password, reg.account.secret);
        } else {
            emitText(TextError, "The registrar offers no supported authentication method");
            reg.awaitingReply = false;
            reg.retry = false;
            if (!reg.releasing)
                emitRegistration(reg.id, RegistrationReply::Rejected);
            break;
        }
        if (!reg.releasing)
            reply.addU16(Ie::Refresh, uint16_t(std::clamp(reg.account.refresh, kMinRefresh, 65535)));
        sendIax(dlg, reg.releasing ? Cmd::RegRel : Cmd::RegReq, reply, now);
        break;
    }
    case Cmd::RegAck: {
        reg.awaitingReply = false;
        if (reg.releasing)
            break;
        const int granted = ies->u16(Ie::Refresh).value_or(uint16_t(reg.account.refresh));
        // Refresh at three quarters of the granted time, but never in a tight
        // loop, whatever the registrar grants.
        reg.nextAttempt = now + std::max(Millis(1000), Millis(std::max(granted, 1) * 750));
        const auto messages = ies->u16(Ie::MsgCount);
        emitRegistration(reg.id, RegistrationReply::Accepted, messages ? int(*messages & 0xff) : -1);
        break;
    }
    case Cmd::RegRej: {
        reg.awaitingReply = false;
        reg.retry = false;
        const std::string cause = cleanText(ies->string(Ie::Cause));
        if (!reg.releasing) {
            emitText(TextError, cause.empty() ? "Registration rejected" : "Registration rejected: " + cause);
            emitRegistration(reg.id, RegistrationReply::Rejected);
        }
        break;
    }
    case Cmd::Inval:
        reg.awaitingReply = false;
        break;
    default:
        break;
    }
    if (reg.releasing && !reg.awaitingReply) {
        retire(std::move(reg.dialogue));
        reg = Registration();
    }
}

// ---------------------------------------------------------------- timers and media

void Iax2Engine::Impl::timers(TimePoint now)
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (!c.used || !c.dialogue || c.waitingForAddress)
            continue;
        for (const auto &bytes : c.dialogue->seq.due(now))
            sendRaw(bytes, c.dialogue->peer);
        if (c.dialogue->seq.failed()) {
            emitText(TextError, "Call " + std::to_string(i) + " lost: no answer from the peer");
            dropCall(int(i), std::string());
            continue;
        }
        if (c.busySent && now >= c.busyDeadline) {
            endCall(int(i), Cmd::Hangup, "User busy", 17, now);
            continue;
        }
        if (c.answered && now >= c.nextPing) {
            c.nextPing = now + kPingInterval;
            FullFrame ping;
            ping.type = FrameType::Iax;
            ping.subclass = Cmd::Ping;
            send(*c.dialogue, std::move(ping), now);
            c.pingTs = c.dialogue->lastTs;
            c.pingOutstanding = true;
        }
        if (c.answered && now >= c.nextStats) {
            c.nextStats = now + kStatsInterval;
            EngineEvent e;
            e.type = EngineEvent::Type::NetStats;
            e.callNo = int(i);
            e.stats = c.stats;
            push(std::move(e));
        }
    }

    for (Registration &r : m_registrations) {
        if (!r.used)
            continue;
        if (r.dialogue && r.awaitingReply) {
            for (const auto &bytes : r.dialogue->seq.due(now))
                sendRaw(bytes, r.dialogue->peer);
            if (r.dialogue->seq.failed()) {
                r.awaitingReply = false;
                if (r.releasing) {
                    r = Registration();
                    continue;
                }
                emitRegistration(r.id, RegistrationReply::Timeout);
                r.nextAttempt = now + std::chrono::seconds(std::max(kMinRefresh, r.account.refresh));
                r.retry = true;
            }
        } else if (r.dialogue) {
            // Finished dialogue: keep acknowledging, nothing to resend.
            for (const auto &bytes : r.dialogue->seq.due(now))
                sendRaw(bytes, r.dialogue->peer);
        }
        if (!r.awaitingReply && r.retry && r.haveAddress && !r.releasing && now >= r.nextAttempt)
            startRegistration(r, now);
    }

    if (m_transfer.active && now >= m_transfer.deadline)
        failTransfer(-1, "the calls were not joined in time", now);

    for (auto it = m_closing.begin(); it != m_closing.end();) {
        Dialogue &d = **it;
        for (const auto &bytes : d.seq.due(now))
            sendRaw(bytes, d.peer);
        if (d.seq.idle() || d.seq.failed())
            it = m_closing.erase(it);
        else
            ++it;
    }
}

void Iax2Engine::Impl::updateAudio()
{
    bool anyCall = false;
    bool ringing = false;
    for (const Call &c : m_calls) {
        anyCall = anyCall || (c.used && c.answered);
        ringing = ringing || isRinging(c);
    }
    // Starting a sound card can take a while: the processing thread does it
    // without the lock. Ringing on the output device needs its stream too.
    m_wantAudio = anyCall || (ringing && m_ringInBoth);
    wake();
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

bool Iax2Engine::Impl::ringTick(int16_t *frame)
{
    bool ringing = false;
    for (const Call &c : m_calls)
        ringing = ringing || isRinging(c);
    if (!ringing) {
        if (m_ringing) {
            m_ringing = false;
            m_ringStopPending = true;
        }
        return false;
    }
    if (!m_ringing) {
        m_ringing = true;
        m_ringTone.reset();
    }
    m_ringTone.nextFrame(frame);
    const bool running = m_audio->isRunning();
    // The ring device is the speaker of the running call stream: the tone goes
    // there once, mixed in, whichever option asked for it.
    if (running && m_audio->ringSharesOutput())
        return m_ringInBoth || !m_muteRing;
    if (!m_muteRing && m_ringOut.size() < kMaxQueuedRingFrames) {
        m_ringOut.emplace_back();
        std::copy(frame, frame + kFrame, m_ringOut.back().begin());
    }
    return m_ringInBoth && running;
}

void Iax2Engine::Impl::playout(Call &c, int16_t *frame)
{
    const uint64_t concealed = c.jitter.stats().concealed;
    const bool playing = c.jitter.get(*c.decoder, frame);
    const bool filler = !playing || c.jitter.stats().concealed != concealed;
    if (!c.rxSilent || !filler)
        return;
    // The peer is silent on purpose: its background noise, not a codec's
    // guess at a lost frame or dead silence.
    const float rms = 32767.0f * std::pow(10.0f, -float(c.rxNoiseLevel) / 20.0f);
    const float amplitude = rms * 1.7320508f; // uniform noise: rms = amplitude / sqrt(3)
    for (int i = 0; i < kFrame; ++i) {
        c.noiseSeed = c.noiseSeed * 1664525u + 1013904223u;
        const float u = float(c.noiseSeed >> 8) / float(1u << 24) * 2.0f - 1.0f;
        frame[i] = int16_t(std::clamp(u * amplitude, -32768.0f, 32767.0f));
    }
}

void Iax2Engine::Impl::mediaTick(TimePoint now)
{
    int16_t ring[kFrame];
    const bool ringToOutput = ringTick(ring);
    if (!m_audio->isRunning()) {
        m_audioWasRunning = false;
        return;
    }
    if (!m_audioWasRunning) {
        // A new conversation: the echo path and the room may be new too.
        m_audioWasRunning = true;
        m_audioFilters.reset();
        m_inMeter.reset();
        m_outMeter.reset();
    }

    // Playout: every answered call's buffer moves on one frame, so each stays in
    // step with its sender; only the selected call's frame is heard.
    int16_t speaker[kFrame] = {};
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (!c.used || !c.answered || !c.decoder)
            continue;
        int16_t frame[kFrame];
        playout(c, frame);
        if (int(i) == m_selected && !c.heldByUs)
            std::copy(frame, frame + kFrame, speaker);
    }
    applyGain(speaker, kFrame, m_outputGain);
    if (ringToOutput)
        mixInto(speaker, ring);
    m_audio->writeFrame(speaker);
    m_audioFilters.playback(speaker);
    float level = kSilenceDb;
    if (m_outMeter.add(speaker, kFrame, &level))
        m_outLevel = level;

    int16_t mic[kFrame];
    if (!m_audio->readFrame(mic))
        std::fill(std::begin(mic), std::end(mic), int16_t(0));
    applyGain(mic, kFrame, m_inputGain);
    const bool voice = m_audioFilters.capture(mic);
    const bool report = m_inMeter.add(mic, kFrame, &level);
    static const int16_t silence[kFrame] = {};
    const bool comfortNoise = m_filters & FilterComfortNoise;
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (!c.used || !c.answered || !c.encoder || c.heldByUs || c.quelchedByPeer)
            continue;
        const bool live = int(i) == m_selected && !m_mute;
        if (comfortNoise && !(live && voice)) {
            // One comfort-noise frame starts a silence; nothing more until voice.
            if (!c.cngSent)
                sendComfortNoise(c, now);
            continue;
        }
        sendVoice(c, live ? mic : silence, now);
    }

    if (report) {
        EngineEvent e;
        e.type = EngineEvent::Type::Levels;
        e.inputLevel = m_mute ? kSilenceDb : level;
        e.outputLevel = m_outLevel;
        push(std::move(e));
    }
}

uint32_t Iax2Engine::Impl::nextVoiceTimestamp(Call &c, TimePoint now)
{
    const auto elapsed = uint32_t(std::chrono::duration_cast<Millis>(now - c.dialogue->start).count());
    if (!c.voiceClockStarted || elapsed > c.voiceTs + 200 || elapsed + 200 < c.voiceTs) {
        c.voiceTs = std::max<uint32_t>(elapsed / 20 * 20, c.voiceTs + 20);
        c.voiceClockStarted = true;
    } else {
        c.voiceTs += 20;
    }
    return c.voiceTs;
}

void Iax2Engine::Impl::sendComfortNoise(Call &c, TimePoint now)
{
    FullFrame f;
    f.type = FrameType::ComfortNoise;
    // The subclass is the background level in -dBov.
    f.subclass = uint32_t(std::clamp(m_audioFilters.noiseLevel(), 0, 127));
    f.timestamp = nextVoiceTimestamp(c, now);
    send(*c.dialogue, std::move(f), now);
    c.cngSent = true;
    // Voice after a silence starts with a full frame, so the peer resynchronises.
    c.fullVoiceSent = false;
}

void Iax2Engine::Impl::sendVoice(Call &c, const int16_t *pcm, TimePoint now)
{
    Dialogue &dlg = *c.dialogue;
    nextVoiceTimestamp(c, now);
    c.cngSent = false;
    std::vector<uint8_t> payload;
    c.encoder->encode(pcm, payload);
    ++c.stats.packetsOut;

    if (needsFullVoiceFrame(!c.fullVoiceSent, c.txFormat != c.format, c.lastVoiceTs, c.voiceTs)) {
        FullFrame f;
        f.type = FrameType::Voice;
        f.subclass = c.format;
        f.timestamp = c.voiceTs;
        f.payload = std::move(payload);
        send(dlg, std::move(f), now);
        c.fullVoiceSent = true;
        c.txFormat = c.format;
        c.lastVoiceTs = c.voiceTs;
        return;
    }
    MiniFrame m;
    m.sourceCall = dlg.localNo;
    m.timestamp = uint16_t(c.voiceTs);
    m.payload = std::move(payload);
    std::vector<uint8_t> bytes;
    encodeMiniFrame(m, bytes);
    sendRaw(bytes, dlg.peer);
}

// ---------------------------------------------------------------- attended transfer

bool Iax2Engine::Impl::transferIncludes(int callNo) const
{
    return m_transfer.active && (m_transfer.calls[0] == callNo || m_transfer.calls[1] == callNo);
}

void Iax2Engine::Impl::emitTransfer(int callNo, int otherCallNo, bool ok)
{
    EngineEvent e;
    e.type = EngineEvent::Type::Transfer;
    e.callNo = callNo;
    e.otherCallNo = otherCallNo;
    e.transferOk = ok;
    push(std::move(e));
}

void Iax2Engine::Impl::transferReady(int callNo, TimePoint now)
{
    const int side = m_transfer.calls[0] == callNo ? 0 : 1;
    m_transfer.ready[side] = true;
    if (!m_transfer.ready[0] || !m_transfer.ready[1])
        return;
    // Both peers reached each other: release them to the new path and leave.
    const int a = m_transfer.calls[0];
    const int b = m_transfer.calls[1];
    m_transfer = AttendedTransfer();
    Call &ca = m_calls[size_t(a)];
    Call &cb = m_calls[size_t(b)];
    sendIax(*ca.dialogue, Cmd::TxRel, IeList().addU16(Ie::CallNo, cb.dialogue->remoteNo), now);
    sendIax(*cb.dialogue, Cmd::TxRel, IeList().addU16(Ie::CallNo, ca.dialogue->remoteNo), now);
    log(TextStatus, "Calls " + std::to_string(a) + " and " + std::to_string(b) + " joined by an attended transfer");
    emitTransfer(a, b, true);
    emitTransfer(b, a, true);
    // The dialogues stay until the releases are acknowledged; no hang-up goes out.
    dropCall(a, std::string());
    dropCall(b, std::string());
}

void Iax2Engine::Impl::failTransfer(int rejectingCall, const std::string &why, TimePoint now)
{
    const AttendedTransfer t = m_transfer;
    m_transfer = AttendedTransfer();
    for (int callNo : t.calls) {
        Call *c = call(callNo);
        if (!c)
            continue;
        // Tell each peer still in it to stay on the path through us.
        if (callNo != rejectingCall && c->dialogue)
            sendIax(*c->dialogue, Cmd::TxRej, IeList().addU32(Ie::TransferId, t.id), now);
        c->state &= ~CallTransfer;
        emitState(callNo);
    }
    emitText(TextWarning, "The attended transfer failed: " + why);
    emitTransfer(t.calls[0], t.calls[1], false);
    emitTransfer(t.calls[1], t.calls[0], false);
}

// ---------------------------------------------------------------- call control

void Iax2Engine::Impl::startCall(int callNo, TimePoint now)
{
    Call &c = m_calls[size_t(callNo)];
    Dialogue &dlg = *c.dialogue;
    dlg.start = now;
    IeList ies;
    ies.addU16(Ie::Version, 2);
    ies.addString(Ie::CalledNumber, c.number);
    if (!m_callerNumber.empty())
        ies.addString(Ie::CallingNumber, m_callerNumber);
    if (!m_callerName.empty())
        ies.addString(Ie::CallingName, m_callerName);
    if (!c.account.user.empty())
        ies.addString(Ie::Username, c.account.user);
    const uint32_t capability = m_allowed & m_config.codecs.formats();
    ies.addU32(Ie::Format, chooseFormat(m_preferred, capability, capability, 0));
    ies.addU32(Ie::Capability, capability);
    openDialogue(dlg, Cmd::New, ies, now);
}

void Iax2Engine::Impl::startRegistration(Registration &reg, TimePoint now)
{
    retire(std::move(reg.dialogue));
    reg.dialogue = newDialogue();
    Dialogue &dlg = *reg.dialogue;
    dlg.localNo = allocateCallNo();
    dlg.peer = reg.address;
    dlg.start = now;
    reg.authAnswered = false;
    reg.awaitingReply = true;
    IeList ies;
    ies.addString(Ie::Username, reg.account.user);
    if (!reg.releasing)
        ies.addU16(Ie::Refresh, uint16_t(std::clamp(reg.account.refresh, kMinRefresh, 65535)));
    openDialogue(dlg, reg.releasing ? Cmd::RegRel : Cmd::RegReq, ies, now);
}

void Iax2Engine::Impl::endCall(int callNo, uint8_t command, const std::string &cause, uint8_t code, TimePoint now)
{
    Call &c = m_calls[size_t(callNo)];
    if (command && c.dialogue && !c.waitingForAddress) {
        IeList ies;
        ies.addString(Ie::Cause, cause).addU8(Ie::CauseCode, code);
        sendIax(*c.dialogue, command, ies, now);
    }
    dropCall(callNo, std::string());
}

void Iax2Engine::Impl::dropCall(int callNo, const std::string &why)
{
    if (transferIncludes(callNo))
        failTransfer(callNo, "a call ended", Clock::now());
    Call &c = m_calls[size_t(callNo)];
    if (!why.empty())
        log(TextStatus, "Call " + std::to_string(callNo) + " ended: " + why);
    retire(std::move(c.dialogue));
    c = Call();
    if (m_selected == callNo)
        m_selected = -1;
    emitState(callNo);
    updateAudio();
}

// ---------------------------------------------------------------- public API

Iax2Engine::Iax2Engine(Config config, AudioDevice *audio)
    : d(std::make_unique<Impl>(std::move(config), audio))
{
}

Iax2Engine::~Iax2Engine()
{
    stop();
    // The thread is gone; whatever it left running stops here.
    if (d->m_audio->isRunning())
        d->m_audio->stop();
}

bool Iax2Engine::isOpen() const
{
    return d->m_socket >= 0;
}

std::string Iax2Engine::error() const
{
    return d->m_error;
}

uint16_t Iax2Engine::localPort() const
{
    return d->m_localPort;
}

void Iax2Engine::setEventCallback(EventCallback callback)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_eventCallback = std::move(callback);
}

void Iax2Engine::setLogCallback(LogCallback callback)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_logCallback = std::move(callback);
}

bool Iax2Engine::start()
{
    if (!isOpen() || d->m_running)
        return false;
    if (d->m_thread.joinable())
        d->m_thread.join();
    d->m_stop = false;
    d->m_running = true;
    d->m_thread = std::thread([this] {
        d->run();
        d->m_running = false;
    });
    return true;
}

void Iax2Engine::stop()
{
    d->m_stop = true;
    d->wake();
    if (d->m_thread.joinable() && d->m_thread.get_id() != std::this_thread::get_id())
        d->m_thread.join();
}

bool Iax2Engine::isRunning() const
{
    return d->m_running;
}

int Iax2Engine::registerAccount(const Account &account)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    for (Registration &r : d->m_registrations) {
        if (r.used)
            continue;
        r = Registration();
        r.used = true;
        r.id = d->m_nextRegistrationId++;
        r.account = account;
        r.account.user = cleanText(account.user, 255);
        r.account.refresh = std::clamp(account.refresh, kMinRefresh, 65535);
        r.nextAttempt = Clock::now();
        if (numericAddress(account.host, account.port, r.address)) {
            r.haveAddress = true;
            d->startRegistration(r, Clock::now());
        } else {
            r.waitingForAddress = true;
        }
        d->wake();
        return r.id;
    }
    d->log(TextError, "No room for another registration");
    return -1;
}

void Iax2Engine::unregisterAccount(int id)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    for (Registration &r : d->m_registrations) {
        if (!r.used || r.id != id)
            continue;
        if (!r.haveAddress) {
            r = Registration();
            return;
        }
        r.releasing = true;
        r.retry = false;
        d->startRegistration(r, Clock::now());
        d->wake();
        return;
    }
}

void Iax2Engine::setCallerId(const std::string &name, const std::string &number)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_callerName = cleanText(name, 255);
    d->m_callerNumber = cleanText(number, 255);
}

int Iax2Engine::dial(const Account &account, const std::string &number)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    int slot = -1;
    for (size_t i = 0; i < d->m_calls.size(); ++i) {
        if (!d->m_calls[i].used) {
            slot = int(i);
            break;
        }
    }
    if (slot < 0)
        return -1;
    // An empty capability would only be refused by the PBX, less clearly.
    if (!d->m_allowed) {
        d->emitText(TextError, "No usable codec is allowed: the call cannot be placed");
        d->wake();
        return -1;
    }
    Call &c = d->m_calls[size_t(slot)];
    c = Call();
    c.used = true;
    c.state = CallActive | CallOutgoing;
    c.jitter.setTarget(d->m_config.jitterTargetMs);
    c.account = account;
    c.account.user = cleanText(account.user, 255);
    c.number = cleanText(number, 255);
    c.remoteNumber = c.number;
    c.dialogue = d->newDialogue();
    c.dialogue->localNo = d->allocateCallNo();
    const TimePoint now = Clock::now();
    c.nextPing = now + kPingInterval;
    c.nextStats = now + kStatsInterval;
    const int previous = d->m_selected;
    d->m_selected = slot;
    if (previous >= 0 && previous != slot)
        d->emitState(previous);
    d->emitState(slot);
    if (numericAddress(account.host, account.port, c.dialogue->peer))
        d->startCall(slot, now);
    else
        c.waitingForAddress = true;
    d->wake();
    return slot;
}

bool Iax2Engine::answer(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    Call *c = d->call(callNo);
    if (!c || !c->incoming || c->answered)
        return false;
    d->sendControl(*c->dialogue, Ctl::Answer, Clock::now());
    c->answered = true;
    c->state = (c->state & ~CallRinging) | CallComplete;
    c->jitter.reset();
    const int previous = d->m_selected;
    d->m_selected = callNo;
    if (previous >= 0 && previous != callNo)
        d->emitState(previous);
    d->emitState(callNo);
    d->updateAudio();
    d->wake();
    return true;
}

void Iax2Engine::selectCall(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    if (callNo != -1 && !d->call(callNo))
        return;
    const int previous = d->m_selected;
    if (previous == callNo)
        return;
    d->m_selected = callNo;
    if (previous >= 0 && d->call(previous))
        d->emitState(previous);
    if (callNo >= 0)
        d->emitState(callNo);
    d->wake();
}

int Iax2Engine::selectedCall() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_selected;
}

void Iax2Engine::reject(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    Call *c = d->call(callNo);
    if (!c)
        return;
    if (c->incoming && !c->answered)
        d->endCall(callNo, Cmd::Reject, "Call rejected", 21, Clock::now());
    else
        d->endCall(callNo, Cmd::Hangup, "Normal clearing", 16, Clock::now());
    d->wake();
}

void Iax2Engine::sendBusy(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    Call *c = d->call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return;
    const TimePoint now = Clock::now();
    d->sendControl(*c->dialogue, Ctl::Busy, now);
    c->state = (c->state & ~CallRinging) | CallBusy;
    // The PBX hangs up after a busy signal; if it does not, we do.
    c->busySent = true;
    c->busyDeadline = now + kBusyGrace;
    d->emitState(callNo);
    d->wake();
}

void Iax2Engine::hangup(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    if (!d->call(callNo))
        return;
    d->endCall(callNo, Cmd::Hangup, "Normal clearing", 16, Clock::now());
    d->wake();
}

void Iax2Engine::hangupAll()
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    for (size_t i = 0; i < d->m_calls.size(); ++i) {
        if (d->m_calls[i].used)
            d->endCall(int(i), Cmd::Hangup, "Normal clearing", 16, Clock::now());
    }
    d->wake();
}

bool Iax2Engine::quelch(int callNo, bool moh)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    Call *c = d->call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return false;
    IeList ies;
    if (moh)
        ies.addEmpty(Ie::MusicOnHold);
    d->sendIax(*c->dialogue, Cmd::Quelch, ies, Clock::now());
    c->heldByUs = true;
    d->wake();
    return true;
}

bool Iax2Engine::unquelch(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    Call *c = d->call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return false;
    d->sendIax(*c->dialogue, Cmd::Unquelch, IeList(), Clock::now());
    c->heldByUs = false;
    d->wake();
    return true;
}

bool Iax2Engine::sendDtmf(char digit, int callNo)
{
    if (digit >= 'a' && digit <= 'd')
        digit = char(digit - 'a' + 'A');
    const bool valid = (digit >= '0' && digit <= '9') || digit == '*' || digit == '#' || (digit >= 'A' && digit <= 'D');
    if (!valid)
        return false;
    std::lock_guard<std::mutex> lock(d->m_mutex);
    if (callNo == -1)
        callNo = d->m_selected;
    Call *c = d->call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return false;
    FullFrame f;
    f.type = FrameType::DtmfEnd;
    f.subclass = uint8_t(digit);
    d->send(*c->dialogue, std::move(f), Clock::now());
    d->wake();
    return true;
}

bool Iax2Engine::blindTransfer(int callNo, const std::string &number)
{
    const std::string target = cleanText(number, 255);
    if (target.empty())
        return false;
    std::lock_guard<std::mutex> lock(d->m_mutex);
    Call *c = d->call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return false;
    d->sendIax(*c->dialogue, Cmd::Transfer, IeList().addString(Ie::CalledNumber, target), Clock::now());
    c->state |= CallTransfer;
    d->emitState(callNo);
    d->wake();
    return true;
}

namespace {

std::string formatName(uint32_t format)
{
    switch (format) {
    case FormatGsm:
        return "GSM";
    case FormatUlaw:
        return "u-law";
    case FormatAlaw:
        return "a-law";
    case FormatSpeex:
        return "Speex";
    case FormatIlbc:
        return "iLBC";
    default:
        return "format " + std::to_string(format);
    }
}

} // namespace

bool Iax2Engine::attendedTransfer(int heldCall, int talkingCall)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    Call *held = d->call(heldCall);
    Call *talking = d->call(talkingCall);
    auto joinable = [](const Call *c) {
        return c && c->answered && c->dialogue && !c->waitingForAddress && c->dialogue->remoteNo != 0;
    };
    if (heldCall == talkingCall || !joinable(held) || !joinable(talking) || d->m_transfer.active)
        return false;
    const TimePoint now = Clock::now();
    auto &t = d->m_transfer;
    t = Impl::AttendedTransfer();
    t.active = true;
    t.calls[0] = heldCall;
    t.calls[1] = talkingCall;
    t.id = d->m_nextTransferId++;
    t.deadline = now + Millis(std::max(1, d->m_config.attendedTransferTimeoutMs));
    // Each peer learns where the other leg is and which call number it has there.
    auto request = [&](Call &to, const Call &other) {
        const std::vector<uint8_t> address = apparentAddress(other.dialogue->peer);
        IeList ies;
        ies.addBytes(Ie::ApparentAddr, address.data(), address.size());
        ies.addU16(Ie::CallNo, other.dialogue->remoteNo);
        ies.addU32(Ie::TransferId, t.id);
        d->sendIax(*to.dialogue, Cmd::TxReq, ies, now);
        to.state |= CallTransfer;
    };
    request(*held, *talking);
    request(*talking, *held);
    d->emitState(heldCall);
    d->emitState(talkingCall);
    d->log(TextStatus,
        "Attended transfer of calls " + std::to_string(heldCall) + " and " + std::to_string(talkingCall));
    d->wake();
    return true;
}

void Iax2Engine::setFormats(uint32_t preferred, uint32_t allowed)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    // iLBC has no library here; any other format without a codec is as absent.
    const uint32_t available = d->m_config.codecs.formats() & ~uint32_t(FormatIlbc);
    const uint32_t usable = allowed & available;
    const uint32_t missing = allowed & ~available;
    for (uint32_t bit = 1; bit && bit <= missing; bit <<= 1) {
        if (!(missing & bit))
            continue;
        const std::string text = "The " + formatName(bit) + " codec is not available here and is not offered";
        // Said aloud only when the user counted on it.
        if (preferred == bit || allowed == bit)
            d->emitText(TextWarning, text);
        else
            d->log(TextStatus, text);
    }
    d->m_allowed = usable;
    d->m_preferred = singleBit(preferred) && (preferred & usable) ? preferred : lowestBit(usable);
    if (!usable)
        d->emitText(TextError, "No usable codec is allowed: calls are refused until one is chosen");
    d->wake();
}

uint32_t Iax2Engine::allowedFormats() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_allowed;
}

uint32_t Iax2Engine::preferredFormat() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_preferred;
}

uint32_t Iax2Engine::availableFormats() const
{
    return d->m_config.codecs.formats();
}

void Iax2Engine::setFilters(int mask)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_filters = mask;
    d->m_audioFilters.setMask(mask);
}

int Iax2Engine::filters() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_filters;
}

void Iax2Engine::setSpeexSettings(const SpeexSettings &settings)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_speex = settings;
}

std::vector<AudioDeviceInfo> Iax2Engine::audioDevices() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_audio->devices();
}

bool Iax2Engine::selectAudioDevices(int input, int output, int ring)
{
    const std::vector<AudioDeviceInfo> devices = d->m_audio->devices();
    auto known = [&devices](int id, int capability) {
        if (id == -1)
            return true;
        return std::any_of(devices.begin(), devices.end(),
            [&](const AudioDeviceInfo &info) { return info.id == id && (info.capabilities & capability); });
    };
    const bool ok = known(input, AudioInput) && known(output, AudioOutput) && known(ring, AudioRing);
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_selectPending = true;
    d->m_selectIds[0] = input;
    d->m_selectIds[1] = output;
    d->m_selectIds[2] = ring;
    d->wake();
    return ok;
}

void Iax2Engine::setRingOptions(bool ringInBoth, bool muteRing)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_ringInBoth = ringInBoth;
    d->m_muteRing = muteRing;
    d->updateAudio();
}

void Iax2Engine::setInputLevel(float level)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_inputGain = std::clamp(level, 0.0f, 1.0f);
}

void Iax2Engine::setOutputLevel(float level)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_outputGain = std::clamp(level, 0.0f, 1.0f);
}

float Iax2Engine::inputLevel() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_inputGain;
}

float Iax2Engine::outputLevel() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_outputGain;
}

void Iax2Engine::setMicMute(bool mute)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_mute = mute;
}

bool Iax2Engine::micMute() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_mute;
}

int Iax2Engine::callSlots() const
{
    return int(d->m_calls.size());
}

int Iax2Engine::callState(int callNo) const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    if (callNo < 0 || callNo >= int(d->m_calls.size()) || !d->m_calls[size_t(callNo)].used)
        return CallFree;
    return d->m_calls[size_t(callNo)].state | (callNo == d->m_selected ? CallSelected : 0);
}

} // namespace iax2
