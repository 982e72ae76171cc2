// The main window's actions, menus, key table, tray icon and help opener.

#include "mainwindow/TQuorManager.h"

#include <QAction>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QWebEngineView>
#include <QWhatsThis>
#include <QWhatsThisClickedEvent>

#include "mainwindow/BalloonRunner.h"
#include "mainwindow/HelpLinks.h"
#include "mainwindow/QuorHelp.h"
#include "mainwindow/QuorQueue.h"
#include "mainwindow/TQuorQMmenu.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

namespace {

const char kTrayPicture[] = ":icons/quor.png";
constexpr int kBalloonMs = 15000;

// The text without the "&" that makes its mnemonic ("&&" stays).
QString withoutMnemonic(const QString &text)
{
    for (qsizetype i = text.indexOf(QLatin1Char('&')); i >= 0 && i + 1 < text.size();
         i = text.indexOf(QLatin1Char('&'), i + 2)) {
        if (text.at(i + 1) != QLatin1Char('&'))
            return QString(text).remove(i, 1);
    }
    return text;
}

} // namespace

void TQuorManager::createActions()
{
    struct Entry
    {
        QAction **action;
        QString text;
        const char *shortcut; // nullptr: none
        QString tip;
        QObject *target;
        std::function<void()> run;
    };
    TQuorPhone *phone = m_phone;
    const Entry entries[] = {
        { &m_minimizeAction, tr("&Minimize"), nullptr, QString(), this, [this] { hide(); } },
        { &m_restoreAction, tr("&Restore"), nullptr, QString(), this, [this] { showNormal(); } },
        { &m_quitAction, tr("&Quit"), QT_TR_NOOP("Ctrl+Q"), tr("Quit the application"), this, [this] { slotQuit(); } },
        { &m_cutAction, tr("Cu&t"), QT_TR_NOOP("Ctrl+X"), tr("Cut the current selection's contents to the clipboard"),
            phone, [phone] { phone->cut(); } },
        { &m_copyAction, tr("&Copy"), QT_TR_NOOP("Ctrl+C"),
            tr("Copy the current selection's contents to the clipboard"), phone, [phone] { phone->copy(); } },
        { &m_pasteAction, tr("&Paste"), QT_TR_NOOP("Ctrl+V"),
            tr("Paste the clipboard's contents into the current selection"), phone, [phone] { phone->paste(); } },
        { &m_clearAction, tr("Clear"), "", tr("Clear the current selection"), phone, [phone] { phone->lclear(); } },
        { &m_helpAction, tr("Help"), QT_TR_NOOP("Ctrl+?"), tr("Show Help"), this, [this] { MainHelp(); } },
        { &m_whatsThisAction, tr("What's This?"), QT_TR_NOOP("Shift+F1"), tr("Show What's This"), this,
            [this] { wtHelp(); } },
        { &m_settingsAction, tr("Settings"), QT_TR_NOOP("Ctrl+,"), tr("Show Settings"), phone,
            [phone] { phone->MshowSettings(); } },
        { &m_volumeAction, tr("Audio Volume"), QT_TR_NOOP("Shift+V"), tr("Audio Volume Controll"), phone,
            [phone] { phone->showVolume(); } },
        { &m_activityAction, tr("Activity"), QT_TR_NOOP("F1"), tr("Show Activity"), phone,
            [phone] { phone->MshowIncomming(); } },
        { &m_keypadAction, tr("Keypad"), QT_TR_NOOP("F2"), tr("Show Keypad"), phone,
            [phone] { phone->MshowKeyboard(); } },
        { &m_callReportAction, tr("Call report"), QT_TR_NOOP("F3"), tr("Call report"), phone,
            [phone] { phone->MshowMissing(); } },
        { &m_contactsAction, tr("&Contacts"), QT_TR_NOOP("Alt+C"), tr("Contacts"), phone,
            [phone] { phone->MshowContacts(); } },
        { &m_voiceMailAction, tr("&Voicemail"), QT_TR_NOOP("Alt+V"), tr("Check Voicemail"), phone,
            [phone] { phone->callVM(); } },
        { &m_agentLoginAction, tr("Agent &Login"), QT_TR_NOOP("Ctrl+A"), tr("Agent Login "), phone,
            [phone] { phone->slotAgentLogin(); } },
        { &m_dndAction, tr("Enable &DND"), QT_TR_NOOP("Alt+D"), tr("Set Do Not Disturb"), this,
            [this] { slotSetDND(); } },
        { &m_forwardAction, tr("Enable &Forward"), QT_TR_NOOP("Alt+F"), tr("Set Forwarding"), phone,
            [phone] { phone->slotSetFWD(); } },
        { &m_busyAction, tr("Enable &Busy if speaking"), QT_TR_NOOP("Ctrl+B"), tr("Send Busy if you are in a call "),
            phone, [phone] { phone->slotSetBusy(); } },
        { &m_trayIconAction, tr("Enable &TrayIcon"), QT_TR_NOOP("Ctrl+Y"), tr("Enable Tray Icon "), phone,
            [phone] { phone->slotSetSysTray(); } },
        { &m_onTopAction, tr("Enable &OnTop"), QT_TR_NOOP("Ctrl+T"),
            tr("Enable Always Stay on top for the windows application "), phone, [phone] { phone->slotSetOnTop(); } },
        { &m_logsAction, tr("&Logs"), QT_TR_NOOP("Alt+L"), tr("Logs"), phone, [phone] { phone->MshowLog(); } },
    };
    for (const Entry &e : entries) {
        auto *action = new QAction(e.text, this);
        if (e.shortcut)
            action->setShortcut(QKeySequence(tr(e.shortcut)));
        if (!e.tip.isEmpty())
            action->setStatusTip(e.tip);
        connect(action, &QAction::triggered, e.target, e.run);
        *e.action = action;
    }
}

