// The pages the phone's calls depend on, driven as the user drives them and
// checked in the model and in "quorer.xml": options with their DND and forward
// sub-forms, audio devices, codecs with Speex, actions, and the agent page.

#include <QComboBox>
#include <QListWidget>
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

// "dnd", "forward" or both, then the forward family.
QString phoneOptions(const TQuorSettings &s)
{
    bool busy, onTop, dnd, forward, vm, forwardVm, agent;
    QString dndFamily, dndCode, number, family;
    s.getPhoneOptions(&busy, &onTop, &dnd, &dndFamily, &dndCode, &forward, &number, &family, &vm, &forwardVm, &agent);
    return (dnd ? u"dnd "_s : QString()) + (forward ? u"forward "_s : QString()) + family;
}

} // namespace

class TestSettingsPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }
    void subFormsAndForwardType();
    void applySubForm_data();
    void applySubForm();
    void speexNumbers_data();
    void speexNumbers();
    void codecs();
    void filters();
    void audioDevices();
    void audioDevicesByName();
    void actions();
    void agentPage();
};

void TestSettingsPages::subFormsAndForwardType()
{
    TestDataDir dir;
    Panel p;
    p.release("buttonOptions");
    p.check("boxDND", true);
    QVERIFY(p.page() == PageDndForm && p.visible("frameOptDND"));
    p.check("boxVM", true); // one sub-form at a time; the page id stays
    QVERIFY(p.page() == PageDndForm && p.visible("frameOptVM") && !p.visible("frameOptDND"));
    p.check("boxFwdAll", true);
    QVERIFY(p.page() == PageFwdForm && p.visible("frameOptFWD") && !p.visible("frameOptVM"));
    p.type("editFWDfam_3", u"TYPED"_s);
    p.check("Box_noans", true); // the stored family, not one being typed
    QCOMPARE(phoneOptions(p.settings), u"CFU"_s);
    p.check("Box_busy", true);
    p.check("Box_busy", false); // the chosen type cannot be unchecked
    QVERIFY(p.checked("Box_busy") && !p.checked("Box_noans"));
    p.settings.checkFWDCond(Qt::Checked); // without a sender: nothing
    QCOMPARE(phoneOptions(p.settings), u"CFB"_s);
    // Back from a sub-form's page id: the options page, then the menu.
    p.key(Qt::Key_Escape);
    QVERIFY(p.page() == PageOptions && p.visible("framePhoneOptions") && !p.visible("frameOptFWD"));
    p.key(Qt::Key_Escape);
    QCOMPARE(p.page(), int(PageMenu));
}

void TestSettingsPages::applySubForm_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("ticked");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("pageAfter");
    QTest::addColumn<QString>("flags");

    const char *const forwardOn = "<forward>yes</forward><fwd_num>305</fwd_num>";
    const char *const dnd = "Do Not Disturb", *const fwd = "Call Forward";
    // ticked: each box but the last is flipped, then the last is flipped twice to
    // end at on; flags: "dnd" and "forward" as stored, each with its AstDB signals.
    auto row = [](const char *name, const char *options, const char *ticked, bool on, const char *number,
                   const char *error, int pageAfter, const char *flags) {
        QTest::newRow(name) << QByteArray(options) << QByteArray(ticked) << on << number << error << pageAfter
                            << flags;
    };
    row("options page: stored, no AstDB", "", "boxBusy", true, "", "", PageMenu, "no0 no0");
    row("dnd on", "", "boxDND", true, "", "", 3, "yes1 no0");
    row("dnd ticked and unticked", "", "boxDND", false, "", "", 3, "no0 no0");
    row("dnd on while forwarding", forwardOn, "boxDND", true, "305", dnd, 14, "no0 yes0");
    row("forward on", "", "boxFwdAll", true, "306", "", 3, "no0 yes1");
    row("forward on, no number", "", "boxFwdAll", true, "", fwd, 15, "no0 no0");
    row("forward on, number untouched", "", "boxFwdAll", true, "forward number here", fwd, 15, "no0 no0");
    row("forward on during dnd", "<dnd>yes</dnd>", "boxFwdAll", true, "306", fwd, 15, "yes0 no0");
    row("forward off", forwardOn, "boxFwdAll", false, "305", "", 3, "no0 no1");
    row("forwarding, number cleared", forwardOn, "boxFwdAll", true, "", fwd, 15, "no0 yes0");
    row("forward ticked, dnd ticked and unticked", "", "boxFwdAll boxDND", false, "306", "", 3, "no0 yes1");
    row("dnd ticked, forward ticked and unticked", "", "boxDND boxFwdAll", false, "", "", 3, "yes1 no0");
    row("dnd off and forward on", "<dnd>yes</dnd>", "boxDND boxFwdAll", true, "306", "", 3, "no1 yes1");
}

