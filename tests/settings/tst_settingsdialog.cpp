#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/Paths.h"
#include "settings/PrivacyDataFile.h"
#include "SettingsTestHelpers.h"
#include "testsupport/TestDataDir.h"

namespace {

const char *const kLockedButtons[] = { "buttonUser", "buttonOptions", "buttonManager", "buttonActions",
    "buttonAudioOpt", "buttonCodecs", "buttonFilters" };

} // namespace

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void navigationAndKeys();
    void lockCycle();
    void passwordChange_data();
    void passwordChange();
    void passwordSurvivesRestart();
    void privacyDataUnwritable();
    void loadProblemsAreToldOnce();
    void userPage();
    void managerPage();
    void managerPrivacy();
    void togglesAndSetters();
};

void TestSettingsDialog::initTestCase()
{
    Paths::init();
}

void TestSettingsDialog::navigationAndKeys()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    const QByteArray stored = dir.read(QStringLiteral("quorer.xml"));

    // Back on the menu itself changes nothing; Return there saves nothing.
    p.key(Qt::Key_Escape);
    p.key(Qt::Key_Return);
    p.key(Qt::Key_A);
    QCOMPARE(p.settings.currentPage(), int(PageMenu));

    struct
    {
        const char *button;
        int page;
        const char *frame;
        const char *caption;
    } pages[] = { { "buttonUser", PageUser, "framePhone", "PBX user settings" },
        { "buttonOptions", PageOptions, "framePhoneOptions", "Options" },
        { "buttonManager", PageManager, "frameManager", "PBX Manager" },
        { "buttonActions", PageActions, "frameActions", "Actions" },
        { "buttonAudioOpt", PageAudio, "frameAudioOpt", "Audio devices" },
        { "buttonFilters", PageFilters, "frameFilters", "Select filters" },
        { "buttonCodecs", PageCodecs, "frameCodecs", "Select codecs" },
        { "buttonAdmin", PageAdmin, "frameAdmin", "Administrator" },
        { "buttonAbout", PageAbout, "frameAbout", "About Quor" } };
    for (const auto &page : pages) {
        p.release(page.button);
        QCOMPARE(p.settings.currentPage(), page.page);
        QCOMPARE(p.caption(), QLatin1String(page.caption));
        QVERIFY2(p.w<QWidget>(page.frame)->isVisible(), page.frame);
        QVERIFY(!p.w<QWidget>("frameSelect")->isVisible());
        QVERIFY(p.w<QWidget>("buttonApply")->isVisible());
        QVERIFY(p.w<QWidget>("buttonBack")->isVisible());

        p.key(Qt::Key_Escape);
        QCOMPARE(p.settings.currentPage(), int(PageMenu));
        QVERIFY2(!p.w<QWidget>(page.frame)->isVisible(), page.frame);
        QVERIFY(p.w<QWidget>("frameSelect")->isVisible());
        QVERIFY(!p.w<QWidget>("buttonApply")->isVisible());
        QCOMPARE(p.caption(), QStringLiteral("Select settings"));
    }
    QCOMPARE(dir.read(QStringLiteral("quorer.xml")), stored);

    // The phone shows the menu over an open page: Apply and Back stay until Back.
    p.release("buttonManager");
    p.settings.showMenu();
    QCOMPARE(p.settings.currentPage(), int(PageMenu));
    QVERIFY(!p.w<QWidget>("frameManager")->isVisible());
    QVERIFY(p.w<QWidget>("frameSelect")->isVisible());
    QVERIFY(p.w<QWidget>("buttonBack")->isVisible());
    p.release("buttonBack");
    QVERIFY(!p.w<QWidget>("buttonBack")->isVisible());

    // select() reached without a sender does nothing.
    p.settings.select();
    QCOMPARE(p.settings.currentPage(), int(PageMenu));

    // The contact page's captions; without the page Back stays on its form.
    p.settings.slotModeChanged(3);
    QCOMPARE(p.caption(), QStringLiteral("LDAP Add Server"));
    QCOMPARE(p.settings.currentPage(), int(PageContactForm));
    p.settings.slotModeChanged(7);
    QCOMPARE(p.settings.currentPage(), int(PageContactForm));
    p.settings.slotModeChanged(1);
    QCOMPARE(p.caption(), QStringLiteral("Contact settings"));
    p.key(Qt::Key_Escape);
    QCOMPARE(p.settings.currentPage(), int(PageMenu));
}

