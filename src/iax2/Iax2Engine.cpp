// The public face of the engine: every method takes the signalling lock (when
// it needs it at all) and hands over to the part of Impl that owns the concern.

#include "iax2/Iax2Engine.h"

#include "iax2/engine/EngineImpl.h"
#include "iax2/engine/EngineUtil.h"

#include <algorithm>

namespace iax2 {

Iax2Engine::Iax2Engine(Config config, AudioDevice *audio)
    : d(std::make_unique<Impl>(std::move(config), audio))
{
}

Iax2Engine::~Iax2Engine()
{
    stop();
    // The thread is gone; whatever it left running stops here.
    if (d->m_audio->isRunning())
        d->m_audio->stop();
}

bool Iax2Engine::isOpen() const
{
    return d->m_socket >= 0;
}

std::string Iax2Engine::error() const
{
    return d->m_error;
}

uint16_t Iax2Engine::localPort() const
{
    return d->m_localPort;
}

void Iax2Engine::setEventCallback(EventCallback callback)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_eventCallback = std::move(callback);
}

void Iax2Engine::setLogCallback(LogCallback callback)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_logCallback = std::move(callback);
}

bool Iax2Engine::start()
{
    if (!isOpen() || d->m_running)
        return false;
    if (d->m_thread.joinable())
        d->m_thread.join();
    d->m_stop = false;
    d->m_running = true;
    d->m_thread = std::thread([this] {
        d->run();
        d->m_running = false;
    });
    return true;
}

void Iax2Engine::stop()
{
    d->m_stop = true;
    d->wake();
    if (d->m_thread.joinable() && d->m_thread.get_id() != std::this_thread::get_id())
        d->m_thread.join();
}

bool Iax2Engine::isRunning() const
{
    return d->m_running;
}

int Iax2Engine::registerAccount(const Account &account)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->registerAccount(account);
}

void Iax2Engine::unregisterAccount(int id)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->unregisterAccount(id);
}

void Iax2Engine::setCallerId(const std::string &name, const std::string &number)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_callerName = cleanText(name, 255);
    d->m_callerNumber = cleanText(number, 255);
}

int Iax2Engine::dial(const Account &account, const std::string &number)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->dial(account, number);
}

bool Iax2Engine::answer(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->answer(callNo);
}

void Iax2Engine::selectCall(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->selectCall(callNo);
}

int Iax2Engine::selectedCall() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_selected;
}

void Iax2Engine::reject(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->reject(callNo);
}

void Iax2Engine::sendBusy(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->sendBusy(callNo);
}

void Iax2Engine::hangup(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->hangup(callNo);
}

void Iax2Engine::hangupAll()
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->hangupAll();
}

bool Iax2Engine::quelch(int callNo, bool moh)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->hold(callNo, true, moh);
}

bool Iax2Engine::unquelch(int callNo)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->hold(callNo, false, false);
}

bool Iax2Engine::sendDtmf(char digit, int callNo)
{
    if (digit >= 'a' && digit <= 'd')
        digit = char(digit - 'a' + 'A');
    const bool valid = (digit >= '0' && digit <= '9') || digit == '*' || digit == '#' || (digit >= 'A' && digit <= 'D');
    if (!valid)
        return false;
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->sendDtmf(digit, callNo);
}

bool Iax2Engine::blindTransfer(int callNo, const std::string &number)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->blindTransfer(callNo, number);
}

bool Iax2Engine::attendedTransfer(int heldCall, int talkingCall)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->attendedTransfer(heldCall, talkingCall);
}

void Iax2Engine::setFormats(uint32_t preferred, uint32_t allowed)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->setFormats(preferred, allowed);
}

uint32_t Iax2Engine::allowedFormats() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_allowed;
}

uint32_t Iax2Engine::preferredFormat() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_preferred;
}

uint32_t Iax2Engine::availableFormats() const
{
    return d->m_config.codecs.formats();
}

void Iax2Engine::setFilters(int mask)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_filters = mask;
}

int Iax2Engine::filters() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_filters;
}

void Iax2Engine::setSpeexSettings(const SpeexSettings &settings)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_speex = settings;
}

std::vector<AudioDeviceInfo> Iax2Engine::audioDevices() const
{
    // The device table may be read from any thread.
    return d->m_audio->devices();
}

bool Iax2Engine::selectAudioDevices(int input, int output, int ring)
{
    const std::vector<AudioDeviceInfo> devices = d->m_audio->devices();
    auto known = [&devices](int id, int capability) {
        if (id == -1)
            return true;
        return std::any_of(devices.begin(), devices.end(),
            [&](const AudioDeviceInfo &info) { return info.id == id && (info.capabilities & capability); });
    };
    const bool ok = known(input, AudioInput) && known(output, AudioOutput) && known(ring, AudioRing);
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_selectPending = true;
    d->m_selectIds[0] = input;
    d->m_selectIds[1] = output;
    d->m_selectIds[2] = ring;
    d->wake();
    return ok;
}

void Iax2Engine::setRingOptions(bool ringInBoth, bool muteRing)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_ringInBoth = ringInBoth;
    d->m_muteRing = muteRing;
    d->updateAudio();
}

void Iax2Engine::setInputLevel(float level)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_inputGain = std::clamp(level, 0.0f, 1.0f);
}

void Iax2Engine::setOutputLevel(float level)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_outputGain = std::clamp(level, 0.0f, 1.0f);
}

float Iax2Engine::inputLevel() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_inputGain;
}

float Iax2Engine::outputLevel() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_outputGain;
}

void Iax2Engine::setMicMute(bool mute)
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    d->m_mute = mute;
}

bool Iax2Engine::micMute() const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->m_mute;
}

int Iax2Engine::callSlots() const
{
    return int(d->m_calls.size());
}

int Iax2Engine::callState(int callNo) const
{
    std::lock_guard<std::mutex> lock(d->m_mutex);
    return d->callState(callNo);
}

} // namespace iax2
