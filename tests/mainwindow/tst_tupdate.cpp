#include <QMessageBox>
#include <QNetworkReply>
#include <QPushButton>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QtTest>

#include "core/Logger.h"
#include "mainwindow/BoxRunner.h"
#include "mainwindow/TUpdate.h"
#include "testsupport/LoopbackHttpServer.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

const QByteArray kRequestLine = "GET /download/version/qm-linux/version.xml HTTP/1.1";

QByteArray record(const QByteArray &type)
{
    return "<csop><verMajor>1</verMajor><verMinor>0</verMinor><verType>" + type + "</verType></csop>";
}

QByteArray manifest(const QList<QByteArray> &types)
{
    QByteArray body = "<?xml version=\"1.0\"?>\n<version>\n";
    for (const QByteArray &type : types)
        body += record(type) + '\n';
    return body + "</version>\n";
}

QStringList &warnings()
{
    static QStringList list;
    return list;
}

QtMessageHandler previousHandler = nullptr;

void recordWarnings(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (type == QtWarningMsg && text == QLatin1String("Unable to get version."))
        warnings().append(text);
    else if (previousHandler)
        previousHandler(type, context, text);
}

} // namespace

// The update check against a web server on 127.0.0.1: what it asks for, which
// manifests bring up the announcement box, and how failures end.
class TestTUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void decisions_data();
    void decisions();
    void textSplitOverTwoWrites();
    void failures_data();
    void failures();
    void certificates_data();
    void certificates();
    void offWithoutHost();
    void overrideOnlyForLoopback_data();
    void overrideOnlyForLoopback();

private:
    // Records the download pages the check opens instead of opening them.
    void captureOpener(TUpdate &update);
    void waitUntilDone(TUpdate &update);
    QStringList logLines() const;

    TestDataDir m_dataDir;
    QStringList m_answers; // for the next boxes: "download", else "continue"
    int m_boxes = 0;
    QList<QUrl> m_opened;
};

void TestTUpdate::initTestCase()
{
    previousHandler = qInstallMessageHandler(recordWarnings);
    Logger::setProgramLog(m_dataDir.filePath(QStringLiteral("quorer.log")));
}

void TestTUpdate::init()
{
    warnings().clear();
    m_boxes = 0;
    m_opened.clear();
    QFile::remove(m_dataDir.filePath(QStringLiteral("quorer.log")));
    BoxRunner::set([this](QMessageBox *box) {
        ++m_boxes;
        QCOMPARE(box->windowTitle(), QStringLiteral("Quor Manager"));
        QCOMPARE(box->text(), QStringLiteral("A New Release is available\nto download\n"));
        QCOMPARE(box->buttons().size(), 2);
        if (qEnvironmentVariableIsSet("QUOR_SCREENSHOT_DIR") && m_boxes == 1) {
            box->show();
            QVERIFY(QTest::qWaitForWindowExposed(box));
            saveWidgetShot(box, QStringLiteral("update-box"));
        }
        const QString answer = m_answers.isEmpty() ? QStringLiteral("continue") : m_answers.takeFirst();
        const QString text = answer == QLatin1String("download") ? QStringLiteral("&Download the new Release")
                                                                 : QStringLiteral("&Continue");
        for (QAbstractButton *button : box->buttons()) {
            if (button->text() == text)
                button->click();
        }
    });
}

void TestTUpdate::cleanup()
{
    BoxRunner::set({});
    qunsetenv("QUOR_UPDATE_URL");
}

void TestTUpdate::captureOpener(TUpdate &update)
{
    update.setUrlOpener([this](const QUrl &url) {
        m_opened.append(url);
        return true;
    });
}

void TestTUpdate::waitUntilDone(TUpdate &update)
{
    QTRY_VERIFY_WITH_TIMEOUT(!update.isFetching(), 15000);
    // A box decided by the last piece is shown from the event loop.
    QCoreApplication::processEvents();
}

