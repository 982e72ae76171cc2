#include "mainwindow/QuorHelp.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <iterator>

#include "mainwindow/HelpLinks.h"

namespace {

// Topics in the order a click is matched against them. Bare names lie in the
// topic folder; paths starting with "/" are whole.
enum TopicId {
    Introduction,
    Installation,
    SetupIntro,
    PhoneSetup,
    AllOptions,
    Dnd,
    Forward,
    VoiceMail,
    SendToVoiceMail,
    Ports,
    Manager,
    Privacy,
    UseFreePbx,
    Actions,
    AudioOptions,
    Codecs,
    Filters,
    LockSettings,
    UseInterface,
    Menu,
    PhoneInterface,
    Shortcuts,
    Display,
    Buttons,
    CallButton,
    Keypad,
    ActivityFrame,
    CallReports,
    AgentLogin,
    AudioControl,
    Logs,
    Settings,
    PhoneVoiceMail,
    Extensions,
    Groups,
    MakeCall,
    AnswerCall,
    Hold,
    Transfer,
    SendToVm,
    HangUp,
    DoNotDisturb,
    CallForward,
    Contacts,
    Search,
    Queues,
    ParkingLots,
    Glossary,
    ManagerConfiguration,
    ExtensionsConfiguration,
    Faq,
    Forum,
};

struct TopicEntry
{
    const char *text;
    const char *page;
};

const TopicEntry kTopics[] = {
    { QT_TRANSLATE_NOOP("QuorHelp", "Introduction"), "introdution.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Installation"), "installation.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Intro"), "configuration.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Phone Setup"),
        "/en/quor-manager-faq/quor-manager-faq/how-to-quor-iax2-softphone-setup.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "All Options"), "phone-options.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "DND"), "dnd.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Forward"), "forward.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Voice Mail"), "voice-mail.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Send to Voice Mail"), "send-to-voice-mail.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Ports"), "ports.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Manager"), "manager.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Privacy"), "privacy.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Use FreePBX"), "manager.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Actions"), "actions.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Audio Options"), "audio-options.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Codecs"), "codecs.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Filters"), "filters.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Lock Settings"), "lock-settings.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Interface"), "interface.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Menu"), "menu.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Interface"), "phone.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Shortcuts"), "contextual-menu.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Display"), "display.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Buttons"), "phone-buttons.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Call Button"), "call-button.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Keypad"), "keypad.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Activity Frame"), "activity.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Call Reports"), "call-report.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Agent Login/Logout"), "agent-login.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Audio Controll"), "audio-controll.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Logs"), "log.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Settings"), "settings.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Voice Mail"), "voice-mail-3.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Extensions"), "extension.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Groups"), "groups-management.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Make a call"), "making-a-call.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Answer a call"), "answer-a-call.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Hold"), "call-hold.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Transfer"), "transfer.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Send to VoiceMail"), "send-to-vm.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Hang Up"), "hang-up.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Do Not Disturb"), "do-not-disturb.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Call Forward"), "call-forwarding.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Contacts"), "address-book.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Search"), "search.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Queues"), "queues.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Parking lots "), "parking-lots.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Glossary"), "/en/glossario/glossario/index.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Manager Configuration"), "manager.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Extensions Configuration"), "asterisk.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "FAQ"), "/en/faq/2.php" },
    { QT_TRANSLATE_NOOP("QuorHelp", "Forum"), "/index.php?option=com_fireboard&Itemid=90&lang=en" },
};
static_assert(std::size(kTopics) == Forum + 1, "one entry per topic id");

const char kTopicFolder[] = "/en/quormanager-help/quormanager-help/";

// Run in every page once it has loaded; no such script is compiled in today.
const char kScriptResource[] = ":/resources/jquery.min.js";

} // namespace

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
    for (const Topic &t : std::as_const(m_topics)) {
        if (t.action == from) {
            url = HelpLinks::pageUrl(t.path).toString();
            break;
        }
    }
    loadUrl(url);
}

