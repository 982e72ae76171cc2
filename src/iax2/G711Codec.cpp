#include "iax2/G711Codec.h"

#include <algorithm>
#include <iterator>

#include <array>

namespace iax2 {

namespace {

constexpr int kUlawBias = 0x84;
constexpr int kUlawClip = 32635;

int highestBit(int value)
{
    int bit = -1;
    while (value) {
        value >>= 1;
        ++bit;
    }
    return bit;
}

// Decoding is a plain lookup; the tables are built from the decoding rule once.
struct DecodeTables
{
    std::array<int16_t, 256> ulaw;
    std::array<int16_t, 256> alaw;
    DecodeTables()
    {
        for (int i = 0; i < 256; ++i) {
            const int u = ~i & 0xff;
            const int uExp = (u >> 4) & 7;
            const int uMagnitude = ((((u & 0x0f) << 3) + kUlawBias) << uExp) - kUlawBias;
            ulaw[i] = int16_t((u & 0x80) ? -uMagnitude : uMagnitude);

            const int a = i ^ 0x55;
            const int aExp = (a >> 4) & 7;
            const int aMantissa = a & 0x0f;
            const int aMagnitude = aExp == 0 ? (aMantissa << 4) + 8 : ((aMantissa << 4) + 0x108) << (aExp - 1);
            alaw[i] = int16_t((a & 0x80) ? aMagnitude : -aMagnitude);
        }
    }
};

const DecodeTables &tables()
{
    static const DecodeTables kTables;
    return kTables;
}

} // namespace

uint8_t linearToUlaw(int16_t sample)
{
    int value = sample;
    int sign = 0;
    if (value < 0) {
        sign = 0x80;
        value = -value;
    }
    if (value > kUlawClip)
        value = kUlawClip;
    value += kUlawBias;
    const int exponent = highestBit(value) - 7;
    const int mantissa = (value >> (exponent + 3)) & 0x0f;
    return uint8_t(~(sign | (exponent << 4) | mantissa));
}

int16_t ulawToLinear(uint8_t code)
{
    return tables().ulaw[code];
}

uint8_t linearToAlaw(int16_t sample)
{
    int value = sample;
    int sign = 0x80;
    if (value < 0) {
        sign = 0;
        value = -value;
    }
    if (value > 32767)
        value = 32767;
    int code;
    if (value < 256) {
        code = value >> 4;
    } else {
        const int exponent = highestBit(value) - 7;
        code = (exponent << 4) | ((value >> (exponent + 3)) & 0x0f);
    }
    return uint8_t((sign | code) ^ 0x55);
}

int16_t alawToLinear(uint8_t code)
{
    return tables().alaw[code];
}

void G711Codec::remember(const std::vector<int16_t> &out, size_t start)
{
    const size_t count = out.size() - start;
    if (count >= size_t(kFrameSamples)) {
        std::copy(out.end() - kFrameSamples, out.end(), m_last);
    } else {
        // A short payload: slide it in behind what was kept.
        std::copy(m_last + count, m_last + kFrameSamples, m_last);
        std::copy(out.begin() + long(start), out.end(), m_last + (kFrameSamples - long(count)));
    }
    m_lostInRow = 0;
}

void G711Codec::conceal(std::vector<int16_t> &out)
{
    static const float kFade[] = { 1.0f, 0.7f, 0.45f, 0.25f, 0.1f };
    const int lost = m_lostInRow++;
    const float gain = lost < int(std::size(kFade)) ? kFade[lost] : 0.0f;
    for (int i = 0; i < kFrameSamples; ++i)
        out.push_back(int16_t(m_last[i] * gain));
}

void UlawCodec::encode(const int16_t *pcm, std::vector<uint8_t> &out)
{
    const size_t at = out.size();
    out.resize(at + kFrameSamples);
    for (int i = 0; i < kFrameSamples; ++i)
        out[at + size_t(i)] = linearToUlaw(pcm[i]);
}

bool UlawCodec::decode(const uint8_t *data, size_t size, std::vector<int16_t> &out)
{
    out.reserve(out.size() + size);
    const size_t start = out.size();
    for (size_t i = 0; i < size; ++i)
        out.push_back(ulawToLinear(data[i]));
    remember(out, start);
    return true;
}

void AlawCodec::encode(const int16_t *pcm, std::vector<uint8_t> &out)
{
    const size_t at = out.size();
    out.resize(at + kFrameSamples);
    for (int i = 0; i < kFrameSamples; ++i)
        out[at + size_t(i)] = linearToAlaw(pcm[i]);
}

bool AlawCodec::decode(const uint8_t *data, size_t size, std::vector<int16_t> &out)
{
    out.reserve(out.size() + size);
    const size_t start = out.size();
    for (size_t i = 0; i < size; ++i)
        out.push_back(alawToLinear(data[i]));
    remember(out, start);
    return true;
}

} // namespace iax2
