// The call state machine: who may call in, the NEW that opens an incoming
// call, every frame of a call's dialogue, and how a call ends. Each transition
// raises its one event.

#include "iax2/engine/EngineImpl.h"

#include "iax2/Md5.h"
#include "iax2/engine/EngineUtil.h"

#include <algorithm>

namespace iax2 {

namespace {

// A refused source is logged again after this, not on every NEW of a flood.
constexpr Millis kRefusalLogInterval { 60000 };
constexpr size_t kMaxRefusedSources = 1024;

} // namespace

// ---------------------------------------------------------------- incoming calls

bool Iax2Engine::Impl::acceptsNewFrom(const sockaddr_in &from) const
{
    // A phone registered with a PBX takes its calls from that PBX.
    bool anyServer = false;
    for (const Registration &r : m_registrations) {
        if (!r.used || !r.haveAddress)
            continue;
        anyServer = true;
        if (r.address.sin_addr.s_addr == from.sin_addr.s_addr)
            return true;
    }
    return !anyServer && isLoopback(from);
}

void Iax2Engine::Impl::refuseNew(const FullFrame &frame, const sockaddr_in &from, TimePoint now)
{
    IeList r;
    r.addString(Ie::Cause, "Calls are taken from this phone's PBX only").addU8(Ie::CauseCode, 21);
    replyStateless(frame, from, Cmd::Reject, r);

    const uint32_t source = from.sin_addr.s_addr;
    const auto it = m_refusedSources.find(source);
    if (it != m_refusedSources.end() && now - it->second < kRefusalLogInterval)
        return;
    if (it == m_refusedSources.end() && m_refusedSources.size() >= kMaxRefusedSources) {
        for (auto old = m_refusedSources.begin(); old != m_refusedSources.end();)
            old = now - old->second >= kRefusalLogInterval ? m_refusedSources.erase(old) : std::next(old);
        if (m_refusedSources.size() >= kMaxRefusedSources)
            m_refusedSources.clear();
    }
    m_refusedSources[source] = now;
    log(TextWarning,
        "Refused calls from " + hostText(from) + ": not this phone's PBX (logged once a minute per address)");
}

void Iax2Engine::Impl::handleNew(const FullFrame &frame, const IeList &ies, const sockaddr_in &from, TimePoint now)
{
    auto reject = [&](const std::string &cause, uint8_t code) {
        IeList r;
        r.addString(Ie::Cause, cause).addU8(Ie::CauseCode, code);
        replyStateless(frame, from, Cmd::Reject, r);
        log(TextStatus, "Rejected a call from " + addressText(from) + ": " + cause);
    };
    if (frame.oseqno != 0) {
        malformed(from, "NEW that does not start its dialogue");
        return;
    }
    if (const auto version = ies.u16(Ie::Version); version && *version != 2) {
        reject("Unsupported protocol version", 111);
        return;
    }
    const int slot = freeSlot();
    if (slot < 0) {
        reject("No free call slot", 34);
        return;
    }
    const uint32_t peerFormat = ies.u32(Ie::Format).value_or(0);
    const uint32_t capability = ies.u32(Ie::Capability).value_or(peerFormat);
    const uint32_t format = chooseFormat(m_preferred, m_allowed, capability, peerFormat);
    if (!format || !codecAvailable(format)) {
        if (!m_allowed)
            emitText(TextError, "An incoming call was refused: no usable codec is allowed");
        reject("No compatible codec", 58);
        return;
    }

    Call &c = takeSlot(slot);
    c.incoming = true;
    c.state = CallActive | CallRinging;
    c.remoteNumber = cleanText(ies.string(Ie::CallingNumber));
    c.remoteName = cleanText(ies.string(Ie::CallingName));
    c.number = cleanText(ies.string(Ie::CalledNumber));
    c.format = c.rxFormat = format;
    c.dialogue = newDialogue();
    Dialogue &dlg = *c.dialogue;
    dlg.remoteNo = frame.sourceCall;
    dlg.peer = from;
    dlg.start = now;
    dlg.seq.receive(frame);
    c.nextPing = now + kPingInterval;
    c.nextStats = now + kStatsInterval;
    sendAck(dlg, frame);
    sendIax(dlg, Cmd::Accept, IeList().addU32(Ie::Format, format), now);
    sendControl(dlg, Ctl::Ringing, now);
    log(TextStatus, "Incoming call " + std::to_string(slot) + " from " + addressText(from));
    push(IncomingCallEvent { slot, c.remoteName, c.remoteNumber, c.number, format });
    updateAudio();
}

bool Iax2Engine::Impl::codecAvailable(uint32_t format) const
{
    return singleBit(format) && (m_config.codecs.formats() & format);
}

// ---------------------------------------------------------------- a call's frames

void Iax2Engine::Impl::handleCallFrame(int callNo, FullFrame &frame, const IeList *ies, TimePoint now)
{
    Call &c = m_calls[size_t(callNo)];
    switch (frame.type) {
    case FrameType::Voice:
        handleVoice(c, frame.timestamp, frame.subclass, std::move(frame.payload), now);
        return;
    case FrameType::ComfortNoise:
        handleComfortNoise(c, frame);
        return;
    case FrameType::Control:
        handleControl(callNo, frame.subclass, now);
        return;
    case FrameType::DtmfEnd:
    case FrameType::DtmfBegin:
        log(TextStatus, "Call " + std::to_string(callNo) + " received DTMF");
        return;
    case FrameType::Iax:
        if (ies)
            handleCallCommand(callNo, frame, *ies, now);
        return;
    default:
        return;
    }
}

void Iax2Engine::Impl::handleControl(int callNo, uint32_t control, TimePoint now)
{
    Call &c = m_calls[size_t(callNo)];
    switch (control) {
    case Ctl::Ringing:
        if (!c.incoming && !c.answered && !(c.state & CallRinging))
            push(RingingOutEvent { callNo });
        c.state |= CallRinging;
        break;
    case Ctl::Answer:
        if (!c.incoming && !c.answered) {
            c.answered = true;
            c.state = (c.state & ~CallRinging) | CallComplete;
            push(AnsweredEvent { callNo });
            updateAudio();
        }
        break;
    case Ctl::Busy:
    case Ctl::Congestion:
        c.state = (c.state & ~CallRinging) | CallBusy;
        emitText(TextStatus, control == Ctl::Busy ? "Busy" : "Congestion");
        break;
    case Ctl::Hangup:
        endCall(callNo, 0, "Hangup", 16, now, CallEndReason::HungUpByPeer);
        break;
    default:
        break;
    }
}

void Iax2Engine::Impl::handleCallCommand(int callNo, const FullFrame &frame, const IeList &ies, TimePoint now)
{
    Call &c = m_calls[size_t(callNo)];
    Dialogue &dlg = *c.dialogue;
    switch (frame.subclass) {
    case Cmd::Accept: {
        if (c.incoming || c.accepted)
            break;
        const uint32_t format = ies.u32(Ie::Format).value_or(m_preferred);
        if (!(format & m_allowed) || !codecAvailable(format)) {
            emitText(TextError, "The PBX chose a codec that is not allowed");
            endCall(callNo, Cmd::Hangup, "No compatible codec", 58, now, CallEndReason::Failed);
            return;
        }
        c.accepted = true;
        c.format = c.rxFormat = format;
        push(CallAcceptedEvent { callNo, format });
        break;
    }
    case Cmd::AuthReq: {
        if (c.incoming)
            break;
        const uint16_t methods = ies.u16(Ie::AuthMethods).value_or(0);
        IeList reply;
        if (methods & Auth::Md5) {
            reply.addString(Ie::Md5Result, challengeResponse(ies.string(Ie::Challenge), c.account.secret));
        } else if (methods & Auth::Plaintext) {
            emitText(TextWarning, "The PBX asks for the password in plain text");
            reply.addString(Ie::Password, c.account.secret);
        } else {
            emitText(TextError, "The PBX offers no supported authentication method");
            endCall(callNo, Cmd::Hangup, "No authentication method", 50, now, CallEndReason::Failed);
            return;
        }
        sendIax(dlg, Cmd::AuthRep, reply, now);
        break;
    }
    case Cmd::Hangup:
    case Cmd::Reject: {
        const std::string cause = cleanText(ies.string(Ie::Cause));
        const bool rejected = frame.subclass == Cmd::Reject;
        if (rejected)
            emitText(TextStatus, cause.empty() ? "Call rejected" : "Call rejected: " + cause);
        log(TextStatus, "Call " + std::to_string(callNo) + " ended by the peer" + (cause.empty() ? "" : ": " + cause));
        dropCall(callNo, rejected ? CallEndReason::RejectedByPeer : CallEndReason::HungUpByPeer, cause);
        return;
    }
    case Cmd::Ping:
        sendReply(dlg, Cmd::Pong, frame, now);
        break;
    case Cmd::LagRq:
        sendReply(dlg, Cmd::LagRp, frame, now);
        break;
    case Cmd::Pong:
    case Cmd::LagRp:
        if (c.pingOutstanding && frame.timestamp == c.pingTs) {
            const auto elapsed = std::chrono::duration_cast<Millis>(now - dlg.start).count();
            c.stats.roundTripMs = int(std::max<int64_t>(0, elapsed - int64_t(c.pingTs)));
            c.pingOutstanding = false;
        }
        break;
    case Cmd::Quelch:
    case Cmd::Unquelch: {
        const bool held = frame.subclass == Cmd::Quelch;
        if (c.quelchedByPeer != held) {
            c.quelchedByPeer = held;
            push(HoldEvent { callNo, held, true });
        }
        break;
    }
    case Cmd::Inval:
        emitText(TextWarning, "The PBX no longer knows call " + std::to_string(callNo));
        dropCall(callNo, CallEndReason::Lost);
        return;
    case Cmd::TxReq:
        // Media stays with the PBX; a direct path is not offered.
        sendIax(dlg, Cmd::TxRej, IeList(), now);
        break;
    case Cmd::TxReady:
        if (transferIncludes(callNo))
            transferReady(callNo, now);
        break;
    case Cmd::TxRej:
        if (transferIncludes(callNo))
            failTransfer(callNo, "the PBX refused it", now);
        break;
    case Cmd::Transfer:
    case Cmd::Unsupport:
    case Cmd::Poke:
    case Cmd::TxCnt:
    case Cmd::TxAcc:
    case Cmd::TxRel:
    case Cmd::New:
        break;
    default:
        sendIax(dlg, Cmd::Unsupport, IeList().addU8(Ie::IaxUnknown, uint8_t(frame.subclass)), now);
        break;
    }
}

// ---------------------------------------------------------------- slots and endings

Call *Iax2Engine::Impl::call(int callNo)
{
    if (callNo < 0 || callNo >= int(m_calls.size()) || !m_calls[size_t(callNo)].used)
        return nullptr;
    return &m_calls[size_t(callNo)];
}

int Iax2Engine::Impl::freeSlot() const
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        if (!m_calls[i].used)
            return int(i);
    }
    return -1;
}

