#include "mainwindow/QuorHelp.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>

#include "mainwindow/HelpLinks.h"

namespace {

const char kTopicFolder[] = "/en/quormanager-help/quormanager-help/";

// Run in every page once it has loaded; no such script is compiled in today.
const char kScriptResource[] = ":/resources/jquery.min.js";

// The page's own title: the web view reports a page without one by its
// address (a local file by its file name), which is no title to show.
QString ownTitle(const QWebEngineView &view)
{
    const QString title = view.title();
    const QUrl url = view.url();
    const QString bare = url.toString(QUrl::RemoveScheme | QUrl::StripTrailingSlash);
    const QStringList addresses { url.fileName(), url.toString(), url.toDisplayString(), bare,
        bare.mid(bare.startsWith(QLatin1String("//")) ? 2 : 0) };
    return addresses.contains(title) ? QString() : title;
}

} // namespace

const QuorHelp::Topic QuorHelp::kTopics[] = {
    { &QuorHelp::m_introductionAction, QT_TRANSLATE_NOOP("QuorHelp", "Introduction"), "introdution.php" },
    { &QuorHelp::m_installationAction, QT_TRANSLATE_NOOP("QuorHelp", "Installation"), "installation.php" },
    { &QuorHelp::m_setupIntroAction, QT_TRANSLATE_NOOP("QuorHelp", "Intro"), "configuration.php" },
    { &QuorHelp::m_phoneSetupAction, QT_TRANSLATE_NOOP("QuorHelp", "Phone Setup"),
        "/en/quor-manager-faq/quor-manager-faq/how-to-quor-iax2-softphone-setup.php" },
    { &QuorHelp::m_allOptionsAction, QT_TRANSLATE_NOOP("QuorHelp", "All Options"), "phone-options.php" },
    { &QuorHelp::m_dndAction, QT_TRANSLATE_NOOP("QuorHelp", "DND"), "dnd.php" },
    { &QuorHelp::m_forwardAction, QT_TRANSLATE_NOOP("QuorHelp", "Forward"), "forward.php" },
    { &QuorHelp::m_voiceMailAction, QT_TRANSLATE_NOOP("QuorHelp", "Voice Mail"), "voice-mail.php" },
    { &QuorHelp::m_sendToVoiceMailAction, QT_TRANSLATE_NOOP("QuorHelp", "Send to Voice Mail"),
        "send-to-voice-mail.php" },
    { &QuorHelp::m_portsAction, QT_TRANSLATE_NOOP("QuorHelp", "Ports"), "ports.php" },
    { &QuorHelp::m_managerAction, QT_TRANSLATE_NOOP("QuorHelp", "Manager"), "manager.php" },
    { &QuorHelp::m_privacyAction, QT_TRANSLATE_NOOP("QuorHelp", "Privacy"), "privacy.php" },
    { &QuorHelp::m_useFreePbxAction, QT_TRANSLATE_NOOP("QuorHelp", "Use FreePBX"), "manager.php" },
    { &QuorHelp::m_actionsAction, QT_TRANSLATE_NOOP("QuorHelp", "Actions"), "actions.php" },
    { &QuorHelp::m_audioOptionsAction, QT_TRANSLATE_NOOP("QuorHelp", "Audio Options"), "audio-options.php" },
    { &QuorHelp::m_codecsAction, QT_TRANSLATE_NOOP("QuorHelp", "Codecs"), "codecs.php" },
    { &QuorHelp::m_filtersAction, QT_TRANSLATE_NOOP("QuorHelp", "Filters"), "filters.php" },
    { &QuorHelp::m_lockSettingsAction, QT_TRANSLATE_NOOP("QuorHelp", "Lock Settings"), "lock-settings.php" },
    { &QuorHelp::m_useInterfaceAction, QT_TRANSLATE_NOOP("QuorHelp", "Interface"), "interface.php" },
    { &QuorHelp::m_menuAction, QT_TRANSLATE_NOOP("QuorHelp", "Menu"), "menu.php" },
    { &QuorHelp::m_phoneInterfaceAction, QT_TRANSLATE_NOOP("QuorHelp", "Interface"), "phone.php" },
    { &QuorHelp::m_shortcutsAction, QT_TRANSLATE_NOOP("QuorHelp", "Shortcuts"), "contextual-menu.php" },
    { &QuorHelp::m_displayAction, QT_TRANSLATE_NOOP("QuorHelp", "Display"), "display.php" },
    { &QuorHelp::m_buttonsAction, QT_TRANSLATE_NOOP("QuorHelp", "Buttons"), "phone-buttons.php" },
    { &QuorHelp::m_callButtonAction, QT_TRANSLATE_NOOP("QuorHelp", "Call Button"), "call-button.php" },
    { &QuorHelp::m_keypadAction, QT_TRANSLATE_NOOP("QuorHelp", "Keypad"), "keypad.php" },
    { &QuorHelp::m_activityFrameAction, QT_TRANSLATE_NOOP("QuorHelp", "Activity Frame"), "activity.php" },
    { &QuorHelp::m_callReportsAction, QT_TRANSLATE_NOOP("QuorHelp", "Call Reports"), "call-report.php" },
    { &QuorHelp::m_agentLoginAction, QT_TRANSLATE_NOOP("QuorHelp", "Agent Login/Logout"), "agent-login.php" },
    { &QuorHelp::m_audioControlAction, QT_TRANSLATE_NOOP("QuorHelp", "Audio Controll"), "audio-controll.php" },
    { &QuorHelp::m_logsAction, QT_TRANSLATE_NOOP("QuorHelp", "Logs"), "log.php" },
    { &QuorHelp::m_settingsAction, QT_TRANSLATE_NOOP("QuorHelp", "Settings"), "settings.php" },
    { &QuorHelp::m_phoneVoiceMailAction, QT_TRANSLATE_NOOP("QuorHelp", "Voice Mail"), "voice-mail-3.php" },
    { &QuorHelp::m_extensionsAction, QT_TRANSLATE_NOOP("QuorHelp", "Extensions"), "extension.php" },
    { &QuorHelp::m_groupsAction, QT_TRANSLATE_NOOP("QuorHelp", "Groups"), "groups-management.php" },
    { &QuorHelp::m_makeCallAction, QT_TRANSLATE_NOOP("QuorHelp", "Make a call"), "making-a-call.php" },
    { &QuorHelp::m_answerCallAction, QT_TRANSLATE_NOOP("QuorHelp", "Answer a call"), "answer-a-call.php" },
    { &QuorHelp::m_holdAction, QT_TRANSLATE_NOOP("QuorHelp", "Hold"), "call-hold.php" },
    { &QuorHelp::m_transferAction, QT_TRANSLATE_NOOP("QuorHelp", "Transfer"), "transfer.php" },
    { &QuorHelp::m_sendToVmAction, QT_TRANSLATE_NOOP("QuorHelp", "Send to VoiceMail"), "send-to-vm.php" },
    { &QuorHelp::m_hangUpAction, QT_TRANSLATE_NOOP("QuorHelp", "Hang Up"), "hang-up.php" },
    { &QuorHelp::m_doNotDisturbAction, QT_TRANSLATE_NOOP("QuorHelp", "Do Not Disturb"), "do-not-disturb.php" },
    { &QuorHelp::m_callForwardAction, QT_TRANSLATE_NOOP("QuorHelp", "Call Forward"), "call-forwarding.php" },
    { &QuorHelp::m_contactsAction, QT_TRANSLATE_NOOP("QuorHelp", "Contacts"), "address-book.php" },
    { &QuorHelp::m_searchAction, QT_TRANSLATE_NOOP("QuorHelp", "Search"), "search.php" },
    { &QuorHelp::m_queuesAction, QT_TRANSLATE_NOOP("QuorHelp", "Queues"), "queues.php" },
    { &QuorHelp::m_parkingLotsAction, QT_TRANSLATE_NOOP("QuorHelp", "Parking lots "), "parking-lots.php" },
    { &QuorHelp::m_glossaryAction, QT_TRANSLATE_NOOP("QuorHelp", "Glossary"), "/en/glossario/glossario/index.php" },
    { &QuorHelp::m_managerConfigurationAction, QT_TRANSLATE_NOOP("QuorHelp", "Manager Configuration"),
        "manager.php" },
    { &QuorHelp::m_extensionsConfigurationAction, QT_TRANSLATE_NOOP("QuorHelp", "Extensions Configuration"),
        "asterisk.php" },
    { &QuorHelp::m_faqAction, QT_TRANSLATE_NOOP("QuorHelp", "FAQ"), "/en/faq/2.php" },
    { &QuorHelp::m_forumAction, QT_TRANSLATE_NOOP("QuorHelp", "Forum"),
        "/index.php?option=com_fireboard&Itemid=90&lang=en" },
};

