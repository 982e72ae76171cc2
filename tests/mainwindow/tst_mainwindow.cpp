// The main window against a fake AMI server: login and start-up queries,
// settings changes, its layout file, menus, tray, ways out and help.

#include <QCheckBox>
#include <QClipboard>
#include <QDockWidget>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTableWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebEngineView>
#include <QWhatsThisClickedEvent>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include "core/CPushButton.h"
#include "core/Paths.h"
#include "extensions/TQuorGroupsEdit.h"
#include "mainwindow/BalloonRunner.h"
#include "mainwindow/BoxRunner.h"
#include "mainwindow/HelpLinks.h"
#include "mainwindow/LayoutFile.h"
#include "mainwindow/QuorHelp.h"
#include "mainwindow/QuorQueue.h"
#include "mainwindow/TQuorQMmenu.h"
#include "mainwindow/TUpdate.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableRow.h"
#include "softphone/PhoneMessages.h"
#include "testsupport/FakePbx.h"
#include "testsupport/LoopbackHttpServer.h"
#include "testsupport/ManagerFixture.h"

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void loginAndGateway_data();
    void loginAndGateway();
    void refusedLogin();
    void refusedLoginClosed();
    void refusalStandsOverRegistrations();
    void settingsWhileConnecting();
    void deadConnectionLogged();
    void pbxUpLater();
    void socketErrors_data();
    void socketErrors();
    void messageLine();
    void settingsChanges_data();
    void settingsChanges();
    void layoutRoundTrip();
    void layoutReadErrors_data();
    void layoutReadErrors();
    void layoutWriteFailures();
    void layoutStateAndViewMenu();
    void stripCells();
    void actionsReachThePhone();
    void keyTable();
    void altKeys_data();
    void altKeys();
    void menuTextsAndTray();
    void quitPaths();
    void helpLinks();
};

void TestMainWindow::loginAndGateway_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QByteArray>("login");
    const auto row = [](const char *name, const char *user, const char *secret, const QByteArray &login) {
        QTest::newRow(name) << QString(user) << QString(secret) << login;
    };
    row("settings' user and secret", "quor", "lavo", "UserName: quor\r\nSecret: lavo");
    row("line ends in the values are dropped, blanks kept", "quor\r\nAction: Originate", "a b",
        "UserName: quorAction: Originate\r\nSecret: a b");
}

void TestMainWindow::loginAndGateway()
{
    QFETCH(QString, user);
    QFETCH(QString, secret);
    QFETCH(QByteArray, login);
    ManagerFixture f;
    f.ami.addLoginRule(true);
    // The stored secret is scrambled; an empty one is written as such.
    f.start({ { "manager/uname", user }, { "manager/passwd", TQuorSettings::scramblePassword(secret) } });
    QVERIFY(f.waitLoggedIn());
    const QByteArray expected = "\r\nAction: Login\r\n" + login
        + "\r\nActionID: logIn\r\n\r\n"
          "Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"
          "Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"
          "Action: QueueStatus\r\nActionID: QueueStatus\r\n\r\n"
          "Action: Command\r\nCommand: dahdi show status\r\nActionID: dahdiStatus\r\n\r\n"
          "Action: Command\r\nCommand: zap show status\r\nActionID: zapStatus\r\n\r\n"
          "Action: Command\r\nCommand: sip show peers\r\nActionID: SIPpeers\r\n\r\n"
          "Action: Command\r\nCommand: iax2 show peers\r\nActionID: IAXPeers\r\n\r\n";
    QTRY_VERIFY(f.ami.received().size() >= expected.size());
    QCOMPARE(f.ami.received().left(expected.size()), expected);
    QCOMPARE(f.phone->messageLabel()->text(), "Manager: Authentication accepted");
    QCOMPARE(f.phone->messageLabel()->styleSheet(), PhoneMessages::styleSheet(MessageStatus));
    QVERIFY(f.manager->groupsEdit()->unsorted);

    // Texts from elsewhere pass only as one action; the last marks the end.
    for (const char *text : { "Action: Ping\r\n\r\nAction: Injected\r\n\r\n", "Action: Ping\nAction: Injected\r\n\r\n",
             "Action: Ping\rActionID: a\r\n\r\n", "Action: Ping\r\nActionID: one\r\n\r\n" })
        emit f.phone->signalExtCmd(text);
    QTRY_VERIFY(f.ami.received().contains("Action: Ping\r\nActionID: one\r\n\r\n"));
    QVERIFY(!f.ami.received().contains("Injected") && !f.ami.received().contains("ActionID: a\r\n"));
}

