// The engine's media path measured end to end between two engines on
// 127.0.0.1: one calls, the other answers from its event callback.
//
// 1. CPU time per call-second of one call end, for each codec, with all five
//    filters on and both ends talking (the echo canceller has work).
// 2. Mouth-to-ear latency of the engine's own path: a tone burst leaves the
//    caller's capture ring, is encoded, crosses loopback UDP, waits in the
//    callee's jitter buffer (40 ms target), is decoded and written to its
//    playback ring. Printed as what the engine adds after the frame is
//    captured, and as mouth to ear with the 20 ms that fill the frame.
// 3. How long a getter called from another thread (as the GUI calls them)
//    waits for the engine while 50 Speex calls run with all filters on: the
//    DSP runs outside the lock the getters take.
//
//   bench_iax2_engine [seconds per codec=5] [bursts=20] [calls for the getter check=50]

#include "iax2/Iax2Engine.h"
#include "iax2/media/AudioLevel.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace iax2;
using Clock = std::chrono::steady_clock;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFrame = 160;
constexpr int kAllFilters = FilterDenoise | FilterAgc | FilterEchoCancel | FilterAnalogAgc | FilterComfortNoise;

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Syllables of a gliding voice over a faint hiss, ten seconds, looped.
std::vector<int16_t> speech(double pitch, uint32_t seed)
{
    std::vector<int16_t> v(8000 * 10);
    double phase = 0;
    for (size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / 8000.0;
        phase += 2 * kPi * (pitch + 30.0 * std::sin(2 * kPi * 1.3 * t)) / 8000.0;
        const double envelope = std::fmod(t, 0.3) < 0.2 ? std::sin(kPi * std::fmod(t, 0.3) / 0.2) : 0.0;
        double s = 0;
        for (int h = 1; h <= 6; ++h)
            s += std::sin(h * phase) / h;
        seed = seed * 1664525u + 1013904223u;
        v[i] = int16_t(std::clamp(5000.0 * envelope * s + double(int(seed >> 24) - 128) / 2, -32768.0, 32767.0));
    }
    return v;
}

// A sound card that talks from a loop of samples and can mark when a burst
// leaves its capture side and when sound reaches its playback side.
class BenchDevice : public AudioDevice
{
public:
    std::vector<AudioDeviceInfo> devices() const override
    {
        AudioDeviceInfo info;
        info.id = 1;
        info.name = "bench";
        info.capabilities = AudioInput | AudioOutput | AudioRing;
        return { info };
    }
    bool select(int, int, int) override { return true; }
    bool start() override { return m_running = true; }
    void stop() override { m_running = false; }
    bool isRunning() const override { return m_running; }

    bool readFrame(int16_t *frame) override
    {
        if (!m_talk.empty()) {
            for (int i = 0; i < kFrame; ++i)
                frame[i] = m_talk[(m_pos + size_t(i)) % m_talk.size()];
            m_pos = (m_pos + kFrame) % m_talk.size();
            return true;
        }
        if (m_armed.exchange(false)) {
            for (int i = 0; i < kFrame; ++i)
                frame[i] = int16_t(10000 * std::sin(2 * kPi * 1000.0 * i / 8000.0));
            std::lock_guard<std::mutex> lock(m_mutex);
            m_sentAt = Clock::now();
            return true;
        }
        std::fill(frame, frame + kFrame, int16_t(0));
        return true;
    }

    void writeFrame(const int16_t *frame) override
    {
        if (levelDb(frame, kFrame) < -30.0f)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_heard)
            m_heardAt = Clock::now();
        m_heard = true;
    }

    void talk(std::vector<int16_t> samples) { m_talk = std::move(samples); }
    void arm() { m_armed = true; }
    void listen()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_heard = false;
    }
    Clock::time_point sentAt()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_sentAt;
    }
    bool heard(Clock::time_point *at)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        *at = m_heardAt;
        return m_heard;
    }

private:
    std::atomic<bool> m_running { false };
    std::vector<int16_t> m_talk;
    size_t m_pos = 0;
    std::atomic<bool> m_armed { false };
    std::mutex m_mutex;
    Clock::time_point m_sentAt;
    Clock::time_point m_heardAt;
    bool m_heard = false;
};

struct Pair
{
    BenchDevice callerAudio;
    BenchDevice calleeAudio;
    std::unique_ptr<Iax2Engine> caller;
    std::unique_ptr<Iax2Engine> callee;
    std::atomic<int> answered { 0 };

    // Both ends talk from a loop of samples when given one; it is set before
    // the engines' threads start reading it.
    Pair(uint32_t format, int filters, int slots = 2, std::vector<int16_t> callerTalk = {},
        std::vector<int16_t> calleeTalk = {})
    {
        callerAudio.talk(std::move(callerTalk));
        calleeAudio.talk(std::move(calleeTalk));
        Iax2Engine::Config config;
        config.bindAddress = "127.0.0.1";
        config.port = 0;
        config.callSlots = slots;
        config.jitterTargetMs = 40;
        caller = std::make_unique<Iax2Engine>(config, &callerAudio);
        callee = std::make_unique<Iax2Engine>(config, &calleeAudio);
        for (Iax2Engine *e : { caller.get(), callee.get() }) {
            e->setFormats(format, format);
            e->setFilters(filters);
        }
        callee->setEventCallback([this](const EngineEvent &e) {
            if (const auto *in = std::get_if<IncomingCallEvent>(&e); in && callee->answer(in->callNo))
                ++answered;
        });
        caller->start();
        callee->start();
    }
    ~Pair()
    {
        caller->stop();
        callee->stop();
    }

