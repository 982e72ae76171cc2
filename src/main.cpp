#include <QApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QMainWindow>
#include <QPixmap>
#include <QSplashScreen>
#include <QTranslator>
#include <cstdio>
#include <memory>

#include "DSingleApplication.h"
#include "Logger.h"
#include "Paths.h"
#include "Version.h"

#ifdef HAVE_QUOR_SETTINGS
#include "TQuorSettings.h"
#endif
#ifdef HAVE_QUOR_SOFTPHONE
#include <QCloseEvent>
#include <QDockWidget>

#include "TQuorPhone.h"

// Until the operator panel exists, the main window only hosts the phone; closing
// it runs the phone's quit routine, which ends the process.
class PhoneHostWindow : public QMainWindow
{
public:
    explicit PhoneHostWindow(TQuorPhone *phone)
        : m_phone(phone)
    {
    }

protected:
    void closeEvent(QCloseEvent *event) override
    {
        event->accept();
        m_phone->beforeQuit();
    }

private:
    TQuorPhone *m_phone;
};
#endif

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

#ifdef HAVE_QUOR_SETTINGS
    // Created hidden and locked; the phone window loads the configuration.
    std::unique_ptr<TQuorSettings> settings(new TQuorSettings());
    settings->hide();
    settings->setVersion(version);
#endif

    QSplashScreen splash(QPixmap(QStringLiteral(":/ui/images/splash.png")));
    splash.show();
    splash.showMessage(QStringLiteral("Quor Manager ") + version, Qt::AlignBottom | Qt::AlignHCenter, Qt::white);
    app.processEvents();

#if defined(HAVE_QUOR_SETTINGS) && defined(HAVE_QUOR_SOFTPHONE)
    auto *phone = new TQuorPhone(settings.get());
    PhoneHostWindow mainWindow(phone);
    auto *dock = new QDockWidget(QStringLiteral("Phone"), &mainWindow);
    dock->setObjectName(QStringLiteral("Phone"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(phone);
    mainWindow.addDockWidget(Qt::LeftDockWidgetArea, dock);
    mainWindow.setCentralWidget(new QWidget(&mainWindow));
    phone->setMainWindow(&mainWindow);
#else
    // Stands in for the main window until the panel and the phone are built.
    QMainWindow mainWindow;
#endif
    mainWindow.setObjectName(QStringLiteral("TQuorManager"));
    mainWindow.setWindowTitle(QStringLiteral("Quor Manager ") + version);
    mainWindow.resize(900, 600);
    mainWindow.show();
    splash.finish(&mainWindow);

    app.setStyleSheet(styleSheet());
    const int status = app.exec();
    Logger::info(QStringLiteral("Quor Manager stopped"));
    return status;
}
