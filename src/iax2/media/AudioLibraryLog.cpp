#include "iax2/media/AudioLibraryLog.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace iax2 {

namespace {

// Enough for a start-up probe; beyond it one line says that more were dropped.
constexpr size_t kMaxPending = 64;

std::mutex g_mutex;
std::vector<std::string> g_pending;
size_t g_dropped = 0;

// A softphone must not launch a JACK server as a side effect. Set while the
// process has its only thread: setenv beside another thread's getenv (Qt's,
// the sound libraries') lets that reader walk a freed environment.
[[maybe_unused]] const bool g_noJackServer = [] { return setenv("JACK_NO_START_SERVER", "1", 0) == 0; }();

void keep(std::string line)
{
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    if (line.empty())
        return;
    // Called on whatever thread the library is on, PortAudio's audio thread
    // included: never wait there.
    std::unique_lock<std::mutex> lock(g_mutex, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    if (std::find(g_pending.begin(), g_pending.end(), line) != g_pending.end())
        return;
    if (g_pending.size() >= kMaxPending) {
        ++g_dropped;
        return;
    }
    g_pending.push_back(std::move(line));
}

void alsaMessage(const char *file, int line, const char *function, int err, const char *fmt, ...)
{
    char text[512];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    std::string message = std::string("ALSA ") + (function ? function : "?") + ": " + text;
    if (err)
        message += std::string(": ") + snd_strerror(err);
    (void)file;
    (void)line;
    keep(std::move(message));
}

void jackMessage(const char *text)
{
    keep(std::string("JACK: ") + (text ? text : ""));
}

} // namespace

void AudioLibraryLog::install()
{
    static std::once_flag once;
    std::call_once(once, [] {
        snd_lib_error_set_handler(&alsaMessage);
        jack_set_error_function(&jackMessage);
        jack_set_info_function(&jackMessage);
    });
}

std::vector<std::string> AudioLibraryLog::take()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    std::vector<std::string> out;
    out.swap(g_pending);
    if (g_dropped) {
        out.push_back(std::to_string(g_dropped) + " more sound-system messages were not kept");
        g_dropped = 0;
    }
    return out;
}

} // namespace iax2
