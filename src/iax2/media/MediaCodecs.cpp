#include "iax2/media/MediaCodecs.h"

#include "iax2/media/GsmCodec.h"
#include "iax2/media/SpeexCodec.h"

namespace iax2 {

std::unique_ptr<Codec> createMediaCodec(uint32_t format, const SpeexSettings &speex)
{
    switch (format) {
    case FormatGsm:
        return std::make_unique<GsmCodec>();
    case FormatSpeex:
        return std::make_unique<SpeexCodec>(speex);
    default:
        return nullptr;
    }
}

uint32_t mediaCodecFormats()
{
    return FormatGsm | FormatSpeex;
}

} // namespace iax2
