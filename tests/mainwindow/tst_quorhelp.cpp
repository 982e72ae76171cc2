#include <QAction>
#include <QApplication>
#include <QDirIterator>
#include <QMenu>
#include <QMenuBar>
#include <QMutex>
#include <QPointer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>
#include <QtTest>

#include "core/Paths.h"
#include "mainwindow/HelpLinks.h"
#include "mainwindow/QuorHelp.h"
#include "testsupport/WidgetShot.h"

namespace {

const QString kTopicFolder = QStringLiteral("/en/quormanager-help/quormanager-help/");

// Every request the web engine makes for a page and what it pulls in.
class RequestRecorder : public QWebEngineUrlRequestInterceptor
{
public:
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        QMutexLocker lock(&m_mutex);
        m_urls.append(info.requestUrl());
    }
    QList<QUrl> urls()
    {
        QMutexLocker lock(&m_mutex);
        return m_urls;
    }

private:
    QMutex m_mutex;
    QList<QUrl> m_urls;
};

// The entries of a menu bar without a sub-menu, walked depth first.
void collectEntries(const QList<QAction *> &actions, QList<QAction *> &out)
{
    for (QAction *action : actions) {
        if (action->menu())
            collectEntries(action->menu()->actions(), out);
        else if (!action->isSeparator() && !out.contains(action))
            out.append(action);
    }
}

// The entry reached through menu titles and the entry's text.
QAction *entry(QuorHelp &help, const QStringList &path)
{
    QList<QAction *> actions = help.menuBar()->actions();
    QAction *found = nullptr;
    for (const QString &text : path) {
        found = nullptr;
        for (QAction *action : std::as_const(actions)) {
            if (action->text() == text) {
                found = action;
                break;
            }
        }
        if (!found)
            return nullptr;
        actions = found->menu() ? found->menu()->actions() : QList<QAction *>();
    }
    return found;
}

bool loadAndWait(QuorHelp &help, const QUrl &url)
{
    QSignalSpy finished(help.webView, &QWebEngineView::loadFinished);
    help.webView->setUrl(url);
    return finished.wait(30000) && finished.last().at(0).toBool();
}

} // namespace

// The help window on the shipped pages: which page each topic opens, the title
// while pages load, the exit entry, and that nothing is fetched from the network.
class TestQuorHelp : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyTopicHasItsPage();
    void topicPages_data();
    void topicPages();
    void links_data();
    void links();
    void localPageLoadsOffscreen();
    void titleFollowsProgress_data();
    void titleFollowsProgress();
    void helpUrlFromNonTopic();
    void exitDeletesWindow();
    void pagesLoadNothingRemote();
};

void TestQuorHelp::initTestCase()
{
    Paths::init();
    if (!HelpLinks::helpHost().isEmpty())
        QSKIP("this build shows help pages from a help host");
    QVERIFY2(QFileInfo(HelpLinks::mainPage().toLocalFile()).isFile(), qPrintable(HelpLinks::mainPage().toString()));
}

void TestQuorHelp::everyTopicHasItsPage()
{
    QuorHelp help;
    QList<QAction *> entries;
    collectEntries(help.menuBar()->actions(), entries);
    int topics = 0;
    for (QAction *action : std::as_const(entries)) {
        if (action->parent() != &help || action->text() == QLatin1String("Help E&xit"))
            continue; // the page's own Back/Forward/Reload/Stop, and the exit entry
        action->trigger();
        const QUrl url(help.topicUrl());
        QVERIFY2(url.isLocalFile(), qPrintable(action->text() + QLatin1String(": ") + help.topicUrl()));
        QVERIFY2(
            QFileInfo(url.toLocalFile()).isFile(), qPrintable(action->text() + QLatin1String(": ") + help.topicUrl()));
        ++topics;
    }
    QVERIFY(topics > 0);
}