QStringList TestTUpdate::logLines() const
{
    return QString::fromUtf8(m_dataDir.read(QStringLiteral("quorer.log"))).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TestTUpdate::decisions_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<int>("opened");

    const QStringList none;
    const QStringList download { QStringLiteral("download") };
    QTest::newRow("running type") << manifest({ "3" }) << none << 0 << 0;
    QTest::newRow("running type tagged linux") << manifest({ "3-linux" }) << none << 0 << 0;
    QTest::newRow("newer type") << manifest({ "4" }) << download << 1 << 1;
    QTest::newRow("newer type tagged linux") << manifest({ "4-linux" }) << none << 1 << 0;
    QTest::newRow("older type") << manifest({ "2" }) << none << 1 << 0;
    QTest::newRow("empty type") << QByteArray("<version><csop></csop></version>") << none << 1 << 0;
    QTest::newRow("blank before the type") << manifest({ " 3" }) << none << 1 << 0;
    QTest::newRow("tag dropped once only") << manifest({ "3-linux-linux" }) << none << 1 << 0;
    QTest::newRow("type joined over a CDATA section") << manifest({ "3<![CDATA[-linux]]>" }) << none << 0 << 0;
    QTest::newRow("no csop") << QByteArray("<version><verType>4</verType></version>") << none << 0 << 0;
    QTest::newRow("two records: download then continue")
        << manifest({ "4", "2" }) << QStringList { QStringLiteral("download"), QStringLiteral("continue") } << 2 << 1;
    QTest::newRow("continue stops the records received")
        << manifest({ "4", "5", "6" }) << QStringList { QStringLiteral("continue") } << 1 << 0;
    QTest::newRow("download goes on to the next record")
        << manifest({ "4", "3", "5" }) << QStringList { QStringLiteral("download"), QStringLiteral("download") } << 2
        << 2;
}

void TestTUpdate::decisions()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, answers);
    QFETCH(int, boxes);
    QFETCH(int, opened);

    LoopbackHttpServer server;
    QVERIFY(server.listen());
    server.setReply(200, { body });
    qputenv("QUOR_UPDATE_URL", server.baseUrl().toUtf8());

    TUpdate update;
    captureOpener(update);
    m_answers = answers;
    update.update();
    waitUntilDone(update);

    QCOMPARE(server.requestLines(), QList<QByteArray> { kRequestLine });
    QTRY_COMPARE(m_boxes, boxes);
    QCOMPARE(m_opened.size(), opened);
    for (const QUrl &url : std::as_const(m_opened))
        QCOMPARE(url.toString(), server.baseUrl() + QStringLiteral("/Download/"));
    QVERIFY(warnings().isEmpty());
}

void TestTUpdate::textSplitOverTwoWrites()
{
    LoopbackHttpServer server;
    QVERIFY(server.listen());
    // The second record's type is cut in the middle; it is the running type
    // once joined.
    server.setReply(200, { "<version>" + record("4") + "<csop><verType>3-li", "nux</verType></csop></version>" }, true);
    qputenv("QUOR_UPDATE_URL", server.baseUrl().toUtf8());

    TUpdate update;
    captureOpener(update);
    m_answers = QStringList { QStringLiteral("download") };
    update.update();

    // The first record is decided as soon as it has arrived.
    QTRY_COMPARE(m_boxes, 1);
    QVERIFY(update.isFetching());
    server.writeNextPiece();
    waitUntilDone(update);

    QCOMPARE(m_boxes, 1);
    QCOMPARE(m_opened.size(), 1);
    QVERIFY(warnings().isEmpty());
}

void TestTUpdate::failures_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("boxes");

    QTest::newRow("404 with a manifest body") << 404 << manifest({ "4" }) << 0;
    QTest::newRow("redirect not followed") << 301 << manifest({ "4" }) << 0;
    QTest::newRow("ill-formed before any record")
        << 200 << QByteArray("<version><csop><verType>4</verType></version></csop>") << 0;
    QTest::newRow("garbage") << 200
                             << QByteArray("\x01\xff<<>>&&;"
                                           "\0"
                                           "garbage",
                                    17)
                             << 0;
    QTest::newRow("ill-formed after a complete record")
        << 200 << QByteArray("<version>" + record("4") + "<csop><verType>5</wrong></csop></version>") << 1;
    QTest::newRow("oversized manifest") << 200
                                        << QByteArray("<version><csop><verType>4" + QByteArray(70 * 1024, 'x')
                                               + "</verType></csop></version>")
                                        << 0;
}