void TestSettingsPages::applySubForm()
{
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, ticked);
    QFETCH(bool, on);
    QFETCH(QString, number);
    QFETCH(QString, error);
    QFETCH(int, pageAfter);
    QFETCH(QString, flags);

    TestDataDir dir;
    writeSettings(dir, "<options>" + options + "</options>");
    ErrorBoxCatcher boxes;
    Panel p;
    QSignalSpy dnd(&p.settings, &TQuorSettings::setAsteriskDND);
    QSignalSpy fwd(&p.settings, &TQuorSettings::setAsteriskFWD);
    p.release("buttonOptions");
    const QList<QByteArray> names = ticked.split(' ');
    for (const QByteArray &name : names.first(names.size() - 1))
        p.check(name.constData(), !p.checked(name.constData()));
    // Ticked and unticked when the state does not change, so the page id moves.
    p.check(names.last().constData(), !on);
    p.check(names.last().constData(), on);
    p.type("editDNDfamily", u"DNDX"_s);
    p.type("editFwdNum", number);
    p.release("buttonApply");

    QCOMPARE(boxes.titles.value(0), error);
    QCOMPARE(p.page(), pageAfter);
    QCOMPARE(stored("options", "dnd") + QString::number(dnd.count()) + u' ' + stored("options", "forward")
            + QString::number(fwd.count()),
        flags);
    // What was typed on the sub-form is stored with an accepted Apply.
    QCOMPARE(stored("options", "dnd_fam"), error.isEmpty() ? u"DNDX"_s : u"DND"_s);
}

void TestSettingsPages::speexNumbers_data()
{
    // The key, what is typed ("=": stored in the file, not typed), the edit after Apply, the file.
    QTest::addColumn<QStringList>("speex");
    QTest::newRow("quality above 9") << QStringList { "quality", "12", "9", "9" };
    QTest::newRow("quality negative") << QStringList { "quality", "-4", "-1", "-1" };
    QTest::newRow("quality letters") << QStringList { "quality", "abc", "-1", "-1" };
    QTest::newRow("quality fraction") << QStringList { "quality", "7.25", "7.25", "7.25" };
    QTest::newRow("quality nan") << QStringList { "quality", "nan", "-1", "-1" };
    QTest::newRow("quality inf") << QStringList { "quality", "inf", "9", "9" };
    QTest::newRow("cbr kbit/s") << QStringList { "cbr", "8", "8", "8000" };
    QTest::newRow("cbr fraction") << QStringList { "cbr", "8.5", "-1", "-1" };
    QTest::newRow("cbr negative") << QStringList { "cbr", "-7", "-1", "-1" };
    QTest::newRow("cbr zero") << QStringList { "cbr", "0", "0", "0" };
    QTest::newRow("cbr beyond int") << QStringList { "cbr", "3000000", "2147483", "2147483000" };
    QTest::newRow("cbr stored 8500, untouched") << QStringList { "cbr", "=8500", "8", "8000" };
    QTest::newRow("abr kbit/s") << QStringList { "abr", "16", "16", "16000" };
    QTest::newRow("abr negative") << QStringList { "abr", "-2", "0", "0" };
    QTest::newRow("abr stored 999, untouched") << QStringList { "abr", "=999", "0", "0" };
    QTest::newRow("complexity above 9") << QStringList { "complexity", "15", "9", "9" };
    QTest::newRow("complexity below 0") << QStringList { "complexity", "-1", "0", "0" };
    QTest::newRow("complexity empty") << QStringList { "complexity", "", "3", "3" };
}

void TestSettingsPages::speexNumbers()
{
    QFETCH(QStringList, speex);
    const QByteArray key = speex.at(0).toLatin1();
    const QString typed = speex.at(1), shown = speex.at(2), storedText = speex.at(3);
    const QByteArray edit = "editSpeex" + key.left(1).toUpper() + key.mid(1);

    TestDataDir dir;
    if (typed.startsWith(u'='))
        writeSettings(dir, "<speex><" + key + '>' + typed.mid(1).toLatin1() + "</" + key + "></speex>");
    Panel p;
    p.release("buttonCodecs");
    // With the defaults on there is no sub-form and no enhanced decoding to set.
    QVERIFY(!p.visible("frameOptSpeex") && !p.w("boxSpeexEnhanced")->isEnabled());
    p.check("boxSpeexSettings", false);
    QVERIFY(p.visible("frameOptSpeex") && p.w("boxSpeexEnhanced")->isEnabled());
    p.check("boxSpeexEnhanced", false);
    if (!typed.startsWith(u'='))
        p.type(edit.constData(), typed);
    p.release("buttonApply");
    QCOMPARE(p.text(edit.constData()), shown);
    QCOMPARE(stored("speex", key.constData()), storedText);
    int enhance, cbr, vbr, abr, complexity;
    float quality;
    p.settings.getSpeexSettings(&enhance, &quality, &cbr, &vbr, &abr, &complexity);
    const int number = key == "cbr" ? cbr : key == "abr" ? abr : complexity;
    QCOMPARE(key == "quality" ? QString::number(double(quality), 'g', 6) : QString::number(number), storedText);
    QCOMPARE(enhance, 0);
    // The next visit opens on the sub-form; checking the defaults again closes it.
    p.release("buttonCodecs");
    QVERIFY(p.visible("frameOptSpeex") && !p.checked("boxSpeexEnhanced"));
    p.check("boxSpeexSettings", true);
    QVERIFY(!p.visible("frameOptSpeex") && !p.w("boxSpeexEnhanced")->isEnabled());
}

