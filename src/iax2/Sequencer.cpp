#include "iax2/Sequencer.h"

#include <algorithm>

namespace iax2 {

void Sequencer::stamp(FullFrame &frame)
{
    frame.oseqno = m_oseqno;
    frame.iseqno = m_iseqno;
    if (!frame.isUnsequenced())
        ++m_oseqno;
}

void Sequencer::track(const FullFrame &frame, const std::vector<uint8_t> &bytes, TimePoint now)
{
    if (frame.isUnsequenced())
        return;
    // A window of 256 seqnos can hold at most 255 frames in flight; the peer
    // that lets it fill up is gone.
    if (m_pending.size() >= 128) {
        m_failed = true;
        return;
    }
    m_pending.push_back({ frame.oseqno, bytes, now + m_timing.firstInterval, m_timing.firstInterval, 1 });
}

Sequencer::Verdict Sequencer::receive(const FullFrame &frame)
{
    acknowledge(frame.iseqno);
    if (frame.isUnsequenced())
        return Verdict::Accept;
    if (frame.oseqno == m_iseqno) {
        ++m_iseqno;
        return Verdict::Accept;
    }
    // Half the sequence space ahead counts as "early", the other half as old.
    return uint8_t(frame.oseqno - m_iseqno) < 128 ? Verdict::Early : Verdict::Duplicate;
}

void Sequencer::acknowledge(uint8_t peerIseqno)
{
    // The peer has every frame before peerIseqno. Only a value between the
    // oldest kept frame and our next seqno means anything; a stale or forged
    // one acknowledges nothing.
    if (m_pending.empty())
        return;
    const uint8_t base = m_pending.front().seqno;
    const uint8_t acked = uint8_t(peerIseqno - base);
    const uint8_t sent = uint8_t(m_oseqno - base);
    if (acked == 0 || acked > sent)
        return;
    m_pending.erase(std::remove_if(m_pending.begin(), m_pending.end(),
                        [&](const Pending &p) { return uint8_t(p.seqno - base) < acked; }),
        m_pending.end());
}

std::vector<std::vector<uint8_t>> Sequencer::due(TimePoint now)
{
    std::vector<std::vector<uint8_t>> out;
    for (Pending &p : m_pending) {
        if (p.next > now)
            continue;
        if (p.sends >= m_timing.maxSends) {
            m_failed = true;
            continue;
        }
        ++p.sends;
        p.interval = std::min(p.interval * 2, m_timing.maxInterval);
        p.next = now + p.interval;
        markRetransmitted(p.bytes);
        out.push_back(p.bytes);
    }
    return out;
}

std::vector<std::vector<uint8_t>> Sequencer::resendFrom(uint8_t seqno, TimePoint now)
{
    std::vector<std::vector<uint8_t>> out;
    const uint8_t sent = uint8_t(m_oseqno - seqno);
    for (Pending &p : m_pending) {
        // Only frames at or after seqno and already sent.
        if (uint8_t(p.seqno - seqno) >= sent)
            continue;
        markRetransmitted(p.bytes);
        p.next = now + p.interval;
        out.push_back(p.bytes);
    }
    return out;
}

std::optional<Sequencer::TimePoint> Sequencer::nextDue() const
{
    std::optional<TimePoint> next;
    for (const Pending &p : m_pending) {
        if (!next || p.next < *next)
            next = p.next;
    }
    return next;
}

void Sequencer::reset()
{
    m_oseqno = 0;
    m_iseqno = 0;
    m_pending.clear();
    m_failed = false;
}

} // namespace iax2
