#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

#include "iax2/Frame.h"
#include "mainwindow/QuitSignals.h"
#include "settings/TQuorSettings.h"
#include "testsupport/FakePbx.h"
#include "testsupport/SettingsFile.h"

namespace {

constexpr int kTypeIax = int(iax2::FrameType::Iax);
constexpr int kClickToDialPort = 35400;

// The real program in a home of its own, with everything it prints kept for
// the failure message.
struct Program
{
    QTemporaryDir home;
    QProcess process;
    QByteArray output;

    QString dataDir() const { return home.path() + QStringLiteral("/share/.quor/"); }
    const char *said() const { return output.isEmpty() ? "(the program printed nothing)" : output.constData(); }

    void start()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.path() + QStringLiteral("/share"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        // In a sanitizer build, what a system library keeps until exit (fontconfig)
        // is reported but must not replace the program's own exit status.
        if (!env.contains(QStringLiteral("LSAN_OPTIONS")))
            env.insert(QStringLiteral("LSAN_OPTIONS"), QStringLiteral("exitcode=0"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        QObject::connect(&process, &QProcess::readyRead, [this] { output += process.readAll(); });
        process.start(QStringLiteral(QUOR_APP_BINARY), {});
    }

    ~Program()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
};

} // namespace

// Starts the real program the way a user does: what start-up leaves behind,
// the refusal of a second instance, and the way out on SIGTERM, SIGINT and SIGHUP.
class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void firstStartsSecondRefused();
    void quitSignal_data();
    void quitSignal();
    void signalBeforeWindowIsKept();

private:
    // Starts the program until it runs (its log exists). Another instance on
    // this machine may hold the single-instance guard for a while; that start
    // is retried.
    static bool startRunning(Program &program);
};

bool TestStartup::startRunning(Program &program)
{
    QDeadlineTimer deadline(60000);
    for (int attempt = 0; !deadline.hasExpired(); ++attempt) {
        program.output.clear();
        program.start();
        if (!program.process.waitForStarted(10000))
            return false;
        const bool logged = QTest::qWaitFor(
            [&] {
                return QFile::exists(program.dataDir() + QStringLiteral("quorer.log"))
                    || program.process.state() == QProcess::NotRunning;
            },
            20000);
        if (logged && program.process.state() == QProcess::Running)
            return true;
        if (!program.output.contains("QuorManager is already running"))
            return false;
        if (attempt == 0)
            qInfo("another instance holds the single-instance guard; starting again until it is gone");
        QTest::qWait(500);
    }
    return false;
}

void TestStartup::firstStartsSecondRefused()
{
    Program first;
    QVERIFY2(startRunning(first), first.said());
    QVERIFY(QFileInfo(first.dataDir()).isDir());

    Program second;
    second.start();
    QVERIFY(second.process.waitForFinished(20000));
    QCOMPARE(second.process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(second.process.exitCode(), 0);
    QVERIFY2(second.output.contains("QuorManager is already running"), second.said());
    QCOMPARE(first.process.state(), QProcess::Running);
}

void TestStartup::quitSignal_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP, the terminal closed") << int(SIGHUP);
}

void TestStartup::quitSignal()
{
    QFETCH(int, signalNumber);

    FakePbx pbx;
    pbx.addUser(QStringLiteral("201"), QStringLiteral("s3cret"));
    Program program;
    QVERIFY(QDir().mkpath(program.dataDir()));
    Paths::setDataDir(program.dataDir());
    QVERIFY(writeSettingKeys({ { QStringLiteral("agent/server"), QStringLiteral("127.0.0.1") },
        { QStringLiteral("agent/port"), QString::number(pbx.port()) },
        { QStringLiteral("agent/uname"), QStringLiteral("201") },
        { QStringLiteral("agent/passwd"), TQuorSettings::scramblePassword(QStringLiteral("s3cret")) },
        { QStringLiteral("codecs/ulaw"), QStringLiteral("yes") },
        { QStringLiteral("codecs/default"), QStringLiteral("ulaw") } }));

    QVERIFY2(startRunning(program), program.said());
    QTRY_VERIFY2_WITH_TIMEOUT(pbx.regAcks() >= 1, program.said(), 20000);

    // A call up: dialled through click-to-dial and answered by the PBX.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, kClickToDialPort);
    QVERIFY2(client.waitForConnected(5000), program.said());
    client.write("call:300\n");
    QTRY_VERIFY2_WITH_TIMEOUT(pbx.latest(QStringLiteral("call-in")) && pbx.latest(QStringLiteral("call-in"))->remoteNo,
        program.said(), 10000);
    FakePbx::Dialogue *call = pbx.latest(QStringLiteral("call-in"));
    pbx.sendControl(call->localNo, iax2::Ctl::Answer);
    // The engine has every frame of the PBX once it acknowledges the answer.
    QTRY_VERIFY2_WITH_TIMEOUT(call->acked == call->oseq, program.said(), 10000);

    // The signal takes the quit path: registration released, call hung up, status 0.
    QVERIFY(::kill(pid_t(program.process.processId()), signalNumber) == 0);
    QTRY_COMPARE_WITH_TIMEOUT(program.process.state(), QProcess::NotRunning, 15000);
    QVERIFY2(program.process.exitStatus() == QProcess::NormalExit, program.said());
    QCOMPARE(program.process.exitCode(), 0);
    QTRY_VERIFY2(pbx.count(kTypeIax, iax2::Cmd::RegRel) >= 1, program.said());
    QTRY_VERIFY2(pbx.count(kTypeIax, iax2::Cmd::Hangup) >= 1, program.said());
}

void TestStartup::signalBeforeWindowIsKept()
{
    // A signal while the windows are still being built waits for its receiver;
    // a hang-up ignored since start (nohup) stays ignored.
    ::signal(SIGHUP, SIG_IGN);
    QuitSignals quitSignals;
    QVERIFY(quitSignals.isActive());
    QVERIFY(!QuitSignals().isActive());
    QVERIFY(::raise(SIGINT) == 0 && ::raise(SIGHUP) == 0);
    QTest::qWait(20);
    QList<int> received;
    connect(&quitSignals, &QuitSignals::quitRequested, this, [&](int number) { received << number; });
    QTRY_COMPARE(received, QList<int> { SIGINT });
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
