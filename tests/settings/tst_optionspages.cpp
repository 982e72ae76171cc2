// The options page with its DND, forward and voicemail sub-forms, and the agent
// login page, driven offscreen.

#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QTest>

#include "SettingsTestHelpers.h"
#include "testsupport/TestDataDir.h"

namespace {

struct PhoneOptions
{
    bool dnd = false, forward = false;
    QString forwardNumber, family;
};

PhoneOptions phoneOptions(const TQuorSettings &s)
{
    PhoneOptions o;
    bool busy, onTop, vm, forwardVm, agent;
    QString dndFamily, dndCode;
    s.getPhoneOptions(&busy, &onTop, &o.dnd, &dndFamily, &dndCode, &o.forward, &o.forwardNumber, &o.family, &vm,
        &forwardVm, &agent);
    return o;
}

void writeOptions(const TestDataDir &dir, const QByteArray &options)
{
    dir.write(QStringLiteral("quorer.xml"), "<!DOCTYPE xmlreader>\n<quorer><options>" + options + "</options></quorer>\n");
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
    void switchingOffIsAlwaysPossible();
    void fillWhileAnotherPageIsOpen();
    void agentButtons();
    void queueChoice();
    void memberEntries();
};

void TestOptionsPages::subFormsAndPageIds()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    QWidget *dnd = p.w<QWidget>("frameOptDND");
    QWidget *fwd = p.w<QWidget>("frameOptFWD");
    QWidget *vm = p.w<QWidget>("frameOptVM");

    p.release("buttonOptions");
    QCOMPARE(p.settings.currentPage(), int(PageOptions));
    p.check("boxDND", true);
    QCOMPARE(p.settings.currentPage(), int(PageDndForm));
    QVERIFY(dnd->isVisible());
    p.check("boxVM", true); // one sub-form at a time; the page id stays
    QVERIFY(vm->isVisible() && !dnd->isVisible());
    QCOMPARE(p.settings.currentPage(), int(PageDndForm));
    p.check("boxFwdAll", true);
    QCOMPARE(p.settings.currentPage(), int(PageFwdForm));
    QVERIFY(fwd->isVisible() && !vm->isVisible());
    p.check("boxFwdAll", false);
    QCOMPARE(p.settings.currentPage(), int(PageFwdForm));
    QVERIFY(!fwd->isVisible());

    // Back from a sub-form's page id returns to the options page, then to the menu.
    p.key(Qt::Key_Escape);
    QCOMPARE(p.settings.currentPage(), int(PageOptions));
    QVERIFY(p.w<QWidget>("framePhoneOptions")->isVisible());
    p.key(Qt::Key_Escape);
    QCOMPARE(p.settings.currentPage(), int(PageMenu));

    // Reopened, the fill puts the unapplied box back; the page keeps id 3.
    p.release("buttonOptions");
    QCOMPARE(p.settings.currentPage(), int(PageOptions));
    QVERIFY(!p.w<QCheckBox>("boxDND")->isChecked());
    QVERIFY(!dnd->isVisible());
}