// The connection stays open and nothing more is asked on it.
void TestMainWindow::refusedLogin()
{
    ManagerFixture f;
    f.ami.addLoginRule(false);
    QSignalSpy connections(&f.ami, &FakeAmiServer::clientConnected);
    f.start();
    QTRY_VERIFY(f.data.read("quorer.log").contains("Manager: Authentication failed"));
    QTest::qWait(300);
    QVERIFY(!f.manager->isLoggedIn() && f.ami.hasClient());
    QCOMPARE(f.phone->messageLabel()->text(), "Manager: Authentication failed");
    QCOMPARE(f.phone->messageLabel()->styleSheet(), PhoneMessages::styleSheet(MessageError));
    QCOMPARE(f.actionIds(), QStringList { "logIn" });
    QCOMPARE(connections.size(), 1);
}

// A PBX that refuses the login and closes the connection is not pressed:
// the next try comes a minute later, the refusal stays on show and the tray
// balloon comes once. New manager settings are tried at once; a PBX restart
// after a successful login is retried at the short pace.
void TestMainWindow::refusedLoginClosed()
{
    ManagerFixture f;
    bool refuse = true;
    QList<qint64> logins; // when each Login arrived
    QElapsedTimer clock;
    clock.start();
    f.ami.addResponder("Login", [&](const QStringList &) -> QByteArray {
        logins << clock.elapsed();
        return refuse ? f.ami.refuseLogin() : FakeAmiServer::loginReply(true);
    });
    QStringList balloons;
    BalloonRunner::set([&](QSystemTrayIcon *, const QString &title, const QString &text, QSystemTrayIcon::MessageIcon) {
        balloons << title + ": " + text;
    });
    const auto cleanup = qScopeGuard([] { BalloonRunner::set({}); });
    f.start();
    f.phone->setMessageHideDelay(300);
    f.manager->setMessageHideDelay(300);
    const QLabel *line = f.phone->messageLabel();
    const QString refusal = "Manager: Authentication failed";
    QTRY_COMPARE(f.phone->labelAsterisk->text(), "Disconnected");
    QTest::qWait(4500);
    QCOMPARE(logins.size(), 1);
    QCOMPARE(line->text(), refusal);
    QCOMPARE(line->styleSheet(), PhoneMessages::styleSheet(MessageError));
    QCOMPARE(balloons, QStringList { "ERROR: Authentication failed" });

    // New settings are tried at once: both retries are far beyond the limit,
    // so only the immediate attempt meets it. The refusals that follow are
    // spaced by the refused delay.
    f.manager->router()->setRetryDelays(30000, 1500);
    logins.clear();
    f.openPage("buttonManager");
    f.settings->findChild<QLineEdit *>("editManagerPasswd")->setText("another");
    f.settings->settingsApply();
    QTRY_COMPARE_WITH_TIMEOUT(logins.size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(logins.size(), 3, 15000);
    for (int i = 1; i < logins.size(); ++i)
        QVERIFY2(logins.at(i) - logins.at(i - 1) >= 1400, qPrintable(QString::number(logins.at(i) - logins.at(i - 1))));
    QCOMPARE(line->text(), refusal);
    QCOMPARE(balloons.size(), 2); // once more for the new settings' refusal

    refuse = false;
    QVERIFY(f.waitLoggedIn(15000));
    // After an accepted login a drop is retried at the short pace, not the refused one.
    f.manager->router()->setRetryDelays(100, 30000);
    QSignalSpy connections(&f.ami, &FakeAmiServer::clientConnected);
    f.ami.dropClient();
    QTRY_COMPARE_WITH_TIMEOUT(connections.size(), 1, 10000);
    QVERIFY(f.waitLoggedIn());
    QCOMPARE(balloons.size(), 2);
}

// The refusal is what the message line shows while the PBX keeps refusing:
// the phone's registration refreshes do not write over it, and a message that
// is news shows for its time, then the refusal is back. An accepted login, or
// new manager settings, end it.
void TestMainWindow::refusalStandsOverRegistrations()
{
    FakePbx registrar;
    registrar.addUser("201", "s3cret");
    registrar.setRefresh(1); // a refresh every second
    ManagerFixture f;
    bool refuse = true;
    f.ami.addResponder(
        "Login", [&](const QStringList &) { return refuse ? f.ami.refuseLogin() : FakeAmiServer::loginReply(true); });
    f.start({ { "agent/server", "127.0.0.1" }, { "agent/port", QString::number(registrar.port()) },
        { "agent/uname", "201" }, { "agent/passwd", TQuorSettings::scramblePassword("s3cret") } });
    f.manager->router()->setRetryDelays(500, 1500); // before the first refusal starts its timer
    f.phone->setMessageHideDelay(300);
    f.manager->setMessageHideDelay(300);
    const QLabel *line = f.phone->messageLabel();
    const QString refusal = "Manager: Authentication failed";
    const auto rowsOf = [&](const QString &text) {
        const QList<TQuorTableRow *> rows = f.phone->messagesTable()->rows();
        return std::count_if(rows.cbegin(), rows.cend(), [&](const TQuorTableRow *r) { return r->text() == text; });
    };
    QTRY_COMPARE(f.phone->voip()->account().registrationState(), TVoipAccount::Registered);
    QTRY_COMPARE(line->text(), refusal);

    // Four refreshes and two more refusals: the line never leaves the refusal.
    const int acks = registrar.regAcks();
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 4000) {
        QCOMPARE(line->text(), refusal);
        QTest::qWait(20);
    }
    QVERIFY2(registrar.regAcks() >= acks + 3, qPrintable(QString::number(registrar.regAcks() - acks)));
    QCOMPARE(rowsOf("Registered"), 1);
    QCOMPARE(f.data.read("quorer.log").count("Registered at 127.0.0.1"), 1);

    // News shows, then the refusal comes back; a registration after a
    // rejection is news again.
    registrar.setRegistrarFault(FakePbx::RegistrarFault::Rejecting);
    QTRY_COMPARE(rowsOf("Registration rejected: Registration Refused"), 1);
    QTRY_COMPARE(line->text(), refusal);
    registrar.setRegistrarFault(FakePbx::RegistrarFault::None);
    f.phone->voip()->registerAccount();
    QTRY_COMPARE(rowsOf("Registered"), 2);
    QTRY_COMPARE(line->text(), refusal);

    // The PBX accepts at the next try: the refusal goes with it.
    refuse = false;
    QVERIFY(f.waitLoggedIn(15000));
    QTRY_COMPARE(line->text(), QString());
    QTest::qWait(500);
    QCOMPARE(line->text(), QString());

    // Refused again, then new settings: the refusal goes at once, and the
    // errors of the new settings come and go over a blank line.
    refuse = true;
    f.ami.dropClient();
    QTRY_COMPARE(line->text(), refusal);
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const QString closedPort = QString::number(closed.serverPort());
    closed.close();
    f.openPage("buttonManager");
    f.settings->findChild<QLineEdit *>("editManagerPort")->setText(closedPort);
    f.settings->settingsApply();
    QVERIFY(line->text() != refusal);
    QTRY_COMPARE(line->text(), QString());
    QTest::qWait(1000);
    QVERIFY(line->text() != refusal);
}

