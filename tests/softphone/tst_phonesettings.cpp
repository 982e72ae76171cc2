// Apply on the audio, filters, codecs and Speex, and actions pages reaches the
// running phone: the headless phone against the loopback fake PBX, with a sound
// device of two entries that records what the engine selects.

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

#include "core/Paths.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableRow.h"
#include "core/TQuorTableScroll.h"
#include "core/XmlReader.h"
#include "iax2/MemoryAudioDevice.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/LoopbackPhone.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

enum : int { TypeControl = 4, TypeIax = 6, IaxNew = 1, CtlAnswer = 4, IeCapability = 8, IeFormat = 9 };

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");

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

class TestPhoneSettings : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }
    void init();
    void cleanup();

    void codecsShapeTheNextCall();
    void speexQualitySizesTheFrames();
    void filtersReachTheEngine();
    void devicesSwitchDuringACall();
    void outgoingActionWithoutShell();
    void screenshots();

private:
    void makePhone();
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
    void applyPage(const char *button, const std::function<void()> &edit);
    FakePbx::Dialogue *callAnswered(const QString &number);
    void speexCall(const char *quality, int *size);
    int voicePayloadSize(const FakePbx::Dialogue *d) const;

    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<FakePbx> m_pbx;
    TwoDevices m_device;
    std::unique_ptr<TQuorSettings> m_settings;
    std::unique_ptr<TQuorPhone> m_phone;
};

void TestPhoneSettings::init()
{
    m_data = std::make_unique<TestDataDir>();
    m_pbx = std::make_unique<FakePbx>();
    m_pbx->addUser(kUser, kSecret);
    makePhone();
}

void TestPhoneSettings::cleanup()
{
    m_phone.reset();
    m_settings.reset();
    m_pbx.reset();
    m_data.reset();
}

void TestPhoneSettings::makePhone()
{
    XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
    xml.createRoot(QStringLiteral("quorer"));
    const QList<QPair<QString, QString>> agent { { "server", "127.0.0.1" }, { "port", QString::number(m_pbx->port()) },
        { "uname", kUser }, { "passwd", TQuorSettings::scramblePassword(kSecret) } };
    for (const auto &[key, value] : agent)
        xml.addValue(key, value, QStringLiteral("agent"));
    QVERIFY(xml.save());
    m_settings = std::make_unique<TQuorSettings>();
    TQuorPhone::Options options = loopbackPhoneOptions();
    options.voip.audio = &m_device;
    m_phone = std::make_unique<TQuorPhone>(m_settings.get(), options);
    m_phone->setExitFunction([](int) {});
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->regAcks() >= 1, 5000);

    m_phone->show();
    m_phone->showSettings();
    click("buttonAdmin");
    w<QLineEdit>("editLockPassword")->setText(QStringLiteral("fendro"));
    QTest::keyClick(w<QLineEdit>("editLockPassword"), Qt::Key_Return);
    QVERIFY(!m_settings->isLocked());
}

void TestPhoneSettings::applyPage(const char *button, const std::function<void()> &edit)
{
    click(button);
    edit();
    click("buttonApply");
    QCOMPARE(m_settings->currentPage(), int(PageMenu));
}

FakePbx::Dialogue *TestPhoneSettings::callAnswered(const QString &number)
{
    const int before = m_pbx->count(TypeIax, IaxNew);
    m_phone->callNumber(number);
    FakePbx::Dialogue *d = nullptr;
    [&] {
        QTRY_COMPARE_WITH_TIMEOUT(m_pbx->count(TypeIax, IaxNew), before + 1, 5000);
        d = m_pbx->latest(QStringLiteral("call-in"));
        QTRY_VERIFY_WITH_TIMEOUT(d->remoteNo != 0, 5000);
        m_pbx->sendControl(d->localNo, CtlAnswer);
        QTRY_VERIFY_WITH_TIMEOUT(d->voiceFrames >= 10, 5000);
    }();
    return d;
}

int TestPhoneSettings::voicePayloadSize(const FakePbx::Dialogue *d) const
{
    for (const FakePbx::Frame &f : m_pbx->received()) {
        if (f.mini && f.source == d->remoteNo)
            return int(f.payload.size());
    }
    return -1;
}

