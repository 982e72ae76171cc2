// The connection to the PBX's manager interface: connecting, logging in, the
// start-up queries, the drop and the retry, the gateway for other texts and
// the call windows' requests.

#include "mainwindow/PbxRouter.h"

#include <QTimer>

#include "ami/AmiAction.h"
#include "ami/AmiMessage.h"
#include "ami/ManagerSocket.h"
#include "core/Logger.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TQuorGroupsEdit.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"

namespace {

// Only the first refusal matters to anyone: the count stops well short of overflow.
constexpr int kMaxRefusals = 1000000;

// A text whose lines are not all ended by CR LF, or that holds an empty line
// before its end, would let its author append or split actions.
bool isOneAction(const QString &text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' && (i + 1 >= n || text.at(i + 1) != u'\n'))
            return false;
        if (c == u'\n' && (i == 0 || text.at(i - 1) != u'\r'))
            return false;
    }
    const qsizetype blank = text.indexOf(QLatin1String("\r\n\r\n"));
    return blank < 0 || blank == n - 4;
}

} // namespace

PbxRouter::PbxRouter(ManagerSocket *socket, QuorExtensions *panel, TQuorGroupsEdit *groups, QuorQueue *queue,
    QuorParked *parked, QObject *parent)
    : QObject(parent)
{
    attach(socket, panel, groups, queue, parked);
}

PbxRouter::PbxRouter(QObject *parent)
    : QObject(parent)
{
}

void PbxRouter::attach(
    ManagerSocket *socket, QuorExtensions *panel, TQuorGroupsEdit *groups, QuorQueue *queue, QuorParked *parked)
{
    m_socket = socket;
    m_panel = panel;
    m_groups = groups;
    m_queue = queue;
    m_parked = parked;
    connect(m_panel, &QuorExtensions::AsteriskCommand, this, &PbxRouter::AsteriskCommand);
    connect(m_panel, &QuorExtensions::countDone, this, &PbxRouter::resumeCount);
    connectSocket();
}

PbxRouter::~PbxRouter()
{
    stopReconnectTimer();
    qDeleteAll(activeCalls);
}

void PbxRouter::connectSocket()
{
    using S = ManagerSocket;
    const S *s = m_socket;
    connect(s, &QAbstractSocket::connected, this, &PbxRouter::connected);
    connect(s, &QAbstractSocket::disconnected, this, &PbxRouter::disconnected);
    connect(s, &QAbstractSocket::errorOccurred, this, &PbxRouter::socketError);
    connect(s, &S::logInResponse, this, &PbxRouter::logInResponse);
    connect(s, &S::asteriskVersion, this, &PbxRouter::getVersion);
    connect(s, &S::zapStatus, this, &PbxRouter::getZapStatus);
    connect(s, &S::PeerEntry, this, &PbxRouter::PeerEntry);
    connect(s, &S::UserEvent, this, &PbxRouter::UserEvent);
    connect(s, &S::ZapShowChannels, this, &PbxRouter::ZapDND);
    connect(s, &S::DNDState, this, &PbxRouter::ZapDND);
    connect(s, &S::Rename, this, &PbxRouter::Rename);
    connect(s, &S::ParkedCall, this, &PbxRouter::ParkedCall);
    connect(s, &S::UnParkedCall, this, &PbxRouter::UnParkedCall);
    connect(s, &S::ParkedCallGiveUp, this, &PbxRouter::ParkedCallGiveUp);
    connect(s, &S::ParkedCallTimeOut, this, &PbxRouter::ParkedCallGiveUp);
    connect(s, &S::PeerStatus, this, &PbxRouter::PeerStatus);
    connect(s, &S::ExtensionStatus, this, &PbxRouter::ExtensionStatus);
    connect(s, &S::Link, this, &PbxRouter::Link);
    connect(s, &S::Unlink, this, &PbxRouter::Unlink);
    connect(s, &S::SipPeer, this, &PbxRouter::PeerResponse);
    connect(s, &S::IaxPeer, this, &PbxRouter::PeerResponse);
    connect(s, &S::Hangup, this, &PbxRouter::Hangup);
    connect(s, &S::Newcallerid, this, &PbxRouter::Newcallerid);
    connect(s, &S::Join, this, &PbxRouter::Join);
    connect(s, &S::Leave, this, &PbxRouter::Leave);
    connect(s, &S::MailBoxStatus, this, &PbxRouter::MailBoxStatus);
    connect(s, &S::GetVar, this, &PbxRouter::GetVariable);
    connect(s, &S::MailBoxCount, this, &PbxRouter::MailBoxCount);
    connect(s, &S::Dial, this, &PbxRouter::Dial);
    connect(s, &S::Cdr, this, &PbxRouter::Cdr);
    connect(s, &S::Newstate, this, &PbxRouter::Newstate);
    connect(s, &S::Newchannel, this, &PbxRouter::Newchannel);
    connect(s, &S::Newexten, this, &PbxRouter::Newexten);
    connect(s, &S::Status, this, &PbxRouter::Status);
    connect(s, &S::Hold, this, &PbxRouter::Hold);
    connect(s, &S::Unhold, this, &PbxRouter::Unhold);
    connect(s, &S::peersCount, this, &PbxRouter::peersCount);
    connect(s, &S::DBGet, this, &PbxRouter::DBFilter);
    connect(s, &S::showkey, this, &PbxRouter::keyFilter);
    connect(s, &S::DBerror, this, &PbxRouter::DBFilter);
}

