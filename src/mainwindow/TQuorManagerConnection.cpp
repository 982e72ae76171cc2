// The connection to the PBX's manager interface as the user sees it: the
// router connects, logs in and retries; the window shows its answers, errors
// and counts on the phone and the status line, and hands it the settings.

#include "mainwindow/TQuorManager.h"

#include <QLabel>

#include <utility>

#include "ami/ManagerSocket.h"
#include "core/Logger.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TQuorGroupsEdit.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

void TQuorManager::connectRouter()
{
    PbxRouter *r = m_router.get();
    connect(r, &PbxRouter::loginAnswered, this, &TQuorManager::showLoginAnswer);
    connect(r, &PbxRouter::connectionLost, this, &TQuorManager::showConnectionLost);
    connect(r, &PbxRouter::versionKnown, this, &TQuorManager::showVersion);
    connect(r, &PbxRouter::peerTotals, this, &TQuorManager::showPeerTotals);
    connect(r, &PbxRouter::discoveryDone, this, &TQuorManager::discoveryDone);
    connect(r, &PbxRouter::ownDndRead, this, &TQuorManager::ownDndAnswer);
    connect(r, &PbxRouter::ownForwardRead, this, &TQuorManager::ownForwardAnswer);
}

void TQuorManager::AsteriskCommand(QString text)
{
    m_router->AsteriskCommand(std::move(text));
}

void TQuorManager::connectToPbx()
{
    m_router->connectToPbx();
}

void TQuorManager::connected()
{
    m_router->connected();
}

void TQuorManager::logInResponse(bool success, QString message)
{
    m_router->logInResponse(success, std::move(message));
}

void TQuorManager::showLoginAnswer(bool success, const QString &message)
{
    const QString detail = QLatin1String("Manager: ") + message;
    if (success) {
        m_phone->clearStandingMessage();
        m_phone->showMessage(message, MessageStatus, detail);
        showMessage(detail);
    } else {
        // The refusal is what the line shows while the PBX keeps refusing,
        // between the newer messages; the balloon comes once, not at every try.
        m_phone->showMessage(message, MessageError, detail);
        showMessage(detail);
        m_phone->setStandingMessage(detail, MessageError);
        if (m_trayIconFlag && m_router->refusals() == 1)
            notify(tr("ERROR"), message, QSystemTrayIcon::Critical);
    }
    m_phone->slotManagerRegistered(success);
}

void TQuorManager::disconnected()
{
    m_router->disconnected();
}

void TQuorManager::showConnectionLost()
{
    m_settings->hideMailIcon();
    m_phone->labelMesNum->setText(QStringLiteral("0"));
    m_phone->labelAcCallsN->setText(QStringLiteral("0"));
    m_phone->labelAsterisk->setText(QStringLiteral("Disconnected"));
    m_phone->slotManagerRegistered(false);
}

void TQuorManager::socketError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        m_phone->showMessage(tr("Connection refused"), MessageError, tr("Manager: Connection refused or timed out"));
        break;
    case QAbstractSocket::RemoteHostClosedError:
        // A PBX closes the connection after refusing the login: the refusal
        // says why, and stays on show.
        if (m_router->refusals() > 0) {
            Logger::log(Logger::Info, QStringLiteral("Manager: Connection closed by remote host"));
            break;
        }
        m_phone->showMessage(tr("Connection closed"), MessageError, tr("Manager: Connection closed by remote host"));
        break;
    case QAbstractSocket::HostNotFoundError:
        m_phone->showMessage(tr("Host not found"), MessageError, tr("Manager: Host not found"));
        break;
    default:
        break;
    }
}

void TQuorManager::slotManagerSettingsChanged()
{
    const bool privacy = m_privacy;
    const bool useFreePbx = m_useFreePbx;
    m_settings->getManagerSettings(
        &m_managerHost, &m_managerPort, &m_managerUser, &m_managerSecret, &m_privacy, &m_useFreePbx);
    m_router->setManager(m_managerHost, m_managerPort, m_managerUser, m_managerSecret);
    // New login settings have not been refused yet.
    if (m_router->refusals() == 0)
        m_phone->clearStandingMessage();
    if (useFreePbx != m_useFreePbx) {
        m_extensions->setUseFreePBX(m_useFreePbx);
        m_router->requeryPeers();
    }
    if (privacy != m_privacy)
        m_extensions->setPrivacy(m_privacy);
    if (!m_router->isLoggedIn())
        m_router->connectToPbx();
}

void TQuorManager::getVersion(QString version)
{
    m_router->getVersion(std::move(version));
}

void TQuorManager::showVersion(const QString &version)
{
    m_phone->labelAsterisk->setText(tr("Asterisk : v.") + version + tr("\non: ") + m_managerHost);
}

void TQuorManager::getZapStatus(QStringList message)
{
    m_router->getZapStatus(std::move(message));
}

void TQuorManager::resumeCount()
{
    m_router->resumeCount();
}

void TQuorManager::showPeerTotals(int total, int available)
{
    m_phone->labelExtN->setText(QString::number(total));
    m_phone->labelExAvailN->setText(QString::number(available));
}

void TQuorManager::discoveryDone()
{
    if (m_groupsEdit->isVisible())
        refreshGroupEditor();
}

void TQuorManager::setCallLabel(QString channels, QString calls)
{
    Q_UNUSED(channels);
    m_phone->labelAcCallsN->setText(calls);
}

// The call windows' requests.

void TQuorManager::takeQueue(QString channel)
{
    m_router->takeQueue(std::move(channel));
}

void TQuorManager::redirectChannel(QString channel, QString exten)
{
    m_router->redirectChannel(std::move(channel), std::move(exten));
}

void TQuorManager::hangQueue(QString channel)
{
    m_router->hangQueue(std::move(channel));
}

void TQuorManager::hangPark(QString channel)
{
    m_router->hangQueue(std::move(channel));
}

void TQuorManager::takePark(QString space)
{
    m_phone->callNumber(space);
}
