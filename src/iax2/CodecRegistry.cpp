#include "iax2/CodecRegistry.h"

#include "iax2/G711Codec.h"
#include "iax2/media/MediaCodecs.h"

namespace iax2 {

CodecRegistry CodecRegistry::withG711()
{
    CodecRegistry registry;
    registry.add(FormatUlaw, [](uint32_t, const SpeexSettings &) { return std::make_unique<UlawCodec>(); });
    registry.add(FormatAlaw, [](uint32_t, const SpeexSettings &) { return std::make_unique<AlawCodec>(); });
    return registry;
}

CodecRegistry CodecRegistry::withMediaCodecs()
{
    CodecRegistry registry = withG711();
    registry.add(mediaCodecFormats(),
        [](uint32_t format, const SpeexSettings &speex) { return createMediaCodec(format, speex); });
    return registry;
}

void CodecRegistry::add(uint32_t formats, Factory factory)
{
    for (uint32_t bit = 1; bit; bit <<= 1) {
        if (formats & bit)
            m_factories[bit] = factory;
    }
}

std::unique_ptr<Codec> CodecRegistry::create(uint32_t format, const SpeexSettings &speex) const
{
    const auto it = m_factories.find(format);
    if (it == m_factories.end())
        return nullptr;
    return it->second(format, speex);
}

uint32_t CodecRegistry::formats() const
{
    uint32_t mask = 0;
    for (const auto &entry : m_factories)
        mask |= entry.first;
    return mask;
}

} // namespace iax2