void TestOptionsPages::forwardTypeRule()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    p.release("buttonOptions");
    p.check("boxFwdAll", true);
    p.type("editFWDfam_2", QStringLiteral("TYPED"));
    p.check("Box_busy", true);
    QVERIFY(!p.w<QCheckBox>("Box_all")->isChecked());
    QCOMPARE(phoneOptions(p.settings).family, QStringLiteral("CFB"));
    // The chosen type cannot be unchecked.
    p.check("Box_busy", false);
    QVERIFY(p.w<QCheckBox>("Box_busy")->isChecked());

    // Back keeps the choice in memory only; the next fill shows it.
    p.key(Qt::Key_Escape);
    p.key(Qt::Key_Escape);
    QCOMPARE(stored(QStringLiteral("options"), QStringLiteral("asterisk_fwd_all")), QStringLiteral("yes"));
    p.release("buttonOptions");
    QVERIFY(p.w<QCheckBox>("Box_busy")->isChecked());
    QVERIFY(!p.w<QCheckBox>("Box_all")->isChecked());

    // Without a sender the rule does nothing.
    p.settings.checkFWDCond(Qt::Checked);
    QCOMPARE(phoneOptions(p.settings).family, QStringLiteral("CFB"));
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
    QTest::newRow("dnd on") << QByteArray() << QByteArray("boxDND") << true << QString() << QString()
                            << int(PageOptions) << "yes" << 1;
    QTest::newRow("dnd on while forwarding") << forwardOn << QByteArray("boxDND") << true << QString()
                                             << "Do Not Disturb" << int(PageDndForm) << "no" << 0;
    QTest::newRow("dnd ticked and unticked") << QByteArray() << QByteArray("boxDND") << false << QString()
                                             << QString() << int(PageOptions) << "no" << 0;
    QTest::newRow("forward on") << QByteArray() << QByteArray("boxFwdAll") << true << "306" << QString()
                                << int(PageOptions) << "yes" << 1;
    QTest::newRow("forward on, number untouched")
        << QByteArray() << QByteArray("boxFwdAll") << true << "forward number here" << "Call Forward"
        << int(PageFwdForm) << "no" << 0;
    QTest::newRow("forward on, no number") << QByteArray() << QByteArray("boxFwdAll") << true << QString()
                                           << "Call Forward" << int(PageFwdForm) << "no" << 0;
    QTest::newRow("forward on during dnd") << QByteArray("<dnd>yes</dnd>") << QByteArray("boxFwdAll") << true
                                           << "306" << "Call Forward" << int(PageFwdForm) << "no" << 0;
    QTest::newRow("forward off") << forwardOn << QByteArray("boxFwdAll") << false << "305" << QString()
                                 << int(PageOptions) << "no" << 1;
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
    writeOptions(dir, options);
    ErrorBoxCatcher boxes;
    Panel p;
    p.unlock();
    QSignalSpy dnd(&p.settings, &TQuorSettings::setAsteriskDND);
    QSignalSpy fwd(&p.settings, &TQuorSettings::setAsteriskFWD);
    p.release("buttonOptions");
    const bool isDnd = box == "boxDND";
    // Ticked and unticked when the state does not change, so the page id moves.
    p.check(box.constData(), !on);
    p.check(box.constData(), on);
    p.type("editDNDfamily", QStringLiteral("DNDX"));
    if (!isDnd)
        p.type("editFwdNum", number);
    p.release("buttonApply");

    QCOMPARE(boxes.boxes.isEmpty() ? QString() : boxes.boxes.first().first, error);
    QCOMPARE(p.settings.currentPage(), pageAfter);
    QCOMPARE(stored(QStringLiteral("options"), QLatin1String(isDnd ? "dnd" : "forward")), storedFlag);
    QCOMPARE((isDnd ? dnd : fwd).count(), astDb);
    QCOMPARE((isDnd ? fwd : dnd).count(), 0);
    // What was typed on the sub-form is stored with an accepted Apply.
    QCOMPARE(stored(QStringLiteral("options"), QStringLiteral("dnd_fam")),
        QLatin1String(error.isEmpty() ? "DNDX" : "DND"));
}

void TestOptionsPages::switchingOffIsAlwaysPossible()
{
    TestDataDir dir;
    writeOptions(dir, "<dnd>yes</dnd><forward>yes</forward><fwd_num></fwd_num>");
    ErrorBoxCatcher boxes;
    TQuorSettings settings;
    settings.loadAll();
    settings.applyDND();
    settings.applyForward();
    QVERIFY(boxes.boxes.isEmpty());
    const PhoneOptions o = phoneOptions(settings);
    QVERIFY(!o.dnd && !o.forward);
    // Switching on still checks: the untouched default number is no number.
    settings.setForward(false, QStringLiteral("forward number here"), QString());
    settings.applyForward();
    QCOMPARE(boxes.boxes.size(), 1);
    QVERIFY(!phoneOptions(settings).forward);
}

void TestOptionsPages::fillWhileAnotherPageIsOpen()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    p.release("buttonFilters");
    p.settings.setDNDState(true);
    p.settings.setForward(false, QStringLiteral("305"), QStringLiteral("CF"));
    QCOMPARE(p.settings.currentPage(), int(PageFilters));
    QVERIFY(!p.w<QWidget>("frameOptDND")->isVisible());
    // Apply still stores the open page.
    QSignalSpy filters(&p.settings, &TQuorSettings::signalFiltersSettingsChanged);
    p.release("buttonApply");
    QCOMPARE(filters.count(), 1);
}