// ---------------------------------------------------------------- settings

void PbxRouter::setManager(const QString &host, quint16 port, const QString &user, const QString &secret)
{
    if (host == m_host && port == m_port && user == m_user && secret == m_secret)
        return;
    m_host = host;
    m_port = port;
    m_user = user;
    m_secret = secret;
    // New credentials are tried at once (by the caller), and a failure to
    // reach the PBX with them is retried at the short pace.
    m_refusals = 0;
    if (m_reconnectTimer)
        startReconnectTimer();
    // A socket still looking up or connecting only marks itself to close once
    // connected, and its connected() would log in there with the new user and
    // secret: an attempt that has not logged in is abandoned at once, so the
    // caller's connect starts from the new settings. A logged-in connection
    // closes in order.
    if (m_loggedIn)
        m_socket->disconnectFromHost();
    else
        m_socket->abort();
    m_loggedIn = false;
}

void PbxRouter::setRetryDelays(int lostMs, int refusedMs)
{
    m_lostRetryMs = lostMs;
    m_refusedRetryMs = refusedMs;
}

void PbxRouter::setFamilies(
    const QString &dnd, const QString &fwdAll, const QString &fwdBusy, const QString &fwdNoAnswer)
{
    m_dndFamily = dnd;
    m_fwdFamilyAll = fwdAll;
    m_fwdFamilyBusy = fwdBusy;
    m_fwdFamilyNoAnswer = fwdNoAnswer;
}

bool PbxRouter::isNewAsterisk() const
{
    return m_panel && m_panel->newAsterisk;
}

// ---------------------------------------------------------------- connection cycle

void PbxRouter::send(const QString &text)
{
    m_socket->sendCommand(text);
}

void PbxRouter::AsteriskCommand(QString text)
{
    if (!isOneAction(text)) {
        Logger::warning(QStringLiteral("Refused an AMI text that is not one action: %1").arg(Logger::escaped(text)));
        return;
    }
    send(text);
}

void PbxRouter::connectToPbx()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        m_socket->connectToHost(m_host, m_port, QIODevice::ReadWrite);
}

void PbxRouter::startReconnectTimer()
{
    // The drop that follows a refused login is the PBX's answer to it: the
    // next try waits a minute, and again while the PBX keeps refusing.
    const int delay = m_refusals > 0 ? m_refusedRetryMs : m_lostRetryMs;
    if (m_reconnectTimer) {
        if (m_reconnectTimer->interval() != delay)
            m_reconnectTimer->start(delay);
        return;
    }
    m_reconnectTimer = new QTimer();
    connect(m_reconnectTimer, &QTimer::timeout, this, &PbxRouter::connectToPbx);
    m_reconnectTimer->start(delay);
}

