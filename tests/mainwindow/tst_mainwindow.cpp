// The main window itself: its layout file, the key table and the shortcuts,
// the option texts of its menus, the tray icon, the ways out and the help.

#include <QAction>
#include <QDockWidget>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QWebEngineView>
#include <QWhatsThisClickedEvent>

#include "ManagerFixture.h"
#include "core/CPushButton.h"
#include "core/Paths.h"
#include "extensions/QuorExtensions.h"
#include "mainwindow/HelpLinks.h"
#include "mainwindow/LayoutFile.h"
#include "mainwindow/TQuorManager.h"
#include "mainwindow/TQuorQMmenu.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

namespace {

QAction *actionNamed(TQuorManager *window, const QString &text)
{
    const QList<QAction *> actions = window->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    for (QAction *action : actions) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QByteArray geometryOf(const QSize &size)
{
    QWidget window;
    window.resize(size);
    return window.saveGeometry();
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void layoutRoundTrip();
    void layoutReadErrors_data();
    void layoutReadErrors();
    void layoutWriteFailures();
    void keyTable_data();
    void keyTable();
    void shortcutsFireOnce_data();
    void shortcutsFireOnce();
    void optionTexts_data();
    void optionTexts();
    void trayOffOnOn();
    void quitPaths_data();
    void quitPaths();
    void helpLinks();
};

// Hiding the phone writes the file; the next start restores it hidden while
// the strip keeps its start-up look.
void TestMainWindow::layoutRoundTrip()
{
    ManagerFixture f;
    f.start();
    f.manager->resize(700, 500);
    f.manager->showPhone();
    QVERIFY(f.manager->phoneDock()->isHidden());
    const QByteArray bytes = f.data.read(QStringLiteral(".geo"));
    QVERIFY(bytes.size() > 1);
    QCOMPARE(int(quint8(bytes.at(0))), f.manager->saveGeometry().size());

    f.manager.reset();
    f.manager = std::make_unique<TQuorManager>(f.phone.get(), f.settings.get());
    QVERIFY(f.boxes.isEmpty());
    QVERIFY(f.manager->phoneDock()->isHidden());
    QCOMPARE(f.manager->size(), QSize(700, 500));
    QCOMPARE(f.manager->menuStrip()->phoneButton->toolTip(), QStringLiteral("Hide the Phone"));
    // The first press shows the dock, and the strip already says so.
    f.manager->showPhone();
    QVERIFY(!f.manager->phoneDock()->isHidden());
    QCOMPARE(f.manager->menuStrip()->phoneButton->toolTip(), QStringLiteral("Hide the Phone"));
}

void TestMainWindow::layoutReadErrors_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("told");
    QTest::addColumn<QSize>("size");

    const QByteArray geometry = geometryOf(QSize(640, 480));
    const QByteArray good = char(geometry.size()) + geometry;
    QTest::newRow("no file") << QByteArray() << false << QSize();
    QTest::newRow("empty file") << QByteArray("") << true << QSize();
    QTest::newRow("length byte beyond the data") << char(geometry.size() + 1) + geometry << true << QSize();
    QTest::newRow("geometry without a state") << good << true << QSize();
    QTest::newRow("geometry rejected") << QByteArray("\x03" "abcstate") << true << QSize();
    QTest::newRow("state rejected: the geometry stays") << good + "state" << true << QSize(640, 480);
}

void TestMainWindow::layoutReadErrors()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, told);
    QFETCH(QSize, size);

    ManagerFixture f;
    if (!file.isNull())
        f.data.write(QStringLiteral(".geo"), file);
    f.start();
    const QStringList expected
        = told ? QStringList { QStringLiteral("Error reading %1").arg(Paths::dataDir() + QStringLiteral(".geo")) }
               : QStringList {};
    QCOMPARE(f.boxes, expected);
    if (size.isValid())
        QCOMPARE(f.manager->size(), size);
}

