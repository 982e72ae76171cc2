#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

// Starts the real program the way a user does and checks what start-up leaves
// behind: the data directory, the log, and the refusal of a second instance.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void firstStartsSecondRefused();

private:
    static QProcessEnvironment environmentFor(const QString &home)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/share"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }
};

void TestStartup::firstStartsSecondRefused()
{
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString dataDir = home.path() + QStringLiteral("/share/.quor/");

    QProcess first;
    first.setProcessEnvironment(environmentFor(home.path()));
    first.start(QStringLiteral(QUOR_APP_BINARY), {});
    QVERIFY2(first.waitForStarted(10000), qPrintable(first.errorString()));

    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dataDir + QStringLiteral("quorer.log")), 20000);
    QVERIFY(QFileInfo(dataDir).isDir());
    QCOMPARE(first.state(), QProcess::Running);

    QProcess second;
    second.setProcessEnvironment(environmentFor(home.path()));
    second.start(QStringLiteral(QUOR_APP_BINARY), {});
    QVERIFY(second.waitForFinished(20000));
    QCOMPARE(second.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.exitCode(), 0);
    QVERIFY2(second.readAllStandardOutput().contains("QuorManager is already running"),
             second.readAllStandardError().constData());

    QCOMPARE(first.state(), QProcess::Running);
    first.terminate();
    if (!first.waitForFinished(10000)) {
        first.kill();
        first.waitForFinished(5000);
    }
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
