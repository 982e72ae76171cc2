// Registration with a registrar: REGREQ, the MD5 (or, where it is all the
// registrar offers, plaintext) round, REGACK/REGREJ, refresh, release, a reply
// deadline for every attempt, the back-off after an unanswered one and the
// wait of a refresh interval after a rejected one.

#include "iax2/engine/EngineImpl.h"

#include "iax2/Md5.h"
#include "iax2/engine/EngineUtil.h"

#include <algorithm>

namespace iax2 {

int Iax2Engine::Impl::registerAccount(const Account &account)
{
    for (Registration &r : m_registrations) {
        if (r.used)
            continue;
        r = Registration();
        r.used = true;
        r.id = m_nextRegistrationId++;
        r.account = account;
        r.account.user = cleanText(account.user, 255);
        r.account.refresh = std::clamp(account.refresh, kMinRefresh, 65535);
        r.nextAttempt = clockNow();
        if (numericAddress(account.host, account.port, r.address)) {
            r.haveAddress = true;
            startRegistration(r, clockNow());
        } else {
            r.waitingForAddress = true;
        }
        wake();
        return r.id;
    }
    log(TextError, "No room for another registration");
    return -1;
}

void Iax2Engine::Impl::unregisterAccount(int id)
{
    for (Registration &r : m_registrations) {
        if (!r.used || r.id != id)
            continue;
        if (!r.haveAddress) {
            r = Registration();
            return;
        }
        r.releasing = true;
        startRegistration(r, clockNow());
        wake();
        return;
    }
}

void Iax2Engine::Impl::startRegistration(Registration &reg, TimePoint now)
{
    retire(std::move(reg.dialogue));
    reg.dialogue = newDialogue();
    Dialogue &dlg = *reg.dialogue;
    dlg.peer = reg.address;
    dlg.start = now;
    reg.authAnswered = false;
    reg.awaitingReply = true;
    reg.replyDeadline = now + Millis(std::max(1, m_config.registrationReplyTimeoutMs));
    IeList ies;
    ies.addString(Ie::Username, reg.account.user);
    if (!reg.releasing)
        ies.addU16(Ie::Refresh, uint16_t(std::clamp(reg.account.refresh, kMinRefresh, 65535)));
    openDialogue(dlg, reg.releasing ? Cmd::RegRel : Cmd::RegReq, ies, now);
}

void Iax2Engine::Impl::handleRegistrationFrame(
    Registration &reg, const FullFrame &frame, const IeList *ies, TimePoint now)
{
    if (frame.type != FrameType::Iax || !ies)
        return;
    Dialogue &dlg = *reg.dialogue;
    switch (frame.subclass) {
    case Cmd::RegAuth: {
        if (reg.authAnswered) {
            // A second challenge means the first answer was refused: answering
            // it would only repeat the same wrong secret.
            registrationFailed(reg, RegistrationReply::Rejected, now, "authentication failed");
            break;
        }
        reg.authAnswered = true;
        const uint16_t methods = ies->u16(Ie::AuthMethods).value_or(0);
        IeList reply;
        reply.addString(Ie::Username, reg.account.user);
        if (methods & Auth::Md5) {
            reply.addString(Ie::Md5Result, challengeResponse(ies->string(Ie::Challenge), reg.account.secret));
        } else if (methods & Auth::Plaintext) {
            emitText(TextWarning, "The registrar asks for the password in plain text");
            reply.addString(Ie::Password, reg.account.secret);
        } else {
            registrationFailed(
                reg, RegistrationReply::Rejected, now, "the registrar offers no supported authentication method");
            break;
        }
        if (!reg.releasing)
            reply.addU16(Ie::Refresh, uint16_t(std::clamp(reg.account.refresh, kMinRefresh, 65535)));
        sendIax(dlg, reg.releasing ? Cmd::RegRel : Cmd::RegReq, reply, now);
        // The answer to the challenge gets a deadline of its own.
        reg.awaitingReply = true;
        reg.replyDeadline = now + Millis(std::max(1, m_config.registrationReplyTimeoutMs));
        break;
    }
    case Cmd::RegAck: {
        reg.awaitingReply = false;
        if (reg.releasing)
            break;
        reg.backOff = Millis(0);
        const int granted = ies->u16(Ie::Refresh).value_or(uint16_t(reg.account.refresh));
        // Refresh at three quarters of the granted time, but never in a tight
        // loop, whatever the registrar grants.
        reg.nextAttempt = now + std::max(Millis(1000), Millis(std::max(granted, 1) * 750));
        const auto messages = ies->u16(Ie::MsgCount);
        emitRegistration(reg.id, RegistrationReply::Accepted, messages ? int(*messages & 0xff) : -1);
        break;
    }
    case Cmd::RegRej:
        registrationFailed(reg, RegistrationReply::Rejected, now, cleanText(ies->string(Ie::Cause)));
        break;
    case Cmd::Inval:
        // The registrar no longer knows the dialogue: the attempt went unanswered.
        registrationFailed(reg, RegistrationReply::Timeout, now);
        break;
    default:
        break;
    }
    if (reg.releasing && !reg.awaitingReply) {
        retire(std::move(reg.dialogue));
        reg = Registration();
    }
}

void Iax2Engine::Impl::registrationTimers(TimePoint now)
{
    for (Registration &r : m_registrations) {
        if (!r.used)
            continue;
        if (r.dialogue) {
            // A finished dialogue still resends its last acknowledgements.
            for (const auto &bytes : r.dialogue->seq.due(now))
                sendRaw(bytes, r.dialogue->peer);
        }
        if (r.dialogue && r.awaitingReply) {
            const bool unheard = r.dialogue->seq.failed();
            // Acknowledged but never answered: nothing is left to resend, so
            // only the deadline ends the wait.
            const bool unanswered = !unheard && now >= r.replyDeadline;
            if (unheard || unanswered) {
                if (r.releasing) {
                    r = Registration();
                    continue;
                }
                if (unanswered) {
                    const int ms = std::max(1, m_config.registrationReplyTimeoutMs);
                    const std::string limit = ms % 1000 ? std::to_string(ms) + " ms" : std::to_string(ms / 1000) + " s";
                    emitText(TextWarning,
                        "The registrar at " + addressText(r.address) + " acknowledged but sent no reply within " + limit
                            + "; registering again later");
                }
                registrationFailed(r, RegistrationReply::Timeout, now);
            }
        }
        if (!r.awaitingReply && r.haveAddress && !r.releasing && now >= r.nextAttempt)
            startRegistration(r, now);
    }
}

void Iax2Engine::Impl::registrationFailed(
    Registration &reg, RegistrationReply reply, TimePoint now, const std::string &cause)
{
    reg.awaitingReply = false;
    if (reg.releasing)
        return;
    emitRegistration(reg.id, reply, -1, cause);
    const Millis refresh = std::chrono::seconds(std::max(kMinRefresh, reg.account.refresh));
    if (reply == RegistrationReply::Rejected) {
        // Asking again will not change the answer until someone changes the
        // account, and registrars guarded against password guessing ban the
        // address (every phone behind it) after a few refusals.
        reg.nextAttempt = now + refresh;
        return;
    }
    // Soon after a single lost reply, so the binding hardly lapses; doubled
    // after each further failure up to the refresh interval, so a registrar
    // that keeps failing is not pressed.
    const Millis first = Millis(std::max(1, m_config.registrationRetryMs));
    reg.backOff = std::min(refresh, reg.backOff.count() > 0 ? reg.backOff * 2 : first);
    reg.nextAttempt = now + reg.backOff;
}

void Iax2Engine::Impl::emitRegistration(int id, RegistrationReply reply, int messages, const std::string &cause)
{
    push(RegistrationEvent { id, reply, messages, cause });
}

} // namespace iax2
