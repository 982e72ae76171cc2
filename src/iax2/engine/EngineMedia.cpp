// The hand-over between the signalling half and MediaPath: received voice is
// queued on its call under the lock; once per cycle the media tick takes a
// copy of what it needs, runs its DSP without the lock, and hands back the
// frames to send.

#include "iax2/engine/EngineImpl.h"

#include "iax2/engine/EngineUtil.h"

#include <algorithm>
#include <cmath>

namespace iax2 {

namespace {

// A call's queue holds what arrives between two ticks; a flood beyond that is dropped.
constexpr size_t kMaxQueuedVoice = 50;
constexpr int kMaxCatchUpTicks = 10;

bool isRinging(const Call &c)
{
    return c.used && c.incoming && !c.answered && (c.state & CallRinging) && !(c.state & CallBusy);
}

} // namespace

void Iax2Engine::Impl::handleVoice(
    Call &c, uint32_t timestamp, uint32_t format, std::vector<uint8_t> &&payload, TimePoint now)
{
    if (format != c.rxFormat) {
        if (!codecAvailable(format)) {
            log(TextWarning, "Voice in an unsupported format " + std::to_string(format));
            return;
        }
        c.rxFormat = format;
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
            c.jitterEstimate += (std::abs(double(transit - c.lastTransit)) - c.jitterEstimate) / 16.0;
        c.lastTransit = transit;
        c.haveTransit = true;
    }
    if (!c.rxStarted || timestamp >= c.rxTs)
        c.rxTs = timestamp;
    c.rxStarted = true;
    ++c.stats.packetsIn;
    c.stats.jitterMs = int(c.jitterEstimate + 0.5);
    if (c.rxSilent && int32_t(timestamp - c.rxCngTs) >= 0)
        c.rxSilent = false;
    // Before the answer nothing plays; a buffer filled then would only add delay.
    if (c.answered && c.voiceIn.size() < kMaxQueuedVoice)
        c.voiceIn.push_back(VoicePacket { timestamp, format, std::move(payload) });
}

void Iax2Engine::Impl::handleComfortNoise(Call &c, const FullFrame &frame)
{
    // The peer stops sending voice until it speaks again; its level fills the gap.
    c.rxSilent = true;
    c.rxCngTs = frame.timestamp;
    // Background noise is never loud: a level above -30 dBov is taken as -30.
    c.rxNoiseLevel = int(std::clamp<uint32_t>(frame.subclass, 30, 127));
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

void Iax2Engine::Impl::collectMedia(MediaInput &input)
{
    // The views are reused, and the packet queues swap between a view and its
    // call, so that in the steady state nothing is allocated here.
    size_t views = 0;
    input.ringing = false;
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        input.ringing = input.ringing || isRinging(c);
        if (!c.used || !c.answered || !c.format || !c.dialogue)
            continue;
        if (views == input.calls.size())
            input.calls.emplace_back();
        MediaCallView &view = input.calls[views++];
        view.callNo = int(i);
        view.generation = c.generation;
        view.format = c.format;
        view.selected = int(i) == m_selected;
        view.heldByUs = c.heldByUs;
        view.quelchedByPeer = c.quelchedByPeer;
        view.rxSilent = c.rxSilent;
        view.rxNoiseLevel = c.rxNoiseLevel;
        view.start = c.dialogue->start;
        view.voiceIn.clear();
        view.voiceIn.swap(c.voiceIn);
    }
    input.calls.resize(views);
    input.ringInBoth = m_ringInBoth;
    input.muteRing = m_muteRing;
    input.filters = m_filters;
    input.inputGain = m_inputGain;
    input.outputGain = m_outputGain;
    input.mute = m_mute;
    input.speex = m_speex;
}

void Iax2Engine::Impl::deliverMedia(
    MediaOutput &output, std::vector<std::pair<std::vector<uint8_t>, sockaddr_in>> &minis)
{
    const TimePoint now = clockNow();
    for (OutgoingVoice &f : output.frames) {
        Call *c = call(f.callNo);
        // The call ended or its slot was taken again while the tick ran.
        if (!c || c->generation != f.generation || !c->dialogue)
            continue;
        if (!f.comfortNoise)
            ++c->stats.packetsOut;
        if (f.full) {
            // Mini frames queued before it stay before it on the wire.
            for (const auto &mini : minis)
                sendRaw(mini.first, mini.second);
            minis.clear();
            FullFrame frame;
            frame.type = f.comfortNoise ? FrameType::ComfortNoise : FrameType::Voice;
            frame.subclass = f.subclass;
            frame.timestamp = f.timestamp;
            frame.payload = std::move(f.payload);
            send(*c->dialogue, std::move(frame), now);
            continue;
        }
        MiniFrame m;
        m.sourceCall = c->dialogue->localNo;
        m.timestamp = uint16_t(f.timestamp);
        m.payload = std::move(f.payload);
        minis.emplace_back();
        encodeMiniFrame(m, minis.back().first);
        minis.back().second = c->dialogue->peer;
    }
    if (output.haveLevels)
        push(LevelsEvent { output.inputLevel, output.outputLevel });
    for (const std::string &line : output.logs)
        log(TextWarning, line);
}

void Iax2Engine::Impl::mediaTicks()
{
    const TimePoint now = clockNow();
    if (now < m_nextTick)
        return;
    // Reused from tick to tick, so the steady state allocates little.
    MediaInput &input = m_mediaInput;
    MediaOutput &output = m_mediaOutput;
    output.frames.clear();
    output.logs.clear();
    output.haveLevels = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        collectMedia(input);
    }
    int ticks = 0;
    while (now >= m_nextTick) {
        m_media.tick(input, m_nextTick, output);
        m_nextTick += kTick;
        // After a stall, resume the clock instead of sending a burst.
        if (++ticks > kMaxCatchUpTicks) {
            m_nextTick = now + kTick;
            break;
        }
    }
    m_minis.clear();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        deliverMedia(output, m_minis);
    }
    // Mini frames need no sequencing: they go out after the lock.
    for (const auto &mini : m_minis)
        sendRaw(mini.first, mini.second);
}

} // namespace iax2