void TestSettingsDialog::lockCycle()
{
    TestDataDir dir;
    Panel p;
    // Every start is locked, on the menu.
    QVERIFY(p.settings.isLocked());
    QVERIFY(!p.w<QWidget>("buttonApply")->isVisible());
    for (const char *name : kLockedButtons)
        QVERIFY2(!p.w<QPushButton>(name)->isEnabled(), name);
    // One shortcut for all ten would fire none of them.
    int withShortcut = 0;
    for (QPushButton *b : p.settings.findChild<QWidget *>(QStringLiteral("frameSelect"))->findChildren<QPushButton *>())
        withShortcut += b->shortcut().isEmpty() ? 0 : 1;
    QVERIFY(withShortcut <= 1);

    p.unlock(QStringLiteral("Fendro"));
    QCOMPARE(p.log.messages.size(), 1);
    QCOMPARE(p.log.messages.last(), qMakePair(QStringLiteral("Wrong password"), int(MessageError)));
    QVERIFY(p.settings.isLocked());
    QCOMPARE(p.settings.currentPage(), int(PageMenu));

    for (int round = 0; round < 3; ++round) {
        p.log.messages.clear();
        p.unlock();
        QCOMPARE(
            p.log.messages, (QList<QPair<QString, int>> { { QStringLiteral("Settings unlocked"), MessageStatus } }));
        QVERIFY(!p.settings.isLocked());
        QCOMPARE(p.w<QPushButton>("buttonAdmin")->text(), QStringLiteral("Lock Settings"));
        for (const char *name : kLockedButtons)
            QVERIFY2(p.w<QPushButton>(name)->isEnabled(), name);
        QVERIFY(!p.w<QWidget>("buttonContact")->isVisible());
        QVERIFY(p.w<QCheckBox>("boxPrivacy")->isEnabled());

        // Unlocked, Apply with neither box checked says nothing.
        p.release("buttonAdmin");
        QVERIFY(!p.w<QLineEdit>("editLockPassword")->isEnabled());
        p.key(Qt::Key_Return);
        QCOMPARE(p.log.messages.size(), 1);

        p.release("buttonAdmin");
        p.w<QCheckBox>("boxLockSettings")->setChecked(true);
        p.release("buttonApply");
        QCOMPARE(p.log.messages.size(), 2);
        QCOMPARE(p.log.messages.last(), qMakePair(QStringLiteral("Settings Locked"), int(MessageError)));
        QVERIFY(p.settings.isLocked());
        QCOMPARE(p.w<QPushButton>("buttonAdmin")->text(), QStringLiteral("Unlock Settings"));
        for (const char *name : kLockedButtons)
            QVERIFY2(!p.w<QPushButton>(name)->isEnabled(), name);
        QVERIFY(!p.w<QCheckBox>("boxPrivacy")->isEnabled());
    }
}

void TestSettingsDialog::passwordChange_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("alsoLock");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("passwordAfter");

    const QString changed = QStringLiteral("Password changed");
    const QString locked = QStringLiteral("Settings Locked");
    const QString longest = QString(30, QLatin1Char('q')) + QChar(0xe9);
    QTest::newRow("change") << QStringLiteral("n3w") << QStringLiteral("n3w") << false << QStringList { changed }
                            << QStringLiteral("n3w");
    QTest::newRow("change, then lock") << QStringLiteral("n3w") << QStringLiteral("n3w") << true
                                       << QStringList { changed, locked } << QStringLiteral("n3w");
    QTest::newRow("31 latin-1 characters") << longest << longest << false << QStringList { changed } << longest;
    QTest::newRow("mismatch does not lock")
        << QStringLiteral("abc") << QStringLiteral("abd") << true
        << QStringList { QStringLiteral("Passwords doesn't match") } << kShippedPassword;
    QTest::newRow("empty") << QString() << QString() << false << QStringList { QStringLiteral("Wrong new password") }
                           << kShippedPassword;
    QTest::newRow("outside latin-1") << QStringLiteral("pass\u20ac") << QStringLiteral("pass\u20ac") << false
                                     << QStringList { QStringLiteral("Wrong new password") } << kShippedPassword;
}

