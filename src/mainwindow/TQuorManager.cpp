#include "mainwindow/TQuorManager.h"

#include <QApplication>
#include <QDockWidget>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QToolBar>
#include <QVBoxLayout>

#include "ami/ManagerSocket.h"
#include "core/CPushButton.h"
#include "core/Paths.h"
#include "extensions/QuorExtensions.h"
#include "extensions/TQuorGroupsEdit.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/Queue.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "mainwindow/TQuorQMmenu.h"
#include "mainwindow/WhatsThisText.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

namespace {

const char kCellOn[] = ":/ui/images/btn_ext_p.png";
const char kCellOff[] = ":/ui/images/btn_ext.png";

const char kToolBarStyle[] = "border-image: url(:/ui/images/spacer.png);\n"
                             " border: none;\n"
                             " background-color: none;\n"
                             "QToolTip {\n"
                             " color: rgb(180,180,180);\n"
                             " border: 1px solid rgb(180,180,180);\n"
                             " padding: 4px;\n"
                             " background-color: rgba(75,75,75,170);\n"
                             " border-image: none;\n"
                             " background-image: none;\n"
                             "}";

QPixmap picture(const char *name)
{
    return QPixmap(QLatin1String(name));
}

} // namespace

TQuorManager::TQuorManager(TQuorPhone *phone, TQuorSettings *settings)
    : QMainWindow(nullptr)
    , m_router(std::make_unique<PbxRouter>())
    , activeCalls(m_router->activeCalls)
    , userName(m_router->userName)
    , userContext(m_router->userContext)
{
    m_layoutFile = Paths::dataDir() + QLatin1String(".geo");
    setAttribute(Qt::WA_MouseTracking);

    // Status texts may come from the very first connection attempt.
    m_messageTimer.setSingleShot(true);

    m_centralFrame = new QFrame();
    m_centralFrame->move(0, 0);
    setCentralWidget(m_centralFrame);
    m_centralLayout = new QVBoxLayout(m_centralFrame);
    m_centralLayout->setSpacing(0);
    m_centralLayout->setContentsMargins(0, 0, 0, 0);
    m_centralLayout->setObjectName(QStringLiteral("manager_layout"));

    const QColor red(203, 0, 0, 255);
    for (QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive, QPalette::Disabled }) {
        m_dockPalette.setBrush(group, QPalette::Base, QBrush(red));
        m_dockPalette.setBrush(group, QPalette::Window, QBrush(red));
    }

    m_menu = new TQuorQMmenu();
    connectStrip();

    m_settings = settings;
    connectSettings();
    readSettings();

    m_phone = phone;
    m_phone->setFixedSize(302, 552);
    m_phone->labelAsterisk->setText(QStringLiteral("Disconnected"));
    connectPhone();
    m_phone->setMainWindow(this);

    m_groupsEdit = new TQuorGroupsEdit();
    m_centralPages.append(m_groupsEdit);

    m_queue = new QuorQueue(this);
    m_parked = new QuorParked(this);

    m_extensions = new QuorExtensions(m_phone, m_settings, m_groupsEdit);
    m_extensions->setParent(m_centralFrame);
    m_extensions->setWhatsThis(WhatsThisText::build(tr("Extension Window"),
        { QString(), tr("Related help topics:"), QString() },
        { { QStringLiteral("Quor Manager Interface"), QStringLiteral("/en/quormanager-help/quormanager-help/interface.php") },
            { QStringLiteral("Quor Manager Extension"),
                QStringLiteral("/en/quormanager-help/quormanager-help/extension.php") },
            { QStringLiteral("Extension Groups"),
                QStringLiteral("/en/quormanager-help/quormanager-help/groups-management.php") } }));
    m_centralLayout->addWidget(m_extensions);
    m_centralPages.append(m_extensions);
    connectPanel();

    m_socket = new ManagerSocket();
    m_router->attach(m_socket, m_extensions, m_groupsEdit, m_queue, m_parked);
    connectRouter();
    connectSocket();
    passFamilies();

    createActions();
    createMenus();
    createDockWindows();
    setupTrayIcon(m_trayIconFlag);
    setupLablel();
    loadLayout();
    slotManagerSettingsChanged();

    connect(qApp, &QCoreApplication::aboutToQuit, this, &TQuorManager::slotBeforeQuit);
    connect(&m_messageTimer, &QTimer::timeout, this, &TQuorManager::hideMessage);
}

