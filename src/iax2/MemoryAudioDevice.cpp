#include "iax2/MemoryAudioDevice.h"

#include "iax2/media/Codec.h"

namespace iax2 {

std::vector<AudioDeviceInfo> MemoryAudioDevice::devices() const
{
    return singleDeviceTable(kId, "Memory");
}

bool MemoryAudioDevice::select(int input, int output, int ring)
{
    return selectsOnly(kId, input, output, ring);
}

bool MemoryAudioDevice::start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = true;
    return true;
}

void MemoryAudioDevice::stop()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = false;
}

bool MemoryAudioDevice::isRunning() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_running;
}

bool MemoryAudioDevice::readFrame(int16_t *frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int i = 0; i < Codec::kFrameSamples; ++i) {
        if (m_capture.empty()) {
            frame[i] = 0;
        } else {
            frame[i] = m_capture.front();
            m_capture.pop_front();
        }
    }
    return true;
}

void MemoryAudioDevice::writeFrame(const int16_t *frame)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_played.insert(m_played.end(), frame, frame + Codec::kFrameSamples);
    while (m_played.size() > kMaxKept)
        m_played.pop_front();
}

void MemoryAudioDevice::writeRingFrame(const int16_t *)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_ringFrames;
}

void MemoryAudioDevice::inject(const std::vector<int16_t> &samples)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_capture.insert(m_capture.end(), samples.begin(), samples.end());
}

size_t MemoryAudioDevice::injectedLeft() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_capture.size();
}

std::vector<int16_t> MemoryAudioDevice::takePlayed()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<int16_t> out(m_played.begin(), m_played.end());
    m_played.clear();
    return out;
}

size_t MemoryAudioDevice::playedCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_played.size();
}

size_t MemoryAudioDevice::ringFrames() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ringFrames;
}

} // namespace iax2