void TestQuorHelp::topicPages_data()
{
    QTest::addColumn<QStringList>("menuPath");
    QTest::addColumn<QString>("page");

    const QString help = QStringLiteral("&QuorManager Help");
    const QString setup = QStringLiteral("QuorManager Setup");
    const QString use = QStringLiteral("QuorManager Use");
    QTest::newRow("Manager") << QStringList { help, setup, QStringLiteral("Manager") } << kTopicFolder + "manager.html";
    QTest::newRow("Use FreePBX shares the manager page")
        << QStringList { help, setup, QStringLiteral("Manager options"), QStringLiteral("Use FreePBX") }
        << kTopicFolder + "manager.html";
    QTest::newRow("Interface of the program")
        << QStringList { help, use, QStringLiteral("Interface") } << kTopicFolder + "interface.html";
    QTest::newRow("Interface of the phone") << QStringList { help, use, QStringLiteral("Phone"),
        QStringLiteral("Interface") } << kTopicFolder + "phone.html";
    QTest::newRow("Voice Mail option") << QStringList { help, setup, QStringLiteral("Phone options"),
        QStringLiteral("Voice Mail") } << kTopicFolder + "voice-mail.html";
    QTest::newRow("Voice Mail of the phone") << QStringList { help, use, QStringLiteral("Phone"),
        QStringLiteral("Voice Mail") } << kTopicFolder + "voice-mail-3.html";
    QTest::newRow("Shortcuts menu") << QStringList { QStringLiteral("&Shortcuts"), QStringLiteral("Shortcuts") }
                                    << kTopicFolder + "contextual-menu.html";
    QTest::newRow("Parking lots keeps its blank")
        << QStringList { help, use, QStringLiteral("Parking lots ") } << kTopicFolder + "parking-lots.html";
    QTest::newRow("Forum, query dropped")
        << QStringList { QStringLiteral("&Troubleshooting"), QStringLiteral("Forum") } << "/index.html";
}

void TestQuorHelp::topicPages()
{
    QFETCH(QStringList, menuPath);
    QFETCH(QString, page);

    QuorHelp help;
    QAction *action = entry(help, menuPath);
    QVERIFY(action);
    action->trigger();
    QCOMPARE(QUrl(help.topicUrl()), QUrl::fromLocalFile(HelpLinks::helpDir() + page));
}

void TestQuorHelp::links_data()
{
    QTest::addColumn<QUrl>("link");
    QTest::addColumn<QString>("page");

    QTest::newRow("What's This link on any host")
        << QUrl(QStringLiteral("https://help.quor.example/en/quormanager-help/quormanager-help/manager.php"))
        << kTopicFolder + "manager.html";
    QTest::newRow("query dropped") << QUrl(QStringLiteral("http://x/index.php?option=com_fireboard&Itemid=90&lang=en"))
                                   << QStringLiteral("/index.html");
    QTest::newRow("climbing out leads to the main page")
        << QUrl(QStringLiteral("/../../../etc/passwd")) << QStringLiteral("/en/quormanager-help/2.html");
    QTest::newRow("other scheme leads to the main page")
        << QUrl(QStringLiteral("javascript:alert(1)")) << QStringLiteral("/en/quormanager-help/2.html");
}

void TestQuorHelp::links()
{
    QFETCH(QUrl, link);
    QFETCH(QString, page);
    QCOMPARE(HelpLinks::linkUrl(link), QUrl::fromLocalFile(HelpLinks::helpDir() + page));
}

void TestQuorHelp::localPageLoadsOffscreen()
{
    QuorHelp help;
    help.resize(850, 600);
    help.show();
    QVERIFY(loadAndWait(help, HelpLinks::mainPage()));
    QCOMPARE(help.windowTitle(), QStringLiteral("Quor Manager Help"));

    QAction *queues = entry(
        help, { QStringLiteral("&QuorManager Help"), QStringLiteral("QuorManager Use"), QStringLiteral("Queues") });
    QVERIFY(queues);
    QSignalSpy finished(help.webView, &QWebEngineView::loadFinished);
    queues->trigger();
    QVERIFY(finished.wait(30000));
    QTRY_COMPARE(help.windowTitle(), QStringLiteral("Queues"));
    if (qEnvironmentVariableIsSet("QUOR_SCREENSHOT_DIR"))
        saveWidgetShot(&help, QStringLiteral("help-window"));
}