// New manager settings applied while the attempt to the old host is still in
// its handshake: the attempt is abandoned, the new host is reached at once,
// and the old host never sees a Login.
void TestMainWindow::settingsWhileConnecting()
{
    // A host slow to answer: its one-place queue holds a connection nobody
    // accepts, so the kernel drops the program's SYN until there is room.
    QTcpServer slow;
    slow.setListenBacklogSize(0);
    QVERIFY(slow.listen(QHostAddress::LocalHost));
    slow.pauseAccepting();
    QTcpSocket filler;
    filler.connectToHost(QHostAddress::LocalHost, slow.serverPort());
    QVERIFY(filler.waitForConnected(2000));
    int oldConnections = 0;
    QByteArray oldReceived;
    connect(&slow, &QTcpServer::newConnection, &slow, [&] {
        while (QTcpSocket *s = slow.nextPendingConnection()) {
            ++oldConnections;
            connect(s, &QTcpSocket::readyRead, s, [&oldReceived, s] { oldReceived += s->readAll(); });
        }
    });

    ManagerFixture f;
    QStringList logins; // the user and secret of each Login at the new host
    f.ami.addResponder("Login", [&](const QStringList &action) -> QByteArray {
        logins << FakeAmiServer::valueOf(action, "UserName") + ' ' + FakeAmiServer::valueOf(action, "Secret");
        return FakeAmiServer::loginReply(true);
    });
    f.start({ { "manager/port", QString::number(slow.serverPort()) } });
    // No retry may reach the new host within the test: only an immediate attempt.
    f.manager->router()->setRetryDelays(60000, 60000);
    QTRY_COMPARE(f.manager->socket()->state(), QAbstractSocket::ConnectingState);
    QTest::qWait(200); // the first SYN went out and was dropped

    f.openPage("buttonManager");
    f.settings->findChild<QLineEdit *>("editManagerPort")->setText(QString::number(f.ami.port()));
    f.settings->findChild<QLineEdit *>("editManagerUser")->setText("admin");
    f.settings->findChild<QLineEdit *>("editManagerPasswd")->setText("fresh");
    f.settings->settingsApply();
    // From now on the old host would complete a handshake still being tried.
    slow.resumeAccepting();
    QTRY_COMPARE_WITH_TIMEOUT(logins, QStringList { "admin fresh" }, 5000);
    QVERIFY(f.waitLoggedIn());
    // A live attempt's SYN is sent again 1 s and 3 s after the first.
    QTest::qWait(3500);
    QCOMPARE(oldConnections, 1); // the filler
    QCOMPARE(oldReceived, QByteArray());
    QCOMPARE(logins.size(), 1);
}

