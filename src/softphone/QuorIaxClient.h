#pragma once

// The softphone's layer over the IAX2 engine. The engine runs its own thread
// and raises one typed event per transition; its callbacks only copy each
// event into a VoipEvent posted to this object, which maps it to a signal, so
// every signal here is emitted on the thread this object lives in (the GUI
// thread). The call records live above (the phone's TQuorCall) and in the
// engine; nothing here keeps calls. The settings reach the engine through the
// apply functions, which the phone window calls with the configuration
// model's values.
//
// Every text for the user is written to the program log here, once, as it
// goes out as signalMessage: its receiver only shows it. The engine's texts and
// its diagnostics carry an "IAX2: " prefix in the log.

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <vector>

#include "core/QuorTypes.h"
#include "iax2/Iax2Engine.h"
#include "softphone/TVoipAccount.h"

class QuorIaxClient : public QObject
{
    Q_OBJECT

public:
    enum RegistrationResult { RegistrationAccepted, RegistrationRejected, RegistrationTimeout };
    Q_ENUM(RegistrationResult)

    struct Options
    {
        iax2::Iax2Engine::Config engine;
        // Not owned. nullptr: the sound card when there is one, else silence.
        iax2::AudioDevice *audio = nullptr;
        bool useSoundCard = true;
    };

    // What shutdown() waits between hanging up and stopping the engine, so the
    // registration release and the hang-ups reach the PBX.
    static constexpr int kShutdownWaitMs = 1000;

    explicit QuorIaxClient(QObject *parent = nullptr);
    explicit QuorIaxClient(Options options, QObject *parent = nullptr);
    ~QuorIaxClient() override;

    // False when the UDP port could not be opened; errorText() says why.
    bool isOpen() const;
    QString errorText() const;
    quint16 localPort() const;
    bool isRunning() const;

    // Settings, as the configuration model's getters give them.
    void applyAccount(const TVoipAccount &account);
    TVoipAccount account() const { return m_account; }
    // Device ids from audioDevices(), -1 for none.
    void applyAudioDevices(int input, int output, int ring, bool ringInBoth, bool muteRing);
    bool ringInBothDevices() const { return m_ringInBoth; }
    bool muteRingDevice() const { return m_muteRing; }
    // The mask goes to the engine unchanged.
    void applyFilters(int mask);
    // The filter mask the engine applies.
    int filters() const { return m_engine ? m_engine->filters() : 0; }
    // Codec format bits: GSM 2, u-law 4, a-law 8, Speex 512, iLBC 1024. What
    // cannot be offered (iLBC) is masked out with a warning; a preferred codec
    // that is not allowed gives way to the first allowed one; with nothing
    // left, calls are refused.
    void applyCodecs(int allowed, int preferred);
    int allowedCodecs() const { return int(m_allowed); }
    int preferredCodec() const { return int(m_preferred); }
    void applySpeex(int decodeEnhance, float quality, int cbr, int vbr, int abr, int complexity);
    // The engine's sound-device table, in its order; names in the local 8-bit encoding.
    std::vector<iax2::AudioDeviceInfo> audioDevices() const;

    // Registers the applied account (again); unregisterAccount() releases it.
    void registerAccount();
    void unregisterAccount();

    // Calls. A call is the engine's call number; -1 means none.
    int dial(const QString &number);
    bool answer(int call);
    void selectCall(int call);
    int selectedCall() const;
    void reject(int call);
    void sendBusy(int call);
    void hangup(int call);
    void hangupAll();
    bool hold(int call);
    bool resume(int call);
    // call -1: the selected call.
    bool sendDtmf(QChar digit, int call = -1);
    // The outcome arrives as signalTransferResult: success when the PBX takes
    // the call away, failure when it is still here after the engine's limit.
    bool blindTransfer(int call, const QString &number);
    // Joins a held call and the talking call through the PBX and leaves both.
    // The outcome arrives as signalTransferResult for each of the two calls;
    // when it fails (refused, or not done within five seconds) both stay.
    bool attendedTransfer(int heldCall, int talkingCall);
    int callSlots() const;
    int callState(int call) const;

    void setMute(bool mute);
    bool isMuted() const;
    // Software gains, 0..1.
    void setInputLevel(float level);
    void setOutputLevel(float level);
    float inputLevel() const;
    float outputLevel() const;

    // The quit routine's part: release the registration, hang up every call,
    // give both a second to reach the PBX, stop and join the engine's thread and
    // close the audio. Afterwards every operation does nothing.
    void shutdown();
    bool isShutDown() const { return m_shutDown; }

signals:
    void signalRingingIn(int call, const QString &name, const QString &number);
    // Outgoing: the PBX took the call (with a codec), then the far end rings.
    void signalAccepted(int call);
    void signalRingingOut(int call);
    // An incoming call answered here or an outgoing call answered by the far end.
    void signalAnswered(int call);
    void signalHungUp(int call, bool wasAnswered);
    // A change of the registration's state; a refresh that keeps it
    // registered says nothing. cause: why the registrar rejected it, when known.
    void signalRegistration(QuorIaxClient::RegistrationResult result, const QString &cause);
    // dBFS, -99 for silence, about every 100 ms while a call has audio.
    void signalLevels(float input, float output);
    void signalMessage(const QString &text, TMessageType type);
    void signalTransferResult(int call, bool ok);

protected:
    void customEvent(QEvent *event) override;

private:
    void handleEvent(const iax2::EngineEvent &event);
    void handleRegistration(const iax2::RegistrationEvent &event);
    void message(const QString &text, TMessageType type);
    void postText(int type, const QString &text);

    Options m_options;
    std::unique_ptr<iax2::AudioDevice> m_soundCard;
    std::unique_ptr<iax2::Iax2Engine> m_engine;
    TVoipAccount m_account;
    uint32_t m_allowed = 0;
    uint32_t m_preferred = 0;
    bool m_ringInBoth = false;
    bool m_muteRing = false;
    bool m_shuttingDown = false;
    bool m_shutDown = false;
};
