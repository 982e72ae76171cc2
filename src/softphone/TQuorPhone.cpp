// The phone window: construction, pages, the hosted settings panel, messages,
// option flags and quitting. What it shows of the calls is in TQuorPhoneCalls.cpp.

#include "softphone/TQuorPhone.h"

#include <QAction>
#include <QTimer>

#include <cstdlib>
#include <utility>

#include "core/CPushButton.h"
#include "core/Logger.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"
#include "settings/TQuorSettings.h"
#include "softphone/CallActions.h"
#include "softphone/ClickToDialServer.h"
#include "softphone/PhoneMessages.h"
#include "softphone/TquorAui.h"

namespace {

const QString kLampOff = QStringLiteral(":/ui/images/phone_lamp_off.png");
const QString kLampGreen = QStringLiteral(":/ui/images/phone_lamp_green.png");
const QString kLampOrange = QStringLiteral(":/ui/images/phone_lamp_orange.png");
const QString kLampRed = QStringLiteral(":/ui/images/phone_lamp_red.png");

QString enableText(bool on, const QString &what)
{
    return (on ? TQuorPhone::tr("Disable ") : TQuorPhone::tr("Enable ")) + what;
}

} // namespace

TQuorPhone::TQuorPhone(TQuorSettings *settings, QWidget *parent)
    : TQuorPhone(settings, Options(), parent)
{
}

TQuorPhone::TQuorPhone(TQuorSettings *settings, const Options &options, QWidget *parent)
    : QWidget(parent)
    , m_settings(settings)
    , m_exit([](int status) { std::exit(status); })
{
    construct(options);
}

TQuorPhone::~TQuorPhone()
{
    // The settings object belongs to main and outlives the phone: give it back.
    if (m_settings && m_settings->parentWidget()) {
        m_settings->hide();
        m_settings->setParent(nullptr);
    }
    qDeleteAll(m_logRecords);
}

void TQuorPhone::construct(const Options &options)
{
    setupUi(this);
    setObjectName(QStringLiteral("TQuorPhone"));
    setFixedSize(302, 552);
    m_mainWindow = this;

    QuorIaxClient::Options voipOptions = options.voip;
    voipOptions.engine.callSlots = kMaxCalls;
    m_voip = new QuorIaxClient(voipOptions, this);
    m_calls = new PhoneCalls(m_voip, this);
    m_actions = new CallActions(this);
    m_clickToDial = new ClickToDialServer(this);

    m_messageTimer = new QTimer(this);
    m_messageTimer->setSingleShot(true);
    connect(m_messageTimer, &QTimer::timeout, this, &TQuorPhone::slotHideMessage);
    m_tick = new QTimer(this);
    m_tick->setInterval(1000);
    connect(m_tick, &QTimer::timeout, this, &TQuorPhone::slotTick);

    setupButtons();
    setupTables();
    setupActions();
    hostContacts();

    m_aui = new TquorAui(framePanel);
    m_aui->move(0, framePanel->height() - m_aui->height());
    m_aui->hide();
    connect(
        m_aui, &TquorAui::signalInputLevelChanged, this, [this](double level) { m_voip->setInputLevel(float(level)); });
    connect(m_aui, &TquorAui::signalOutputLevelChanged, this,
        [this](double level) { m_voip->setOutputLevel(float(level)); });
    m_voip->setInputLevel(float(m_aui->inputLevel()));
    m_voip->setOutputLevel(float(m_aui->outputLevel()));

    m_calls->setSelection([this] { return m_activity->selectedCall(); });
    connect(m_calls, &PhoneCalls::signalListed, this, &TQuorPhone::slotCallListed);
    connect(m_calls, &PhoneCalls::signalRinging, this, &TQuorPhone::slotCallRinging);
    connect(m_calls, &PhoneCalls::signalDialled, this, &TQuorPhone::slotCallDialled);
    connect(m_calls, &PhoneCalls::signalStateChanged, this, &TQuorPhone::slotCallStateChanged);
    // The desktop actions run before the tiles hear of the answer.
    connect(m_calls, &PhoneCalls::signalAnswered, this, &TQuorPhone::slotCallAnswered);
    connect(m_calls, &PhoneCalls::signalAnswered, this, &TQuorPhone::signalSendCall);
    connect(m_calls, &PhoneCalls::signalCallEnded, this, &TQuorPhone::slotCallEnded);
    connect(m_calls, &PhoneCalls::signalShowMessage, this, &TQuorPhone::showMessage);
    connect(m_calls, &PhoneCalls::signalVoiceMailCount, this, &TQuorPhone::slotVoiceMailCount);
    connect(m_voip, &QuorIaxClient::signalRegistration, this, &TQuorPhone::slotRegistration);
    connect(m_voip, &QuorIaxClient::signalLevels, this, &TQuorPhone::slotLevels);
    connect(m_voip, &QuorIaxClient::signalMessage, this, &TQuorPhone::displayMessage);
    connect(m_actions, &CallActions::signalShowMessage, this, &TQuorPhone::displayMessage);
    connect(m_clickToDial, &ClickToDialServer::signalCallRequest, this, &TQuorPhone::slotClickToDial);

    hostSettings();

    if (options.clickToDialPort >= 0)
        m_clickToDial->start(quint16(options.clickToDialPort));

    setAgentLoggedIn(false);
    slotManagerRegistered(false);
    setVoiceMailCount(accountUser(), 0);
    // The message line keeps what building the phone said (at the first start,
    // why the phone is not registered).
    showActivity();
}