TQuorManager::~TQuorManager()
{
    // The socket outlives nothing it could call back into.
    m_socket->disconnect();
    m_router->disconnect(this);
    delete m_socket;
    // The records' rows belong to the call windows, deleted below.
    m_router.reset();
    // The panel refers to the group editor, which may have no parent yet.
    delete m_extensions;
    if (!m_groupsEdit->parent())
        delete m_groupsEdit;
    delete m_queue;
    delete m_parked;
    qDeleteAll(queues);
    delete m_tray;
    delete m_trayMenu;
    // The phone belongs to its owner, not to the dock.
    if (m_phoneDock && m_phone->parent() == m_phoneDock) {
        m_phoneDock->setWidget(nullptr);
        m_phone->setParent(nullptr);
    }
}

void TQuorManager::readSettings()
{
    m_settings->getTrayIcon(&m_trayIconFlag);
    m_settings->getUserName(&userName);
    readPhoneOptions();
    m_previousForwardFamily = m_forwardFamily;
    m_previousForwardOn = m_forwardOn;
    m_settings->getFwdFamilies(&m_fwdFamilyAll, &m_fwdFamilyBusy, &m_fwdFamilyNoAnswer);
    m_settings->getUseFreePBX(&m_useFreePbx);
    m_settings->getAgentLogin(&m_agentUser, &m_agentId, &m_penalty);
}

void TQuorManager::readPhoneOptions()
{
    m_settings->getPhoneOptions(&m_busy, &m_onTop, &m_dndOn, &m_dndFamily, &m_dndCode, &m_forwardOn, &m_forwardNumber,
        &m_forwardFamily, &m_voiceMail, &m_forwardToVm, &m_agentLoginOption);
    passFamilies();
}

void TQuorManager::passFamilies()
{
    m_router->setFamilies(m_dndFamily, m_fwdFamilyAll, m_fwdFamilyBusy, m_fwdFamilyNoAnswer);
}

void TQuorManager::connectStrip()
{
    connect(m_menu, &TQuorQMmenu::signalexit, this, &TQuorManager::slotQuit);
    connect(m_menu, &TQuorQMmenu::signalshowPhone, this, &TQuorManager::showPhone);
    connect(m_menu, &TQuorQMmenu::signalshowEditGroups, this, &TQuorManager::showEditGroups);
    connect(m_menu, &TQuorQMmenu::signalshowExtensions, this, &TQuorManager::showExtensions);
    connect(m_menu, &TQuorQMmenu::signalshowHelp, this, &TQuorManager::Help);
}

void TQuorManager::connectSettings()
{
    TQuorSettings *s = m_settings;
    connect(s, &TQuorSettings::signalManagerSettingsChanged, this, &TQuorManager::slotManagerSettingsChanged);
    connect(s, &TQuorSettings::signalUserSettingsChanged, this, &TQuorManager::slotUserSettingsChanged);
    connect(s, &TQuorSettings::signalPhoneOptionsChanged, this, &TQuorManager::slotPhoneOptionsChanged);
    connect(s, &TQuorSettings::signalPhoneOptionsChanged, this, &TQuorManager::slotSysTrayEnable);
    connect(s, &TQuorSettings::setAsteriskDND, this, &TQuorManager::setAsteriskDND);
    connect(s, qOverload<QString>(&TQuorSettings::queueSelected), this, &TQuorManager::AgQueueState);
    connect(s, &TQuorSettings::setAsteriskFWD, this, &TQuorManager::setAsteriskFWD);
    connect(s, &TQuorSettings::signalAgentSettingsChanged, this, &TQuorManager::slotAgentSettingsChanged);
    connect(s, &TQuorSettings::signalAgentLogin, this, &TQuorManager::AgentLogin);
    connect(s, &TQuorSettings::signalAgentPause, this, &TQuorManager::AgentPause);
}

