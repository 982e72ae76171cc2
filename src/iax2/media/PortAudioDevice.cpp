#include "iax2/media/PortAudioDevice.h"

#include "iax2/media/AudioLibraryLog.h"
#include "iax2/media/Codec.h"
#include "iax2/media/Resampler.h"
#include "iax2/media/SpscRing.h"

#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace iax2 {

namespace {
constexpr int kCodecRate = Codec::kSampleRate;
constexpr int kFrame = Codec::kFrameSamples;
// Keep capture fresh: older audio than this is discarded when the engine reads,
// so a call never starts with the backlog of the idle time before it.
constexpr int kMaxCaptureBacklogMs = 60;
// Playback deeper than this means the engine's clock runs ahead of the card's.
constexpr int kMaxPlaybackBacklogMs = 200;
constexpr int kCheckEveryFrames = 25;
constexpr int kFirstInitWaitMs = 5000;

// The first initialisation, shared by the process. It keeps its reference for
// the process's life, so a device's own Pa_Initialize only counts. Never
// freed: a probe that hangs must not outlive what it writes to.
struct FirstInitialisation
{
    std::mutex mutex;
    std::condition_variable finished;
    std::function<int()> probe = [] { return int(Pa_Initialize()); };
    int waitMs = kFirstInitWaitMs;
    bool started = false;
    bool done = false;
    int result = paNoError;
};

FirstInitialisation &firstInitialisation()
{
    static auto *first = new FirstInitialisation;
    return *first;
}

// True once the first initialisation succeeded; *error says why not otherwise.
bool waitForFirstInitialisation(std::string *error)
{
    FirstInitialisation &first = firstInitialisation();
    std::unique_lock<std::mutex> lock(first.mutex);
    if (!first.started) {
        first.started = true;
        std::thread([&first, probe = first.probe] {
            const int result = probe();
            std::lock_guard<std::mutex> guard(first.mutex);
            first.result = result;
            first.done = true;
            first.finished.notify_all();
        }).detach();
    }
    if (!first.finished.wait_for(lock, std::chrono::milliseconds(first.waitMs), [&first] { return first.done; })) {
        *error = "Audio system did not answer within " + std::to_string(first.waitMs / 1000)
            + " s (a sound server or its lock is stuck): no sound until the program is restarted";
        return false;
    }
    if (first.result != paNoError) {
        *error = std::string("Audio system failed to start: ") + Pa_GetErrorText(PaError(first.result));
        return false;
    }
    return true;
}

std::string deviceLabel(int id)
{
    if (id < 0)
        return "(none)";
    const PaDeviceInfo *info = id >= 0 && id < Pa_GetDeviceCount() ? Pa_GetDeviceInfo(id) : nullptr;
    return info && info->name ? "\"" + std::string(info->name) + "\"" : std::to_string(id);
}
} // namespace

struct PortAudioDevice::Stream
{
    PaStream *pa = nullptr;
    int rate = 0;
    int inChannels = 0;
    int outChannels = 0;
    std::unique_ptr<SpscRing<int16_t>> capture;
    std::unique_ptr<SpscRing<int16_t>> playback;
    std::unique_ptr<Resampler> toCodec;
    std::unique_ptr<Resampler> fromCodec;
    std::vector<int16_t> pending; // captured audio at 8 kHz not yet handed out
    std::vector<int16_t> scratch;
    std::vector<int16_t> converted;
    std::atomic<uint64_t> callbacks { 0 };
    std::atomic<uint64_t> overflows { 0 };
    std::atomic<uint64_t> underruns { 0 };
    std::atomic<uint64_t> xruns { 0 };
    std::atomic<bool> finished { false };

    ~Stream()
    {
        if (pa) {
            Pa_AbortStream(pa);
            Pa_CloseStream(pa);
        }
    }

