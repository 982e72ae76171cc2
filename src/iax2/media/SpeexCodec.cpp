#include "iax2/media/SpeexCodec.h"

#include <speex/speex.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace iax2 {

namespace {
constexpr size_t kMaxPayloadBytes = 4096;
constexpr int kMaxFramesPerPayload = 100;
// The smallest Speex item is a 5-bit terminator or mode code; fewer bits are padding.
constexpr int kMinItemBits = 5;

// Bits of a narrowband frame after its 5-bit header, by mode; and of a
// wideband layer after its 4-bit header, by submode. Submodes marked -1 make
// libspeex rewind and complain (0 included: it steps back over the header and
// finds "more than two wideband layers").
constexpr int kNarrowbandBits[9] = { 0, 38, 114, 155, 215, 295, 359, 487, 74 };
constexpr int kWidebandBits[8] = { -1, 32, 108, 188, 348, -1, -1, -1 };

class BitReader
{
public:
    BitReader(const uint8_t *data, size_t size)
        : m_data(data)
        , m_bits(int64_t(size) * 8)
    {
    }
    int64_t remaining() const { return m_bits - m_pos; }
    unsigned take(int n)
    {
        unsigned v = 0;
        for (int i = 0; i < n; ++i, ++m_pos)
            v = (v << 1) | (m_pos < m_bits ? (m_data[m_pos / 8] >> (7 - m_pos % 8)) & 1u : 0u);
        return v;
    }
    void skip(int64_t n) { m_pos += n; }

private:
    const uint8_t *m_data;
    int64_t m_bits;
    int64_t m_pos = 0;
};

// Walks the payload the way the decoder will, and refuses what libspeex would
// call corrupt: it says so on stderr for every such frame, and a hostile peer
// must not be able to flood the console.
bool corruptForLibspeex(const uint8_t *data, size_t size)
{
    BitReader bits(data, size);
    for (int frames = 0; frames < kMaxFramesPerPayload && bits.remaining() >= kMinItemBits; ++frames) {
        unsigned mode = 0;
        do {
            if (bits.remaining() < 5)
                return false;
            // Up to two wideband layers come first and are skipped; the
            // decoder checks for room before the second one, not the third.
            for (int layer = 0; bits.take(1); ++layer) {
                const int skip = layer < 2 ? kWidebandBits[bits.take(3)] : -1;
                if (skip < 0)
                    return true;
                bits.skip(skip);
                if (layer == 0 && bits.remaining() < 5)
                    return false;
            }
            if (bits.remaining() < 4)
                return false;
            mode = bits.take(4);
            if (mode == 15)
                return false; // terminator
            if (mode == 14) {
                // An in-band request: its length follows from its id.
                const unsigned id = bits.take(4);
                bits.skip(id < 2 ? 1 : id < 8 ? 4 : id < 10 ? 8 : id < 12 ? 16 : id < 14 ? 32 : 64);
            } else if (mode == 13) {
                bits.skip(5 + 8 * int64_t(bits.take(4)));
            } else if (mode > 8) {
                return true;
            }
        } while (mode > 8);
        bits.skip(kNarrowbandBits[mode]);
    }
    return false;
}

} // namespace

SpeexCodec::SpeexCodec(const SpeexSettings &s)
    : m_encoder(speex_encoder_init(&speex_nb_mode))
    , m_decoder(speex_decoder_init(&speex_nb_mode))
{
    speex_bits_init(&m_encodeBits);
    speex_bits_init(&m_decodeBits);
    m_scratch.resize(kFrameSamples * kMaxFramesPerPayload);

    int enhance = s.decodeEnhance ? 1 : 0;
    speex_decoder_ctl(m_decoder, SPEEX_SET_ENH, &enhance);

    int complexity = std::clamp(s.complexity, 0, 10);
    speex_encoder_ctl(m_encoder, SPEEX_SET_COMPLEXITY, &complexity);

    // Quality first, so that an explicit bit rate chosen with it takes precedence.
    const bool hasQuality = s.quality >= 0.0f && std::isfinite(s.quality);
    const float quality = std::clamp(s.quality, 0.0f, 10.0f);
    if (s.abr > 0) {
        // ABR drives VBR itself towards the average.
        int abr = s.abr;
        speex_encoder_ctl(m_encoder, SPEEX_SET_ABR, &abr);
    } else if (s.vbr) {
        int on = 1;
        speex_encoder_ctl(m_encoder, SPEEX_SET_VBR, &on);
        if (hasQuality) {
            float q = quality;
            speex_encoder_ctl(m_encoder, SPEEX_SET_VBR_QUALITY, &q);
        }
    } else {
        if (hasQuality) {
            int q = static_cast<int>(std::lround(quality));
            speex_encoder_ctl(m_encoder, SPEEX_SET_QUALITY, &q);
        }
        if (s.cbr > 0) {
            int rate = s.cbr;
            speex_encoder_ctl(m_encoder, SPEEX_SET_BITRATE, &rate);
        }
    }
}

SpeexCodec::~SpeexCodec()
{
    speex_bits_destroy(&m_encodeBits);
    speex_bits_destroy(&m_decodeBits);
    if (m_encoder)
        speex_encoder_destroy(m_encoder);
    if (m_decoder)
        speex_decoder_destroy(m_decoder);
}

int SpeexCodec::bitRate() const
{
    int rate = 0;
    speex_encoder_ctl(m_encoder, SPEEX_GET_BITRATE, &rate);
    return rate;
}

void SpeexCodec::encode(const int16_t *pcm, std::vector<uint8_t> &out)
{
    spx_int16_t in[kFrameSamples];
    std::copy(pcm, pcm + kFrameSamples, in);
    speex_bits_reset(&m_encodeBits);
    speex_encode_int(m_encoder, in, &m_encodeBits);
    const int bytes = speex_bits_nbytes(&m_encodeBits);
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(bytes));
    speex_bits_write(&m_encodeBits, reinterpret_cast<char *>(out.data() + at), bytes);
}

bool SpeexCodec::decode(const uint8_t *data, size_t size, std::vector<int16_t> &out)
{
    if (!data || size == 0 || size > kMaxPayloadBytes || corruptForLibspeex(data, size))
        return false;
    speex_bits_read_from(&m_decodeBits, reinterpret_cast<const char *>(data), static_cast<int>(size));
    int frames = 0;
    while (frames < kMaxFramesPerPayload) {
        if (speex_bits_remaining(&m_decodeBits) < kMinItemBits)
            break;
        spx_int16_t *frame = m_scratch.data() + frames * kFrameSamples;
        const int result = speex_decode_int(m_decoder, &m_decodeBits, frame);
        if (result == -1)
            break; // terminator: the rest is padding
        // A frame that ran past the end of the payload is truncated, not audio.
        if (result != 0 || speex_bits_remaining(&m_decodeBits) < 0)
            return false;
        ++frames;
    }
    if (frames == 0)
        return false;
    out.insert(out.end(), m_scratch.begin(), m_scratch.begin() + frames * kFrameSamples);
    return true;
}

void SpeexCodec::conceal(std::vector<int16_t> &out)
{
    spx_int16_t frame[kFrameSamples];
    speex_decode_int(m_decoder, nullptr, frame);
    out.insert(out.end(), frame, frame + kFrameSamples);
}

} // namespace iax2
