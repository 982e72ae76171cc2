#pragma once

#include "iax2/media/FilterBits.h"

#include <cstdint>

struct SpeexPreprocessState_;
struct SpeexEchoState_;

namespace iax2 {


// The capture-side filters of one audio path (8 kHz, frames of 160 samples):
// echo cancellation against what the speaker plays, a slow software input gain
// standing in for a mixer's analog gain, the speexdsp preprocessor for denoise
// and automatic gain control, and a voice activity detector for comfort noise.
// (speexdsp's own detector calls nearly any background voice, so it is not used.)
// Not thread-safe: the engine's processing thread calls everything.
class AudioFilters
{
public:
    static constexpr int kFrameSamples = 160;
    static constexpr int kSampleRate = 8000;
    static constexpr int kEchoTailSamples = 1600; // 200 ms of room and device delay

    AudioFilters();
    ~AudioFilters();
    AudioFilters(const AudioFilters &) = delete;
    AudioFilters &operator=(const AudioFilters &) = delete;

    // Takes the mask unchanged; bits this class does not know are kept but ignored.
    void setMask(int mask);
    int mask() const { return m_mask; }

    // One frame of the far end's voice as it goes to the speaker: the echo reference.
    void playback(const int16_t *frame);
    // Filters one captured frame in place. Returns false when comfort noise is on
    // and the frame is silence, so the engine sends a comfort-noise frame instead.
    bool capture(int16_t *frame);

    // Background level in -dBov (0 loudest, 127 silence), the value a
    // comfort-noise frame carries.
    int noiseLevel() const { return m_noiseLevel; }
    // Current software input gain of the analog gain control, as a factor.
    float inputGain() const { return m_inputGain; }

    // Forgets all adaptation (a new call).
    void reset();

private:
    void configure();
    void applyInputGain(int16_t *frame);
    bool detectVoice(const int16_t *frame);

    int m_mask = 0;
    SpeexPreprocessState_ *m_preprocess = nullptr;
    SpeexEchoState_ *m_echo = nullptr;

    // Reference frames waiting for their captured counterpart; fixed size, so the
    // echo path needs no allocation per frame.
    static constexpr int kReferenceFrames = 16;
    int16_t m_reference[kReferenceFrames][kFrameSamples] = {};
    int m_referenceRead = 0;
    int m_referenceCount = 0;

    float m_inputGain = 1.0f;
    int m_noiseLevel = 127;

    // Background level: the quietest frame (dBFS) of the last 1.5 s. Speech has
    // pauses between syllables, so the minimum finds the room even while talking.
    class NoiseFloor
    {
    public:
        float push(const int16_t *frame); // returns the frame's level
        float floor() const;
        void reset() { m_count = m_pos = 0; }
        int frames() const { return m_count; }

    private:
        static constexpr int kHistoryFrames = 75;
        float m_levels[kHistoryFrames] = {};
        int m_count = 0;
        int m_pos = 0;
    };
    NoiseFloor m_inputFloor; // microphone as it comes, for the soft gain
    NoiseFloor m_outputFloor; // filtered, for voice detection
    int m_hangover = 0;
};

} // namespace iax2
