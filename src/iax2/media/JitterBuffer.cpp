#include "iax2/media/JitterBuffer.h"

#include <algorithm>

namespace iax2 {

namespace {
// Peers stamp voice frames with their own clock, a few ms off the 20 ms grid:
// a payload within half a frame of its slot is on time.
constexpr int kToleranceMs = JitterBuffer::kFrameMs / 2;
// A jump of more than this (a peer restarting its clock, a transfer) is a new
// stream, not a gap to conceal or a very late frame.
constexpr int kResyncMs = 1000;
// After this much silence from the peer, buffer afresh when it speaks again.
constexpr int kDryFramesBeforeRebuffer = 10;
// Delay adaptation: grow by a frame on each underrun, give a frame back after
// ten steady seconds; shed a frame when a second passes above target + 2 frames,
// then one every 200 ms while the buffer stays that deep.
constexpr int kSteadyFramesToRelax = 500;
constexpr int kHighFramesToShrink = 50;
constexpr int kShrinkMarginMs = 2 * JitterBuffer::kFrameMs;
constexpr int kShrinkEveryFrames = 10;
constexpr size_t kMaxQueued = 200;
constexpr size_t kMaxPayloadBytes = 4096;
} // namespace

JitterBuffer::JitterBuffer(int targetMs, int maxMs)
    : m_target(std::max(0, targetMs))
    , m_max(std::max(maxMs, std::max(0, targetMs) + kFrameMs))
    , m_currentTarget(m_target)
{
}

void JitterBuffer::setTarget(int ms)
{
    m_target = std::max(0, ms);
    m_max = std::max(m_max, m_target + kFrameMs);
    m_currentTarget = m_target;
}

int64_t JitterBuffer::unwrap(uint32_t timestamp)
{
    if (!m_haveReference) {
        m_haveReference = true;
        m_reference = timestamp;
        return m_reference;
    }
    const int32_t delta = static_cast<int32_t>(timestamp - static_cast<uint32_t>(m_reference));
    const int64_t value = m_reference + delta;
    if (value > m_reference)
        m_reference = value;
    return value;
}

bool JitterBuffer::put(uint32_t timestamp, const uint8_t *data, size_t size)
{
    if (!data || size == 0 || size > kMaxPayloadBytes)
        return false;
    const int64_t ts = unwrap(timestamp);
    if (m_playing) {
        if (ts < m_next - kResyncMs || ts > m_next + std::max(m_max, kResyncMs)) {
            ++m_stats.resyncs;
            startOver();
            m_haveReference = true;
            m_reference = ts;
        } else if (ts < m_next - kToleranceMs) {
            ++m_stats.late;
            return false;
        }
    }
    if (m_queue.count(ts)) {
        ++m_stats.duplicates;
        return false;
    }
    if (m_queue.size() >= kMaxQueued) {
        ++m_stats.overflow;
        return false;
    }
    m_queue.emplace(ts, std::vector<uint8_t>(data, data + size));
    ++m_stats.received;
    // While buffering, keep no more than the maximum delay: the oldest go.
    if (!m_playing) {
        while (m_queue.size() > 1 && m_queue.rbegin()->first - m_queue.begin()->first > m_max) {
            m_queue.erase(m_queue.begin());
            ++m_stats.overflow;
        }
    }
    return true;
}

int JitterBuffer::depthMs() const
{
    const int pcmMs = int(m_pcm.size() * 1000 / Codec::kSampleRate);
    if (m_queue.empty())
        return pcmMs;
    const int64_t end = m_queue.rbegin()->first + m_lastDurationMs;
    const int64_t start = m_playing ? m_next : m_queue.begin()->first;
    return int(std::max<int64_t>(0, end - start)) + pcmMs;
}

bool JitterBuffer::get(Codec &codec, int16_t *frame)
{
    const size_t n = Codec::kFrameSamples;
    if (!m_playing) {
        // Within half a frame of the target is close enough: peers' clocks wander.
        if (m_queue.empty() || depthMs() + kToleranceMs <= m_currentTarget) {
            std::fill(frame, frame + n, int16_t(0));
            return false;
        }
        m_playing = true;
        m_next = m_queue.begin()->first;
        m_emptyRun = 0;
        m_highFrames = 0;
    }

    if (m_pcm.size() < n) {
        // Whatever is queued before the playout position came too late to play.
        while (!m_queue.empty() && m_queue.begin()->first < m_next - kToleranceMs) {
            m_queue.erase(m_queue.begin());
            ++m_stats.late;
        }
        if (m_queue.empty()) {
            // Dry: hold the position, so a late frame still finds its slot.
            codec.conceal(m_decoded);
            ++m_stats.concealed;
            if (++m_emptyRun >= kDryFramesBeforeRebuffer)
                m_playing = false; // the peer paused; start afresh when it speaks again
        } else {
            const auto first = m_queue.begin();
            // The frame we held for arrived after all: the network is slower than
            // the target allowed, so keep the extra delay (a pause is no reason).
            if (m_emptyRun > 0 && first->first <= m_next + kToleranceMs) {
                m_currentTarget = std::min(m_currentTarget + kFrameMs, m_max);
                m_steadyFrames = 0;
            }
            m_emptyRun = 0;
            if (first->first > m_next + kResyncMs) {
                m_next = first->first; // a jump forward: no point concealing a second
                ++m_stats.resyncs;
            }
            if (first->first <= m_next + kToleranceMs) {
                const size_t before = m_decoded.size();
                if (codec.decode(first->second.data(), first->second.size(), m_decoded)) {
                    const size_t samples = m_decoded.size() - before;
                    m_lastDurationMs = std::max(1, int(samples * 1000 / Codec::kSampleRate));
                } else {
                    ++m_stats.malformed;
                    codec.conceal(m_decoded);
                    ++m_stats.concealed;
                }
                m_next = first->first + m_lastDurationMs;
                m_queue.erase(first);
            } else {
                codec.conceal(m_decoded); // a gap: that frame was lost
                ++m_stats.concealed;
                m_next += kFrameMs;
            }
        }
        m_pcm.insert(m_pcm.end(), m_decoded.begin(), m_decoded.end());
        m_decoded.clear();
    }

    // A codec returning less than a frame leaves the rest silent rather than stale.
    const size_t take = std::min(n, m_pcm.size());
    std::copy(m_pcm.begin(), m_pcm.begin() + take, frame);
    std::fill(frame + take, frame + n, int16_t(0));
    m_pcm.erase(m_pcm.begin(), m_pcm.begin() + take);

    // Adapt: relax an enlarged target after a steady spell, shed a frame when the
    // buffer has stayed well above the target (the peer's clock runs fast, or a
    // burst of late frames arrived together).
    if (m_playing) {
        if (++m_steadyFrames >= kSteadyFramesToRelax) {
            m_steadyFrames = 0;
            m_currentTarget = std::max(m_target, m_currentTarget - kFrameMs);
        }
        if (depthMs() > m_currentTarget + kShrinkMarginMs) {
            if (++m_highFrames >= kHighFramesToShrink && !m_queue.empty()) {
                const auto first = m_queue.begin();
                m_next = std::max(m_next, first->first + m_lastDurationMs);
                m_queue.erase(first);
                ++m_stats.shrunk;
                // Still too deep: the next frame goes sooner.
                m_highFrames = kHighFramesToShrink - kShrinkEveryFrames;
            }
        } else {
            m_highFrames = 0;
        }
    }
    return true;
}

void JitterBuffer::startOver()
{
    m_queue.clear();
    m_pcm.clear();
    m_decoded.clear();
    m_playing = false;
    m_haveReference = false;
    m_emptyRun = 0;
    m_highFrames = 0;
}

void JitterBuffer::reset()
{
    startOver();
    m_currentTarget = m_target;
    m_steadyFrames = 0;
    m_lastDurationMs = kFrameMs;
    m_stats = Stats();
}

} // namespace iax2
