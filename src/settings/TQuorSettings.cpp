// The settings panel of TQuorSettings: construction, page navigation, the
// operations for the other windows, and the PBX user and manager pages.

#include "settings/TQuorSettings.h"

#include <QFile>
#include <QKeyEvent>
#include <QPushButton>

#include "contacts/TQuorLdapSettings.h"
#include "core/Paths.h"


TQuorSettings::TQuorSettings()
    : QWidget(nullptr)
    , store(Paths::dataFile(QStringLiteral("quorer.xml")))
{
    QFile css(QStringLiteral(":/ui/css/settings.css"));
    if (css.open(QIODevice::ReadOnly)) {
        setStyleSheet(QString::fromLatin1(css.readAll()));
        css.close();
    }

    // Later forms lie above earlier ones.
    Ui::QuorSettingsBase::setupUi(this);
    Ui::QuorSettingsSelect::setupUi(this);
    Ui::QuorSettingsPhone::setupUi(this);
    Ui::QuorSettingsPhoneOptions::setupUi(this);
    Ui::QuorOptVM::setupUi(this);
    Ui::QuorOptFWD::setupUi(this);
    Ui::QuorSettingsAudioOpt::setupUi(this);
    Ui::QuorSettingsFilters::setupUi(this);
    Ui::QuorSettingsCodecs::setupUi(this);
    Ui::QuorOptSpeex::setupUi(this);
    Ui::QuorAbout::setupUi(this);
    Ui::QuorAgentLogin::setupUi(this);
    Ui::QuorSettingsManager::setupUi(this);
    Ui::QuorOptDND::setupUi(this);
    Ui::QuorActions::setupUi(this);
    Ui::QuorSettingsAdmin::setupUi(this);
    hostContactPage();

    // Ten buttons with one shortcut make it ambiguous, and Qt then fires none of
    // them: the first page button keeps it.
    for (QPushButton *b : { buttonOptions, buttonManager, buttonContact, buttonActions, buttonAudioOpt, buttonCodecs,
             buttonFilters, buttonAdmin, buttonAbout })
        b->setShortcut(QKeySequence());

    frameSelect->show();
    for (QWidget *page : std::initializer_list<QWidget *> { framePhone, framePhoneOptions, frameManager, frameActions,
             frameAdmin, frameFilters, frameCodecs, frameAudioOpt, frameAbout, frameAgent })
        page->hide();
    for (QWidget *subForm : std::initializer_list<QWidget *> { frameOptVM, frameOptFWD, frameOptDND, frameOptSpeex }) {
        subForm->hide();
        subForm->move(0, 255);
        subFormList.append(subForm);
    }
    labelCaption->setText(tr("Select settings"));

    createConfigFile();

    setLocked(true);
    locked = true;
    pageId = PageMenu;
}

TQuorSettings::~TQuorSettings() = default;

void TQuorSettings::setAudioDeviceTable(const std::vector<iax2::AudioDeviceInfo> &devices)
{
    audioDeviceTable = devices;
}

// ---------------------------------------------------------------- navigation

