// What the user does to calls: dial, answer, select, end, hold, DTMF, and the
// codec offer. Called from the public API with m_mutex held.

#include "iax2/engine/EngineImpl.h"

#include "iax2/engine/EngineUtil.h"

#include <algorithm>

namespace iax2 {

namespace {
constexpr Millis kBusyGrace { 10000 };
} // namespace

int Iax2Engine::Impl::dial(const Account &account, const std::string &number)
{
    const int slot = freeSlot();
    if (slot < 0)
        return -1;
    // An empty capability would only be refused by the PBX, less clearly.
    if (!m_allowed) {
        emitText(TextError, "No usable codec is allowed: the call cannot be placed");
        wake();
        return -1;
    }
    Call &c = takeSlot(slot);
    c.state = CallActive | CallOutgoing;
    c.account = account;
    c.account.user = cleanText(account.user, 255);
    c.number = cleanText(number, 255);
    c.remoteNumber = c.number;
    c.dialogue = newDialogue();
    const TimePoint now = clockNow();
    c.nextPing = now + kPingInterval;
    c.nextStats = now + kStatsInterval;
    m_selected = slot;
    if (numericAddress(account.host, account.port, c.dialogue->peer))
        startCall(slot, now);
    else
        c.waitingForAddress = true;
    wake();
    return slot;
}

bool Iax2Engine::Impl::answer(int callNo)
{
    Call *c = call(callNo);
    if (!c || !c->incoming || c->answered)
        return false;
    sendControl(*c->dialogue, Ctl::Answer, clockNow());
    c->answered = true;
    c->state = (c->state & ~CallRinging) | CallComplete;
    m_selected = callNo;
    push(AnsweredEvent { callNo });
    updateAudio();
    wake();
    return true;
}

void Iax2Engine::Impl::selectCall(int callNo)
{
    if (callNo != -1 && !call(callNo))
        return;
    m_selected = callNo;
    wake();
}

void Iax2Engine::Impl::reject(int callNo)
{
    Call *c = call(callNo);
    if (!c)
        return;
    if (c->incoming && !c->answered)
        endCall(callNo, Cmd::Reject, "Call rejected", 21, clockNow());
    else
        endCall(callNo, Cmd::Hangup, "Normal clearing", 16, clockNow());
    wake();
}

void Iax2Engine::Impl::sendBusy(int callNo)
{
    Call *c = call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return;
    const TimePoint now = clockNow();
    sendControl(*c->dialogue, Ctl::Busy, now);
    c->state = (c->state & ~CallRinging) | CallBusy;
    // The PBX hangs up after a busy signal; if it does not, we do.
    c->busySent = true;
    c->busyDeadline = now + kBusyGrace;
    updateAudio();
    wake();
}

void Iax2Engine::Impl::hangup(int callNo)
{
    if (!call(callNo))
        return;
    endCall(callNo, Cmd::Hangup, "Normal clearing", 16, clockNow());
    wake();
}

void Iax2Engine::Impl::hangupAll()
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        if (m_calls[i].used)
            endCall(int(i), Cmd::Hangup, "Normal clearing", 16, clockNow());
    }
    wake();
}

bool Iax2Engine::Impl::hold(int callNo, bool held, bool moh)
{
    Call *c = call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return false;
    IeList ies;
    if (held && moh)
        ies.addEmpty(Ie::MusicOnHold);
    // Sent again when asked again: the peer may have missed the state.
    sendIax(*c->dialogue, held ? Cmd::Quelch : Cmd::Unquelch, ies, clockNow());
    if (c->heldByUs != held)
        push(HoldEvent { callNo, held, false });
    c->heldByUs = held;
    wake();
    return true;
}

bool Iax2Engine::Impl::sendDtmf(char digit, int callNo)
{
    if (callNo == -1)
        callNo = m_selected;
    Call *c = call(callNo);
    if (!c || !c->dialogue || c->waitingForAddress)
        return false;
    FullFrame f;
    f.type = FrameType::DtmfEnd;
    f.subclass = uint8_t(digit);
    send(*c->dialogue, std::move(f), clockNow());
    wake();
    return true;
}

void Iax2Engine::Impl::setFormats(uint32_t preferred, uint32_t allowed)
{
    // iLBC has no library here; any other format without a codec is as absent.
    const uint32_t available = m_config.codecs.formats() & ~uint32_t(FormatIlbc);
    const uint32_t usable = allowed & available;
    const uint32_t missing = allowed & ~available;
    for (uint32_t bit = 1; bit && bit <= missing; bit <<= 1) {
        if (!(missing & bit))
            continue;
        const std::string text = "The " + formatName(bit) + " codec is not available here and is not offered";
        // Said aloud only when the user counted on it.
        if (preferred == bit || allowed == bit)
            emitText(TextWarning, text);
        else
            log(TextStatus, text);
    }
    m_allowed = usable;
    m_preferred = singleBit(preferred) && (preferred & usable) ? preferred : lowestBit(usable);
    if (!usable)
        emitText(TextError, "No usable codec is allowed: calls are refused until one is chosen");
    wake();
}

int Iax2Engine::Impl::callState(int callNo) const
{
    if (callNo < 0 || callNo >= int(m_calls.size()) || !m_calls[size_t(callNo)].used)
        return CallFree;
    return m_calls[size_t(callNo)].state | (callNo == m_selected ? CallSelected : 0);
}

} // namespace iax2
