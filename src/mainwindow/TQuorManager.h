#pragma once

#include <QAbstractSocket>
#include <QList>
#include <QMainWindow>
#include <QPalette>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include <memory>

#include "mainwindow/PbxRouter.h"
#include "mainwindow/QuorHelp.h"

class ActiveCall;
class AmiMessage;
class ManagerSocket;
class QAction;
class QDockWidget;
class QFrame;
class QMenu;
class QVBoxLayout;
class Queue;
class QuorExtensions;
class QuorParked;
class QuorQueue;
class TQuorGroupsEdit;
class TQuorPhone;
class TQuorQMmenu;
class TQuorSettings;

// The application's main window and hub: the extensions panel or the group
// editor in the middle, the menu strip on top, the phone dock on the left and
// the queue and parked-call docks on the right. It owns the one connection to
// the PBX's manager interface; its router (PbxRouter) logs in, sends the
// start-up queries, retries while the connection is lost and routes every
// manager event to the panel, and the window shows what the router reports.
//
// Files: TQuorManager.cpp (construction, docks, pages, status texts),
// TQuorManagerMenus.cpp (actions, menus, keys, tray, help),
// TQuorManagerLayout.cpp (layout file, quitting), TQuorManagerConnection.cpp
// (the connection as the user sees it), TQuorManagerRouting.cpp (the event
// slots, each handing its message to the router), TQuorManagerAstDb.cpp (own
// DND and forward) and TQuorManagerAgents.cpp (queues, members, agent login
// and pause).
class TQuorManager : public QMainWindow
{
    Q_OBJECT

    // Made first: the public fields below are its own.
    std::unique_ptr<PbxRouter> m_router;

public:
    TQuorManager(TQuorPhone *phone, TQuorSettings *settings);
    ~TQuorManager() override;

    // Read by the queue and parked windows and kept by the router's
    // call-record work, in creation order; emptied when the connection drops.
    QList<ActiveCall *> &activeCalls;
    // The PBX's queues in the order first reported, with their members; kept
    // across connection drops, owned here.
    QList<Queue *> queues;
    // The user's own PBX user (own extension) and the dial-plan context of the
    // own peer, learnt from the PBX's answer about that peer.
    QString &userName;
    QString &userContext;

    ManagerSocket *socket() const { return m_socket; }
    TQuorPhone *phone() const { return m_phone; }
    QuorExtensions *extensions() const { return m_extensions; }
    TQuorGroupsEdit *groupsEdit() const { return m_groupsEdit; }
    TQuorQMmenu *menuStrip() const { return m_menu; }
    QuorQueue *queueWindow() const { return m_queue; }
    QuorParked *parkedWindow() const { return m_parked; }
    QDockWidget *phoneDock() const { return m_phoneDock; }
    // The help window opened last, while it is open.
    QuorHelp *helpWindow() const { return m_help; }
    QSystemTrayIcon *trayIcon() const { return m_tray; }
    QString layoutFileName() const { return m_layoutFile; }
    PbxRouter *router() const { return m_router.get(); }
    bool isLoggedIn() const { return m_router->isLoggedIn(); }
    // The first call record in activeCalls whose field (uniqueid or channel)
    // equals key, found without walking the list; an empty key names none.
    ActiveCall *firstCall(QString ActiveCall::*field, const QString &key) const
    {
        return m_router->firstCall(field, key);
    }
    bool isNewAsterisk() const { return m_router->isNewAsterisk(); }
    QString driverName() const { return m_router->driverName(); }

    // How long a status text stays; tests shorten it.
    static constexpr int kMessageHideMs = 7000;
    static constexpr int kReconnectMs = PbxRouter::kReconnectMs;
    void setMessageHideDelay(int ms) { m_messageHideMs = ms; }

public slots:
    // Pages, docks and status texts.
    void showMessage(QString text);
    void hideMessage();
    void showPhone();
    void showEditGroups();
    void showExtensions();
    void createDockWindows();
    void setupLablel();
    void slotUserSettingsChanged();
    void slotAgentSettingsChanged();
    void newPark(int callNo);