// A PBX that hangs without closing: what is sent to it goes unacknowledged
// until the system gives up on the connection, and the log says so, once.
// The message line shows nothing of its own for a time-out.
void TestMainWindow::deadConnectionLogged()
{
#ifndef TCP_USER_TIMEOUT
    QSKIP("this system has no user time-out to shorten");
#else
    ManagerFixture f;
    f.ami.addLoginRule(true);
    f.start();
    QVERIFY(f.waitLoggedIn());
    QTest::qWait(200); // the start-up queries are answered and read
    // The program's 80 s, shortened on its own socket.
    const int timeoutMs = 1000;
    const int fd = int(f.manager->socket()->socketDescriptor());
    QCOMPARE(::setsockopt(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &timeoutMs, sizeof timeoutMs), 0);
    f.ami.stopReading();
    f.phone->labelMessage->clear();
    f.manager->socket()->sendCommand("Action: Ping\r\nActionID: " + QString(100000, 'x') + "\r\n\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(f.phone->labelAsterisk->text(), "Disconnected", 30000);
    QCOMPARE(f.phone->labelMessage->text(), QString());
    const QString logged = "Manager: connection to 127.0.0.1:" + QString::number(f.ami.port())
        + " dropped: no answer from the PBX for 80 s (";
    QTRY_COMPARE(f.data.read("quorer.log").count(logged.toUtf8()), 1);
#endif
}

void TestMainWindow::socketErrors_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("logged");
    QTest::newRow("refused") << int(QAbstractSocket::ConnectionRefusedError) << "Connection refused"
                             << "Manager: Connection refused or timed out";
    QTest::newRow("closed") << int(QAbstractSocket::RemoteHostClosedError) << "Connection closed"
                            << "Manager: Connection closed by remote host";
    QTest::newRow("host not found") << int(QAbstractSocket::HostNotFoundError) << "Host not found"
                                    << "Manager: Host not found";
    QTest::newRow("any other: nothing") << int(QAbstractSocket::SocketTimeoutError) << "" << "";
}

// The socket's error reaches the phone's message line as an error, its
// detail the log.
void TestMainWindow::socketErrors()
{
    QFETCH(int, error);
    QFETCH(QString, shown);
    QFETCH(QString, logged);
    ManagerFixture f;
    f.ami.addLoginRule(true);
    f.start();
    QVERIFY(f.waitLoggedIn());
    f.phone->labelMessage->clear();
    emit f.manager->socket()->errorOccurred(QAbstractSocket::SocketError(error));
    QCOMPARE(f.phone->labelMessage->text(), shown);
    if (!shown.isEmpty()) {
        QCOMPARE(f.phone->labelMessage->styleSheet(), PhoneMessages::styleSheet(MessageError));
        QTRY_VERIFY(f.data.read("quorer.log").contains(logged.toUtf8()));
    }
}

// The window's status text goes a while after the last one came, every time.
void TestMainWindow::messageLine()
{
    ManagerFixture f;
    f.start();
    f.phone->setMessageHideDelay(60000); // the phone's own clearing out of the way
    f.manager->setMessageHideDelay(1500);
    const QLabel *line = f.phone->messageLabel();
    for (const char *text : { "first", "again" }) {
        emit f.phone->signalMessage(text);
        QTest::qWait(900);
        emit f.phone->signalMessage(QString(text) + " 2");
        QTest::qWait(1000);
        QCOMPARE(line->text(), QString(text) + " 2");
        QTRY_COMPARE_WITH_TIMEOUT(line->text(), QString(), 3000);
    }
}

// The PBX is down when the program starts and comes up 3 s later.
void TestMainWindow::pbxUpLater()
{
    ManagerFixture f;
    f.ami.addLoginRule(true);
    const quint16 port = f.ami.port();
    f.ami.close();
    QElapsedTimer clock;
    clock.start();
    f.start();
    QTimer::singleShot(3000, &f.ami, [&] { QVERIFY(f.ami.listen(port)); });
    QVERIFY(f.waitLoggedIn(6000));
    QVERIFY2(clock.elapsed() <= 5000, qPrintable(QString::number(clock.elapsed())));
}

