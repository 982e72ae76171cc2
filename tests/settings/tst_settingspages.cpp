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
    void applySubForm_data();
    void applySubForm();
    void togglesAndSetters();
    void fillWhileAnotherPageIsOpen();
    void speexNumbers_data();
    void speexNumbers();
    void codecs();
    void audioDevices();
    void actions();
    void agentPage();
};

void TestSettingsPages::applySubForm_data()
{
    QTest::addColumn<QByteArray>("options");
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<bool>("on");
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("error");
    QTest::addColumn<int>("pageAfter");
    QTest::addColumn<QString>("storedFlag");
    QTest::addColumn<int>("astDb");

    const QByteArray forwardOn = "<forward>yes</forward><fwd_num>305</fwd_num>";
    const QString dnd = u"Do Not Disturb"_s;
    const QString fwd = u"Call Forward"_s;
    QTest::newRow("dnd on") << ""_ba << "boxDND"_ba << true << QString() << QString() << 3 << "yes" << 1;
    QTest::newRow("dnd on while forwarding") << forwardOn << "boxDND"_ba << true << QString() << dnd << 14 << "no" << 0;
    QTest::newRow("forward on, number untouched")
        << ""_ba << "boxFwdAll"_ba << true << "forward number here" << fwd << 15 << "no" << 0;
    QTest::newRow("forward off") << forwardOn << "boxFwdAll"_ba << false << "305" << QString() << 3 << "no" << 1;
}

void TestSettingsPages::applySubForm()
{
    QFETCH(QByteArray, options);
    QFETCH(QByteArray, box);
    QFETCH(bool, on);
    QFETCH(QString, number);
    QFETCH(QString, error);
    QFETCH(int, pageAfter);
    QFETCH(QString, storedFlag);
    QFETCH(int, astDb);

    TestDataDir dir;
    writeSettings(dir, "<options>" + options + "</options>");
    ErrorBoxCatcher boxes;
    Panel p;
    QSignalSpy dnd(&p.settings, &TQuorSettings::setAsteriskDND);
    QSignalSpy fwd(&p.settings, &TQuorSettings::setAsteriskFWD);
    p.release("buttonOptions");
    const bool isDnd = box == "boxDND";
    // Ticked and unticked when the state does not change, so the page id moves.
    p.check(box.constData(), !on);
    p.check(box.constData(), on);
    p.type("editDNDfamily", u"DNDX"_s);
    if (!isDnd)
        p.type("editFwdNum", number);
    p.release("buttonApply");

    QCOMPARE(boxes.titles.value(0), error);
    QCOMPARE(p.page(), pageAfter);
    QCOMPARE(stored("options", isDnd ? "dnd" : "forward"), storedFlag);
    QCOMPARE((isDnd ? dnd : fwd).count(), astDb);
    QCOMPARE((isDnd ? fwd : dnd).count(), 0);
    // What was typed on the sub-form is stored with an accepted Apply.
    QCOMPARE(stored("options", "dnd_fam"), error.isEmpty() ? u"DNDX"_s : u"DND"_s);
}

void TestSettingsPages::togglesAndSetters()
{
    TestDataDir dir;
    writeSettings(dir, "<options><dnd>yes</dnd><forward>yes</forward><fwd_num></fwd_num></options>");
    ErrorBoxCatcher boxes;
    TQuorSettings settings;
    settings.loadAll();
    QSignalSpy dndSpy(&settings, &TQuorSettings::setAsteriskDND);
    QSignalSpy fwdSpy(&settings, &TQuorSettings::setAsteriskFWD);

    // Switching off is always possible, whatever the other and the number.
    settings.applyDND();
    settings.applyForward();
    QVERIFY(boxes.titles.isEmpty());
    QCOMPARE(phoneOptions(settings), u"CF"_s);
    QCOMPARE(dndSpy.count() + fwdSpy.count(), 2);

    // The phone's setters store what the PBX reports.
    settings.setForward(true, u"305"_s, u"CFB"_s);
    QCOMPARE(stored("options", "asterisk_fwd_busy"), u"yes"_s);
    QCOMPARE(phoneOptions(settings), u"forward CFB"_s);
}

void TestSettingsPages::fillWhileAnotherPageIsOpen()
{
    TestDataDir dir;
    Panel p;
    p.release("buttonFilters");
    p.settings.setDNDState(true);
    p.settings.setForward(false, u"305"_s, u"CF"_s);
    QCOMPARE(p.page(), int(PageFilters));
    QVERIFY(!p.visible("frameOptDND"));
    // Apply still stores the open page.
    QSignalSpy filters(&p.settings, &TQuorSettings::signalFiltersSettingsChanged);
    p.release("buttonApply");
    QCOMPARE(filters.count(), 1);
}

void TestSettingsPages::speexNumbers_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("storedText");

    auto row = [](const char *name, const char *key, const char *typed, const char *shown, const char *file) {
        QTest::newRow(name) << QByteArray(key) << QString::fromLatin1(typed) << QString::fromLatin1(shown)
                            << QString::fromLatin1(file);
    };
    row("quality nan", "quality", "nan", "-1", "-1");
    row("quality inf", "quality", "inf", "9", "9");
    row("cbr beyond int", "cbr", "3000000", "2147483", "2147483000");
    row("abr negative", "abr", "-2", "0", "0");
    row("complexity above 9", "complexity", "15", "9", "9");
}

void TestSettingsPages::speexNumbers()
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

void TestSettingsPages::codecs()
{
    TestDataDir dir;
    Panel p;
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
}

void TestSettingsPages::audioDevices()
{
    TestDataDir dir;
    // An unplugged headset: the page shows the device used for this run.
    writeSettings(dir, "<audio><output_dev>USB headset</output_dev></audio>");
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
    p.check("boxMuteRingDev", true);
    p.release("buttonApply");
    QCOMPARE(audioIds(p.settings), (QList<int> { 7, 3, 9, 0, 1 }));
    QCOMPARE(stored("audio", "output_dev"), u"Speakers"_s);
}

void TestSettingsPages::actions()
{
    TestDataDir dir;
    Panel p;
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
    QCOMPARE(list->item(1)->text(), u"201 sales"_s);
}

QTEST_MAIN(TestSettingsPages)
#include "tst_settingspages.moc"
