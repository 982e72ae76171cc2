// How long one read pass of the manager socket may run: a chunk whose
// messages take longer than the pass budget is finished in later passes, in
// order, with the event loop's timers run in between; what was read before
// the PBX closed is still handled before the close is heard.

#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "ami/ManagerSocket.h"
#include "testsupport/FakeAmiServer.h"

class TestManagerSocketPass : public QObject
{
    Q_OBJECT

private slots:
    void slowMessagesSpreadOverPasses_data();
    void slowMessagesSpreadOverPasses();
};

void TestManagerSocketPass::slowMessagesSpreadOverPasses_data()
{
    QTest::addColumn<bool>("closeAfter");
    QTest::newRow("connection stays") << false;
    QTest::newRow("PBX closes after sending") << true;
}

void TestManagerSocketPass::slowMessagesSpreadOverPasses()
{
    QFETCH(bool, closeAfter);
    FakeAmiServer server;
    QVERIFY(server.listen());
    ManagerSocket socket;
    QSignalSpy reads(&socket, &QTcpSocket::readyRead);
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    QVERIFY(reads.wait(5000)); // the greeting

    constexpr int kMessages = 6;
    QStringList seen;
    int seenWhenTimerRan = -1;
    int seenWhenClosed = -1;
    QTimer tick; // a timer due while the slow message is handled
    tick.setSingleShot(true);
    connect(&tick, &QTimer::timeout, &socket, [&] { seenWhenTimerRan = int(seen.size()); });
    connect(&socket, &QAbstractSocket::disconnected, &socket, [&] { seenWhenClosed = int(seen.size()); });
    connect(&socket, &ManagerSocket::UserEvent, &socket, [&](const QStringList &lines) {
        seen << lines.value(1);
        if (seen.size() == 1) {
            tick.start(0);
            QThread::msleep(ManagerSocket::kPassBudgetMs + 20);
            if (closeAfter)
                server.dropClient();
        }
    });
    QByteArray bytes = "\r\n"; // ends the greeting
    for (int i = 0; i < kMessages; ++i)
        bytes += "Event: UserEvent\r\nSeq: " + QByteArray::number(i) + "\r\n\r\n";
    server.sendRaw(bytes);

    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), kMessages, 5000);
    for (int i = 0; i < kMessages; ++i)
        QCOMPARE(seen.at(i), QStringLiteral("Seq: %1").arg(i));
    if (closeAfter) {
        QTRY_VERIFY_WITH_TIMEOUT(seenWhenClosed >= 0, 5000);
        QCOMPARE(seenWhenClosed, kMessages);
    } else {
        QVERIFY2(seenWhenTimerRan > 0 && seenWhenTimerRan < kMessages, QByteArray::number(seenWhenTimerRan));
    }
}

QTEST_GUILESS_MAIN(TestManagerSocketPass)
#include "tst_managersocketpass.moc"
