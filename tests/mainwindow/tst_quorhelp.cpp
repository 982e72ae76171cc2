// The help window on the shipped pages: every topic has its page, links stay in
// the help folder, the title follows the load, nothing comes from the network.

#include <QApplication>
#include <QDirIterator>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <QtTest>

#include "core/Paths.h"
#include "mainwindow/HelpLinks.h"
#include "mainwindow/QuorHelp.h"

using namespace Qt::StringLiterals;

namespace {

const QString kTopicFolder = u"/en/quormanager-help/quormanager-help/"_s;

// Every request the web engine makes for a page and what it pulls in.
struct RequestRecorder : QWebEngineUrlRequestInterceptor
{
    void interceptRequest(QWebEngineUrlRequestInfo &info) override { urls.append(info.requestUrl()); }
    QList<QUrl> urls;
};

QAction *entry(QuorHelp &help, const QString &text)
{
    for (QAction *action : help.findChildren<QAction *>(Qt::FindDirectChildrenOnly)) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

} // namespace

class TestQuorHelp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTopicHasItsPage();
    void links_data();
    void links();
    void pageLoadsLocally();
};

void TestQuorHelp::initTestCase()
{
    Paths::init();
    if (!HelpLinks::helpHost().isEmpty())
        QSKIP("this build shows help pages from a help host");
}

// Each entry but the exit gives a shipped page.
void TestQuorHelp::everyTopicHasItsPage()
{
    QuorHelp help;
    const QList<QAction *> topics = help.findChildren<QAction *>(Qt::FindDirectChildrenOnly);
    QVERIFY(topics.size() > 40);
    for (QAction *action : topics) {
        if (action == entry(help, u"Help E&xit"_s))
            continue;
        action->trigger();
        QVERIFY2(QFileInfo(QUrl(help.topicUrl()).toLocalFile()).isFile(), qPrintable(help.topicUrl()));
    }
}

void TestQuorHelp::links_data()
{
    QTest::addColumn<QUrl>("link");
    QTest::addColumn<QString>("page");
    QTest::newRow("What's This link on any host")
        << QUrl(u"https://help.quor.example/en/quormanager-help/quormanager-help/manager.php"_s)
        << kTopicFolder + "manager.html";
    QTest::newRow("climbing out leads to the main page")
        << QUrl(u"/../../../etc/passwd"_s) << u"/en/quormanager-help/2.html"_s;
    QTest::newRow("other scheme leads to the main page")
        << QUrl(u"javascript:alert(1)"_s) << u"/en/quormanager-help/2.html"_s;
}

void TestQuorHelp::links()
{
    QFETCH(QUrl, link);
    QFETCH(QString, page);
    QCOMPARE(HelpLinks::linkUrl(link), QUrl::fromLocalFile(HelpLinks::helpDir() + page));
}

// A page and what it pulls in come from the help folder, the title follows
// the load, and the exit entry deletes the window.
void TestQuorHelp::pageLoadsLocally()
{
    // No page names an address of another machine, not even as text.
    for (QDirIterator it(HelpLinks::helpDir(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(!file.readAll().contains("://"), qPrintable(file.fileName()));
    }
    QPointer<QuorHelp> help = new QuorHelp;
    help->show();
    RequestRecorder recorder;
    QWebEngineProfile *profile = help->webView->page()->profile();
    profile->setUrlRequestInterceptor(&recorder);
    QSignalSpy finished(help->webView, &QWebEngineView::loadFinished);
    help->webView->setUrl(HelpLinks::pageUrl(kTopicFolder + "asterisk.php"));
    const bool loaded = finished.wait(30000) && finished.last().at(0).toBool();
    profile->setUrlRequestInterceptor(nullptr);
    QVERIFY(loaded);
    QVERIFY(recorder.urls.size() >= 2); // the page and its style sheet
    for (const QUrl &url : std::as_const(recorder.urls))
        QVERIFY2(url.isLocalFile() && url.toLocalFile().startsWith(HelpLinks::helpDir()), qPrintable(url.toString()));

    const QString title = help->webView->title();
    QVERIFY(!title.isEmpty() && help->windowTitle() == title);
    for (const auto &[progress, shown] : { std::pair { 0, title }, { 50, title + " (50%)" }, { 100, title } }) {
        QVERIFY(QMetaObject::invokeMethod(help, "setProgress", Q_ARG(int, progress)));
        QCOMPARE(help->windowTitle(), shown);
    }
    // A page without a title leaves the window without one.
    QTemporaryDir dir;
    QFile untitled(dir.filePath(u"untitled.html"_s));
    QVERIFY(untitled.open(QIODevice::WriteOnly) && untitled.write("<p>no title</p>") > 0);
    untitled.close();
    finished.clear();
    help->webView->setUrl(QUrl::fromLocalFile(untitled.fileName()));
    QVERIFY(finished.wait(30000));
    QCOMPARE(help->windowTitle(), QString());

    entry(*help, u"Help E&xit"_s)->trigger();
    QTRY_VERIFY(help.isNull());
}

int main(int argc, char *argv[])
{
    // The web engine shares its GL contexts with the widgets; set before the application.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestQuorHelp test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_quorhelp.moc"
