// Frames in and out: parsing and routing received datagrams to their
// dialogue, sequencing and acknowledging, the CALLTOKEN round, and the
// dialogues themselves.

#include "iax2/engine/EngineImpl.h"

#include "iax2/engine/EngineUtil.h"

#include <sys/socket.h>

#include <algorithm>

namespace iax2 {

namespace {
constexpr size_t kMaxClosing = 64;
} // namespace

void Iax2Engine::Impl::handleDatagram(const uint8_t *data, size_t size, const sockaddr_in &from, TimePoint now)
{
    std::string why;
    switch (classify(data, size)) {
    case DatagramKind::Full: {
        FullFrame frame;
        if (!parseFullFrame(data, size, frame, &why)) {
            malformed(from, why);
            return;
        }
        handleFull(frame, from, now);
        return;
    }
    case DatagramKind::Mini: {
        MiniFrame frame;
        if (!parseMiniFrame(data, size, frame, &why)) {
            malformed(from, why);
            return;
        }
        handleMini(frame, from, now);
        return;
    }
    case DatagramKind::Meta:
        return;
    case DatagramKind::Malformed:
        malformed(from, size > kMaxDatagram ? "too large" : "too short");
        return;
    }
}

void Iax2Engine::Impl::handleFull(FullFrame &frame, const sockaddr_in &from, TimePoint now)
{
    // The elements are parsed once, here; every handler below reads these.
    std::optional<IeList> ies;
    if (frame.type == FrameType::Iax) {
        ies = IeList::parse(frame.payload.data(), frame.payload.size());
        if (!ies && frame.subclass != Cmd::Ack && frame.subclass != Cmd::Inval && frame.subclass != Cmd::Vnak) {
            malformed(from, "information element runs past the frame");
            return;
        }
    }
    const IeList *elements = ies ? &*ies : nullptr;
    int callNo = -1;
    Registration *reg = nullptr;
    Dialogue *dlg = nullptr;
    if (frame.destCall != 0) {
        dlg = findLocal(frame.destCall, &callNo, &reg);
        if (!dlg) {
            if (!frame.isIax(Cmd::Inval) && !frame.isIax(Cmd::Ack) && !frame.isIax(Cmd::Vnak))
                replyStateless(frame, from, Cmd::Inval, IeList());
            return;
        }
        if (!sameAddress(dlg->peer, from)) {
            malformed(from, "frame for call " + std::to_string(frame.destCall) + " from a foreign address");
            return;
        }
        if (frame.isIax(Cmd::CallToken)) {
            handleCallToken(*dlg, elements, now);
            return;
        }
        if (dlg->remoteNo == 0) {
            dlg->remoteNo = frame.sourceCall;
        } else if (dlg->remoteNo != frame.sourceCall) {
            malformed(from, "frame for call " + std::to_string(frame.destCall) + " from another dialogue");
            return;
        }
    } else {
        // Call number 0 is nobody's: it must not match a dialogue of ours
        // that has not heard from its peer yet.
        if (frame.sourceCall == 0)
            return;
        dlg = findRemote(from, frame.sourceCall, &callNo, &reg);
        if (!dlg) {
            if (frame.isIax(Cmd::New)) {
                if (!acceptsNewFrom(from))
                    refuseNew(frame, from, now);
                else
                    handleNew(frame, *elements, from, now);
            } else if (frame.isIax(Cmd::Poke)) {
                replyStateless(frame, from, Cmd::Pong, IeList());
            }
            return;
        }
    }

    switch (dlg->seq.receive(frame)) {
    case Sequencer::Verdict::Duplicate:
        if (!frame.isUnsequenced())
            sendAck(*dlg, frame);
        return;
    case Sequencer::Verdict::Early: {
        FullFrame vnak;
        vnak.type = FrameType::Iax;
        vnak.subclass = Cmd::Vnak;
        send(*dlg, std::move(vnak), now);
        return;
    }
    case Sequencer::Verdict::Accept:
        break;
    }

    if (frame.isIax(Cmd::Vnak)) {
        for (const auto &bytes : dlg->seq.resendFrom(frame.iseqno, now))
            sendRaw(bytes, dlg->peer);
        return;
    }
    if (frame.isIax(Cmd::Ack))
        return;
    if (!frame.isUnsequenced())
        sendAck(*dlg, frame);

    if (callNo >= 0)
        handleCallFrame(callNo, frame, elements, now);
    else if (reg)
        handleRegistrationFrame(*reg, frame, elements, now);
    else if (frame.isIax(Cmd::Ping))
        sendReply(*dlg, Cmd::Pong, frame, now);
}

void Iax2Engine::Impl::handleMini(MiniFrame &frame, const sockaddr_in &from, TimePoint now)
{
    for (Call &c : m_calls) {
        if (!c.used || !c.dialogue || c.dialogue->remoteNo != frame.sourceCall || !sameAddress(c.dialogue->peer, from))
            continue;
        if (!c.rxStarted)
            return; // a mini frame means nothing before the first full voice frame
        handleVoice(c, expandMiniTimestamp(c.rxTs, frame.timestamp), c.rxFormat, std::move(frame.payload), now);
        return;
    }
}

void Iax2Engine::Impl::handleCallToken(Dialogue &dlg, const IeList *ies, TimePoint now)
{
    const IeList::Element *token = ies ? ies->find(Ie::CallToken) : nullptr;
    // Only the first reply to our opening frame may ask for a token.
    if (!token || token->data.empty() || dlg.tokenUsed || dlg.openingCommand == 0 || dlg.remoteNo != 0) {
        log(TextWarning, "Ignored an unexpected CALLTOKEN");
        return;
    }
    dlg.tokenUsed = true;
    IeList resent;
    for (const auto &e : dlg.openingIes.elements()) {
        if (e.id == Ie::CallToken)
            resent.addBytes(Ie::CallToken, token->data.data(), token->data.size());
        else
            resent.addBytes(e.id, e.data.data(), e.data.size());
    }
    // The peer kept nothing of the first attempt: start the dialogue over.
    dlg.seq.reset();
    dlg.remoteNo = 0;
    sendIax(dlg, dlg.openingCommand, resent, now);
}

// ---------------------------------------------------------------- sending

void Iax2Engine::Impl::sendRaw(const std::vector<uint8_t> &bytes, const sockaddr_in &to)
{
    sendto(m_socket, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
}

void Iax2Engine::Impl::send(Dialogue &dlg, FullFrame frame, TimePoint now)
{
    frame.sourceCall = dlg.localNo;
    frame.destCall = dlg.remoteNo;
    // Media frames carry the media clock; replies carry the asker's timestamp.
    if (frame.type != FrameType::Voice && frame.type != FrameType::ComfortNoise && !frame.isIax(Cmd::Ack)
        && !frame.isIax(Cmd::Pong) && !frame.isIax(Cmd::LagRp))
        frame.timestamp = dlg.nextTimestamp(now);
    dlg.seq.stamp(frame);
    std::vector<uint8_t> bytes;
    encodeFullFrame(frame, bytes);
    dlg.seq.track(frame, bytes, now);
    sendRaw(bytes, dlg.peer);
}

void Iax2Engine::Impl::sendIax(Dialogue &dlg, uint8_t command, const IeList &ies, TimePoint now)
{
    FullFrame f;
    f.type = FrameType::Iax;
    f.subclass = command;
    ies.appendTo(f.payload);
    send(dlg, std::move(f), now);
}

void Iax2Engine::Impl::sendControl(Dialogue &dlg, uint8_t control, TimePoint now)
{
    FullFrame f;
    f.type = FrameType::Control;
    f.subclass = control;
    send(dlg, std::move(f), now);
}

void Iax2Engine::Impl::sendAck(Dialogue &dlg, const FullFrame &frame)
{
    FullFrame ack;
    ack.type = FrameType::Iax;
    ack.subclass = Cmd::Ack;
    // An ACK carries the timestamp of the frame it acknowledges.
    ack.timestamp = frame.timestamp;
    send(dlg, std::move(ack), TimePoint());
}

void Iax2Engine::Impl::sendReply(Dialogue &dlg, uint8_t command, const FullFrame &to, TimePoint now)
{
    // PONG and LAGRP carry the timestamp of the question.
    FullFrame f;
    f.type = FrameType::Iax;
    f.subclass = command;
    f.timestamp = to.timestamp;
    send(dlg, std::move(f), now);
}

void Iax2Engine::Impl::replyStateless(const FullFrame &to, const sockaddr_in &from, uint8_t command, const IeList &ies)
{
    FullFrame f;
    f.sourceCall = command == Cmd::Inval ? to.destCall : allocateCallNo();
    f.destCall = to.sourceCall;
    f.timestamp = to.timestamp;
    f.oseqno = to.iseqno;
    f.iseqno = uint8_t(to.oseqno + 1);
    f.type = FrameType::Iax;
    f.subclass = command;
    ies.appendTo(f.payload);
    std::vector<uint8_t> bytes;
    encodeFullFrame(f, bytes);
    sendRaw(bytes, from);
}

void Iax2Engine::Impl::openDialogue(Dialogue &dlg, uint8_t command, IeList ies, TimePoint now)
{
    // Many PBXes want a call token before they keep any state: offer an empty
    // one and resend with theirs when they ask.
    ies.addEmpty(Ie::CallToken);
    dlg.openingCommand = command;
    dlg.openingIes = ies;
    sendIax(dlg, command, ies, now);
}

// ---------------------------------------------------------------- dialogues

uint16_t Iax2Engine::Impl::allocateCallNo()
{
    for (int tries = 0; tries < kMaxCallNumber; ++tries) {
        const uint16_t candidate = m_nextCallNo;
        m_nextCallNo = uint16_t(m_nextCallNo % kMaxCallNumber + 1);
        if (!findLocal(candidate, nullptr, nullptr))
            return candidate;
    }
    return 1;
}

std::unique_ptr<Dialogue> Iax2Engine::Impl::newDialogue()
{
    auto dlg = std::make_unique<Dialogue>();
    dlg->localNo = allocateCallNo();
    Sequencer::Timing timing;
    timing.firstInterval = Millis(std::max(1, m_config.retransmitFirstMs));
    timing.maxInterval = Millis(std::max(m_config.retransmitFirstMs, m_config.retransmitMaxMs));
    timing.maxSends = std::max(1, m_config.retransmitMaxSends);
    dlg->seq = Sequencer(timing);
    return dlg;
}

Dialogue *Iax2Engine::Impl::findLocal(uint16_t localNo, int *callNo, Registration **reg)
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (c.used && c.dialogue && c.dialogue->localNo == localNo) {
            if (callNo)
                *callNo = int(i);
            return c.dialogue.get();
        }
    }
    for (Registration &r : m_registrations) {
        if (r.used && r.dialogue && r.dialogue->localNo == localNo) {
            if (reg)
                *reg = &r;
            return r.dialogue.get();
        }
    }
    for (auto &d : m_closing) {
        if (d->localNo == localNo)
            return d.get();
    }
    return nullptr;
}

