// The audio devices, filters, codecs with Speex, and actions pages, driven as
// the user drives them, checked in the model and in "quorer.xml".

#include <QCheckBox>
#include <QComboBox>
#include <QTest>

#include "SettingsTestHelpers.h"

namespace {

// One input-and-output device, one output-only, one ring device.
const std::vector<iax2::AudioDeviceInfo> kDevices = { { 7, "Headset", 1 | 2 }, { 3, "Speakers", 2 }, { 9, "Bell", 4 } };

QList<int> audioIds(const TQuorSettings &s)
{
    int input, output, ring;
    bool both, mute;
    s.getAudioDevices(&input, &output, &ring, &both, &mute);
    return { input, output, ring, both, mute };
}

} // namespace

class TestCallPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }
    void speexNumbers_data();
    void speexNumbers();
    void codecs();
    void audioDevices();
    void actions();
    void fileChooser();
};

void TestCallPages::speexNumbers_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("storedText");

    auto row = [](const char *name, const char *key, const char *typed, const char *shown, const char *file) {
        QTest::newRow(name) << QByteArray(key) << QString::fromLatin1(typed) << QString::fromLatin1(shown)
                            << QString::fromLatin1(file);
    };
    row("quality above 9", "quality", "12", "9", "9");
    row("quality letters", "quality", "abc", "-1", "-1");
    row("quality nan", "quality", "nan", "-1", "-1");
    row("quality inf", "quality", "inf", "9", "9");
    row("cbr kbit/s", "cbr", "8", "8", "8000");
    row("cbr fraction", "cbr", "8.5", "-1", "-1");
    row("cbr beyond int", "cbr", "3000000", "2147483", "2147483000");
    row("abr negative", "abr", "-2", "0", "0");
    row("complexity above 9", "complexity", "15", "9", "9");
    row("complexity empty", "complexity", "", "3", "3");
}

void TestCallPages::speexNumbers()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, storedText);
    const QByteArray edit = "editSpeex" + key.left(1).toUpper() + key.mid(1);

    TestDataDir dir;
    Panel p;
    p.release("buttonCodecs");
    // With the defaults on there is no enhanced decoding to set.
    QVERIFY(!p.w("boxSpeexEnhanced")->isEnabled());
    p.check("boxSpeexSettings", false);
    p.check("boxSpeexEnhanced", false);
    p.type(edit.constData(), typed);
    p.release("buttonApply");
    QCOMPARE(p.text(edit.constData()), shown);
    QCOMPARE(stored("speex", key.constData()), storedText);
    int enhance, cbr, vbr, abr, complexity;
    float quality;
    p.settings.getSpeexSettings(&enhance, &quality, &cbr, &vbr, &abr, &complexity);
    const QMap<QByteArray, QString> got { { "quality", QString::number(double(quality), 'g', 6) },
        { "cbr", QString::number(cbr) }, { "abr", QString::number(abr) },
        { "complexity", QString::number(complexity) } };
    QCOMPARE(got.value(key), storedText);
    QCOMPARE(enhance, 0);
    // The next visit opens on the sub-form.
    p.release("buttonCodecs");
    QVERIFY(p.visible("frameOptSpeex") && !p.checked("boxSpeexEnhanced"));
}

void TestCallPages::codecs()
{
    TestDataDir dir;
    Panel p;
    QStringList order;
    connect(&p.settings, &TQuorSettings::signalAudioCodecsSettingsChanged, [&] { order << u"codecs"_s; });
    connect(&p.settings, &TQuorSettings::signalAudioSpeexSettingsChanged, [&] { order << u"speex"_s; });
    const char *const boxes[] = { "boxGSM", "boxULAW", "boxALAW", "boxSPEEX", "boxILBC" };
    const int bits[] = { 2, 4, 8, 512, 1024 };
    // Each codec alone; the preferred codec need not be allowed.
    for (int i = 0; i < 5; ++i) {
        p.release("buttonCodecs");
        for (int j = 0; j < 5; ++j)
            p.check(boxes[j], i == j);
        p.check(i == 2 ? "radioSPEEX" : "radioALAW", true);
        p.release("buttonApply");
        int allowed = 0, preferred = 0;
        p.settings.getCodecs(&allowed, &preferred);
        QCOMPARE(allowed, bits[i]);
        QCOMPARE(preferred, i == 2 ? 512 : 8);
    }
    QCOMPARE(order.mid(0, 2), (QStringList { u"codecs"_s, u"speex"_s }));
    QCOMPARE(order.size(), 10);
}

