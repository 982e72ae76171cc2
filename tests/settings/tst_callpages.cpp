// The audio devices, filters, codecs with Speex, and actions pages, driven as
// the user drives them, checked in the model and in "quorer.xml".

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>

#include "SettingsTestHelpers.h"
#include "testsupport/TestDataDir.h"

namespace {

iax2::AudioDeviceInfo device(int capabilities, const char *name, int id)
{
    iax2::AudioDeviceInfo d;
    d.capabilities = capabilities;
    d.name = name;
    d.id = id;
    return d;
}

// One input-and-output device, one output-only, one ring device.
const std::vector<iax2::AudioDeviceInfo> kDevices
    = { device(1 | 2, "Headset", 7), device(2, "Speakers", 3), device(4, "Bell", 9) };

struct AudioIds
{
    int input = -2, output = -2, ring = -2;
    bool both = false, mute = false;
};

AudioIds audioIds(const TQuorSettings &s)
{
    AudioIds a;
    s.getAudioDevices(&a.input, &a.output, &a.ring, &a.both, &a.mute);
    return a;
}

} // namespace

class TestCallPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }
    void speexNumbers_data();
    void speexNumbers();
    void speexStoredRatesReapplied();
    void codecs();
    void speexSubForm();
    void filters_data();
    void filters();
    void audioDevices();
    void absentDeviceKeepsItsName();
    void actions();
    void fileChooser();
};

void TestCallPages::speexNumbers_data()
{
    QTest::addColumn<QByteArray>("edit");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("storedText");

    auto row = [](const char *name, const char *edit, const char *typed, const char *shown, const char *file) {
        QTest::newRow(name) << QByteArray(edit) << QString::fromLatin1(typed) << QString::fromLatin1(shown)
                            << QString::fromLatin1(file);
    };
    row("quality above 9", "editSpeexQuality", "12", "9", "9");
    row("quality below -1", "editSpeexQuality", "-4", "-1", "-1");
    row("quality letters", "editSpeexQuality", "abc", "-1", "-1");
    row("quality fraction", "editSpeexQuality", "7.25", "7.25", "7.25");
    row("quality nan", "editSpeexQuality", "nan", "-1", "-1");
    row("quality inf", "editSpeexQuality", "inf", "9", "9");
    row("quality -inf", "editSpeexQuality", "-inf", "-1", "-1");
    row("cbr kbit/s", "editSpeexCbr", "8", "8", "8000");
    row("cbr fraction", "editSpeexCbr", "8.5", "-1", "-1");
    row("cbr below -1", "editSpeexCbr", "-7", "-1", "-1");
    row("cbr zero", "editSpeexCbr", "0", "0", "0");
    row("cbr beyond int", "editSpeexCbr", "3000000", "2147483", "2147483000");
    row("abr kbit/s", "editSpeexAbr", "16", "16", "16000");
    row("abr negative", "editSpeexAbr", "-2", "0", "0");
    row("abr beyond int", "editSpeexAbr", "9999999", "2147483", "2147483000");
    row("complexity above 9", "editSpeexComplexity", "15", "9", "9");
    row("complexity below 0", "editSpeexComplexity", "-1", "0", "0");
    row("complexity empty", "editSpeexComplexity", "", "3", "3");
}

void TestCallPages::speexNumbers()
{
    QFETCH(QByteArray, edit);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, storedText);

    TestDataDir dir;
    Panel p;
    p.unlock();
    p.release("buttonCodecs");
    p.check("boxSpeexSettings", false);
    p.type(edit.constData(), typed);
    p.release("buttonApply");
    QCOMPARE(p.text(edit.constData()), shown);

    const QString key = edit == "editSpeexQuality" ? QStringLiteral("quality")
        : edit == "editSpeexCbr"                   ? QStringLiteral("cbr")
        : edit == "editSpeexAbr"                   ? QStringLiteral("abr")
                                                   : QStringLiteral("complexity");
    QCOMPARE(stored(QStringLiteral("speex"), key), storedText);

    int enhance, cbr, vbr, abr, complexity;
    float quality;
    p.settings.getSpeexSettings(&enhance, &quality, &cbr, &vbr, &abr, &complexity);
    const QString got = key == QLatin1String("quality") ? QString::number(double(quality), 'g', 6)
        : key == QLatin1String("cbr")                    ? QString::number(cbr)
        : key == QLatin1String("abr")                    ? QString::number(abr)
                                                         : QString::number(complexity);
    QCOMPARE(got, storedText);
}

