#pragma once

// The device that is always there: silent capture, discarded playback. The
// engine's clock paces it, so calls run without a sound card.

#include "iax2/media/AudioDevice.h"

#include <atomic>

namespace iax2 {

class NullAudioDevice : public AudioDevice
{
public:
    static constexpr int kId = 0;

    std::vector<AudioDeviceInfo> devices() const override;
    bool select(int input, int output, int ring) override;
    bool start() override;
    void stop() override;
    bool isRunning() const override { return m_running; }
    bool readFrame(int16_t *frame) override;
    void writeFrame(const int16_t *frame) override;

private:
    std::atomic<bool> m_running { false };
};

} // namespace iax2
