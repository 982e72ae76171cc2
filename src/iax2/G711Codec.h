#pragma once

// G.711 u-law and a-law: one byte per sample, so a 20 ms frame is 160 bytes.

#include "iax2/media/Codec.h"

namespace iax2 {

uint8_t linearToUlaw(int16_t sample);
int16_t ulawToLinear(uint8_t code);
uint8_t linearToAlaw(int16_t sample);
int16_t alawToLinear(uint8_t code);

// G.711 has no loss concealment of its own: a lost frame repeats the last one
// heard, fading out over a few losses, so a single loss is not a click of silence.
class G711Codec : public Codec
{
public:
    void conceal(std::vector<int16_t> &out) override;

protected:
    // Keeps the end of what was just decoded into out from position start.
    void remember(const std::vector<int16_t> &out, size_t start);

private:
    int16_t m_last[kFrameSamples] = {};
    int m_lostInRow = 0;
};

class UlawCodec : public G711Codec
{
public:
    uint32_t format() const override { return FormatUlaw; }
    void encode(const int16_t *pcm, std::vector<uint8_t> &out) override;
    bool decode(const uint8_t *data, size_t size, std::vector<int16_t> &out) override;
};

class AlawCodec : public G711Codec
{
public:
    uint32_t format() const override { return FormatAlaw; }
    void encode(const int16_t *pcm, std::vector<uint8_t> &out) override;
    bool decode(const uint8_t *data, size_t size, std::vector<int16_t> &out) override;
};

} // namespace iax2