void TestSettingsDialog::passwordChange()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, alsoLock);
    QFETCH(QStringList, messages);
    QFETCH(QString, passwordAfter);

    TestDataDir dir;
    Panel p;
    p.unlock();
    p.log.messages.clear();

    p.release("buttonAdmin");
    p.w<QCheckBox>("boxChangePasswd")->setChecked(true);
    p.w<QLineEdit>("editLockNewPasswd1")->setText(first);
    p.w<QLineEdit>("editLockNewPasswd2")->setText(second);
    p.w<QCheckBox>("boxLockSettings")->setChecked(alsoLock);
    p.key(Qt::Key_Return);
    QCOMPARE(p.log.texts(), messages);
    QCOMPARE(p.settings.currentPage(), int(PageMenu));

    const bool changed = passwordAfter != kShippedPassword;
    QCOMPARE(QFile::exists(dir.filePath(QStringLiteral("quorer.dat"))), changed);
    QCOMPARE(p.w<QCheckBox>("boxChangePasswd")->isChecked(), !changed);
    if (changed) {
        const auto data = PrivacyDataFile::read(dir.filePath(QStringLiteral("quorer.dat")));
        QVERIFY(data.has_value());
        QCOMPARE(data->password, passwordAfter);
        // The shipped file's leading values are carried over.
        QCOMPARE(data->format, quint16(1));
        QCOMPARE(data->key, quint16(0x2b71));
    }

    // Lock (if still open) and prove which password opens it now.
    if (!p.settings.isLocked()) {
        p.release("buttonAdmin");
        p.w<QCheckBox>("boxLockSettings")->setChecked(true);
        p.key(Qt::Key_Return);
    }
    if (changed) {
        p.unlock(kShippedPassword);
        QVERIFY(p.settings.isLocked());
    }
    p.unlock(passwordAfter);
    QVERIFY(!p.settings.isLocked());
}

void TestSettingsDialog::passwordSurvivesRestart()
{
    TestDataDir dir;
    {
        Panel p;
        p.unlock();
        p.release("buttonAdmin");
        p.w<QCheckBox>("boxChangePasswd")->setChecked(true);
        p.w<QLineEdit>("editLockNewPasswd1")->setText(QStringLiteral("Restart1"));
        p.w<QLineEdit>("editLockNewPasswd2")->setText(QStringLiteral("Restart1"));
        p.key(Qt::Key_Return);
    }
    Panel p;
    QVERIFY(p.settings.isLocked()); // every start is locked
    p.unlock(kShippedPassword);
    QVERIFY(p.settings.isLocked());
    p.unlock(QStringLiteral("Restart1"));
    QVERIFY(!p.settings.isLocked());
}

void TestSettingsDialog::privacyDataUnwritable()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    // A directory in the file's place makes every write fail.
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("quorer.dat"))));
    p.log.messages.clear();

    p.release("buttonAdmin");
    p.w<QCheckBox>("boxChangePasswd")->setChecked(true);
    p.w<QLineEdit>("editLockNewPasswd1")->setText(QStringLiteral("x"));
    p.w<QLineEdit>("editLockNewPasswd2")->setText(QStringLiteral("x"));
    p.key(Qt::Key_Return);
    QCOMPARE(p.log.texts(),
        (QStringList { QStringLiteral("Password changed"), QStringLiteral("Could not write privacy data file") }));
    QCOMPARE(p.log.messages.last().second, int(MessageError));
}

void TestSettingsDialog::loadProblemsAreToldOnce()
{
    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"), "<!DOCTYPE xmlreader>\n<quorer><agent><server>10.0.0.5</ser");
    dir.write(QStringLiteral("quorer.dat"), QByteArray(20, 'x'));
    TQuorSettings settings;
    settings.loadAll();
    // Told when someone listens, and only once.
    MessageLog log(&settings);
    QTRY_COMPARE(log.messages.size(), 2);
    QVERIFY(log.messages.at(0).first.contains(QStringLiteral("quorer.xml.bad")));
    QCOMPARE(log.messages.at(0).second, int(MessageWarning));
    QCOMPARE(log.messages.at(1), qMakePair(QStringLiteral("Could not open privacy data file"), int(MessageError)));
    QTest::qWait(0);
    QCOMPARE(log.messages.size(), 2);
}