void TQuorPhone::setupButtons()
{
    // The icon-only buttons get their hover pictures; the pointers of the form
    // must follow the replacements.
    auto swap = [](QPushButton *&button, const QString &image) {
        CPushButton *b = CPushButton::replace(button);
        b->setHoverIcon(QIcon(CPushButton::hoverName(image)));
        button = b;
        return b;
    };
    const struct
    {
        QPushButton **button;
        const char *image;
    } iconButtons[] = {
        { &buttonCall, ":/ui/images/phone_call.png" },
        { &buttonHangup, ":/ui/images/phone_hangup.png" },
        { &buttonHold, ":/ui/images/phone_hold.png" },
        { &buttonTransfer, ":/ui/images/phone_transfer.png" },
        { &buttonMute, ":/ui/images/phone_mute.png" },
        { &buttonVolume, ":/ui/images/phone_volume.png" },
        { &buttonBackspace, ":/ui/images/phone_backspace.png" },
    };
    for (const auto &entry : iconButtons)
        swap(*entry.button, QString::fromLatin1(entry.image));

    connect(buttonCall, &QPushButton::clicked, this, &TQuorPhone::control);
    connect(buttonHangup, &QPushButton::clicked, this, &TQuorPhone::hangupCurrent);
    connect(buttonHold, &QPushButton::clicked, this, &TQuorPhone::holdResume);
    connect(buttonTransfer, &QPushButton::clicked, this, &TQuorPhone::MtransferInternal);
    connect(buttonMute, &QPushButton::clicked, this, &TQuorPhone::setMute);
    connect(buttonVolume, &QPushButton::clicked, this, &TQuorPhone::showVolume);
    connect(buttonBackspace, &QPushButton::clicked, this, [this] { editDial->backspace(); });

    const struct
    {
        QPushButton **button;
        char key;
        const char *image;
    } keys[] = {
        { &buttonKey0, '0', "0" },
        { &buttonKey1, '1', "1" },
        { &buttonKey2, '2', "2" },
        { &buttonKey3, '3', "3" },
        { &buttonKey4, '4', "4" },
        { &buttonKey5, '5', "5" },
        { &buttonKey6, '6', "6" },
        { &buttonKey7, '7', "7" },
        { &buttonKey8, '8', "8" },
        { &buttonKey9, '9', "9" },
        { &buttonKeyStar, '*', "star" },
        { &buttonKeyHash, '#', "hash" },
    };
    for (const auto &entry : keys) {
        const QString image = QStringLiteral(":/ui/images/phone_key_%1.png").arg(QLatin1String(entry.image));
        CPushButton *b = swap(*entry.button, image);
        const QChar key = QLatin1Char(entry.key);
        connect(b, &QPushButton::clicked, this, [this, key] { sendKey(key); });
    }

    m_pageButtons = { buttonActivity, buttonKeypad, buttonMissed, buttonDialed, buttonAnswered, buttonMessages,
        buttonContacts, buttonSettings };
    for (QPushButton *b : std::as_const(m_pageButtons)) {
        b->setCheckable(true);
        b->setAutoExclusive(false);
    }
    connect(buttonActivity, &QPushButton::clicked, this, &TQuorPhone::showActivity);
    connect(buttonKeypad, &QPushButton::clicked, this, &TQuorPhone::showKeypad);
    connect(buttonMissed, &QPushButton::clicked, this, &TQuorPhone::MshowMissing);
    connect(buttonDialed, &QPushButton::clicked, this, &TQuorPhone::showDialed);
    connect(buttonAnswered, &QPushButton::clicked, this, &TQuorPhone::showAnswered);
    connect(buttonMessages, &QPushButton::clicked, this, &TQuorPhone::showMessages);
    connect(buttonContacts, &QPushButton::clicked, this, &TQuorPhone::showContacts);
    connect(buttonSettings, &QPushButton::clicked, this, &TQuorPhone::showSettings);
    connect(buttonVoicemail, &QPushButton::clicked, this, &TQuorPhone::callVM);
    connect(buttonAgent, &QPushButton::clicked, this, &TQuorPhone::slotAgentLogin);

    connect(editDial, &QLineEdit::returnPressed, this, &TQuorPhone::control);
}

