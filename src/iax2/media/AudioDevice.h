#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace iax2 {

// Capability bits of an audio device, as the settings page lists them.
enum AudioCapability : int {
    AudioInput = 1,
    AudioOutput = 2,
    AudioRing = 4,
};

struct AudioDeviceInfo
{
    int id = -1;
    std::string name;
    int capabilities = 0;     // AudioCapability bits
    bool defaultInput = false;
    bool defaultOutput = false;
    bool defaultRing = false;
};

// The device table of a device that is its only entry, in every role.
inline std::vector<AudioDeviceInfo> singleDeviceTable(int id, const char *name)
{
    AudioDeviceInfo info;
    info.id = id;
    info.name = name;
    info.capabilities = AudioInput | AudioOutput | AudioRing;
    info.defaultInput = info.defaultOutput = info.defaultRing = true;
    return { info };
}

// Whether each of the three ids names that single device or none (-1).
inline bool selectsOnly(int id, int input, int output, int ring)
{
    auto known = [id](int candidate) { return candidate == -1 || candidate == id; };
    return known(input) && known(output) && known(ring);
}

// The engine's sound card. All samples are 8 kHz, 16-bit mono, in frames of 160.
// The engine's processing thread calls read/write; implementations must not block
// it for long (the capture side returns false when no whole frame is ready).
class AudioDevice
{
public:
    virtual ~AudioDevice() = default;

    virtual std::vector<AudioDeviceInfo> devices() const = 0;
    // Selects devices by id (-1: none). Returns false when an id is unknown.
    virtual bool select(int input, int output, int ring) = 0;

    // Starts and stops capture and playback for calls.
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual bool isRunning() const = 0;

    // Takes one captured frame of 160 samples when one is ready.
    virtual bool readFrame(int16_t *frame) = 0;
    // Queues one frame of 160 samples for playback.
    virtual void writeFrame(const int16_t *frame) = 0;
    // Queues one frame for the ring device (the ring tone).
    virtual void writeRingFrame(const int16_t *frame) { (void)frame; }
    // Ringing is over: a device with a stream of its own for the ring closes it.
    virtual void stopRing() { }
    // True when ring frames land in the running playback stream (the ring device
    // is the output device), so the caller mixes the tone in instead.
    virtual bool ringSharesOutput() const { return false; }
};

} // namespace iax2
