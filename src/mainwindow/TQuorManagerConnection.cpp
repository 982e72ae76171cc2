// The connection to the PBX's manager interface: connecting, logging in, the
// start-up queries, the drop and the retry, and the gateway for other texts.

#include "mainwindow/TQuorManager.h"

#include <QLabel>

#include <utility>

#include "ami/AmiAction.h"
#include "ami/AmiMessage.h"
#include "ami/ManagerSocket.h"
#include "core/Logger.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TQuorGroupsEdit.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

namespace {

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

void TQuorManager::AsteriskCommand(QString text)
{
    if (!isOneAction(text)) {
        Logger::warning(QStringLiteral("Refused an AMI text that is not one action: %1").arg(Logger::escaped(text)));
        return;
    }
    m_socket->sendCommand(text);
}

void TQuorManager::connectToPbx()
{
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        m_socket->connectToHost(m_managerHost, m_managerPort, QIODevice::ReadWrite);
}

void TQuorManager::startReconnectTimer()
{
    if (m_reconnectTimer)
        return;
    m_reconnectTimer = new QTimer();
    connect(m_reconnectTimer, &QTimer::timeout, this, &TQuorManager::connectToPbx);
    m_reconnectTimer->start(kReconnectMs);
}

void TQuorManager::stopReconnectTimer()
{
    if (!m_reconnectTimer)
        return;
    m_reconnectTimer->stop();
    m_reconnectTimer->disconnect();
    delete m_reconnectTimer;
    m_reconnectTimer = nullptr;
}

void TQuorManager::connected()
{
    stopReconnectTimer();
    sendLogin();
}

void TQuorManager::sendLogin()
{
    m_socket->sendCommand(AmiAction::login(m_managerUser, m_managerSecret));
}

void TQuorManager::logInResponse(bool success, QString message)
{
    const QString detail = QLatin1String("Manager: ") + message;
    if (success) {
        // A PBX may answer a repeated login: the tiles of the first one must
        // not outlive the groups that the new start reads.
        if (m_loggedIn)
            clearPanel();
        m_socket->sendCommand(AmiAction::showVersion());
        m_groupsEdit->loadGroups();
        sendStartupQueries();
        m_phone->showMessage(message, MessageStatus, detail);
        showMessage(detail);
    } else {
        m_phone->showMessage(message, MessageError, detail);
        showMessage(detail);
        if (m_trayIconFlag)
            notify(tr("ERROR"), message, QSystemTrayIcon::Critical);
    }
    m_loggedIn = success;
    m_phone->slotManagerRegistered(success);
}

void TQuorManager::sendStartupQueries()
{
    for (const QString &text : { AmiAction::showVersion(), AmiAction::queueStatus(), AmiAction::dahdiShowStatus(),
             AmiAction::zapShowStatus(), AmiAction::sipPeers(), AmiAction::iaxPeers() })
        m_socket->sendCommand(text);
}

void TQuorManager::requeryPeers()
{
    for (const QString &text : { AmiAction::showVersion(), AmiAction::sipPeers(), AmiAction::iaxPeers() })
        m_socket->sendCommand(text);
    sendChannelQuery();
}

void TQuorManager::sendChannelQuery()
{
    if (m_driver == QLatin1String("Zap"))
        m_socket->sendCommand(AmiAction::zapShowChannels());
    else if (m_driver == QLatin1String("dahdi"))
        m_socket->sendCommand(AmiAction::dahdiShowChannels());
}

void TQuorManager::clearPanel()
{
    m_extensions->removeAgents();
    m_groupsEdit->clearGroups();
}

void TQuorManager::disconnected()
{
    m_countDone = false;
    m_socket->resetCounters();
    m_extensions->removeAgents();
    clearCallRecords();
    m_loggedIn = false;
    m_settings->hideMailIcon();
    m_phone->labelMesNum->setText(QStringLiteral("0"));
    m_phone->labelAcCallsN->setText(QStringLiteral("0"));
    m_phone->labelAsterisk->setText(QStringLiteral("Disconnected"));
    m_phone->slotManagerRegistered(false);
    m_groupsEdit->clearGroups();
    startReconnectTimer();
}

void TQuorManager::socketError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        m_phone->showMessage(tr("Connection refused"), MessageError, tr("Manager: Connection refused or timed out"));
        break;
    case QAbstractSocket::RemoteHostClosedError:
        m_phone->showMessage(tr("Connection closed"), MessageError, tr("Manager: Connection closed by remote host"));
        break;
    case QAbstractSocket::HostNotFoundError:
        m_phone->showMessage(tr("Host not found"), MessageError, tr("Manager: Host not found"));
        break;
    default:
        break;
    }
    // An attempt that failed before any connection existed is retried like a
    // lost connection, so a PBX that comes up later is still reached.
    if (m_socket->state() == QAbstractSocket::UnconnectedState)
        startReconnectTimer();
}

void TQuorManager::slotManagerSettingsChanged()
{
    const QString host = m_managerHost;
    const quint16 port = m_managerPort;
    const QString user = m_managerUser;
    const QString secret = m_managerSecret;
    const bool privacy = m_privacy;
    const bool useFreePbx = m_useFreePbx;
    m_settings->getManagerSettings(
        &m_managerHost, &m_managerPort, &m_managerUser, &m_managerSecret, &m_privacy, &m_useFreePbx);
    if (host != m_managerHost || port != m_managerPort || user != m_managerUser || secret != m_managerSecret) {
        m_socket->disconnectFromHost();
        m_loggedIn = false;
    }
    if (useFreePbx != m_useFreePbx) {
        m_extensions->setUseFreePBX(m_useFreePbx);
        requeryPeers();
    }
    if (privacy != m_privacy)
        m_extensions->setPrivacy(m_privacy);
    if (!m_loggedIn)
        connectToPbx();
}

void TQuorManager::getVersion(QString version)
{
    m_phone->labelAsterisk->setText(tr("Asterisk : v.") + version + tr("\non: ") + m_managerHost);
    m_extensions->setAsteriskVersion(version);
    m_newAsterisk = version.contains(QLatin1String("1.4")) || version.contains(QLatin1String("1.6"));
}

void TQuorManager::getZapStatus(QStringList message)
{
    m_driver = AmiMessage(std::move(message)).value(u"Driver");
    if (m_driver == QLatin1String("none"))
        return;
    sendChannelQuery();
    m_extensions->setDriver(m_driver);
}

void TQuorManager::resumeCount()
{
    m_countDone = true;
    m_totalPeers = m_iaxPeers + m_sipPeers + m_zapPeers;
    m_availablePeers = m_iaxAvailable + m_sipAvailable + m_zapPeers;
    m_phone->labelExtN->setText(QString::number(m_totalPeers));
    m_phone->labelExAvailN->setText(QString::number(m_availablePeers));
}

void TQuorManager::setCallLabel(QString channels, QString calls)
{
    Q_UNUSED(channels);
    m_phone->labelAcCallsN->setText(calls);
}