void TQuorPhone::setupTables()
{
    auto make = [](QFrame *page, bool active) {
        auto *table = new TQuorTable(page, active);
        auto *scroll = new TQuorTableScroll(page);
        const int width = page->width() - TQuorTableScroll::kBarWidth;
        table->setTableGeometry(0, 0, width, page->height());
        scroll->setGeometry(width, 0, TQuorTableScroll::kBarWidth, page->height());
        table->attachScroll(scroll);
        return table;
    };
    m_activity = make(frameActivity, true);
    m_missed = make(frameMissed, false);
    m_dialed = make(frameDialed, false);
    m_answered = make(frameAnswered, false);
    m_messages = make(frameMessages, false);

    for (TQuorTable *log : { m_missed, m_dialed, m_answered, m_messages }) {
        log->setRowLimit(kLogRowLimit);
        connect(log, &TQuorTable::signalRowDropped, this, [this](TQuorCall *record) {
            m_logRecords.removeOne(record);
            delete record;
        });
    }
    for (TQuorTable *log : { m_missed, m_dialed, m_answered }) {
        connect(log, &TQuorTable::signalRowDoubleClick, this, &TQuorPhone::slotLogCall);
        connect(log, &TQuorTable::signalCall, this, &TQuorPhone::slotLogCall);
    }
    connect(m_activity, &TQuorTable::signalRowDoubleClick, m_calls, &PhoneCalls::activate);
    connect(m_activity, &TQuorTable::signalAnswer, m_calls, &PhoneCalls::answer);
    connect(m_activity, &TQuorTable::signalHangup, m_calls, &PhoneCalls::hangup);
}

