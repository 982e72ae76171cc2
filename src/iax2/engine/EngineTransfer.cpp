// Transfers: blind (TRANSFER, and the PBX takes the call away) and attended
// (the two legs are introduced to each other with TXREQ, test the path and
// report TXREADY, then both are released with TXREL).

#include "iax2/engine/EngineImpl.h"

#include "iax2/engine/EngineUtil.h"

#include <algorithm>

namespace iax2 {

bool Iax2Engine::Impl::blindTransfer(int callNo, const std::string &number)
{
    const std::string target = cleanText(number, 255);
    if (target.empty())
        return false;
    Call *c = call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return false;
    const TimePoint now = clockNow();
    sendIax(*c->dialogue, Cmd::Transfer, IeList().addString(Ie::CalledNumber, target), now);
    c->state |= CallTransfer;
    c->blindTransfer = true;
    c->blindTransferDeadline = now + Millis(std::max(1, m_config.blindTransferTimeoutMs));
    log(TextStatus, "Call " + std::to_string(callNo) + " transferred to " + target);
    wake();
    return true;
}

bool Iax2Engine::Impl::attendedTransfer(int heldCall, int talkingCall)
{
    Call *held = call(heldCall);
    Call *talking = call(talkingCall);
    auto joinable = [](const Call *c) {
        return c && c->answered && c->dialogue && !c->waitingForAddress && c->dialogue->remoteNo != 0;
    };
    if (heldCall == talkingCall || !joinable(held) || !joinable(talking) || m_transfer.active)
        return false;
    const TimePoint now = clockNow();
    AttendedTransfer &t = m_transfer;
    t = AttendedTransfer();
    t.active = true;
    t.calls[0] = heldCall;
    t.calls[1] = talkingCall;
    t.id = m_nextTransferId++;
    t.deadline = now + Millis(std::max(1, m_config.attendedTransferTimeoutMs));
    // Each peer learns where the other leg is and which call number it has there.
    auto request = [&](Call &to, const Call &other) {
        const std::vector<uint8_t> address = apparentAddress(other.dialogue->peer);
        IeList ies;
        ies.addBytes(Ie::ApparentAddr, address.data(), address.size());
        ies.addU16(Ie::CallNo, other.dialogue->remoteNo);
        ies.addU32(Ie::TransferId, t.id);
        sendIax(*to.dialogue, Cmd::TxReq, ies, now);
        to.state |= CallTransfer;
    };
    request(*held, *talking);
    request(*talking, *held);
    log(TextStatus, "Attended transfer of calls " + std::to_string(heldCall) + " and " + std::to_string(talkingCall));
    wake();
    return true;
}

bool Iax2Engine::Impl::transferIncludes(int callNo) const
{
    return m_transfer.active && (m_transfer.calls[0] == callNo || m_transfer.calls[1] == callNo);
}

void Iax2Engine::Impl::emitTransfer(int callNo, int otherCallNo, bool ok)
{
    push(TransferEvent { callNo, otherCallNo, ok });
}

void Iax2Engine::Impl::transferReady(int callNo, TimePoint now)
{
    const int side = m_transfer.calls[0] == callNo ? 0 : 1;
    m_transfer.ready[side] = true;
    if (!m_transfer.ready[0] || !m_transfer.ready[1])
        return;
    // Both peers reached each other: release them to the new path and leave.
    const int a = m_transfer.calls[0];
    const int b = m_transfer.calls[1];
    m_transfer = AttendedTransfer();
    Call &ca = m_calls[size_t(a)];
    Call &cb = m_calls[size_t(b)];
    sendIax(*ca.dialogue, Cmd::TxRel, IeList().addU16(Ie::CallNo, cb.dialogue->remoteNo), now);
    sendIax(*cb.dialogue, Cmd::TxRel, IeList().addU16(Ie::CallNo, ca.dialogue->remoteNo), now);
    log(TextStatus, "Calls " + std::to_string(a) + " and " + std::to_string(b) + " joined by an attended transfer");
    emitTransfer(a, b, true);
    emitTransfer(b, a, true);
    // The dialogues stay until the releases are acknowledged; no hang-up goes out.
    dropCall(a, CallEndReason::Transferred);
    dropCall(b, CallEndReason::Transferred);
}

void Iax2Engine::Impl::failTransfer(int rejectingCall, const std::string &why, TimePoint now)
{
    const AttendedTransfer t = m_transfer;
    m_transfer = AttendedTransfer();
    for (int callNo : t.calls) {
        Call *c = call(callNo);
        if (!c)
            continue;
        // Tell each peer still in it to stay on the path through us.
        if (callNo != rejectingCall && c->dialogue)
            sendIax(*c->dialogue, Cmd::TxRej, IeList().addU32(Ie::TransferId, t.id), now);
        c->state &= ~CallTransfer;
    }
    emitText(TextWarning, "The attended transfer failed: " + why);
    emitTransfer(t.calls[0], t.calls[1], false);
    emitTransfer(t.calls[1], t.calls[0], false);
}

void Iax2Engine::Impl::transferTimers(TimePoint now)
{
    if (m_transfer.active && now >= m_transfer.deadline)
        failTransfer(-1, "the calls were not joined in time", now);
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (!c.used || !c.blindTransfer || now < c.blindTransferDeadline)
            continue;
        // The PBX left the call with us: it stays as it was.
        c.blindTransfer = false;
        c.state &= ~CallTransfer;
        emitText(TextWarning, "The transfer did not succeed");
        emitTransfer(int(i), -1, false);
    }
}

} // namespace iax2
