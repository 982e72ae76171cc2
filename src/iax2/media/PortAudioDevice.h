#pragma once

#include "iax2/media/AudioDevice.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace iax2 {

// The sound card through PortAudio. One duplex stream carries the microphone and
// the call's audio; the ring tone has an output stream of its own on the ring
// device. Streams run at a rate the device accepts and are converted to and
// from 8 kHz here; the audio callbacks only copy between lock-free rings.
//
// Owns PortAudio's initialisation. select, start, stop, stopRing, readFrame,
// writeFrame and writeRingFrame belong to one thread (the engine's); devices()
// may be called from any thread.
class PortAudioDevice : public AudioDevice
{
public:
    using ErrorHandler = std::function<void(const std::string &message)>;
    using LogHandler = std::function<void(const std::string &line)>;

    struct Stats
    {
        uint64_t callbacks = 0; // audio callbacks of the main stream
        uint64_t captureOverflows = 0; // captured samples dropped: the engine read too slowly
        uint64_t playbackUnderruns = 0; // callbacks that found too little to play
        uint64_t ringUnderruns = 0;
        uint64_t deviceXruns = 0; // over- and underflows PortAudio itself reported
    };

    PortAudioDevice();
    ~PortAudioDevice() override;
    PortAudioDevice(const PortAudioDevice &) = delete;
    PortAudioDevice &operator=(const PortAudioDevice &) = delete;

    // False when PortAudio failed to initialise; the device then lists nothing.
    bool isInitialized() const { return m_initialized; }
    // PortAudio's first initialisation probes every host API and can hang for
    // good in a sound library (a JACK client killed inside its database leaves
    // the lock taken). It runs once per process on a thread of its own; a
    // constructor waits at most waitMs for it, then the process goes without
    // sound. Tests replace the probe before the first device is made.
    static void setFirstInitialisation(std::function<int()> probe, int waitMs);
    // Receives every error text (device gone, stream failed); called on the
    // thread that made the failing call, never from an audio callback.
    void setErrorHandler(ErrorHandler handler) { m_onError = std::move(handler); }
    // Receives lines for the program log: at once the probe made at
    // construction (the device table and what ALSA and JACK said meanwhile),
    // later what those libraries say when streams open and close. Called on
    // the thread that set it, then on the thread that starts and stops streams.
    void setLogHandler(LogHandler handler);

    // PortAudio's device table, in its own order; ids are its device indexes.
    std::vector<AudioDeviceInfo> devices() const override;
    // An id that is not (or no longer) a device of that role falls back to the
    // default device of the role, or to none, with an error; returns false then.
    bool select(int input, int output, int ring) override;
    // Devices in force: after select, or after start fell back from a device that would not open.
    int inputDevice() const { return m_input; }
    int outputDevice() const { return m_output; }
    int ringDevice() const { return m_ring; }

    // Opens and starts the duplex stream on the selected input and output.
    // Returns false when a selected role was left without a device. Stop the
    // ring stream first when the ring device is also the call's device: a
    // hardware device without mixing can be opened only once.
    bool start() override;
    void stop() override;
    bool isRunning() const override { return m_running; }

    bool readFrame(int16_t *frame) override;
    void writeFrame(const int16_t *frame) override;
    // Opens the ring stream on first use; when the ring device is the output
    // device of the running duplex stream, the frame goes to that stream.
    void writeRingFrame(const int16_t *frame) override;
    // Closes the ring stream (ringing is over).
    void stopRing() override;
    bool ringSharesOutput() const override;

    // Rates the streams run at, 0 when closed.
    int streamRate() const;
    int ringRate() const;
    Stats stats() const;

    struct Stream;

protected:
    // Sample rates to try, in order, before the device's own default rate. The
    // codecs' 8 kHz comes first: no conversion, and sound servers convert well.
    virtual std::vector<int> streamRates() const;

private:
    void reportError(const std::string &message) const;
    void flushLibraryLog() const;
    int resolve(int id, int capability, const char *role, bool *fellBack) const;
    bool openMain();
    bool checkStreams();

    bool m_initialized = false;
    std::string m_initError;
    ErrorHandler m_onError;
    LogHandler m_onLog;
    std::vector<std::string> m_probe;
    int m_wantInput = -1; // as selected
    int m_wantOutput = -1;
    int m_input = -1; // in force
    int m_output = -1;
    int m_ring = -1;
    bool m_running = false;
    std::unique_ptr<Stream> m_main;
    std::unique_ptr<Stream> m_ringStream;
    bool m_ringFailed = false; // reported once per ringing, not once per frame
    int m_framesSinceCheck = 0;
};

} // namespace iax2