void TQuorPhone::setupActions()
{
    auto make = [this](const char *name, void (TQuorPhone::*slot)()) {
        auto *action = new QAction(this);
        action->setObjectName(QLatin1String(name));
        connect(action, &QAction::triggered, this, slot);
        addAction(action);
        return action;
    };
    m_actDnd = make("actionDnd", &TQuorPhone::slotSetDND);
    m_actFwd = make("actionForward", &TQuorPhone::slotSetFWD);
    m_actBusy = make("actionBusy", &TQuorPhone::slotSetBusy);
    m_actTray = make("actionTray", &TQuorPhone::slotSetSysTray);
    m_actOnTop = make("actionOnTop", &TQuorPhone::slotSetOnTop);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TQuorPhone::hostSettings()
{
    if (!m_settings)
        return;
    m_settings->setParent(frameSettings);
    m_settings->move(0, 0);
    m_settings->hideStatusStrip();

    m_settings->setAudioDeviceTable(m_voip->audioDevices());
    m_settings->loadAll();

    connect(m_settings, &TQuorSettings::signalShowMessage, this, &TQuorPhone::displayMessage);
    connect(m_settings, &TQuorSettings::signalPhoneOptionsChanged, this, &TQuorPhone::slotPhoneOptionsChanged);
    connect(m_settings, &TQuorSettings::signalUserSettingsChanged, this, &TQuorPhone::slotUserSettingsChanged);
    connect(m_settings, &TQuorSettings::signalPrivacySettingsChanged, this, &TQuorPhone::slotPrivacySettingsChanged);
    connect(m_settings, &TQuorSettings::signalAudioDevSettingsChanged, this, &TQuorPhone::slotAudioDevicesChanged);
    connect(m_settings, &TQuorSettings::signalFiltersSettingsChanged, this, &TQuorPhone::slotFiltersChanged);
    connect(m_settings, &TQuorSettings::signalAudioCodecsSettingsChanged, this, &TQuorPhone::slotCodecsChanged);
    connect(m_settings, &TQuorSettings::signalAudioSpeexSettingsChanged, this, &TQuorPhone::slotSpeexChanged);
    connect(m_settings, &TQuorSettings::signalActionsChanged, this, &TQuorPhone::slotActionsChanged);

    applyAllSettings();
}

void TQuorPhone::applyAllSettings()
{
    slotAudioDevicesChanged();
    slotFiltersChanged();
    slotCodecsChanged();
    slotSpeexChanged();
    slotActionsChanged();
    slotPrivacySettingsChanged(m_settings->isPrivacyOn());
    slotPhoneOptionsChanged();
    slotUserSettingsChanged();
}

// ---------------------------------------------------------------- settings

void TQuorPhone::slotPhoneOptionsChanged()
{
    if (!m_settings)
        return;
    PhoneCalls::Settings calls;
    QString dndFamily;
    QString dndCode;
    QString fwdFamily;
    bool voiceMail = false;
    bool agent = false;
    m_settings->getPhoneOptions(&calls.busy, &m_onTop, &calls.dnd, &dndFamily, &dndCode, &calls.forward,
        &calls.forwardNumber, &fwdFamily, &voiceMail, &calls.forwardToVm, &agent);
    m_settings->getVoiceMail(&calls.vmNumber, &calls.vmUser, &calls.vmPassword);
    calls.vmPrefix = m_settings->getVmPrefix();
    calls.parkingLot = m_settings->getParkingLot();
    m_calls->setSettings(calls);
    m_settings->getTrayIcon(&m_tray);
    updateLamps();
    applyOnTop();
    updateMenuTexts();
    m_settings->repaintFrame();
}

void TQuorPhone::slotUserSettingsChanged()
{
    if (!m_settings)
        return;
    QString server;
    quint16 port = TVoipAccount::kDefaultPort;
    QString user;
    QString password;
    QString cidName;
    QString cidNumber;
    m_settings->getUserSettings(&server, &port, &user, &password, &cidName, &cidNumber);
    const TVoipAccount account(server, port, user, password, cidName, cidNumber);
    const TVoipAccount::RegistrationState state = m_voip->account().registrationState();
    const bool unchanged = account.sameRegistration(m_voip->account())
        && (state == TVoipAccount::Registering || state == TVoipAccount::Registered);
    // A changed account registers by itself; an unchanged one is registered
    // again because the user asked for it.
    m_voip->applyAccount(account);
    if (unchanged)
        m_voip->registerAccount();
    setLamp(labelIaxLamp, m_voip->account().registrationState() == TVoipAccount::Registering ? kLampOrange : kLampRed);
    emit signalPhoneUserName(user);
}

void TQuorPhone::slotPrivacySettingsChanged(bool on)
{
    m_calls->setPrivacy(on);
    for (TQuorTable *table : { m_activity, m_missed, m_dialed, m_answered, m_messages })
        table->setPrivacy(on);
}

void TQuorPhone::slotAudioDevicesChanged()
{
    int input = -1;
    int output = -1;
    int ring = -1;
    bool ringBoth = false;
    bool mute = false;
    m_settings->getAudioDevices(&input, &output, &ring, &ringBoth, &mute);
    m_voip->applyAudioDevices(input, output, ring, ringBoth, mute);
}

void TQuorPhone::slotFiltersChanged()
{
    int mask = 0;
    m_settings->getFilters(&mask);
    m_voip->applyFilters(mask);
}

void TQuorPhone::slotCodecsChanged()
{
    int allowed = 0;
    int preferred = 0;
    m_settings->getCodecs(&allowed, &preferred);
    m_voip->applyCodecs(allowed, preferred);
}

void TQuorPhone::slotSpeexChanged()
{
    int enhance = 1;
    float quality = -1.0f;
    int cbr = -1;
    int vbr = 0;
    int abr = 8000;
    int complexity = 3;
    m_settings->getSpeexSettings(&enhance, &quality, &cbr, &vbr, &abr, &complexity);
    m_voip->applySpeex(enhance, quality, cbr, vbr, abr, complexity);
}

void TQuorPhone::slotActionsChanged()
{
    CallActionSettings s;
    m_settings->getActions(
        &s.actIn, &s.actCrm, &s.actOut, &s.actA1, &s.appIn, &s.scrIn, &s.crmUrl, &s.appOut, &s.scrOut);
    m_actions->setSettings(s);
}

void TQuorPhone::slotSetDND()
{
    if (m_settings)
        m_settings->applyDND();
}

void TQuorPhone::slotSetFWD()
{
    if (m_settings)
        m_settings->applyForward();
}

void TQuorPhone::slotSetBusy()
{
    if (m_settings)
        m_settings->toggleBusy();
}

void TQuorPhone::slotSetSysTray()
{
    if (m_settings)
        m_settings->toggleTrayIcon();
}

void TQuorPhone::slotSetOnTop()
{
    if (m_settings)
        m_settings->toggleOnTop();
}

void TQuorPhone::updateMenuTexts()
{
    const PhoneCalls::Settings &calls = m_calls->settings();
    m_actDnd->setText(enableText(calls.dnd, tr("DND")));
    m_actFwd->setText(enableText(calls.forward, tr("Forward")));
    m_actBusy->setText(enableText(calls.busy, tr("Busy if speaking")));
    m_actTray->setText(enableText(m_tray, tr("Tray messages")));
    m_actOnTop->setText(enableText(m_onTop, tr("Stay on top")));
    emit signalsetupLablel();
}

void TQuorPhone::setOnTopFlag(bool onTop)
{
    m_onTop = onTop;
}

void TQuorPhone::applyOnTop()
{
    QWidget *window = m_mainWindow ? m_mainWindow->window() : this->window();
    if (!window || m_onTopApplied == m_onTop)
        return;
    m_onTopApplied = m_onTop;
    const bool visible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, m_onTop);
    // Changing the flags hides a window.
    if (visible)
        window->show();
}