void TestCallPages::audioDevices()
{
    TestDataDir dir;
    // An unplugged headset: the page shows the device used for this run.
    writeSettings(dir, "<audio><output_dev>USB headset</output_dev></audio>");
    Panel p(kDevices);
    QSignalSpy changed(&p.settings, &TQuorSettings::signalAudioDevSettingsChanged);
    QCOMPARE(audioIds(p.settings), (QList<int> { 7, 7, 9, 0, 0 }));
    p.release("buttonAudioOpt");
    QComboBox *output = p.w<QComboBox>("comboOutputDevices");
    QCOMPARE(output->currentText(), u"Headset"_s);
    // Back changes nothing; Apply stores what the page shows, by name.
    output->setCurrentIndex(1);
    p.release("buttonBack");
    p.release("buttonAudioOpt");
    QCOMPARE(output->currentText(), u"Headset"_s);
    QCOMPARE(stored("audio", "output_dev"), u"USB headset"_s);
    output->setCurrentIndex(1);
    p.w<QComboBox>("comboInputDevices")->setCurrentIndex(-1);
    p.check("boxMuteRingDev", true);
    p.release("buttonApply");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(audioIds(p.settings), (QList<int> { -1, 3, 9, 0, 1 }));
    QCOMPARE(stored("audio", "output_dev"), u"Speakers"_s);
    QCOMPARE(stored("audio", "input_dev"), QString());
    QCOMPARE(stored("audio", "ringing_dev"), u"Bell"_s);
    QCOMPARE(stored("audio", "muteRing"), u"yes"_s);
}

void TestCallPages::actions()
{
    TestDataDir dir;
    Panel p;
    QSignalSpy changed(&p.settings, &TQuorSettings::signalActionsChanged);
    p.release("buttonActions");
    for (const char *box : { "act_in", "act_crm", "act_out", "lauch_p_url" })
        p.check(box, true);
    p.type("launchApp", u"/usr/bin/crm"_s); // no script: the incoming action stays off
    p.type("launchApp_2", u"  "_s); // blanks are not empty
    p.type("launchArg_2", u"dial.sh"_s);
    p.release("buttonApply");
    QCOMPARE(changed.count(), 1);
    bool in, crm, out, a1;
    QString appIn, s2, s3, appOut, s5;
    p.settings.getActions(&in, &crm, &out, &a1, &appIn, &s2, &s3, &appOut, &s5);
    QCOMPARE((QList<bool> { in, crm, out, a1 }), (QList<bool> { false, false, true, true }));
    QCOMPARE(appIn + appOut, u"/usr/bin/crm  "_s);
    QCOMPARE(stored("actions", "act_in"), u"no"_s);
    QCOMPARE(stored("actions", "act_out"), u"yes"_s);
}

void TestCallPages::fileChooser()
{
    TestDataDir dir;
    QString answer;
    QStringList starts;
    TQuorSettings::setFileChooser([&](QWidget *, const QString &, const QString &start, const QString &) {
        starts << start;
        return answer;
    });
    Panel p;
    p.release("buttonActions");
    // Each button fills its own edit; cancelled, the edit keeps its text.
    const char *const pairs[][2] = { { "ins_in_app", "launchApp" }, { "ins_in_file", "launchArg" },
        { "ins_out_app", "launchApp_2" }, { "ins_out_file", "launchArg_2" } };
    for (const auto &pair : pairs) {
        p.type(pair[1], u"/opt/old"_s);
        answer = QLatin1String(pair[0]);
        p.release(pair[0]);
        QCOMPARE(p.text(pair[1]), answer);
    }
    answer.clear();
    p.release("ins_in_app");
    QCOMPARE(p.text("launchApp"), u"ins_in_app"_s);
    QCOMPARE(starts.first(), u"/opt/old"_s);
    // Without a sender nothing opens.
    p.settings.setFileName();
    QCOMPARE(starts.size(), 5);
    TQuorSettings::setFileChooser({});
}

QTEST_MAIN(TestCallPages)
#include "tst_callpages.moc"
