// The options page with its DND, forward and voicemail sub-forms, the toggles
// the phone uses, and the agent login page, driven offscreen.

#include <QComboBox>
#include <QListWidget>
#include <QTest>

#include "SettingsTestHelpers.h"

namespace {

// "dnd", "forward" or both, then the forward family.
QString phoneOptions(const TQuorSettings &s)
{
    bool busy, onTop, dnd, forward, vm, forwardVm, agent;
    QString dndFamily, dndCode, number, family;
    s.getPhoneOptions(&busy, &onTop, &dnd, &dndFamily, &dndCode, &forward, &number, &family, &vm, &forwardVm, &agent);
    return (dnd ? u"dnd "_s : QString()) + (forward ? u"forward "_s : QString()) + family;
}

} // namespace

class TestOptionsPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }
    void subFormsAndPageIds();
    void forwardTypeRule();
    void applySubForm_data();
    void applySubForm();
    void togglesAndSetters();
    void fillWhileAnotherPageIsOpen();
    void agentPage();
};

void TestOptionsPages::subFormsAndPageIds()
{
    TestDataDir dir;
    Panel p;
    p.release("buttonOptions");
    p.check("boxDND", true);
    QCOMPARE(p.page(), int(PageDndForm));
    p.check("boxVM", true); // one sub-form at a time; the page id stays
    QVERIFY(p.visible("frameOptVM") && !p.visible("frameOptDND"));
    QCOMPARE(p.page(), int(PageDndForm));
    p.check("boxFwdAll", true);
    QCOMPARE(p.page(), int(PageFwdForm));

    // Back from a sub-form's page id returns to the options page, then to the menu.
    p.key(Qt::Key_Escape);
    QCOMPARE(p.page(), int(PageOptions));
    p.key(Qt::Key_Escape);
    QCOMPARE(p.page(), int(PageMenu));
    // Reopened, the fill puts the unapplied box back.
    p.release("buttonOptions");
    QVERIFY(!p.checked("boxDND") && !p.visible("frameOptDND"));
}

void TestOptionsPages::forwardTypeRule()
{
    TestDataDir dir;
    Panel p;
    p.release("buttonOptions");
    p.check("boxFwdAll", true);
    p.type("editFWDfam_3", u"TYPED"_s);
    p.check("Box_noans", true);
    QVERIFY(!p.checked("Box_all"));
    // The stored family, not one being typed.
    QCOMPARE(phoneOptions(p.settings), u"CFU"_s);
    p.check("Box_busy", true);
    QVERIFY(!p.checked("Box_noans"));
    QCOMPARE(phoneOptions(p.settings), u"CFB"_s);
    // The chosen type cannot be unchecked; without a sender the rule does nothing.
    p.check("Box_busy", false);
    QVERIFY(p.checked("Box_busy"));
    p.settings.checkFWDCond(Qt::Checked);
    QCOMPARE(phoneOptions(p.settings), u"CFB"_s);
}

void TestOptionsPages::applySubForm_data()
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
    QTest::newRow("forward on") << ""_ba << "boxFwdAll"_ba << true << "306" << QString() << 3 << "yes" << 1;
    QTest::newRow("forward on, number untouched")
        << ""_ba << "boxFwdAll"_ba << true << "forward number here" << fwd << 15 << "no" << 0;
    QTest::newRow("forward on during dnd")
        << "<dnd>yes</dnd>"_ba << "boxFwdAll"_ba << true << "306" << fwd << 15 << "no" << 0;
    QTest::newRow("forward off") << forwardOn << "boxFwdAll"_ba << false << "305" << QString() << 3 << "no" << 1;
}

void TestOptionsPages::applySubForm()
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

void TestOptionsPages::togglesAndSetters()
{
    TestDataDir dir;
    writeSettings(dir, "<options><dnd>yes</dnd><forward>yes</forward><fwd_num></fwd_num></options>");
    ErrorBoxCatcher boxes;
    TQuorSettings settings;
    settings.loadAll();
    QSignalSpy options(&settings, &TQuorSettings::signalPhoneOptionsChanged);
    QSignalSpy dndSpy(&settings, &TQuorSettings::setAsteriskDND);
    QSignalSpy fwdSpy(&settings, &TQuorSettings::setAsteriskFWD);

    // Switching off is always possible, whatever the other and the number.
    settings.applyDND();
    settings.applyForward();
    QVERIFY(boxes.titles.isEmpty());
    QCOMPARE(phoneOptions(settings), u"CF"_s);
    QCOMPARE(dndSpy.count() + fwdSpy.count(), 2);

    // A toggle changes its option alone.
    settings.toggleBusy();
    QCOMPARE(stored("options", "busy"), u"yes"_s);
    QCOMPARE(stored("options", "ontop"), u"no"_s);
    QCOMPARE(options.count(), 3);

    // Switching on checks the other and the number; the untouched default is none.
    settings.setForward(false, u"forward number here"_s, QString());
    settings.applyForward();
    settings.setForward(true, u"305"_s, u"CFB"_s);
    QCOMPARE(stored("options", "fwd_num"), u"305"_s);
    QCOMPARE(stored("options", "asterisk_fwd_busy"), u"yes"_s);
    QCOMPARE(phoneOptions(settings), u"forward CFB"_s);
    settings.applyDND();
    settings.setDNDState(true);
    settings.setForwardState(false);
    settings.applyForward();
    QCOMPARE(boxes.titles, (QStringList { u"Call Forward"_s, u"Do Not Disturb"_s, u"Call Forward"_s }));
    QCOMPARE(phoneOptions(settings), u"dnd CFB"_s);
    QCOMPARE(dndSpy.count() + fwdSpy.count(), 2);
}

void TestOptionsPages::fillWhileAnotherPageIsOpen()
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

void TestOptionsPages::agentPage()
{
    TestDataDir dir;
    Panel p({}, false);
    QSignalSpy pause(&p.settings, &TQuorSettings::signalAgentPause);
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
    QTest::mousePress(p.w<QPushButton>("buttonPause"), Qt::LeftButton);
    QCOMPARE(pause.count(), 1);
    QTest::mousePress(p.w<QPushButton>("buttonAgent"), Qt::LeftButton);
    QCOMPARE(storedAtLogin, (QStringList { u"a7"_s, u"3"_s }));

    // Choosing a queue brings the stored values back over unsaved edits; the
    // current queue stays while it is listed, else an empty entry is current.
    QComboBox *combo = p.w<QComboBox>("comboQueues");
    p.type("EditPenalty", u"9"_s);
    p.settings.setQueues({ u"sales"_s, u"support"_s });
    QCOMPARE(p.text("EditPenalty"), u"3"_s);
    combo->setCurrentIndex(2);
    QCOMPARE(lastQueue(), u"support"_s);
    p.settings.setQueues({ u"sales"_s });
    QCOMPARE(combo->count(), 2);
    QCOMPARE(lastQueue(), QString());

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

QTEST_MAIN(TestOptionsPages)
#include "tst_optionspages.moc"
