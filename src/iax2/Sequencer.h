#pragma once

// Reliable delivery of full frames within one dialogue: sequence numbers,
// implicit and explicit acknowledgement, retransmission with a growing
// interval, VNAK and duplicate detection. Time comes from the caller, so the
// logic runs under a fake clock in tests.

#include "iax2/Frame.h"

#include <chrono>
#include <deque>

namespace iax2 {

class Sequencer
{
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Millis = std::chrono::milliseconds;

    struct Timing
    {
        Millis firstInterval { 250 };
        Millis maxInterval { 2000 };
        int maxSends = 6;
    };

    enum class Verdict {
        Accept, // in order: handle it
        Duplicate, // seen before: acknowledge again, do not handle
        Early, // a frame before it was lost: ask for a resend with VNAK
    };

    Sequencer() = default;
    explicit Sequencer(Timing timing)
        : m_timing(timing)
    {
    }

    // Fills in the sequence numbers of a frame about to be sent.
    void stamp(FullFrame &frame);
    // Keeps an encoded, stamped frame until it is acknowledged.
    void track(const FullFrame &frame, const std::vector<uint8_t> &bytes, TimePoint now);

    // Checks an incoming frame's order and takes its acknowledgement.
    Verdict receive(const FullFrame &frame);
    // Drops the kept frames that the peer's ISeqno says it has.
    void acknowledge(uint8_t peerIseqno);

    // Frames whose retransmission time has come, already marked as retransmitted.
    std::vector<std::vector<uint8_t>> due(TimePoint now);
    // Frames from seqno on, for a VNAK.
    std::vector<std::vector<uint8_t>> resendFrom(uint8_t seqno, TimePoint now);
    // Some frame went unacknowledged through every retransmission.
    bool failed() const { return m_failed; }
    bool idle() const { return m_pending.empty(); }
    size_t pending() const { return m_pending.size(); }
    // The earliest time due() has work.
    std::optional<TimePoint> nextDue() const;

    uint8_t oseqno() const { return m_oseqno; }
    uint8_t iseqno() const { return m_iseqno; }
    // Starts over, as after a CALLTOKEN round.
    void reset();

private:
    struct Pending
    {
        uint8_t seqno;
        std::vector<uint8_t> bytes;
        TimePoint next;
        Millis interval;
        int sends;
    };

    Timing m_timing;
    uint8_t m_oseqno = 0;
    uint8_t m_iseqno = 0;
    std::deque<Pending> m_pending;
    bool m_failed = false;
};

} // namespace iax2