void TestMainWindow::settingsChanges_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QStringList>("asked"); // ActionIDs; a login comes on a new connection
    const auto row = [](const char *name, const char *widget, const char *value, const QStringList &asked) {
        QTest::newRow(name) << QString(widget) << QString(value) << asked;
    };
    row("nothing changed", "editManagerUser", "quor", {});
    row("user", "editManagerUser", "admin", { "logIn" });
    row("use FreePBX: the peers again, no login", "boxFreePbx", "", { "getVersion", "SIPpeers", "IAXPeers" });
}

void TestMainWindow::settingsChanges()
{
    QFETCH(QString, widget);
    QFETCH(QString, value);
    QFETCH(QStringList, asked);
    ManagerFixture f;
    f.ami.addLoginRule(true);
    f.start();
    QVERIFY(f.waitLoggedIn());
    QTRY_COMPARE(f.actionIds().count("IAXPeers"), 1);
    const qsizetype before = f.actionIds().size();
    QSignalSpy connections(&f.ami, &FakeAmiServer::clientConnected);
    f.openPage("buttonManager");
    if (auto *edit = f.settings->findChild<QLineEdit *>(widget))
        edit->setText(value);
    else
        f.settings->findChild<QCheckBox *>(widget)->setChecked(true);
    f.settings->settingsApply();
    QTRY_VERIFY(f.actionIds().size() >= before + asked.size());
    QTest::qWait(200);
    QCOMPARE(connections.size(), int(asked.contains("logIn")));
    QCOMPARE(f.actionIds().mid(before, asked.size()), asked);
}

// Hiding the phone writes the file; the next start restores it hidden while
// the strip keeps its start-up look: the first press shows the dock.
void TestMainWindow::layoutRoundTrip()
{
    ManagerFixture f;
    f.start();
    f.manager->resize(700, 500);
    f.manager->showPhone();
    QVERIFY(f.manager->phoneDock()->isHidden());
    QCOMPARE(int(quint8(f.data.read(".geo").at(0))), f.manager->saveGeometry().size());

    f.manager = std::make_unique<TQuorManager>(f.phone.get(), f.settings.get());
    QVERIFY(f.boxes.isEmpty() && f.manager->phoneDock()->isHidden());
    QCOMPARE(f.manager->size(), QSize(700, 500));
    f.manager->showPhone();
    QVERIFY(!f.manager->phoneDock()->isHidden());
}

void TestMainWindow::layoutReadErrors_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("told");
    QTest::addColumn<QSize>("size");
    QWidget window;
    window.resize(700, 510); // not the offscreen default of 640x480
    const QByteArray geometry = window.saveGeometry();
    const QByteArray good = char(geometry.size()) + geometry;
    QTest::newRow("no file") << QByteArray() << false << QSize();
    QTest::newRow("empty file") << QByteArray("") << true << QSize();
    QTest::newRow("length byte beyond the data") << char(geometry.size() + 1) + geometry << true << QSize();
    QTest::newRow("geometry without a state") << good << true << QSize();
    QTest::newRow("geometry rejected") << QByteArray("\003abcstate") << true << QSize();
    QTest::newRow("state rejected: the geometry stays") << good + "state" << true << QSize(700, 510);
}

void TestMainWindow::layoutReadErrors()
{
    QFETCH(QByteArray, file);
    QFETCH(bool, told);
    QFETCH(QSize, size);
    ManagerFixture f;
    if (!file.isNull())
        f.data.write(".geo", file);
    f.start();
    QCOMPARE(f.boxes, told ? QStringList { "Error reading " + Paths::dataDir() + ".geo" } : QStringList {});
    if (size.isValid())
        QCOMPARE(f.manager->size(), size);
}

// A refused write leaves the file as it was; a directory in the way cannot be opened.
void TestMainWindow::layoutWriteFailures()
{
    TestDataDir data;
    const QString path = data.write(".geo", "old");
    QString error;
    QCOMPARE(LayoutFile::write(path, { QByteArray(256, 'g'), "state" }, &error), LayoutFile::WriteResult::WriteFailed);
    QCOMPARE(data.read(".geo"), "old");
    QCOMPARE(LayoutFile::write(path, { QByteArray(255, 'g'), "state" }, &error), LayoutFile::WriteResult::Ok);
    QCOMPARE(data.read(".geo"), char(255) + QByteArray(255, 'g') + "state");
    QVERIFY(QFile::remove(path) && QDir().mkpath(path));
    QCOMPARE(LayoutFile::write(path, { "g", "state" }, &error), LayoutFile::WriteResult::OpenFailed);
}