// A refused write leaves the file as it was; a directory in the way cannot be opened.
void TestMainWindow::layoutWriteFailures()
{
    TestDataDir data;
    const QString path = data.write(QStringLiteral(".geo"), "old");
    QString error;
    QCOMPARE(LayoutFile::write(path, { QByteArray(256, 'g'), "state" }, &error), LayoutFile::WriteResult::WriteFailed);
    QCOMPARE(data.read(QStringLiteral(".geo")), QByteArray("old"));
    QCOMPARE(LayoutFile::write(path, { QByteArray(255, 'g'), "state" }, &error), LayoutFile::WriteResult::Ok);
    QCOMPARE(data.read(QStringLiteral(".geo")), char(255) + QByteArray(255, 'g') + "state");
    QVERIFY(QFile::remove(path) && QDir().mkpath(path));
    QCOMPARE(LayoutFile::write(path, { "g", "state" }, &error), LayoutFile::WriteResult::OpenFailed);
}

void TestMainWindow::keyTable_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("muted");

    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    const int alt = Qt::AltModifier;
    const int shift = Qt::ShiftModifier;
    QTest::newRow("F1 with Alt shows the activity") << int(Qt::Key_F1) << alt << "frameActivity" << false;
    QTest::newRow("F2 with any modifier shows the keypad") << int(Qt::Key_F2) << ctrl + shift << "frameKeypad" << false;
    QTest::newRow("F3 shows the missed calls") << int(Qt::Key_F3) << none << "frameMissed" << false;
    QTest::newRow("Alt+C shows the contacts") << int(Qt::Key_C) << alt << "frameContacts" << false;
    QTest::newRow("Ctrl+Shift+C does nothing") << int(Qt::Key_C) << ctrl + shift << "frameDialed" << false;
    QTest::newRow("Alt+S shows the settings") << int(Qt::Key_S) << alt << "frameSettings" << false;
    QTest::newRow("Alt+L shows the messages") << int(Qt::Key_L) << alt << "frameMessages" << false;
    QTest::newRow("Shift+M toggles mute") << int(Qt::Key_M) << shift << "frameDialed" << true;
}

// The handler's own rows, reached without the action shortcuts.
void TestMainWindow::keyTable()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, page);
    QFETCH(bool, muted);

    ManagerFixture f;
    f.start();
    f.phone->showDialed();
    QKeyEvent press(QEvent::KeyPress, key, Qt::KeyboardModifiers(modifiers));
    QCoreApplication::sendEvent(f.manager.get(), &press);
    QCOMPARE(f.phone->currentPage()->objectName(), page);
    QCOMPARE(f.phone->isMuted(), muted);
}

void TestMainWindow::shortcutsFireOnce_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("action");

    // Each shares its letter with a menu title's mnemonic.
    QTest::newRow("Alt+F: forward, not the File menu") << int(Qt::Key_F) << int(Qt::AltModifier) << "Enable &Forward";
    QTest::newRow("Alt+L: logs, not the Logs menu") << int(Qt::Key_L) << int(Qt::AltModifier) << "&Logs";
    QTest::newRow("Alt+V: voicemail, not the View menu") << int(Qt::Key_V) << int(Qt::AltModifier) << "&Voicemail";
}