void TestCallPages::speexStoredRatesReapplied()
{
    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"),
        "<!DOCTYPE xmlreader>\n<quorer><speex><default>no</default><cbr>8500</cbr><abr>999</abr></speex></quorer>\n");
    Panel p;
    p.unlock();
    p.release("buttonCodecs");
    QCOMPARE(p.text("editSpeexCbr"), QStringLiteral("8"));
    QCOMPARE(p.text("editSpeexAbr"), QStringLiteral("0"));
    p.release("buttonApply");
    QCOMPARE(stored(QStringLiteral("speex"), QStringLiteral("cbr")), QStringLiteral("8000"));
    QCOMPARE(stored(QStringLiteral("speex"), QStringLiteral("abr")), QStringLiteral("0"));
}

void TestCallPages::codecs()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    QStringList order;
    QObject::connect(&p.settings, &TQuorSettings::signalAudioCodecsSettingsChanged, [&] { order << "codecs"; });
    QObject::connect(&p.settings, &TQuorSettings::signalAudioSpeexSettingsChanged, [&] { order << "speex"; });
    auto codecs = [&] {
        int allowed = 0, preferred = 0;
        p.settings.getCodecs(&allowed, &preferred);
        return qMakePair(allowed, preferred);
    };

    p.release("buttonCodecs");
    p.check("boxGSM", false);
    p.check("boxILBC", true);
    p.check("radioALAW", true);
    p.release("buttonApply");
    QCOMPARE(codecs(), qMakePair(4 | 8 | 512 | 1024, 8));
    QCOMPARE(order, (QStringList { "codecs", "speex" }));
    QCOMPARE(stored(QStringLiteral("codecs"), QStringLiteral("gsm")), QStringLiteral("no"));
    QCOMPARE(stored(QStringLiteral("codecs"), QStringLiteral("ilbc")), QStringLiteral("yes"));
    QCOMPARE(stored(QStringLiteral("codecs"), QStringLiteral("default")), QStringLiteral("alaw"));

    // Nothing allowed, and a preferred codec that is not allowed, are stored as chosen.
    p.release("buttonCodecs");
    for (const char *box : { "boxGSM", "boxULAW", "boxALAW", "boxSPEEX", "boxILBC" })
        p.check(box, false);
    p.check("radioSPEEX", true);
    p.release("buttonApply");
    QCOMPARE(codecs(), qMakePair(0, 512));
    for (const char *key : { "gsm", "ulaw", "alaw", "speex", "ilbc" })
        QCOMPARE(stored(QStringLiteral("codecs"), QLatin1String(key)), QStringLiteral("no"));
    QCOMPARE(stored(QStringLiteral("codecs"), QStringLiteral("default")), QStringLiteral("speex"));
}

void TestCallPages::speexSubForm()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    QWidget *subForm = p.w<QWidget>("frameOptSpeex");
    QCheckBox *enhanced = p.w<QCheckBox>("boxSpeexEnhanced");

    // A visit with the defaults on: no sub-form, no enhanced decoding to set.
    p.release("buttonCodecs");
    QVERIFY(!subForm->isVisible());
    QVERIFY(!enhanced->isEnabled());
    p.check("boxSpeexSettings", false);
    QVERIFY(subForm->isVisible());
    QVERIFY(enhanced->isEnabled());
    p.check("boxSpeexSettings", true);
    QVERIFY(!subForm->isVisible());
    QVERIFY(!enhanced->isEnabled());

    // Applied with the defaults off, the next visit opens on the sub-form.
    p.check("boxSpeexSettings", false);
    enhanced->setChecked(false);
    p.release("buttonApply");
    QVERIFY(!subForm->isVisible());
    p.release("buttonCodecs");
    QVERIFY(subForm->isVisible());
    QVERIFY(!enhanced->isChecked());
    QCOMPARE(stored(QStringLiteral("speex"), QStringLiteral("default")), QStringLiteral("no"));
    QCOMPARE(stored(QStringLiteral("speex"), QStringLiteral("decode_enhance")), QStringLiteral("no"));
    p.release("buttonBack");
    QVERIFY(!subForm->isVisible());
}

