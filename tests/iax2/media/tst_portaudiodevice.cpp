// PortAudio on a null ALSA device that the test defines itself, so the test
// runs headless and never touches a real sound card.

#include <QtTest>

#include "iax2/media/PortAudioDevice.h"
#include "iax2/media/RingTone.h"

using namespace iax2;

namespace {

// A device that insists on one stream rate, so the conversion to and from 8 kHz runs.
class FixedRateDevice : public PortAudioDevice
{
public:
    explicit FixedRateDevice(int rate)
        : m_rate(rate)
    {
    }

protected:
    std::vector<int> streamRates() const override { return { m_rate }; }

private:
    int m_rate;
};

} // namespace

class TestPortAudioDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // In place before PortAudio first loads ALSA's configuration.
        QVERIFY(m_dir.isValid());
        QFile conf(m_dir.filePath(QStringLiteral("asound.conf")));
        QVERIFY(conf.open(QIODevice::WriteOnly) && conf.write("pcm.!default { type null }\n") > 0);
        conf.close();
        qputenv("ALSA_CONFIG_PATH", conf.fileName().toLocal8Bit());
        PortAudioDevice probe;
        QVERIFY(probe.isInitialized());
        for (const AudioDeviceInfo &d : probe.devices()) {
            m_input = d.defaultInput ? d.id : m_input;
            m_output = d.defaultOutput ? d.id : m_output;
        }
        QVERIFY2(m_input >= 0 && m_output >= 0, "no default input and output device");
    }

    void streams_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("milliseconds");
        QTest::newRow("device's choice") << 0 << 1000;
        QTest::newRow("48 kHz, converted") << 48000 << 300;
        QTest::newRow("44.1 kHz, converted") << 44100 << 300;
    }

    void streams()
    {
        QFETCH(int, rate);
        QFETCH(int, milliseconds);
        std::unique_ptr<PortAudioDevice> dev
            = rate ? std::make_unique<FixedRateDevice>(rate) : std::make_unique<PortAudioDevice>();
        QStringList errors;
        dev->setErrorHandler([&errors](const std::string &m) { errors << QString::fromStdString(m); });
        QVERIFY(dev->select(m_input, m_output, m_output));
        QVERIFY2(dev->start() && dev->isRunning(), qPrintable(errors.join(QLatin1Char('\n'))));
        QVERIFY(rate ? dev->streamRate() == rate : dev->streamRate() > 0);
        // Play a tone and take what the microphone side delivers, at the engine's pace.
        RingTone tone;
        int16_t frame[160];
        int captured = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < milliseconds) {
            for (int i = 0; i < 5 && dev->readFrame(frame); ++i)
                ++captured;
            tone.nextFrame(frame);
            dev->writeFrame(frame);
            QTest::qWait(20);
        }
        QVERIFY(dev->isRunning() && dev->stats().callbacks > 0 && captured > 0);
        dev->stop();
        QVERIFY(!dev->isRunning() && dev->streamRate() == 0 && !dev->readFrame(frame));
        // The ring tone opens a stream of its own, closed when the ringing is over.
        for (int i = 0; i < 10; ++i) {
            tone.nextFrame(frame);
            dev->writeRingFrame(frame);
        }
        QVERIFY(dev->ringRate() > 0);
        dev->stopRing();
        QCOMPARE(dev->ringRate(), 0);
        QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
    }

    void staleIdsFallBack()
    {
        PortAudioDevice dev;
        QStringList errors;
        dev.setErrorHandler([&errors](const std::string &m) { errors << QString::fromStdString(m); });
        // A headset unplugged since the settings were saved: ids beyond the table
        // fall back to the defaults, each with an error naming it.
        QVERIFY(!dev.select(57, 58, 59));
        QCOMPARE(errors.size(), 3);
        QVERIFY(errors[0].contains(QLatin1String("57")));
        QCOMPARE(dev.inputDevice(), m_input);
        QCOMPARE(dev.outputDevice(), m_output);
        QCOMPARE(dev.ringDevice(), m_output);
        // Garbage ids go the same way, and nothing crashes when streaming.
        QVERIFY(!dev.select(-7, INT_MIN, INT_MAX));
        QCOMPARE(errors.size(), 6);
        dev.start();
        int16_t frame[160] = {};
        dev.readFrame(frame);
        dev.writeFrame(frame);
        dev.writeRingFrame(frame);
        dev.stop();
    }

private:
    QTemporaryDir m_dir;
    int m_input = -1;
    int m_output = -1;
};

QTEST_GUILESS_MAIN(TestPortAudioDevice)
#include "tst_portaudiodevice.moc"
