#pragma once

// The inside of Iax2Engine, shared by the files that implement it by concern:
//   EngineLoop.cpp          the socket loop, timers, events and logs
//   EngineFrames.cpp        receiving, routing and sending frames; dialogues
//   EngineCalls.cpp         the call state machine
//   EngineCallControl.cpp   what the user does to calls
//   EngineRegistration.cpp  registration
//   EngineTransfer.cpp      blind and attended transfer
//   EngineMedia.cpp         the hand-over between the calls and MediaPath
//   EngineResolver.cpp      name resolution
//
// The signalling state below is guarded by m_mutex; MediaPath and the audio
// device belong to the processing thread and are used without it.

#include "iax2/Iax2Engine.h"

#include "iax2/Frame.h"
#include "iax2/NullAudioDevice.h"
#include "iax2/Sequencer.h"
#include "iax2/engine/MediaPath.h"

#include <netinet/in.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

namespace iax2 {

using Clock = std::chrono::steady_clock;
using TimePoint = Clock::time_point;
using Millis = std::chrono::milliseconds;

constexpr Millis kTick { 20 };
constexpr Millis kPingInterval { 5000 };
constexpr Millis kStatsInterval { 1000 };
constexpr int kMinRefresh = 10;

struct Dialogue
{
    uint16_t localNo = 0;
    uint16_t remoteNo = 0;
    sockaddr_in peer {};
    Sequencer seq;
    TimePoint start;
    uint32_t lastTs = 0;
    // The frame that opened the dialogue, resent with the token a CALLTOKEN reply brings.
    uint8_t openingCommand = 0;
    IeList openingIes;
    bool tokenUsed = false;

    uint32_t nextTimestamp(TimePoint now)
    {
        auto ms = uint32_t(std::chrono::duration_cast<Millis>(now - start).count());
        // Signalling timestamps never repeat, so the peer can tell frames apart.
        if (ms <= lastTs)
            ms = lastTs + 1;
        lastTs = ms;
        return ms;
    }
};

struct Call
{
    bool used = false;
    uint64_t generation = 0;
    bool waitingForAddress = false;
    bool incoming = false;
    bool accepted = false; // outgoing: the PBX took it with a format
    bool answered = false;
    bool heldByUs = false;
    bool quelchedByPeer = false;
    int state = CallFree;
    Account account;
    std::string number;
    std::string remoteNumber;
    std::string remoteName;
    std::unique_ptr<Dialogue> dialogue;
    uint32_t format = 0;

    // Received voice waiting for the media tick; mini frames carry the format
    // of the last full voice frame.
    std::vector<VoicePacket> voiceIn;
    uint32_t rxFormat = 0;
    uint32_t rxTs = 0;
    bool rxStarted = false;
    // The peer told us it is silent, from its frame's timestamp on, at this level (-dBov).
    bool rxSilent = false;
    uint32_t rxCngTs = 0;
    int rxNoiseLevel = 127;

    NetStats stats;
    double jitterEstimate = 0; // inter-arrival jitter, ms
    int64_t lastTransit = 0;
    bool haveTransit = false;
    uint32_t pingTs = 0;
    bool pingOutstanding = false;
    TimePoint nextPing;
    TimePoint nextStats;
    TimePoint busyDeadline;
    bool busySent = false;
    bool blindTransfer = false;
    TimePoint blindTransferDeadline;
};

struct Registration
{
    bool used = false;
    int id = -1;
    Account account;
    sockaddr_in address {};
    bool haveAddress = false;
    bool waitingForAddress = false;
    bool releasing = false;
    bool authAnswered = false;
    bool awaitingReply = false;
    std::unique_ptr<Dialogue> dialogue;
    TimePoint nextAttempt;
    // The wait after the last unanswered attempt; 0 once the registrar accepts.
    Millis backOff { 0 };
    // A request the registrar acknowledged must still be answered by then.
    TimePoint replyDeadline;
};

class Iax2Engine::Impl
{
public:
    Impl(Config config, AudioDevice *audio);
    ~Impl();