void QuorHelp::adjustTitle()
{
    const QString title = webView->title();
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
    m_topics.reserve(std::size(kTopics));
    for (const TopicEntry &entry : kTopics) {
        auto *action = new QAction(tr(entry.text), this);
        QString path = QString::fromLatin1(entry.page);
        if (!path.startsWith(QLatin1Char('/')))
            path.prepend(QLatin1String(kTopicFolder));
        connect(action, &QAction::triggered, this, &QuorHelp::helpUrl);
        m_topics.append({ action, path });
    }
    m_exitAction = new QAction(tr("Help E&xit"), this);
    connect(m_exitAction, &QAction::triggered, this, &QWidget::close);
}

QAction *QuorHelp::topic(int id) const
{
    return m_topics.at(id).action;
}

void QuorHelp::createMenus()
{
    auto *bar = new QMenuBar(nullptr);

    QMenu *file = bar->addMenu(tr("&File"));
    file->addAction(webView->pageAction(QWebEnginePage::Back));
    file->addAction(webView->pageAction(QWebEnginePage::Forward));
    file->addAction(webView->pageAction(QWebEnginePage::Reload));
    file->addAction(webView->pageAction(QWebEnginePage::Stop));
    file->addSeparator();
    file->addAction(m_exitAction);

    QMenu *help = bar->addMenu(tr("&QuorManager Help"));
    help->addAction(topic(Introduction));
    help->addAction(topic(Installation));

    QMenu *setup = help->addMenu(tr("QuorManager Setup"));
    setup->addAction(topic(SetupIntro));
    setup->addAction(topic(PhoneSetup));
    QMenu *phoneOptions = setup->addMenu(tr("Phone options"));
    for (int id : { AllOptions, Dnd, Forward, VoiceMail })
        phoneOptions->addAction(topic(id));
    for (int id : { SendToVoiceMail, Ports, Manager })
        setup->addAction(topic(id));
    QMenu *managerOptions = setup->addMenu(tr("Manager options"));
    managerOptions->addAction(topic(Privacy));
    managerOptions->addAction(topic(UseFreePbx));
    for (int id : { Actions, AudioOptions, Codecs, Filters, LockSettings })
        setup->addAction(topic(id));

    QMenu *use = help->addMenu(tr("QuorManager Use"));
    use->addAction(topic(UseInterface));
    use->addAction(topic(Menu));
    QMenu *phone = use->addMenu(tr("Phone"));
    for (int id : { PhoneInterface, Shortcuts, Display, Buttons, CallButton, Keypad, ActivityFrame, CallReports,
             AgentLogin, AudioControl, Logs, Settings, PhoneVoiceMail })
        phone->addAction(topic(id));
    QMenu *extensions = use->addMenu(tr("Extensions"));
    extensions->addAction(topic(Extensions));
    extensions->addAction(topic(Groups));
    for (int id : { MakeCall, AnswerCall, Hold, Transfer, SendToVm, HangUp, DoNotDisturb, CallForward })
        use->addAction(topic(id));
    QMenu *addressBook = use->addMenu(tr("Address Book"));
    addressBook->addAction(topic(Contacts));
    addressBook->addAction(topic(Search));
    use->addAction(topic(Queues));
    use->addAction(topic(ParkingLots));

    help->addSeparator();
    help->addAction(topic(Glossary));

    QMenu *shortcuts = bar->addMenu(tr("&Shortcuts"));
    shortcuts->addAction(topic(Shortcuts));

    QMenu *asterisk = bar->addMenu(tr("&Asterisk Setup"));
    asterisk->addAction(topic(ManagerConfiguration));
    asterisk->addAction(topic(ExtensionsConfiguration));

    QMenu *troubleshooting = bar->addMenu(tr("&Troubleshooting"));
    troubleshooting->addAction(topic(Faq));
    troubleshooting->addAction(topic(Forum));

    setMenuBar(bar);
}
