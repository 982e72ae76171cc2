#include <QFile>
#include <QHostAddress>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include "core/Logger.h"
#include "softphone/ClickToDialServer.h"
#include "testsupport/TestDataDir.h"

class TestClickToDial : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void silentClientIsDropped();
    void connectionLimit();
    void portTaken();

private:
    struct Outcome
    {
        QStringList numbers;
        bool closedByServer = false;
    };
    Outcome request(const QByteArray &bytes, bool closeAfterWrite);
    QString log() const;

    TestDataDir m_data;
    ClickToDialServer m_server;
};

void TestClickToDial::initTestCase()
{
    QVERIFY(m_data.isValid());
    Logger::setProgramLog(QStringLiteral("quorer.log"));
    QVERIFY(m_server.start(0));
    QVERIFY(m_server.port() != 0);
}

void TestClickToDial::init()
{
    QFile::remove(Logger::programLogPath());
}

QString TestClickToDial::log() const
{
    QFile file(Logger::programLogPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

TestClickToDial::Outcome TestClickToDial::request(const QByteArray &bytes, bool closeAfterWrite)
{
    Outcome outcome;
    QSignalSpy spy(&m_server, &ClickToDialServer::signalCallRequest);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, m_server.port());
    if (!QTest::qWaitFor([&] { return client.state() == QAbstractSocket::ConnectedState; }, 2000))
        return outcome;
    client.write(bytes);
    if (closeAfterWrite)
        client.disconnectFromHost();
    outcome.closedByServer = QTest::qWaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }, 3000);
    // A client that closed itself is done before the server has seen the end;
    // the callers check what the server made of it.
    (void)QTest::qWaitFor([&] { return !spy.isEmpty() || log().contains(QLatin1String("refused")); }, 3000);
    for (const QList<QVariant> &args : spy)
        outcome.numbers << args.at(0).toString();
    return outcome;
}

void TestClickToDial::accepted_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("closeAfterWrite");
    QTest::addColumn<QString>("number");

    QTest::newRow("feature code, CRLF") << QByteArray("call:*97#\r\n") << false << QStringLiteral("*97#");
    QTest::newRow("international") << QByteArray("call:+4930123\n") << false << QStringLiteral("+4930123");
    QTest::newRow("named extension") << QByteArray("call:alice\n") << false << QStringLiteral("alice");
    QTest::newRow("blanks around") << QByteArray("call: 555 \n") << false << QStringLiteral("555");
    QTest::newRow("ended by close") << QByteArray("call:1234") << true << QStringLiteral("1234");
    QTest::newRow("longest line") << QByteArray("call:" + QByteArray(ClickToDialServer::maxLineLength - 6, '7') + '\n')
                                  << false << QString(ClickToDialServer::maxLineLength - 6, QLatin1Char('7'));
}

void TestClickToDial::accepted()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, closeAfterWrite);
    QFETCH(QString, number);

    const Outcome outcome = request(bytes, closeAfterWrite);
    QCOMPARE(outcome.numbers, QStringList { number });
    QVERIFY(outcome.closedByServer);
    QVERIFY(!log().contains(QLatin1String("refused")));
}

void TestClickToDial::refused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("closeAfterWrite");

    QTest::newRow("no prefix") << QByteArray("1234\n") << false;
    QTest::newRow("other prefix") << QByteArray("dial:1234\n") << false;
    QTest::newRow("no number") << QByteArray("call:\n") << false;
    QTest::newRow("AMI injection") << QByteArray("call:12\r\nAction: Originate\r\nChannel: IAX2/x\r\n\r\n") << false;
    QTest::newRow("bare CR inside") << QByteArray("call:12\rAction: Originate\n") << false;
    QTest::newRow("shell text") << QByteArray("call:123;id\n") << false;
    QTest::newRow("command substitution") << QByteArray("call:$(id)\n") << false;
    QTest::newRow("inner blank") << QByteArray("call:12 34\n") << false;
    QTest::newRow("one byte over the limit")
        << QByteArray("call:" + QByteArray(ClickToDialServer::maxLineLength - 5, '7') + '\n') << false;
    QTest::newRow("over-long line") << QByteArray("call:" + QByteArray(200, '1') + '\n') << false;
    QTest::newRow("flood without line end") << QByteArray(100000, '1') << false;
    QTest::newRow("NUL and high bytes") << QByteArray("call:12\0\xff\n", 10) << false;
    QTest::newRow("non-ASCII letter") << QByteArray("call:\xc3\xa4"
                                                    "12\n")
                                      << false;
    QTest::newRow("nothing, then close") << QByteArray() << true;
}

void TestClickToDial::refused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, closeAfterWrite);

    const Outcome outcome = request(bytes, closeAfterWrite);
    QVERIFY(outcome.numbers.isEmpty());
    QVERIFY(outcome.closedByServer);

    // Refused with a warning, and nothing the client sent forged a log line.
    const QString text = log();
    QVERIFY2(text.contains(QLatin1String("Click-to-dial request refused")), qPrintable(text));
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    static const QRegularExpression stamped(QStringLiteral("^\\d{4}:\\d\\d:\\d\\d \\d\\d:\\d\\d:\\d\\d "));
    for (const QString &line : lines)
        QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
}

void TestClickToDial::silentClientIsDropped()
{
    ClickToDialServer server;
    server.setReadTimeout(100);
    QVERIFY(server.start(0));
    QSignalSpy spy(&server, &ClickToDialServer::signalCallRequest);
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, server.port());
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::ConnectedState, 2000);
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 2000);
    QCOMPARE(spy.count(), 0);
    QVERIFY(log().contains(QLatin1String("no complete request")));

    // A partial line is not a request either.
    client.connectToHost(QHostAddress::LocalHost, server.port());
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::ConnectedState, 2000);
    client.write("call:12");
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 2000);
    QCOMPARE(spy.count(), 0);
}

void TestClickToDial::connectionLimit()
{
    ClickToDialServer server;
    QVERIFY(server.start(0));
    QSignalSpy spy(&server, &ClickToDialServer::signalCallRequest);

    std::vector<std::unique_ptr<QTcpSocket>> idle;
    for (int i = 0; i < ClickToDialServer::maxConnections; ++i) {
        idle.push_back(std::make_unique<QTcpSocket>());
        idle.back()->connectToHost(QHostAddress::LocalHost, server.port());
        QTRY_COMPARE_WITH_TIMEOUT(idle.back()->state(), QAbstractSocket::ConnectedState, 2000);
    }
    QTcpSocket extra;
    extra.connectToHost(QHostAddress::LocalHost, server.port());
    QTRY_COMPARE_WITH_TIMEOUT(extra.state(), QAbstractSocket::UnconnectedState, 2000);

    // The idle ones are still served.
    idle.front()->write("call:100\n");
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("100"));

    // A freed slot takes new clients again.
    QTcpSocket later;
    later.connectToHost(QHostAddress::LocalHost, server.port());
    QTRY_COMPARE_WITH_TIMEOUT(later.state(), QAbstractSocket::ConnectedState, 2000);
    later.write("call:200\n");
    QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 2000);
}

void TestClickToDial::portTaken()
{
    ClickToDialServer second;
    QVERIFY(!second.start(m_server.port()));
    QVERIFY(!second.isListening());
    QVERIFY(log().contains(QLatin1String("Click-to-dial is off")));
    // The first one is untouched.
    QCOMPARE(request("call:42\n", false).numbers, QStringList { QStringLiteral("42") });
}

QTEST_GUILESS_MAIN(TestClickToDial)
#include "tst_clicktodial.moc"
