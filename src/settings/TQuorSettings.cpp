// The settings panel of TQuorSettings: construction, page navigation, and the
// page operations that the model and the other windows use.

#include "settings/TQuorSettings.h"

#include <QFile>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

#include "contacts/TQuorLdapSettings.h"
#include "core/Paths.h"
#include "core/XmlReader.h"

namespace {

TQuorSettings::ErrorBoxHandler &errorBoxHandler()
{
    static TQuorSettings::ErrorBoxHandler handler;
    return handler;
}

} // namespace

TQuorSettings::TQuorSettings()
    : QWidget(nullptr)
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

    xmlReader = new XmlReader(Paths::dataFile(QStringLiteral("quorer.xml")));
    createConfigFile();
    userServer.clear();

    setLocked(true);
    locked = true;
    usePhoneIp = true;
    pageId = PageMenu;
}

TQuorSettings::~TQuorSettings()
{
    delete xmlReader;
}

void TQuorSettings::setAudioDeviceTable(const QList<AudioDeviceEntry> &devices)
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
        applyDND();
        // Refused while forward is on: the sub-form stays.
        if (boxFwdAll->isChecked())
            return;
        break;
    case PageFwdForm:
        if (boxFwdAll->isChecked() && editFwdNum->text().isEmpty()) {
            showError(QStringLiteral("fwdValidateError"));
            return;
        }
        applyForward();
        if (boxDND->isChecked())
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
    editServer->setText(userServer);
    editPort->setText(userPort);
    editUserName->setText(userName);
    editPassword->setText(userPassword);
    editCidName->setText(userCidName);
    editCidNum->setText(userCidNum);
}

void TQuorSettings::fillManagerPage()
{
    label_Server_conf->hide();
    editManagerServer_conf->hide();
    boxUsePhoneIP->setChecked(usePhoneIp);
    // The box may not have changed, and then its slot did not run.
    setManagerServerReadOnly(usePhoneIp);
    editManagerServer->setText(managerServer);
    editManagerPort->setText(managerPort);
    editManagerUser->setText(managerUser);
    editManagerPasswd->setText(managerPassword);
    boxPrivacy->show();
    boxPrivacy->setChecked(privacy);
    boxFreePbx->show();
    boxFreePbx->setChecked(useFreePbx);
}

void TQuorSettings::slotMan2PhoneIP(int state)
{
    if (state == Qt::Unchecked) {
        setManagerServerReadOnly(false);
    } else if (state == Qt::Checked) {
        // Only the edit follows the phone here; Apply puts it into the model.
        setManagerServerReadOnly(true);
        editManagerServer->setText(managerServerFromPhone());
    }
}

void TQuorSettings::setManagerServerReadOnly(bool readOnly)
{
    editManagerServer->setReadOnly(readOnly);
}

// ---------------------------------------------------------------- options page

void TQuorSettings::fillOptionsPage()
{
    boxAgent->hide();
    for (QWidget *w : std::initializer_list<QWidget *> { boxBusy, boxSysTray, label_fw_opt, label_fw_family, Box_all,
             Box_busy, Box_noans, editFWDfam_1, editFWDfam_2, editFWDfam_3, boxFWDvm, label_db_family, editDNDfamily,
             label_to_callopt, label_to_call, editDNDNumber, label_prefix, editVmSendPreffix })
        w->show();

    boxOnTop->setChecked(optOnTop);
    boxDND->setChecked(optDnd);
    boxVM->setChecked(optVm);
    boxFwdAll->setChecked(optForward);

    editFwdNum->setText(fwdNumber);
    editVmNumber->setText(vmNumber);
    editVmUserName->setText(vmUser);
    editVmPassword->setText(vmPassword);
    editDNDfamily->setText(dndFamily);
    editDNDNumber->setText(dndNumber);
    editVmSendPreffix->setText(vmPrefix);
    parkEdit->setText(parkingLot);

    boxBusy->setChecked(optBusy);
    boxSysTray->setChecked(optTrayIcon);
    Box_all->setChecked(optFwdAll);
    Box_busy->setChecked(optFwdBusy);
    Box_noans->setChecked(optFwdNoAnswer);
    boxFWDvm->setChecked(optForwardVm);

    editFWDfam_1->setText(fwdFamilyAll);
    editFWDfam_2->setText(fwdFamilyBusy);
    editFWDfam_3->setText(fwdFamilyNoAnswer);

    if (!optionsPageWired) {
        optionsPageWired = true;
        for (QCheckBox *box : { Box_all, Box_busy, Box_noans })
            connect(box, &QCheckBox::stateChanged, this, &TQuorSettings::checkFWDCond);
    }
}