Dialogue *Iax2Engine::Impl::findRemote(const sockaddr_in &from, uint16_t remoteNo, int *callNo, Registration **reg)
{
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (c.used && c.dialogue && c.dialogue->remoteNo == remoteNo && sameAddress(c.dialogue->peer, from)) {
            if (callNo)
                *callNo = int(i);
            return c.dialogue.get();
        }
    }
    for (Registration &r : m_registrations) {
        if (r.used && r.dialogue && r.dialogue->remoteNo == remoteNo && sameAddress(r.dialogue->peer, from)) {
            if (reg)
                *reg = &r;
            return r.dialogue.get();
        }
    }
    for (auto &d : m_closing) {
        if (d->remoteNo == remoteNo && sameAddress(d->peer, from))
            return d.get();
    }
    return nullptr;
}

void Iax2Engine::Impl::retire(std::unique_ptr<Dialogue> dlg)
{
    if (!dlg || dlg->seq.idle())
        return;
    dlg->openingCommand = 0; // a late CALLTOKEN must not reopen it
    // It stays until the peer acknowledges the last frames or they time out.
    if (m_closing.size() >= kMaxClosing)
        m_closing.erase(m_closing.begin());
    m_closing.push_back(std::move(dlg));
}

void Iax2Engine::Impl::closingTimers(TimePoint now)
{
    for (auto it = m_closing.begin(); it != m_closing.end();) {
        Dialogue &d = **it;
        for (const auto &bytes : d.seq.due(now))
            sendRaw(bytes, d.peer);
        if (d.seq.idle() || d.seq.failed())
            it = m_closing.erase(it);
        else
            ++it;
    }
}

} // namespace iax2