void TestSettingsPages::codecs()
{
    TestDataDir dir;
    Panel p;
    const char *const boxes[] = { "boxGSM", "boxULAW", "boxALAW", "boxSPEEX", "boxILBC" };
    const int bits[] = { 2, 4, 8, 512, 1024, 0 };
    // Each codec alone, then none; the preferred codec need not be allowed.
    for (int i = 0; i < 6; ++i) {
        p.release("buttonCodecs");
        for (int j = 0; j < 5; ++j)
            p.check(boxes[j], i == j);
        p.check(i == 2 ? "radioSPEEX" : "radioALAW", true);
        p.release("buttonApply");
        int allowed = 0, preferred = 0;
        p.settings.getCodecs(&allowed, &preferred);
        QCOMPARE(allowed, bits[i]);
        QCOMPARE(preferred, i == 2 ? 512 : 8);
        QCOMPARE(stored("codecs", "default"), i == 2 ? u"speex"_s : u"alaw"_s);
    }
    for (const char *key : { "gsm", "ulaw", "alaw", "speex", "ilbc" })
        QCOMPARE(stored("codecs", key), u"no"_s);
}

// Also a fill from outside while it is open: the page stays, no sub-form pops up.
void TestSettingsPages::filters()
{
    const char *const boxes[] = { "boxDenoise", "boxAGC", "boxEcho", "boxAAGC", "boxCN" };
    const char *const keys[] = { "denoise", "agc", "echo", "aagc", "cn" };
    TestDataDir dir;
    int last = 27; // the default
    for (int mask : { 0, 5, 31, 0 }) {
        Panel p; // a fresh start shows and holds what the last Apply stored
        p.release("buttonFilters");
        p.settings.setDNDState(true);
        p.settings.setForward(false, u"305"_s, u"CF"_s);
        QVERIFY(p.page() == PageFilters && !p.visible("frameOptDND"));
        for (int i = 0; i < 5; ++i) {
            QCOMPARE(p.checked(boxes[i]), bool(last & (1 << i)));
            QCOMPARE(stored("filters", keys[i]), last & (1 << i) ? u"yes"_s : u"no"_s);
            p.check(boxes[i], mask & (1 << i));
        }
        p.release("buttonApply");
        p.settings.getFilters(&last);
        QCOMPARE(last, mask);
    }
}

void TestSettingsPages::audioDevices()
{
    TestDataDir dir;
    // An unplugged headset: the page shows the device used for this run.
    writeSettings(dir, "<audio><output_dev>USB headset</output_dev></audio>");
    {
        Panel first(kDevices);
    }
    Panel p(kDevices);
    QCOMPARE(audioIds(p.settings), (QList<int> { 7, 7, 9, 0, 0 }));
    p.release("buttonAudioOpt");
    QComboBox *output = p.w<QComboBox>("comboOutputDevices");
    QCOMPARE(output->currentText(), u"Headset"_s);
    // Back changes nothing; Apply stores what the page shows, by name.
    output->setCurrentIndex(1);
    p.release("buttonBack");
    QCOMPARE(stored("audio", "output_dev"), u"USB headset"_s);
    p.release("buttonAudioOpt");
    output->setCurrentIndex(1);
    p.w<QComboBox>("comboInputDevices")->setCurrentIndex(-1);
    p.check("boxMuteRingDev", true);
    p.release("buttonApply");
    QCOMPARE(audioIds(p.settings), (QList<int> { -1, 3, 9, 0, 1 }));
    QCOMPARE(stored("audio", "output_dev"), u"Speakers"_s);
    QCOMPARE(stored("audio", "input_dev"), QString());
}

