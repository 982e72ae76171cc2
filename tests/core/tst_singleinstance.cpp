#include <QHostAddress>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

#include <memory>
#include <vector>

#include "core/DListner.h"
#include "core/DSingleApplication.h"

namespace {

const quint16 kRangeSize = 4;

// A block of loopback ports that nothing listens on right now, below the
// ephemeral range so that outgoing connections do not take them meanwhile.
quint16 freeRange(int count)
{
    for (int attempt = 0; attempt < 200; ++attempt) {
        const auto base = quint16(20000 + QRandomGenerator::global()->bounded(12000));
        std::vector<std::unique_ptr<QTcpServer>> held;
        bool ok = true;
        for (int i = 0; i < count && ok; ++i) {
            held.push_back(std::make_unique<QTcpServer>());
            ok = held.back()->listen(QHostAddress(QHostAddress::LocalHost), quint16(base + i));
        }
        if (ok)
            return base;
    }
    return 0;
}

// Another program on one of the guard's ports, served in its own thread
// because the guard's probes block the test's thread.
class ForeignListener : public QThread
{
public:
    // LateInstance: closes its first connection unanswered and answers the
    // reply on every later one, as an instance that came up a moment late.
    enum Mode { Silent, Reply, Echo, LateInstance };

    ForeignListener(quint16 port, Mode mode, const QByteArray &reply = QByteArray())
        : m_port(port)
        , m_mode(mode)
        , m_reply(reply)
    {
    }
    ~ForeignListener() override
    {
        quit();
        wait();
    }

    bool listen()
    {
        start();
        m_ready.acquire();
        return m_ok;
    }

protected:
    void run() override
    {
        QTcpServer server;
        m_ok = server.listen(QHostAddress(QHostAddress::LocalHost), m_port);
        m_ready.release();
        if (!m_ok)
            return;
        int connections = 0;
        connect(&server, &QTcpServer::newConnection, &server, [this, &server, &connections] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                if (m_mode == LateInstance && connections++ == 0)
                    socket->abort();
                else if (m_mode == Reply || m_mode == LateInstance)
                    socket->write(m_reply);
                if (m_mode == Echo)
                    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->write(socket->readAll()); });
            }
        });
        exec();
    }

private:
    const quint16 m_port;
    const Mode m_mode;
    const QByteArray m_reply;
    QSemaphore m_ready;
    bool m_ok = false;
};

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void secondInstanceIsDetected();
    void foreignListenerDoesNotCount_data();
    void foreignListenerDoesNotCount();
    void noFreePortStillStarts();
    void simultaneousStartKeepsLowerPort();
    void listenerIgnoresBadClients_data();
    void listenerIgnoresBadClients();
};

void TestSingleInstance::secondInstanceIsDetected()
{
    const quint16 first = freeRange(kRangeSize);
    QVERIFY(first != 0);
    const quint16 last = first + kRangeSize - 1;

    DSingleApplication primary(QStringLiteral("QuorTest"), first, last);
    QVERIFY(!primary.isRunning());
    QCOMPARE(primary.listeningPort(), first);

    DSingleApplication second(QStringLiteral("QuorTest"), first, last);
    QVERIFY(second.isRunning());
    QCOMPARE(second.listeningPort(), quint16(0));

    // A program with another key is not our instance: it starts and takes the next port.
    DSingleApplication other(QStringLiteral("OtherKey"), first, last);
    QVERIFY(!other.isRunning());
    QCOMPARE(other.listeningPort(), quint16(first + 1));

    // The instance is found wherever in the range it listens.
    DSingleApplication third(QStringLiteral("OtherKey"), first, last);
    QVERIFY(third.isRunning());
}

void TestSingleInstance::foreignListenerDoesNotCount_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("reply");

    QTest::newRow("silent") << int(ForeignListener::Silent) << QByteArray();
    QTest::newRow("echoes the question") << int(ForeignListener::Echo) << QByteArray();
    QTest::newRow("http error") << int(ForeignListener::Reply) << QByteArray("HTTP/1.0 400 Bad Request\r\n\r\n");
    QTest::newRow("answer without newline") << int(ForeignListener::Reply) << QByteArray("QuorTest!");
    QTest::newRow("answer with trailing bytes") << int(ForeignListener::Reply) << QByteArray("QuorTest!!\n");
    QTest::newRow("answer of another key") << int(ForeignListener::Reply) << QByteArray("QuorTes!\n");
}