Call &Iax2Engine::Impl::takeSlot(int slot)
{
    Call &c = m_calls[size_t(slot)];
    c = Call();
    c.used = true;
    // The media path starts this call's codecs and buffers afresh.
    c.generation = m_nextGeneration++;
    return c;
}

void Iax2Engine::Impl::startCall(int callNo, TimePoint now)
{
    Call &c = m_calls[size_t(callNo)];
    Dialogue &dlg = *c.dialogue;
    dlg.start = now;
    IeList ies;
    ies.addU16(Ie::Version, 2);
    ies.addString(Ie::CalledNumber, c.number);
    if (!m_callerNumber.empty())
        ies.addString(Ie::CallingNumber, m_callerNumber);
    if (!m_callerName.empty())
        ies.addString(Ie::CallingName, m_callerName);
    if (!c.account.user.empty())
        ies.addString(Ie::Username, c.account.user);
    const uint32_t capability = m_allowed & m_config.codecs.formats();
    ies.addU32(Ie::Format, chooseFormat(m_preferred, capability, capability, 0));
    ies.addU32(Ie::Capability, capability);
    openDialogue(dlg, Cmd::New, ies, now);
}

void Iax2Engine::Impl::endCall(
    int callNo, uint8_t command, const std::string &cause, uint8_t code, TimePoint now, CallEndReason reason)
{
    Call &c = m_calls[size_t(callNo)];
    if (command && c.dialogue && !c.waitingForAddress) {
        IeList ies;
        ies.addString(Ie::Cause, cause).addU8(Ie::CauseCode, code);
        sendIax(*c.dialogue, command, ies, now);
    }
    dropCall(callNo, reason);
}