// At start each list selects its device by the name the file keeps.
void TestSettingsPages::audioDevicesByName()
{
    TestDataDir dir;
    writeSettings(dir, "<audio><output_dev>USB out</output_dev><ringing_dev>Gone</ringing_dev></audio>");
    {
        Panel p({ { 10, "Built-in", 1 | 2 }, { 11, "USB out", 2 }, { 14, "USB out", 2 }, { 12, "Headset", 1 | 2 | 4 },
            { 13, "Speaker", 4 } });
        // Of two devices with one name the first wins; an absent one gives way
        // to the first of its list for this run only.
        QCOMPARE(audioIds(p.settings), (QList<int> { 10, 11, 12, 0, 0 }));
        QCOMPARE(stored("audio", "ringing_dev"), u"Gone"_s);
    }
    // Plugged in again at the next start, it is used.
    Panel again({ { 13, "Speaker", 4 }, { 15, "Gone", 4 } });
    QCOMPARE(audioIds(again.settings).at(2), 15);
}

void TestSettingsPages::actions()
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
    bool in, crm, out, a1;
    QString appIn, s2, s3, appOut, s5;
    p.settings.getActions(&in, &crm, &out, &a1, &appIn, &s2, &s3, &appOut, &s5);
    QCOMPARE((QList<bool> { in, crm, out, a1 }), (QList<bool> { false, false, true, true }));
    QCOMPARE(stored("actions", "act_in"), u"no"_s);
    QCOMPARE(stored("actions", "act_out"), u"yes"_s);
    QCOMPARE(changed.count(), 1);
    // Each "..." fills its own edit from its text; every second opening is cancelled.
    int opened = 0;
    TQuorSettings::setFileChooser([&](QWidget *, const QString &, const QString &start, const QString &) {
        return ++opened % 2 ? start + u"/chosen"_s : QString();
    });
    for (const char *pair :
        { "ins_in_app launchApp", "ins_in_file launchArg", "ins_out_app launchApp_2", "ins_out_file launchArg_2" }) {
        const QList<QByteArray> names = QByteArray(pair).split(' ');
        p.type(names[1].constData(), QString::fromLatin1(names[0]));
        p.release(names[0].constData());
        p.release(names[0].constData());
        QCOMPARE(p.text(names[1].constData()), QString::fromLatin1(names[0] + "/chosen"));
    }
    p.settings.setFileName(); // without a sender nothing opens
    QCOMPARE(opened, 8);
    TQuorSettings::setFileChooser({});
}

void TestSettingsPages::agentPage()
{
    TestDataDir dir;
    Panel p({}, false);
    QSignalSpy chosen(&p.settings, qOverload<QString>(&TQuorSettings::queueSelected));
    auto lastQueue = [&] {
        const QString queue = chosen.isEmpty() ? u"none"_s : chosen.last().at(0).toString();
        chosen.clear();
        return queue;
    };
    QStringList storedAtLogin;
    connect(&p.settings, &TQuorSettings::signalAgentLogin,
        [&] { storedAtLogin << stored("agentLogin", "agentid") << stored("agentLogin", "penalty"); });

    p.settings.showAgentPage(); // works while locked
    QCOMPARE(p.page(), int(PageAgent));
    p.type("textAgent", u"a7"_s);
    p.type("EditPenalty", u"3"_s);
    QTest::mousePress(p.w<QPushButton>("buttonAgent"), Qt::LeftButton);
    QCOMPARE(storedAtLogin, (QStringList { u"a7"_s, u"3"_s }));

    // A new list restores the stored values; the current queue stays while listed.
    QComboBox *combo = p.w<QComboBox>("comboQueues");
    p.type("EditPenalty", u"9"_s);
    QStringList steps;
    auto setQueues = [&](const QStringList &queues) {
        p.settings.setQueues(queues);
        steps << QString::number(combo->count()) + lastQueue();
    };
    setQueues({ u"sales"_s, u"support"_s });
    combo->setCurrentIndex(2);
    steps << lastQueue();
    setQueues({ u"sales"_s, u"support"_s });
    setQueues({ u"sales"_s });
    QCOMPARE(steps, (QStringList { u"3"_s, u"support"_s, u"2support"_s, u"2"_s }));
    QCOMPARE(p.text("EditPenalty"), u"3"_s);

    // Member entries: "<member name> <interface> <queue>"; fewer words name none.
    QListWidget *list = p.w<QListWidget>("tableAgents");
    for (const char *entry : { "201 IAX2/201 sales", " IAX2/201 support", "201 sales" })
        p.settings.addAgentEntry(QLatin1String(entry));
    QStringList queues;
    for (int row = 0; row < 3; ++row) {
        list->setCurrentRow(row);
        queues << lastQueue();
    }
    QCOMPARE(queues, (QStringList { u"sales"_s, u"support"_s, u"none"_s }));
    p.settings.removeAgentEntry(1);
    p.settings.removeAgentEntry(2); // out of range: nothing
    p.settings.removeAgentEntry(-1);
    QCOMPARE(list->count(), 2);
    QCOMPARE(list->item(1)->text(), u"201 sales"_s);
}

QTEST_MAIN(TestSettingsPages)
#include "tst_settingspages.moc"