    // Runs on PortAudio's audio thread: copies only, no locks, no allocation.
    static int callback(const void *input, void *output, unsigned long frames, const PaStreamCallbackTimeInfo *,
        PaStreamCallbackFlags flags, void *user)
    {
        auto *s = static_cast<Stream *>(user);
        s->callbacks.fetch_add(1, std::memory_order_relaxed);
        if (flags & (paInputOverflow | paInputUnderflow | paOutputOverflow | paOutputUnderflow))
            s->xruns.fetch_add(1, std::memory_order_relaxed);
        if (input && s->capture) {
            const auto *in = static_cast<const int16_t *>(input);
            size_t written = 0;
            if (s->inChannels == 1) {
                written = s->capture->write(in, frames);
            } else {
                int16_t mono[256];
                for (unsigned long done = 0; done < frames;) {
                    const unsigned long n = std::min<unsigned long>(frames - done, 256);
                    for (unsigned long i = 0; i < n; ++i)
                        mono[i] = in[(done + i) * size_t(s->inChannels)];
                    written += s->capture->write(mono, n);
                    done += n;
                }
            }
            if (written < frames)
                s->overflows.fetch_add(frames - written, std::memory_order_relaxed);
        }
        if (output) {
            auto *out = static_cast<int16_t *>(output);
            size_t got = 0;
            if (s->outChannels == 1) {
                got = s->playback->read(out, frames);
                std::memset(out + got, 0, (frames - got) * sizeof(int16_t));
            } else {
                int16_t mono[256];
                for (unsigned long done = 0; done < frames;) {
                    const unsigned long n = std::min<unsigned long>(frames - done, 256);
                    const size_t r = s->playback->read(mono, n);
                    std::memset(mono + r, 0, (n - r) * sizeof(int16_t));
                    for (unsigned long i = 0; i < n; ++i)
                        for (int c = 0; c < s->outChannels; ++c)
                            out[(done + i) * size_t(s->outChannels) + size_t(c)] = mono[i];
                    got += r;
                    done += n;
                }
            }
            if (got < frames)
                s->underruns.fetch_add(1, std::memory_order_relaxed);
        }
        return paContinue;
    }

    static void onFinished(void *user) { static_cast<Stream *>(user)->finished.store(true); }

    // Tries rates and channel counts until the devices accept one; inDev or outDev may be -1.
    static std::unique_ptr<Stream> open(int inDev, int outDev, std::vector<int> rates, std::string *error)
    {
        const PaDeviceInfo *inInfo = inDev >= 0 ? Pa_GetDeviceInfo(inDev) : nullptr;
        const PaDeviceInfo *outInfo = outDev >= 0 ? Pa_GetDeviceInfo(outDev) : nullptr;
        if ((inDev >= 0 && !inInfo) || (outDev >= 0 && !outInfo) || (!inInfo && !outInfo)) {
            *error = "no such device";
            return nullptr;
        }
        for (const PaDeviceInfo *info : { inInfo, outInfo }) {
            if (info && info->defaultSampleRate > 0)
                rates.push_back(int(info->defaultSampleRate));
        }
        PaError last = paInvalidSampleRate;
        for (int rate : rates) {
            if (rate <= 0)
                continue;
            for (int inCh = 1; inCh <= 2; ++inCh) {
                if (inInfo && inCh > inInfo->maxInputChannels)
                    break;
                for (int outCh = 1; outCh <= 2; ++outCh) {
                    if (outInfo && outCh > outInfo->maxOutputChannels)
                        break;
                    PaStreamParameters in {};
                    in.device = inDev;
                    in.channelCount = inCh;
                    in.sampleFormat = paInt16;
                    in.suggestedLatency = inInfo ? inInfo->defaultLowInputLatency : 0;
                    PaStreamParameters out {};
                    out.device = outDev;
                    out.channelCount = outCh;
                    out.sampleFormat = paInt16;
                    out.suggestedLatency = outInfo ? outInfo->defaultLowOutputLatency : 0;
                    PaStreamParameters *inP = inInfo ? &in : nullptr;
                    PaStreamParameters *outP = outInfo ? &out : nullptr;
                    last = Pa_IsFormatSupported(inP, outP, rate);
                    if (last != paFormatIsSupported)
                        continue;

                    auto s = std::make_unique<Stream>();
                    s->rate = rate;
                    s->inChannels = inInfo ? inCh : 0;
                    s->outChannels = outInfo ? outCh : 0;
                    // Rings hold a second; the engine keeps them far emptier.
                    if (inInfo)
                        s->capture = std::make_unique<SpscRing<int16_t>>(size_t(rate));
                    s->playback = std::make_unique<SpscRing<int16_t>>(size_t(rate));
                    s->toCodec = std::make_unique<Resampler>(rate, kCodecRate);
                    s->fromCodec = std::make_unique<Resampler>(kCodecRate, rate);
                    s->pending.reserve(4 * kFrame);
                    s->scratch.resize(size_t(rate) / 10);
                    s->converted.reserve(size_t(rate) / 10 + 64);
                    last = Pa_OpenStream(&s->pa, inP, outP, rate, static_cast<unsigned long>(rate / 50), paClipOff,
                        &Stream::callback, s.get());
                    if (last != paNoError) {
                        s->pa = nullptr;
                        continue;
                    }
                    Pa_SetStreamFinishedCallback(s->pa, &Stream::onFinished);
                    last = Pa_StartStream(s->pa);
                    if (last != paNoError)
                        continue; // the destructor closes it
                    return s;
                }
            }
        }
        *error = Pa_GetErrorText(last);
        return nullptr;
    }