void TestSettingsDialog::userPage()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    QStringList order;
    QObject::connect(&p.settings, &TQuorSettings::signalUserSettingsChanged, [&] { order << QStringLiteral("user"); });
    QObject::connect(
        &p.settings, &TQuorSettings::signalManagerSettingsChanged, [&] { order << QStringLiteral("manager"); });

    p.release("buttonUser");
    QCOMPARE(p.w<QLineEdit>("editServer")->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(p.w<QLineEdit>("editPort")->text(), QStringLiteral("4569"));
    QCOMPARE(p.w<QLineEdit>("editUserName")->text(), QString());
    QCOMPARE(p.w<QLineEdit>("editPassword")->text(), QString());
    QCOMPARE(p.w<QLineEdit>("editCidName")->text(), QStringLiteral("Type name"));
    QCOMPARE(p.w<QLineEdit>("editCidNum")->text(), QStringLiteral("Type number"));
    QCOMPARE(p.w<QLineEdit>("editPassword")->echoMode(), QLineEdit::Password);

    // Typing and Back leaves the model alone.
    p.w<QLineEdit>("editUserName")->setText(QStringLiteral("typed"));
    p.key(Qt::Key_Escape);
    p.release("buttonUser");
    QCOMPARE(p.w<QLineEdit>("editUserName")->text(), QString());
    QVERIFY(order.isEmpty());

    // The port takes five characters of any kind.
    QLineEdit *port = p.w<QLineEdit>("editPort");
    port->clear();
    QTest::keyClicks(port, QStringLiteral("45a690"));
    QCOMPARE(port->text(), QStringLiteral("45a69"));

    p.w<QLineEdit>("editServer")->setText(QStringLiteral("10.2.3.4"));
    p.w<QLineEdit>("editUserName")->setText(QStringLiteral("201"));
    p.w<QLineEdit>("editPassword")->setText(QStringLiteral("pw\u00e9\u20ac"));
    p.w<QLineEdit>("editCidName")->setText(QString::fromUtf8("Ann\x01" "e")); // pasted control character
    p.key(Qt::Key_Return);
    QCOMPARE(p.settings.currentPage(), int(PageMenu));
    // The manager follows the phone's server and hears of it after the phone.
    QCOMPARE(order, (QStringList { QStringLiteral("user"), QStringLiteral("manager") }));

    const QDomDocument doc = readXml(dir.filePath(QStringLiteral("quorer.xml")));
    QCOMPARE(xmlValue(doc, QStringLiteral("agent"), QStringLiteral("server")), QStringLiteral("10.2.3.4"));
    QCOMPARE(xmlValue(doc, QStringLiteral("agent"), QStringLiteral("port")), QStringLiteral("45a69"));
    QCOMPARE(xmlValue(doc, QStringLiteral("agent"), QStringLiteral("uname")), QStringLiteral("201"));
    const QString passwd = xmlValue(doc, QStringLiteral("agent"), QStringLiteral("passwd"));
    QVERIFY(!passwd.contains(QStringLiteral("pw")));
    QCOMPARE(TQuorSettings::unscramblePassword(passwd), QStringLiteral("pw\u00e9\u20ac"));

    QString server, name, password, cidName, cidNum;
    quint16 portNumber = 0;
    p.settings.getUserSettings(&server, &portNumber, &name, &password, &cidName, &cidNum);
    QCOMPARE(portNumber, quint16(4569)); // unusable text: the default port
    QCOMPARE(password, QStringLiteral("pw\u00e9\u20ac"));
    QString userName;
    p.settings.getUserName(&userName);
    QCOMPARE(userName, QStringLiteral("201"));

    // The next start still reads the file.
    TQuorSettings restarted;
    restarted.loadAll();
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("quorer.xml.bad"))));
    restarted.getUserSettings(&server, &portNumber, &name, &password, &cidName, &cidNum);
    QCOMPARE(cidName, QStringLiteral("Anne"));
    QCOMPARE(password, QStringLiteral("pw\u00e9\u20ac"));
}

