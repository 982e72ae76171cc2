#pragma once

// The engine's media half: every call's codecs, jitter buffer and voice clock,
// the capture filters, the level meters and the ring tone. It belongs to the
// processing thread alone and runs outside the signalling lock, so nothing
// that waits for that lock ever waits for DSP. What it needs of the calls is
// copied in under the lock (MediaInput); what it produces (voice to send,
// levels, log lines) is handed back the same way (MediaOutput).

#include "iax2/CodecRegistry.h"
#include "iax2/media/AudioDevice.h"
#include "iax2/media/AudioFilters.h"
#include "iax2/media/AudioLevel.h"
#include "iax2/media/JitterBuffer.h"
#include "iax2/media/RingTone.h"

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace iax2 {

struct VoicePacket
{
    uint32_t timestamp = 0;
    uint32_t format = 0;
    std::vector<uint8_t> payload;
};

// One answered call as the media tick sees it.
struct MediaCallView
{
    int callNo = -1;
    uint64_t generation = 0; // a new value for every call a slot carries
    uint32_t format = 0;
    bool selected = false;
    bool heldByUs = false;
    bool quelchedByPeer = false;
    // The peer is silent on purpose, at this level (-dBov).
    bool rxSilent = false;
    int rxNoiseLevel = 127;
    std::chrono::steady_clock::time_point start; // of the dialogue: the voice clock's zero
    std::vector<VoicePacket> voiceIn; // received since the last tick, in arrival order
};

struct MediaInput
{
    std::vector<MediaCallView> calls;
    bool ringing = false;
    bool ringInBoth = false;
    bool muteRing = false;
    int filters = 0;
    float inputGain = 1.0f;
    float outputGain = 1.0f;
    bool mute = false;
    SpeexSettings speex;
};

struct OutgoingVoice
{
    int callNo = -1;
    uint64_t generation = 0;
    bool comfortNoise = false; // subclass is then the noise level
    bool full = false; // a full frame; otherwise a mini frame
    uint32_t subclass = 0;
    uint32_t timestamp = 0;
    std::vector<uint8_t> payload;
};

struct MediaOutput
{
    std::vector<OutgoingVoice> frames;
    bool haveLevels = false;
    float inputLevel = kSilenceDb;
    float outputLevel = kSilenceDb;
    std::vector<std::string> logs;
};

class MediaPath
{
public:
    MediaPath(const CodecRegistry &codecs, AudioDevice &audio, int callSlots, int jitterTargetMs);

    // One 20 ms tick at now. Takes the received voice out of input.
    void tick(MediaInput &input, std::chrono::steady_clock::time_point now, MediaOutput &output);

private:
    struct CallMedia
    {
        uint64_t generation = 0;
        std::unique_ptr<Codec> encoder;
        uint32_t encoderFormat = 0;
        std::unique_ptr<Codec> decoder;
        uint32_t rxFormat = 0;
        JitterBuffer jitter;
        bool corruptLogged = false;
        uint32_t noiseSeed = 0x1234567;
        // Sending: the voice clock, and where the stream stands.
        uint32_t voiceTs = 0;
        uint32_t lastVoiceTs = 0;
        bool voiceClockStarted = false;
        bool fullVoiceSent = false;
        uint32_t txFormat = 0;
        bool cngSent = false;
    };

    void sync(MediaInput &input, MediaOutput &output);
    bool ringTick(const MediaInput &input, int16_t *frame);
    void playout(CallMedia &media, const MediaCallView &view, int16_t *frame);
    uint32_t nextVoiceTimestamp(CallMedia &media, const MediaCallView &view, std::chrono::steady_clock::time_point now);
    void sendVoice(CallMedia &media, const MediaCallView &view, const int16_t *pcm,
        std::chrono::steady_clock::time_point now, MediaOutput &output);
    void sendComfortNoise(
        CallMedia &media, const MediaCallView &view, std::chrono::steady_clock::time_point now, MediaOutput &output);

    const CodecRegistry &m_codecs;
    AudioDevice &m_audio;
    int m_jitterTargetMs;
    std::vector<CallMedia> m_calls; // by call slot
    std::vector<bool> m_live;
    SpeexSettings m_speex;

    AudioFilters m_filters;
    LevelMeter m_inMeter;
    LevelMeter m_outMeter;
    float m_outLevel = kSilenceDb;
    bool m_audioWasRunning = false;

    RingTone m_ringTone;
    bool m_ringing = false;
};

} // namespace iax2
