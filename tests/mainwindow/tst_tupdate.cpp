// The update check against a web server on 127.0.0.1: what it asks for, which
// manifests bring up the announcement box, and how failures end.

#include <QAbstractButton>
#include <QMessageBox>
#include <QNetworkReply>
#include <QSslConfiguration>
#include <QtTest>

#include "core/Logger.h"
#include "mainwindow/BoxRunner.h"
#include "mainwindow/TUpdate.h"
#include "testsupport/LoopbackHttpServer.h"
#include "testsupport/TestDataDir.h"

using namespace Qt::StringLiterals;

namespace {

const QByteArray kRequestLine = "GET /download/version/qm-linux/version.xml HTTP/1.1";
const char kFailure[] = "Unable to get version.";
enum { kPlain, kUntrusted, kTrusted };

QByteArray record(const QByteArray &type)
{
    return "<csop><verMajor>1</verMajor><verType>" + type + "</verType></csop>";
}

QByteArray manifest(const QList<QByteArray> &types)
{
    QByteArray body = "<?xml version=\"1.0\"?>\n<version>\n";
    for (const QByteArray &type : types)
        body += record(type) + '\n';
    return body + "</version>\n";
}

} // namespace

class TestTUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Logger::setProgramLog(m_dataDir.filePath(u"quorer.log"_s)); }
    void init();
    void cleanup() { BoxRunner::set({}); }
    void replies_data();
    void replies();
    void offWithoutLoopbackOverride_data();
    void offWithoutLoopbackOverride();

private:
    TestDataDir m_dataDir;
    QStringList m_answers; // for the next boxes: "download", else "continue"
    int m_boxes = 0;
};

void TestTUpdate::init()
{
    QTest::failOnWarning(kFailure);
    m_boxes = 0;
    QFile::remove(m_dataDir.filePath(u"quorer.log"_s));
    qunsetenv("QUOR_UPDATE_URL");
    BoxRunner::set([this](QMessageBox *box) {
        ++m_boxes;
        const bool download = !m_answers.isEmpty() && m_answers.takeFirst() == "download"_L1;
        for (QAbstractButton *button : box->buttons()) {
            if (box->buttonRole(button) == (download ? QMessageBox::AcceptRole : QMessageBox::RejectRole))
                button->click();
        }
    });
}

void TestTUpdate::replies_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<bool>("fails");
    QTest::addColumn<int>("tls");
    // Every answer is given, a download opens the download page.
    auto row
        = [](const char *name, int status, const QByteArray &body, const QStringList &answers, int boxes, bool fails,
              int tls = kPlain) { QTest::newRow(name) << status << body << answers << boxes << fails << tls; };
    const QStringList none;
    row("running type, also tagged linux", 200, manifest({ "3", "3-linux" }), none, 0, false);
    row("another type", 200, manifest({ "4" }), none, 1, false);
    row("empty type, type with a leading blank", 200, manifest({ "", " 3" }), { "download" }, 2, false);
    row("tag dropped once only", 200, manifest({ "3-linux-linux" }), none, 1, false);
    row("download goes on to the next record", 200, manifest({ "4", "3", "5", "2" }),
        { "download", "download", "continue" }, 3, false);
    // Continue drops what has arrived, not the second write ("\f"), where a cut type is joined.
    row("continue, then a second write", 200,
        "<version>" + record("4") + record("5") + "<csop><verType>3-li\fnux</verType></csop>" + record("6")
            + "</version>",
        { "continue", "download" }, 2, false);
    row("no csop", 200, "<version><verType>4</verType></version>", none, 0, false);
    row("404 with a manifest body", 404, manifest({ "4" }), none, 0, true);
    row("ill-formed before any record", 200, "<version><csop><verType>4</verType></version></csop>", none, 0, true);
    row("ill-formed after a complete record", 200,
        "<version>" + record("4") + "<csop><verType>5</wrong></csop></version>", none, 1, true);
    row("oversized manifest", 200,
        "<version><csop><verType>4" + QByteArray(70 * 1024, 'x') + "</verType></csop></version>", none, 0, true);
    row("untrusted certificate", 200, manifest({ "4" }), none, 0, true, kUntrusted);
    // Shows that the checks, not HTTPS itself, turn the untrusted server away.
    row("certificate trusted by this test", 200, manifest({ "4" }), none, 1, false, kTrusted);
}

void TestTUpdate::replies()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, answers);
    QFETCH(int, boxes);
    QFETCH(bool, fails);
    QFETCH(int, tls);
    const QString certificate = testDataPath(u"update/untrusted-cert.pem"_s);
    LoopbackHttpServer server;
    QVERIFY(
        tls == kPlain ? server.listen() : server.listenTls(certificate, testDataPath(u"update/untrusted-key.pem"_s)));
    const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
    QSslConfiguration trusting = saved;
    trusting.addCaCertificates(certificate);
    QSslConfiguration::setDefaultConfiguration(tls == kTrusted ? trusting : saved);
    m_answers = answers;
    if (fails)
        QTest::ignoreMessage(QtWarningMsg, kFailure);
    const qsizetype cut = body.indexOf('\f');
    server.setReply(status, QByteArray(body).remove(cut, 1), cut);
    qputenv("QUOR_UPDATE_URL", server.baseUrl().toUtf8());
    QList<QUrl> opened;
    {
        TUpdate update;
        update.setUrlOpener([&opened](const QUrl &url) {
            opened.append(url);
            return true;
        });
        update.update();
        if (cut >= 0) { // a record is decided as soon as it has arrived
            QTRY_COMPARE(m_boxes, 1);
            QVERIFY(update.isFetching());
            server.writeRest();
        }
        QTRY_VERIFY_WITH_TIMEOUT(!update.isFetching(), 15000);
        // A box decided at the end is shown from the event loop.
        QCoreApplication::processEvents();
    }
    QSslConfiguration::setDefaultConfiguration(saved);
    QCOMPARE(server.requestLines(), tls == kUntrusted ? QByteArrayList() : QByteArrayList { kRequestLine });
    QTRY_COMPARE(m_boxes, boxes);
    QVERIFY(m_answers.isEmpty());
    QCOMPARE(opened, QList<QUrl>(answers.count(u"download"_s), QUrl(server.baseUrl() + u"/Download/"_s)));
}

void TestTUpdate::offWithoutLoopbackOverride_data()
{
    QTest::addColumn<QByteArray>("base");
    QTest::newRow("none") << QByteArray();
    QTest::newRow("documentation address") << "http://192.0.2.1:8080"_ba;
    QTest::newRow("other scheme on loopback") << "ftp://127.0.0.1/"_ba;
}

void TestTUpdate::offWithoutLoopbackOverride()
{
    QFETCH(QByteArray, base);
    qputenv("QUOR_UPDATE_URL", base);
    TUpdate update;
    if (base.isEmpty() && !update.manifestUrl().isEmpty())
        QSKIP("this build names an update host");
    // Never fetched: a fault here must not send anything off this machine.
    QVERIFY(update.manifestUrl().isEmpty() && update.downloadUrl().isEmpty());
    update.update();
    QVERIFY(!update.isFetching());
    QVERIFY(update.findChildren<QNetworkReply *>().isEmpty());
    const QByteArray log = m_dataDir.read(u"quorer.log"_s);
    QVERIFY2(log.contains("Update check off") && log.contains("ignored") != base.isEmpty(), log.constData());
}

QTEST_MAIN(TestTUpdate)
#include "tst_tupdate.moc"