void TestSettingsDialog::managerPage()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    auto managerHost = [&] {
        QString host, user, secret;
        quint16 port;
        bool privacy, freePbx;
        p.settings.getManagerSettings(&host, &port, &user, &secret, &privacy, &freePbx);
        return host;
    };

    p.release("buttonManager");
    QCheckBox *usePhone = p.w<QCheckBox>("boxUsePhoneIP");
    QLineEdit *server = p.w<QLineEdit>("editManagerServer");
    QVERIFY(usePhone->isChecked());
    QVERIFY(server->isReadOnly());
    QCOMPARE(server->text(), QStringLiteral("127.0.0.1"));
    QCOMPARE(p.w<QLineEdit>("editManagerPort")->text(), QStringLiteral("5038"));
    QCOMPARE(p.w<QLineEdit>("editManagerUser")->text(), QStringLiteral("quor"));
    QCOMPARE(p.w<QLineEdit>("editManagerPasswd")->text(), TQuorSettings::builtInManagerPassword());
    QCOMPARE(p.w<QLineEdit>("editManagerPasswd")->echoMode(), QLineEdit::Password);
    QVERIFY(!p.w<QCheckBox>("boxFreePbx")->isChecked());
    QVERIFY(!p.w<QWidget>("label_Server_conf")->isVisible());
    QVERIFY(!p.w<QWidget>("editManagerServer_conf")->isVisible());

    // Unchecking frees the field and keeps its text; Apply adds the missing key.
    usePhone->setChecked(false);
    QVERIFY(!server->isReadOnly());
    QCOMPARE(server->text(), QStringLiteral("127.0.0.1"));
    server->setText(QStringLiteral("10.1.1.1"));
    p.w<QCheckBox>("boxFreePbx")->setChecked(true);
    p.release("buttonApply");
    QDomDocument doc = readXml(dir.filePath(QStringLiteral("quorer.xml")));
    QCOMPARE(xmlValue(doc, QStringLiteral("manager"), QStringLiteral("server")), QStringLiteral("10.1.1.1"));
    QCOMPARE(xmlValue(doc, QStringLiteral("manager"), QStringLiteral("use_phone_ip")), QStringLiteral("no"));
    QCOMPARE(xmlValue(doc, QStringLiteral("manager"), QStringLiteral("use_freepbx")), QStringLiteral("yes"));
    QCOMPARE(managerHost(), QStringLiteral("10.1.1.1"));
    bool freePbx = false;
    p.settings.getUseFreePBX(&freePbx);
    QVERIFY(freePbx);

    // Checking the box shows the phone's server at once, but Back keeps the model.
    const QByteArray stored = dir.read(QStringLiteral("quorer.xml"));
    p.release("buttonManager");
    QVERIFY(!server->isReadOnly());
    QCOMPARE(server->text(), QStringLiteral("10.1.1.1"));
    usePhone->setChecked(true);
    QVERIFY(server->isReadOnly());
    QCOMPARE(server->text(), QStringLiteral("127.0.0.1"));
    p.release("buttonBack");
    QCOMPARE(managerHost(), QStringLiteral("10.1.1.1"));
    QCOMPARE(dir.read(QStringLiteral("quorer.xml")), stored);
    p.release("buttonManager");
    QCOMPARE(server->text(), QStringLiteral("10.1.1.1"));
    QVERIFY(!server->isReadOnly());

    // Applied, the phone's server is used and the stored server left as it was.
    usePhone->setChecked(true);
    p.w<QLineEdit>("editManagerPasswd")->setText(QStringLiteral("amp111"));
    p.key(Qt::Key_Return);
    QCOMPARE(managerHost(), QStringLiteral("127.0.0.1"));
    doc = readXml(dir.filePath(QStringLiteral("quorer.xml")));
    QCOMPARE(xmlValue(doc, QStringLiteral("manager"), QStringLiteral("server")), QStringLiteral("10.1.1.1"));
    QCOMPARE(TQuorSettings::unscramblePassword(xmlValue(doc, QStringLiteral("manager"), QStringLiteral("passwd"))),
        QStringLiteral("amp111"));
}

