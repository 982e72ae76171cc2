// Interoperability with a third-party IAX2 peer (see IaxModem.h).

#include <QUdpSocket>
#include <QtTest>

#include "testsupport/EngineProbe.h"
#include "testsupport/IaxModem.h"
#include "iax2/Iax2Engine.h"
#include "iax2/MemoryAudioDevice.h"

using namespace iax2;

namespace {

using iaxmodem::freeUdpPort;
using iaxmodem::Modem;

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
        const QString reason = iaxmodem::unavailableReason();
        if (!reason.isEmpty())
            QSKIP(qPrintable(reason));
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