void TestPhoneSettings::codecsShapeTheNextCall()
{
    auto allow = [this](const char *codec) {
        applyPage("buttonCodecs", [this, codec] {
            for (const char *box : { "boxGSM", "boxULAW", "boxALAW", "boxSPEEX", "boxILBC" })
                w<QCheckBox>(box)->setChecked(qstrcmp(box, codec) == 0);
            w<QAbstractButton>("radioULAW")->setChecked(true);
        });
    };
    // Nothing allowed: the engine's own error reaches the phone's messages and
    // the dial is refused.
    allow("");
    auto errorShown = [this] {
        for (const TQuorTableRow *row : m_phone->messagesTable()->rows()) {
            if (row->text().contains(QStringLiteral("codec")))
                return true;
        }
        return false;
    };
    QTRY_VERIFY(errorShown());
    m_phone->callNumber(QStringLiteral("300"));
    QVERIFY(m_phone->voip()->isRunning());

    allow("boxULAW");
    QCOMPARE(m_phone->voip()->allowedCodecs(), 4);
    m_phone->callNumber(QStringLiteral("300"));
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->last(TypeIax, IaxNew), 5000);
    // The refused dial sent nothing: the one offer is the second dial's.
    QCOMPARE(m_pbx->count(TypeIax, IaxNew), 1);
    const FakePbx::Frame *offer = m_pbx->last(TypeIax, IaxNew);
    QCOMPARE(offer->ies.value(IeFormat), QByteArray::fromHex("00000004"));
    QCOMPARE(offer->ies.value(IeCapability), QByteArray::fromHex("00000004"));
}

void TestPhoneSettings::speexCall(const char *quality, int *size)
{
    applyPage("buttonCodecs", [this, quality] {
        for (const char *box : { "boxGSM", "boxULAW", "boxALAW", "boxILBC" })
            w<QCheckBox>(box)->setChecked(false);
        w<QCheckBox>("boxSPEEX")->setChecked(true);
        w<QAbstractButton>("radioSPEEX")->setChecked(true);
        w<QCheckBox>("boxSpeexSettings")->setChecked(false);
        w<QLineEdit>("editSpeexQuality")->setText(QLatin1String(quality));
        w<QLineEdit>("editSpeexAbr")->setText(QStringLiteral("0")); // an average rate would override it
    });
    FakePbx::Dialogue *d = callAnswered(QStringLiteral("300"));
    QVERIFY(d);
    *size = voicePayloadSize(d);
    m_pbx->hangup(d->localNo);
    QTRY_VERIFY(m_phone->currentCalls().isEmpty());
}

void TestPhoneSettings::speexQualitySizesTheFrames()
{
    int low = -1;
    int high = -1;
    speexCall("2", &low);
    speexCall("9", &high);
    QVERIFY2(low > 0 && high > low, qPrintable(QStringLiteral("%1 then %2 bytes").arg(low).arg(high)));
}

void TestPhoneSettings::filtersReachTheEngine()
{
    // Echo cancelling alone, off by default, and the others on by default off.
    applyPage("buttonFilters", [this] {
        const char *const boxes[] = { "boxDenoise", "boxAGC", "boxEcho", "boxAAGC", "boxCN" };
        for (int bit = 0; bit < 5; ++bit)
            w<QCheckBox>(boxes[bit])->setChecked(bit == 2);
    });
    QCOMPARE(m_phone->voip()->filters(), 4);
}

void TestPhoneSettings::devicesSwitchDuringACall()
{
    QTRY_COMPARE(m_device.selected(), (QList<int> { 1, 1, 1 }));
    FakePbx::Dialogue *d = callAnswered(QStringLiteral("300"));
    QVERIFY(d);
    applyPage("buttonAudioOpt", [this] {
        w<QComboBox>("comboInputDevices")->setCurrentText(QStringLiteral("USB headset"));
        w<QComboBox>("comboOutputDevices")->setCurrentText(QStringLiteral("USB headset"));
        w<QCheckBox>("boxRingInBothDevs")->setChecked(true);
        w<QCheckBox>("boxMuteRingDev")->setChecked(true);
    });
    QTRY_COMPARE(m_device.selected(), (QList<int> { 2, 2, 1 }));
    QVERIFY(m_phone->voip()->ringInBothDevices());
    QVERIFY(m_phone->voip()->muteRingDevice());
    // The call's voice keeps flowing on the new device.
    const int frames = d->voiceFrames;
    QTRY_VERIFY(d->voiceFrames >= frames + 10);
    QCOMPARE(m_phone->currentCalls().size(), 1);
}