    // ---- the processing thread (EngineLoop.cpp, EngineResolver.cpp, EngineMedia.cpp)
    void run();
    void wake();
    void receive();
    void mediaTicks();
    void deviceIo();
    void applyAudio();
    void dispatch();
    void resolvePending();

    // ---- everything below runs with m_mutex held

    // Events and logs (EngineLoop.cpp).
    void push(EngineEvent event);
    void emitText(int type, const std::string &text);
    void log(int level, const std::string &text);
    void malformed(const sockaddr_in &from, const std::string &why);
    void timers(TimePoint now);

    // Frames and dialogues (EngineFrames.cpp).
    void handleDatagram(const uint8_t *data, size_t size, const sockaddr_in &from, TimePoint now);
    // The frames are the caller's to give up: their voice payloads move on.
    void handleFull(FullFrame &frame, const sockaddr_in &from, TimePoint now);
    void handleMini(MiniFrame &frame, const sockaddr_in &from, TimePoint now);
    void handleCallToken(Dialogue &dlg, const IeList *ies, TimePoint now);
    void send(Dialogue &dlg, FullFrame frame, TimePoint now);
    void sendIax(Dialogue &dlg, uint8_t command, const IeList &ies, TimePoint now);
    void sendControl(Dialogue &dlg, uint8_t control, TimePoint now);
    void sendAck(Dialogue &dlg, const FullFrame &frame);
    void sendReply(Dialogue &dlg, uint8_t command, const FullFrame &to, TimePoint now);
    void sendRaw(const std::vector<uint8_t> &bytes, const sockaddr_in &to);
    void replyStateless(const FullFrame &to, const sockaddr_in &from, uint8_t command, const IeList &ies);
    void openDialogue(Dialogue &dlg, uint8_t command, IeList ies, TimePoint now);
    uint16_t allocateCallNo();
    // A dialogue with a local call number of its own.
    std::unique_ptr<Dialogue> newDialogue();
    Dialogue *findLocal(uint16_t localNo, int *callNo, Registration **reg);
    Dialogue *findRemote(const sockaddr_in &from, uint16_t remoteNo, int *callNo, Registration **reg);
    void retire(std::unique_ptr<Dialogue> dlg);
    void closingTimers(TimePoint now);

    // Calls (EngineCalls.cpp).
    bool acceptsNewFrom(const sockaddr_in &from) const;
    void refuseNew(const FullFrame &frame, const sockaddr_in &from, TimePoint now);
    void handleNew(const FullFrame &frame, const IeList &ies, const sockaddr_in &from, TimePoint now);
    void handleCallFrame(int callNo, FullFrame &frame, const IeList *ies, TimePoint now);
    void handleControl(int callNo, uint32_t control, TimePoint now);
    void handleCallCommand(int callNo, const FullFrame &frame, const IeList &ies, TimePoint now);
    bool codecAvailable(uint32_t format) const;
    Call *call(int callNo);
    int freeSlot() const;
    Call &takeSlot(int slot);
    void startCall(int callNo, TimePoint now);
    void endCall(int callNo, uint8_t command, const std::string &cause, uint8_t code, TimePoint now,
        CallEndReason reason = CallEndReason::HungUpHere);
    void dropCall(int callNo, CallEndReason reason, const std::string &cause = std::string());
    void callTimers(TimePoint now);

    // What the user does to calls (EngineCallControl.cpp).
    int dial(const Account &account, const std::string &number);
    bool answer(int callNo);
    void selectCall(int callNo);
    void reject(int callNo);
    void sendBusy(int callNo);
    void hangup(int callNo);
    void hangupAll();
    bool hold(int callNo, bool held, bool moh);
    bool sendDtmf(char digit, int callNo);
    void setFormats(uint32_t preferred, uint32_t allowed);
    int callState(int callNo) const;

