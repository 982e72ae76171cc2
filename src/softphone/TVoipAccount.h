#pragma once

// The softphone's PBX account: where and as whom it registers, the caller ID
// it sends, and how far the registration has got.

#include <QString>

#include "iax2/Iax2Engine.h"

class QuorIaxClient;

class TVoipAccount
{
public:
    enum RegistrationState { Unregistered, Registering, Registered, Rejected, TimedOut };

    static constexpr quint16 kDefaultPort = 4569;

    TVoipAccount() = default;
    TVoipAccount(const QString &server, quint16 port, const QString &user, const QString &secret,
                 const QString &callerIdName, const QString &callerIdNumber);

    QString server() const { return m_server; }
    // Surrounding blanks are dropped: they come from typing, never from a host name.
    void setServer(const QString &server);
    quint16 port() const { return m_port; }
    // Port 0 is no port: it falls back to kDefaultPort, logged.
    void setPort(quint16 port);
    // Returns false (and falls back to kDefaultPort, logged) when the text is not
    // a port number from 1 to 65535.
    bool setPortText(const QString &text);
    QString user() const { return m_user; }
    void setUser(const QString &user) { m_user = user; }
    QString secret() const { return m_secret; }
    void setSecret(const QString &secret) { m_secret = secret; }
    QString callerIdName() const { return m_cidName; }
    void setCallerIdName(const QString &name) { m_cidName = name; }
    QString callerIdNumber() const { return m_cidNumber; }
    void setCallerIdNumber(const QString &number) { m_cidNumber = number; }

    // A server and a user: enough to register and to place calls.
    bool isComplete() const;
    // Same registrar, port, user and secret: no new registration needed.
    bool sameRegistration(const TVoipAccount &other) const;
    iax2::Account toEngineAccount() const;

    RegistrationState registrationState() const { return m_state; }
    int registrationId() const { return m_registrationId; }

private:
    friend class QuorIaxClient;

    QString m_server;
    quint16 m_port = kDefaultPort;
    QString m_user;
    QString m_secret;
    QString m_cidName;
    QString m_cidNumber;
    RegistrationState m_state = Unregistered;
    int m_registrationId = -1;
};