void TestCallPages::filters_data()
{
    QTest::addColumn<int>("mask");
    QTest::newRow("none") << 0;
    QTest::newRow("denoise and echo, third and fourth on screen") << 5;
    QTest::newRow("all") << 31;
}

void TestCallPages::filters()
{
    QFETCH(int, mask);
    const char *const boxes[] = { "boxDenoise", "boxAGC", "boxEcho", "boxAAGC", "boxCN" };
    const char *const keys[] = { "denoise", "agc", "echo", "aagc", "cn" };

    TestDataDir dir;
    Panel p;
    p.unlock();
    QSignalSpy changed(&p.settings, &TQuorSettings::signalFiltersSettingsChanged);
    p.release("buttonFilters");
    for (int bit = 0; bit < 5; ++bit)
        p.check(boxes[bit], mask & (1 << bit));
    p.release("buttonApply");
    QCOMPARE(changed.count(), 1);
    int got = -1;
    p.settings.getFilters(&got);
    QCOMPARE(got, mask);
    p.release("buttonFilters");
    for (int bit = 0; bit < 5; ++bit) {
        const bool on = mask & (1 << bit);
        QCOMPARE(p.w<QCheckBox>(boxes[bit])->isChecked(), on);
        QCOMPARE(stored(QStringLiteral("filters"), QLatin1String(keys[bit])), QLatin1String(on ? "yes" : "no"));
    }
}

void TestCallPages::audioDevices()
{
    TestDataDir dir;
    QByteArray file;
    {
        Panel p(kDevices);
        p.unlock();
        QSignalSpy changed(&p.settings, &TQuorSettings::signalAudioDevSettingsChanged);
        const AudioIds first = audioIds(p.settings);
        QCOMPARE(QList<int>({ first.input, first.output, first.ring }), QList<int>({ 7, 7, 9 }));

        // Back changes nothing, and the next visit shows the stored choice again.
        file = dir.read(QStringLiteral("quorer.xml"));
        p.release("buttonAudioOpt");
        p.w<QComboBox>("comboOutputDevices")->setCurrentIndex(1);
        p.release("buttonBack");
        p.release("buttonAudioOpt");
        QCOMPARE(p.w<QComboBox>("comboOutputDevices")->currentText(), QStringLiteral("Headset"));
        QCOMPARE(dir.read(QStringLiteral("quorer.xml")), file);

        p.w<QComboBox>("comboOutputDevices")->setCurrentIndex(1);
        p.w<QComboBox>("comboInputDevices")->setCurrentIndex(-1);
        p.check("boxRingInBothDevs", true);
        p.release("buttonApply");
        QCOMPARE(changed.count(), 1);
        const AudioIds applied = audioIds(p.settings);
        QCOMPARE(QList<int>({ applied.input, applied.output, applied.ring }), QList<int>({ -1, 3, 9 }));
        QVERIFY(applied.both && !applied.mute);
        QCOMPARE(stored(QStringLiteral("audio"), QStringLiteral("input_dev")), QString());
        QCOMPARE(stored(QStringLiteral("audio"), QStringLiteral("output_dev")), QStringLiteral("Speakers"));
        QCOMPARE(stored(QStringLiteral("audio"), QStringLiteral("ringInBothDevs")), QStringLiteral("yes"));
    }
    // The file keeps names: the next start finds the devices by them.
    Panel restarted(kDevices);
    const AudioIds again = audioIds(restarted.settings);
    QCOMPARE(QList<int>({ again.input, again.output, again.ring }), QList<int>({ 7, 3, 9 }));
}