QuorHelp::QuorHelp(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
{
    setAttribute(Qt::WA_DeleteOnClose);
    progress = 0;

    QFile script(QString::fromLatin1(kScriptResource));
    if (script.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = script.readAll();
        jQuery = QString::fromLatin1(bytes.constData(), qstrnlen(bytes.constData(), bytes.size()));
        script.close();
    }

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout;
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    webView = new QWebEngineView;
    webView->setObjectName(QStringLiteral("webView"));
    layout->addWidget(webView);
    central->setLayout(layout);
    setCentralWidget(central);

    connect(webView, &QWebEngineView::titleChanged, this, &QuorHelp::adjustTitle);
    connect(webView, &QWebEngineView::loadProgress, this, &QuorHelp::setProgress);
    connect(webView, &QWebEngineView::loadFinished, this, &QuorHelp::finishLoading);

    createActions();
    createMenus();
}

QuorHelp::~QuorHelp() = default;

void QuorHelp::showConf() { }

void QuorHelp::helpUrl()
{
    const QObject *from = sender();
    for (const Topic &t : kTopics) {
        if (this->*t.action == from) {
            QString path = QString::fromLatin1(t.page);
            if (!path.startsWith(QLatin1Char('/')))
                path.prepend(QLatin1String(kTopicFolder));
            url = HelpLinks::pageUrl(path).toString();
            break;
        }
    }
    loadUrl(url);
}

void QuorHelp::adjustTitle()
{
    const QString title = ownTitle(*webView);
    if (progress >= 1 && progress <= 99)
        setWindowTitle(QStringLiteral("%1 (%2%)").arg(title).arg(progress));
    else
        setWindowTitle(title);
}

void QuorHelp::setProgress(int p)
{
    progress = p;
    adjustTitle();
}

void QuorHelp::finishLoading(bool)
{
    progress = 100;
    adjustTitle();
    if (!jQuery.isEmpty())
        webView->page()->runJavaScript(jQuery);
}

void QuorHelp::loadUrl(const QString &address)
{
    const QUrl target(address);
    if (!address.isEmpty())
        webView->load(target);
    webView->setFocus(Qt::OtherFocusReason);
}

void QuorHelp::createActions()
{
    for (const Topic &t : kTopics) {
        this->*t.action = new QAction(tr(t.text), this);
        connect(this->*t.action, &QAction::triggered, this, &QuorHelp::helpUrl);
    }
    m_exitAction = new QAction(tr("Help E&xit"), this);
    connect(m_exitAction, &QAction::triggered, this, &QWidget::close);
}

void QuorHelp::createMenus()
{
    m_menuBar = new QMenuBar(nullptr);

    m_fileMenu = m_menuBar->addMenu(tr("&File"));
    m_fileMenu->addAction(webView->pageAction(QWebEnginePage::Back));
    m_fileMenu->addAction(webView->pageAction(QWebEnginePage::Forward));
    m_fileMenu->addAction(webView->pageAction(QWebEnginePage::Reload));
    m_fileMenu->addAction(webView->pageAction(QWebEnginePage::Stop));
    m_fileMenu->addSeparator();
    m_fileMenu->addAction(m_exitAction);

    m_helpMenu = m_menuBar->addMenu(tr("&QuorManager Help"));
    m_helpMenu->addActions({ m_introductionAction, m_installationAction });

    m_setupMenu = m_helpMenu->addMenu(tr("QuorManager Setup"));
    m_setupMenu->addActions({ m_setupIntroAction, m_phoneSetupAction });
    m_phoneOptionsMenu = m_setupMenu->addMenu(tr("Phone options"));
    m_phoneOptionsMenu->addActions({ m_allOptionsAction, m_dndAction, m_forwardAction, m_voiceMailAction });
    m_setupMenu->addActions({ m_sendToVoiceMailAction, m_portsAction, m_managerAction });
    m_managerOptionsMenu = m_setupMenu->addMenu(tr("Manager options"));
    m_managerOptionsMenu->addActions({ m_privacyAction, m_useFreePbxAction });
    m_setupMenu->addActions(
        { m_actionsAction, m_audioOptionsAction, m_codecsAction, m_filtersAction, m_lockSettingsAction });

    m_useMenu = m_helpMenu->addMenu(tr("QuorManager Use"));
    m_useMenu->addActions({ m_useInterfaceAction, m_menuAction });
    m_phoneMenu = m_useMenu->addMenu(tr("Phone"));
    m_phoneMenu->addActions({ m_phoneInterfaceAction, m_shortcutsAction, m_displayAction, m_buttonsAction,
        m_callButtonAction, m_keypadAction, m_activityFrameAction, m_callReportsAction, m_agentLoginAction,
        m_audioControlAction, m_logsAction, m_settingsAction, m_phoneVoiceMailAction });
    m_extensionsMenu = m_useMenu->addMenu(tr("Extensions"));
    m_extensionsMenu->addActions({ m_extensionsAction, m_groupsAction });
    m_useMenu->addActions({ m_makeCallAction, m_answerCallAction, m_holdAction, m_transferAction, m_sendToVmAction,
        m_hangUpAction, m_doNotDisturbAction, m_callForwardAction });
    m_addressBookMenu = m_useMenu->addMenu(tr("Address Book"));
    m_addressBookMenu->addActions({ m_contactsAction, m_searchAction });
    m_useMenu->addActions({ m_queuesAction, m_parkingLotsAction });

    m_helpMenu->addSeparator();
    m_helpMenu->addAction(m_glossaryAction);

    m_shortcutsMenu = m_menuBar->addMenu(tr("&Shortcuts"));
    m_shortcutsMenu->addAction(m_shortcutsAction);

    m_asteriskMenu = m_menuBar->addMenu(tr("&Asterisk Setup"));
    m_asteriskMenu->addActions({ m_managerConfigurationAction, m_extensionsConfigurationAction });

    m_troubleshootingMenu = m_menuBar->addMenu(tr("&Troubleshooting"));
    m_troubleshootingMenu->addActions({ m_faqAction, m_forumAction });

    setMenuBar(m_menuBar);
}
