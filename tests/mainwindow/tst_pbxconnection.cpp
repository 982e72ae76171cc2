// The main window's connection to the PBX's manager interface against a fake
// AMI server on loopback: login and start-up queries byte for byte, refusal,
// a PBX that comes up late, settings changes, and the gateway's refusal of
// texts that are not one action. Drops and answers: tst_routing.

#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include "ManagerFixture.h"
#include "core/Logger.h"
#include "extensions/TQuorGroupsEdit.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

namespace {

// What the window sends after the login's lines, before any answer.
const char kAfterLogin[] = "ActionID: logIn\r\n\r\n"
                           "Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"
                           "Action: Command\r\nCommand: show version\r\nActionID: getVersion\r\n\r\n"
                           "Action: QueueStatus\r\nActionID: QueueStatus\r\n\r\n"
                           "Action: Command\r\nCommand: dahdi show status\r\nActionID: dahdiStatus\r\n\r\n"
                           "Action: Command\r\nCommand: zap show status\r\nActionID: zapStatus\r\n\r\n"
                           "Action: Command\r\nCommand: sip show peers\r\nActionID: SIPpeers\r\n\r\n"
                           "Action: Command\r\nCommand: iax2 show peers\r\nActionID: IAXPeers\r\n\r\n";

} // namespace

class TestPbxConnection : public QObject
{
    Q_OBJECT

private slots:
    void loginAndQueries_data();
    void loginAndQueries();
    void refusedLogin();
    void pbxUpLater();
    void settingsChanges_data();
    void settingsChanges();
    void gatewayRefuses_data();
    void gatewayRefuses();
};

void TestPbxConnection::loginAndQueries_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QByteArray>("login");

    QTest::newRow("settings' user and secret") << "quor" << "lavo"
                                             << QByteArray("\r\nAction: Login\r\nUserName: quor\r\nSecret: lavo\r\n");
    QTest::newRow("empty user and secret still send both lines")
        << "" << "" << QByteArray("\r\nAction: Login\r\nUserName: \r\nSecret: \r\n");
    QTest::newRow("line ends in the values are dropped, blanks kept")
        << "quor\r\nAction: Originate" << "a b"
        << QByteArray("\r\nAction: Login\r\nUserName: quorAction: Originate\r\nSecret: a b\r\n");
}

void TestPbxConnection::loginAndQueries()
{
    QFETCH(QString, user);
    QFETCH(QString, secret);
    QFETCH(QByteArray, login);

    ManagerFixture f;
    f.ami.addLoginRule(true);
    // The stored secret is scrambled; an empty one is written as such.
    f.start({ { QStringLiteral("manager/uname"), user },
        { QStringLiteral("manager/passwd"), TQuorSettings::scramblePassword(secret) } });
    QVERIFY(f.waitLoggedIn());
    const QByteArray expected = login + kAfterLogin;
    QTRY_VERIFY(f.ami.received().size() >= expected.size());
    QCOMPARE(f.ami.received().left(expected.size()), expected);
    QCOMPARE(f.phone->messageLabel()->text(), QStringLiteral("Manager: Authentication accepted"));
    QVERIFY(f.manager->groupsEdit()->unsorted);
}

void TestPbxConnection::refusedLogin()
{
    ManagerFixture f;
    f.ami.addLoginRule(false);
    QSignalSpy connections(&f.ami, &FakeAmiServer::clientConnected);
    f.start();
    const auto logged = [] {
        QFile log(Logger::programLogPath());
        return log.open(QIODevice::ReadOnly) && log.readAll().contains("Manager: Authentication failed");
    };
    QTRY_VERIFY(logged());
    QVERIFY(!f.manager->isLoggedIn());
    // The connection stays open and nothing more is asked on it.
    QTest::qWait(300);
    QCOMPARE(f.actionIds(), QStringList { QStringLiteral("logIn") });
    QCOMPARE(connections.size(), 1);
    QVERIFY(f.ami.hasClient());
}

void TestPbxConnection::pbxUpLater()
{
    ManagerFixture f;
    f.ami.addLoginRule(true);
    // The PBX is down when the program starts and comes up 3 s later.
    const quint16 port = f.ami.port();
    f.ami.close();
    QElapsedTimer clock;
    clock.start();
    f.start();
    QTimer::singleShot(3000, &f.ami, [&] { QVERIFY(f.ami.listen(port)); });
    QVERIFY(f.waitLoggedIn(6000));
    QVERIFY2(clock.elapsed() <= 5000, qPrintable(QString::number(clock.elapsed())));
}

void TestPbxConnection::settingsChanges_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("reconnects");
    QTest::addColumn<QStringList>("asked");

    QTest::newRow("nothing changed") << "editManagerUser" << "quor" << false << QStringList {};
    QTest::newRow("user") << "editManagerUser" << "admin" << true << QStringList { QStringLiteral("logIn") };
    QTest::newRow("secret") << "editManagerPasswd" << "x" << true << QStringList { QStringLiteral("logIn") };
    QTest::newRow("use FreePBX: the peers again, no login")
        << "boxFreePbx" << "yes" << false
        << QStringList { QStringLiteral("getVersion"), QStringLiteral("SIPpeers"), QStringLiteral("IAXPeers") };
}

void TestPbxConnection::settingsChanges()
{
    QFETCH(QString, widget);
    QFETCH(QString, value);
    QFETCH(bool, reconnects);
    QFETCH(QStringList, asked);

    ManagerFixture f;
    f.ami.addLoginRule(true);
    f.start();
    QVERIFY(f.waitLoggedIn());
    QTRY_COMPARE(f.countId(QStringLiteral("IAXPeers")), 1);
    f.ami.clearReceived();
    QSignalSpy connections(&f.ami, &FakeAmiServer::clientConnected);

    f.applyManagerPage(widget, value);
    if (reconnects) {
        QTRY_COMPARE(connections.size(), 1);
        QVERIFY(f.waitLoggedIn());
        QTRY_VERIFY(f.actionIds().size() >= asked.size());
    } else {
        QTRY_VERIFY(f.actionIds().size() >= asked.size());
        QTest::qWait(200);
        QCOMPARE(connections.size(), 0);
    }
    QCOMPARE(f.actionIds().mid(0, asked.size()), asked);
}

void TestPbxConnection::gatewayRefuses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("sent");

    QTest::newRow("one action") << "Action: Ping\r\nActionID: a\r\n\r\n" << true;
    QTest::newRow("a second action after the empty line") << "Action: Ping\r\n\r\nAction: Originate\r\n\r\n" << false;
    QTest::newRow("bare line feed") << "Action: Ping\nAction: Originate\r\n\r\n" << false;
    QTest::newRow("bare carriage return") << "Action: Ping\rActionID: a\r\n\r\n" << false;
}

void TestPbxConnection::gatewayRefuses()
{
    QFETCH(QString, text);
    QFETCH(bool, sent);

    ManagerFixture f;
    f.ami.addLoginRule(true);
    f.start();
    QVERIFY(f.waitLoggedIn());
    emit f.phone->signalExtCmd(text);
    // A text sent after it marks the end of what the PBX could have seen.
    emit f.phone->signalExtCmd(QStringLiteral("Action: Ping\r\nActionID: marker\r\n\r\n"));
    QTRY_VERIFY(f.ami.received().contains("ActionID: marker"));
    QCOMPARE(f.ami.received().contains(text.toLatin1()), sent);
}

QUOR_MAINWINDOW_TEST_MAIN(TestPbxConnection)
#include "tst_pbxconnection.moc"
