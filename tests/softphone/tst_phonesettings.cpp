// Apply on the audio, filters, codecs and actions pages reaches the running
// phone: the headless phone against the loopback fake PBX, with a sound device
// of two entries that records what the engine selects.

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>
#include <mutex>

#include "PhoneFixture.h"
#include "core/Paths.h"
#include "iax2/MemoryAudioDevice.h"

namespace {

enum : int { TypeIax = 6, IaxNew = 1, CtlAnswer = 4, IeCapability = 8, IeFormat = 9 };

// Two sound devices that record what the engine selects; capture is a steady
// tone, so no silence is suppressed.
class TwoDevices : public iax2::MemoryAudioDevice
{
public:
    std::vector<iax2::AudioDeviceInfo> devices() const override
    {
        const int all = iax2::AudioInput | iax2::AudioOutput;
        return { { 1, "Desk phone", all | iax2::AudioRing }, { 2, "USB headset", all } };
    }
    bool select(int input, int output, int ring) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_selected = { input, output, ring };
        return true;
    }
    bool readFrame(int16_t *frame) override
    {
        for (int i = 0; i < 160; ++i)
            frame[i] = int16_t(8000 * std::sin(m_phase += 2 * M_PI * 440 / 8000));
        return true;
    }
    QList<int> selected() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_selected;
    }

private:
    mutable std::mutex m_mutex;
    QList<int> m_selected;
    double m_phase = 0;
};

} // namespace

class TestPhoneSettings : public QObject, public PhoneFixture
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }

    void init()
    {
        startPbx();
        TQuorPhone::Options options = loopbackPhoneOptions();
        options.voip.audio = &m_device;
        startPhone({}, options);
        m_phone->show();
        m_phone->showSettings();
        click("buttonAdmin");
        w<QLineEdit>("editLockPassword")->setText(QStringLiteral("fendro"));
        QTest::keyClick(w<QLineEdit>("editLockPassword"), Qt::Key_Return);
        QVERIFY(!m_settings->isLocked());
    }

    void cleanup() { stopPhone(); }

    void codecsShapeTheNextCall()
    {
        // Nothing allowed: the engine's own error reaches the phone's messages
        // and the dial is refused.
        allowOnly("");
        QTRY_VERIFY(lastMessage().contains(QStringLiteral("codec")));
        m_phone->callNumber(QStringLiteral("300"));
        QVERIFY(m_phone->voip()->isRunning());

        allowOnly("ULAW");
        QCOMPARE(m_phone->voip()->allowedCodecs(), 4);
        m_phone->callNumber(QStringLiteral("300"));
        QTRY_VERIFY_WITH_TIMEOUT(m_pbx->last(TypeIax, IaxNew), 5000);
        // The refused dial sent nothing: the one offer is the second dial's.
        QCOMPARE(m_pbx->count(TypeIax, IaxNew), 1);
        const FakePbx::Frame *offer = m_pbx->last(TypeIax, IaxNew);
        QCOMPARE(offer->ies.value(IeFormat), QByteArray::fromHex("00000004"));
        QCOMPARE(offer->ies.value(IeCapability), QByteArray::fromHex("00000004"));
    }

    void speexQualitySizesTheFrames()
    {
        QList<int> sizes;
        for (const char *quality : { "2", "9" }) {
            allowOnly("SPEEX", [this, quality] {
                w<QCheckBox>("boxSpeexSettings")->setChecked(false);
                w<QLineEdit>("editSpeexQuality")->setText(QLatin1String(quality));
                w<QLineEdit>("editSpeexAbr")->setText(QStringLiteral("0")); // an average rate would override it
            });
            FakePbx::Dialogue *d = callAnswered();
            QVERIFY(d);
            sizes << voicePayloadSize(d);
            m_pbx->hangup(d->localNo);
            QTRY_VERIFY(m_phone->currentCalls().isEmpty());
        }
        QVERIFY2(sizes[0] > 0 && sizes[1] > sizes[0],
            qPrintable(QStringLiteral("%1 then %2 bytes").arg(sizes[0]).arg(sizes[1])));
    }

    void filtersAndDevicesReachTheEngine()
    {
        // Echo cancelling alone: off by default, and the others on by default off.
        applyPage("buttonFilters", [this] {
            for (const char *box : { "boxDenoise", "boxAGC", "boxEcho", "boxAAGC", "boxCN" })
                w<QCheckBox>(box)->setChecked(qstrcmp(box, "boxEcho") == 0);
        });
        QCOMPARE(m_phone->voip()->filters(), 4);

        // The devices switch during a call, and its voice keeps flowing.
        QTRY_COMPARE(m_device.selected(), (QList<int> { 1, 1, 1 }));
        FakePbx::Dialogue *d = callAnswered();
        QVERIFY(d);
        applyPage("buttonAudioOpt", [this] {
            w<QComboBox>("comboInputDevices")->setCurrentText(QStringLiteral("USB headset"));
            w<QComboBox>("comboOutputDevices")->setCurrentText(QStringLiteral("USB headset"));
        });
        QTRY_COMPARE(m_device.selected(), (QList<int> { 2, 2, 1 }));
        const int frames = d->voiceFrames;
        QTRY_VERIFY(d->voiceFrames >= frames + 10);
        QCOMPARE(m_phone->currentCalls().size(), 1);
        // Each ring box reaches its own switch.
        for (const bool both : { true, false }) {
            applyPage("buttonAudioOpt", [&] {
                w<QCheckBox>("boxRingInBothDevs")->setChecked(both);
                w<QCheckBox>("boxMuteRingDev")->setChecked(!both);
            });
            QCOMPARE(m_phone->voip()->ringInBothDevices(), both);
            QCOMPARE(m_phone->voip()->muteRingDevice(), !both);
        }
    }

    // The script and the number reach the program as two literal arguments.
    void outgoingActionWithoutShell()
    {
        QTemporaryDir dir;
        const QByteArray out = dir.filePath(QStringLiteral("args")).toUtf8();
        QFile script(dir.filePath(QStringLiteral("record.sh")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\0' \"$@\" > '" + out + ".tmp' && mv '" + out + ".tmp' '" + out + "'\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        applyPage("buttonActions", [&] {
            w<QCheckBox>("act_out")->setChecked(true);
            w<QLineEdit>("launchApp_2")->setText(script.fileName());
            w<QLineEdit>("launchArg_2")->setText(QStringLiteral("crm; rm -rf ~"));
        });
        m_phone->callNumber(QStringLiteral("300"));
        QFile args(QString::fromUtf8(out));
        QTRY_VERIFY(args.exists());
        QVERIFY(args.open(QIODevice::ReadOnly));
        QCOMPARE(args.readAll().split('\0'), QByteArrayList({ "crm; rm -rf ~", "300", "" }));
    }

