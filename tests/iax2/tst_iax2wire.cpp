// An independent check of the wire format: a whole session between the
// engine and the fake PBX goes into a pcap file that tshark's IAX2 dissector
// must read without a single malformed packet.

#include <QtTest>

#include "testsupport/IaxRig.h"
#include "testsupport/PcapWriter.h"

using namespace iax2;
using namespace signaltools;

class TestIax2Wire : public QObject
{
    Q_OBJECT

private slots:
    void tsharkReadsSession()
    {
        const QString tshark = QStandardPaths::findExecutable(QStringLiteral("tshark"));
        if (tshark.isEmpty())
            QSKIP("tshark is not installed: the wire-format check did not run");

        IaxRig rig;
        FakePbx &pbx = rig.pbx;
        Iax2Engine &engine = *rig.engine;
        pbx.setRequireToken(true);
        pbx.setAuthenticateCalls(true);
        engine.setCallerId("Alice", "201");
        const int reg = engine.registerAccount(rig.account());
        QTRY_COMPARE(rig.probe->registrations(RegistrationReply::Accepted), 1);

        const int call = engine.dial(rig.account(), "300");
        QTRY_COMPARE(rig.probe->count<RingingOutEvent>(), 1);
        FakePbx::Dialogue *d = pbx.latest(QStringLiteral("call-in"));
        pbx.sendControl(d->localNo, 4);
        QTRY_VERIFY(engine.callState(call) & CallComplete);
        rig.audio.inject(tone(440, 8000, 2400));
        pbx.startTone(d->localNo, 700);
        QTRY_VERIFY(d->voiceFrames >= 10);
        engine.sendDtmf('7', call);
        engine.quelch(call, true);
        engine.unquelch(call);
        engine.blindTransfer(call, "400");
        QTRY_COMPARE(pbx.count(6, 34), 1);
        engine.hangup(call);
        QTRY_COMPARE(pbx.count(6, 5), 1);

        const quint16 in = rig.callIn(engine.localPort());
        QTRY_VERIFY(rig.probe->incomingCall() >= 0);
        engine.reject(rig.probe->incomingCall());
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
