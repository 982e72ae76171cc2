#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>

#include "core/QuorTypes.h"
#include "softphone/PhoneMessages.h"
#include "softphone/QuorIaxClient.h"
#include "ui_QuorPhoneBase.h"

class QAction;
class QFrame;
class QTimer;
class CallActions;
class ClickToDialServer;
class TQuorCall;
class TQuorSettings;
class TQuorTable;
class TQuorTableScroll;
class TquorAui;

// The phone window: keypad, call control, the active-call list and the call
// logs, the messages list, the hosted settings panel and the volume panel. It
// owns the IAX2 layer and every call record; the extensions panel and the main
// window drive it through the operations below.
class TQuorPhone : public QWidget, public Ui::QuorPhoneBase
{
    Q_OBJECT

public:
    // Calls the phone keeps at once (engine slots and the phone's own check).
    static constexpr int kMaxCalls = 4;
    // Rows each call log and the message list keep; the oldest go first.
    static constexpr int kLogRowLimit = 100;

    // What the phone needs from its surroundings; tests pick a loopback engine
    // port, no sound card and a free click-to-dial port. The engine's call
    // slots are always kMaxCalls.
    struct Options
    {
        QuorIaxClient::Options voip;
        int clickToDialPort = 35400; // 0: any free port, -1: none
    };

    using ExitFunction = std::function<void(int status)>;

    explicit TQuorPhone(TQuorSettings *settings, QWidget *parent = nullptr);
    TQuorPhone(TQuorSettings *settings, const Options &options, QWidget *parent = nullptr);
    ~TQuorPhone() override;

    // --- for the extensions panel ---
    void callExtension(const QString &number);
    void transferTalkingCallTo(const QString &number);
    void attendedTransfer(TQuorCall *heldCall, TQuorCall *talkingCall);
    void setVoiceMailCount(const QString &mailbox, int count);

    // --- for the main window ---
    void dialCode(const QString &code);
    void callNumber(const QString &number);
    void parkCall(int callNo);
    void setAgentLoggedIn(bool loggedIn);
    void updateMenuTexts();
    // Shuts the engine down in its order and ends the process with status 0.
    void beforeQuit();
    QLabel *messageLabel() const;
    void setMainWindow(QWidget *window);
    void setOnTopFlag(bool onTop);

    // --- state, for the main window and tests ---
    QuorIaxClient *voip() const { return m_voip; }
    QList<TQuorCall *> currentCalls() const { return m_calls; }
    TQuorCall *findCall(int callNo) const;
    TQuorCall *talkingCall() const;
    TQuorCall *heldCall() const;
    // The call the buttons act on: the selected row's, else the talking one,
    // else the newest.
    TQuorCall *currentCall() const;
    bool isOwnCall(const TQuorCall *call) const;
    QString accountUser() const;
    bool agentLoggedIn() const { return m_agentLoggedIn; }
    bool isMuted() const { return m_muted; }
    TQuorTable *activityTable() const { return m_activity; }
    TQuorTable *missedTable() const { return m_missed; }
    TQuorTable *dialedTable() const { return m_dialed; }
    TQuorTable *answeredTable() const { return m_answered; }
    TQuorTable *messagesTable() const { return m_messages; }
    TquorAui *volumePanel() const { return m_aui; }
    CallActions *callActions() const { return m_actions; }
    ClickToDialServer *clickToDial() const { return m_clickToDial; }
    QAction *dndAction() const { return m_actDnd; }
    QAction *forwardAction() const { return m_actFwd; }
    QAction *busyAction() const { return m_actBusy; }
    QAction *trayAction() const { return m_actTray; }
    QAction *onTopAction() const { return m_actOnTop; }
    // The page shown in the panel: one of the frame* pages or frameSettings.
    QWidget *currentPage() const { return m_page; }

    // --- seams for tests ---
    void setMessageHideDelay(int ms) { m_messageHideMs = ms; }
    void setVoiceMailLoginDelay(int ms) { m_vmLoginMs = ms; }
    void setTransferFailDelay(int ms) { m_transferFailMs = ms; }
    void setExitFunction(ExitFunction exitFunction) { m_exit = std::move(exitFunction); }

public slots:
    void showMessage(const QString &text, TMessageType type, const QString &detail = QString());
    void slotExtCmd(const QString &text);
    void slotManagerRegistered(bool registered);

    void cut();
    void copy();
    void paste();
    void lclear();
    void MshowSettings();
    void showSettings();
    void showVolume();
    void MshowIncomming();
    void showActivity();
    void MshowKeyboard();
    void showKeypad();
    void MshowMissing();
    void MshowContacts();
    void showContacts();
    void MshowLog();
    void showMessages();
    void showDialed();
    void showAnswered();
    void callVM();
    void slotAgentLogin();
    void slotAlogin();
    void slotSetDND();
    void slotSetFWD();
    void slotSetBusy();
    void slotSetSysTray();
    void slotSetOnTop();
    void control();
    void holdResume();
    void MtransferInternal();
    void setMute();
    void hangupCurrent();
    void resetButtons();