    bool connect(int calls = 1)
    {
        Account a;
        a.host = "127.0.0.1";
        a.port = callee->localPort();
        for (int i = 0; i < calls; ++i) {
            if (caller->dial(a, std::to_string(100 + i)) < 0)
                return false;
        }
        for (int i = 0; i < 500 && answered < calls; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Let the caller see the answers and both sides settle.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return answered >= calls;
    }
};

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int bursts = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
    const int crowd = argc > 3 ? std::max(1, std::atoi(argv[3])) : 50;
#ifdef QUOR_BUILD_TYPE
    std::printf("%s build\n", QUOR_BUILD_TYPE);
#endif
    std::printf(
        "CPU per call end, all filters on (mask %d), both ends talking, %d s per codec:\n", kAllFilters, seconds);
    const struct
    {
        const char *name;
        uint32_t format;
    } codecs[] = { { "u-law", FormatUlaw }, { "a-law", FormatAlaw }, { "GSM", FormatGsm }, { "Speex", FormatSpeex } };
    for (const auto &codec : codecs) {
        Pair pair(codec.format, kAllFilters, 2, speech(140, 1), speech(210, 2));
        if (!pair.connect()) {
            std::printf("  %-6s call did not connect\n", codec.name);
            continue;
        }
        const double cpu0 = cpuSeconds();
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        const double cpu = cpuSeconds() - cpu0;
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        // Two call ends ran meanwhile (and this idle main thread).
        const double perEnd = cpu / 2.0 / wall;
        std::printf("  %-6s %7.3f ms CPU per call-second  %5.2f %% of one core  %s\n", codec.name, perEnd * 1000.0,
            perEnd * 100.0, perEnd * 100.0 < 2.0 ? "ok" : "OVER 2 %");
    }

    std::printf("Mouth-to-ear latency of the engine's path, u-law, jitter buffer 40 ms, %d bursts:\n", bursts);
    Pair pair(FormatUlaw, 0);
    if (!pair.connect()) {
        std::printf("  call did not connect\n");
        return 1;
    }
    double sum = 0, low = 1e9, high = 0;
    int measured = 0;
    for (int i = 0; i < bursts; ++i) {
        pair.calleeAudio.listen();
        pair.callerAudio.arm();
        Clock::time_point heardAt;
        bool heard = false;
        for (int wait = 0; wait < 100 && !(heard = pair.calleeAudio.heard(&heardAt)); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (heard) {
            // The capture ring needs a whole frame before the engine can take it.
            const double ms
                = std::chrono::duration<double, std::milli>(heardAt - pair.callerAudio.sentAt()).count() + 20.0;
            sum += ms;
            low = std::min(low, ms);
            high = std::max(high, ms);
            ++measured;
        }
        // Irregular spacing, so the bursts meet the ticks at every phase.
        std::this_thread::sleep_for(std::chrono::milliseconds(200 + 7 * i));
    }
    if (!measured) {
        std::printf("  no burst arrived\n");
        return 1;
    }
    const double mean = sum / measured;
    // The 20 ms it takes to speak one frame is the sound itself, not a delay of
    // the engine's making; the verdict is on what the engine adds after it.
    const double added = mean - 20.0;
    std::printf("  added by the engine (captured frame to playback ring): mean %.1f ms  min %.1f ms  max %.1f ms  "
                "(%d of %d bursts)  %s\n",
        added, low - 20.0, high - 20.0, measured, bursts, added < 60.0 ? "ok" : "OVER 60 ms");
    std::printf("  mouth to ear, counting the 20 ms that fill the capture frame: mean %.1f ms\n", mean);

    std::printf(
        "Getter wait from another thread, %d Speex calls, all filters on, both ends talking, %d s:\n", crowd, seconds);
    Pair many(FormatSpeex, kAllFilters, crowd, speech(140, 3), speech(210, 4));
    if (!many.connect(crowd)) {
        std::printf("  only %d of %d calls connected\n", many.answered.load(), crowd);
        return 1;
    }
    std::vector<double> waits;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    for (int i = 0; Clock::now() < end; ++i) {
        const auto t0 = Clock::now();
        // The getters the GUI calls: a call's state, the selected call, a level.
        switch (i % 3) {
        case 0:
            (void)many.caller->callState(i % crowd);
            break;
        case 1:
            (void)many.caller->selectedCall();
            break;
        default:
            (void)many.caller->inputLevel();
            break;
        }
        waits.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    std::sort(waits.begin(), waits.end());
    const double longest = waits.back();
    const double p999 = waits[size_t(double(waits.size() - 1) * 0.999)];
    std::printf("  longest wait %.3f ms, 99.9 %% of %zu calls within %.3f ms  %s\n", longest, waits.size(), p999,
        longest < 1.0 ? "ok" : "OVER 1 ms");
    return 0;
}