void TestPhoneSettings::outgoingActionWithoutShell()
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("args"));
    const QString script = dir.filePath(QStringLiteral("record.sh"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + out.toUtf8() + ".tmp'\nmv '"
        + out.toUtf8() + ".tmp' '" + out.toUtf8() + "'\n");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));

    applyPage("buttonActions", [&] {
        w<QCheckBox>("act_out")->setChecked(true);
        w<QLineEdit>("launchApp_2")->setText(script);
        w<QLineEdit>("launchArg_2")->setText(QStringLiteral("crm; rm -rf ~"));
    });
    m_phone->callNumber(QStringLiteral("300"));
    QTRY_VERIFY(QFile::exists(out));
    QFile args(out);
    QVERIFY(args.open(QIODevice::ReadOnly));
    QCOMPARE(args.readAll(),
        QByteArray("crm; rm -rf ~\0"
                   "300\0",
            18));
}

void TestPhoneSettings::screenshots()
{
    if (qEnvironmentVariableIsEmpty("QUOR_SCREENSHOT_DIR"))
        QSKIP("writes the pages inside the phone into QUOR_SCREENSHOT_DIR when it is set");
    QCOMPARE(m_phone->size(), QSize(302, 552));
    auto shoot = [this](const char *button, const char *name, const std::function<void()> &edit) {
        click(button);
        edit();
        QVERIFY(!saveWidgetShot(m_phone.get(), QLatin1String(name)).isEmpty());
        click("buttonBack");
    };
    shoot("buttonAudioOpt", "settings-audio", [this] {
        w<QComboBox>("comboInputDevices")->setCurrentText(QStringLiteral("USB headset"));
        w<QComboBox>("comboOutputDevices")->setCurrentText(QStringLiteral("USB headset"));
        w<QCheckBox>("boxRingInBothDevs")->setChecked(true);
    });
    shoot("buttonFilters", "settings-filters", [] {});
    shoot("buttonCodecs", "settings-codecs", [this] {
        w<QCheckBox>("boxSpeexSettings")->setChecked(false);
        w<QLineEdit>("editSpeexQuality")->setText(QStringLiteral("8"));
    });
    shoot("buttonActions", "settings-actions", [this] {
        w<QCheckBox>("act_in")->setChecked(true);
        w<QLineEdit>("launchApp")->setText(QStringLiteral("/usr/bin/xdg-open"));
        w<QLineEdit>("launchArg")->setText(QStringLiteral("/opt/crm/lookup.sh"));
        w<QCheckBox>("act_crm")->setChecked(true);
        w<QLineEdit>("launchCRM")->setText(QStringLiteral("http://crm.local/?n="));
        w<QCheckBox>("act_out")->setChecked(true);
        w<QLineEdit>("launchApp_2")->setText(QStringLiteral("/usr/bin/logger"));
        w<QLineEdit>("launchArg_2")->setText(QStringLiteral("/opt/crm/dialled.sh"));
    });
    // The options page with each of its sub-forms.
    for (const char *box : { "boxDND", "boxFwdAll", "boxVM" }) {
        shoot("buttonOptions", (QByteArray("settings-options-") + box).constData(), [this, box] {
            w<QCheckBox>(box)->setChecked(true);
            w<QLineEdit>("editFwdNum")->setText(QStringLiteral("5550142"));
            w<QLineEdit>("editVmNumber")->setText(QStringLiteral("*97"));
            w<QLineEdit>("editVmUserName")->setText(kUser);
            w<QLineEdit>("editVmPassword")->setText(QStringLiteral("1234"));
            w<QLineEdit>("editVmSendPreffix")->setText(QStringLiteral("*"));
        });
    }
    // The agent page logged in to a queue, as the main window shows it.
    m_phone->slotAgentLogin();
    m_settings->setQueues({ QStringLiteral("sales"), QStringLiteral("support") });
    w<QComboBox>("comboQueues")->setCurrentText(QStringLiteral("sales"));
    m_settings->setAgentButton(true, QStringLiteral("sales logout"), QStringLiteral("sales\nlogout"));
    m_settings->setPauseButton(false, QStringLiteral("Pause"));
    m_settings->addAgentEntry(QStringLiteral("201 IAX2/201 sales"));
    QVERIFY(!saveWidgetShot(m_phone.get(), QStringLiteral("settings-agent")).isEmpty());
}

QTEST_MAIN(TestPhoneSettings)
#include "tst_phonesettings.moc"
