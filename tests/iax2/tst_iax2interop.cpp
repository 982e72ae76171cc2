// Interoperability with a third-party IAX2 peer: a modem emulator with its
// own protocol stack, driven through its pty with AT commands. It needs its
// configuration in /etc/iaxmodem, so the test runs as root (as CI does) and
// skips visibly otherwise.

#include <QUdpSocket>
#include <QtTest>

#include "EngineProbe.h"
#include "Iax2Engine.h"
#include "MemoryAudioDevice.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace iax2;

namespace {

const QString kConfigDir = QStringLiteral("/etc/iaxmodem");

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// One modem process with a configuration of its own; removed again on exit.
class Modem
{
public:
    Modem(quint16 modemPort, quint16 enginePort)
    {
        m_name = QStringLiteral("quor-test-%1-%2").arg(QCoreApplication::applicationPid()).arg(modemPort);
        m_device = m_dir.filePath(QStringLiteral("ttyIAX"));
        QFile config(kConfigDir + QLatin1Char('/') + m_name);
        if (!config.open(QIODevice::WriteOnly))
            return;
        config.write(QStringLiteral("device %1\nowner root:root\nmode 600\nport %2\nrefresh 0\n"
                                    "server 127.0.0.1:%3\npeername modem\nsecret none\n"
                                    "cidname Modem Line\ncidnumber 5551234\ncodec ulaw\n")
                         .arg(m_device)
                         .arg(modemPort)
                         .arg(enginePort)
                         .toUtf8());
        config.close();
        m_process.setProgram(QStandardPaths::findExecutable(QStringLiteral("iaxmodem")));
        m_process.setArguments({ m_name });
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
    }

    ~Modem()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(3000))
                m_process.kill();
            m_process.waitForFinished(1000);
        }
        QFile::remove(kConfigDir + QLatin1Char('/') + m_name);
    }

    bool openPty()
    {
        if (m_fd >= 0)
            return true;
        if (!QFileInfo::exists(m_device))
            return false;
        m_fd = ::open(QFile::encodeName(m_device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (m_fd < 0)
            return false;
        // Raw, or the line discipline echoes the modem's own output back to it.
        termios tio;
        tcgetattr(m_fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(m_fd, TCSANOW, &tio);
        return true;
    }

    void command(const QByteArray &text)
    {
        if (m_fd >= 0) [[maybe_unused]]
            ssize_t n = ::write(m_fd, text.constData(), size_t(text.size()));
    }

    // Everything the modem printed so far.
    QByteArray output()
    {
        char buf[256];
        ssize_t n;
        while (m_fd >= 0 && (n = ::read(m_fd, buf, sizeof buf)) > 0)
            m_output.append(buf, int(n));
        return m_output;
    }

    QString log() { return QString::fromLocal8Bit(m_process.readAll()); }

private:
    QTemporaryDir m_dir;
    QString m_name;
    QString m_device;
    QProcess m_process;
    int m_fd = -1;
    QByteArray m_output;
};

struct Side
{
    MemoryAudioDevice audio;
    std::unique_ptr<Iax2Engine> engine;
    std::unique_ptr<EngineProbe> probe;

    Side()
    {
        Iax2Engine::Config config;
        config.bindAddress = "127.0.0.1";
        config.port = 0;
        engine = std::make_unique<Iax2Engine>(config, &audio);
        probe = std::make_unique<EngineProbe>(*engine);
        engine->setCallerId("Quor Test", "201");
        engine->start();
    }
    // The engine's thread calls into probe, which goes first.
    ~Side() { engine->stop(); }
};

} // namespace

class TestIax2Interop : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("iaxmodem")).isEmpty())
            QSKIP("iaxmodem is not installed: the interoperability test did not run");
        if (!QFileInfo(kConfigDir).isDir() || !QFileInfo(kConfigDir).isWritable())
            QSKIP("/etc/iaxmodem is not writable (needs root): the interoperability test did not run");
    }

    void engineCallsModem()
    {
        Side side;
        const quint16 modemPort = freeUdpPort();
        Modem modem(modemPort, side.engine->localPort());
        QTRY_VERIFY_WITH_TIMEOUT(modem.openPty(), 5000);

        Account target;
        target.host = "127.0.0.1";
        target.port = modemPort;
        const int call = side.engine->dial(target, "100");
        QVERIFY(call >= 0);
        QTRY_VERIFY2_WITH_TIMEOUT(modem.output().contains("RING"), qPrintable(modem.log()), 5000);
        // The modem accepted with u-law.
        QTRY_COMPARE(side.probe->lastState(call).format, uint32_t(FormatUlaw));

        modem.command("AT+FCLASS=1\r");
        modem.command("ATA\r");
        QTRY_VERIFY_WITH_TIMEOUT(side.probe->stateOf(call) & CallComplete, 5000);
        // In fax mode it answers with the 2100 Hz answer tone: it must reach our speaker side.
        QTRY_VERIFY_WITH_TIMEOUT(side.audio.playedCount() >= 12000, 5000);
        const std::vector<int16_t> heard = side.audio.takePlayed();
        double best = 0;
        for (size_t i = 0; i + 4000 <= heard.size(); i += 2000)
            best = std::max(
                best, toneShare(std::vector<int16_t>(heard.begin() + long(i), heard.begin() + long(i) + 4000), 2100));
        QVERIFY2(best > 0.9, qPrintable(QStringLiteral("2100 Hz share %1").arg(best)));

        side.engine->hangup(call);
        QTRY_COMPARE(side.probe->stateOf(call), int(CallFree));
        // No lost-call message: the modem acknowledged our hangup.
        QTest::qWait(300); // lets any retransmission of the HANGUP show up in the texts
        QVERIFY(!side.probe->texts().join(QLatin1Char('\n')).contains(QLatin1String("lost")));
    }

    void modemCallsEngine()
    {
        Side side;
        const quint16 modemPort = freeUdpPort();
        Modem modem(modemPort, side.engine->localPort());
        QTRY_VERIFY_WITH_TIMEOUT(modem.openPty(), 5000);

        modem.command("ATDT201\r");
        QTRY_VERIFY2_WITH_TIMEOUT(side.probe->incomingCall() >= 0, qPrintable(modem.log()), 5000);
        const int call = side.probe->incomingCall();
        const EngineEvent ringing = side.probe->lastState(call);
        QCOMPARE(ringing.remoteNumber, std::string("5551234"));
        QCOMPARE(ringing.remoteName, std::string("Modem Line"));
        QCOMPARE(ringing.localNumber, std::string("201"));
        QCOMPARE(ringing.format, uint32_t(FormatUlaw));

        QVERIFY(side.engine->answer(call));
        QTRY_VERIFY_WITH_TIMEOUT(side.audio.playedCount() >= 1600, 5000);
        side.engine->hangup(call);
        QTRY_COMPARE(side.probe->stateOf(call), int(CallFree));
        QTRY_VERIFY_WITH_TIMEOUT(modem.output().contains("NO CARRIER"), 5000);
    }
};

QTEST_GUILESS_MAIN(TestIax2Interop)
#include "tst_iax2interop.moc"
