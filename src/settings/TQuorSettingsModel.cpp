// The configuration model side of TQuorSettings: the readers fill the store and
// the pages show it; the writers read a page and hand its values to the store.

#include "settings/TQuorSettings.h"

#include <QFileInfo>
#include <QMetaMethod>

#include <utility>

#include "core/Logger.h"

// ---------------------------------------------------------------- files

QString TQuorSettings::builtInManagerPassword()
{
    return SettingsStore::builtInManagerPassword();
}

QString TQuorSettings::privacyDataPath()
{
    return SettingsStore::privacyDataPath();
}

QString TQuorSettings::shippedPrivacyDataPath()
{
    return SettingsStore::shippedPrivacyDataPath();
}

QString TQuorSettings::scramblePassword(const QString &password)
{
    return SettingsStore::scramblePassword(password);
}

QString TQuorSettings::unscramblePassword(const QString &scrambled)
{
    return SettingsStore::unscramblePassword(scrambled);
}

void TQuorSettings::createConfigFile()
{
    if (store.movedAside()) {
        showMessage(tr("The settings file could not be read; it was kept as %1 and default settings are used")
                        .arg(QFileInfo(store.movedAsidePath()).fileName()),
            MessageWarning);
    }
    if (store.createRoot())
        saveConfig();
}

void TQuorSettings::saveConfig()
{
    if (!store.save())
        showMessage(tr("Could not write the settings file"), MessageError);
}

// ---------------------------------------------------------------- messages

void TQuorSettings::showMessage(const QString &text, TMessageType type)
{
    Logger::log(type == MessageStatus ? Logger::Info : Logger::Warning, QStringLiteral("Settings: ") + text);
    // Messages of the load come before the phone has connected; they wait for it.
    if (isSignalConnected(QMetaMethod::fromSignal(&TQuorSettings::signalShowMessage)))
        emit signalShowMessage(text, type);
    else
        pendingMessages.append(qMakePair(text, type));
}

void TQuorSettings::connectNotify(const QMetaMethod &signal)
{
    QWidget::connectNotify(signal);
    if (signal == QMetaMethod::fromSignal(&TQuorSettings::signalShowMessage) && !pendingMessages.isEmpty())
        QMetaObject::invokeMethod(this, &TQuorSettings::deliverPendingMessages, Qt::QueuedConnection);
}

void TQuorSettings::deliverPendingMessages()
{
    const auto messages = std::exchange(pendingMessages, {});
    for (const auto &m : messages)
        emit signalShowMessage(m.first, m.second);
}

// ---------------------------------------------------------------- readers

void TQuorSettings::loadAll()
{
    readUser();
    readOptions();
    readAudioDevices();
    readFilters();
    readCodecs();
    readSpeex();
    readManager();
    readActions();
    readPrivacyData();
    readAgentLogin();
    if (!store.finishLoad())
        showMessage(tr("Could not write the settings file"), MessageError);
}

void TQuorSettings::readUser()
{
    store.readUser();
}

void TQuorSettings::readOptions()
{
    store.readOptions();
}

void TQuorSettings::readAudioDevices()
{
    for (const int list : { 1, 2, 4 })
        audioList(list)->clear();
    for (const iax2::AudioDeviceInfo &device : audioDeviceTable)
        addAudioDevice(device.capabilities, QString::fromLocal8Bit(device.name.c_str()), device.id);
    for (const int list : { 1, 2, 4 }) {
        const QString name = store.readAudioDeviceName(list, audioDeviceName(list, 0));
        int index = findAudioDevice(list, name);
        // A device unplugged for now gives way to the first one for this run
        // only: the file keeps the user's choice for the next start.
        if (index < 0 && audioDeviceCount(list) > 0)
            index = 0;
        setCurrentAudioDevice(list, index);
        store.setAudioDeviceId(list, audioDeviceId(list, index));
    }
    store.readAudioFlags();
    emit signalAudioDevSettingsChanged();
}

void TQuorSettings::readFilters()
{
    store.readFilters();
    setFilterBoxes(store.filterMask());
    emit signalFiltersSettingsChanged();
}

void TQuorSettings::readCodecs()
{
    store.readCodecs();
    fillCodecsPage();
    emit signalAudioCodecsSettingsChanged();
}

void TQuorSettings::readSpeex()
{
    store.readSpeex();
    emit signalAudioSpeexSettingsChanged();
}

void TQuorSettings::readManager()
{
    store.readManager();
    setManagerServerReadOnly(store.manager().usePhoneIp);
}

void TQuorSettings::readActions()
{
    store.readActions();
}

void TQuorSettings::readPrivacyData()
{
    if (!store.readPrivacyData(nullptr))
        showMessage(tr("Could not open privacy data file"), MessageError);
}

void TQuorSettings::readAgentLogin()
{
    store.readAgentLogin();
}

// ---------------------------------------------------------------- writers

void TQuorSettings::writeUser()
{
    store.writeUser({ editServer->text(), editPort->text(), editUserName->text(), editPassword->text(),
        editCidName->text(), editCidNum->text() });
    saveConfig();
    emit signalUserSettingsChanged();
    if (store.manager().usePhoneIp)
        emit signalManagerSettingsChanged();
}

