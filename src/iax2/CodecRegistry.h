#pragma once

// Maps format bits to codec factories, so that more codecs can be plugged in
// without touching the engine.

#include "iax2/media/Codec.h"

#include <functional>
#include <map>

namespace iax2 {

class CodecRegistry
{
public:
    using Factory = std::function<std::unique_ptr<Codec>(uint32_t format, const SpeexSettings &speex)>;

    // A registry that knows G.711 u-law and a-law.
    static CodecRegistry withG711();
    // G.711 plus GSM and Speex from the media library.
    static CodecRegistry withMediaCodecs();

    // Registers factory for every bit in formats (replacing earlier ones).
    void add(uint32_t formats, Factory factory);
    // nullptr when the format is unknown or the factory fails.
    std::unique_ptr<Codec> create(uint32_t format, const SpeexSettings &speex = SpeexSettings()) const;
    uint32_t formats() const;

private:
    std::map<uint32_t, Factory> m_factories;
};

} // namespace iax2