void PbxRouter::stopReconnectTimer()
{
    if (!m_reconnectTimer)
        return;
    m_reconnectTimer->stop();
    m_reconnectTimer->disconnect();
    delete m_reconnectTimer;
    m_reconnectTimer = nullptr;
}

void PbxRouter::connected()
{
    stopReconnectTimer();
    sendLogin();
}

void PbxRouter::sendLogin()
{
    send(AmiAction::login(m_user, m_secret));
}

void PbxRouter::logInResponse(bool success, QString message)
{
    if (success) {
        // A PBX may answer a repeated login: the tiles of the first one must
        // not outlive the groups that the new start reads.
        if (m_loggedIn)
            clearPanel();
        send(AmiAction::showVersion());
        m_groups->loadGroups();
        sendStartupQueries();
    }
    m_loggedIn = success;
    m_refusals = success ? 0 : qMin(m_refusals + 1, kMaxRefusals);
    emit loginAnswered(success, message);
}

void PbxRouter::sendStartupQueries()
{
    for (const QString &text : { AmiAction::showVersion(), AmiAction::queueStatus(), AmiAction::dahdiShowStatus(),
             AmiAction::zapShowStatus(), AmiAction::sipPeers(), AmiAction::iaxPeers() })
        send(text);
}

void PbxRouter::requeryPeers()
{
    for (const QString &text : { AmiAction::showVersion(), AmiAction::sipPeers(), AmiAction::iaxPeers() })
        send(text);
    sendChannelQuery();
}

void PbxRouter::sendChannelQuery()
{
    if (m_driver == QLatin1String("Zap"))
        send(AmiAction::zapShowChannels());
    else if (m_driver == QLatin1String("dahdi"))
        send(AmiAction::dahdiShowChannels());
}

void PbxRouter::clearPanel()
{
    m_panel->removeAgents();
    m_groups->clearGroups();
}

void PbxRouter::disconnected()
{
    m_countDone = false;
    m_socket->resetCounters();
    m_panel->removeAgents();
    clearCallRecords();
    m_loggedIn = false;
    m_groups->clearGroups();
    emit connectionLost();
    startReconnectTimer();
}

void PbxRouter::socketError(QAbstractSocket::SocketError error)
{
    // An error on an established connection, other than the PBX's own close,
    // is this system giving up on it: the keepalive probes or the data sent
    // went unanswered. The socket's text is the system's only for a time-out;
    // a failed write reports a text of Qt's that would mislead.
    if (m_socket->state() == QAbstractSocket::ConnectedState && error != QAbstractSocket::RemoteHostClosedError) {
        QString line = QStringLiteral("Manager: connection to %1:%2 dropped: no answer from the PBX for %3 s")
                           .arg(m_host)
                           .arg(m_port)
                           .arg(ManagerSocket::kUnacknowledgedMs / 1000);
        if (error == QAbstractSocket::SocketTimeoutError || error == QAbstractSocket::NetworkError)
            line += QStringLiteral(" (%1)").arg(m_socket->errorString());
        Logger::warning(line);
    }
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        startReconnectTimer();
}

void PbxRouter::getVersion(QString version)
{
    m_panel->setAsteriskVersion(version);
    emit versionKnown(version);
}

void PbxRouter::getZapStatus(QStringList message)
{
    m_driver = AmiMessage(std::move(message)).value(u"Driver");
    if (m_driver == QLatin1String("none"))
        return;
    sendChannelQuery();
    m_panel->setDriver(m_driver);
}

void PbxRouter::resumeCount()
{
    m_countDone = true;
    emit peerTotals(m_iaxPeers + m_sipPeers + m_zapPeers, m_iaxAvailable + m_sipAvailable + m_zapPeers);
}

// ---------------------------------------------------------------- the call windows' requests

void PbxRouter::takeQueue(QString channel)
{
    send(AmiAction::redirect(channel, userName, userContext));
}

void PbxRouter::redirectChannel(QString channel, QString exten)
{
    // The typed destination also picks the tile whose context is sent.
    m_panel->redirectCall(channel, AmiAction::value(exten));
}

void PbxRouter::hangQueue(QString channel)
{
    send(AmiAction::hangup(channel));
}