    // Actions, tray and help.
    void slotSysTrayEnable();
    void notify(QString title, QString text, QSystemTrayIcon::MessageIcon icon);
    void iconActivated(QSystemTrayIcon::ActivationReason reason);
    void messageClicked();
    void wtHelp();
    void Help(QUrl url);
    void MainHelp();
    void slotSetDND();

    // Quitting: the layout, then the groups, then the phone's quit routine,
    // which ends the process. Runs once; later calls while quitting do nothing.
    void quit();
    void slotQuit();
    void slotBeforeQuit();

    // The connection cycle.
    void connectToPbx();
    void connected();
    void logInResponse(bool success, QString message);
    void disconnected();
    void socketError(QAbstractSocket::SocketError error);
    void slotManagerSettingsChanged();
    void getVersion(QString version);
    void getZapStatus(QStringList message);
    void resumeCount();
    void setCallLabel(QString channels, QString calls);
    // The gateway for the texts of the panel, its tiles and the phone.
    void AsteriskCommand(QString text);

    // Own DND and forward.
    void slotPhoneOptionsChanged();
    void setAsteriskDND();
    void setAsteriskFWD();
    void DBFilter(QStringList message);
    void keyFilter(QStringList message);

    // Queues and agents.
    void AgQueueState(QString queue);
    void AgentLogin();
    void Agentlogout();
    void AgentPause();
    void AgentUnPause();
    void QueueMember(QStringList message);
    void QueueParams(QStringList message);
    void QueueStatusComplete(QStringList message);
    void fillComboQueues();
    void setPause(QStringList message);
    void setButtonAgent(bool loggedIn, QString queue);
    void setButtonPause(bool paused);

    // The queue and parked windows' requests (TQuorManagerConnection.cpp): take a
    // queued call to the own extension, send a call on to an extension
    // through the panel, hang a call up, let the phone dial a parking space.
    void takeQueue(QString channel);
    void redirectChannel(QString channel, QString exten);
    void hangQueue(QString channel);
    void takePark(QString space);
    void hangPark(QString channel);

    // Routing of PBX events to the panel.
    void PeerEntry(QStringList message);
    void PeerStatus(QStringList message);
    void ExtensionStatus(QStringList message);
    void UserEvent(QStringList message);
    void peersCount(QStringList message, QString tech);
    void Link(QStringList message);
    void Unlink(QStringList message);
    void PeerResponse(QStringList message);
    void Hangup(QStringList message);
    void Rename(QStringList message);
    void Newcallerid(QStringList message);
    void Join(QStringList message);
    void Leave(QStringList message);
    void MailBoxStatus(QStringList message);
    void MailBoxCount(QStringList message);
    void GetVariable(QStringList message);
    void Dial(QStringList message);
    void Status(QStringList message);
    void Newstate(QStringList message);
    void Newchannel(QStringList message);
    void Newexten(QStringList message);
    void Hold(QStringList message);
    void Unhold(QStringList message);
    void ZapDND(QStringList message);
    void ParkedCall(QStringList message);
    void UnParkedCall(QStringList message);
    void ParkedCallGiveUp(QStringList message);
    void Cdr(QStringList message);

protected:
    bool event(QEvent *e) override;
    void setVisible(bool visible) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    // Construction.
    void readSettings();
    void connectStrip();
    void connectSettings();
    void connectPhone();
    void connectPanel();
    void connectSocket();
    void connectRouter();
    void setCentralPage(QWidget *page);
    bool pageShown(QWidget *page) const;
    void refreshGroupEditor();
    void readPhoneOptions();
    // The families the router matches answers against, from the settings.
    void passFamilies();

    // Actions, menus, tray.
    void createActions();
    void createMenus();
    void createTrayIcon();
    void setupTrayIcon(bool on);

    // Layout file.
    void saveLayout();
    void loadLayout();
    void showErrorBox(const QString &text);

    // What the router reports, as the user sees it (TQuorManagerConnection.cpp).
    void showLoginAnswer(bool success, const QString &message);
    void showConnectionLost();
    void showVersion(const QString &version);
    void showPeerTotals(int total, int available);
    void discoveryDone();

