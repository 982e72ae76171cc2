#include "Iax2Engine.h"

#include "Frame.h"
#include "Md5.h"
#include "NullAudioDevice.h"
#include "Sequencer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace iax2 {

namespace {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Millis = std::chrono::milliseconds;

constexpr Millis kTick { 20 };
constexpr Millis kPingInterval { 5000 };
constexpr Millis kStatsInterval { 1000 };
constexpr Millis kBusyGrace { 10000 };
constexpr int kLevelTicks = 5;
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

float levelDb(const int16_t *pcm, int count)
{
    double sum = 0;
    for (int i = 0; i < count; ++i)
        sum += double(pcm[i]) * pcm[i];
    const double rms = std::sqrt(sum / count) / 32768.0;
    if (rms <= 0.0)
        return -99.0f;
    return float(std::max(-99.0, 20.0 * std::log10(rms)));
}

uint32_t lowestBit(uint32_t mask)
{
    return mask & (~mask + 1);
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
    std::vector<int16_t> playback;

    NetStats stats;
    double jitter = 0;
    int64_t lastTransit = 0;
    bool haveTransit = false;
    uint32_t pingTs = 0;
    bool pingOutstanding = false;
    TimePoint nextPing;
    TimePoint nextStats;
    TimePoint busyDeadline;
    bool busySent = false;
};

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
    void sendVoice(Call &call, const int16_t *pcm, TimePoint now);

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
    int m_levelCountdown = kLevelTicks;
    float m_inLevel = -99.0f;
    float m_outLevel = -99.0f;
};

Iax2Engine::Impl::Impl(Config config, AudioDevice *audio)
    : m_config(std::move(config))
    , m_audio(audio ? audio : &m_nullAudio)
{
    m_calls.resize(size_t(std::max(1, m_config.callSlots)));
    m_registrations.resize(size_t(std::max(1, m_config.maxRegistrations)));
    m_nextCallNo = uint16_t(1 + (Clock::now().time_since_epoch().count() % kMaxCallNumber));

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
        dispatch();
    }
    dispatch();
    m_wantAudio = false;
    applyAudio();
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
    if (frame.type != FrameType::Voice && !frame.isIax(Cmd::Ack) && !frame.isIax(Cmd::Pong) && !frame.isIax(Cmd::LagRp))
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
    const uint32_t format = chooseFormat(m_preferred, m_allowed & m_config.codecs.formats(), capability, peerFormat);
    if (!format) {
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
    case Cmd::Transfer:
    case Cmd::Unsupport:
    case Cmd::Poke:
    case Cmd::TxCnt:
    case Cmd::TxAcc:
    case Cmd::TxReady:
    case Cmd::TxRel:
    case Cmd::TxRej:
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
    }
    const int64_t arrival = std::chrono::duration_cast<Millis>(now - c.dialogue->start).count();
    if (c.rxStarted) {
        if (timestamp < c.rxTs) {
            ++c.stats.outOfOrder;
        } else if (timestamp > c.rxTs) {
            const uint32_t gap = (timestamp - c.rxTs) / 20;
            if (gap > 1 && gap < 500)
                c.stats.lost += gap - 1;
        }
        const int64_t transit = arrival - int64_t(timestamp);
        if (c.haveTransit)
            c.jitter += (std::abs(double(transit - c.lastTransit)) - c.jitter) / 16.0;
        c.lastTransit = transit;
        c.haveTransit = true;
    }
    if (!c.rxStarted || timestamp >= c.rxTs)
        c.rxTs = timestamp;
    c.rxStarted = true;
    ++c.stats.packetsIn;
    c.stats.jitterMs = int(c.jitter + 0.5);

    std::vector<int16_t> pcm;
    if (!c.decoder->decode(payload.data(), payload.size(), pcm))
        return;
    const int callNo = int(&c - m_calls.data());
    if (callNo != m_selected || c.heldByUs || !c.answered)
        return;
    c.playback.insert(c.playback.end(), pcm.begin(), pcm.end());
    // Without a jitter buffer, playback is whatever arrived; bound what waits.
    if (c.playback.size() > size_t(Codec::kFrameSamples) * 50)
        c.playback.erase(c.playback.begin(), c.playback.end() - Codec::kFrameSamples * 50);
    while (c.playback.size() >= size_t(Codec::kFrameSamples)) {
        int16_t frame[Codec::kFrameSamples];
        for (int i = 0; i < Codec::kFrameSamples; ++i) {
            const float v = c.playback[size_t(i)] * m_outputGain;
            frame[i] = int16_t(std::clamp(v, -32768.0f, 32767.0f));
        }
        c.playback.erase(c.playback.begin(), c.playback.begin() + Codec::kFrameSamples);
        m_outLevel = levelDb(frame, Codec::kFrameSamples);
        if (m_audio->isRunning())
            m_audio->writeFrame(frame);
    }
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
    for (const Call &c : m_calls)
        anyCall = anyCall || (c.used && c.answered);
    // Starting a sound card can take a while: the processing thread does it
    // without the lock.
    m_wantAudio = anyCall;
    wake();
}

