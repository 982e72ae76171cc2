#pragma once

// MD5 (RFC 1321), enough for IAX2 challenge/response; the protocol core
// depends on nothing outside the C++ library.

#include <array>
#include <cstdint>
#include <string>

namespace iax2 {

std::array<uint8_t, 16> md5(const std::string &data);
std::string md5Hex(const std::string &data);

// The MD5 RESULT of an IAX2 challenge: hex of MD5(challenge + secret), lower case.
inline std::string challengeResponse(const std::string &challenge, const std::string &secret)
{
    return md5Hex(challenge + secret);
}

} // namespace iax2
