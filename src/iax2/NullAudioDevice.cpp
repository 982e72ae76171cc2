#include "NullAudioDevice.h"

#include "media/Codec.h"

#include <algorithm>

namespace iax2 {

std::vector<AudioDeviceInfo> NullAudioDevice::devices() const
{
    AudioDeviceInfo info;
    info.id = kId;
    info.name = "No sound device";
    info.capabilities = AudioInput | AudioOutput | AudioRing;
    info.defaultInput = info.defaultOutput = info.defaultRing = true;
    return { info };
}

bool NullAudioDevice::select(int input, int output, int ring)
{
    auto known = [](int id) { return id == -1 || id == kId; };
    return known(input) && known(output) && known(ring);
}

bool NullAudioDevice::start()
{
    m_running = true;
    return true;
}

void NullAudioDevice::stop()
{
    m_running = false;
}

bool NullAudioDevice::readFrame(int16_t *frame)
{
    std::fill(frame, frame + Codec::kFrameSamples, int16_t(0));
    return true;
}

void NullAudioDevice::writeFrame(const int16_t *) { }

} // namespace iax2
