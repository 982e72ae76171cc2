#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

#include "core/QuorTypes.h"

class QTimer;
class QuorIaxClient;
class TQuorCall;

// The phone's calls without their window: every call record, what the phone
// keeps about each (forwarded, voicemail check, answer time), the attended
// transfer under way, the incoming-call policy, dialling with its checks, and
// where an ended call is filed. It drives the engine's Qt layer and tells its
// view what changed; the view owns the lists and runs the desktop actions.
// Records are deleted right after signalCallEnded: a receiver that keeps a
// pointer checks it with isOwnCall before use.
class PhoneCalls : public QObject
{
    Q_OBJECT

public:
    // Calls kept at once (the engine's call slots and the dialling check).
    static constexpr int kMaxCalls = 4;

    // The phone options the calls follow, as the settings give them.
    struct Settings
    {
        bool dnd = false;
        bool forward = false;
        bool forwardToVm = false;
        bool busy = false; // busy if speaking
        QString forwardNumber;
        QString vmNumber;
        QString vmUser;
        QString vmPassword;
        QString vmPrefix;
        QString parkingLot;
    };

    // voip is not owned and outlives this object.
    explicit PhoneCalls(QuorIaxClient *voip, QObject *parent = nullptr);
    ~PhoneCalls() override;

    void setSettings(const Settings &settings) { m_settings = settings; }
    const Settings &settings() const { return m_settings; }
    // While on, the messages mask the callers' numbers as the lists do.
    void setPrivacy(bool on) { m_privacy = on; }
    // The row the user selected, if the view has one; it decides the current call.
    void setSelection(std::function<TQuorCall *()> selected) { m_selected = std::move(selected); }

    // --- lookups ---
    QList<TQuorCall *> calls() const { return m_calls; }
    TQuorCall *findCall(int callNo) const;
    // Compared before any dereference: the pointer may be one a tile kept after
    // the call ended.
    bool isOwnCall(const TQuorCall *call) const;
    // Not a call answered only to be forwarded.
    TQuorCall *talkingCall() const;
    TQuorCall *heldCall() const;
    // The call the buttons act on: the selected one, else the talking one, else
    // the newest in the list.
    TQuorCall *currentCall() const;
    // The ringing incoming call the call button answers: the selected one, else
    // the first in the list.
    TQuorCall *ringingCall() const;
    // When the call was answered (invalid before), for the elapsed times.
    QDateTime answeredAt(const TQuorCall *call) const;
    QString accountUser() const;

    // --- dialling ---
    // The dialling checks, then the call: its number, or -1 with the reason said.
    // showCalls travels with signalDialled: the caller wants the list in view.
    int dial(const QString &number, bool showCalls = true);
    // From a tile: nothing for the own extension or while the current call is
    // still being set up; otherwise dial, so its checks refuse what cannot be
    // called. The talking call is held once the new one is placed.
    void callExtension(const QString &number);
    // The voicemail number, then the password as tones once the box answers.
    void callVoiceMail();
    // A tone to the talking call; false when no call talks.
    bool sendDtmf(QChar key);

    // --- the calls in the list ---
    bool answer(TQuorCall *call);
    // Rejects a call that still rings here, hangs up any other.
    void hangup(TQuorCall *call);
    bool hold(TQuorCall *call);
    bool resume(TQuorCall *call);
    void holdResume();
    // A double click: answers a ringing call, brings a held one back.
    void activate(TQuorCall *call);
    void transferTalkingCallTo(const QString &number);
    void attendedTransfer(TQuorCall *heldCall, TQuorCall *talkingCall);
    // The held call onto the talking one.
    void transferHeldToTalking();
    void parkCall(int callNo);
    // Announces the count when the mailbox is the phone's own.
    void setVoiceMailCount(const QString &mailbox, int count);

    // The user's text for a call, and the same masked while privacy is on.
    static QString callCaption(const TQuorCall *call);
    QString shownCaption(const TQuorCall *call) const;

    // --- seams for tests ---
    void setVoiceMailLoginDelay(int ms) { m_vmLoginMs = ms; }
    void setTransferFailDelay(int ms) { m_transferFailMs = ms; }

public slots:
    // The incoming-call policy: do-not-disturb, forward, busy if speaking, else ring.
    void slotPhoneRingingIn(int callNo, const QString &name, const QString &number);

signals:
    // The call joins the user's list: it rings here, was dialled, or is back
    // from a forward that failed.
    void signalListed(TQuorCall *call);
    // After signalListed, for a call that rings here.
    void signalRinging(TQuorCall *call);
    // After signalListed, for a call placed here.
    void signalDialled(TQuorCall *call, bool showCalls);
    void signalStateChanged(TQuorCall *call);
    // Answered here or by the far end; not for calls answered only to be forwarded.
    void signalAnswered(TQuorCall *call);
    // The call left the list; logKind is the log it is filed in, as that log's
    // row kind (RowMissed, RowAnswered or RowDialled).
    void signalCallEnded(TQuorCall *call, int logKind);
    // A text for the user; the receiver shows it and logs the detail, or the
    // text when there is none.
    void signalShowMessage(const QString &text, TMessageType type, const QString &detail = QString());
    void signalVoiceMailCount(int count);

private slots:
    void slotAccepted(int callNo);
    void slotRingingOut(int callNo);
    void slotAnswered(int callNo);
    void slotHungUp(int callNo, bool wasAnswered);
    void slotTransferResult(int callNo, bool ok);

private:
    struct CallInfo
    {
        bool forwarding = false; // answered only to be passed on
        bool voiceMailCheck = false;
        bool listed = false;
        QDateTime answeredAt;
    };

    // The two calls of an attended transfer until it is done or has failed.
    struct PendingTransfer
    {
        TQuorCall *held = nullptr;
        TQuorCall *talking = nullptr;
        int heldNo = -1;
        int talkingNo = -1;
    };

    TQuorCall *addCall(int callNo, int direction, const QString &name, const QString &number);
    void list(TQuorCall *call);
    int placeCall(const QString &number, bool showCalls);
    // Passes a ringing call on as the forward options say; false when they
    // name no target.
    bool forwardCall(TQuorCall *call);
    void setCallState(TQuorCall *call, int state);
    void holdTalkingCall();
    bool callIsUp() const;
    bool hasLiveVoiceMailCheck() const;
    // Puts calls still waiting for the transfer back as they were.
    void finishAttendedTransfer(bool failed);

    QuorIaxClient *m_voip = nullptr;
    QList<TQuorCall *> m_calls;
    QHash<const TQuorCall *, CallInfo> m_info;
    PendingTransfer m_attended;
    QTimer *m_attendedTimer = nullptr;
    Settings m_settings;
    std::function<TQuorCall *()> m_selected;
    bool m_privacy = false;
    int m_vmLoginMs = 3000;
    int m_transferFailMs = 5000;
};
