#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QPixmap>
#include <QSplashScreen>
#include <QTranslator>
#include <cstdio>
#include <memory>
#include <unistd.h>

#include "core/DSingleApplication.h"
#include "core/Logger.h"
#include "core/Paths.h"
#include "core/Version.h"
#include "mainwindow/QuitSignals.h"
#include "mainwindow/TQuorManager.h"
#include "mainwindow/TUpdate.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

static QString styleSheet()
{
    QFile file(QStringLiteral(":/ui/css/app.css"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll());
}

int main(int argc, char *argv[])
{
    const QString version = Version::text();

    // The help window's web engine needs both before the application object;
    // as root its sandbox would abort the whole process on the first help page.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("QuorManager"));
    QApplication::setApplicationVersion(version);
    Paths::init();
    QCoreApplication::addLibraryPath(Paths::pluginPath());

    QTranslator translator;
    const bool translated = translator.load(QStringLiteral("quorer_") + QLocale::system().name(),
                                            Paths::translationsDir());

    DSingleApplication instance(QStringLiteral("QuorManager"));
    if (instance.isRunning()) {
        std::printf("QuorManager is already running\n");
        std::fflush(stdout);
        return 0;
    }

    if (translated)
        QApplication::installTranslator(&translator);
    Logger::setProgramLog(QStringLiteral("quorer.log"));
    Logger::info(QStringLiteral("Quor Manager %1 starting; data directory %2").arg(version, Paths::dataDir()));
    if (instance.listeningPort() == 0)
        Logger::warning(QStringLiteral("No port of the single-instance range could be bound; "
                                       "a second instance will not be detected"));

    // From here on SIGTERM, SIGINT and SIGHUP wait for the main window's quit path; one
    // that comes while the windows are built is delivered once they exist.
    QuitSignals quitSignals;

    // Created hidden and locked; the phone window loads the configuration.
    std::unique_ptr<TQuorSettings> settings(new TQuorSettings());
    settings->hide();
    settings->setVersion(version);

    QSplashScreen splash(QPixmap(QStringLiteral(":/ui/images/splash.png")));
    splash.show();
    splash.showMessage(QStringLiteral("Quor Manager ") + version, Qt::AlignBottom | Qt::AlignHCenter, Qt::white);
    app.processEvents();

    TUpdate updateCheck;
    updateCheck.update();

    auto *phone = new TQuorPhone(settings.get());
    TQuorManager mainWindow(phone, settings.get());
    mainWindow.setWindowTitle(QStringLiteral("Quor Manager ") + version);
    mainWindow.show();
    phone->show();
    splash.finish(&mainWindow);
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &mainWindow, &TQuorManager::quit);

    app.setStyleSheet(styleSheet());
    const int status = app.exec();
    Logger::info(QStringLiteral("Quor Manager stopped"));
    return status;
}