void TQuorManager::connectPhone()
{
    connect(m_phone, &TQuorPhone::signalMessage, this, &TQuorManager::showMessage);
    connect(m_phone, &TQuorPhone::signalMessageCalls, this, &TQuorManager::notify);
    connect(m_phone, &TQuorPhone::signalsetupLablel, this, &TQuorManager::setupLablel);
    connect(m_phone, &TQuorPhone::signalExtCmd, this, &TQuorManager::AsteriskCommand);
}

void TQuorManager::connectPanel()
{
    connect(m_extensions, &QuorExtensions::ShowPhone, this, &TQuorManager::showPhone);
}

void TQuorManager::connectSocket()
{
    // The router takes the PBX's events and answers; the window keeps what only
    // it shows: the call count, the connection errors and the queue members.
    ManagerSocket *s = m_socket;
    connect(s, &ManagerSocket::chanNum, this, &TQuorManager::setCallLabel);
    connect(s, &ManagerSocket::QueueMember, this, &TQuorManager::QueueMember);
    connect(s, &ManagerSocket::QueueMemberStatus, this, &TQuorManager::QueueMember);
    connect(s, &ManagerSocket::QueueMemberAdded, this, &TQuorManager::QueueMember);
    connect(s, &ManagerSocket::QueueMemberRemoved, this, &TQuorManager::QueueMember);
    connect(s, &ManagerSocket::QueueMemberPaused, this, &TQuorManager::setPause);
    connect(s, &ManagerSocket::QueueParams, this, &TQuorManager::QueueParams);
    connect(s, &ManagerSocket::QueueStatusComplete, this, &TQuorManager::QueueStatusComplete);
    connect(s, &QAbstractSocket::errorOccurred, this, &TQuorManager::socketError);
}

void TQuorManager::createDockWindows()
{
    setDockNestingEnabled(true);

    auto *toolBar = new QToolBar(tr("Menu"), this);
    toolBar->setAllowedAreas(Qt::TopToolBarArea);
    toolBar->setObjectName(QStringLiteral("Menu"));
    toolBar->setMinimumSize(0, 49);
    toolBar->setMaximumSize(16777215, 49);
    toolBar->setAutoFillBackground(false);
    toolBar->setStyleSheet(QLatin1String(kToolBarStyle));
    toolBar->setWhatsThis(WhatsThisText::build(QStringLiteral("Quor Manager menu"),
        { QString(), tr("Use this menu to show/hide the phone, the extension or the group edit windows."), QString(),
            tr("More info:") },
        { { QStringLiteral("QuorManager Menu"), QStringLiteral("/en/quormanager-help/quormanager-help/menu.php") },
            { QStringLiteral("QuorManager Interface"),
                QStringLiteral("/en/quormanager-help/quormanager-help/interface.php") } }));
    // The strip spans the bar: its middle stretches, the exit button ends it.
    m_menu->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    toolBar->addWidget(m_menu);
    addToolBar(Qt::TopToolBarArea, toolBar);
    m_viewMenu->addAction(toolBar->toggleViewAction());

    struct Dock
    {
        QDockWidget **dock;
        QString title;
        const char *name;
        Qt::DockWidgetAreas allowed;
        QWidget *widget;
        Qt::DockWidgetArea area;
    };
    const Dock docks[] = {
        { &m_phoneDock, tr("Phone"), "Phone", Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea, m_phone,
            Qt::LeftDockWidgetArea },
        { &m_queuesDock, tr("Queues"), "Queues", Qt::AllDockWidgetAreas, m_queue, Qt::RightDockWidgetArea },
        { &m_parkedDock, tr("Parked"), "Parked", Qt::AllDockWidgetAreas, m_parked, Qt::RightDockWidgetArea },
    };
    for (const Dock &d : docks) {
        auto *dock = new QDockWidget(d.title, this);
        dock->setAllowedAreas(d.allowed);
        dock->setObjectName(QLatin1String(d.name));
        dock->setPalette(m_dockPalette);
        dock->setAutoFillBackground(true);
        dock->setWidget(d.widget);
        // Added in order to the same area, the parked dock lands below the queues.
        addDockWidget(d.area, dock);
        m_viewMenu->addAction(dock->toggleViewAction());
        *d.dock = dock;
    }
}

