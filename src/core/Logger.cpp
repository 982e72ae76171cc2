#include "core/Logger.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QTextStream>

#include "core/Paths.h"

namespace {

QMutex &logMutex()
{
    static QMutex mutex;
    return mutex;
}

struct LoggerState
{
    QString programLog;
    Logger::Level threshold = Logger::Info;
    qint64 maxSize = 1024 * 1024;
};

LoggerState &state()
{
    static LoggerState s;
    return s;
}

QString resolve(const QString &path)
{
    return Paths::dataFile(path);
}

// Keeps one previous generation: "<file>.1".
void rotateIfNeeded(const QString &path, qint64 limit)
{
    const QFileInfo info(path);
    if (limit <= 0 || !info.exists() || info.size() < limit)
        return;
    const QString old = path + QLatin1String(".1");
    QFile::remove(old);
    QFile::rename(path, old);
}

bool appendLines(const LogFile &file, const QStringList &lines)
{
    const QString path = resolve(file.path);
    if (path.isEmpty())
        return false;
    QMutexLocker lock(&logMutex());
    rotateIfNeeded(path, state().maxSize);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return false;
    QTextStream out(&f);
    const QString stamp = file.withTimestamp
        ? QDateTime::currentDateTime().toString(QLatin1String(Logger::timestampFormat())) + QLatin1Char(' ')
        : QString();
    for (const QString &line : lines)
        out << stamp << Logger::escaped(line) << '\n';
    return true;
}

const char *levelName(Logger::Level level)
{
    switch (level) {
    case Logger::Debug:
        return "debug";
    case Logger::Info:
        return "info";
    case Logger::Warning:
        return "warning";
    case Logger::Error:
        return "error";
    }
    return "info";
}

} // namespace

namespace Logger {

bool logTo(const LogFile &file, const QStringList &lines)
{
    return appendLines(file, lines);
}

bool logTo(const LogFile &file, const QString &line)
{
    return appendLines(file, QStringList { line });
}

void setProgramLog(const QString &path)
{
    QMutexLocker lock(&logMutex());
    state().programLog = path;
}

QString programLogPath()
{
    QMutexLocker lock(&logMutex());
    return state().programLog.isEmpty() ? QString() : resolve(state().programLog);
}

void setThreshold(Level level)
{
    QMutexLocker lock(&logMutex());
    state().threshold = level;
}

Level threshold()
{
    QMutexLocker lock(&logMutex());
    return state().threshold;
}

void setMaxSize(qint64 bytes)
{
    QMutexLocker lock(&logMutex());
    state().maxSize = bytes;
}

qint64 maxSize()
{
    QMutexLocker lock(&logMutex());
    return state().maxSize;
}

void log(Level level, const QString &text)
{
    QString path;
    {
        QMutexLocker lock(&logMutex());
        if (level < state().threshold)
            return;
        path = state().programLog;
    }
    const QString line = QLatin1String(levelName(level)) + QLatin1String(": ") + escaped(text);
    if (path.isEmpty() || !logTo(LogFile { path, true }, line)) {
        if (level >= Warning)
            qWarning("%s", qPrintable(line));
    }
}

QString escaped(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (u == '\r') {
            out += QLatin1String("\\r");
        } else if (u == '\n') {
            out += QLatin1String("\\n");
        } else if (u == '\t') {
            out += QLatin1String("\\t");
        } else if (u < 0x20 || u == 0x7f || (u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029) {
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace Logger
