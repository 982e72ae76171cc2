#pragma once

// Small helpers of the engine's internals: addresses, texts from the network
// and the codec choice.

#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

namespace iax2 {

constexpr size_t kMaxTextLength = 80;

// Names and numbers come from the network and end up in labels, logs and
// AMI-bound texts: no control characters, and a sane length.
std::string cleanText(const std::string &text, size_t maxLength = kMaxTextLength);

bool sameAddress(const sockaddr_in &a, const sockaddr_in &b);
std::string addressText(const sockaddr_in &addr);
// The host part only, without the port.
std::string hostText(const sockaddr_in &addr);
uint64_t addressKey(const sockaddr_in &addr);
bool numericAddress(const std::string &host, uint16_t port, sockaddr_in &out);
bool isLoopback(const sockaddr_in &addr);

// The APPARENT ADDR element carries a socket address as the hosts lay it out:
// family in little-endian order, then port and address in network order, then
// eight zero bytes.
std::vector<uint8_t> apparentAddress(const sockaddr_in &addr);

uint32_t lowestBit(uint32_t mask);
bool singleBit(uint32_t mask);
std::string formatName(uint32_t format);

// The format to use for a call: ours when the peer can take it, else the
// peer's own choice, else the first that both sides have.
uint32_t chooseFormat(uint32_t preferred, uint32_t ours, uint32_t peerCapability, uint32_t peerFormat);

} // namespace iax2
