#include "softphone/CallActions.h"

#include <QDesktopServices>
#include <QProcess>

#include "core/Logger.h"
#include "core/TQuorCall.h"

CallActions::CallActions(QObject *parent)
    : QObject(parent)
    , m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
}

void CallActions::setSettings(const CallActionSettings &settings)
{
    m_settings = settings;
    // New paths deserve a fresh report when they fail.
    m_reported.clear();
}

void CallActions::setUrlOpener(UrlOpener opener)
{
    m_openUrl = std::move(opener);
}

void CallActions::incomingRinging(const QString &number)
{
    if (m_settings.actA1)
        runIncoming(number);
}

void CallActions::incomingAnswered(const QString &number)
{
    if (!m_settings.actA1)
        runIncoming(number);
}

void CallActions::outgoing(const QString &number)
{
    if (m_settings.actOut)
        launch(m_settings.appOut, m_settings.scrOut, TQuorCall::cleanNumber(number));
}

void CallActions::runIncoming(const QString &number)
{
    const QString clean = TQuorCall::cleanNumber(number);
    if (m_settings.actIn)
        launch(m_settings.appIn, m_settings.scrIn, clean);
    if (m_settings.actCrm)
        openCrm(clean);
}

QUrl CallActions::crmAddress(const QString &base, const QString &number)
{
    // Every reserved character of the number is encoded, so a caller id cannot
    // add query fields or change the path of the address.
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(TQuorCall::cleanNumber(number)));
    return QUrl(base.trimmed() + encoded, QUrl::TolerantMode);
}

void CallActions::launch(const QString &program, const QString &script, const QString &number)
{
    if (program.trimmed().isEmpty())
        return;
    // The number comes from the network: with a leading "-" the program would
    // read it as one of its options.
    if (number.startsWith(QLatin1Char('-'))) {
        fail(program, tr("%1 was not started: the number begins with \"-\"").arg(program),
            QStringLiteral("Call action: \"%1\" not started: the number begins with \"-\"")
                .arg(Logger::escaped(program)));
        return;
    }
    QStringList arguments;
    if (!script.isEmpty())
        arguments << script;
    arguments << number;

    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    if (!process.startDetached()) {
        fail(program, tr("Unable to start %1").arg(program),
            QStringLiteral("Call action: cannot start \"%1\": %2")
                .arg(Logger::escaped(program), process.errorString()));
        return;
    }
    m_reported.remove(program);
    // The caller's number stays out of the log; privacy rules may hide it.
    Logger::info(QStringLiteral("Call action: started \"%1\"").arg(Logger::escaped(program)));
}

void CallActions::openCrm(const QString &number)
{
    const QString key = QStringLiteral("crm:") + m_settings.crmUrl;
    const QUrl url = crmAddress(m_settings.crmUrl, number);
    if (!url.isValid() || url.scheme().isEmpty()) {
        fail(key, tr("Unable to open the CRM address %1").arg(m_settings.crmUrl),
            QStringLiteral("Call action: invalid CRM address \"%1\"").arg(Logger::escaped(m_settings.crmUrl)));
        return;
    }
    if (!m_openUrl || !m_openUrl(url)) {
        fail(key, tr("Unable to open the CRM address %1").arg(m_settings.crmUrl),
            QStringLiteral("Call action: the desktop could not open the CRM address \"%1\"")
                .arg(Logger::escaped(m_settings.crmUrl)));
        return;
    }
    m_reported.remove(key);
    Logger::info(QStringLiteral("Call action: opened the CRM address \"%1\"").arg(Logger::escaped(m_settings.crmUrl)));
}

void CallActions::fail(const QString &key, const QString &text, const QString &detail)
{
    Logger::warning(detail);
    if (m_reported.contains(key))
        return;
    m_reported.insert(key);
    emit signalShowMessage(text, MessageError);
}
