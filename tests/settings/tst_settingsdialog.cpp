// The settings panel's spine: the administrator lock and its password, load
// problems, the pages across a restart, and the manager page.

#include <QDir>
#include <QTest>

#include "settings/PrivacyDataFile.h"
#include "SettingsTestHelpers.h"

class TestSettingsDialog : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }
    void lockCycle();
    void passwordChange_data();
    void passwordChange();
    void loadProblemsAreToldOnce();
    void pagesSurviveARestart_data();
    void pagesSurviveARestart();
    void managerPage();
};

void TestSettingsDialog::lockCycle()
{
    TestDataDir dir;
    Panel p({}, false);
    QList<QPushButton *> menu = p.w("frameSelect")->findChildren<QPushButton *>();
    auto pagesEnabled = [&] {
        return std::count_if(menu.cbegin(), menu.cend(), [](QPushButton *b) { return b->isEnabled(); });
    };
    // Every start is locked: the admin and about pages alone are open.
    QVERIFY(p.settings.isLocked());
    QCOMPARE(pagesEnabled(), 2);

    p.unlock(u"Fendro"_s);
    QVERIFY(p.settings.isLocked());
    p.unlock();
    QVERIFY(!p.settings.isLocked());
    QCOMPARE(pagesEnabled(), menu.size());
    QVERIFY(p.w("boxPrivacy")->isEnabled());
    p.release("buttonAdmin");
    p.check("boxLockSettings", true);
    p.release("buttonApply");
    QVERIFY(p.settings.isLocked());
    QCOMPARE(pagesEnabled(), 2);
    QVERIFY(!p.w("boxPrivacy")->isEnabled());
    QCOMPARE(p.log.texts,
        (QStringList { u"Wrong password (error)"_s, u"Settings unlocked"_s, u"Settings Locked (error)"_s }));
}

void TestSettingsDialog::passwordChange_data()
{
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::addColumn<bool>("alsoLock");
    QTest::addColumn<bool>("fileBlocked");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("passwordAfter");

    const QString changed = u"Password changed"_s;
    QTest::newRow("change, then lock") << u"n3w"_s << u"n3w"_s << true << false
                                       << QStringList { changed, u"Settings Locked (error)"_s } << u"n3w"_s;
    QTest::newRow("mismatch does not lock") << u"abc"_s << u"abd"_s << true << false
                                            << QStringList { u"Passwords doesn't match (error)"_s }
                                            << kShippedPassword;
    QTest::newRow("outside latin-1") << u"pass\u20ac"_s << u"pass\u20ac"_s << false << false
                                     << QStringList { u"Wrong new password (error)"_s } << kShippedPassword;
    // A directory in the file's place makes every write fail, even for root.
    QTest::newRow("file cannot be written")
        << u"x"_s << u"x"_s << false << true
        << QStringList { changed, u"Could not write privacy data file (error)"_s } << u"x"_s;
}

void TestSettingsDialog::passwordChange()
{
    QFETCH(QString, first);
    QFETCH(QString, second);
    QFETCH(bool, alsoLock);
    QFETCH(bool, fileBlocked);
    QFETCH(QStringList, messages);
    QFETCH(QString, passwordAfter);
    TestDataDir dir;
    const QString dat = dir.filePath(u"quorer.dat"_s);
    Panel p;
    if (fileBlocked)
        QVERIFY(QDir().mkpath(dat + u"/x"_s));
    p.log.texts.clear();

    p.release("buttonAdmin");
    p.check("boxChangePasswd", true);
    p.type("editLockNewPasswd1", first);
    p.type("editLockNewPasswd2", second);
    p.check("boxLockSettings", alsoLock);
    p.key(Qt::Key_Return);
    QCOMPARE(p.log.texts, messages);
    QCOMPARE(p.page(), int(PageMenu));
    const bool changed = passwordAfter != kShippedPassword;
    QCOMPARE(p.checked("boxChangePasswd"), !changed);
    if (!fileBlocked) {
        const auto data = PrivacyDataFile::read(dat);
        QCOMPARE(data.has_value(), changed);
        // The shipped file's leading values are carried over.
        if (changed)
            QVERIFY(data->password == passwordAfter && data->format == 1 && data->key == 0x2b71);
    }

    // Locked, only the new password opens it.
    if (!p.settings.isLocked()) {
        p.release("buttonAdmin");
        p.check("boxLockSettings", true);
        p.key(Qt::Key_Return);
    }
    if (changed) {
        p.unlock(kShippedPassword);
        QVERIFY(p.settings.isLocked());
    }
    p.unlock(passwordAfter);
    QVERIFY(!p.settings.isLocked());
}

void TestSettingsDialog::loadProblemsAreToldOnce()
{
    TestDataDir dir;
    dir.write(u"quorer.xml"_s, "<!DOCTYPE xmlreader>\n<quorer><agent><server>10.0.0.5</ser");
    dir.write(u"quorer.dat"_s, QByteArray(20, 'x'));
    TQuorSettings settings;
    settings.loadAll();
    // Told when someone listens, and only once.
    MessageLog log(&settings);
    QTRY_COMPARE(log.texts.size(), 2);
    QVERIFY(log.texts.at(0).contains(u"quorer.xml.bad"_s));
    QCOMPARE(log.texts.at(1), u"Could not open privacy data file (error)"_s);
    QTest::qWait(0);
    QCOMPARE(log.texts.size(), 2);
}