void TQuorSettings::writeManager()
{
    SettingsStore::Manager m;
    m.usePhoneIp = boxUsePhoneIP->isChecked();
    m.server = editManagerServer->text();
    m.port = editManagerPort->text();
    m.user = editManagerUser->text();
    m.password = editManagerPasswd->text();
    store.writeManager(m);
    if (boxPrivacy->isChecked() != store.privacy()) {
        store.setPrivacy(boxPrivacy->isChecked());
        writePrivacyData();
        emit signalPrivacySettingsChanged(store.privacy());
    }
    store.writeUseFreePbx(boxFreePbx->isChecked());
    emit signalManagerSettingsChanged();
    saveConfig();
}

void TQuorSettings::writeOptions()
{
    SettingsStore::Options o;
    o.onTop = boxOnTop->isChecked();
    o.dnd = boxDND->isChecked();
    o.forward = boxFwdAll->isChecked();
    o.fwdNumber = editFwdNum->text();
    o.busy = boxBusy->isChecked();
    o.trayIcon = boxSysTray->isChecked();
    o.dndFamily = editDNDfamily->text();
    o.dndNumber = editDNDNumber->text();
    o.forwardVm = boxFWDvm->isChecked();
    o.fwdFamilyAll = editFWDfam_1->text();
    o.fwdFamilyBusy = editFWDfam_2->text();
    o.fwdFamilyNoAnswer = editFWDfam_3->text();
    o.fwdAll = Box_all->isChecked();
    o.fwdBusy = Box_busy->isChecked();
    o.fwdNoAnswer = Box_noans->isChecked();
    o.vmPrefix = editVmSendPreffix->text();
    o.parkingLot = parkEdit->text();
    o.agent = boxAgent->isChecked();
    o.vm = boxVM->isChecked();
    o.vmNumber = editVmNumber->text();
    o.vmUser = editVmUserName->text();
    o.vmPassword = editVmPassword->text();
    store.writeOptions(o);
    saveConfig();
    emit signalPhoneOptionsChanged();
}

void TQuorSettings::writePrivacyData()
{
    if (!store.writePrivacyData(nullptr))
        showMessage(tr("Could not write privacy data file"), MessageError);
}

// ---------------------------------------------------------------- getters

void TQuorSettings::getUserName(QString *out)
{
    fillUserPage();
    *out = store.user().userName;
}

void TQuorSettings::getUserSettings(
    QString *server, quint16 *port, QString *user, QString *password, QString *cidName, QString *cidNumber) const
{
    const SettingsStore::User &u = store.user();
    *server = u.server;
    *port = store.userPort();
    *user = u.userName;
    *password = u.password;
    *cidName = u.cidName;
    *cidNumber = u.cidNum;
}

void TQuorSettings::getManagerSettings(
    QString *host, quint16 *port, QString *user, QString *secret, bool *privacyOn, bool *freePbx) const
{
    const SettingsStore::Manager &m = store.manager();
    *host = m.server;
    *port = store.managerPort();
    *user = m.user;
    *secret = m.password;
    *privacyOn = store.privacy();
    *freePbx = m.useFreePbx;
}

void TQuorSettings::getUseFreePBX(bool *out) const
{
    *out = store.manager().useFreePbx;
}

void TQuorSettings::getTrayIcon(bool *out) const
{
    *out = store.options().trayIcon;
}

void TQuorSettings::getAgentLogin(QString *user, QString *agentIdOut, QString *penalty) const
{
    *user = store.user().userName;
    *agentIdOut = store.agentId();
    *penalty = store.agentPenalty();
}

void TQuorSettings::getPhoneOptions(bool *busy, bool *onTop, bool *dnd, QString *dndFamilyOut, QString *dndCode,
    bool *forward, QString *forwardNumber, QString *forwardFamily, bool *voiceMail, bool *forwardToVm,
    bool *agentLogin) const
{
    const SettingsStore::Options &o = store.options();
    *busy = o.busy;
    *onTop = o.onTop;
    *dnd = o.dnd;
    *dndFamilyOut = o.dndFamily;
    *dndCode = o.dndNumber;
    *forward = o.forward;
    *forwardNumber = o.fwdNumber;
    *forwardFamily = store.currentFwdFamily();
    *voiceMail = o.vm;
    *forwardToVm = o.forwardVm;
    *agentLogin = o.agent;
}

void TQuorSettings::getFwdFamilies(QString *all, QString *busy, QString *noAnswer) const
{
    const SettingsStore::Options &o = store.options();
    *all = o.fwdFamilyAll;
    *busy = o.fwdFamilyBusy;
    *noAnswer = o.fwdFamilyNoAnswer;
}

void TQuorSettings::getVoiceMail(QString *number, QString *user, QString *password) const
{
    const SettingsStore::Options &o = store.options();
    *number = o.vmNumber;
    *user = o.vmUser;
    *password = o.vmPassword;
}

QString TQuorSettings::getVmPrefix() const
{
    return store.options().vmPrefix;
}