void TQuorManager::createMenus()
{
    // The keys the window answers itself: its actions' shortcuts, the key
    // table's Alt+S and the call windows' Take and Hangup. A menu title's
    // mnemonic on one of them would take the key from its owner, or leave both
    // dead as an ambiguous pair: such a title keeps its text but not its
    // underline.
    QList<QKeySequence> taken { QKeySequence(Qt::ALT | Qt::Key_S), m_queue->takeAction->shortcut(),
        m_queue->hangupAction->shortcut() };
    for (const QAction *action : findChildren<QAction *>(Qt::FindDirectChildrenOnly))
        taken << action->shortcut();
    QMenuBar *bar = menuBar();
    const auto menu = [bar, taken](const QString &title, const QList<QAction *> &entries) {
        QMenu *m = bar->addMenu(taken.contains(QKeySequence::mnemonic(title)) ? withoutMnemonic(title) : title);
        for (QAction *entry : entries) {
            if (entry)
                m->addAction(entry);
            else
                m->addSeparator();
        }
        return m;
    };
    m_fileMenu = menu(tr("&File"), { m_quitAction });
    m_editMenu = menu(tr("&Edit"), { m_cutAction, m_copyAction, m_pasteAction, nullptr, m_clearAction });
    m_phoneMenu = menu(tr("&Phone"),
        { m_volumeAction, nullptr, m_activityAction, m_keypadAction, m_callReportAction, nullptr, m_contactsAction,
            nullptr, m_voiceMailAction, nullptr, m_agentLoginAction });
    m_optionsMenu = menu(
        tr("&Options"), { m_dndAction, m_forwardAction, nullptr, m_busyAction, nullptr, m_trayIconAction, m_onTopAction });
    m_logsMenu = menu(tr("&Logs"), { m_callReportAction, m_logsAction });
    m_viewMenu = menu(tr("&View"), {});
    bar->addSeparator();
    m_helpMenu = menu(tr("&Help"), { m_whatsThisAction, m_helpAction, m_settingsAction });
}

void TQuorManager::keyPressEvent(QKeyEvent *event)
{
    // The first row whose key matches and whose modifiers are exactly the
    // listed ones (or any, where none are listed) runs.
    struct Row
    {
        int key;
        int otherKey;
        bool anyModifiers;
        Qt::KeyboardModifiers modifiers;
        void (*run)(TQuorManager *);
    };
    static const Row rows[] = {
        { Qt::Key_Return, Qt::Key_Enter, true, {}, [](TQuorManager *w) { w->m_phone->control(); } },
        { Qt::Key_T, 0, false, Qt::ControlModifier,
            [](TQuorManager *w) {
                w->m_phone->setOnTopFlag(!w->m_onTop);
                w->m_settings->toggleOnTop();
            } },
        { Qt::Key_X, 0, false, Qt::ControlModifier, [](TQuorManager *w) { w->m_phone->cut(); } },
        { Qt::Key_C, 0, false, Qt::ControlModifier, [](TQuorManager *w) { w->m_phone->copy(); } },
        { Qt::Key_V, 0, false, Qt::ControlModifier, [](TQuorManager *w) { w->m_phone->paste(); } },
        { Qt::Key_F1, 0, false, Qt::ShiftModifier, [](TQuorManager *w) { w->m_menu->showHelp(); } },
        { Qt::Key_F1, 0, true, {}, [](TQuorManager *w) { w->m_phone->showActivity(); } },
        { Qt::Key_F2, 0, true, {}, [](TQuorManager *w) { w->m_phone->showKeypad(); } },
        { Qt::Key_F3, 0, true, {}, [](TQuorManager *w) { w->m_phone->MshowMissing(); } },
        { Qt::Key_F5, 0, true, {}, [](TQuorManager *w) { w->m_phone->holdResume(); } },
        { Qt::Key_F6, 0, true, {}, [](TQuorManager *w) { w->m_phone->MtransferInternal(); } },
        { Qt::Key_C, 0, false, Qt::AltModifier, [](TQuorManager *w) { w->m_phone->showContacts(); } },
        { Qt::Key_V, 0, false, Qt::AltModifier,
            [](TQuorManager *w) {
                if (w->m_voiceMail)
                    w->m_phone->callVM();
                else
                    w->m_phone->showMessage(tr("Settings: Voicemail disabled"), MessageError, QString());
            } },
        { Qt::Key_D, 0, false, Qt::AltModifier, [](TQuorManager *w) { w->m_phone->slotSetDND(); } },
        { Qt::Key_F, 0, false, Qt::AltModifier, [](TQuorManager *w) { w->m_phone->slotSetFWD(); } },
        { Qt::Key_S, 0, false, Qt::AltModifier, [](TQuorManager *w) { w->m_phone->showSettings(); } },
        { Qt::Key_L, 0, false, Qt::AltModifier, [](TQuorManager *w) { w->m_phone->showMessages(); } },
        { Qt::Key_V, 0, false, Qt::ShiftModifier, [](TQuorManager *w) { w->m_phone->showVolume(); } },
        { Qt::Key_M, 0, false, Qt::ShiftModifier, [](TQuorManager *w) { w->m_phone->setMute(); } },
        { Qt::Key_B, 0, false, Qt::ControlModifier, [](TQuorManager *w) { w->m_phone->slotSetBusy(); } },
        { Qt::Key_Y, 0, false, Qt::ControlModifier, [](TQuorManager *w) { w->m_phone->slotSetSysTray(); } },
        { Qt::Key_Help, 0, false, Qt::ControlModifier, [](TQuorManager *w) { w->MainHelp(); } },
    };
    const int key = event->key();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    for (const Row &row : rows) {
        if (key != row.key && (row.otherKey == 0 || key != row.otherKey))
            continue;
        if (!row.anyModifiers && modifiers != row.modifiers)
            continue;
        row.run(this);
        return;
    }
    // Unmatched keys are swallowed: they do not reach the base class.
}

