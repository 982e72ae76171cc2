#pragma once

// The IAX2 engine: registration, calls and G.711-or-better media over UDP
// (RFC 5456). It runs its own processing thread; every callback is made on
// that thread with no engine lock held, so a callback may call back into the
// engine. The other methods may be called from any thread and only take the
// signalling lock briefly: nothing here waits on the network, on name
// resolution or on audio processing, which runs outside that lock.
//
// Calls are taken only from the server of a registered account (its address
// as resolved for the registration); with no registration, from loopback only.
// Anyone else's NEW is rejected at once.

#include "iax2/CodecRegistry.h"
#include "iax2/media/AudioDevice.h"
#include "iax2/media/FilterBits.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace iax2 {

// Bits of callState().
enum CallStateBit : int {
    CallFree = 0,
    CallActive = 1 << 0,
    CallOutgoing = 1 << 1,
    CallRinging = 1 << 2,
    CallComplete = 1 << 3,
    CallSelected = 1 << 4,
    CallBusy = 1 << 5,
    CallTransfer = 1 << 6,
};

// Bits of the filter mask (applied by the audio pipeline).
using FilterBit = FilterBits;

enum class RegistrationReply { Accepted, Rejected, Timeout };

// Text event types; the numbers match the program's message types.
enum TextType : int { TextStatus = 1, TextWarning = 2, TextError = 3 };

struct NetStats
{
    int roundTripMs = -1; // -1 until measured
    int jitterMs = 0; // inter-arrival jitter of received voice
    uint32_t packetsIn = 0; // voice frames received
    uint32_t packetsOut = 0;
    uint32_t lost = 0; // voice frames missing from the received sequence
    uint32_t outOfOrder = 0;
};

// Events, one per transition, made on the engine's thread when it happens.

// A text for the user. It is not written to the log callback as well: the
// receiver logs it once, as it passes it on.
struct TextEvent
{
    int type = TextStatus;
    std::string text;
};

// A call from the network rings here. Names and numbers are cleaned of
// control characters.
struct IncomingCallEvent
{
    int callNo = -1;
    std::string remoteName;
    std::string remoteNumber;
    std::string calledNumber; // what the PBX dialled
    uint32_t format = 0;
};

// An outgoing call was taken by the PBX, in this format.
struct CallAcceptedEvent
{
    int callNo = -1;
    uint32_t format = 0;
};

// The far end of an outgoing call rings.
struct RingingOutEvent
{
    int callNo = -1;
};

// An incoming call answered here, or an outgoing call answered by the far end.
struct AnsweredEvent
{
    int callNo = -1;
};

// Hold (quelch) and resume, by us or by the peer.
struct HoldEvent
{
    int callNo = -1;
    bool held = false;
    bool byPeer = false;
};

enum class CallEndReason {
    HungUpHere, // hang-up, reject or busy from this side
    HungUpByPeer,
    RejectedByPeer,
    Lost, // the peer stopped answering or no longer knows the call
    Failed, // no codec, no authentication, host not found
    Transferred, // an attended transfer joined it with another call
};

// The call is over and its slot is free again.
struct CallEndedEvent
{
    int callNo = -1;
    bool wasAnswered = false;
    CallEndReason reason = CallEndReason::HungUpHere;
    std::string cause; // the peer's cause text, when it sent one
};

// The outcome of a transfer. A blind transfer succeeds when the PBX takes the
// call away (otherCallNo -1); an attended one reports once for each of its two
// calls, otherCallNo being the call it was joined with. On failure the calls
// stay as they were.
struct TransferEvent
{
    int callNo = -1;
    int otherCallNo = -1;
    bool ok = false;
};

// The registrar's reply (or its absence) to a registration attempt.
struct RegistrationEvent
{
    int registrationId = -1;
    RegistrationReply reply = RegistrationReply::Accepted;
    int messageCount = -1; // voicemail count from the registrar, -1 when not sent
    // Why it was rejected: the registrar's cause text, a challenge it offered
    // that cannot be answered here, or its challenge of our answer; empty
    // when none is known.
    std::string cause;
};

// Levels in dBFS (-99 silence .. 0 full scale), about every 100 ms with audio.
struct LevelsEvent
{
    float input = -99.0f;
    float output = -99.0f;
};

// Once a second for each answered call.
struct NetStatsEvent
{
    int callNo = -1;
    NetStats stats;
};

using EngineEvent = std::variant<TextEvent, IncomingCallEvent, CallAcceptedEvent, RingingOutEvent, AnsweredEvent,
    HoldEvent, CallEndedEvent, TransferEvent, RegistrationEvent, LevelsEvent, NetStatsEvent>;

// For std::visit over an EngineEvent with one lambda per event type.
template<class... Handlers>
struct Overloaded : Handlers...
{
    using Handlers::operator()...;
};
template<class... Handlers>
Overloaded(Handlers...) -> Overloaded<Handlers...>;

struct Account
{
    std::string host; // numeric address or host name
    uint16_t port = 4569;
    std::string user;
    std::string secret;
    int refresh = 60; // seconds asked of the registrar; also the wait after a rejection
};

