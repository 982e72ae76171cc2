#pragma once

// An audio device in memory: tests inject the capture side and read back what
// the engine played. Thread safe, since the engine's thread reads and writes
// while a test inspects.

#include "iax2/media/AudioDevice.h"

#include <deque>
#include <mutex>

namespace iax2 {

class MemoryAudioDevice : public AudioDevice
{
public:
    static constexpr int kId = 100;
    // Playback kept for inspection is capped (60 s at 8 kHz); older samples go.
    static constexpr size_t kMaxKept = 60 * 8000;

    std::vector<AudioDeviceInfo> devices() const override;
    bool select(int input, int output, int ring) override;
    bool start() override;
    void stop() override;
    bool isRunning() const override;
    // Injected samples first, silence once they run out.
    bool readFrame(int16_t *frame) override;
    void writeFrame(const int16_t *frame) override;
    void writeRingFrame(const int16_t *frame) override;

    void inject(const std::vector<int16_t> &samples);
    size_t injectedLeft() const;
    // Takes (and clears) what was played so far.
    std::vector<int16_t> takePlayed();
    size_t playedCount() const;
    size_t ringFrames() const;

private:
    mutable std::mutex m_mutex;
    bool m_running = false;
    std::deque<int16_t> m_capture;
    std::deque<int16_t> m_played;
    size_t m_ringFrames = 0;
};

} // namespace iax2
