#pragma once

#include <QAbstractSocket>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "mainwindow/ActiveCallIndex.h"

class ActiveCall;
class AmiMessage;
class ManagerSocket;
class QTimer;
class QuorExtensions;
class QuorParked;
class QuorQueue;
class TQuorGroupsEdit;

// The road of a PBX event below the main window: the connection cycle (login,
// start-up queries, the drop and the retry), every socket event handed to the
// extensions panel in its order with the call-record work before or after it,
// and the call records behind the queue and parked windows. It is no widget:
// the main window shows what it reports through its signals, and the
// benchmarks run it with a bare panel.
//
// Files: PbxRouter.cpp (connection cycle, settings, the windows' requests),
// PbxRouterEvents.cpp (event dispatch and call records).
class PbxRouter : public QObject
{
    Q_OBJECT

public:
    // The call windows may be absent: the records are kept without rows.
    PbxRouter(ManagerSocket *socket, QuorExtensions *panel, TQuorGroupsEdit *groups, QuorQueue *queue = nullptr,
        QuorParked *parked = nullptr, QObject *parent = nullptr);
    // A router that routes nothing until attach() gives it its socket and panel.
    explicit PbxRouter(QObject *parent = nullptr);
    ~PbxRouter() override;

    // Once, before the first connection.
    void attach(ManagerSocket *socket, QuorExtensions *panel, TQuorGroupsEdit *groups, QuorQueue *queue = nullptr,
        QuorParked *parked = nullptr);

    // The retry after a lost connection, and after a refused login: a PBX
    // guarded against password guessing bans an address that keeps failing,
    // and with it the phone's registration from the same desk.
    static constexpr int kReconnectMs = 2000;
    static constexpr int kRefusedRetryMs = 60000;

    // The call records in creation order; emptied when the connection drops.
    QList<ActiveCall *> activeCalls;
    // The own extension and the dial-plan context of the own peer, learnt
    // from the PBX's answer about that peer.
    QString userName;
    QString userContext;

    // The first call record whose field (uniqueid or channel) equals key,
    // found without walking the list; an empty key names none.
    ActiveCall *firstCall(QString ActiveCall::*field, const QString &key) const
    {
        return m_callIndex.first(field, key);
    }

    bool isLoggedIn() const { return m_loggedIn; }
    // Logins refused in a row since the last accepted one or the last change
    // of the manager settings.
    int refusals() const { return m_refusals; }
    // The two retry delays, shortened by tests.
    void setRetryDelays(int lostMs, int refusedMs);
    // The panel's reading of the PBX's version and its FreePBX switch: the
    // router follows the panel's.
    bool isNewAsterisk() const;
    QString driverName() const { return m_driver; }

    // Where to log in, with whom. A change of any of the four abandons an
    // attempt that has not logged in, or closes a logged-in connection;
    // connectToPbx() then starts from the new ones.
    void setManager(const QString &host, quint16 port, const QString &user, const QString &secret);
    // The AstDB families of DND and of the three forward kinds, against which
    // the answers and the UserEvents are matched.
    void setFamilies(const QString &dnd, const QString &fwdAll, const QString &fwdBusy, const QString &fwdNoAnswer);
    // Asks the PBX for its peers again (the FreePBX switch changed).
    void requeryPeers();

public slots:
    void connectToPbx();
    void connected();
    void logInResponse(bool success, QString message);
    void disconnected();
    // An attempt that failed before any connection existed is retried like a
    // lost connection, so a PBX that comes up later is still reached. An
    // established connection that the system ends is logged with its cause.
    void socketError(QAbstractSocket::SocketError error);
    void getVersion(QString version);
    void getZapStatus(QStringList message);
    // Discovery has counted every peer: the totals are shown from now on.
    void resumeCount();
    // The gateway for the texts of the panel, its tiles, the phone and the
    // main window: one whole action each.
    void AsteriskCommand(QString text);

    // The queue and parked windows' requests.
    void takeQueue(QString channel);
    void redirectChannel(QString channel, QString exten);
    void hangQueue(QString channel);

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
    void DBFilter(QStringList message);
    void keyFilter(QStringList message);

signals:
    // After the PBX's answer to the login, once the queries it sets off are sent.
    void loginAnswered(bool success, QString message);
    // After the panel, the groups and the records of a lost connection are gone.
    void connectionLost();
    void versionKnown(QString version);
    // The totals of the peer lists, once discovery has counted them all.
    void peerTotals(int total, int available);
    // The panel has a tile for every peer of the lists it was told of.
    void discoveryDone();
    // The PBX's answer about the own extension's DND and forward entries.
    void ownDndRead(bool on);
    void ownForwardRead(bool on, QString number, QString family);

private:
    void connectSocket();
    void send(const QString &text);
    void sendLogin();
    void sendStartupQueries();
    void sendChannelQuery();
    void sendShowChannels();
    void startReconnectTimer();
    void stopReconnectTimer();
    void clearPanel();

    void trackNewChannel(const AmiMessage &message);
    void linkQueueCall(const AmiMessage &message);
    void joinQueueCall(const AmiMessage &message);
    void endCallRecords(const QString &uniqueid, const QString &channel);
    // The records and both windows' rows of a lost connection.
    void clearCallRecords();
    void renameCallRecord(const AmiMessage &message);
    void parkCallRecord(const AmiMessage &message);
    void unparkCallRecord(const AmiMessage &message);
    void giveUpParkedCall(const AmiMessage &message);

    ManagerSocket *m_socket = nullptr;
    QuorExtensions *m_panel = nullptr;
    TQuorGroupsEdit *m_groups = nullptr;
    QuorQueue *m_queue = nullptr;
    QuorParked *m_parked = nullptr;
    // activeCalls by uniqueid and by channel, kept in step with the list.
    ActiveCallIndex m_callIndex;

    QString m_host;
    quint16 m_port = 0;
    QString m_user;
    QString m_secret;
    QString m_dndFamily;
    QString m_fwdFamilyAll;
    QString m_fwdFamilyBusy;
    QString m_fwdFamilyNoAnswer;

    bool m_loggedIn = false;
    int m_refusals = 0;
    int m_lostRetryMs = kReconnectMs;
    int m_refusedRetryMs = kRefusedRetryMs;
    bool m_countDone = false;
    QString m_driver;
    int m_iaxPeers = 0;
    int m_sipPeers = 0;
    int m_zapPeers = 0;
    int m_iaxAvailable = 0;
    int m_sipAvailable = 0;
    QTimer *m_reconnectTimer = nullptr;
};
