#include "softphone/ClickToDialServer.h"

#include "core/Logger.h"

namespace {

const QByteArray kRequestPrefix = QByteArrayLiteral("call:");

// Received bytes for a log line: at most one line's worth, control characters
// escaped so that a request cannot forge log lines.
QString forLog(const QByteArray &bytes)
{
    return Logger::escaped(QString::fromLatin1(bytes.left(ClickToDialServer::kMaxLineLength)));
}

} // namespace

ClickToDialServer::ClickToDialServer(QObject *parent)
    : QObject(parent)
    , m_server(kMaxLineLength, kMaxConnections)
{
    m_server.setExpectedStart(kRequestPrefix);
    m_server.setReadTimeout(kDefaultReadTimeoutMs);
    m_server.setLineHandler([this](const QByteArray &line) { return onLine(line); });
    m_server.setRefusalHandler(
        [this](LoopbackLineServer::Refusal why, const QByteArray &received) { onRefusal(why, received); });
}

ClickToDialServer::~ClickToDialServer()
{
    stop();
}

bool ClickToDialServer::start(quint16 port)
{
    stop();
    if (!m_server.listen(port)) {
        Logger::warning(QStringLiteral("Click-to-dial is off: cannot listen on 127.0.0.1 port %1: %2")
                            .arg(port)
                            .arg(m_server.errorString()));
        return false;
    }
    Logger::info(QStringLiteral("Click-to-dial listening on 127.0.0.1 port %1").arg(m_server.port()));
    return true;
}

void ClickToDialServer::stop()
{
    m_server.close();
}

bool ClickToDialServer::isListening() const
{
    return m_server.isListening();
}

quint16 ClickToDialServer::port() const
{
    return m_server.port();
}

bool ClickToDialServer::isDialable(const QString &number)
{
    if (number.isEmpty())
        return false;
    for (const QChar c : number) {
        const ushort u = c.unicode();
        const bool ok = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || u == '*'
            || u == '#' || u == '+';
        if (!ok)
            return false;
    }
    return true;
}

QString ClickToDialServer::parseRequest(const QByteArray &line, QString *reason)
{
    auto fail = [reason](const QString &why) {
        if (reason)
            *reason = why;
        return QString();
    };
    QByteArray text = line;
    if (text.endsWith('\n'))
        text.chop(1);
    if (text.endsWith('\r'))
        text.chop(1);
    if (text.isEmpty())
        return fail(QStringLiteral("empty request"));
    if (text.size() > kMaxLineLength)
        return fail(QStringLiteral("request too long"));
    if (!text.startsWith(kRequestPrefix))
        return fail(QStringLiteral("no \"call:\" prefix"));
    // Blanks around the number are harmless; anything else outside the
    // dialable set (line breaks, shell or AMI syntax, bytes above ASCII) is not.
    const QByteArray number = text.mid(kRequestPrefix.size()).trimmed();
    if (number.isEmpty())
        return fail(QStringLiteral("no number"));
    const QString result = QString::fromLatin1(number);
    if (!isDialable(result))
        return fail(QStringLiteral("characters that cannot be dialled"));
    return result;
}

QByteArray ClickToDialServer::onLine(const QByteArray &line)
{
    QString reason;
    const QString number = parseRequest(line, &reason);
    if (number.isEmpty()) {
        Logger::warning(QStringLiteral("Click-to-dial request refused (%1): \"%2\"").arg(reason, forLog(line)));
        return {};
    }
    Logger::info(QStringLiteral("Click-to-dial request for %1").arg(number));
    emit signalCallRequest(number);
    return {};
}

void ClickToDialServer::onRefusal(LoopbackLineServer::Refusal why, const QByteArray &received)
{
    QString reason;
    switch (why) {
    case LoopbackLineServer::Refusal::TooManyClients:
        Logger::warning(QStringLiteral("Click-to-dial: too many connections, closing a new one"));
        return;
    case LoopbackLineServer::Refusal::WrongStart:
        reason = QStringLiteral("no \"call:\" prefix");
        break;
    case LoopbackLineServer::Refusal::TooLong:
        reason = QStringLiteral("request too long");
        break;
    case LoopbackLineServer::Refusal::MoreThanOneLine:
        reason = QStringLiteral("more than one line");
        break;
    case LoopbackLineServer::Refusal::Timeout:
        reason = QStringLiteral("no complete request within %1 ms").arg(m_server.readTimeout());
        break;
    }
    Logger::warning(QStringLiteral("Click-to-dial request refused (%1): \"%2\"").arg(reason, forLog(received)));
}