void TQuorSettings::showError(const QString &key)
{
    QString title;
    QString text;
    if (key == QLatin1String("dndSetError")) {
        title = tr("Do Not Disturb");
        text = tr("Call forward is selected, \nDisable Call forward before enabling DND");
    } else if (key == QLatin1String("fwdSetError")) {
        title = tr("Call Forward");
        text = tr("DND is selected, \nDisable DND before enabling Call forward");
    } else if (key == QLatin1String("fwdValidateError")) {
        title = tr("Call Forward");
        text = tr("No forward Number entered,\n please fill the number in the forward settings");
    }
    if (errorBoxHandler()) {
        errorBoxHandler()(title, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowOpacity(0.9);
    box.exec();
}

void TQuorSettings::setErrorBoxHandler(ErrorBoxHandler handler)
{
    errorBoxHandler() = std::move(handler);
}

// ---------------------------------------------------------------- audio, filters, codecs

QComboBox *TQuorSettings::audioList(int list) const
{
    switch (list) {
    case 1:
        return comboInputDevices;
    case 2:
        return comboOutputDevices;
    case 4:
        return comboRingingDevices;
    default:
        return nullptr;
    }
}

void TQuorSettings::addAudioDevice(int capabilities, const QString &name, int deviceId)
{
    for (const int list : { 1, 2, 4 }) {
        if (capabilities & list)
            audioList(list)->addItem(name, deviceId);
    }
}

int TQuorSettings::audioDeviceCount(int list) const
{
    const QComboBox *combo = audioList(list);
    return combo ? combo->count() : 0;
}

QString TQuorSettings::audioDeviceName(int list, int index) const
{
    const QComboBox *combo = audioList(list);
    if (!combo || index < 0 || index >= combo->count())
        return {};
    return combo->itemText(index);
}

int TQuorSettings::audioDeviceId(int list, int index) const
{
    const QComboBox *combo = audioList(list);
    if (!combo || index < 0 || index >= combo->count())
        return -1;
    bool ok = false;
    const int id = combo->itemData(index).toInt(&ok);
    return ok ? id : -1;
}

int TQuorSettings::findAudioDevice(int list, const QString &name) const
{
    const QComboBox *combo = audioList(list);
    if (!combo)
        return -1;
    for (int i = 0; i < combo->count(); ++i) {
        if (combo->itemText(i) == name)
            return i;
    }
    return -1;
}

void TQuorSettings::setCurrentAudioDevice(int list, int index)
{
    if (QComboBox *combo = audioList(list))
        combo->setCurrentIndex(index);
}

int TQuorSettings::currentAudioDevice(int list) const
{
    const QComboBox *combo = audioList(list);
    return combo ? combo->currentIndex() : -1;
}

void TQuorSettings::getAudioPageOptions(bool *ringBoth, bool *mute) const
{
    *ringBoth = boxRingInBothDevs->isChecked();
    *mute = boxMuteRingDev->isChecked();
}

void TQuorSettings::setFilterBoxes(int mask)
{
    boxDenoise->setChecked(mask & 1);
    boxAGC->setChecked(mask & 2);
    boxEcho->setChecked(mask & 4);
    boxAAGC->setChecked(mask & 8);
    boxCN->setChecked(mask & 16);
}

int TQuorSettings::filterBoxesMask() const
{
    int mask = 0;
    if (boxDenoise->isChecked())
        mask |= 1;
    if (boxAGC->isChecked())
        mask |= 2;
    if (boxEcho->isChecked())
        mask |= 4;
    if (boxAAGC->isChecked())
        mask |= 8;
    if (boxCN->isChecked())
        mask |= 16;
    return mask;
}

void TQuorSettings::fillCodecsPage()
{
    boxGSM->setChecked(allowedCodecs & 2);
    boxULAW->setChecked(allowedCodecs & 4);
    boxALAW->setChecked(allowedCodecs & 8);
    boxSPEEX->setChecked(allowedCodecs & 512);
    boxILBC->setChecked(allowedCodecs & 1024);

    if (preferredCodec == QLatin1String("gsm"))
        radioGSM->setChecked(true);
    else if (preferredCodec == QLatin1String("ulaw"))
        radioULAW->setChecked(true);
    else if (preferredCodec == QLatin1String("alaw"))
        radioALAW->setChecked(true);
    else if (preferredCodec == QLatin1String("speex"))
        radioSPEEX->setChecked(true);
    else if (preferredCodec == QLatin1String("ilbc"))
        radioILBC->setChecked(true);
}

void TQuorSettings::fillAudioPage()
{
    const struct
    {
        int list;
        int id;
    } lists[] = { { 1, audioInput }, { 2, audioOutput }, { 4, audioRing } };
    for (const auto &l : lists) {
        QComboBox *combo = audioList(l.list);
        int index = -1;
        for (int i = 0; i < combo->count() && index < 0; ++i) {
            const QVariant data = combo->itemData(i);
            if (data.isValid() && data.toInt() == l.id)
                index = i;
        }
        combo->setCurrentIndex(index);
    }
    boxRingInBothDevs->show();
    boxMuteRingDev->show();
    boxRingInBothDevs->setChecked(ringInBoth);
    boxMuteRingDev->setChecked(muteRing);
    for (QWidget *w :
        std::initializer_list<QWidget *> { label_RingingDevice_2, editRingTone, pushButton, label_RingType, comboBox })
        w->hide();
}

void TQuorSettings::fillFiltersPage()
{
    setFilterBoxes(filterMask);
    for (QWidget *w : std::initializer_list<QWidget *> { label_Dtmf, comboBox_dtmf, label_jitter, editJittersize })
        w->hide();
}

void TQuorSettings::fillActionsPage()
{
    act_in->setChecked(actIn);
    act_crm->setChecked(actCrm);
    act_out->setChecked(actOut);
    lauch_p_url->setChecked(actA1);
    launchApp->setText(appIn);
    launchArg->setText(scrIn);
    launchCRM->setText(crmUrl);
    launchApp_2->setText(appOut);
    launchArg_2->setText(scrOut);
}

// ---------------------------------------------------------------- pages still to come
// The writers and slots below belong to the audio, filters, codecs, actions and
// agent pages; until those pages store their values they keep the model as it is.

void TQuorSettings::writeAudioDevices() { }
void TQuorSettings::writeFilters() { }
void TQuorSettings::writeCodecs() { }
void TQuorSettings::writeSpeex() { }
void TQuorSettings::writeActions() { }
void TQuorSettings::showAgentPage()
{
    fillAgentPage();
    pageId = PageAgent;
    frameSelect->hide();
    if (framePhoneOptions->isVisible())
        framePhoneOptions->hide();
    showSubForm(frameAgent);
    frameAgent->setFocus();
}

void TQuorSettings::fillAgentPage()
{
    textAgent->setText(agentId);
    EditPenalty->setText(agentPenalty);
}

void TQuorSettings::setAgentButton(bool loggedIn, const QString &toolTip, const QString &label)
{
    buttonAgent->setToolTip(toolTip);
    labelButtonAgent->setText(label);
    bg_btn_aLogin->setPixmap(QPixmap(loggedIn ? QStringLiteral(":/ui/images/bg_agent_red.png")
                                              : QStringLiteral(":/ui/images/bg_agent_green.png")));
}

void TQuorSettings::setAgentButtonLabelLook(const QFont &font, const QPalette &palette)
{
    labelButtonAgent->setFont(font);
    labelButtonAgent->setPalette(palette);
}

void TQuorSettings::writeAgentLogin() { }
void TQuorSettings::fillSpeexPage() { }
void TQuorSettings::slotAgentLogin() { }
void TQuorSettings::slotAgentPause() { }
void TQuorSettings::slotSpeexEnhanced(int) { }
void TQuorSettings::setFWDform(int) { }
void TQuorSettings::setVMform(int) { }
void TQuorSettings::setDNDform(int) { }
void TQuorSettings::queueSelected() { }
void TQuorSettings::queueListSelected(const QString &) { }
void TQuorSettings::queueListSelected(QListWidgetItem *) { }

void TQuorSettings::setFileName()
{
    if (!sender())
        return;
}

void TQuorSettings::checkFWDCond(int)
{
    if (!sender())
        return;
}
