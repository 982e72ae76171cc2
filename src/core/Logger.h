#pragma once

#include <QString>
#include <QStringList>

// One log file: a path (relative paths live in the data directory) and whether
// each line gets a time stamp.
struct LogFile
{
    QString path;
    bool withTimestamp = true;
};

namespace Logger {

enum Level { Debug = 0, Info = 1, Warning = 2, Error = 3 };

// Appends each line to the file, after rotating it when it has grown past the
// size limit; with withTimestamp each line starts "yyyy:MM:dd hh:mm:ss ".
// Returns false, writing nothing, when the file cannot be opened. Thread-safe.
bool logTo(const LogFile &file, const QStringList &lines);
bool logTo(const LogFile &file, const QString &line);

// The program log ("quorer.log" once main has set it).
void setProgramLog(const QString &path);
QString programLogPath();
void setThreshold(Level level);
Level threshold();
// A file larger than this is renamed to "<name>.1" (the previous ".1" dropped)
// before the next write.
void setMaxSize(qint64 bytes);
qint64 maxSize();

void log(Level level, const QString &text);
inline void debug(const QString &text) { log(Debug, text); }
inline void info(const QString &text) { log(Info, text); }
inline void warning(const QString &text) { log(Warning, text); }
inline void error(const QString &text) { log(Error, text); }

// Replaces control characters (CR, LF, NUL, ESC ...) with visible escapes (\r, \x1b) so
// that text from the network cannot forge log lines.
QString escaped(const QString &text);

// The time stamp format of every log line.
inline const char *timestampFormat() { return "yyyy:MM:dd hh:mm:ss"; }

} // namespace Logger