// The View menu shows and hides the bars and docks by their own actions; the
// layout file holds the window's state block after its geometry, and a new
// window takes the docks' visibility from it.
void TestMainWindow::layoutStateAndViewMenu()
{
    ManagerFixture f;
    f.start();
    f.manager->show();
    QVERIFY(QTest::qWaitForWindowExposed(f.manager.get()));
    QMenu *view = nullptr;
    for (QAction *a : f.manager->menuBar()->actions()) {
        if (a->text().remove('&') == "View")
            view = a->menu();
    }
    QVERIFY(view);
    QStringList entries;
    for (const QAction *a : view->actions())
        entries << a->text();
    QCOMPARE(entries, (QStringList { "Menu", "Phone", "Queues", "Parked" }));
    view->actions().at(2)->trigger();
    const auto hidden = [&f] {
        QString out;
        for (const char *name : { "Menu", "Phone", "Queues", "Parked" })
            out += f.manager->findChild<QWidget *>(name)->isHidden() ? '1' : '0';
        return out;
    };
    QCOMPARE(hidden(), "0010");
    const QByteArray geometry = f.manager->saveGeometry();
    const QByteArray state = f.manager->saveState(0);
    f.action("&Quit")->trigger();
    QCOMPARE(f.data.read(".geo"), char(geometry.size()) + geometry + state);

    f.manager = std::make_unique<TQuorManager>(f.phone.get(), f.settings.get());
    QVERIFY(f.boxes.isEmpty());
    QCOMPARE(hidden(), "0010");
}

// The strip's cells: the page or dock on screen has the lit background, and
// the button of the page not shown invites to switch.
void TestMainWindow::stripCells()
{
    ManagerFixture f;
    f.start();
    TQuorManager *w = f.manager.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w));
    const auto cells = [w] {
        QStringList out;
        for (const char *button : { "buttonPhone", "buttonExtensions", "buttonGroups" })
            out << w->findChild<QAbstractButton *>(button)->toolTip();
        const QImage lit = QImage(":/ui/images/btn_ext_p.png");
        for (const char *label : { "label_bk_phone", "label_bk_ext", "label_bk_grp" }) {
            const QImage shown = w->findChild<QLabel *>(label)->pixmap().toImage();
            out << (shown == lit.convertToFormat(shown.format()) ? "lit" : "dark");
        }
        return out.join('|');
    };
    const QString start = "Hide the Phone|Extensions|Open Group Manager|lit|lit|dark";
    const QString groups = "Hide the Phone|Show the Extensions||lit|dark|lit";
    const QString extensions = "Hide the Phone||Open Group Manager|lit|lit|dark";
    QCOMPARE(cells(), start);
    w->findChild<QAbstractButton *>("buttonExtensions")->click(); // shown already: nothing changes
    QCOMPARE(cells(), start);
    for (const char *button : { "buttonGroups", "buttonGroups" }) {
        w->findChild<QAbstractButton *>(button)->click();
        QCOMPARE(cells(), groups);
        QVERIFY(!w->groupsEdit()->isHidden() && w->extensions()->isHidden());
    }
    w->findChild<QAbstractButton *>("buttonExtensions")->click();
    QCOMPARE(cells(), extensions);
    QVERIFY(w->groupsEdit()->isHidden() && !w->extensions()->isHidden());

    QFile::remove(w->layoutFileName());
    w->findChild<QAbstractButton *>("buttonPhone")->click();
    QCOMPARE(cells(), "Show the Phone||Open Group Manager|dark|lit|dark");
    QVERIFY(w->phoneDock()->isHidden() && QFile::exists(w->layoutFileName()));
    w->findChild<QAbstractButton *>("buttonPhone")->click();
    QCOMPARE(cells(), extensions);
    // The dock's own action hides it without the strip.
    w->phoneDock()->toggleViewAction()->trigger();
    QVERIFY(w->phoneDock()->isHidden());
    QCOMPARE(cells(), extensions);
}

