#include <QHostAddress>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

#include "core/DListner.h"
#include "core/DSingleApplication.h"

namespace {

// The first of count loopback ports that nothing listens on now, below the
// ephemeral range so that outgoing connections do not take them meanwhile.
quint16 freeRange(int count)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto base = quint16(20000 + QRandomGenerator::global()->bounded(12000));
        QTcpServer held[3];
        int bound = 0;
        while (bound < count && held[bound].listen(QHostAddress::LocalHost, quint16(base + bound)))
            ++bound;
        if (bound == count)
            return base;
    }
    return 0;
}

// Another program on a guard's port, in its own thread because the guard's
// probes block this one. A late instance closes its first client unanswered.
struct Foreign
{
    QSemaphore ready;
    std::unique_ptr<QThread> thread;

    Foreign(quint16 port, const QByteArray &reply, bool late = false)
        : thread(QThread::create([this, port, reply, late] {
            QTcpServer server;
            server.listen(QHostAddress::LocalHost, port);
            int clients = 0;
            QObject::connect(&server, &QTcpServer::newConnection, [&] {
                while (QTcpSocket *socket = server.nextPendingConnection()) {
                    if (late && clients++ == 0)
                        socket->abort();
                    else
                        socket->write(reply);
                }
            });
            ready.release();
            QEventLoop().exec();
        }))
    {
        thread->start();
        ready.acquire();
    }
    ~Foreign()
    {
        thread->quit();
        thread->wait();
    }
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondInstanceIsDetected();
    void othersOnTheRange_data();
    void othersOnTheRange();
};

void TestSingleInstance::secondInstanceIsDetected()
{
    const quint16 first = freeRange(3);
    QVERIFY(first != 0);
    DSingleApplication primary(QStringLiteral("QuorTest"), first, first + 2);
    QVERIFY(!primary.isRunning());
    QCOMPARE(primary.listeningPort(), first);
    DSingleApplication second(QStringLiteral("QuorTest"), first, first + 2);
    QVERIFY(second.isRunning());
    QCOMPARE(second.listeningPort(), quint16(0));

    // A client is answered for the exact question only, in however many
    // pieces it comes, and sent away after its one line; a bad client does
    // not disturb the instance.
    for (const QByteArray &line : { DListner::question("QuorTest"), DListner::question("Other") }) {
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, first);
        QVERIFY(client.waitForConnected(2000));
        for (const QByteArray &piece : { line.left(3), line.mid(3) }) {
            client.write(piece); // a refused client finds its line closed
            client.waitForBytesWritten(2000);
            QTest::qWait(5);
        }
        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT(
            (received += client.readAll(), client.state() == QAbstractSocket::UnconnectedState), 3000);
        QCOMPARE(
            received + client.readAll(), line.startsWith("QuorTest") ? DListner::answer("QuorTest") : QByteArray());
    }
    QVERIFY(DSingleApplication::probe("QuorTest", first));
}

void TestSingleInstance::othersOnTheRange_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("taken"); // ports of the two held by the other program
    QTest::addColumn<bool>("late");

    QTest::newRow("answer of another key") << QByteArray("QuorTes!\n") << 1 << false;
    // Still runs, with a warning; it is then not guarded.
    QTest::newRow("no free port") << QByteArray() << 2 << false;
    // Both started at once and found the range silent: the lower port stays.
    QTest::newRow("an instance came up on the lower port") << DListner::answer("QuorTest") << 1 << true;
}

// Only the key handshake counts as an instance.
void TestSingleInstance::othersOnTheRange()
{
    QFETCH(QByteArray, reply);
    QFETCH(int, taken);
    QFETCH(bool, late);
    const quint16 first = freeRange(2);
    QVERIFY(first != 0);
    std::vector<std::unique_ptr<Foreign>> others;
    for (int i = 0; i < taken; ++i)
        others.push_back(std::make_unique<Foreign>(first + i, reply, late));
    if (taken == 2)
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no free port")));

    DSingleApplication guard(QStringLiteral("QuorTest"), first, first + 1);
    QCOMPARE(guard.isRunning(), late);
    QCOMPARE(guard.listeningPort(), quint16(late || taken == 2 ? 0 : first + 1));
    QTcpServer server; // a guard that gave way gave its port back
    QCOMPARE(server.listen(QHostAddress::LocalHost, first + 1), late);
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
