#include "iax2/engine/EngineUtil.h"

#include "iax2/media/Codec.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cstring>

namespace iax2 {

std::string cleanText(const std::string &text, size_t maxLength)
{
    std::string out;
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f)
            continue;
        out.push_back(c);
        if (out.size() >= maxLength)
            break;
    }
    return out;
}

bool sameAddress(const sockaddr_in &a, const sockaddr_in &b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

std::string hostText(const sockaddr_in &addr)
{
    char buf[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &addr.sin_addr, buf, sizeof buf);
    return buf;
}

std::string addressText(const sockaddr_in &addr)
{
    return hostText(addr) + ":" + std::to_string(ntohs(addr.sin_port));
}

uint64_t addressKey(const sockaddr_in &addr)
{
    return (uint64_t(addr.sin_addr.s_addr) << 16) | addr.sin_port;
}

bool numericAddress(const std::string &host, uint16_t port, sockaddr_in &out)
{
    std::memset(&out, 0, sizeof out);
    out.sin_family = AF_INET;
    out.sin_port = htons(port);
    return inet_pton(AF_INET, host.c_str(), &out.sin_addr) == 1;
}

bool isLoopback(const sockaddr_in &addr)
{
    return (ntohl(addr.sin_addr.s_addr) >> 24) == 127;
}

std::vector<uint8_t> apparentAddress(const sockaddr_in &addr)
{
    std::vector<uint8_t> out(16, 0);
    out[0] = AF_INET & 0xff;
    out[1] = (AF_INET >> 8) & 0xff;
    std::memcpy(&out[2], &addr.sin_port, 2);
    std::memcpy(&out[4], &addr.sin_addr.s_addr, 4);
    return out;
}

uint32_t lowestBit(uint32_t mask)
{
    return mask & (~mask + 1);
}

bool singleBit(uint32_t mask)
{
    return mask && !(mask & (mask - 1));
}

std::string formatName(uint32_t format)
{
    switch (format) {
    case FormatGsm:
        return "GSM";
    case FormatUlaw:
        return "u-law";
    case FormatAlaw:
        return "a-law";
    case FormatSpeex:
        return "Speex";
    case FormatIlbc:
        return "iLBC";
    default:
        return "format " + std::to_string(format);
    }
}

uint32_t chooseFormat(uint32_t preferred, uint32_t ours, uint32_t peerCapability, uint32_t peerFormat)
{
    const uint32_t common = ours & peerCapability;
    // Either choice may carry several bits by mistake; one is taken.
    if (common & preferred)
        return lowestBit(common & preferred);
    if (common & peerFormat)
        return lowestBit(common & peerFormat);
    static const uint32_t kOrder[] = { FormatUlaw, FormatAlaw, FormatGsm, FormatSpeex, FormatIlbc };
    for (uint32_t f : kOrder) {
        if (common & f)
            return f;
    }
    return lowestBit(common);
}

} // namespace iax2