bool TQuorManager::pageShown(QWidget *page) const
{
    return page->parentWidget() == m_centralFrame && !page->isHidden();
}

void TQuorManager::setCentralPage(QWidget *page)
{
    if (pageShown(page))
        return;
    for (QWidget *other : std::as_const(m_centralPages)) {
        if (other == page)
            continue;
        other->hide();
        m_centralLayout->removeWidget(other);
    }
    m_centralLayout->addWidget(page);
    page->show();
}

void TQuorManager::showEditGroups()
{
    if (pageShown(m_groupsEdit))
        return;
    m_menu->label_bk_grp->setPixmap(picture(kCellOn));
    m_menu->label_bk_ext->setPixmap(picture(kCellOff));
    m_menu->groupsButton->setToolTip(QString());
    m_menu->extensionsButton->setToolTip(tr("Show the Extensions"));
    setCentralPage(m_groupsEdit);
    refreshGroupEditor();
}

void TQuorManager::refreshGroupEditor()
{
    m_groupsEdit->refreshEditCopies();
}

void TQuorManager::showExtensions()
{
    if (pageShown(m_extensions))
        return;
    m_menu->label_bk_grp->setPixmap(picture(kCellOff));
    m_menu->label_bk_ext->setPixmap(picture(kCellOn));
    m_menu->groupsButton->setToolTip(tr("Open Group Manager"));
    m_menu->extensionsButton->setToolTip(QString());
    setCentralPage(m_extensions);
}

void TQuorManager::showPhone()
{
    if (m_phoneDock->isHidden())
        m_phoneDock->show();
    else
        m_phoneDock->close();
    if (m_phoneDock->isHidden()) {
        m_menu->label_bk_phone->setPixmap(picture(kCellOff));
        m_menu->phoneButton->setToolTip(tr("Show the Phone"));
    } else {
        m_menu->label_bk_phone->setPixmap(picture(kCellOn));
        m_menu->phoneButton->setToolTip(tr("Hide the Phone"));
    }
    saveLayout();
}

void TQuorManager::showMessage(QString text)
{
    m_phone->messageLabel()->setText(text);
    m_messageTimer.start(m_messageHideMs);
}

void TQuorManager::hideMessage()
{
    // Back to a fault that still stands, or blank.
    m_phone->slotHideMessage();
}

void TQuorManager::setupLablel()
{
    // The phone may announce its options while the window is still built.
    if (!m_dndAction)
        return;
    readPhoneOptions();
    const auto label = [](QAction *action, bool on, const QString &disable, const QString &enable) {
        action->setText(on ? disable : enable);
    };
    label(m_dndAction, m_dndOn, tr("Disable &DND"), tr("Enable &DND"));
    label(m_forwardAction, m_forwardOn, tr("Disable &Forward"), tr("Enable &Forward"));
    label(m_onTopAction, m_onTop, tr("Disable &OnTop"), tr("Enable &OnTop"));
    label(m_trayIconAction, m_trayIconFlag, tr("Disable &TrayIcon"), tr("Enable &TrayIcon"));
    label(m_busyAction, m_busy, tr("Disable &Busy if speaking"), tr("Enable &Busy if speaking"));
    label(m_agentLoginAction, m_agentLoggedIn, tr("Agent Logout"), tr("Agent Login"));
}

void TQuorManager::slotUserSettingsChanged()
{
    m_settings->getUserName(&userName);
}

void TQuorManager::slotAgentSettingsChanged()
{
    m_settings->getAgentLogin(&m_agentUser, &m_agentId, &m_penalty);
}

void TQuorManager::newPark(int callNo)
{
    m_phone->parkCall(callNo);
}
