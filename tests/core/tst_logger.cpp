#include <QFile>
#include <QRegularExpression>
#include <QtTest>
#include <thread>

#include "core/Logger.h"
#include "core/Paths.h"
#include "testsupport/TestDataDir.h"

class TestLogger : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void formatAndRelativePath();
    void unopenableFileReturnsFalse();
    void rotation();
    void programLogThresholdAndEscaping();
    void concurrentWritersKeepLinesWhole();

private:
    static QStringList linesOf(const QString &path)
    {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

void TestLogger::init()
{
    Logger::setMaxSize(1024 * 1024);
    Logger::setThreshold(Logger::Info);
}

void TestLogger::formatAndRelativePath()
{
    TestDataDir dir;
    const LogFile stamped { QStringLiteral("manager.log"), true };
    QVERIFY(Logger::logTo(stamped, QStringList { QStringLiteral("Event: Hangup"), QStringLiteral("Channel: SIP/1") }));
    QVERIFY(Logger::logTo(stamped, QString()));
    const LogFile plain { QStringLiteral("plain.log"), false };
    QVERIFY(Logger::logTo(plain, QStringLiteral("no stamp")));

    // Relative names live in the data directory.
    const QStringList lines = linesOf(dir.filePath(QStringLiteral("manager.log")));
    QCOMPARE(lines.size(), 3);
    const QRegularExpression stamp(QStringLiteral("^\\d{4}:\\d{2}:\\d{2} \\d{2}:\\d{2}:\\d{2} "));
    QVERIFY2(stamp.match(lines[0]).hasMatch(), qPrintable(lines[0]));
    QVERIFY(lines[0].endsWith(QStringLiteral(" Event: Hangup")));
    QVERIFY(lines[1].endsWith(QStringLiteral(" Channel: SIP/1")));
    QCOMPARE(lines[2].size(), 20); // the stamp and its blank before an empty line
    QCOMPARE(linesOf(dir.filePath(QStringLiteral("plain.log"))), QStringList { QStringLiteral("no stamp") });
}

void TestLogger::unopenableFileReturnsFalse()
{
    TestDataDir dir;
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("adir"))));
    QVERIFY(!Logger::logTo(LogFile { dir.filePath(QStringLiteral("adir")), true }, QStringLiteral("x")));
    QVERIFY(!Logger::logTo(LogFile { dir.filePath(QStringLiteral("no/such/dir.log")), true }, QStringLiteral("x")));
}

void TestLogger::rotation()
{
    TestDataDir dir;
    Logger::setMaxSize(100);
    const LogFile file { QStringLiteral("r.log"), false };
    for (int i = 0; i < 10; ++i)
        QVERIFY(Logger::logTo(file, QStringLiteral("line %1 ........................").arg(i)));
    const QStringList current = linesOf(dir.filePath(QStringLiteral("r.log")));
    const QStringList previous = linesOf(dir.filePath(QStringLiteral("r.log.1")));
    QVERIFY(!current.isEmpty());
    QVERIFY(!previous.isEmpty());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("r.log"))).size() <= 100 + 40);
    QVERIFY(current.last().startsWith(QStringLiteral("line 9")));
    // Only one older generation is kept; the newest lines are never lost.
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("r.log.2"))));
    QVERIFY(previous.last().startsWith(QStringLiteral("line")));
}

void TestLogger::programLogThresholdAndEscaping()
{
    TestDataDir dir;
    Logger::setProgramLog(QStringLiteral("quorer.log"));
    Logger::setThreshold(Logger::Warning);
    Logger::info(QStringLiteral("hidden"));
    Logger::warning(QStringLiteral("caller \"x\r\n2026:01:01 00:00:00 error: forged\x1b[0m\""));
    const QStringList lines = linesOf(dir.filePath(QStringLiteral("quorer.log")));
    QCOMPARE(lines.size(), 1);
    QVERIFY(lines[0].contains(QStringLiteral("warning: caller \"x\\r\\n2026:01:01")));
    QVERIFY(lines[0].contains(QStringLiteral("\\x1b[0m")));
    QCOMPARE(Logger::escaped(QStringLiteral("a\tb\x01")), QStringLiteral("a\\tb\\x01"));
    QCOMPARE(Logger::escaped(QStringLiteral("plain ü text")), QStringLiteral("plain ü text"));
    Logger::setProgramLog(QString());
}

void TestLogger::concurrentWritersKeepLinesWhole()
{
    TestDataDir dir;
    const LogFile file { QStringLiteral("threads.log"), true };
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, file] {
            for (int i = 0; i < 200; ++i)
                Logger::logTo(file, QStringLiteral("thread %1 line %2 end").arg(t).arg(i));
        });
    }
    for (auto &thread : threads)
        thread.join();
    const QStringList lines = linesOf(dir.filePath(QStringLiteral("threads.log")));
    QCOMPARE(lines.size(), 800);
    for (const QString &line : lines)
        QVERIFY2(line.endsWith(QStringLiteral(" end")) && line.count(QStringLiteral("thread")) == 1, qPrintable(line));
}

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
