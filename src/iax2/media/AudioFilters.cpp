#include "iax2/media/AudioFilters.h"

#include "iax2/media/AudioLevel.h"

#include <speex/speex_echo.h>
#include <speex/speex_preprocess.h>

#include <algorithm>
#include <cmath>

namespace iax2 {

namespace {
// Soft input gain: aims speech at about -20 dBFS, moving at most 3 dB per second
// (0.06 dB per frame) so it never pumps with syllables.
// Only frames well above the room's background count as speech, so the gain
// never creeps up on a quiet room's hiss.
constexpr float kSpeechTargetRms = 3300.0f;
constexpr float kSpeechFloorRms = 60.0f;
constexpr float kSpeechAboveNoiseDb = 9.0f;
constexpr float kStepDb = 0.06f;
constexpr float kMinGain = 0.25f;
constexpr float kMaxGain = 8.0f;

// Voice detection: a frame is voice when it stands this far above the background;
// a talk spurt keeps going for the hangover so word endings are not cut.
constexpr float kVoiceAboveNoiseDb = 6.0f;
constexpr float kDigitalSilenceDb = -65.0f;
constexpr int kHangoverFrames = 8;
constexpr int kWarmUpFrames = 5;

float rms(const int16_t *frame, int n)
{
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
        sum += double(frame[i]) * frame[i];
    return static_cast<float>(std::sqrt(sum / n));
}
} // namespace

float AudioFilters::NoiseFloor::push(const int16_t *frame)
{
    const float level = levelDb(frame, kFrameSamples);
    m_levels[m_pos] = level;
    m_pos = (m_pos + 1) % kHistoryFrames;
    m_count = std::min(m_count + 1, kHistoryFrames);
    return level;
}

float AudioFilters::NoiseFloor::floor() const
{
    return m_count ? *std::min_element(m_levels, m_levels + m_count) : kSilenceDb;
}

AudioFilters::AudioFilters()
    : m_preprocess(speex_preprocess_state_init(kFrameSamples, kSampleRate))
{
    configure();
}

AudioFilters::~AudioFilters()
{
    if (m_preprocess)
        speex_preprocess_state_destroy(m_preprocess);
    if (m_echo)
        speex_echo_state_destroy(m_echo);
}

void AudioFilters::setMask(int mask)
{
    const bool echoWasOn = m_mask & FilterEchoCancel;
    m_mask = mask;
    // A canceller switched back on starts afresh: the room it learnt may be another.
    if ((m_mask & FilterEchoCancel) && !echoWasOn) {
        m_referenceCount = 0;
        if (m_echo)
            speex_echo_state_reset(m_echo);
    }
    configure();
}

void AudioFilters::configure()
{
    if ((m_mask & FilterEchoCancel) && !m_echo) {
        m_echo = speex_echo_state_init(kFrameSamples, kEchoTailSamples);
        int rate = kSampleRate;
        speex_echo_ctl(m_echo, SPEEX_ECHO_SET_SAMPLING_RATE, &rate);
    }
    int denoise = (m_mask & FilterDenoise) ? 1 : 0;
    int agc = (m_mask & FilterAgc) ? 1 : 0;
    speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_DENOISE, &denoise);
    speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_AGC, &agc);
    // The preprocessor also removes the echo the canceller leaves behind.
    speex_preprocess_ctl(m_preprocess, SPEEX_PREPROCESS_SET_ECHO_STATE, (m_mask & FilterEchoCancel) ? m_echo : nullptr);
}

void AudioFilters::playback(const int16_t *frame)
{
    if (!(m_mask & FilterEchoCancel))
        return;
    // When capture stalls, the oldest reference goes: it is beyond the tail anyway.
    if (m_referenceCount == kReferenceFrames) {
        m_referenceRead = (m_referenceRead + 1) % kReferenceFrames;
        --m_referenceCount;
    }
    const int slot = (m_referenceRead + m_referenceCount) % kReferenceFrames;
    std::copy(frame, frame + kFrameSamples, m_reference[slot]);
    ++m_referenceCount;
}