void TQuorSettings::select()
{
    const QObject *button = sender();
    if (!button)
        return;
    const QString name = button->objectName();

    QWidget *frame = nullptr;
    int page = PageMenu;
    QString caption;
    if (name == QLatin1String("buttonUser")) {
        frame = framePhone;
        page = PageUser;
        caption = tr("PBX user settings");
    } else if (name == QLatin1String("buttonOptions")) {
        frame = framePhoneOptions;
        page = PageOptions;
        caption = tr("Options");
    } else if (name == QLatin1String("buttonAudioOpt")) {
        frame = frameAudioOpt;
        page = PageAudio;
        caption = tr("Audio devices");
    } else if (name == QLatin1String("buttonFilters")) {
        frame = frameFilters;
        page = PageFilters;
        caption = tr("Select filters");
    } else if (name == QLatin1String("buttonCodecs")) {
        frame = frameCodecs;
        page = PageCodecs;
        caption = tr("Select codecs");
    } else if (name == QLatin1String("buttonAbout")) {
        frame = frameAbout;
        page = PageAbout;
        caption = tr("About Quor");
    } else if (name == QLatin1String("buttonManager")) {
        frame = frameManager;
        page = PageManager;
        caption = tr("PBX Manager");
    } else if (name == QLatin1String("buttonActions")) {
        frame = frameActions;
        page = PageActions;
        caption = tr("Actions");
    } else if (name == QLatin1String("buttonAdmin")) {
        frame = frameAdmin;
        page = PageAdmin;
        caption = tr("Administrator");
    } else if (name == QLatin1String("buttonContact")) {
        page = PageContactList;
        caption = tr("Contact settings");
    } else {
        return;
    }

    hideOptionSubForms();
    frameSelect->hide();
    switch (page) {
    case PageUser:
        fillUserPage();
        break;
    case PageOptions:
        // The fill's boxes open their sub-forms only on the options page.
        pageId = PageOptions;
        fillOptionsPage();
        break;
    case PageAudio:
        fillAudioPage();
        break;
    case PageFilters:
        fillFiltersPage();
        break;
    case PageCodecs:
        fillCodecsPage();
        fillSpeexPage();
        break;
    case PageManager:
        fillManagerPage();
        break;
    case PageActions:
        fillActionsPage();
        break;
    case PageAdmin:
        fillAdminPage();
        break;
    default:
        break;
    }
    if (frame) {
        frame->show();
        frame->setFocus(Qt::TabFocusReason);
    } else {
        showOnlyPage(pageList.value(0));
    }
    pageId = page;
    labelCaption->setText(caption);
    buttonApply->show();
    buttonBack->show();
}

void TQuorSettings::settingsApply()
{
    switch (pageId) {
    case PageUser:
        writeUser();
        break;
    case PageOptions:
        writeOptions();
        break;
    case PageAudio:
        writeAudioDevices();
        break;
    case PageCodecs:
        writeCodecs();
        writeSpeex();
        break;
    case PageFilters:
        writeFilters();
        break;
    case PageManager:
        writeManager();
        break;
    case PageActions:
        writeActions();
        break;
    case PageAdmin:
        applyAdmin();
        break;
    case PageContactList:
    case PageAbout:
        break;
    case PageDndForm:
        // Refused: the sub-form stays.
        if (!applyFlagForm(true))
            return;
        break;
    case PageFwdForm:
        if (!applyFlagForm(false))
            return;
        break;
    case PageContactForm:
        // The contact page saves and returns to its list itself.
        if (ldapSettings)
            ldapSettings->serverApply();
        return;
    default:
        // The menu and the agent page.
        return;
    }
    settingsBack();
}

void TQuorSettings::settingsBack()
{
    switch (pageId) {
    case PageContactForm:
        // The hosted contact page leads its own forms back to its list.
        if (ldapSettings)
            ldapSettings->serverBack();
        return;
    case PageDndForm:
        pageId = PageOptions;
        frameOptDND->hide();
        return;
    case PageFwdForm:
        pageId = PageOptions;
        frameOptFWD->hide();
        return;
    case PageOptions:
        hideOptionSubForms();
        framePhoneOptions->hide();
        break;
    case PageCodecs:
        frameOptSpeex->hide();
        frameCodecs->hide();
        break;
    case PageContactList:
        if (QWidget *contactPage = pageList.value(0))
            contactPage->hide();
        break;
    case PageUser:
        framePhone->hide();
        break;
    case PageAudio:
        frameAudioOpt->hide();
        break;
    case PageFilters:
        frameFilters->hide();
        break;
    case PageManager:
        frameManager->hide();
        break;
    case PageActions:
        frameActions->hide();
        break;
    case PageAdmin:
        frameAdmin->hide();
        break;
    case PageAgent:
        frameAgent->hide();
        break;
    case PageAbout:
        frameAbout->hide();
        break;
    default:
        break;
    }
    commonBackEnding();
}

void TQuorSettings::commonBackEnding()
{
    frameSelect->show();
    frameSelect->setFocus(Qt::TabFocusReason);
    buttonApply->hide();
    buttonBack->hide();
    labelCaption->setText(tr("Select settings"));
    pageId = PageMenu;
}