void Iax2Engine::Impl::applyAudio()
{
    const bool want = m_wantAudio;
    if (want && !m_audio->isRunning()) {
        if (!m_audio->start()) {
            std::lock_guard<std::mutex> lock(m_mutex);
            emitText(TextError, "Cannot start the sound device");
        }
    } else if (!want && m_audio->isRunning()) {
        m_audio->stop();
    }
}

void Iax2Engine::Impl::mediaTick(TimePoint now)
{
    if (!m_audio->isRunning())
        return;
    int16_t captured[Codec::kFrameSamples];
    if (!m_audio->readFrame(captured))
        std::fill(std::begin(captured), std::end(captured), int16_t(0));
    for (int16_t &s : captured)
        s = int16_t(std::clamp(s * m_inputGain, -32768.0f, 32767.0f));
    m_inLevel = levelDb(captured, Codec::kFrameSamples);
    static const int16_t silence[Codec::kFrameSamples] = {};

    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (!c.used || !c.answered || !c.encoder || c.heldByUs || c.quelchedByPeer)
            continue;
        const bool live = int(i) == m_selected && !m_mute;
        sendVoice(c, live ? captured : silence, now);
    }

    if (--m_levelCountdown <= 0) {
        m_levelCountdown = kLevelTicks;
        EngineEvent e;
        e.type = EngineEvent::Type::Levels;
        e.inputLevel = m_mute ? -99.0f : m_inLevel;
        e.outputLevel = m_outLevel;
        push(std::move(e));
        m_outLevel = -99.0f;
    }
}

void Iax2Engine::Impl::sendVoice(Call &c, const int16_t *pcm, TimePoint now)
{
    Dialogue &dlg = *c.dialogue;
    const auto elapsed = uint32_t(std::chrono::duration_cast<Millis>(now - dlg.start).count());
    if (!c.voiceClockStarted || elapsed > c.voiceTs + 200 || elapsed + 200 < c.voiceTs) {
        c.voiceTs = std::max<uint32_t>(elapsed / 20 * 20, c.voiceTs + 20);
        c.voiceClockStarted = true;
    } else {
        c.voiceTs += 20;
    }
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
    Call &c = d->m_calls[size_t(slot)];
    c = Call();
    c.used = true;
    c.state = CallActive | CallOutgoing;
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

void Iax2Engine::setFormats(uint32_t preferred, uint32_t allowed)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_allowed = allowed;
    d->m_preferred = preferred;
}

uint32_t Iax2Engine::availableFormats() const
{
    return d->m_config.codecs.formats();
}

void Iax2Engine::setFilters(int mask)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_filters = mask;
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
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_audio->select(input, output, ring);
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