void TestMainWindow::shortcutsFireOnce()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, action);

    ManagerFixture f;
    f.start();
    f.manager->show();
    f.manager->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(f.manager.get()));
    QAction *target = actionNamed(f.manager.get(), action);
    QVERIFY(target);
    QSignalSpy triggered(target, &QAction::triggered);
    QTest::keyClick(f.manager.get(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(triggered.size(), 1);
}

void TestMainWindow::optionTexts_data()
{
    QTest::addColumn<int>("change");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("after");

    QTest::newRow("DND read from the PBX") << 0 << "Enable &DND" << "Disable &DND";
    QTest::newRow("forward read from the PBX") << 1 << "Enable &Forward" << "Disable &Forward";
    QTest::newRow("busy toggled") << 2 << "Enable &Busy if speaking" << "Disable &Busy if speaking";
    QTest::newRow("on top toggled") << 3 << "Enable &OnTop" << "Disable &OnTop";
    QTest::newRow("tray switched off") << 4 << "Disable &TrayIcon" << "Enable &TrayIcon";
}

void TestMainWindow::optionTexts()
{
    QFETCH(int, change);
    QFETCH(QString, before);
    QFETCH(QString, after);

    ManagerFixture f;
    f.start();
    // Refreshed once built: no ampersand in the agent text from then on.
    QVERIFY(actionNamed(f.manager.get(), QStringLiteral("Agent Login")));
    QVERIFY(actionNamed(f.manager.get(), before));
    switch (change) {
    case 0:
        f.settings->setDNDState(true);
        break;
    case 1:
        f.settings->setForward(true, QStringLiteral("200"), QStringLiteral("CF"));
        break;
    case 2:
        f.settings->toggleBusy();
        break;
    case 3:
        f.settings->toggleOnTop();
        break;
    case 4:
        f.settings->toggleTrayIcon();
        break;
    }
    QVERIFY(actionNamed(f.manager.get(), after));
    QVERIFY(!actionNamed(f.manager.get(), before));
}

void TestMainWindow::trayOffOnOn()
{
    ManagerFixture f;
    f.start();
    QVERIFY(f.manager->trayIcon());
    f.settings->toggleTrayIcon();
    QVERIFY(!f.manager->trayIcon());
    f.settings->toggleTrayIcon();
    QSystemTrayIcon *tray = f.manager->trayIcon();
    QVERIFY(tray);
    QCOMPARE(tray->contextMenu()->actions().size(), 4);
    emit f.settings->signalPhoneOptionsChanged();
    QCOMPARE(f.manager->trayIcon(), tray);

    // The new icon is connected, once: a click restores the window.
    f.manager->hide();
    emit tray->activated(QSystemTrayIcon::MiddleClick);
    QVERIFY(f.manager->isHidden());
    emit tray->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!f.manager->isHidden());
}

void TestMainWindow::quitPaths_data()
{
    QTest::addColumn<int>("path");
    QTest::newRow("Quit action") << 0;
    QTest::newRow("close button") << 1;
    QTest::newRow("strip's exit button") << 2;
    QTest::newRow("quit signal, twice") << 3;
}

// Every way out writes the layout, then the groups, and only then hands over
// to the phone's quit routine, once.
void TestMainWindow::quitPaths()
{
    QFETCH(int, path);

    ManagerFixture f;
    f.ami.addLoginRule(true);
    f.start();
    QVERIFY(f.waitLoggedIn());
    const QString layout = Paths::dataDir() + QStringLiteral(".geo");
    const QString groups = Paths::dataFile(QStringLiteral("extgroups.xml"));
    QFile::remove(layout);
    QFile::remove(groups);
    QStringList atExit;
    f.phone->setExitFunction([&](int status) {
        atExit << QString::number(status) << QString::number(QFile::exists(layout))
               << QString::number(QFile::exists(groups));
    });
    switch (path) {
    case 0:
        actionNamed(f.manager.get(), QStringLiteral("&Quit"))->trigger();
        break;
    case 1:
        f.manager->close();
        break;
    case 2:
        f.manager->menuStrip()->exitButton->click();
        break;
    case 3:
        f.manager->quit();
        f.manager->quit();
        break;
    }
    QTRY_COMPARE(atExit, (QStringList { QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("1") }));
}

// A link of a What's This text, clicked anywhere in the window, and the
// strip's Help button each open a help window of their own.
void TestMainWindow::helpLinks()
{
    ManagerFixture f;
    f.start();
    const QString href = QStringLiteral("https://help.quor.example/en/quormanager-help/quormanager-help/menu.php");
    QWhatsThisClickedEvent click(href);
    QCoreApplication::sendEvent(f.manager->extensions(), &click);
    QPointer<QuorHelp> first = f.manager->helpWindow();
    QVERIFY(first);
    QCOMPARE(first->webView->url(), HelpLinks::linkUrl(QUrl(href)));

    f.manager->menuStrip()->helpButton->click();
    QVERIFY(f.manager->helpWindow() != first);
    QCOMPARE(f.manager->helpWindow()->webView->url(), HelpLinks::mainPage());
    QCOMPARE(f.manager->helpWindow()->windowTitle(), QStringLiteral("Quor Manager Help"));
    QVERIFY(first);
    first->close();
    QTRY_VERIFY(!first);
}

QUOR_MAINWINDOW_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
