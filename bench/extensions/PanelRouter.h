#pragma once

#include <QObject>
#include <QStringList>

#include "ami/AmiAction.h"
#include "ami/ManagerSocket.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TQuorGroupsEdit.h"

// The main window's part of the AMI road, as far as the panel needs it, for
// the panel's benchmark (the tests run the real window): the login, the
// start-up queries, the clean-up of a dropped connection, and every socket
// signal handed to its panel handler with the main window's own small
// decisions (which answers go where, the follow-up queries). It keeps no
// queue or parked-call records.
class PanelRouter : public QObject
{
    Q_OBJECT

public:
    PanelRouter(ManagerSocket *socket, QuorExtensions *panel, TQuorGroupsEdit *groups, QString user = QString(),
        QString secret = QString(), QObject *parent = nullptr)
        : QObject(parent)
        , m_socket(socket)
        , m_panel(panel)
        , m_groups(groups)
        , m_user(std::move(user))
        , m_secret(std::move(secret))
    {
        using M = ManagerSocket;
        using P = QuorExtensions;
        connect(panel, &P::AsteriskCommand, socket, &M::sendCommand);
        connect(socket, &QAbstractSocket::connected, this, &PanelRouter::sendLogin);
        connect(socket, &QAbstractSocket::disconnected, this, &PanelRouter::dropped);
        connect(socket, &M::logInResponse, this, &PanelRouter::onLogin);
        connect(socket, &M::asteriskVersion, this, [this](const QString &version) {
            m_newAsterisk = version.contains(QLatin1String("1.4")) || version.contains(QLatin1String("1.6"));
            m_panel->setAsteriskVersion(version);
        });
        connect(socket, &M::zapStatus, this, &PanelRouter::driverStatus);

        forward<&P::peerEntry>(&M::PeerEntry);
        forward<&P::peerResponse>(&M::SipPeer);
        forward<&P::peerResponse>(&M::IaxPeer);
        connect(socket, &M::peersCount, this,
            [this](const QStringList &message, const QString &tech) { m_panel->peersCount(message, tech); });
        connect(socket, &M::PeerStatus, this, &PanelRouter::peerStatus);
        connect(socket, &M::ExtensionStatus, this, [this](const QStringList &message) {
            m_panel->extensionStatus(value("Exten", message), value("Status", message));
        });
        forward<&P::status>(&M::Status);

        forward<&P::newChannel>(&M::Newchannel);
        forward<&P::newState>(&M::Newstate);
        forward<&P::newCallerId>(&M::Newcallerid);
        forward<&P::newExten>(&M::Newexten);
        forward<&P::dial>(&M::Dial);
        connect(socket, &M::Rename, this, [this](const QStringList &message) {
            const QString newName = value("Newname", message);
            if (!newName.contains(QLatin1String("MASQ")) && !newName.contains(QLatin1String("ZOMBIE")))
                m_panel->rename(message);
        });
        connect(socket, &M::Link, this, [this](const QStringList &message) {
            m_panel->link(message);
            showChannels();
        });
        connect(socket, &M::Hangup, this, &PanelRouter::hangup);
        connect(socket, &M::Unlink, this, [this](const QStringList &message) {
            m_panel->unlink(message);
            // The main window's own records end through its Hangup slot, with
            // lists whose keys its reader finds empty.
            hangup({ QStringLiteral("Uniqueid: "), value("Uniqueid1", message), QStringLiteral("Channel: "),
                value("Channel1", message) });
            hangup({ QStringLiteral("Uniqueid: "), value("Uniqueid2", message), QStringLiteral("Channel: "),
                value("Channel2", message) });
            showChannels();
        });

        connect(socket, &M::DBGet, this, &PanelRouter::dbFilter);
        connect(socket, &M::DBerror, this, &PanelRouter::dbFilter);
        connect(socket, &M::showkey, this, [this](const QStringList &message) {
            if (value("Option", message) == QLatin1String("fwd"))
                m_panel->keyFilter(message);
        });
        connect(socket, &M::UserEvent, this, &PanelRouter::userEvent);
        forward<&P::mailBoxCount>(&M::MailBoxCount);
        forward<&P::mailBoxStatus>(&M::MailBoxStatus);
        forward<&P::zapDnd>(&M::DNDState);
        forward<&P::zapDnd>(&M::ZapShowChannels);

        forward<&P::join>(&M::Join);
        forward<&P::leave>(&M::Leave);
        forward<&P::hold>(&M::Hold);
        forward<&P::unhold>(&M::Unhold);
        forward<&P::parkedCall>(&M::ParkedCall);
        forward<&P::unParkedCall>(&M::UnParkedCall);
        forward<&P::unParkedCall>(&M::ParkedCallGiveUp);
        forward<&P::unParkedCall>(&M::ParkedCallTimeOut);
    }

    bool loggedIn() const { return m_loggedIn; }

    static QString showChannelsText()
    {
        return QStringLiteral("Action: command\r\nCommand: show channels\r\nActionID: showChannels\r\n\r\n");
    }

private:
    static QString value(const char *key, const QStringList &message)
    {
        return ManagerSocket::getValue(QLatin1String(key), message);
    }