class Iax2Engine
{
public:
    struct Config
    {
        int callSlots = 2; // the call limit
        std::string bindAddress = "0.0.0.0";
        uint16_t port = 4569; // 0: any free port
        bool fallbackToAnyPort = true; // when port is taken
        int maxRegistrations = 4;
        // Retransmission of unacknowledged frames: first wait, cap, and sends
        // in all before the dialogue counts as lost.
        int retransmitFirstMs = 250;
        int retransmitMaxMs = 2000;
        int retransmitMaxSends = 6;
        CodecRegistry codecs = CodecRegistry::withMediaCodecs();
        // Playout delay each call's jitter buffer aims at.
        int jitterTargetMs = 40;
        // An attended transfer whose peers are not both ready by then has failed.
        int attendedTransferTimeoutMs = 5000;
        // A blind transfer that leaves the call here this long has failed.
        int blindTransferTimeoutMs = 5000;
        // A registrar that acknowledged a request but sent no reply (REGAUTH,
        // REGACK or REGREJ) by then has failed this attempt.
        int registrationReplyTimeoutMs = 10000;
        // Wait before retrying a registration that went unanswered (reply
        // deadline, INVAL, retransmissions unheard, host not found), doubled
        // after each further failure up to the account's refresh interval; an
        // accepted registration starts over. A rejected one always waits the
        // whole refresh interval.
        int registrationRetryMs = 2000;
        // The engine's time. Tests move it forward to pass long waits; empty,
        // the steady clock.
        std::function<std::chrono::steady_clock::time_point()> clock;
    };

    using EventCallback = std::function<void(const EngineEvent &)>;
    // Diagnostics for the program log only. Level 1 info, 2 warning, 3 error, as TextType.
    using LogCallback = std::function<void(int level, const std::string &line)>;

    // audio may be nullptr: the null device is used. The engine does not own it.
    Iax2Engine(Config config, AudioDevice *audio);
    ~Iax2Engine();
    Iax2Engine(const Iax2Engine &) = delete;
    Iax2Engine &operator=(const Iax2Engine &) = delete;

    // False when the UDP socket could not be opened; error() says why.
    bool isOpen() const;
    std::string error() const;
    uint16_t localPort() const;

    void setEventCallback(EventCallback callback);
    void setLogCallback(LogCallback callback);

    // Starts the processing thread; stop() ends and joins it (from a callback
    // it only asks the thread to end).
    bool start();
    void stop();
    bool isRunning() const;

    // Registration: returns an id, or -1 when the table is full.
    int registerAccount(const Account &account);
    // Sends a release to the registrar and forgets the registration.
    void unregisterAccount(int id);

    void setCallerId(const std::string &name, const std::string &number);
    // Returns the call number, or -1 when no slot is free.
    int dial(const Account &account, const std::string &number);
    // Answers an incoming call and selects it.
    bool answer(int callNo);
    // The selected call gets the sound device; -1 selects none.
    void selectCall(int callNo);
    int selectedCall() const;
    void reject(int callNo);
    void sendBusy(int callNo);
    void hangup(int callNo);
    void hangupAll();
    // Hold and resume; holding asks the PBX for music on hold when moh is set.
    bool quelch(int callNo, bool moh = true);
    bool unquelch(int callNo);
    // digit: 0-9, *, #, A-D. callNo -1: the selected call.
    bool sendDtmf(char digit, int callNo = -1);
    bool blindTransfer(int callNo, const std::string &number);
    // Joins two answered calls through their PBX (RFC 5456 transfer) and leaves
    // both. The outcome arrives as a Transfer event for each call; on failure
    // both calls stay as they were.
    bool attendedTransfer(int heldCall, int talkingCall);

    // Formats as Format bits; the preferred one wins when both sides allow it.
    // Formats without a codec here (iLBC) are never offered; a preferred format
    // that is not offered gives way to the lowest allowed one. With nothing
    // left, calls are refused.
    void setFormats(uint32_t preferred, uint32_t allowed);
    uint32_t availableFormats() const;
    // What setFormats left: the capability offered and the preferred format.
    uint32_t allowedFormats() const;
    uint32_t preferredFormat() const;
    void setFilters(int mask);
    int filters() const;
    void setSpeexSettings(const SpeexSettings &settings);

    std::vector<AudioDeviceInfo> audioDevices() const;
    // The device switch itself happens on the processing thread. Returns false
    // when an id is not a device of its role; the device then falls back and
    // reports it.
    bool selectAudioDevices(int input, int output, int ring);
    // Ring on the output device too; keep the ring device silent.
    void setRingOptions(bool ringInBoth, bool muteRing);
    // Software gains, 0..1.
    void setInputLevel(float level);
    void setOutputLevel(float level);
    float inputLevel() const;
    float outputLevel() const;
    void setMicMute(bool mute);
    bool micMute() const;

    int callSlots() const;
    int callState(int callNo) const;

private:
    class Impl;
    std::unique_ptr<Impl> d;
};

} // namespace iax2
