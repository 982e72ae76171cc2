// An independent check of the wire format: a whole session between the
// engine and the fake PBX goes into a pcap file that tshark's IAX2 dissector
// must read without a single malformed packet.

#include <QtTest>

#include "testsupport/EngineProbe.h"
#include "testsupport/FakePbx.h"
#include "iax2/Iax2Engine.h"
#include "iax2/MemoryAudioDevice.h"
#include "testsupport/PcapWriter.h"

using namespace iax2;

class TestIax2Wire : public QObject
{
    Q_OBJECT

private slots:
    void tsharkReadsSession()
    {
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed: the wire-format check did not run");

        FakePbx pbx;
        pbx.addUser(QStringLiteral("alice"), QStringLiteral("wonder"));
        pbx.setRequireToken(true);
        pbx.setAuthenticateCalls(true);
        MemoryAudioDevice audio;
        Iax2Engine::Config config;
        config.bindAddress = "127.0.0.1";
        config.port = 0;
        Iax2Engine engine(config, &audio);
        EngineProbe probe(engine);
        // The engine's thread calls into probe: it must end first, also when a check fails.
        const auto stopEngine = qScopeGuard([&engine] { engine.stop(); });
        engine.setCallerId("Alice", "201");
        engine.start();

        Account account;
        account.host = "127.0.0.1";
        account.port = pbx.port();
        account.user = "alice";
        account.secret = "wonder";
        const int reg = engine.registerAccount(account);
        QTRY_COMPARE(probe.registrations(RegistrationReply::Accepted), 1);

        const int call = engine.dial(account, "300");
        QTRY_VERIFY(probe.sawState(call, CallRinging));
        FakePbx::Dialogue *d = pbx.latest(QStringLiteral("call-in"));
        QVERIFY(d);
        pbx.sendControl(d->localNo, 4);
        QTRY_VERIFY(probe.stateOf(call) & CallComplete);
        audio.inject(makeTone(440, 2400));
        pbx.startTone(d->localNo, 700);
        QTRY_VERIFY(d->voiceFrames >= 10);
        engine.sendDtmf('7', call);
        engine.quelch(call, true);
        engine.unquelch(call);
        engine.blindTransfer(call, "400");
        QTRY_COMPARE(pbx.count(6, 34), 1);
        engine.hangup(call);
        QTRY_COMPARE(pbx.count(6, 5), 1);

        const quint16 in
            = pbx.callEngine(engine.localPort(), QStringLiteral("201"), QStringLiteral("555"), QStringLiteral("Bob"));
        QTRY_VERIFY(probe.incomingCall() >= 0);
        engine.reject(probe.incomingCall());
        QTRY_VERIFY(pbx.dialogue(in)->hungUp);
        engine.unregisterAccount(reg);
        QTRY_COMPARE(pbx.regAcks(), 2);
        engine.stop();

        QList<PcapPacket> packets;
        for (const FakePbx::Record &r : pbx.records()) {
            PcapPacket p;
            p.sourcePort = r.fromPbx ? r.pbxPort : r.peerPort;
            p.destPort = r.fromPbx ? r.peerPort : r.pbxPort;
            p.usec = 1700000000LL * 1000000 + r.usec;
            p.payload = r.data;
            packets << p;
        }
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("session.pcap"));
        QVERIFY(PcapWriter::write(file, packets));

        QProcess proc;
        proc.start(tshark,
            { QStringLiteral("-n"), QStringLiteral("-r"), file, QStringLiteral("-d"),
                QStringLiteral("udp.port==%1,iax2").arg(pbx.port()), QStringLiteral("-T"), QStringLiteral("fields"),
                QStringLiteral("-E"), QStringLiteral("separator=|"), QStringLiteral("-e"), QStringLiteral("iax2.type"),
                QStringLiteral("-e"), QStringLiteral("iax2.iax.subclass"), QStringLiteral("-e"),
                QStringLiteral("_ws.malformed"), QStringLiteral("-e"), QStringLiteral("_ws.expert.severity") });
        QVERIFY(proc.waitForFinished(60000));
        QCOMPARE(proc.exitCode(), 0);
        const QStringList lines
            = QString::fromUtf8(proc.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), packets.size());

        QSet<int> iaxSubclasses;
        int fullFrames = 0;
        int line = 0;
        for (const QString &l : lines) {
            ++line;
            const QStringList f = l.split(QLatin1Char('|'));
            QCOMPARE(f.size(), 4);
            QVERIFY2(f[2].isEmpty(), qPrintable(QStringLiteral("packet %1 is malformed: %2").arg(line).arg(l)));
            // Severity 8388608 is "error" in the dissector's expert info.
            QVERIFY2(!f[3].split(QLatin1Char(',')).contains(QStringLiteral("8388608")),
                qPrintable(QStringLiteral("packet %1 has an expert error: %2").arg(line).arg(l)));
            if (!f[0].isEmpty())
                ++fullFrames;
            if (f[0] == QLatin1String("6"))
                iaxSubclasses.insert(f[1].toInt());
        }
        QVERIFY(fullFrames > 20);
        // NEW, ACK, HANGUP, REJECT, ACCEPT, AUTHREQ, AUTHREP, REGREQ, REGAUTH,
        // REGACK, REGREL, QUELCH, UNQUELCH, TRANSFER, CALLTOKEN
        for (int expected : { 1, 4, 5, 6, 7, 8, 9, 13, 14, 15, 17, 28, 29, 34, 40 })
            QVERIFY2(iaxSubclasses.contains(expected), qPrintable(QStringLiteral("no IAX subclass %1").arg(expected)));
    }
};

QTEST_GUILESS_MAIN(TestIax2Wire)
#include "tst_iax2wire.moc"