void TQuorPhone::setMainWindow(QWidget *window)
{
    m_mainWindow = window ? window : this;
    m_onTopApplied = false;
    applyOnTop();
}

void TQuorPhone::raiseMainWindow()
{
    QWidget *window = m_mainWindow ? m_mainWindow->window() : this->window();
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    window->raise();
    window->activateWindow();
}

void TQuorPhone::setLamp(QLabel *lamp, const QString &image)
{
    lamp->setPixmap(QPixmap(image));
    lamp->setProperty("lampImage", image);
}

void TQuorPhone::updateLamps()
{
    const PhoneCalls::Settings &calls = m_calls->settings();
    setLamp(labelDndLamp, calls.dnd ? kLampRed : kLampOff);
    setLamp(labelFwdLamp, calls.forward ? kLampOrange : kLampOff);
    labelFwdLamp->setToolTip(
        calls.forward ? tr("Calls are forwarded to %1").arg(calls.forwardNumber) : tr("Call forward"));
}

void TQuorPhone::slotManagerRegistered(bool registered)
{
    setLamp(labelManagerLamp, registered ? kLampGreen : kLampRed);
}

void TQuorPhone::slotRegistration(QuorIaxClient::RegistrationResult result, const QString &cause)
{
    switch (result) {
    case QuorIaxClient::RegistrationAccepted:
        setLamp(labelIaxLamp, kLampGreen);
        displayMessage(tr("Registered"), MessageStatus);
        emit signalPhoneUserName(accountUser());
        break;
    case QuorIaxClient::RegistrationRejected:
        setLamp(labelIaxLamp, kLampRed);
        displayMessage(
            cause.isEmpty() ? tr("Registration rejected") : tr("Registration rejected: %1").arg(cause), MessageError);
        break;
    case QuorIaxClient::RegistrationTimeout:
        setLamp(labelIaxLamp, kLampRed);
        displayMessage(tr("No answer from the PBX"), MessageWarning);
        break;
    }
}