void Iax2Engine::Impl::dropCall(int callNo, CallEndReason reason, const std::string &cause)
{
    if (transferIncludes(callNo))
        failTransfer(callNo, "a call ended", clockNow());
    Call &c = m_calls[size_t(callNo)];
    if (c.blindTransfer) {
        // A blind transfer succeeds by the PBX taking the call away from us.
        const bool taken = reason == CallEndReason::HungUpByPeer || reason == CallEndReason::RejectedByPeer;
        emitTransfer(callNo, -1, taken);
    }
    const bool answered = c.answered;
    retire(std::move(c.dialogue));
    c = Call();
    if (m_selected == callNo)
        m_selected = -1;
    push(CallEndedEvent { callNo, answered, reason, cause });
    updateAudio();
}

void Iax2Engine::Impl::callTimers(TimePoint now)
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (!c.used || !c.dialogue || c.waitingForAddress)
            continue;
        for (const auto &bytes : c.dialogue->seq.due(now))
            sendRaw(bytes, c.dialogue->peer);
        if (c.dialogue->seq.failed()) {
            emitText(TextError, "Call " + std::to_string(i) + " lost: no answer from the peer");
            dropCall(int(i), CallEndReason::Lost);
            continue;
        }
        if (c.busySent && now >= c.busyDeadline) {
            endCall(int(i), Cmd::Hangup, "User busy", 17, now);
            continue;
        }
        if (c.answered && now >= c.nextPing) {
            c.nextPing = now + kPingInterval;
            FullFrame ping;
            ping.type = FrameType::Iax;
            ping.subclass = Cmd::Ping;
            send(*c.dialogue, std::move(ping), now);
            c.pingTs = c.dialogue->lastTs;
            c.pingOutstanding = true;
        }
        if (c.answered && now >= c.nextStats) {
            c.nextStats = now + kStatsInterval;
            push(NetStatsEvent { int(i), c.stats });
        }
    }
}

} // namespace iax2
