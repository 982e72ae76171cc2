// The user's own do-not-disturb and forward in the PBX database: each entry
// written or removed is announced by a UserEvent so that every client reads it
// again; the answers come back through DBFilter.

#include "mainwindow/TQuorManager.h"

#include "ami/AmiAction.h"
#include "ami/ManagerSocket.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

// The phone hears the options signal first and its menu refresh makes
// setupLablel re-read the copies, so the family and forward state to compare
// with are the ones this slot saw last, not the copies.
void TQuorManager::slotPhoneOptionsChanged()
{
    readPhoneOptions();
    m_settings->getFwdFamilies(&m_fwdFamilyAll, &m_fwdFamilyBusy, &m_fwdFamilyNoAnswer);
    passFamilies();
    if (m_forwardFamily != m_previousForwardFamily) {
        forwardFamilyChanged(m_previousForwardFamily);
        // Forwarding goes on under the new type; switched on or off just now,
        // setAsteriskFWD follows anyway.
        if (m_previousForwardOn && m_forwardOn)
            setAsteriskFWD();
    }
    m_previousForwardFamily = m_forwardFamily;
    m_previousForwardOn = m_forwardOn;
}

// No UserEvent for the old family: its read-back would find no entry and
// switch the own forward off.
void TQuorManager::forwardFamilyChanged(const QString &previousFamily)
{
    m_socket->sendCommand(AmiAction::databaseDel(previousFamily, userName));
}

void TQuorManager::setAsteriskDND()
{
    // A PBX before 1.4 keeps DND in its dial plan: the feature code toggles it.
    if (!m_router->isNewAsterisk()) {
        m_phone->dialCode(m_dndCode);
        return;
    }
    m_socket->sendCommand(m_dndOn ? AmiAction::databasePut(m_dndFamily, userName, QStringLiteral("YES"))
                                  : AmiAction::databaseDel(m_dndFamily, userName));
    m_socket->sendCommand(AmiAction::userEvent(m_dndFamily, userName));
}

void TQuorManager::setAsteriskFWD()
{
    m_socket->sendCommand(m_forwardOn ? AmiAction::databasePut(m_forwardFamily, userName, m_forwardNumber)
                                      : AmiAction::databaseDel(m_forwardFamily, userName));
    m_socket->sendCommand(AmiAction::userEvent(m_forwardFamily, userName));
}

// Any entry under the DND family means DND is on.
void TQuorManager::ownDndAnswer(bool on)
{
    m_dndOn = on;
    m_settings->setDNDState(on);
}

void TQuorManager::ownForwardAnswer(bool on, const QString &number, const QString &family)
{
    m_forwardOn = on;
    if (on)
        m_settings->setForward(true, number, family);
    else
        m_settings->setForwardState(false);
}