void TQuorPhone::setAgentLoggedIn(bool loggedIn)
{
    m_agentLoggedIn = loggedIn;
    labelAlogin->setPixmap(QPixmap(loggedIn ? QStringLiteral(":/ui/images/phone_agent_in.png")
                                            : QStringLiteral(":/ui/images/phone_agent_out.png")));
    labelAgent->setVisible(loggedIn);
    updateMenuTexts();
}

// ---------------------------------------------------------------- messages

void TQuorPhone::showMessage(const QString &text, TMessageType type, const QString &detail)
{
    displayMessage(text, type);
    const QString line = Logger::escaped(detail.isEmpty() ? text : detail);
    Logger::log(type == MessageError ? Logger::Error : type == MessageWarning ? Logger::Warning : Logger::Info, line);
}

void TQuorPhone::setMessageLine(const QString &text, TMessageType type)
{
    const QString style = PhoneMessages::styleSheet(type);
    labelMessage->setStyleSheet(style);
    labelMessage->setText(text);
    labelMessage->show();
    if (settingsShown()) {
        m_settings->messageLabel()->setStyleSheet(style);
        m_settings->messageLabel()->setText(text);
    }
}

void TQuorPhone::displayMessage(const QString &text, TMessageType type)
{
    setMessageLine(text, type);
    m_messageTimer->start(m_messageHideMs);

    auto *record = new TQuorCall;
    record->name = text;
    record->startTime = QDateTime::currentDateTime();
    m_logRecords.append(record);
    m_messages->addRow(
        PhoneMessages::rowType(type), record, text, record->startTime.toString(QStringLiteral("hh:mm:ss")));
    emit signalMessage(text);
}

void TQuorPhone::setStandingMessage(const QString &text, TMessageType type)
{
    m_standingText = text;
    m_standingType = type;
    m_messageTimer->stop();
    setMessageLine(text, type);
}

void TQuorPhone::clearStandingMessage()
{
    if (m_standingText.isEmpty())
        return;
    const bool shown = labelMessage->text() == m_standingText;
    m_standingText.clear();
    if (shown)
        slotHideMessage();
}

void TQuorPhone::slotHideMessage()
{
    if (!m_standingText.isEmpty()) {
        setMessageLine(m_standingText, m_standingType);
        return;
    }
    labelMessage->clear();
    if (m_settings)
        m_settings->messageLabel()->clear();
}

QLabel *TQuorPhone::messageLabel() const
{
    // The settings panel's own label sits in its hidden status strip; the
    // phone's message line stays in view under every page.
    return labelMessage;
}

void TQuorPhone::slotExtCmd(const QString &text)
{
    emit signalExtCmd(text);
}

// ---------------------------------------------------------------- pages

bool TQuorPhone::settingsShown() const
{
    return m_settings && m_page == frameSettings;
}

void TQuorPhone::showPage(QWidget *page, QPushButton *button, const QString &caption)
{
    if (page != frameSettings)
        resetButtons();
    for (QWidget *p : { static_cast<QWidget *>(frameActivity), static_cast<QWidget *>(frameKeypad),
             static_cast<QWidget *>(frameMissed), static_cast<QWidget *>(frameDialed),
             static_cast<QWidget *>(frameAnswered), static_cast<QWidget *>(frameMessages),
             static_cast<QWidget *>(frameContacts), static_cast<QWidget *>(frameSettings) }) {
        p->setVisible(p == page);
    }
    // The settings panel and the address book bring their own captions.
    labelCaption->setVisible(page != frameSettings && page != frameContacts);
    labelCaption->setText(caption);
    for (QPushButton *b : std::as_const(m_pageButtons))
        b->setChecked(b == button);
    m_aui->hide();
    m_page = page;
    page->raise();
    showContactsPanel(page == frameContacts);
}

