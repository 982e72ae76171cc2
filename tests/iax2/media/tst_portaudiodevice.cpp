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

// PortAudio on a null ALSA device that the test defines itself, so the test runs
// headless and never touches a real sound card.
class TestPortAudioDevice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void streamsForOneSecond_data();
    void streamsForOneSecond();
    void ringStream();
    void staleIdsFallBack();

private:
    QTemporaryDir m_dir;
    std::vector<AudioDeviceInfo> m_devices;
};

void TestPortAudioDevice::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString path = m_dir.filePath(QStringLiteral("asound.conf"));
    QFile conf(path);
    QVERIFY(conf.open(QIODevice::WriteOnly));
    conf.write("pcm.!default { type null }\n");
    conf.close();
    // Must be in place before PortAudio first loads ALSA's configuration.
    qputenv("ALSA_CONFIG_PATH", path.toLocal8Bit());
    PortAudioDevice probe;
    QVERIFY(probe.isInitialized());
    m_devices = probe.devices();
    for (const auto &d : m_devices)
        qInfo("device %d \"%s\" capabilities %d", d.id, d.name.c_str(), d.capabilities);
}

void TestPortAudioDevice::streamsForOneSecond_data()
{
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("milliseconds");
    QTest::newRow("device's choice") << 0 << 1000;
    QTest::newRow("48 kHz, converted") << 48000 << 300;
    QTest::newRow("44.1 kHz, converted") << 44100 << 300;
}

void TestPortAudioDevice::streamsForOneSecond()
{
    QFETCH(int, rate);
    QFETCH(int, milliseconds);
    if (m_devices.empty())
        QSKIP("PortAudio finds no audio device at all");
    int input = -1, output = -1;
    for (const auto &d : m_devices) {
        if (d.defaultInput)
            input = d.id;
        if (d.defaultOutput)
            output = d.id;
    }
    if (input < 0 || output < 0)
        QSKIP("no default input and output device");

    std::unique_ptr<PortAudioDevice> device
        = rate ? std::make_unique<FixedRateDevice>(rate) : std::make_unique<PortAudioDevice>();
    PortAudioDevice &dev = *device;
    QStringList errors;
    dev.setErrorHandler([&errors](const std::string &m) { errors << QString::fromStdString(m); });
    QVERIFY(dev.select(input, output, output));
    QVERIFY2(dev.start(), qPrintable(errors.join(QLatin1Char('\n'))));
    QVERIFY(dev.isRunning());
    if (rate)
        QCOMPARE(dev.streamRate(), rate);
    QVERIFY(dev.streamRate() > 0);

    // Play a tone and take what the microphone side delivers, at the engine's pace.
    RingTone tone;
    int16_t frame[160];
    int captured = 0;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        for (int i = 0; i < 5 && dev.readFrame(frame); ++i)
            ++captured;
        tone.nextFrame(frame);
        dev.writeFrame(frame);
        QTest::qWait(20);
    }
    const auto stats = dev.stats();
    qInfo("rate %d Hz: %llu callbacks, %d frames captured, %llu device xruns", dev.streamRate(),
        static_cast<unsigned long long>(stats.callbacks), captured, static_cast<unsigned long long>(stats.deviceXruns));
    QVERIFY(errors.isEmpty());
    QVERIFY(dev.isRunning());
    QVERIFY(stats.callbacks > 0);
    QVERIFY(captured > 0);
    dev.stop();
    QVERIFY(!dev.isRunning());
    QCOMPARE(dev.streamRate(), 0);
    QVERIFY(!dev.readFrame(frame));
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
}

void TestPortAudioDevice::ringStream()
{
    if (m_devices.empty())
        QSKIP("PortAudio finds no audio device at all");
    int ring = -1;
    for (const auto &d : m_devices) {
        if (d.defaultRing)
            ring = d.id;
    }
    if (ring < 0)
        QSKIP("no default ring device");
    PortAudioDevice dev;
    QStringList errors;
    dev.setErrorHandler([&errors](const std::string &m) { errors << QString::fromStdString(m); });
    QVERIFY(dev.select(-1, -1, ring));
    RingTone tone;
    int16_t frame[160];
    for (int i = 0; i < 10; ++i) {
        tone.nextFrame(frame);
        dev.writeRingFrame(frame);
    }
    QVERIFY(dev.ringRate() > 0);
    dev.stopRing();
    QCOMPARE(dev.ringRate(), 0);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join(QLatin1Char('\n'))));
}

void TestPortAudioDevice::staleIdsFallBack()
{
    PortAudioDevice dev;
    QStringList errors;
    dev.setErrorHandler([&errors](const std::string &m) { errors << QString::fromStdString(m); });
    // A headset unplugged since the settings were saved: ids beyond the table.
    QVERIFY(!dev.select(57, 58, 59));
    QCOMPARE(errors.size(), 3);
    int defaultIn = -1, defaultOut = -1;
    for (const auto &d : m_devices) {
        if (d.defaultInput)
            defaultIn = d.id;
        if (d.defaultOutput)
            defaultOut = d.id;
    }
    QCOMPARE(dev.inputDevice(), defaultIn);
    QCOMPARE(dev.outputDevice(), defaultOut);
    QCOMPARE(dev.ringDevice(), defaultOut);
    QVERIFY(errors[0].contains(QLatin1String("57")));

    // Negative garbage ids go the same way, and nothing crashes when streaming.
    errors.clear();
    QVERIFY(!dev.select(-7, INT_MIN, INT_MAX));
    QCOMPARE(errors.size(), 3);
    dev.start();
    int16_t frame[160] = {};
    dev.readFrame(frame);
    dev.writeFrame(frame);
    dev.writeRingFrame(frame);
    dev.stop();
}

QTEST_GUILESS_MAIN(TestPortAudioDevice)
#include "tst_portaudiodevice.moc"