    void slotPhoneOptionsChanged();
    void slotUserSettingsChanged();
    void slotPrivacySettingsChanged(bool on);
    void slotCall(const QString &number);
    void getMenu(const QString &name);

signals:
    void signalExtCmd(QString text);
    void signalSendCall(TQuorCall *call);
    void signalPhoneUserName(QString userName);
    void signalMessage(QString text);
    void signalMessageCalls(QString title, QString text, QSystemTrayIcon::MessageIcon icon);
    void signalsetupLablel();

private slots:
    // From the IAX2 layer.
    void slotPhoneRingingIn(int callNo, const QString &name, const QString &number);
    void slotAccepted(int callNo);
    void slotRingingOut(int callNo);
    void slotAnswered(int callNo);
    void slotHungUp(int callNo, bool wasAnswered);
    void slotRegistration(QuorIaxClient::RegistrationResult result);
    void slotTransferResult(int callNo, bool ok);
    void slotLevels(float input, float output);
    // From the settings model.
    void slotAudioDevicesChanged();
    void slotFiltersChanged();
    void slotCodecsChanged();
    void slotSpeexChanged();
    void slotActionsChanged();
    // From the lists.
    void slotAnswerCall(TQuorCall *call);
    void slotHangupCall(TQuorCall *call);
    void slotLogCall(TQuorCall *call);
    void slotActivityDoubleClick(TQuorCall *call);
    void slotClickToDial(const QString &number);
    void slotTick();
    void slotHideMessage();

private:
    struct CallInfo
    {
        bool forwarding = false; // answered only to be passed on
        bool voiceMailCheck = false;
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

    void construct(const Options &options);
    void setupButtons();
    void setupTables();
    void setupActions();
    void hostSettings();
    void applyAllSettings();

    // Pages.
    void showPage(QWidget *page, QPushButton *button, const QString &caption);
    bool settingsShown() const;

    // Messages from the layers below, which have logged them already.
    void displayMessage(const QString &text, TMessageType type);

    // Calls.
    TQuorCall *addCall(int callNo, int direction, const QString &name, const QString &number);
    // callNumber's checks, then the call; returns the new call's number or -1.
    // showCalls: switch to the Activity page once the call is placed.
    int dialNumber(const QString &number, bool showCalls);
    int placeCall(const QString &number, bool showCalls);
    bool answerCall(TQuorCall *call);
    bool holdCall(TQuorCall *call);
    bool resumeCall(TQuorCall *call);
    void holdTalkingCall();
    void setCallState(TQuorCall *call, int state);
    void fileCall(TQuorCall *call, bool wasAnswered);
    void addLogRow(TQuorTable *table, int kind, const TQuorCall *call);
    void raiseMainWindow();
    void applyOnTop();
    void sendKey(QChar key);
    bool hasLiveVoiceMailCheck() const;
    // Puts calls still waiting for the transfer back as they were.
    void finishAttendedTransfer(bool failed);
    bool callIsUp() const;

    static QString callCaption(const TQuorCall *call);
    // A caller's text for places outside the lists (message line, tray), masked
    // while privacy is on as the lists mask theirs.
    QString shownCaption(const TQuorCall *call) const;
    static int rowKindFor(const TQuorCall *call);
    static QString elapsedText(qint64 seconds);

    void setLamp(QLabel *lamp, const QString &image);
    void updateLamps();

    TQuorSettings *m_settings = nullptr;
    QuorIaxClient *m_voip = nullptr;
    CallActions *m_actions = nullptr;
    ClickToDialServer *m_clickToDial = nullptr;
    TquorAui *m_aui = nullptr;
    QPointer<QWidget> m_mainWindow;
    QWidget *m_page = nullptr;

    TQuorTable *m_activity = nullptr;
    TQuorTable *m_missed = nullptr;
    TQuorTable *m_dialed = nullptr;
    TQuorTable *m_answered = nullptr;
    TQuorTable *m_messages = nullptr;
    QList<TQuorCall *> m_logRecords;

    QList<TQuorCall *> m_calls;
    QHash<const TQuorCall *, CallInfo> m_info;

    QTimer *m_tick = nullptr;
    QTimer *m_messageTimer = nullptr;
    QTimer *m_attendedTimer = nullptr;
    PendingTransfer m_attended;
    QList<QPushButton *> m_pageButtons;
    QLabel *m_contactsNote = nullptr;

    QAction *m_actDnd = nullptr;
    QAction *m_actFwd = nullptr;
    QAction *m_actBusy = nullptr;
    QAction *m_actTray = nullptr;
    QAction *m_actOnTop = nullptr;

    // Phone options, as last read from the settings.
    bool m_busy = false;
    bool m_onTop = false;
    bool m_onTopApplied = false;
    bool m_dnd = false;
    bool m_forward = false;
    bool m_vm = false;
    bool m_forwardToVm = false;
    bool m_agentOption = false;
    bool m_tray = true;
    QString m_forwardNumber;
    QString m_vmNumber;
    QString m_vmUser;
    QString m_vmPassword;
    QString m_vmPrefix;
    QString m_parkingLot;

    bool m_privacy = false;
    bool m_agentLoggedIn = false;
    bool m_muted = false;
    int m_messageHideMs = PhoneMessages::kHideAfterMs;
    int m_vmLoginMs = 3000;
    int m_transferFailMs = 5000;
    ExitFunction m_exit;
};