void TestCallPages::absentDeviceKeepsItsName()
{
    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"),
        "<!DOCTYPE xmlreader>\n<quorer><audio><output_dev>USB headset</output_dev></audio></quorer>\n");
    for (int start = 0; start < 2; ++start) {
        Panel p(kDevices);
        // This run uses the first device and the page shows it.
        QCOMPARE(audioIds(p.settings).output, 7);
        p.unlock();
        p.release("buttonAudioOpt");
        QCOMPARE(p.w<QComboBox>("comboOutputDevices")->currentText(), QStringLiteral("Headset"));
        QCOMPARE(stored(QStringLiteral("audio"), QStringLiteral("output_dev")), QStringLiteral("USB headset"));
    }
    // Unplugged at the next start too, the headset is back once it is present.
    Panel plugged({ device(1 | 2, "Headset", 7), device(2, "USB headset", 4) });
    QCOMPARE(audioIds(plugged.settings).output, 4);

    // Apply stores what the page shows.
    Panel p(kDevices);
    p.unlock();
    p.release("buttonAudioOpt");
    p.release("buttonApply");
    QCOMPARE(stored(QStringLiteral("audio"), QStringLiteral("output_dev")), QStringLiteral("Headset"));
}

void TestCallPages::actions()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    QSignalSpy changed(&p.settings, &TQuorSettings::signalActionsChanged);
    auto flags = [&] {
        bool in, crm, out, a1;
        QString s1, s2, s3, s4, s5;
        p.settings.getActions(&in, &crm, &out, &a1, &s1, &s2, &s3, &s4, &s5);
        return QList<bool> { in, crm, out, a1 };
    };

    p.release("buttonActions");
    for (const char *box : { "act_in", "act_crm", "act_out", "lauch_p_url" })
        p.check(box, true);
    p.type("launchApp", QStringLiteral("/usr/bin/crm")); // no script: the incoming action stays off
    p.type("launchApp_2", QStringLiteral("  ")); // blanks are not empty
    p.type("launchArg_2", QStringLiteral("dial.sh"));
    p.release("buttonApply");
    QCOMPARE(changed.count(), 1);
    QCOMPARE(flags(), (QList<bool> { false, false, true, true }));
    QCOMPARE(stored(QStringLiteral("actions"), QStringLiteral("act_in")), QStringLiteral("no"));
    QCOMPARE(stored(QStringLiteral("actions"), QStringLiteral("act_crm")), QStringLiteral("no"));
    QCOMPARE(stored(QStringLiteral("actions"), QStringLiteral("act_a1")), QStringLiteral("yes"));
    QVERIFY(dir.read(QStringLiteral("quorer.xml")).contains("<opt_AppOut>  </opt_AppOut>"));
    QCOMPARE(stored(QStringLiteral("actions"), QStringLiteral("opt_AppIn")), QStringLiteral("/usr/bin/crm"));
    p.release("buttonActions");
    QVERIFY(!p.w<QCheckBox>("act_in")->isChecked());
    QVERIFY(p.w<QCheckBox>("act_out")->isChecked());
}

void TestCallPages::fileChooser()
{
    TestDataDir dir;
    QString answer;
    QStringList asked;
    TQuorSettings::setFileChooser([&](QWidget *, const QString &caption, const QString &start, const QString &filter) {
        asked << caption << start << filter;
        return answer;
    });
    Panel p;
    p.unlock();
    p.release("buttonActions");
    p.type("launchArg", QStringLiteral("/opt/old.sh"));

    answer = QStringLiteral("/opt/new.sh");
    p.release("ins_in_file");
    QCOMPARE(asked,
        (QStringList { QStringLiteral("QFileDialog::getOpenFileName()"), QStringLiteral("/opt/old.sh"),
            QStringLiteral("All Files (*);;Text Files (*.txt)") }));
    QCOMPARE(p.text("launchArg"), QStringLiteral("/opt/new.sh"));

    // Cancelled: the edit keeps its text. Without a sender nothing opens.
    answer.clear();
    p.release("ins_out_app");
    QCOMPARE(p.text("launchApp_2"), QString());
    asked.clear();
    p.settings.setFileName();
    QVERIFY(asked.isEmpty());
    // Back stores nothing of it.
    p.release("buttonBack");
    QCOMPARE(stored(QStringLiteral("actions"), QStringLiteral("opt_ScrIn")), QString());
    TQuorSettings::setFileChooser({});
}

QTEST_MAIN(TestCallPages)
#include "tst_callpages.moc"