void TestSettingsDialog::managerPrivacy()
{
    TestDataDir dir;
    Panel p;
    p.unlock();
    QStringList order;
    QObject::connect(&p.settings, &TQuorSettings::signalPrivacySettingsChanged,
        [&](bool on) { order << (on ? QStringLiteral("privacy on") : QStringLiteral("privacy off")); });
    QObject::connect(
        &p.settings, &TQuorSettings::signalManagerSettingsChanged, [&] { order << QStringLiteral("manager"); });

    p.release("buttonManager");
    QVERIFY(!p.w<QCheckBox>("boxPrivacy")->isChecked());
    p.key(Qt::Key_Return);
    QCOMPARE(order, QStringList { QStringLiteral("manager") });
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("quorer.dat"))));

    order.clear();
    p.release("buttonManager");
    p.w<QCheckBox>("boxPrivacy")->setChecked(true);
    p.key(Qt::Key_Return);
    QCOMPARE(order, (QStringList { QStringLiteral("privacy on"), QStringLiteral("manager") }));
    QVERIFY(p.settings.isPrivacyOn());
    const auto data = PrivacyDataFile::read(dir.filePath(QStringLiteral("quorer.dat")));
    QVERIFY(data.has_value());
    QVERIFY(data->privacy);
    QCOMPARE(data->password, kShippedPassword);

    // The flag lives in the privacy data file, not in the settings file.
    QVERIFY(!dir.read(QStringLiteral("quorer.xml")).contains("privacy"));
    TQuorSettings restarted;
    restarted.loadAll();
    QVERIFY(restarted.isPrivacyOn());
}

void TestSettingsDialog::togglesAndSetters()
{
    TestDataDir dir;
    ErrorBoxCatcher boxes;
    TQuorSettings settings;
    settings.loadAll();
    QSignalSpy options(&settings, &TQuorSettings::signalPhoneOptionsChanged);
    QSignalSpy dndSpy(&settings, &TQuorSettings::setAsteriskDND);
    QSignalSpy fwdSpy(&settings, &TQuorSettings::setAsteriskFWD);
    auto stored = [&](const char *key) {
        return xmlValue(
            readXml(dir.filePath(QStringLiteral("quorer.xml"))), QStringLiteral("options"), QLatin1String(key));
    };

    settings.toggleOnTop();
    settings.toggleBusy();
    QCOMPARE(stored("ontop"), QStringLiteral("yes"));
    QCOMPARE(stored("busy"), QStringLiteral("yes"));
    QCOMPARE(stored("traicon"), QStringLiteral("yes")); // the rest unchanged
    QCOMPARE(options.count(), 2);

    settings.setForward(true, QStringLiteral("305"), QStringLiteral("CFB"));
    QCOMPARE(stored("forward"), QStringLiteral("yes"));
    QCOMPARE(stored("fwd_num"), QStringLiteral("305"));
    QCOMPARE(stored("asterisk_fwd_all"), QStringLiteral("no"));
    QCOMPARE(stored("asterisk_fwd_busy"), QStringLiteral("yes"));

    // DND is refused while forward is on, and the other way round.
    settings.applyDND();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).first, QStringLiteral("Do Not Disturb"));
    QCOMPARE(dndSpy.count(), 0);
    settings.applyForward(); // forward off
    QCOMPARE(fwdSpy.count(), 1);
    QCOMPARE(stored("forward"), QStringLiteral("no"));
    settings.applyDND(); // DND on
    QCOMPARE(dndSpy.count(), 1);
    QCOMPARE(stored("dnd"), QStringLiteral("yes"));
    settings.applyForward();
    QCOMPARE(boxes.boxes.size(), 2);
    QCOMPARE(boxes.boxes.at(1).second, QStringLiteral("DND is selected, \nDisable DND before enabling Call forward"));
    settings.setDNDState(false);
    settings.setForward(false, QString(), QStringLiteral("none"));
    settings.applyForward(); // no number
    QCOMPARE(boxes.boxes.size(), 3);
    QCOMPARE(boxes.boxes.at(2).second,
        QStringLiteral("No forward Number entered,\n please fill the number in the forward settings"));
    QCOMPARE(fwdSpy.count(), 1);
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