void TQuorSettings::showMenu()
{
    hideOptionSubForms();
    for (QWidget *page : std::initializer_list<QWidget *> { framePhone, framePhoneOptions, frameManager, frameActions,
             frameAdmin, frameFilters, frameCodecs, frameOptSpeex, frameAudioOpt, frameAbout, frameAgent })
        page->hide();
    if (QWidget *contactPage = pageList.value(0))
        contactPage->hide();
    frameSelect->show();
    pageId = PageMenu;
    labelCaption->setText(tr("Select settings"));
}

void TQuorSettings::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        settingsApply();
        break;
    case Qt::Key_Escape:
        settingsBack();
        break;
    default:
        break;
    }
    event->accept();
}

void TQuorSettings::slotModeChanged(int mode)
{
    switch (mode) {
    case 1:
        pageId = PageContactList;
        labelCaption->setText(tr("Contact settings"));
        break;
    case 2:
        pageId = PageContactForm;
        labelCaption->setText(tr("LDAP Edit Server"));
        break;
    case 3:
        pageId = PageContactForm;
        labelCaption->setText(tr("LDAP Add Server"));
        break;
    case 4:
        pageId = PageContactForm;
        labelCaption->setText(tr("LDAP Delete Server"));
        break;
    default:
        break;
    }
}

void TQuorSettings::showOnlyPage(QWidget *page)
{
    for (QWidget *p : std::as_const(pageList)) {
        if (p != page)
            p->hide();
    }
    if (page)
        page->show();
}

void TQuorSettings::showSubForm(QWidget *form)
{
    for (QWidget *f : std::as_const(subFormList)) {
        if (f != form)
            f->hide();
    }
    if (form)
        form->show();
}

void TQuorSettings::hideOptionSubForms()
{
    frameOptVM->hide();
    frameOptFWD->hide();
    frameOptDND->hide();
}

// ---------------------------------------------------------------- for the other windows

void TQuorSettings::hideStatusStrip()
{
    labelConnection->hide();
    labelConnectionManager->hide();
    labelMail->hide();
    labelDND->hide();
    labelFWD->hide();
    labelMessage->hide();
}

QLabel *TQuorSettings::messageLabel() const
{
    return labelMessage;
}

void TQuorSettings::setCaption(const QString &text)
{
    labelCaption->setText(text);
}

void TQuorSettings::setCaptionLook(const QFont &font, const QPalette &palette)
{
    labelCaption->setFont(font);
    labelCaption->setPalette(palette);
}

void TQuorSettings::hideMailIcon()
{
    labelMail->hide();
}

void TQuorSettings::repaintFrame()
{
    frameBase->update();
}

void TQuorSettings::setVersion(const QString &version)
{
    labelVersion->setText(tr("Version ") + version);
}

// ---------------------------------------------------------------- PBX user and manager pages

void TQuorSettings::fillUserPage()
{
    const SettingsStore::User &u = store.user();
    editServer->setText(u.server);
    editPort->setText(u.port);
    editUserName->setText(u.userName);
    editPassword->setText(u.password);
    editCidName->setText(u.cidName);
    editCidNum->setText(u.cidNum);
}

void TQuorSettings::fillManagerPage()
{
    label_Server_conf->hide();
    editManagerServer_conf->hide();
    const SettingsStore::Manager &m = store.manager();
    boxUsePhoneIP->setChecked(m.usePhoneIp);
    // The box may not have changed, and then its slot did not run.
    setManagerServerReadOnly(m.usePhoneIp);
    editManagerServer->setText(m.server);
    editManagerPort->setText(m.port);
    editManagerUser->setText(m.user);
    editManagerPasswd->setText(m.password);
    boxPrivacy->show();
    boxPrivacy->setChecked(store.privacy());
    boxFreePbx->show();
    boxFreePbx->setChecked(m.useFreePbx);
}

void TQuorSettings::slotMan2PhoneIP(int state)
{
    if (state == Qt::Unchecked) {
        setManagerServerReadOnly(false);
    } else if (state == Qt::Checked) {
        // Only the edit follows the phone here; Apply puts it into the model.
        setManagerServerReadOnly(true);
        editManagerServer->setText(store.managerServerFromPhone());
    }
}

void TQuorSettings::setManagerServerReadOnly(bool readOnly)
{
    editManagerServer->setReadOnly(readOnly);
}