bool TQuorManager::event(QEvent *e)
{
    if (e->type() == QEvent::WhatsThisClicked) {
        Help(HelpLinks::linkUrl(QUrl(static_cast<QWhatsThisClickedEvent *>(e)->href())));
        return true;
    }
    return QWidget::event(e);
}

void TQuorManager::setVisible(bool visible)
{
    // Before the actions exist (the base class may show the window early).
    if (m_minimizeAction) {
        m_minimizeAction->setEnabled(visible);
        m_restoreAction->setEnabled(isMaximized() || !visible);
    }
    QWidget::setVisible(visible);
}

void TQuorManager::wtHelp()
{
    QWhatsThis::enterWhatsThisMode();
}

void TQuorManager::Help(QUrl url)
{
    // A new window per request; an earlier one stays open on its own.
    auto *help = new QuorHelp();
    m_help = help;
    help->setWindowFlags(Qt::Window);
    help->setWindowTitle(QStringLiteral("Quor Manager Help"));
    help->setObjectName(QStringLiteral("Help"));
    help->setMinimumSize(850, 600);
    help->webView->setUrl(url);
    help->show();
}

void TQuorManager::MainHelp()
{
    Help(HelpLinks::mainPage());
}

void TQuorManager::slotSetDND()
{
    m_settings->applyDND();
}

void TQuorManager::createTrayIcon()
{
    if (m_trayIconFlag && m_trayCreated)
        return;
    m_trayCreated = true;
    const QIcon icon{ QPixmap(QLatin1String(kTrayPicture)) };
    m_trayMenu = new QMenu(this);
    m_trayMenu->addAction(m_minimizeAction);
    m_trayMenu->addAction(m_restoreAction);
    m_trayMenu->addSeparator();
    m_trayMenu->addAction(m_quitAction);
    m_tray = new QSystemTrayIcon(this);
    m_tray->setIcon(icon);
    m_tray->setToolTip(tr("QuorManager"));
    m_tray->setContextMenu(m_trayMenu);
    setWindowIcon(icon);
    m_tray->setVisible(true);
}

void TQuorManager::setupTrayIcon(bool on)
{
    if (on) {
        createTrayIcon();
        connect(m_tray, &QSystemTrayIcon::messageClicked, this, &TQuorManager::messageClicked, Qt::UniqueConnection);
        connect(m_tray, &QSystemTrayIcon::activated, this, &TQuorManager::iconActivated, Qt::UniqueConnection);
        m_tray->setVisible(true);
    } else if (m_trayCreated) {
        m_trayCreated = false;
        delete m_tray;
        delete m_trayMenu;
        m_tray = nullptr;
        m_trayMenu = nullptr;
    }
    m_phone->updateMenuTexts();
}

void TQuorManager::slotSysTrayEnable()
{
    m_settings->getTrayIcon(&m_trayIconFlag);
    if (m_trayIconFlag && m_trayCreated)
        return;
    setupTrayIcon(m_trayIconFlag);
}

void TQuorManager::notify(QString title, QString text, QSystemTrayIcon::MessageIcon icon)
{
    if (m_tray)
        BalloonRunner::run(m_tray, title, text, icon, kBalloonMs);
}

void TQuorManager::iconActivated(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::DoubleClick || reason == QSystemTrayIcon::Trigger)
        showNormal();
}

void TQuorManager::messageClicked()
{
    showNormal();
}