void TestTUpdate::failures()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(int, boxes);

    LoopbackHttpServer server;
    QVERIFY(server.listen());
    server.setReply(status, { body });
    qputenv("QUOR_UPDATE_URL", server.baseUrl().toUtf8());

    TUpdate update;
    update.update();
    waitUntilDone(update);

    QCOMPARE(server.requestLines().size(), 1);
    QCOMPARE(warnings(), QStringList { QStringLiteral("Unable to get version.") });
    QTRY_COMPARE(m_boxes, boxes);
}

void TestTUpdate::certificates_data()
{
    QTest::addColumn<bool>("trusted");
    QTest::newRow("untrusted self-signed") << false;
    QTest::newRow("trusted by this test") << true;
}

void TestTUpdate::certificates()
{
    QFETCH(bool, trusted);
    const QString certificate = testDataPath(QStringLiteral("update/untrusted-cert.pem"));

    LoopbackHttpServer server;
    QVERIFY(server.listenTls(certificate, testDataPath(QStringLiteral("update/untrusted-key.pem"))));
    server.setReply(200, { manifest({ "4" }) });
    qputenv("QUOR_UPDATE_URL", server.baseUrl().toUtf8());

    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    if (trusted) {
        // Shows that the checks, not HTTPS itself, turn the untrusted server away.
        QSslConfiguration config = saved;
        config.addCaCertificates(certificate);
        QSslConfiguration::setDefaultConfiguration(config);
    }
    TUpdate update;
    update.update();
    waitUntilDone(update);
    QSslConfiguration::setDefaultConfiguration(saved);

    if (trusted) {
        QCOMPARE(server.requestLines(), QList<QByteArray> { kRequestLine });
        QTRY_COMPARE(m_boxes, 1);
        QVERIFY(warnings().isEmpty());
    } else {
        QVERIFY(server.requestLines().isEmpty());
        QCOMPARE(m_boxes, 0);
        QCOMPARE(warnings(), QStringList { QStringLiteral("Unable to get version.") });
    }
}

void TestTUpdate::offWithoutHost()
{
    TUpdate update;
    if (!update.manifestUrl().isEmpty())
        QSKIP("this build names an update host");
    update.update();

    QVERIFY(!update.isFetching());
    QVERIFY(update.findChildren<QNetworkReply *>().isEmpty());
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(QLatin1String("Update check off")), qPrintable(lines.first()));
    QVERIFY(warnings().isEmpty());
}

void TestTUpdate::overrideOnlyForLoopback_data()
{
    QTest::addColumn<QString>("base");
    QTest::newRow("documentation address") << QStringLiteral("http://192.0.2.1:8080");
    QTest::newRow("host name") << QStringLiteral("https://updates.example.com");
    QTest::newRow("localhost by name") << QStringLiteral("http://localhost:8080");
    QTest::newRow("other scheme on loopback") << QStringLiteral("ftp://127.0.0.1/");
}

void TestTUpdate::overrideOnlyForLoopback()
{
    QFETCH(QString, base);
    if (!TUpdate().manifestUrl().isEmpty())
        QSKIP("this build names an update host");
    QFile::remove(m_dataDir.filePath(QStringLiteral("quorer.log")));

    qputenv("QUOR_UPDATE_URL", base.toUtf8());
    TUpdate update;
    // Never fetched: a fault here must not send anything off this machine.
    QVERIFY(update.manifestUrl().isEmpty());
    QVERIFY(update.downloadUrl().isEmpty());
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(QLatin1String("ignored")), qPrintable(lines.first()));
}

QTEST_MAIN(TestTUpdate)
#include "tst_tupdate.moc"