bool AudioFilters::capture(int16_t *frame)
{
    if (m_mask & FilterEchoCancel) {
        static const int16_t kSilence[kFrameSamples] = {};
        const int16_t *reference = kSilence;
        if (m_referenceCount > 0) {
            reference = m_reference[m_referenceRead];
            m_referenceRead = (m_referenceRead + 1) % kReferenceFrames;
            --m_referenceCount;
        }
        int16_t cleaned[kFrameSamples];
        speex_echo_cancellation(m_echo, frame, reference, cleaned);
        std::copy(cleaned, cleaned + kFrameSamples, frame);
    }
    if (m_mask & FilterAnalogAgc) {
        m_inputFloor.push(frame);
        applyInputGain(frame);
    }

    if (m_mask & (FilterDenoise | FilterAgc | FilterEchoCancel))
        speex_preprocess_run(m_preprocess, frame);
    // Detect on the cleaned frame: denoise widens the gap between voice and background.
    return (m_mask & FilterComfortNoise) ? detectVoice(frame) : true;
}

bool AudioFilters::detectVoice(const int16_t *frame)
{
    const float energy = m_outputFloor.push(frame);
    const float background = m_outputFloor.floor();
    m_noiseLevel = std::clamp(int(std::lround(-background)), 0, 127);

    if (energy < kDigitalSilenceDb) {
        m_hangover = 0;
        return false;
    }
    // Until there is some history, send everything rather than clip a first word.
    if (m_outputFloor.frames() < kWarmUpFrames || energy > background + kVoiceAboveNoiseDb) {
        m_hangover = kHangoverFrames;
        return true;
    }
    if (m_hangover > 0) {
        --m_hangover;
        return true;
    }
    return false;
}

void AudioFilters::applyInputGain(int16_t *frame)
{
    const float before = m_inputGain;
    const float level = rms(frame, kFrameSamples);
    const bool speech
        = level > kSpeechFloorRms && 20.0f * std::log10(level / 32768.0f) > m_inputFloor.floor() + kSpeechAboveNoiseDb;
    if (speech) {
        const float wanted = std::clamp(kSpeechTargetRms / level, kMinGain, kMaxGain);
        const float step = std::pow(10.0f, kStepDb / 20.0f);
        if (wanted > m_inputGain)
            m_inputGain = std::min(wanted, m_inputGain * step);
        else
            m_inputGain = std::max(wanted, m_inputGain / step);
        // A loud burst must not clip while the gain creeps down: cut at once.
        int peak = 0;
        for (int i = 0; i < kFrameSamples; ++i)
            peak = std::max(peak, std::abs(int(frame[i])));
        if (peak * m_inputGain > 32000.0f) {
            m_inputGain = std::max(kMinGain, 32000.0f / float(peak));
            applyGain(frame, kFrameSamples, m_inputGain);
            return;
        }
    }
    // Ramp across the frame so gain changes make no steps.
    for (int i = 0; i < kFrameSamples; ++i) {
        const float g = before + (m_inputGain - before) * float(i + 1) / kFrameSamples;
        frame[i] = static_cast<int16_t>(std::clamp(std::lround(frame[i] * g), -32768L, 32767L));
    }
}

void AudioFilters::reset()
{
    if (m_echo)
        speex_echo_state_reset(m_echo);
    speex_preprocess_state_destroy(m_preprocess);
    m_preprocess = speex_preprocess_state_init(kFrameSamples, kSampleRate);
    m_referenceRead = 0;
    m_referenceCount = 0;
    m_inputGain = 1.0f;
    m_noiseLevel = 127;
    m_inputFloor.reset();
    m_outputFloor.reset();
    m_hangover = 0;
    configure();
}

} // namespace iax2