void TestQuorHelp::titleFollowsProgress_data()
{
    QTest::addColumn<int>("progress");
    QTest::addColumn<QString>("title");
    QTest::newRow("0") << 0 << QStringLiteral("Codecs");
    QTest::newRow("1") << 1 << QStringLiteral("Codecs (1%)");
    QTest::newRow("50") << 50 << QStringLiteral("Codecs (50%)");
    QTest::newRow("99") << 99 << QStringLiteral("Codecs (99%)");
    QTest::newRow("100") << 100 << QStringLiteral("Codecs");
}

void TestQuorHelp::titleFollowsProgress()
{
    QFETCH(int, progress);
    QFETCH(QString, title);

    QuorHelp help;
    QVERIFY(loadAndWait(help, HelpLinks::pageUrl(kTopicFolder + QLatin1String("codecs.php"))));
    QVERIFY(QMetaObject::invokeMethod(&help, "setProgress", Q_ARG(int, progress)));
    QCOMPARE(help.windowTitle(), title);

    // A failed load ends like a good one: the title alone.
    QVERIFY(QMetaObject::invokeMethod(&help, "finishLoading", Q_ARG(bool, false)));
    QCOMPARE(help.windowTitle(), QStringLiteral("Codecs"));
}

void TestQuorHelp::helpUrlFromNonTopic()
{
    QuorHelp help;
    QSignalSpy started(help.webView, &QWebEngineView::loadStarted);

    // No topic chosen yet: nothing to load.
    QVERIFY(QMetaObject::invokeMethod(&help, "helpUrl"));
    QVERIFY(help.topicUrl().isEmpty());
    QVERIFY(help.webView->url().isEmpty());

    QAction *hold = entry(
        help, { QStringLiteral("&QuorManager Help"), QStringLiteral("QuorManager Use"), QStringLiteral("Hold") });
    QVERIFY(hold);
    QSignalSpy finished(help.webView, &QWebEngineView::loadFinished);
    hold->trigger();
    QVERIFY(finished.wait(30000));
    const QString chosen = help.topicUrl();
    const int loads = started.size();
    QVERIFY(loads > 0);

    // Any other caller reloads the last topic page.
    QVERIFY(QMetaObject::invokeMethod(&help, "helpUrl"));
    QTRY_VERIFY(started.size() > loads);
    QCOMPARE(help.topicUrl(), chosen);
}

void TestQuorHelp::exitDeletesWindow()
{
    QPointer<QuorHelp> help = new QuorHelp;
    help->show();
    QAction *exit = entry(*help, { QStringLiteral("&File"), QStringLiteral("Help E&xit") });
    QVERIFY(exit);
    exit->trigger();
    QTRY_VERIFY(help.isNull());
}

void TestQuorHelp::pagesLoadNothingRemote()
{
    // No page names an address of another machine, not even as text.
    QDirIterator it(HelpLinks::helpDir(), QDir::Files, QDirIterator::Subdirectories);
    int files = 0;
    while (it.hasNext()) {
        QFile file(it.next());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY2(!file.readAll().contains("://"), qPrintable(file.fileName()));
        ++files;
    }
    QVERIFY(files > 1);

    // And what a page pulls in comes from the help folder.
    QuorHelp help;
    RequestRecorder recorder;
    QWebEngineProfile *profile = help.webView->page()->profile();
    profile->setUrlRequestInterceptor(&recorder);
    const bool loaded = loadAndWait(help, HelpLinks::pageUrl(kTopicFolder + QLatin1String("asterisk.php")));
    profile->setUrlRequestInterceptor(nullptr);
    QVERIFY(loaded);
    const QList<QUrl> urls = recorder.urls();
    QVERIFY(urls.size() >= 2); // the page and its style sheet
    for (const QUrl &url : urls) {
        QVERIFY2(url.isLocalFile(), qPrintable(url.toString()));
        QVERIFY2(url.toLocalFile().startsWith(HelpLinks::helpDir()), qPrintable(url.toString()));
    }
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