void TestSettingsDialog::pagesSurviveARestart_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QStringList>("values"); // "widget=text", a box "widget=on" or "widget=off"
    QTest::newRow("user") << "buttonUser"_ba
                          << QStringList { "editServer=10.2.3.4", "editPort=45a69", "editUserName=201",
                                 u"editPassword=pw\u00e9\u20ac"_s, "editCidName=Anne", "editCidNum=555" };
    QTest::newRow("options") << "buttonOptions"_ba
                             << QStringList { "boxOnTop=on", "boxBusy=on", "boxSysTray=off", "boxVM=on",
                                    "boxFWDvm=on", "Box_noans=on", "editFwdNum=305", "editDNDfamily=D1",
                                    "editDNDNumber=*79", "editFWDfam_1=F1", "editFWDfam_2=F2", "editFWDfam_3=F3",
                                    "editVmSendPreffix=*9", "parkEdit=700", "editVmNumber=*97",
                                    "editVmUserName=mbox", "editVmPassword=1234" };
    QTest::newRow("manager") << "buttonManager"_ba
                             << QStringList { "boxUsePhoneIP=off", "editManagerServer=10.1.1.1",
                                    "editManagerPort=5039", "editManagerUser=u7", "editManagerPasswd=p7",
                                    "boxFreePbx=on", "boxPrivacy=on" };
    QTest::newRow("codecs") << "buttonCodecs"_ba
                            << QStringList { "boxGSM=off", "boxSPEEX=off", "boxILBC=on", "radioULAW=on",
                                   "boxSpeexSettings=off", "boxSpeexEnhanced=off", "editSpeexQuality=7",
                                   "editSpeexCbr=8", "boxSpeexVbr=on", "editSpeexAbr=16", "editSpeexComplexity=5" };
}

void TestSettingsDialog::pagesSurviveARestart()
{
    QFETCH(QByteArray, button);
    QFETCH(QStringList, values);
    TestDataDir dir;
    {
        Panel p;
        p.release(button);
        for (const QString &v : std::as_const(values)) {
            QWidget *w = p.w(v.section(u'=', 0, 0).toLatin1());
            if (auto *edit = qobject_cast<QLineEdit *>(w))
                edit->setText(v.section(u'=', 1));
            else
                static_cast<QAbstractButton *>(w)->setChecked(v.endsWith(u"=on"_s));
        }
        p.release("buttonApply");
        QCOMPARE(p.page(), int(PageMenu));
    }
    // No password is stored as typed.
    for (const QString &v : std::as_const(values)) {
        if (v.contains(u"Passw"_s, Qt::CaseInsensitive))
            QVERIFY2(!dir.read(u"quorer.xml"_s).contains(v.section(u'=', 1).toUtf8()), qPrintable(v));
    }
    // The next start shows the page as it was applied.
    Panel p;
    p.release(button);
    QStringList shown;
    for (const QString &v : std::as_const(values)) {
        QWidget *w = p.w(v.section(u'=', 0, 0).toLatin1());
        const auto *edit = qobject_cast<QLineEdit *>(w);
        shown << v.section(u'=', 0, 0) + u'='
                + (edit ? edit->text() : static_cast<QAbstractButton *>(w)->isChecked() ? u"on"_s : u"off"_s);
    }
    QCOMPARE(shown, values);
}

void TestSettingsDialog::managerPage()
{
    TestDataDir dir;
    writeSettings(dir, "<manager><use_phone_ip>no</use_phone_ip><server>10.1.1.1</server></manager>");
    Panel p;
    QStringList order;
    connect(&p.settings, &TQuorSettings::signalPrivacySettingsChanged,
        [&](bool on) { order << u"privacy %1"_s.arg(on); });
    connect(&p.settings, &TQuorSettings::signalManagerSettingsChanged, [&] { order << u"manager"_s; });
    QLineEdit *server = p.w<QLineEdit>("editManagerServer");

    // Applied, the phone's server is used and the stored server left as it was;
    // the privacy flag, unchanged, is not written.
    p.release("buttonManager");
    p.check("boxUsePhoneIP", true);
    QCOMPARE(server->text(), u"127.0.0.1"_s);
    p.type("editManagerPasswd", u"amp111"_s);
    p.key(Qt::Key_Return);
    QCOMPARE(order, QStringList { u"manager"_s });
    QVERIFY(!QFile::exists(dir.filePath(u"quorer.dat"_s)));
    QCOMPARE(stored("manager", "server"), u"10.1.1.1"_s);
    QCOMPARE(stored("manager", "passwd"), TQuorSettings::scramblePassword(u"amp111"_s));

    // The privacy flag goes to the privacy data file, before the manager hears.
    p.release("buttonManager");
    p.check("boxPrivacy", true);
    order.clear();
    p.key(Qt::Key_Return);
    QCOMPARE(order, (QStringList { u"privacy 1"_s, u"manager"_s }));
    const auto data = PrivacyDataFile::read(dir.filePath(u"quorer.dat"_s));
    QVERIFY(data && data->privacy && data->password == kShippedPassword);
    QVERIFY(!dir.read(u"quorer.xml"_s).contains("privacy"));
}

QTEST_MAIN(TestSettingsDialog)
#include "tst_settingsdialog.moc"