private:
    template<typename T>
    T *w(const char *name)
    {
        T *widget = m_settings->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }

    void click(const char *button) { QTest::mouseClick(w<QPushButton>(button), Qt::LeftButton); }

    // Opens a page, lets edit change it, applies it.
    void applyPage(const char *button, const std::function<void()> &edit)
    {
        click(button);
        edit();
        click("buttonApply");
        QCOMPARE(m_settings->currentPage(), int(PageMenu));
    }

    // One codec allowed (none for an empty name) and preferred.
    void allowOnly(
        const QString &codec, const std::function<void()> &more = [] {})
    {
        applyPage("buttonCodecs", [&] {
            for (const char *name : { "GSM", "ULAW", "ALAW", "SPEEX", "ILBC" })
                w<QCheckBox>((QByteArray("box") + name).constData())->setChecked(codec == QLatin1String(name));
            w<QAbstractButton>(codec == QLatin1String("SPEEX") ? "radioSPEEX" : "radioULAW")->setChecked(true);
            more();
        });
    }

    FakePbx::Dialogue *callAnswered()
    {
        const int before = m_pbx->count(TypeIax, IaxNew);
        m_phone->callNumber(QStringLiteral("300"));
        if (!QTest::qWaitFor([&] { return m_pbx->count(TypeIax, IaxNew) == before + 1; }, 5000))
            return nullptr;
        FakePbx::Dialogue *d = m_pbx->latest(QStringLiteral("call-in"));
        if (!QTest::qWaitFor([d] { return d->remoteNo != 0; }, 5000))
            return nullptr;
        m_pbx->sendControl(d->localNo, CtlAnswer);
        return QTest::qWaitFor([d] { return d->voiceFrames >= 10; }, 5000) ? d : nullptr;
    }

    int voicePayloadSize(const FakePbx::Dialogue *d) const
    {
        for (const FakePbx::Frame &f : m_pbx->received()) {
            if (f.mini && f.source == d->remoteNo)
                return int(f.payload.size());
        }
        return -1;
    }

    TwoDevices m_device;
};

QTEST_MAIN(TestPhoneSettings)
#include "tst_phonesettings.moc"
