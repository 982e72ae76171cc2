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
    void initTestCase()
    {
        Logger::setProgramLog(QStringLiteral("quorer.log"));
        QVERIFY(m_server.start(0));
    }

    void init() { QFile::remove(Logger::programLogPath()); }

    // One line of at most 128 bytes, "call:" and dialable characters only;
    // anything else is refused with a warning that no request can forge.
    void requests_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("closeAfterWrite");
        QTest::addColumn<QString>("number"); // empty: refused
        const int longest = ClickToDialServer::kMaxLineLength - 6;
        QTest::newRow("feature code, CRLF") << QByteArray("call:*97#\r\n") << false << "*97#";
        QTest::newRow("ended by close") << QByteArray("call:1234") << true << "1234";
        QTest::newRow("longest line") << "call:" + QByteArray(longest, '7') + '\n' << false << QString(longest, '7');
        QTest::newRow("no prefix") << QByteArray("1234\n") << false << "";
        QTest::newRow("AMI injection") << QByteArray("call:12\r\nAction: Originate\r\nChannel: IAX2/x\r\n\r\n") << false
                                       << "";
        QTest::newRow("bare CR inside") << QByteArray("call:12\rAction: Originate\n") << false << "";
        QTest::newRow("one byte over the limit") << "call:" + QByteArray(longest + 1, '7') + '\n' << false << "";
        QTest::newRow("flood without line end") << QByteArray(100000, '1') << false << "";
    }

    void requests()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, closeAfterWrite);
        QFETCH(QString, number);
        QSignalSpy spy(&m_server, &ClickToDialServer::signalCallRequest);
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, m_server.port());
        QVERIFY(client.waitForConnected(2000));
        client.write(bytes);
        if (closeAfterWrite)
            client.disconnectFromHost();
        // The server closes every connection after one request.
        QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
        QTRY_VERIFY(!spy.isEmpty() || log().contains(QLatin1String("Click-to-dial request refused")));
        QCOMPARE(spy.isEmpty() ? QString() : spy.first().at(0).toString(), number);
        QCOMPARE(spy.size(), number.isEmpty() ? 0 : 1);
        QCOMPARE(log().contains(QLatin1String("refused")), number.isEmpty());
        static const QRegularExpression stamped(QStringLiteral("^\\d{4}:\\d\\d:\\d\\d \\d\\d:\\d\\d:\\d\\d "));
        for (const QString &line : log().split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            QVERIFY2(stamped.match(line).hasMatch(), qPrintable(line));
    }

    void silentClientIsDropped()
    {
        ClickToDialServer server;
        server.setReadTimeout(100);
        QVERIFY(server.start(0));
        QSignalSpy spy(&server, &ClickToDialServer::signalCallRequest);
        // A partial line is no request.
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, server.port());
        QVERIFY(client.waitForConnected(2000));
        client.write("call:12");
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 2000);
        QCOMPARE(spy.count(), 0);
        QVERIFY(log().contains(QLatin1String("no complete request")));
    }

    void connectionLimit()
    {
        ClickToDialServer server;
        QVERIFY(server.start(0));
        QSignalSpy spy(&server, &ClickToDialServer::signalCallRequest);
        auto connected = [&server] {
            auto socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(QHostAddress::LocalHost, server.port());
            socket->waitForConnected(2000);
            return socket;
        };
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < ClickToDialServer::kMaxConnections; ++i)
            idle.push_back(connected());
        const auto extra = connected();
        QTRY_COMPARE_WITH_TIMEOUT(extra->state(), QAbstractSocket::UnconnectedState, 2000);
        // The idle ones are still served, and a freed slot takes new clients again.
        idle.front()->write("call:100\n");
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 1, 2000);
        const auto later = connected();
        later->write("call:200\n");
        QTRY_COMPARE_WITH_TIMEOUT(spy.count(), 2, 2000);
        QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("200"));
    }

private:
    QString log() const
    {
        QFile file(Logger::programLogPath());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    TestDataDir m_data;
    ClickToDialServer m_server;
};

QTEST_GUILESS_MAIN(TestClickToDial)
#include "tst_clicktodial.moc"