    bool isAlive() const { return pa && !finished.load() && Pa_IsStreamActive(pa) == 1; }
};

PortAudioDevice::PortAudioDevice()
{
    // The probe of every host API (JACK's included) talks on stderr: into the log instead.
    AudioLibraryLog::install();
    // No handler can be set yet: start() reports a failure.
    if (waitForFirstInitialisation(&m_initError)) {
        const PaError error = Pa_Initialize();
        m_initialized = error == paNoError;
        if (!m_initialized)
            m_initError = std::string("Audio system failed to start: ") + Pa_GetErrorText(error);
    }

    m_probe.push_back(std::string(Pa_GetVersionText()) + ": "
        + (m_initialized ? std::to_string(Pa_GetDeviceCount()) + " sound devices" : m_initError));
    if (m_initialized) {
        for (const AudioDeviceInfo &d : devices()) {
            m_probe.push_back("  " + std::to_string(d.id) + " " + d.name + ((d.capabilities & AudioInput) ? " in" : "")
                + ((d.capabilities & AudioOutput) ? " out" : ""));
        }
    }
    for (std::string &line : AudioLibraryLog::take())
        m_probe.push_back(std::move(line));
}

void PortAudioDevice::setLogHandler(LogHandler handler)
{
    m_onLog = std::move(handler);
    if (m_onLog) {
        for (const std::string &line : m_probe)
            m_onLog(line);
    }
}

void PortAudioDevice::flushLibraryLog() const
{
    const std::vector<std::string> lines = AudioLibraryLog::take();
    if (m_onLog) {
        for (const std::string &line : lines)
            m_onLog(line);
    }
}

std::vector<int> PortAudioDevice::streamRates() const
{
    return { kCodecRate, 16000, 48000, 44100, 32000, 22050, 11025 };
}

void PortAudioDevice::setFirstInitialisation(std::function<int()> probe, int waitMs)
{
    FirstInitialisation &first = firstInitialisation();
    std::lock_guard<std::mutex> lock(first.mutex);
    if (first.started)
        return;
    first.probe = std::move(probe);
    first.waitMs = waitMs;
}

PortAudioDevice::~PortAudioDevice()
{
    m_ringStream.reset();
    m_main.reset();
    if (m_initialized)
        Pa_Terminate();
}

void PortAudioDevice::reportError(const std::string &message) const
{
    if (m_onError)
        m_onError(message);
}

std::vector<AudioDeviceInfo> PortAudioDevice::devices() const
{
    std::vector<AudioDeviceInfo> list;
    if (!m_initialized)
        return list;
    const int count = Pa_GetDeviceCount();
    const PaDeviceIndex defaultIn = Pa_GetDefaultInputDevice();
    const PaDeviceIndex defaultOut = Pa_GetDefaultOutputDevice();
    for (int i = 0; i < count; ++i) {
        const PaDeviceInfo *info = Pa_GetDeviceInfo(i);
        if (!info)
            continue;
        AudioDeviceInfo d;
        d.id = i;
        d.name = info->name ? info->name : "";
        if (info->maxInputChannels > 0)
            d.capabilities |= AudioInput;
        if (info->maxOutputChannels > 0)
            d.capabilities |= AudioOutput | AudioRing;
        d.defaultInput = i == defaultIn;
        d.defaultOutput = i == defaultOut;
        d.defaultRing = i == defaultOut;
        list.push_back(d);
    }
    return list;
}