QString TQuorSettings::getParkingLot() const
{
    return store.options().parkingLot;
}

void TQuorSettings::getAudioDevices(int *input, int *output, int *ring, bool *ringBoth, bool *mute) const
{
    const SettingsStore::Audio &a = store.audio();
    *input = a.input;
    *output = a.output;
    *ring = a.ring;
    *ringBoth = a.ringInBoth;
    *mute = a.muteRing;
}

void TQuorSettings::getFilters(int *mask) const
{
    *mask = store.filterMask();
}

void TQuorSettings::getCodecs(int *allowed, int *preferred) const
{
    *allowed = store.allowedCodecs();
    // An unknown name leaves the caller's value as it was.
    if (const int bit = SettingsStore::codecBit(store.preferredCodec()))
        *preferred = bit;
}

void TQuorSettings::getSpeexSettings(
    int *decodeEnhance, float *quality, int *cbr, int *vbr, int *abr, int *complexity) const
{
    const SettingsStore::Speex s = store.speex().speexCustom ? store.speex() : SettingsStore::speexDefaults();
    *decodeEnhance = s.speexDecodeEnhance ? 1 : 0;
    *quality = s.speexQuality;
    *cbr = s.speexCbr;
    *vbr = s.speexVbr ? 1 : 0;
    *abr = s.speexAbr;
    *complexity = s.speexComplexity;
}

void TQuorSettings::getActions(bool *actInOut, bool *actCrmOut, bool *actOutOut, bool *actA1Out, QString *appInOut,
    QString *scrInOut, QString *crmUrlOut, QString *appOutOut, QString *scrOutOut) const
{
    const SettingsStore::Actions &a = store.actions();
    *actInOut = a.actIn;
    *actCrmOut = a.actCrm;
    *actOutOut = a.actOut;
    *actA1Out = a.actA1;
    *appInOut = a.appIn;
    *scrInOut = a.scrIn;
    *crmUrlOut = a.crmUrl;
    *appOutOut = a.appOut;
    *scrOutOut = a.scrOut;
}

// ---------------------------------------------------------------- toggles and setters
// Each fills the options page from the model, changes one value on it and
// stores the page, so every other option is stored unchanged.

void TQuorSettings::toggleOnTop()
{
    fillOptionsPage();
    boxOnTop->setChecked(!store.options().onTop);
    writeOptions();
}

void TQuorSettings::toggleTrayIcon()
{
    fillOptionsPage();
    boxSysTray->setChecked(!store.options().trayIcon);
    writeOptions();
}

void TQuorSettings::toggleBusy()
{
    fillOptionsPage();
    boxBusy->setChecked(!store.options().busy);
    writeOptions();
}

void TQuorSettings::setForwardState(bool on)
{
    store.options().forward = on;
    fillOptionsPage();
    boxFwdAll->setChecked(on);
    frameOptFWD->hide();
    writeOptions();
}

void TQuorSettings::setForward(bool on, const QString &number, const QString &family)
{
    SettingsStore::Options &o = store.options();
    o.forward = on;
    o.fwdNumber = number;
    const bool all = family == o.fwdFamilyAll;
    const bool busy = !all && family == o.fwdFamilyBusy;
    const bool noAnswer = !all && !busy && family == o.fwdFamilyNoAnswer;
    if (all || busy || noAnswer) {
        o.fwdAll = all;
        o.fwdBusy = busy;
        o.fwdNoAnswer = noAnswer;
        store.setCurrentFwdFamily(family);
    }
    fillOptionsPage();
    boxFwdAll->setChecked(o.forward);
    editFwdNum->setText(o.fwdNumber);
    Box_all->setChecked(o.fwdAll);
    Box_busy->setChecked(o.fwdBusy);
    Box_noans->setChecked(o.fwdNoAnswer);
    frameOptFWD->hide();
    writeOptions();
}

void TQuorSettings::setDNDState(bool on)
{
    store.options().dnd = on;
    fillOptionsPage();
    boxDND->setChecked(on);
    frameOptDND->hide();
    writeOptions();
}

// Switching off is always possible; the exclusion of DND and forward, and the
// number, are checked only when switching on.
void TQuorSettings::applyForward()
{
    const SettingsStore::Options &o = store.options();
    if (!o.forward && o.dnd) {
        showError(QStringLiteral("fwdSetError"));
        return;
    }
    if (!o.forward && isForwardNumberEmpty(o.fwdNumber)) {
        showError(QStringLiteral("fwdValidateError"));
        return;
    }
    fillOptionsPage();
    boxFwdAll->setChecked(!o.forward);
    frameOptFWD->hide();
    writeOptions();
    emit setAsteriskFWD();
}

void TQuorSettings::applyDND()
{
    const SettingsStore::Options &o = store.options();
    if (!o.dnd && o.forward) {
        showError(QStringLiteral("dndSetError"));
        return;
    }
    fillOptionsPage();
    boxDND->setChecked(!o.dnd);
    frameOptDND->hide();
    writeOptions();
    emit setAsteriskDND();
}
