#include "iax2/NullAudioDevice.h"

#include "iax2/media/Codec.h"

#include <algorithm>

namespace iax2 {

std::vector<AudioDeviceInfo> NullAudioDevice::devices() const
{
    return singleDeviceTable(kId, "No sound device");
}

bool NullAudioDevice::select(int input, int output, int ring)
{
    return selectsOnly(kId, input, output, ring);
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