void TestOptionsPages::agentButtons()
{
    TestDataDir dir;
    Panel p;
    QSignalSpy pause(&p.settings, &TQuorSettings::signalAgentPause);
    QStringList storedAtLogin;
    QObject::connect(&p.settings, &TQuorSettings::signalAgentLogin, [&] {
        storedAtLogin << stored(QStringLiteral("agentLogin"), QStringLiteral("agentid"))
                      << stored(QStringLiteral("agentLogin"), QStringLiteral("penalty"));
    });
    p.settings.showAgentPage(); // works while locked
    QCOMPARE(p.settings.currentPage(), int(PageAgent));
    p.type("textAgent", QStringLiteral("a7"));
    p.type("EditPenalty", QStringLiteral("3"));
    const QByteArray before = dir.read(QStringLiteral("quorer.xml"));
    QTest::mousePress(p.w<QPushButton>("buttonPause"), Qt::LeftButton);
    QCOMPARE(pause.count(), 1);
    QCOMPARE(dir.read(QStringLiteral("quorer.xml")), before);
    QTest::mousePress(p.w<QPushButton>("buttonAgent"), Qt::LeftButton);
    QCOMPARE(storedAtLogin, (QStringList { QStringLiteral("a7"), QStringLiteral("3") }));

    // Choosing a queue brings the stored values back over unsaved edits.
    p.type("EditPenalty", QStringLiteral("9"));
    p.settings.setQueues({ QStringLiteral("sales") });
    QCOMPARE(p.text("EditPenalty"), QStringLiteral("3"));
}

void TestOptionsPages::queueChoice()
{
    TestDataDir dir;
    Panel p;
    QSignalSpy chosen(&p.settings, qOverload<QString>(&TQuorSettings::queueSelected));
    QComboBox *combo = p.w<QComboBox>("comboQueues");
    auto entries = [combo] {
        QStringList texts;
        for (int i = 0; i < combo->count(); ++i)
            texts << combo->itemText(i);
        return texts;
    };

    p.settings.setQueues({ QStringLiteral("sales"), QStringLiteral("support") });
    QCOMPARE(entries(), (QStringList { QString(), QStringLiteral("sales"), QStringLiteral("support") }));
    QCOMPARE(chosen.last().at(0).toString(), QString());
    combo->setCurrentIndex(2);
    QCOMPARE(chosen.last().at(0).toString(), QStringLiteral("support"));
    p.settings.setQueues({ QStringLiteral("sales"), QStringLiteral("support") });
    QCOMPARE(entries(), (QStringList { QStringLiteral("sales"), QStringLiteral("support") }));
    QCOMPARE(combo->currentText(), QStringLiteral("support"));
    QCOMPARE(chosen.last().at(0).toString(), QStringLiteral("support"));
    p.settings.setQueues({ QStringLiteral("sales") });
    QCOMPARE(entries(), (QStringList { QString(), QStringLiteral("sales") }));
    QCOMPARE(chosen.last().at(0).toString(), QString());
}

void TestOptionsPages::memberEntries()
{
    TestDataDir dir;
    Panel p;
    QSignalSpy chosen(&p.settings, qOverload<QString>(&TQuorSettings::queueSelected));
    QListWidget *list = p.w<QListWidget>("tableAgents");
    for (const char *entry : { "201 IAX2/201 sales", " IAX2/201 support", "201 IAX2/201 big sales", "201 sales" })
        p.settings.addAgentEntry(QLatin1String(entry));
    for (int row = 0; row < 4; ++row)
        list->setCurrentRow(row);
    QStringList queues;
    for (const QList<QVariant> &args : std::as_const(chosen))
        queues << args.at(0).toString();
    // Fewer than three words: nothing to choose.
    QCOMPARE(queues, (QStringList { QStringLiteral("sales"), QStringLiteral("support"), QStringLiteral("big") }));

    p.settings.removeAgentEntry(4);
    p.settings.removeAgentEntry(-1);
    QCOMPARE(list->count(), 4);
    p.settings.removeAgentEntry(1);
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(1)->text(), QStringLiteral("201 IAX2/201 big sales"));
}

QTEST_MAIN(TestOptionsPages)
#include "tst_optionspages.moc"
