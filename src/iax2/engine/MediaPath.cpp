#include "iax2/engine/MediaPath.h"

#include "iax2/Frame.h"

#include <algorithm>
#include <cmath>

namespace iax2 {

namespace {

using Millis = std::chrono::milliseconds;
constexpr int kFrame = Codec::kFrameSamples;

void mixInto(int16_t *frame, const int16_t *other)
{
    for (int i = 0; i < kFrame; ++i)
        frame[i] = int16_t(std::clamp(int(frame[i]) + int(other[i]), -32768, 32767));
}

} // namespace

MediaPath::MediaPath(const CodecRegistry &codecs, AudioDevice &audio, int callSlots, int jitterTargetMs)
    : m_codecs(codecs)
    , m_audio(audio)
    , m_jitterTargetMs(jitterTargetMs)
    , m_calls(size_t(std::max(1, callSlots)))
{
}

void MediaPath::sync(MediaInput &input, MediaOutput &output)
{
    m_speex = input.speex;
    if (m_filters.mask() != input.filters)
        m_filters.setMask(input.filters);

    m_live.assign(m_calls.size(), false);
    for (MediaCallView &view : input.calls) {
        if (view.callNo < 0 || size_t(view.callNo) >= m_calls.size())
            continue;
        m_live[size_t(view.callNo)] = true;
        CallMedia &m = m_calls[size_t(view.callNo)];
        if (m.generation != view.generation) {
            m = CallMedia();
            m.generation = view.generation;
            m.jitter.setTarget(m_jitterTargetMs);
            m.rxFormat = view.format;
        }
        if (!m.encoder || m.encoderFormat != view.format) {
            m.encoder = m_codecs.create(view.format, m_speex);
            m.encoderFormat = view.format;
        }
        for (VoicePacket &packet : view.voiceIn) {
            if (packet.format != m.rxFormat || !m.decoder) {
                auto decoder = m_codecs.create(packet.format, m_speex);
                if (!decoder)
                    continue;
                m.decoder = std::move(decoder);
                m.rxFormat = packet.format;
                // What waits in the buffer is in the old format.
                m.jitter.reset();
            }
            m.jitter.put(packet.timestamp, packet.payload.data(), packet.payload.size());
        }
        view.voiceIn.clear();
        if (!m.decoder)
            m.decoder = m_codecs.create(m.rxFormat, m_speex);
        if (m.jitter.stats().malformed && !m.corruptLogged) {
            m.corruptLogged = true;
            output.logs.push_back("Call " + std::to_string(view.callNo)
                + ": the peer sends voice that cannot be decoded; such frames are dropped");
        }
    }
    // Ended or no longer answered: its codecs go.
    for (size_t i = 0; i < m_calls.size(); ++i) {
        if (!m_live[i] && m_calls[i].generation)
            m_calls[i] = CallMedia();
    }
}

bool MediaPath::ringTick(const MediaInput &input, int16_t *frame)
{
    if (!input.ringing) {
        if (m_ringing) {
            m_ringing = false;
            m_audio.stopRing();
        }
        return false;
    }
    if (!m_ringing) {
        m_ringing = true;
        m_ringTone.reset();
    }
    m_ringTone.nextFrame(frame);
    const bool running = m_audio.isRunning();
    // The ring device is the speaker of the running call stream: the tone goes
    // there once, mixed in, whichever option asked for it.
    if (running && m_audio.ringSharesOutput())
        return input.ringInBoth || !input.muteRing;
    if (!input.muteRing)
        m_audio.writeRingFrame(frame);
    return input.ringInBoth && running;
}

void MediaPath::playout(CallMedia &m, const MediaCallView &view, int16_t *frame)
{
    const uint64_t concealed = m.jitter.stats().concealed;
    const bool playing = m.jitter.get(*m.decoder, frame);
    const bool filler = !playing || m.jitter.stats().concealed != concealed;
    if (!view.rxSilent || !filler)
        return;
    // The peer is silent on purpose: its background noise, not a codec's
    // guess at a lost frame or dead silence.
    const float rms = 32767.0f * std::pow(10.0f, -float(view.rxNoiseLevel) / 20.0f);
    const float amplitude = rms * 1.7320508f; // uniform noise: rms = amplitude / sqrt(3)
    for (int i = 0; i < kFrame; ++i) {
        m.noiseSeed = m.noiseSeed * 1664525u + 1013904223u;
        const float u = float(m.noiseSeed >> 8) / float(1u << 24) * 2.0f - 1.0f;
        frame[i] = int16_t(std::clamp(u * amplitude, -32768.0f, 32767.0f));
    }
}

void MediaPath::tick(MediaInput &input, std::chrono::steady_clock::time_point now, MediaOutput &output)
{
    sync(input, output);
    int16_t ring[kFrame];
    const bool ringToOutput = ringTick(input, ring);
    if (!m_audio.isRunning()) {
        m_audioWasRunning = false;
        return;
    }
    if (!m_audioWasRunning) {
        // A new conversation: the echo path and the room may be new too.
        m_audioWasRunning = true;
        m_filters.reset();
        m_inMeter.reset();
        m_outMeter.reset();
    }

    // Playout: every answered call's buffer moves on one frame, so each stays in
    // step with its sender; only the selected call's frame is heard.
    int16_t speaker[kFrame] = {};
    for (const MediaCallView &view : input.calls) {
        CallMedia &m = m_calls[size_t(view.callNo)];
        if (!m.decoder)
            continue;
        int16_t frame[kFrame];
        playout(m, view, frame);
        if (view.selected && !view.heldByUs)
            std::copy(frame, frame + kFrame, speaker);
    }
    applyGain(speaker, kFrame, input.outputGain);
    if (ringToOutput)
        mixInto(speaker, ring);
    m_audio.writeFrame(speaker);
    m_filters.playback(speaker);
    float level = kSilenceDb;
    if (m_outMeter.add(speaker, kFrame, &level))
        m_outLevel = level;

    int16_t mic[kFrame];
    if (!m_audio.readFrame(mic))
        std::fill(std::begin(mic), std::end(mic), int16_t(0));
    applyGain(mic, kFrame, input.inputGain);
    const bool voice = m_filters.capture(mic);
    const bool report = m_inMeter.add(mic, kFrame, &level);
    static const int16_t kSilence[kFrame] = {};
    const bool comfortNoise = input.filters & FilterComfortNoise;
    for (const MediaCallView &view : input.calls) {
        CallMedia &m = m_calls[size_t(view.callNo)];
        if (!m.encoder || view.heldByUs || view.quelchedByPeer)
            continue;
        const bool live = view.selected && !input.mute;
        if (comfortNoise && !(live && voice)) {
            // One comfort-noise frame starts a silence; nothing more until voice.
            if (!m.cngSent)
                sendComfortNoise(m, view, now, output);
            continue;
        }
        sendVoice(m, view, live ? mic : kSilence, now, output);
    }

    if (report) {
        output.haveLevels = true;
        output.inputLevel = input.mute ? kSilenceDb : level;
        output.outputLevel = m_outLevel;
    }
}

uint32_t MediaPath::nextVoiceTimestamp(
    CallMedia &m, const MediaCallView &view, std::chrono::steady_clock::time_point now)
{
    const auto elapsed = uint32_t(std::chrono::duration_cast<Millis>(now - view.start).count());
    if (!m.voiceClockStarted || elapsed > m.voiceTs + 200 || elapsed + 200 < m.voiceTs) {
        m.voiceTs = std::max<uint32_t>(elapsed / 20 * 20, m.voiceTs + 20);
        m.voiceClockStarted = true;
    } else {
        m.voiceTs += 20;
    }
    return m.voiceTs;
}

void MediaPath::sendComfortNoise(
    CallMedia &m, const MediaCallView &view, std::chrono::steady_clock::time_point now, MediaOutput &output)
{
    OutgoingVoice f;
    f.callNo = view.callNo;
    f.generation = view.generation;
    f.comfortNoise = true;
    f.full = true;
    // The subclass is the background level in -dBov.
    f.subclass = uint32_t(std::clamp(m_filters.noiseLevel(), 0, 127));
    f.timestamp = nextVoiceTimestamp(m, view, now);
    output.frames.push_back(std::move(f));
    m.cngSent = true;
    // Voice after a silence starts with a full frame, so the peer resynchronises.
    m.fullVoiceSent = false;
}

void MediaPath::sendVoice(CallMedia &m, const MediaCallView &view, const int16_t *pcm,
    std::chrono::steady_clock::time_point now, MediaOutput &output)
{
    nextVoiceTimestamp(m, view, now);
    m.cngSent = false;
    OutgoingVoice f;
    f.callNo = view.callNo;
    f.generation = view.generation;
    f.subclass = view.format;
    f.timestamp = m.voiceTs;
    m.encoder->encode(pcm, f.payload);
    f.full = needsFullVoiceFrame(!m.fullVoiceSent, m.txFormat != view.format, m.lastVoiceTs, m.voiceTs);
    if (f.full) {
        m.fullVoiceSent = true;
        m.txFormat = view.format;
        m.lastVoiceTs = m.voiceTs;
    }
    output.frames.push_back(std::move(f));
}

} // namespace iax2
