// N simultaneous G.711 calls between two engines on 127.0.0.1 (one places
// the calls, the other answers them from its event callback) for some
// seconds. Prints the process CPU time per call-second (both ends) and the
// packet rate.
//
//   bench_iax2calls [calls=20] [seconds=5]

#include "iax2/Iax2Engine.h"
#include "iax2/NullAudioDevice.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

using namespace iax2;

namespace {

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char **argv)
{
    const int calls = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int seconds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    // Declared before the engines: their threads use these until they stop.
    std::atomic<int> answered { 0 };
    std::atomic<int> complete { 0 };
    std::mutex statsMutex;
    std::vector<NetStats> stats(size_t(calls) * 2);

    NullAudioDevice audioA;
    NullAudioDevice audioB;
    Iax2Engine::Config config;
    config.bindAddress = "127.0.0.1";
    config.port = 0;
    config.callSlots = calls;
    Iax2Engine caller(config, &audioA);
    Iax2Engine callee(config, &audioB);
    if (!caller.isOpen() || !callee.isOpen()) {
        std::fprintf(stderr, "cannot open sockets: %s %s\n", caller.error().c_str(), callee.error().c_str());
        return 1;
    }

    callee.setEventCallback([&](const EngineEvent &event) {
        if (const auto *in = std::get_if<IncomingCallEvent>(&event)) {
            if (callee.answer(in->callNo))
                ++answered;
        } else if (const auto *net = std::get_if<NetStatsEvent>(&event)) {
            std::lock_guard<std::mutex> lock(statsMutex);
            stats[size_t(calls + net->callNo)] = net->stats;
        }
    });
    caller.setEventCallback([&](const EngineEvent &event) {
        if (std::holds_alternative<AnsweredEvent>(event)) {
            ++complete;
        } else if (const auto *net = std::get_if<NetStatsEvent>(&event)) {
            std::lock_guard<std::mutex> lock(statsMutex);
            stats[size_t(net->callNo)] = net->stats;
        }
    });
    caller.start();
    callee.start();

    Account target;
    target.host = "127.0.0.1";
    target.port = callee.localPort();
    for (int i = 0; i < calls; ++i) {
        if (caller.dial(target, std::to_string(1000 + i)) < 0) {
            std::fprintf(stderr, "no slot for call %d\n", i);
            return 1;
        }
    }
    const auto setupStart = std::chrono::steady_clock::now();
    while (complete < calls && std::chrono::steady_clock::now() - setupStart < std::chrono::seconds(10))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const double setupMs
        = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - setupStart).count();
    if (complete < calls) {
        std::fprintf(stderr, "only %d of %d calls came up\n", complete.load(), calls);
        return 1;
    }

    // Measure the steady state only.
    std::vector<NetStats> before;
    {
        std::lock_guard<std::mutex> lock(statsMutex);
        before = stats;
    }
    const double cpu0 = cpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds) + std::chrono::milliseconds(1100));
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = cpuSeconds() - cpu0;
    uint64_t packetsOut = 0;
    uint64_t packetsIn = 0;
    uint64_t lost = 0;
    {
        std::lock_guard<std::mutex> lock(statsMutex);
        for (size_t i = 0; i < stats.size(); ++i) {
            packetsOut += stats[i].packetsOut - before[i].packetsOut;
            packetsIn += stats[i].packetsIn - before[i].packetsIn;
            lost += stats[i].lost - before[i].lost;
        }
    }
    caller.hangupAll();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    caller.stop();
    callee.stop();

    // Statistics arrive once a second per call at staggered moments, so over
    // all calls the counted span averages out to the wall time.
    const double span = wall;
    std::printf("calls: %d, measured: %.2f s wall, setup of all calls: %.1f ms\n", calls, wall, setupMs);
    std::printf("CPU (both ends): %.3f s, %.3f ms per call-second\n", cpu, cpu * 1000.0 / (calls * wall));
    std::printf("voice packets sent: %.0f per second (%.1f per call and direction), received: %.0f per second\n",
        double(packetsOut) / span, double(packetsOut) / span / (2.0 * calls), double(packetsIn) / span);
    std::printf("voice frames lost: %llu\n", static_cast<unsigned long long>(lost));
    return 0;
}
