// The help window on the shipped pages: every topic has its page, links stay in
// the help folder, the title follows the load, and nothing comes from the network.

#include <QApplication>
#include <QDirIterator>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <QtTest>

#include "core/Paths.h"
#include "mainwindow/HelpLinks.h"
#include "mainwindow/QuorHelp.h"
#include "testsupport/WidgetShot.h"

using namespace Qt::StringLiterals;

namespace {

const QString kTopicFolder = u"/en/quormanager-help/quormanager-help/"_s;

// Every request the web engine makes for a page and what it pulls in.
struct RequestRecorder : QWebEngineUrlRequestInterceptor
{
    void interceptRequest(QWebEngineUrlRequestInfo &info) override { urls.append(info.requestUrl()); }
    QList<QUrl> urls;
};

bool loadAndWait(QuorHelp &help, const QUrl &url)
{
    QSignalSpy finished(help.webView, &QWebEngineView::loadFinished);
    if (!url.isEmpty())
        help.webView->setUrl(url);
    return finished.wait(30000) && finished.last().at(0).toBool();
}

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
    void topicLoadsTitleAndExit();
    void pagesLoadNothingRemote();
};

void TestQuorHelp::initTestCase()
{
    Paths::init();
    if (!HelpLinks::helpHost().isEmpty())
        QSKIP("this build shows help pages from a help host");
}

void TestQuorHelp::everyTopicHasItsPage()
{
    QuorHelp help;
    QList<QAction *> reachable;
    for (const QMenu *menu : help.menuBar()->findChildren<QMenu *>())
        reachable += menu->actions();
    int topics = 0;
    for (QAction *action : help.findChildren<QAction *>(Qt::FindDirectChildrenOnly)) {
        if (action == entry(help, u"Help E&xit"_s))
            continue;
        // Reachable from the menus, and leading to a shipped page.
        QVERIFY2(reachable.contains(action), qPrintable(action->text()));
        action->trigger();
        const QUrl url(help.topicUrl());
        QVERIFY2(url.isLocalFile() && QFileInfo(url.toLocalFile()).isFile(), qPrintable(help.topicUrl()));
        ++topics;
    }
    QVERIFY(topics > 40);
    QVERIFY(QFileInfo(HelpLinks::mainPage().toLocalFile()).isFile());
}

void TestQuorHelp::links_data()
{
    QTest::addColumn<QUrl>("link");
    QTest::addColumn<QString>("page");
    QTest::newRow("What's This link on any host")
        << QUrl(u"https://help.quor.example/en/quormanager-help/quormanager-help/manager.php"_s)
        << kTopicFolder + "manager.html";
    QTest::newRow("query dropped") << QUrl(u"http://x/index.php?option=com_fireboard&Itemid=90"_s) << u"/index.html"_s;
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

void TestQuorHelp::topicLoadsTitleAndExit()
{
    QPointer<QuorHelp> help = new QuorHelp;
    help->resize(850, 600);
    help->show();
    // No topic chosen yet: a call from elsewhere loads nothing.
    QVERIFY(QMetaObject::invokeMethod(help, "helpUrl"));
    QVERIFY(help->webView->url().isEmpty());
    QVERIFY(entry(*help, u"Codecs"_s));
    entry(*help, u"Codecs"_s)->trigger();
    QVERIFY(loadAndWait(*help, {}));
    QCOMPARE(help->windowTitle(), u"Codecs"_s);
    if (qEnvironmentVariableIsSet("QUOR_SCREENSHOT_DIR")) {
        QTest::qWait(1000); // the page is drawn a while after it has loaded
        saveWidgetShot(help, u"help-window"_s);
    }
    // Any other caller reloads the last topic page.
    QVERIFY(QMetaObject::invokeMethod(help, "helpUrl"));
    QVERIFY(loadAndWait(*help, {}));

    // The progress shows only while a page loads; a failed load ends like a good one.
    const std::pair<int, QString> titles[]
        = { { 0, u"Codecs"_s }, { 1, u"Codecs (1%)"_s }, { 99, u"Codecs (99%)"_s }, { 100, u"Codecs"_s } };
    for (const auto &[progress, title] : titles) {
        QVERIFY(QMetaObject::invokeMethod(help, "setProgress", Q_ARG(int, progress)));
        QCOMPARE(help->windowTitle(), title);
    }
    QVERIFY(QMetaObject::invokeMethod(help, "setProgress", Q_ARG(int, 50)));
    QVERIFY(QMetaObject::invokeMethod(help, "finishLoading", Q_ARG(bool, false)));
    QCOMPARE(help->windowTitle(), u"Codecs"_s);
    // The exit entry closes and deletes the window.
    entry(*help, u"Help E&xit"_s)->trigger();
    QTRY_VERIFY(help.isNull());
}

void TestQuorHelp::pagesLoadNothingRemote()
{
    // No page names an address of another machine, not even as text.
    QDirIterator it(HelpLinks::helpDir(), QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    for (; it.hasNext(); ++files) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(!file.readAll().contains("://"), qPrintable(file.fileName()));
    }
    QVERIFY(files > 1);

    // And what a page pulls in comes from the help folder.
    QuorHelp help;
    RequestRecorder recorder;
    QWebEngineProfile *profile = help.webView->page()->profile();
    profile->setUrlRequestInterceptor(&recorder);
    const bool loaded = loadAndWait(help, HelpLinks::pageUrl(kTopicFolder + "asterisk.php"));
    profile->setUrlRequestInterceptor(nullptr);
    QVERIFY(loaded);
    QVERIFY(recorder.urls.size() >= 2); // the page and its style sheet
    for (const QUrl &url : std::as_const(recorder.urls))
        QVERIFY2(url.isLocalFile() && url.toLocalFile().startsWith(HelpLinks::helpDir()), qPrintable(url.toString()));
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
