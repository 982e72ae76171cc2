#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>

#include "core/QuorTypes.h"
#include "softphone/PhoneCalls.h"
#include "softphone/PhoneMessages.h"
#include "softphone/QuorIaxClient.h"
#include "ui_QuorPhoneBase.h"

class QAction;
class QFrame;
class QTimer;
class CallActions;
class ClickToDialServer;
class TQuorCall;
class TQuorContacts;
class TQuorSettings;
class TQuorTable;
class TQuorTableScroll;
class TquorAui;

// The phone window: keypad, call control, the active-call list and the call
// logs, the messages list, the hosted settings panel and the volume panel. It
// owns the IAX2 layer and the calls (PhoneCalls), and shows what the calls
// announce; the call operations below hand over to them.
class TQuorPhone : public QWidget, public Ui::QuorPhoneBase
{
    Q_OBJECT

public:
    // Calls the phone keeps at once (engine slots and the phone's own check).
    static constexpr int kMaxCalls = PhoneCalls::kMaxCalls;
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

    // --- for the extensions panel, which reaches the calls themselves ---
    void callExtension(const QString &number) { m_calls->callExtension(number); }
    void transferTalkingCallTo(const QString &number) { m_calls->transferTalkingCallTo(number); }
    void attendedTransfer(TQuorCall *held, TQuorCall *talking) { m_calls->attendedTransfer(held, talking); }
    void setVoiceMailCount(const QString &mailbox, int count) { m_calls->setVoiceMailCount(mailbox, count); }

    // --- for the main window ---
    void dialCode(const QString &code) { m_calls->dial(code); }
    void callNumber(const QString &number) { m_calls->dial(number); }
    void parkCall(int callNo) { m_calls->parkCall(callNo); }
    void setAgentLoggedIn(bool loggedIn);
    void updateMenuTexts();
    // Shuts the engine down in its order and ends the process with status 0.
    void beforeQuit();
    QLabel *messageLabel() const;
    void setMainWindow(QWidget *window);
    void setOnTopFlag(bool onTop);

    // --- state, for the main window and tests ---
    QuorIaxClient *voip() const { return m_voip; }
    PhoneCalls *calls() const { return m_calls; }
    QList<TQuorCall *> currentCalls() const { return m_calls->calls(); }
    TQuorCall *findCall(int callNo) const { return m_calls->findCall(callNo); }
    TQuorCall *talkingCall() const { return m_calls->talkingCall(); }
    TQuorCall *heldCall() const { return m_calls->heldCall(); }
    // The call the buttons act on: the selected row's, else the talking one,
    // else the newest.
    TQuorCall *currentCall() const { return m_calls->currentCall(); }
    bool isOwnCall(const TQuorCall *call) const { return m_calls->isOwnCall(call); }
    QString accountUser() const { return m_calls->accountUser(); }
    bool agentLoggedIn() const { return m_agentLoggedIn; }
    bool isMuted() const { return m_muted; }
    TQuorTable *activityTable() const { return m_activity; }
    TQuorTable *missedTable() const { return m_missed; }
    TQuorTable *dialedTable() const { return m_dialed; }
    TQuorTable *answeredTable() const { return m_answered; }
    TQuorTable *messagesTable() const { return m_messages; }
    TquorAui *volumePanel() const { return m_aui; }
    TQuorContacts *contacts() const { return m_contacts; }
    CallActions *callActions() const { return m_actions; }
    ClickToDialServer *clickToDial() const { return m_clickToDial; }
    QAction *dndAction() const { return m_actDnd; }
    QAction *forwardAction() const { return m_actFwd; }
    QAction *busyAction() const { return m_actBusy; }
    QAction *trayAction() const { return m_actTray; }
    QAction *onTopAction() const { return m_actOnTop; }
    // The page shown in the panel: one of the frame* pages or frameSettings.
    QWidget *currentPage() const { return m_page; }
    // A fault that lasts, such as a refused manager login: the line shows it
    // now and comes back to it whenever a newer message's time is up, until
    // it is cleared. Neither call adds to the message list.
    void setStandingMessage(const QString &text, TMessageType type);
    void clearStandingMessage();

