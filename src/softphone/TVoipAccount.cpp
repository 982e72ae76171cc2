#include "softphone/TVoipAccount.h"

#include "core/Logger.h"

TVoipAccount::TVoipAccount(const QString &server, quint16 port, const QString &user, const QString &secret,
                           const QString &callerIdName, const QString &callerIdNumber)
    : m_user(user)
    , m_secret(secret)
    , m_cidName(callerIdName)
    , m_cidNumber(callerIdNumber)
{
    setServer(server);
    setPort(port);
}

void TVoipAccount::setServer(const QString &server)
{
    m_server = server.trimmed();
}

void TVoipAccount::setPort(quint16 port)
{
    if (port == 0) {
        Logger::warning(QStringLiteral("IAX2 port 0 is not a port; using %1").arg(kDefaultPort));
        port = kDefaultPort;
    }
    m_port = port;
}

bool TVoipAccount::setPortText(const QString &text)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        Logger::warning(QStringLiteral("IAX2 port \"%1\" is not a port number; using %2").arg(text).arg(kDefaultPort));
        m_port = kDefaultPort;
        return false;
    }
    m_port = quint16(value);
    return true;
}

bool TVoipAccount::isComplete() const
{
    return !m_server.isEmpty() && !m_user.isEmpty();
}

bool TVoipAccount::sameRegistration(const TVoipAccount &other) const
{
    return m_server == other.m_server && m_port == other.m_port && m_user == other.m_user
        && m_secret == other.m_secret;
}

iax2::Account TVoipAccount::toEngineAccount() const
{
    iax2::Account a;
    a.host = m_server.toStdString();
    a.port = m_port;
    a.user = m_user.toStdString();
    a.secret = m_secret.toStdString();
    return a;
}