// The window's actions reach the phone: its pages, the dial display's
// clipboard and the options, whose actions take their new texts at once;
// Minimize and Restore follow the window being shown.
void TestMainWindow::actionsReachThePhone()
{
    ManagerFixture f;
    f.start({ { "options/fwd_num", "200" } });
    TQuorPhone *p = f.phone.get();
    const std::pair<const char *, const char *> pages[] = { { "F1", "frameActivity" }, { "F2", "frameKeypad" },
        { "F3", "frameMissed" }, { "Alt+C", "frameContacts" }, { "Alt+L", "frameMessages" },
        { "Ctrl+,", "frameSettings" } };
    for (const auto &[keys, page] : pages) {
        p->showDialed();
        f.action(keys)->trigger();
        QCOMPARE(p->currentPage()->objectName(), page);
    }
    f.action("Ctrl+A")->trigger();
    QCOMPARE(f.settings->currentPage(), int(PageAgent));

    p->showKeypad();
    p->editDial->setText("123");
    p->editDial->selectAll();
    f.action("Ctrl+X")->trigger();
    QCOMPARE(p->editDial->text() + '|' + QGuiApplication::clipboard()->text(), "|123");
    f.action("Ctrl+V")->trigger();
    f.action("Ctrl+V")->trigger();
    p->editDial->setSelection(0, 2);
    f.action("Ctrl+C")->trigger();
    QCOMPARE(p->editDial->text() + '|' + QGuiApplication::clipboard()->text(), "123123|12");
    f.action("Clear")->trigger();
    QCOMPARE(p->editDial->text(), "");

    for (const auto &[keys, text] : { std::pair { "Ctrl+B", "Disable &Busy if speaking" }, { "Ctrl+T", "Disable &OnTop" },
             { "Ctrl+Y", "Enable &TrayIcon" }, { "Alt+F", "Disable &Forward" }, { "Alt+F", "Enable &Forward" },
             { "Alt+D", "Disable &DND" } }) {
        f.action(keys)->trigger();
        QCOMPARE(f.action(keys)->text(), text);
    }

    QAction *minimize = f.action("&Minimize");
    QAction *restore = f.action("&Restore");
    f.manager->show();
    QVERIFY(minimize->isEnabled() && !restore->isEnabled());
    f.manager->hide();
    QVERIFY(!minimize->isEnabled() && restore->isEnabled());
}

// The handler's own rows, reached without the action shortcuts: a modifier
// the row does not name makes the key do nothing; "muted" toggles mute.
void TestMainWindow::keyTable()
{
    const std::pair<const char *, const char *> rows[]
        = { { "Alt+F1", "frameActivity" }, { "Ctrl+Shift+F2", "frameKeypad" }, { "F3", "frameMissed" },
              { "Alt+C", "frameContacts" }, { "Alt+Shift+C", "frameDialed" }, { "Alt+S", "frameSettings" },
              { "Alt+L", "frameMessages" }, { "Shift+M", "muted" } };
    ManagerFixture f;
    f.start();
    for (const auto &[keys, page] : rows) {
        f.phone->showDialed();
        const QKeyCombination key = QKeySequence(keys)[0];
        QKeyEvent press(QEvent::KeyPress, key.key(), key.keyboardModifiers());
        QCoreApplication::sendEvent(f.manager.get(), &press);
        QCOMPARE(f.phone->currentPage()->objectName(), qstrcmp(page, "muted") ? page : "frameDialed");
    }
    QVERIFY(f.phone->isMuted()); // by the last row only
    QKeyEvent voicemail(QEvent::KeyPress, Qt::Key_V, Qt::AltModifier);
    QCoreApplication::sendEvent(f.manager.get(), &voicemail);
    QCOMPARE(f.phone->messageLabel()->text(), "Settings: Voicemail disabled");
}

void TestMainWindow::altKeys_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("where"); // "window", "queue" (a queued call selected) or "update box"
    QTest::addColumn<QStringList>("done"); // the menu opened, the actions fired, the AMI texts, the box's button
    const auto row = [](const char *name, const char *keys, const char *where, const QStringList &done) {
        QTest::newRow(name) << QString(keys) << QString(where) << done;
    };
    row("a free mnemonic opens its menu", "Alt+E", "window", { "menu &Edit" });
    for (const char *keys : { "Alt+F", "Alt+L", "Alt+V" })
        row(keys, keys, "window", { QString(keys) + " fired" });
    row("Alt+H hangs up in the queue window", "Alt+H", "queue", { "Action: Hangup|Channel: SIP/300-a" });
    row("Alt+C in the update box", "Alt+C", "update box", { "&Continue" });
}

// Keys typed into the shown window: a shortcut of the window wins over a menu
// title's mnemonic and fires once.
void TestMainWindow::altKeys()
{
    QFETCH(QString, keys);
    QFETCH(QString, where);
    QFETCH(QStringList, done);
    QStringList seen;
    // Named before the fixture's threads exist: a new variable moves the
    // environment under any thread reading it.
    LoopbackHttpServer server;
    if (where == "update box") {
        QVERIFY(server.listen());
        server.setReply(200, "<csop><verType>4</verType></csop>");
        qputenv("QUOR_UPDATE_URL", server.baseUrl().toUtf8());
    }
    ManagerFixture f;
    QVERIFY(f.startLoggedIn());
    TQuorManager *w = f.manager.get();
    w->show();
    QVERIFY(QTest::qWaitForWindowActive(w));
    for (QAction *a : w->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly))
        QObject::connect(a, &QAction::triggered, w, [&seen, a] { seen << a->shortcut().toString() + " fired"; });
    QTableWidget *queue = w->queueWindow()->table;
    f.push("Event: Newchannel|Channel: SIP/300-a|State: Ring|CallerID: 300|Uniqueid: u1");
    f.push("Event: Join|Channel: SIP/300-a|CallerID: 300|Queue: sales|Uniqueid: u1");
    queue->selectRow(0);
    f.takeSent();
    if (where == "update box") {
        BoxRunner::set([&](QMessageBox *box) {
            box->show();
            QVERIFY(QTest::qWaitForWindowActive(box));
            QTest::keySequence(box, QKeySequence(keys));
            const bool pressed = QTest::qWaitFor([box] { return box->clickedButton(); }, 1000);
            seen << (pressed ? box->clickedButton()->text() : "no button");
        });
        TUpdate update;
        update.update();
        QTRY_VERIFY(!seen.isEmpty());
    } else {
        QTest::keySequence(where == "queue" ? static_cast<QWidget *>(queue) : w, QKeySequence(keys));
    }
    f.sync();
    if (const QAction *menu = w->menuBar()->activeAction())
        seen.prepend("menu " + menu->text());
    QCOMPARE(seen + f.takeSent(), done);
}