    // --- seams for tests ---
    void setMessageHideDelay(int ms) { m_messageHideMs = ms; }
    void setVoiceMailLoginDelay(int ms) { m_calls->setVoiceMailLoginDelay(ms); }
    void setTransferFailDelay(int ms) { m_calls->setTransferFailDelay(ms); }
    void setExitFunction(ExitFunction exitFunction) { m_exit = std::move(exitFunction); }

public slots:
    void showMessage(const QString &text, TMessageType type, const QString &detail = QString());
    // The message's time is up: the line goes back to a standing message, or blank.
    void slotHideMessage();
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
    void callVM() { m_calls->callVoiceMail(); }
    void slotAgentLogin();
    void slotAlogin();
    void slotSetDND();
    void slotSetFWD();
    void slotSetBusy();
    void slotSetSysTray();
    void slotSetOnTop();
    void control();
    void holdResume() { m_calls->holdResume(); }
    void MtransferInternal() { m_calls->transferHeldToTalking(); }
    void setMute();
    void hangupCurrent() { m_calls->hangup(m_calls->currentCall()); }
    void resetButtons();

    void slotPhoneOptionsChanged();
    void slotUserSettingsChanged();
    void slotPrivacySettingsChanged(bool on);
    void slotCall(const QString &number);
    void getMenu(const QString &name);
    // An incoming call through the calls' policy (they hear the engine themselves).
    void slotPhoneRingingIn(int callNo, const QString &name, const QString &number)
    {
        m_calls->slotPhoneRingingIn(callNo, name, number);
    }

signals:
    void signalExtCmd(QString text);
    void signalSendCall(TQuorCall *call);
    void signalPhoneUserName(QString userName);
    void signalMessage(QString text);
    void signalMessageCalls(QString title, QString text, QSystemTrayIcon::MessageIcon icon);
    void signalsetupLablel();

private slots:
    // From the calls: the active-call list, the logs and the desktop actions.
    void slotCallListed(TQuorCall *call);
    void slotCallRinging(TQuorCall *call);
    void slotCallDialled(TQuorCall *call, bool showCalls);
    void slotCallStateChanged(TQuorCall *call);
    void slotCallAnswered(TQuorCall *call);
    void slotCallEnded(TQuorCall *call, int logKind);
    void slotVoiceMailCount(int count);
    // From the IAX2 layer.
    void slotRegistration(QuorIaxClient::RegistrationResult result, const QString &cause);
    void slotLevels(float input, float output);
    // From the settings model.
    void slotAudioDevicesChanged();
    void slotFiltersChanged();
    void slotCodecsChanged();
    void slotSpeexChanged();
    void slotActionsChanged();
    // From the lists.
    void slotLogCall(TQuorCall *call);
    void slotClickToDial(const QString &number);
    void slotTick();

private:
    void construct(const Options &options);
    void setupButtons();
    void setupTables();
    void setupActions();
    void hostSettings();
    // The address book (TQuorPhoneContacts.cpp): shown over the panel exactly
    // while its page is, its changes on disk before the process ends.
    void hostContacts();
    void showContactsPanel(bool shown);
    void saveContactsNow();
    void applyAllSettings();

    // Pages.
    void showPage(QWidget *page, QPushButton *button, const QString &caption);
    bool settingsShown() const;

    // Messages from the layers below, which have logged them already.
    void displayMessage(const QString &text, TMessageType type);
    // The message line and the settings panel's copy of it, when shown.
    void setMessageLine(const QString &text, TMessageType type);

    // Calls.
    void addLogRow(TQuorTable *table, int kind, const TQuorCall *call);
    void raiseMainWindow();
    void applyOnTop();
    void sendKey(QChar key);

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
    PhoneCalls *m_calls = nullptr;

    QTimer *m_tick = nullptr;
    QTimer *m_messageTimer = nullptr;
    QList<QPushButton *> m_pageButtons;
    TQuorContacts *m_contacts = nullptr;

    QAction *m_actDnd = nullptr;
    QAction *m_actFwd = nullptr;
    QAction *m_actBusy = nullptr;
    QAction *m_actTray = nullptr;
    QAction *m_actOnTop = nullptr;

    // Phone options the window itself follows (the calls keep theirs), as last
    // read from the settings.
    bool m_onTop = false;
    bool m_onTopApplied = false;
    bool m_tray = true;

    bool m_agentLoggedIn = false;
    bool m_muted = false;
    int m_messageHideMs = PhoneMessages::kHideAfterMs;
    QString m_standingText;
    TMessageType m_standingType = MessageError;
    ExitFunction m_exit;
};