    // The PBX's answers about the own DND and forward (TQuorManagerAstDb.cpp).
    void ownDndAnswer(bool on);
    void ownForwardAnswer(bool on, const QString &number, const QString &family);
    void forwardFamilyChanged(const QString &previousFamily);
    // Queue agents (TQuorManagerAgents.cpp).
    QString ownInterface() const;
    Queue *findQueue(const QString &name) const;
    void showOwnMembership(const QString &queueName);
    void sendQueuePause(bool paused);

    // Settings and connection state.
    QString m_managerHost;
    QString m_managerUser;
    QString m_managerSecret;
    quint16 m_managerPort = 0;
    bool m_privacy = false;
    bool m_useFreePbx = false;
    bool m_trayIconFlag = false;
    bool m_trayCreated = false;
    bool m_busy = false;
    bool m_onTop = false;
    bool m_dndOn = false;
    bool m_forwardOn = false;
    bool m_voiceMail = false;
    bool m_forwardToVm = false;
    bool m_agentLoginOption = false;
    QString m_dndFamily;
    QString m_dndCode;
    QString m_forwardNumber;
    QString m_forwardFamily;
    QString m_previousForwardFamily;
    bool m_previousForwardOn = false;
    QString m_fwdFamilyAll;
    QString m_fwdFamilyBusy;
    QString m_fwdFamilyNoAnswer;
    QString m_agentUser;
    QString m_agentId;
    QString m_penalty;
    bool m_agentLoggedIn = false;
    bool m_agentPaused = false;
    // The queue the agent buttons act on, and the page's member lines, row for row.
    QString m_agentQueue;
    QStringList m_agentLines;
    bool m_quitting = false;

    // Objects and widgets.
    TQuorSettings *m_settings = nullptr;
    TQuorPhone *m_phone = nullptr;
    ManagerSocket *m_socket = nullptr;
    QuorExtensions *m_extensions = nullptr;
    TQuorGroupsEdit *m_groupsEdit = nullptr;
    TQuorQMmenu *m_menu = nullptr;
    QuorQueue *m_queue = nullptr;
    QuorParked *m_parked = nullptr;
    QPointer<QuorHelp> m_help;
    QFrame *m_centralFrame = nullptr;
    QVBoxLayout *m_centralLayout = nullptr;
    QList<QWidget *> m_centralPages;
    QDockWidget *m_phoneDock = nullptr;
    QDockWidget *m_queuesDock = nullptr;
    QDockWidget *m_parkedDock = nullptr;
    QPalette m_dockPalette;
    QTimer m_messageTimer;
    int m_messageHideMs = kMessageHideMs;
    QString m_layoutFile;

    QMenu *m_fileMenu = nullptr;
    QMenu *m_editMenu = nullptr;
    QMenu *m_phoneMenu = nullptr;
    QMenu *m_optionsMenu = nullptr;
    QMenu *m_logsMenu = nullptr;
    QMenu *m_viewMenu = nullptr;
    QMenu *m_helpMenu = nullptr;

    QAction *m_minimizeAction = nullptr;
    QAction *m_restoreAction = nullptr;
    QAction *m_quitAction = nullptr;
    QAction *m_cutAction = nullptr;
    QAction *m_copyAction = nullptr;
    QAction *m_pasteAction = nullptr;
    QAction *m_clearAction = nullptr;
    QAction *m_helpAction = nullptr;
    QAction *m_whatsThisAction = nullptr;
    QAction *m_settingsAction = nullptr;
    QAction *m_volumeAction = nullptr;
    QAction *m_activityAction = nullptr;
    QAction *m_keypadAction = nullptr;
    QAction *m_callReportAction = nullptr;
    QAction *m_contactsAction = nullptr;
    QAction *m_voiceMailAction = nullptr;
    QAction *m_agentLoginAction = nullptr;
    QAction *m_dndAction = nullptr;
    QAction *m_forwardAction = nullptr;
    QAction *m_busyAction = nullptr;
    QAction *m_trayIconAction = nullptr;
    QAction *m_onTopAction = nullptr;
    QAction *m_logsAction = nullptr;

    QSystemTrayIcon *m_tray = nullptr;
    QMenu *m_trayMenu = nullptr;
};