int PortAudioDevice::resolve(int id, int capability, const char *role, bool *fellBack) const
{
    if (id == -1)
        return -1;
    const PaDeviceInfo *info = m_initialized && id >= 0 && id < Pa_GetDeviceCount() ? Pa_GetDeviceInfo(id) : nullptr;
    const bool fits = info && (capability == AudioInput ? info->maxInputChannels > 0 : info->maxOutputChannels > 0);
    if (fits)
        return id;
    *fellBack = true;
    const PaDeviceIndex fallback = !m_initialized ? paNoDevice
        : capability == AudioInput                ? Pa_GetDefaultInputDevice()
                                                  : Pa_GetDefaultOutputDevice();
    if (fallback == paNoDevice) {
        reportError(std::string("Audio ") + role + " device " + std::to_string(id) + " is not available; no " + role
            + " device is used");
        return -1;
    }
    reportError(std::string("Audio ") + role + " device " + std::to_string(id)
        + " is not available; using the default device " + deviceLabel(fallback));
    return fallback;
}

bool PortAudioDevice::select(int input, int output, int ring)
{
    bool fellBack = false;
    const int newInput = resolve(input, AudioInput, "input", &fellBack);
    const int newOutput = resolve(output, AudioOutput, "output", &fellBack);
    const int newRing = resolve(ring, AudioRing, "ring", &fellBack);
    const bool mainChanged = newInput != m_wantInput || newOutput != m_wantOutput;
    const bool ringChanged = newRing != m_ring;
    m_wantInput = m_input = newInput;
    m_wantOutput = m_output = newOutput;
    m_ring = newRing;
    if (ringChanged)
        stopRing();
    if (m_running && mainChanged) {
        m_main.reset();
        openMain();
    }
    flushLibraryLog();
    return !fellBack;
}

bool PortAudioDevice::openMain()
{
    m_main.reset();
    m_framesSinceCheck = 0;
    // Every start tries the selected devices again: a busy device may be free now.
    m_input = m_wantInput;
    m_output = m_wantOutput;
    if (!m_initialized || (m_input < 0 && m_output < 0))
        return m_input < 0 && m_output < 0;
    std::string why;
    m_main = Stream::open(m_input, m_output, streamRates(), &why);
    if (m_main)
        return true;
    reportError("Cannot open audio devices " + deviceLabel(m_input) + " and " + deviceLabel(m_output) + ": " + why);

    // The chosen pair failed (busy, or gone since select): try the defaults,
    // then each side alone, so that a call keeps at least one direction.
    const int defIn = m_input >= 0 ? Pa_GetDefaultInputDevice() : -1;
    const int defOut = m_output >= 0 ? Pa_GetDefaultOutputDevice() : -1;
    const int tries[][2] = { { defIn, defOut }, { -1, defOut }, { defIn, -1 } };
    for (const auto &pair : tries) {
        const int in = pair[0] == paNoDevice ? -1 : pair[0];
        const int out = pair[1] == paNoDevice ? -1 : pair[1];
        if ((in < 0 && out < 0) || (in == m_input && out == m_output))
            continue;
        m_main = Stream::open(in, out, streamRates(), &why);
        if (m_main) {
            reportError("Using audio devices " + deviceLabel(in) + " and " + deviceLabel(out));
            const bool complete = (in >= 0) == (m_input >= 0) && (out >= 0) == (m_output >= 0);
            m_input = in;
            m_output = out;
            return complete;
        }
    }
    reportError("No audio device could be opened; the call has no sound");
    m_input = -1;
    m_output = -1;
    return false;
}

bool PortAudioDevice::start()
{
    if (m_running)
        return true;
    m_running = true;
    if (!m_initialized) {
        reportError(m_initError);
        return false;
    }
    const bool ok = openMain();
    flushLibraryLog();
    return ok;
}

void PortAudioDevice::stop()
{
    m_running = false;
    m_main.reset();
    stopRing();
    flushLibraryLog();
}

