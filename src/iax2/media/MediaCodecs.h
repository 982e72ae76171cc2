#pragma once

#include "iax2/media/Codec.h"

namespace iax2 {

// Codecs the media library provides: GSM and Speex. Any other format (G.711
// lives with the protocol code; iLBC has no library here) gives nullptr.
std::unique_ptr<Codec> createMediaCodec(uint32_t format, const SpeexSettings &speex = SpeexSettings());

// The formats createMediaCodec handles, as a mask of Format bits.
uint32_t mediaCodecFormats();

} // namespace iax2