    // Registration (EngineRegistration.cpp).
    int registerAccount(const Account &account);
    void unregisterAccount(int id);
    void startRegistration(Registration &reg, TimePoint now);
    void handleRegistrationFrame(Registration &reg, const FullFrame &frame, const IeList *ies, TimePoint now);
    void registrationTimers(TimePoint now);
    // Ends the attempt; unless releasing, reports it and schedules the next one.
    void registrationFailed(
        Registration &reg, RegistrationReply reply, TimePoint now, const std::string &cause = std::string());
    void emitRegistration(int id, RegistrationReply reply, int messages = -1, const std::string &cause = std::string());

    // Transfer (EngineTransfer.cpp).
    bool blindTransfer(int callNo, const std::string &number);
    bool attendedTransfer(int heldCall, int talkingCall);
    bool transferIncludes(int callNo) const;
    void transferReady(int callNo, TimePoint now);
    void failTransfer(int rejectingCall, const std::string &why, TimePoint now);
    void transferTimers(TimePoint now);
    void emitTransfer(int callNo, int otherCallNo, bool ok);

    // The hand-over to the media path (EngineMedia.cpp).
    void handleVoice(Call &call, uint32_t timestamp, uint32_t format, std::vector<uint8_t> &&payload, TimePoint now);
    void handleComfortNoise(Call &call, const FullFrame &frame);
    void updateAudio();
    void collectMedia(MediaInput &input);
    void deliverMedia(MediaOutput &output, std::vector<std::pair<std::vector<uint8_t>, sockaddr_in>> &minis);

    // Every time the engine acts on comes from here (Config::clock).
    TimePoint clockNow() const { return m_config.clock ? m_config.clock() : Clock::now(); }

    Config m_config;
    AudioDevice *m_audio = nullptr;
    NullAudioDevice m_nullAudio;

    mutable std::mutex m_mutex;
    int m_socket = -1;
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    std::string m_error;
    uint16_t m_localPort = 0;

    std::thread m_thread;
    std::atomic<bool> m_stop { false };
    std::atomic<bool> m_running { false };
    std::atomic<bool> m_wantAudio { false };

    EventCallback m_eventCallback;
    LogCallback m_logCallback;
    std::vector<EngineEvent> m_events;
    std::vector<std::pair<int, std::string>> m_logs;

    std::vector<Call> m_calls;
    std::vector<Registration> m_registrations;
    std::vector<std::unique_ptr<Dialogue>> m_closing;
    std::map<uint64_t, int> m_malformedPeers;
    // Sources whose NEW was refused, with when that was last logged.
    std::map<uint32_t, TimePoint> m_refusedSources;
    int m_nextRegistrationId = 1;
    uint16_t m_nextCallNo = 1;
    uint64_t m_nextGeneration = 1;
    int m_selected = -1;

    std::string m_callerName;
    std::string m_callerNumber;
    uint32_t m_preferred = FormatUlaw;
    uint32_t m_allowed = FormatUlaw | FormatAlaw;
    int m_filters = 0;
    SpeexSettings m_speex;
    float m_inputGain = 1.0f;
    float m_outputGain = 1.0f;
    bool m_mute = false;
    bool m_ringInBoth = false;
    bool m_muteRing = false;

    // A device selection waiting for the thread (the device is the thread's alone).
    bool m_selectPending = false;
    int m_selectIds[3] = { -1, -1, -1 };

    struct AttendedTransfer
    {
        bool active = false;
        int calls[2] = { -1, -1 };
        bool ready[2] = { false, false };
        uint32_t id = 0;
        TimePoint deadline;
    };
    AttendedTransfer m_transfer;
    uint32_t m_nextTransferId = 1;

    // The processing thread's own: no lock.
    MediaPath m_media;
    TimePoint m_nextTick;
    MediaInput m_mediaInput;
    MediaOutput m_mediaOutput;
    std::vector<std::pair<std::vector<uint8_t>, sockaddr_in>> m_minis;
};

} // namespace iax2