    template <void (QuorExtensions::*handler)(QStringList)>
    void forward(void (ManagerSocket::*signal)(QStringList))
    {
        connect(m_socket, signal, this, [this](const QStringList &message) { (m_panel->*handler)(message); });
    }

    void send(const QString &text) { m_socket->sendCommand(text); }
    void showChannels() { send(showChannelsText()); }

    void sendLogin()
    {
        send(QStringLiteral("\r\nAction: Login\r\nUserName: ") + m_user + QStringLiteral("\r\nSecret: ") + m_secret
            + QStringLiteral("\r\nActionID: logIn\r\n\r\n"));
    }

    void onLogin(bool success, const QString &)
    {
        // A second login on one connection starts from nothing, as a new
        // connection would.
        if (success && m_loggedIn)
            dropped();
        m_loggedIn = success;
        if (!success)
            return;
        send(QStringLiteral("Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"));
        m_groups->loadGroups();
        send(QStringLiteral("Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"));
        send(QStringLiteral("Action: QueueStatus\r\nActionID: QueueStatus\r\n\r\n"));
        send(QStringLiteral("Action: Command\r\nCommand: dahdi show status\r\nActionID: dahdiStatus\r\n\r\n"));
        send(QStringLiteral("Action: Command\r\nCommand: zap show status\r\nActionID: zapStatus\r\n\r\n"));
        send(QStringLiteral("Action: Command\r\nCommand: sip show peers\r\nActionID: SIPpeers\r\n\r\n"));
        send(QStringLiteral("Action: Command\r\nCommand: iax2 show peers\r\nActionID: IAXPeers\r\n\r\n"));
    }

    void dropped()
    {
        m_loggedIn = false;
        m_socket->resetCounters();
        m_panel->removeAgents();
        m_groups->clearGroups();
    }

    void driverStatus(const QStringList &message)
    {
        const QString driver = value("Driver", message);
        if (driver == QLatin1String("none"))
            return;
        if (driver == QLatin1String("Zap"))
            send(QStringLiteral("Action: Command\r\nCommand: zap show channels\r\nActionID: ZAPPeers\r\n\r\n"));
        else if (driver == QLatin1String("dahdi"))
            send(QStringLiteral("Action: Command\r\nCommand: dahdi show channels\r\nActionID: ZAPPeers\r\n\r\n"));
        m_panel->setDriver(driver);
    }

    void peerStatus(const QStringList &message)
    {
        const QString peer = value("Peer", message);
        const QString tech = ManagerSocket::techFromChannel(peer);
        const QString ext = ManagerSocket::extFromChannel(peer);
        QString status = value("PeerStatus", message);
        if (status == QLatin1String("Unreachable") || status == QLatin1String("Unregistered"))
            status = QStringLiteral("4");
        else if (status == QLatin1String("Registered"))
            status = QStringLiteral("0");
        send(AmiAction::showKey(ext));
        m_panel->extensionStatus(ext, status);
        if (tech == QLatin1String("SIP"))
            send(QStringLiteral("Action: Command\r\nCommand: sip show peers\r\nActionID: SIPCount\r\n\r\n"));
        else if (tech == QLatin1String("IAX2") || tech == QLatin1String("IAX"))
            send(QStringLiteral("Action: Command\r\nCommand: iax2 show peers\r\nActionID: IAXCount\r\n\r\n"));
    }

    void hangup(const QStringList &message)
    {
        m_panel->hangup(message);
        showChannels();
    }

    void dbFilter(const QStringList &message)
    {
        const QString key = value("Key", message);
        if (key.isEmpty())
            return;
        const QString family = value("Family", message);
        const QString option = value("Option", message);
        if (m_panel->useFreePBX && key == QLatin1String("cidname"))
            m_panel->dbCidName(message);
        if (isDndFamily(family))
            m_panel->dbDnd(message);
        if (option == QLatin1String("dnd"))
            m_panel->dbDnd(message);
        if (isFwdFamily(family))
            m_panel->dbFwd(message);
        if (option == QLatin1String("fwd"))
            m_panel->dbFwd(message);
    }

    void userEvent(const QStringList &message)
    {
        const QString act = value("Act", message);
        const QString user
            = m_newAsterisk ? value("User", message) : ManagerSocket::extFromChannel(value("Channel", message));
        if (isDndFamily(act))
            m_panel->checkDnd(user);
        if (isFwdFamily(act))
            m_panel->checkFwd(user, act);
    }

    // An unset family names nothing: a message without the key must not match it.
    bool isDndFamily(const QString &family) const { return !family.isEmpty() && family == m_panel->dndFamily; }
    bool isFwdFamily(const QString &family) const
    {
        return !family.isEmpty()
            && (family == m_panel->fwdFamilyAll || family == m_panel->fwdFamilyBusy
                || family == m_panel->fwdFamilyNoAnswer);
    }

    ManagerSocket *m_socket;
    QuorExtensions *m_panel;
    TQuorGroupsEdit *m_groups;
    QString m_user;
    QString m_secret;
    bool m_loggedIn = false;
    bool m_newAsterisk = false;
};