bool PortAudioDevice::checkStreams()
{
    if (!m_main)
        return false;
    if (++m_framesSinceCheck < kCheckEveryFrames)
        return true;
    m_framesSinceCheck = 0;
    if (m_main->isAlive())
        return true;
    // The stream died under us (device unplugged): reopen, falling back to defaults.
    reportError("Audio device stopped unexpectedly; reopening");
    openMain();
    return m_main != nullptr;
}

bool PortAudioDevice::readFrame(int16_t *frame)
{
    if (!m_running || !checkStreams() || !m_main->capture)
        return false;
    Stream &s = *m_main;
    const size_t maxBacklog = size_t(s.rate) * kMaxCaptureBacklogMs / 1000;
    const size_t waiting = s.capture->readAvailable();
    if (waiting > maxBacklog + size_t(s.rate) / 50)
        s.capture->skip(waiting - maxBacklog);
    while (s.pending.size() < size_t(kFrame)) {
        const size_t got = s.capture->read(s.scratch.data(), s.scratch.size());
        if (got == 0)
            return false;
        s.toCodec->process(s.scratch.data(), got, s.pending);
    }
    std::copy(s.pending.begin(), s.pending.begin() + kFrame, frame);
    s.pending.erase(s.pending.begin(), s.pending.begin() + kFrame);
    return true;
}

void PortAudioDevice::writeFrame(const int16_t *frame)
{
    if (!m_running || !checkStreams() || m_main->outChannels == 0)
        return;
    Stream &s = *m_main;
    if (s.playback->readAvailable() > size_t(s.rate) * kMaxPlaybackBacklogMs / 1000)
        return; // too far ahead of the card: this frame goes
    s.converted.clear();
    s.fromCodec->process(frame, kFrame, s.converted);
    s.playback->write(s.converted.data(), s.converted.size());
}

void PortAudioDevice::writeRingFrame(const int16_t *frame)
{
    if (m_ring < 0 || !m_initialized)
        return;
    if (m_running && m_main && m_ring == m_output && m_main->outChannels > 0) {
        Stream &s = *m_main;
        if (s.playback->readAvailable() <= size_t(s.rate) * kMaxPlaybackBacklogMs / 1000) {
            s.converted.clear();
            s.fromCodec->process(frame, kFrame, s.converted);
            s.playback->write(s.converted.data(), s.converted.size());
        }
        return;
    }
    if (m_ringStream && !m_ringStream->isAlive())
        m_ringStream.reset();
    if (!m_ringStream) {
        if (m_ringFailed)
            return;
        std::string why;
        m_ringStream = Stream::open(-1, m_ring, streamRates(), &why);
        flushLibraryLog();
        if (!m_ringStream) {
            m_ringFailed = true;
            reportError("Cannot open the ring device " + deviceLabel(m_ring) + ": " + why);
            return;
        }
    }
    Stream &s = *m_ringStream;
    if (s.playback->readAvailable() > size_t(s.rate) * kMaxPlaybackBacklogMs / 1000)
        return;
    s.converted.clear();
    s.fromCodec->process(frame, kFrame, s.converted);
    s.playback->write(s.converted.data(), s.converted.size());
}

bool PortAudioDevice::ringSharesOutput() const
{
    return m_running && m_main && m_ring >= 0 && m_ring == m_output && m_main->outChannels > 0;
}

void PortAudioDevice::stopRing()
{
    m_ringStream.reset();
    m_ringFailed = false;
}

int PortAudioDevice::streamRate() const
{
    return m_main ? m_main->rate : 0;
}

int PortAudioDevice::ringRate() const
{
    return m_ringStream ? m_ringStream->rate : 0;
}

PortAudioDevice::Stats PortAudioDevice::stats() const
{
    Stats st;
    if (m_main) {
        st.callbacks = m_main->callbacks.load(std::memory_order_relaxed);
        st.captureOverflows = m_main->overflows.load(std::memory_order_relaxed);
        st.playbackUnderruns = m_main->underruns.load(std::memory_order_relaxed);
        st.deviceXruns = m_main->xruns.load(std::memory_order_relaxed);
    }
    if (m_ringStream) {
        st.ringUnderruns = m_ringStream->underruns.load(std::memory_order_relaxed);
        st.deviceXruns += m_ringStream->xruns.load(std::memory_order_relaxed);
    }
    return st;
}

} // namespace iax2
