// Name resolution for calls and registrations to a host name. Lookups may
// block for a while, so they run on the processing thread without the lock.

#include "iax2/engine/EngineImpl.h"

#include "iax2/engine/EngineUtil.h"

#include <netdb.h>
#include <sys/socket.h>

#include <map>

namespace iax2 {

void Iax2Engine::Impl::resolvePending()
{
    std::vector<std::string> wanted;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const TimePoint now = clockNow();
        for (const Call &c : m_calls) {
            if (c.used && c.waitingForAddress)
                wanted.push_back(c.account.host);
        }
        // A registration whose lookup failed tries again when its retry is due.
        for (const Registration &r : m_registrations) {
            if (r.used && r.waitingForAddress && now >= r.nextAttempt)
                wanted.push_back(r.account.host);
        }
    }
    if (wanted.empty())
        return;
    std::map<std::string, std::optional<in_addr>> found;
    for (const std::string &host : wanted) {
        if (found.count(host))
            continue;
        addrinfo hints {};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo *result = nullptr;
        std::optional<in_addr> addr;
        if (getaddrinfo(host.c_str(), nullptr, &hints, &result) == 0 && result) {
            addr = reinterpret_cast<sockaddr_in *>(result->ai_addr)->sin_addr;
            freeaddrinfo(result);
        }
        found[host] = addr;
    }

    std::lock_guard<std::mutex> lock(m_mutex);
    const TimePoint now = clockNow();
    for (size_t i = 0; i < m_calls.size(); ++i) {
        Call &c = m_calls[i];
        if (!c.used || !c.waitingForAddress || !found.count(c.account.host))
            continue;
        c.waitingForAddress = false;
        const auto &addr = found[c.account.host];
        if (!addr) {
            emitText(TextError, "Cannot resolve host " + c.account.host);
            log(TextStatus, "Call " + std::to_string(i) + " ended: host not found");
            dropCall(int(i), CallEndReason::Failed);
            continue;
        }
        numericAddress("0.0.0.0", c.account.port, c.dialogue->peer);
        c.dialogue->peer.sin_addr = *addr;
        startCall(int(i), now);
    }
    for (Registration &r : m_registrations) {
        if (!r.used || !r.waitingForAddress || now < r.nextAttempt || !found.count(r.account.host))
            continue;
        r.waitingForAddress = false;
        const auto &addr = found[r.account.host];
        if (!addr) {
            emitText(TextError, "Cannot resolve host " + r.account.host);
            registrationFailed(r, RegistrationReply::Timeout, now);
            r.waitingForAddress = true;
            continue;
        }
        numericAddress("0.0.0.0", r.account.port, r.address);
        r.address.sin_addr = *addr;
        r.haveAddress = true;
        r.nextAttempt = now;
    }
}

} // namespace iax2
