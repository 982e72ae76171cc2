#pragma once

#include "iax2/media/Codec.h"

#include <cstdint>
#include <deque>
#include <map>
#include <vector>

namespace iax2 {

// Playout buffer of one call. Received voice payloads go in with their media
// timestamp (ms); every 20 ms the engine takes out exactly one frame of 160
// samples, decoded in timestamp order. Frames arriving after their turn are
// dropped, gaps are filled through the codec's concealment.
//
// The delay adapts: playout starts once the target delay is buffered; a stream
// that runs dry keeps its position, so a late frame still plays and adds 20 ms
// to the target; a buffer that stays well above the target sheds frames.
class JitterBuffer
{
public:
    struct Stats
    {
        uint64_t received = 0; // payloads accepted by put
        uint64_t late = 0; // arrived after their playout time
        uint64_t duplicates = 0; // a payload with this timestamp was already queued
        uint64_t overflow = 0; // refused or shed because the buffer was full
        uint64_t malformed = 0; // refused by the decoder at playout
        uint64_t concealed = 0; // frames made up for missing audio
        uint64_t shrunk = 0; // frames dropped to bring the delay back down
        uint64_t resyncs = 0; // timestamp jumps that restarted the buffer
    };

    static constexpr int kFrameMs = 20;

    explicit JitterBuffer(int targetMs = 40, int maxMs = 500);

    void setTarget(int ms);
    int target() const { return m_target; }
    // The target in force after adaptation, at least target().
    int currentTarget() const { return m_currentTarget; }

    // Queues a payload; returns false when it is dropped (late, duplicate, full, empty).
    bool put(uint32_t timestamp, const uint8_t *data, size_t size);
    // Writes the next 160 samples of playout to frame. Returns false while
    // (re)buffering, when the frame is silence rather than the call's audio.
    bool get(Codec &codec, int16_t *frame);

    // Buffered audio ahead of the playout position, in ms.
    int depthMs() const;
    bool isPlaying() const { return m_playing; }
    const Stats &stats() const { return m_stats; }
    void reset();

private:
    int64_t unwrap(uint32_t timestamp);
    void startOver();

    int m_target;
    int m_max;
    int m_currentTarget;
    std::map<int64_t, std::vector<uint8_t>> m_queue;
    std::deque<int16_t> m_pcm; // decoded samples not yet played
    std::vector<int16_t> m_decoded;

    bool m_haveReference = false;
    int64_t m_reference = 0; // last unwrapped timestamp, for 32-bit wrap-around
    bool m_playing = false;
    int64_t m_next = 0; // timestamp of the next sample to play, while playing
    int m_lastDurationMs = kFrameMs;
    int m_emptyRun = 0;
    int m_steadyFrames = 0; // frames since the last underrun
    int m_highFrames = 0; // consecutive frames with the buffer above target

    Stats m_stats;
};

} // namespace iax2