void TestSingleInstance::foreignListenerDoesNotCount()
{
    QFETCH(int, mode);
    QFETCH(QByteArray, reply);

    const quint16 first = freeRange(kRangeSize);
    QVERIFY(first != 0);
    ForeignListener foreign(first, ForeignListener::Mode(mode), reply);
    QVERIFY(foreign.listen());

    DSingleApplication guard(QStringLiteral("QuorTest"), first, first + kRangeSize - 1);
    QVERIFY(!guard.isRunning());
    QCOMPARE(guard.listeningPort(), quint16(first + 1));
}

void TestSingleInstance::noFreePortStillStarts()
{
    const quint16 first = freeRange(2);
    QVERIFY(first != 0);
    ForeignListener a(first, ForeignListener::Silent);
    ForeignListener b(first + 1, ForeignListener::Silent);
    QVERIFY(a.listen());
    QVERIFY(b.listen());

    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no free port")));
    DSingleApplication guard(QStringLiteral("QuorTest"), first, first + 1);
    QVERIFY(!guard.isRunning());
    QCOMPARE(guard.listeningPort(), quint16(0));

    // A range that holds no port at all is no reason to stop either.
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("no free port")));
    DSingleApplication reversed(QStringLiteral("QuorTest"), first + 1, first);
    QVERIFY(!reversed.isRunning());
    QCOMPARE(reversed.listeningPort(), quint16(0));
}

void TestSingleInstance::simultaneousStartKeepsLowerPort()
{
    // The other instance binds the lower port just after our first look.
    const quint16 first = freeRange(2);
    QVERIFY(first != 0);
    ForeignListener other(first, ForeignListener::LateInstance, DListner::answer("QuorTest"));
    QVERIFY(other.listen());

    DSingleApplication guard(QStringLiteral("QuorTest"), first, first + 1);
    QVERIFY(guard.isRunning());
    QCOMPARE(guard.listeningPort(), quint16(0));
    // Our port is given back.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress(QHostAddress::LocalHost), first + 1));
}

void TestSingleInstance::listenerIgnoresBadClients_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray question = DListner::question("QuorTest");
    QTest::newRow("question") << QList<QByteArray> { question } << DListner::answer("QuorTest");
    QTest::newRow("question in fragments")
        << QList<QByteArray> { "Quo", "rTe", "st?\n" } << DListner::answer("QuorTest");
    QTest::newRow("garbage line") << QList<QByteArray> { "GET / HTTP/1.0\r\n\r\n" } << QByteArray();
    QTest::newRow("another key") << QList<QByteArray> { DListner::question("Other") } << QByteArray();
    QTest::newRow("oversized line") << QList<QByteArray> { QByteArray(4096, 'Q') } << QByteArray();
    QTest::newRow("question with CR") << QList<QByteArray> { "QuorTest?\r\n" } << QByteArray();
}

void TestSingleInstance::listenerIgnoresBadClients()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QByteArray, expected);

    const quint16 first = freeRange(1);
    QVERIFY(first != 0);
    DSingleApplication primary(QStringLiteral("QuorTest"), first, first);
    QCOMPARE(primary.listeningPort(), first);

    QTcpSocket client;
    client.connectToHost(QHostAddress(QHostAddress::LocalHost), first);
    QVERIFY(client.waitForConnected(2000));
    for (const QByteArray &chunk : chunks) {
        client.write(chunk);
        QVERIFY(client.waitForBytesWritten(2000));
        QTest::qWait(5);
    }
    // Every client is sent away after its one line, answered or not.
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += client.readAll(), client.state() == QAbstractSocket::UnconnectedState), 3000);
    received += client.readAll();
    QCOMPARE(received, expected);

    // A bad client does not disturb the instance.
    QVERIFY(DSingleApplication::probe("QuorTest", first));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
