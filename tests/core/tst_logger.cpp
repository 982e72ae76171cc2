#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include "core/Logger.h"
#include "testsupport/TestDataDir.h"

class TestLogger : public QObject
{
    Q_OBJECT

private slots:
    void formatAndPlace();
    void rotationKeepsOneGeneration();
    void programLogThresholdAndEscaping();
};

static QStringList linesOf(const TestDataDir &dir, const QString &name)
{
    return QString::fromUtf8(dir.read(name)).split(u'\n', Qt::SkipEmptyParts);
}

void TestLogger::formatAndPlace()
{
    TestDataDir dir;
    const LogFile stamped { QStringLiteral("manager.log"), true };
    QVERIFY(Logger::logTo(stamped, QStringList { QStringLiteral("Event: Hangup"), QStringLiteral("Channel: 1") }));
    // Relative names live in the data directory.
    const QStringList lines = linesOf(dir, QStringLiteral("manager.log"));
    QCOMPARE(lines.size(), 2);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}:\\d{2}:\\d{2} \\d{2}:\\d{2}:\\d{2} Event: Hangup$"));
    QVERIFY2(stamp.match(lines[0]).hasMatch(), qPrintable(lines[0]));
    QCOMPARE(lines[1].mid(20), QStringLiteral("Channel: 1"));
    // A file that cannot be opened is reported.
    QVERIFY(!Logger::logTo(LogFile { dir.filePath(QStringLiteral("no/such/dir.log")) }, QStringLiteral("x")));
}

void TestLogger::rotationKeepsOneGeneration()
{
    TestDataDir dir;
    Logger::setMaxSize(100);
    for (int i = 0; i < 20; ++i)
        QVERIFY(Logger::logTo(LogFile { QStringLiteral("r.log"), false }, QStringLiteral("line %1 .........").arg(i)));
    Logger::setMaxSize(1024 * 1024);
    const QStringList current = linesOf(dir, QStringLiteral("r.log"));
    const QStringList previous = linesOf(dir, QStringLiteral("r.log.1"));
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("r.log"))).size() <= 100 + 17);
    // The newest lines are never lost; only one older generation is kept.
    QCOMPARE(current.last(), QStringLiteral("line 19 ........."));
    QCOMPARE(previous.last(), QStringLiteral("line %1 .........").arg(19 - current.size()));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("r.log.2"))));
}

void TestLogger::programLogThresholdAndEscaping()
{
    TestDataDir dir;
    Logger::setProgramLog(QStringLiteral("quorer.log"));
    Logger::setThreshold(Logger::Warning);
    Logger::info(QStringLiteral("hidden"));
    Logger::warning(QStringLiteral("caller \"x\r\n2026:01:01 00:00:00 error: forged\x1b[0m\t\x01\""));
    Logger::setThreshold(Logger::Info);
    Logger::setProgramLog(QString());
    const QStringList lines = linesOf(dir, QStringLiteral("quorer.log"));
    QCOMPARE(lines.size(), 1);
    QCOMPARE(lines[0].mid(20),
        QStringLiteral("warning: caller \"x\\r\\n2026:01:01 00:00:00 error: forged\\x1b[0m\\t\\x01\""));
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