void TQuorPhone::resetButtons()
{
    // The phone's message line already holds the newest text (the panel's label
    // only mirrors it), so nothing is copied back: that could only bring back
    // an older text over one the main window wrote meanwhile.
    if (settingsShown())
        m_settings->settingsBack();
}

void TQuorPhone::showActivity()
{
    showPage(frameActivity, buttonActivity, tr("Activity"));
}

void TQuorPhone::MshowIncomming()
{
    showActivity();
}

void TQuorPhone::showKeypad()
{
    showPage(frameKeypad, buttonKeypad, tr("Keypad"));
    editDial->setFocus();
}

void TQuorPhone::MshowKeyboard()
{
    showKeypad();
}

void TQuorPhone::MshowMissing()
{
    showPage(frameMissed, buttonMissed, tr("Missed calls"));
}

void TQuorPhone::showDialed()
{
    showPage(frameDialed, buttonDialed, tr("Dialed calls"));
}

void TQuorPhone::showAnswered()
{
    showPage(frameAnswered, buttonAnswered, tr("Answered calls"));
}

void TQuorPhone::showMessages()
{
    showPage(frameMessages, buttonMessages, tr("Messages"));
}

void TQuorPhone::MshowLog()
{
    showMessages();
}

void TQuorPhone::showContacts()
{
    showPage(frameContacts, buttonContacts, tr("Contacts"));
}

void TQuorPhone::MshowContacts()
{
    showContacts();
}

void TQuorPhone::showSettings()
{
    if (!m_settings)
        return;
    const QString text = labelMessage->text();
    const QString style = labelMessage->styleSheet();
    showPage(frameSettings, buttonSettings, QString());
    m_settings->show();
    m_settings->showMenu();
    m_settings->messageLabel()->setText(text);
    m_settings->messageLabel()->setStyleSheet(style);
}

void TQuorPhone::MshowSettings()
{
    showSettings();
}

void TQuorPhone::showVolume()
{
    m_aui->setVisible(!m_aui->isVisible());
    if (m_aui->isVisible())
        m_aui->raise();
}

void TQuorPhone::slotAgentLogin()
{
    if (!m_settings)
        return;
    showSettings();
    m_settings->settingsBack();
    m_settings->showAgentPage();
    m_settings->setCaptionLook(labelCaption->font(), labelCaption->palette());
    m_settings->setAgentButtonLabelLook(labelCaption->font(), labelCaption->palette());
    m_settings->setCaption(tr("Agent Login"));
    m_settings->setAgentButton(false, tr("Select a Queue"), tr("Select a Queue"));
}

void TQuorPhone::slotAlogin()
{
    if (m_settings)
        m_settings->slotAgentLogin();
}

void TQuorPhone::getMenu(const QString &name)
{
    if (name == QLatin1String("incoming"))
        showActivity();
    else if (name == QLatin1String("kb"))
        showKeypad();
    else if (name == QLatin1String("missed"))
        MshowMissing();
    else if (name == QLatin1String("settings"))
        showSettings();
    else if (name == QLatin1String("log"))
        showMessages();
}

// ---------------------------------------------------------------- dial display

void TQuorPhone::cut()
{
    editDial->cut();
}

void TQuorPhone::copy()
{
    editDial->copy();
}

void TQuorPhone::paste()
{
    editDial->paste();
}

void TQuorPhone::lclear()
{
    if (m_page == frameKeypad)
        editDial->clear();
}

// ---------------------------------------------------------------- quitting

void TQuorPhone::beforeQuit()
{
    Logger::info(QStringLiteral("Phone shutting down"));
    m_clickToDial->stop();
    m_tick->stop();
    // Unregisters, hangs up every call, waits a second and stops the engine.
    m_voip->shutdown();
    m_voip->unregisterAccount();
    saveContactsNow();
    m_exit(0);
}
