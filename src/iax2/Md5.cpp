#include "iax2/Md5.h"

#include <cmath>
#include <cstring>

namespace iax2 {

namespace {

constexpr uint32_t kShift[64] = { 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 5, 9, 14, 20, 5, 9, 14,
    20, 5, 9, 14, 20, 5, 9, 14, 20, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 6, 10, 15, 21, 6, 10,
    15, 21, 6, 10, 15, 21, 6, 10, 15, 21 };

struct Constants
{
    uint32_t k[64];
    Constants()
    {
        // K[i] = floor(|sin(i + 1)| * 2^32), exact in double precision.
        for (int i = 0; i < 64; ++i)
            k[i] = uint32_t(std::floor(std::fabs(std::sin(double(i + 1))) * 4294967296.0));
    }
};

uint32_t rotl(uint32_t x, uint32_t c)
{
    return (x << c) | (x >> (32 - c));
}

void block(uint32_t h[4], const uint8_t *chunk, const uint32_t *k)
{
    uint32_t m[16];
    for (int i = 0; i < 16; ++i)
        m[i] = uint32_t(chunk[i * 4]) | (uint32_t(chunk[i * 4 + 1]) << 8) | (uint32_t(chunk[i * 4 + 2]) << 16)
            | (uint32_t(chunk[i * 4 + 3]) << 24);
    uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
    for (uint32_t i = 0; i < 64; ++i) {
        uint32_t f;
        uint32_t g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (d & b) | (~d & c);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const uint32_t tmp = d;
        d = c;
        c = b;
        b = b + rotl(a + f + k[i] + m[g], kShift[i]);
        a = tmp;
    }
    h[0] += a;
    h[1] += b;
    h[2] += c;
    h[3] += d;
}

} // namespace

std::array<uint8_t, 16> md5(const std::string &data)
{
    static const Constants kConstants;
    uint32_t h[4] = { 0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476 };
    const auto *bytes = reinterpret_cast<const uint8_t *>(data.data());
    const size_t size = data.size();
    size_t pos = 0;
    for (; size - pos >= 64; pos += 64)
        block(h, bytes + pos, kConstants.k);

    uint8_t tail[128] = {};
    const size_t rest = size - pos;
    std::memcpy(tail, bytes + pos, rest);
    tail[rest] = 0x80;
    const size_t tailSize = rest < 56 ? 64 : 128;
    const uint64_t bits = uint64_t(size) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailSize - 8 + i] = uint8_t(bits >> (8 * i));
    block(h, tail, kConstants.k);
    if (tailSize == 128)
        block(h, tail + 64, kConstants.k);

    std::array<uint8_t, 16> digest;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            digest[i * 4 + j] = uint8_t(h[i] >> (8 * j));
    return digest;
}

std::string md5Hex(const std::string &data)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (uint8_t b : md5(data)) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 15]);
    }
    return out;
}

} // namespace iax2
