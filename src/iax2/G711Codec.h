#pragma once

// G.711 u-law and a-law: one byte per sample, so a 20 ms frame is 160 bytes.

#include "media/Codec.h"

namespace iax2 {

uint8_t linearToUlaw(int16_t sample);
int16_t ulawToLinear(uint8_t code);
uint8_t linearToAlaw(int16_t sample);
int16_t alawToLinear(uint8_t code);

class UlawCodec : public Codec
{
public:
    uint32_t format() const override { return FormatUlaw; }
    void encode(const int16_t *pcm, std::vector<uint8_t> &out) override;
    bool decode(const uint8_t *data, size_t size, std::vector<int16_t> &out) override;
};

class AlawCodec : public Codec
{
public:
    uint32_t format() const override { return FormatAlaw; }
    void encode(const int16_t *pcm, std::vector<uint8_t> &out) override;
    bool decode(const uint8_t *data, size_t size, std::vector<int16_t> &out) override;
};

} // namespace iax2
