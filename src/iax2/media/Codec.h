#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace iax2 {

// IAX2 media format bits (RFC 5456, "Media Formats").
enum Format : uint32_t {
    FormatG723 = 1u << 0,
    FormatGsm = 1u << 1,
    FormatUlaw = 1u << 2,
    FormatAlaw = 1u << 3,
    FormatG726 = 1u << 4,
    FormatAdpcm = 1u << 5,
    FormatSlin = 1u << 6,
    FormatLpc10 = 1u << 7,
    FormatG729 = 1u << 8,
    FormatSpeex = 1u << 9,
    FormatIlbc = 1u << 10,
};

// Speex encoder/decoder settings; the meaning of each value follows the settings page.
struct SpeexSettings
{
    int decodeEnhance = 1;  // 0 off, 1 on
    float quality = -1.0f;  // -1: encoder default, else 0..10
    int cbr = -1;           // bits per second, -1: off
    int vbr = 0;            // 0 off, 1 on
    int abr = 0;            // bits per second, 0: off
    int complexity = 3;     // 0..10
};

// One voice codec instance (one per call and direction pair). All media is
// 8 kHz, 16-bit mono; one frame is 20 ms = 160 samples.
class Codec
{
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kFrameSamples = 160;

    virtual ~Codec() = default;
    virtual uint32_t format() const = 0;
    // Appends the encoded bytes of exactly kFrameSamples samples to out.
    virtual void encode(const int16_t *pcm, std::vector<uint8_t> &out) = 0;
    // Decodes a payload (one or more frames) and appends the samples to out;
    // returns false for a malformed payload (out is then unchanged).
    virtual bool decode(const uint8_t *data, size_t size, std::vector<int16_t> &out) = 0;
    // Appends kFrameSamples samples concealing one lost frame.
    virtual void conceal(std::vector<int16_t> &out) { out.insert(out.end(), kFrameSamples, 0); }
};

} // namespace iax2