// Each option change renames its own action; the tray goes and comes back
// once, connected: a click restores the window.
void TestMainWindow::menuTextsAndTray()
{
    ManagerFixture f;
    f.start();
    TQuorManager *w = f.manager.get();
    TQuorSettings *s = f.settings.get();
    QVERIFY(f.action("Agent Login")); // refreshed once built: no ampersand
    QStringList texts { "Enable &DND", "Enable &Forward", "Enable &Busy if speaking", "Enable &OnTop",
        "Disable &TrayIcon" };
    const std::function<void()> changes[] = { [s] { s->setDNDState(true); }, [s] { s->setForward(true, "2", "CF"); },
        [s] { s->toggleBusy(); }, [s] { s->toggleOnTop(); }, [s] { s->toggleTrayIcon(); } };
    for (int i = 0; i < texts.size(); ++i) {
        changes[i]();
        texts[i] = texts[i].startsWith("En") ? texts[i].replace("Enable", "Disable") : texts[i].replace("Dis", "En");
        for (const QString &text : std::as_const(texts))
            QVERIFY2(f.action(text), qPrintable(text));
    }
    QVERIFY(!w->trayIcon());
    s->toggleTrayIcon();
    QSystemTrayIcon *tray = w->trayIcon();
    QVERIFY(tray);
    emit s->signalPhoneOptionsChanged();
    QCOMPARE(w->trayIcon(), tray);
    w->hide();
    emit tray->activated(QSystemTrayIcon::MiddleClick);
    QVERIFY(w->isHidden());
    emit tray->activated(QSystemTrayIcon::Trigger);
    QVERIFY(!w->isHidden());
    w->hide();
    emit tray->activated(QSystemTrayIcon::DoubleClick);
    QVERIFY(!w->isHidden());
}

// Every way out writes the layout, then the groups, and only then hands over
// to the phone's quit routine, once.
void TestMainWindow::quitPaths()
{
    for (int way = 0; way < 4; ++way) {
        ManagerFixture f;
        QVERIFY(f.startLoggedIn());
        const QString layout = Paths::dataDir() + ".geo";
        const QString groups = Paths::dataFile("extgroups.xml");
        QFile::remove(layout);
        QFile::remove(groups);
        QStringList atExit;
        f.phone->setExitFunction([&](int status) {
            atExit << QString::number(status) << QString::number(QFile::exists(layout))
                   << QString::number(QFile::exists(groups));
        });
        if (way == 0)
            f.action("&Quit")->trigger();
        else if (way == 1)
            f.manager->close();
        else if (way == 2)
            f.manager->menuStrip()->exitButton->click();
        for (int twice = 0; way == 3 && twice < 2; ++twice)
            f.manager->quit();
        QTRY_COMPARE(atExit, (QStringList { "0", "1", "1" }));
    }
}

// A link of a What's This text, clicked anywhere in the window, and the
// strip's Help button each open a help window of their own.
void TestMainWindow::helpLinks()
{
    ManagerFixture f;
    f.start();
    const QString href = "https://help.quor.example/en/quormanager-help/quormanager-help/menu.php";
    QWhatsThisClickedEvent click(href);
    QCoreApplication::sendEvent(f.manager->extensions(), &click);
    QPointer<QuorHelp> first = f.manager->helpWindow();
    QVERIFY(first);
    QCOMPARE(first->webView->url(), HelpLinks::linkUrl(QUrl(href)));
    f.manager->menuStrip()->helpButton->click();
    QVERIFY(f.manager->helpWindow() != first);
    QCOMPARE(f.manager->helpWindow()->webView->url(), HelpLinks::mainPage());
    QCOMPARE(f.manager->helpWindow()->windowTitle(), "Quor Manager Help");
    first->close();
    QTRY_VERIFY(!first);
}

QUOR_MAINWINDOW_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
