// The configuration model of TQuorSettings: "quorer.xml", the privacy data file,
// the getters, toggles and setters.

#include "settings/TQuorSettings.h"

#include <QFile>
#include <QFileInfo>
#include <QMetaMethod>

#include <utility>

#include "core/Logger.h"
#include "core/Paths.h"
#include "core/XmlReader.h"
#include "settings/PrivacyDataFile.h"

namespace {

const QString kAgent = QStringLiteral("agent");
const QString kOptions = QStringLiteral("options");
const QString kAudio = QStringLiteral("audio");
const QString kFilters = QStringLiteral("filters");
const QString kCodecs = QStringLiteral("codecs");
const QString kSpeex = QStringLiteral("speex");
const QString kManager = QStringLiteral("manager");
const QString kActions = QStringLiteral("actions");
const QString kAgentLogin = QStringLiteral("agentLogin");

const QString kYes = QStringLiteral("yes");
const QString kNo = QStringLiteral("no");

constexpr quint16 kDefaultPhonePort = 4569;
constexpr quint16 kDefaultManagerPort = 5038;

// No typed password can match it: the password edits take at most 31 characters.
const QString kFallbackAdminPassword = QStringLiteral("#locked:no-privacy-data-file-1f7c2a9");

// Obfuscation only; keeps passwords out of plain sight in the file.
const QByteArray kScrambleKey = QByteArrayLiteral("Qs7!vR2#kP9@wL4$");

QString flagText(bool on)
{
    return on ? kYes : kNo;
}

bool isHex(const QString &text)
{
    for (const QChar c : text) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F')))
            return false;
    }
    return true;
}

// XML 1.0 cannot hold most control characters: written raw they would make the
// whole file unreadable at the next start.
QString xmlSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            safe.append(c).append(text.at(++i));
            continue;
        }
        const bool allowed
            = u == 0x9 || u == 0xa || u == 0xd || (u >= 0x20 && u < 0xd800) || (u >= 0xe000 && u < 0xfffe);
        if (allowed)
            safe.append(c);
    }
    if (safe.size() != text.size())
        Logger::warning(QStringLiteral("Settings: characters a settings file cannot hold were left out"));
    return safe;
}

quint16 portOrDefault(const QString &text, quint16 fallback, const char *what)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        Logger::warning(QStringLiteral("Settings: %1 port \"%2\" is not a port number; using %3")
                            .arg(QLatin1String(what), Logger::escaped(text))
                            .arg(fallback));
        return fallback;
    }
    return quint16(value);
}

struct CodecKey
{
    const char *key;
    int bit;
    bool byDefault;
};

const CodecKey kCodecKeys[] = {
    { "gsm", 2, true },
    { "ulaw", 4, true },
    { "alaw", 8, true },
    { "speex", 512, true },
    { "ilbc", 1024, false },
};

struct FilterKey
{
    const char *key;
    int bit;
    bool byDefault;
};

const FilterKey kFilterKeys[] = {
    { "denoise", 1, true },
    { "agc", 2, true },
    { "echo", 4, false },
    { "aagc", 8, true },
    { "cn", 16, true },
};

int codecBit(const QString &name)
{
    for (const CodecKey &c : kCodecKeys) {
        if (name == QLatin1String(c.key))
            return c.bit;
    }
    return 0;
}

} // namespace

// ---------------------------------------------------------------- files

QString TQuorSettings::builtInManagerPassword()
{
    return QStringLiteral("lavo");
}

QString TQuorSettings::privacyDataPath()
{
    return Paths::dataFile(QStringLiteral("quorer.dat"));
}

QString TQuorSettings::shippedPrivacyDataPath()
{
    return Paths::resourcesDir() + QLatin1String("quorer.dat");
}

void TQuorSettings::createConfigFile()
{
    if (xmlReader->movedAside()) {
        showMessage(tr("The settings file could not be read; it was kept as %1 and default settings are used")
                        .arg(QFileInfo(xmlReader->movedAsidePath()).fileName()),
            MessageWarning);
    }
    if (!QFile::exists(xmlReader->fileName())) {
        xmlReader->createRoot(QStringLiteral("quorer"));
        saveConfig();
    }
}

void TQuorSettings::saveConfig()
{
    if (!xmlReader->save()) {
        showMessage(tr("Could not write the settings file"), MessageError);
        return;
    }
    // Holds scrambled passwords: readable by the owner only.
    QFile::setPermissions(xmlReader->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

QString TQuorSettings::scramblePassword(const QString &password)
{
    QByteArray bytes = password.toUtf8();
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ kScrambleKey.at(i % kScrambleKey.size()));
    return QString::fromLatin1(bytes.toHex());
}

QString TQuorSettings::unscramblePassword(const QString &scrambled)
{
    if (scrambled.size() % 2 != 0 || !isHex(scrambled)) {
        // Typed into the file by hand: take it as it stands.
        Logger::warning(QStringLiteral("Settings: a stored password is not in scrambled form; taken as typed"));
        return scrambled;
    }
    QByteArray bytes = QByteArray::fromHex(scrambled.toLatin1());
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ kScrambleKey.at(i % kScrambleKey.size()));
    return QString::fromUtf8(bytes);
}

QString TQuorSettings::readValue(const QString &section, const QString &key, const QString &fallback)
{
    const QString value = xmlReader->getValue(key, section);
    if (value != XmlReader::notFound())
        return value;
    xmlReader->addValue(key, fallback, section);
    configChanged = true;
    return fallback;
}

bool TQuorSettings::readFlag(const QString &section, const QString &key, bool fallback)
{
    return readValue(section, key, flagText(fallback)) == kYes;
}

void TQuorSettings::writeValue(const QString &section, const QString &key, const QString &value)
{
    xmlReader->setValue(key, xmlSafe(value), section);
}

void TQuorSettings::writeFlag(const QString &section, const QString &key, bool value)
{
    writeValue(section, key, flagText(value));
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
    configChanged = false;
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
    if (configChanged || !QFile::exists(xmlReader->fileName()))
        saveConfig();
    else
        QFile::setPermissions(xmlReader->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    configChanged = false;
}

void TQuorSettings::readUser()
{
    userServer = readValue(kAgent, QStringLiteral("server"), QStringLiteral("127.0.0.1"));
    if (usePhoneIp)
        managerServer = userServer;
    userPort = readValue(kAgent, QStringLiteral("port"), QStringLiteral("4569"));
    userName = readValue(kAgent, QStringLiteral("uname"), QString());
    userPassword = unscramblePassword(readValue(kAgent, QStringLiteral("passwd"), scramblePassword(QString())));
    userCidName = readValue(kAgent, QStringLiteral("cidname"), QStringLiteral("Type name"));
    userCidNum = readValue(kAgent, QStringLiteral("cidnum"), QStringLiteral("Type number"));
}

void TQuorSettings::readOptions()
{
    optTrayIcon = readFlag(kOptions, QStringLiteral("traicon"), true);
    optOnTop = readFlag(kOptions, QStringLiteral("ontop"), false);
    optBusy = readFlag(kOptions, QStringLiteral("busy"), false);
    optDnd = readFlag(kOptions, QStringLiteral("dnd"), false);
    optForward = readFlag(kOptions, QStringLiteral("forward"), false);
    optVm = readFlag(kOptions, QStringLiteral("vm"), false);
    optAgent = readFlag(kOptions, QStringLiteral("ag"), false);
    parkingLot = readValue(kOptions, QStringLiteral("parking_lot"), QStringLiteral("70"));
    dndFamily = readValue(kOptions, QStringLiteral("dnd_fam"), QStringLiteral("DND"));
    dndNumber = readValue(kOptions, QStringLiteral("dnd_num"), QStringLiteral("*78"));
    fwdNumber = readValue(kOptions, QStringLiteral("fwd_num"), QStringLiteral("forward number here"));
    optForwardVm = readFlag(kOptions, QStringLiteral("forward_vm"), false);
    optFwdAll = readFlag(kOptions, QStringLiteral("asterisk_fwd_all"), true);
    optFwdBusy = readFlag(kOptions, QStringLiteral("asterisk_fwd_busy"), false);
    optFwdNoAnswer = readFlag(kOptions, QStringLiteral("asterisk_fwd_na"), false);
    fwdFamilyAll = readValue(kOptions, QStringLiteral("ast_fwd_fam_1"), QStringLiteral("CF"));
    fwdFamilyBusy = readValue(kOptions, QStringLiteral("ast_fwd_fam_2"), QStringLiteral("CFB"));
    fwdFamilyNoAnswer = readValue(kOptions, QStringLiteral("ast_fwd_fam_3"), QStringLiteral("CFU"));
    vmNumber = readValue(kOptions, QStringLiteral("vm_number"), QString());
    vmUser = readValue(kOptions, QStringLiteral("vm_user"), QString());
    vmPassword = unscramblePassword(readValue(kOptions, QStringLiteral("vm_passwd"), scramblePassword(QString())));
    vmPrefix = readValue(kOptions, QStringLiteral("vm_preffix"), QString());

    if (optFwdAll)
        currentFwdFamily = fwdFamilyAll;
    else if (optFwdBusy)
        currentFwdFamily = fwdFamilyBusy;
    else if (optFwdNoAnswer)
        currentFwdFamily = fwdFamilyNoAnswer;
}

void TQuorSettings::readAudioDevices()
{
    for (const int list : { 1, 2, 4 })
        audioList(list)->clear();
    for (const AudioDeviceEntry &device : std::as_const(audioDeviceTable))
        addAudioDevice(device.capabilities, device.name, device.id);

    const struct
    {
        int list;
        const char *key;
        int *id;
    } lists[]
        = { { 1, "input_dev", &audioInput }, { 2, "output_dev", &audioOutput }, { 4, "ringing_dev", &audioRing } };

    for (const auto &l : lists) {
        const QString key = QLatin1String(l.key);
        const QString first = audioDeviceName(l.list, 0);
        QString name = xmlReader->getValue(key, kAudio);
        if (name == XmlReader::notFound()) {
            xmlReader->addValue(key, xmlSafe(first), kAudio);
            configChanged = true;
            name = first;
        } else if (name.isEmpty()) {
            name = first;
        }
        int index = findAudioDevice(l.list, name);
        if (index < 0 && audioDeviceCount(l.list) > 0) {
            // The stored device is gone: take the first one and remember it.
            writeValue(kAudio, key, first);
            configChanged = true;
            index = 0;
        }
        setCurrentAudioDevice(l.list, index);
        *l.id = audioDeviceId(l.list, index);
    }
    ringInBoth = readFlag(kAudio, QStringLiteral("ringInBothDevs"), false);
    muteRing = readFlag(kAudio, QStringLiteral("muteRing"), false);
    emit signalAudioDevSettingsChanged();
}

void TQuorSettings::readFilters()
{
    filterMask = 0;
    for (const FilterKey &f : kFilterKeys) {
        if (readFlag(kFilters, QLatin1String(f.key), f.byDefault))
            filterMask |= f.bit;
    }
    setFilterBoxes(filterMask);
    emit signalFiltersSettingsChanged();
}

void TQuorSettings::readCodecs()
{
    allowedCodecs = 0;
    for (const CodecKey &c : kCodecKeys) {
        if (readFlag(kCodecs, QLatin1String(c.key), c.byDefault))
            allowedCodecs |= c.bit;
    }
    preferredCodec = readValue(kCodecs, QStringLiteral("default"), QStringLiteral("gsm"));
    if (codecBit(preferredCodec) == 0) {
        Logger::warning(
            QStringLiteral("Settings: unknown preferred codec \"%1\"; using gsm").arg(Logger::escaped(preferredCodec)));
        preferredCodec = QStringLiteral("gsm");
        writeValue(kCodecs, QStringLiteral("default"), preferredCodec);
        configChanged = true;
    }
    fillCodecsPage();
    emit signalAudioCodecsSettingsChanged();
}

void TQuorSettings::readSpeex()
{
    speexCustom = readValue(kSpeex, QStringLiteral("default"), kYes) != kYes;
    speexDecodeEnhance = readFlag(kSpeex, QStringLiteral("decode_enhance"), true);

    bool ok = false;
    const float quality = readValue(kSpeex, QStringLiteral("quality"), QStringLiteral("-1")).toFloat(&ok);
    speexQuality = ok ? qBound(-1.0f, quality, 9.0f) : -1.0f;

    const int cbr = readValue(kSpeex, QStringLiteral("cbr"), QStringLiteral("-1")).toInt(&ok);
    speexCbr = ok && cbr >= -1 ? cbr : -1;

    speexVbr = readFlag(kSpeex, QStringLiteral("vbr"), false);

    const int abr = readValue(kSpeex, QStringLiteral("abr"), QStringLiteral("8000")).toInt(&ok);
    speexAbr = ok && abr >= 0 ? abr : 0;

    const int complexity = readValue(kSpeex, QStringLiteral("complexity"), QStringLiteral("3")).toInt(&ok);
    speexComplexity = ok ? qBound(0, complexity, 9) : 3;

    emit signalAudioSpeexSettingsChanged();
}

void TQuorSettings::readManager()
{
    usePhoneIp = readFlag(kManager, QStringLiteral("use_phone_ip"), true);
    if (usePhoneIp) {
        managerServer = managerServerFromPhone();
        setManagerServerReadOnly(true);
    } else {
        setManagerServerReadOnly(false);
        managerServer = readValue(kManager, QStringLiteral("server"), QStringLiteral("127.0.0.1"));
    }
    managerPort = readValue(kManager, QStringLiteral("port"), QStringLiteral("5038"));
    managerUser = readValue(kManager, QStringLiteral("uname"), QStringLiteral("quor"));
    managerPassword
        = unscramblePassword(readValue(kManager, QStringLiteral("passwd"), scramblePassword(builtInManagerPassword())));
    useFreePbx = readFlag(kManager, QStringLiteral("use_freepbx"), false);
}

void TQuorSettings::readActions()
{
    actIn = readFlag(kActions, QStringLiteral("act_in"), false);
    actCrm = readFlag(kActions, QStringLiteral("act_crm"), false);
    actOut = readFlag(kActions, QStringLiteral("act_out"), false);
    actA1 = readFlag(kActions, QStringLiteral("act_a1"), false);
    appIn = readValue(kActions, QStringLiteral("opt_AppIn"), QString());
    scrIn = readValue(kActions, QStringLiteral("opt_ScrIn"), QString());
    crmUrl = readValue(kActions, QStringLiteral("opt_ActCRM"), QString());
    appOut = readValue(kActions, QStringLiteral("opt_AppOut"), QString());
    scrOut = readValue(kActions, QStringLiteral("opt_ScrOut"), QString());
}

void TQuorSettings::readPrivacyData()
{
    // The user's own copy, once a password change has written it; else the shipped one.
    QString path = privacyDataPath();
    if (!QFile::exists(path))
        path = shippedPrivacyDataPath();

    QString reason;
    const auto data = PrivacyDataFile::read(path, &reason);
    if (!data) {
        Logger::error(QStringLiteral("Settings: privacy data file %1: %2").arg(path, reason));
        adminPassword = kFallbackAdminPassword;
        privacy = false;
        showMessage(tr("Could not open privacy data file"), MessageError);
        return;
    }
    adminPassword = data->password;
    privacy = data->privacy;
    privacyFormat = data->format;
    privacyKey = data->key;
}

void TQuorSettings::readAgentLogin()
{
    agentId = readValue(kAgentLogin, QStringLiteral("agentid"), userName);
    agentPenalty = readValue(kAgentLogin, QStringLiteral("penalty"), QStringLiteral("0"));
}

// ---------------------------------------------------------------- writers

void TQuorSettings::writeUser()
{
    userServer = editServer->text();
    writeValue(kAgent, QStringLiteral("server"), userServer);
    if (usePhoneIp)
        managerServer = userServer;
    userPort = editPort->text();
    writeValue(kAgent, QStringLiteral("port"), userPort);
    userName = editUserName->text();
    writeValue(kAgent, QStringLiteral("uname"), userName);
    userPassword = editPassword->text();
    writeValue(kAgent, QStringLiteral("passwd"), scramblePassword(userPassword));
    userCidName = editCidName->text();
    writeValue(kAgent, QStringLiteral("cidname"), userCidName);
    userCidNum = editCidNum->text();
    writeValue(kAgent, QStringLiteral("cidnum"), userCidNum);

    saveConfig();
    emit signalUserSettingsChanged();
    if (usePhoneIp)
        emit signalManagerSettingsChanged();
}

void TQuorSettings::writeManager()
{
    usePhoneIp = boxUsePhoneIP->isChecked();
    writeFlag(kManager, QStringLiteral("use_phone_ip"), usePhoneIp);
    if (usePhoneIp) {
        // Checking the box only showed the phone's server; it takes effect here.
        managerServer = managerServerFromPhone();
    } else {
        managerServer = editManagerServer->text();
        if (xmlReader->getValue(QStringLiteral("server"), kManager) == XmlReader::notFound())
            xmlReader->addValue(QStringLiteral("server"), xmlSafe(managerServer), kManager);
        else
            writeValue(kManager, QStringLiteral("server"), managerServer);
    }
    managerPort = editManagerPort->text();
    writeValue(kManager, QStringLiteral("port"), managerPort);
    managerUser = editManagerUser->text();
    writeValue(kManager, QStringLiteral("uname"), managerUser);
    managerPassword = editManagerPasswd->text();
    writeValue(kManager, QStringLiteral("passwd"), scramblePassword(managerPassword));
    if (boxPrivacy->isChecked() != privacy) {
        privacy = boxPrivacy->isChecked();
        writePrivacyData();
        emit signalPrivacySettingsChanged(privacy);
    }
    useFreePbx = boxFreePbx->isChecked();
    writeFlag(kManager, QStringLiteral("use_freepbx"), useFreePbx);

    emit signalManagerSettingsChanged();
    saveConfig();
}

void TQuorSettings::writeOptions()
{
    optOnTop = boxOnTop->isChecked();
    writeFlag(kOptions, QStringLiteral("ontop"), optOnTop);
    optDnd = boxDND->isChecked();
    writeFlag(kOptions, QStringLiteral("dnd"), optDnd);
    optForward = boxFwdAll->isChecked();
    writeFlag(kOptions, QStringLiteral("forward"), optForward);
    fwdNumber = editFwdNum->text();
    writeValue(kOptions, QStringLiteral("fwd_num"), fwdNumber);
    optBusy = boxBusy->isChecked();
    writeFlag(kOptions, QStringLiteral("busy"), optBusy);
    optTrayIcon = boxSysTray->isChecked();
    writeFlag(kOptions, QStringLiteral("traicon"), optTrayIcon);
    dndFamily = editDNDfamily->text();
    writeValue(kOptions, QStringLiteral("dnd_fam"), dndFamily);
    dndNumber = editDNDNumber->text();
    writeValue(kOptions, QStringLiteral("dnd_num"), dndNumber);
    optForwardVm = boxFWDvm->isChecked();
    writeFlag(kOptions, QStringLiteral("forward_vm"), optForwardVm);
    fwdFamilyAll = editFWDfam_1->text();
    writeValue(kOptions, QStringLiteral("ast_fwd_fam_1"), fwdFamilyAll);
    fwdFamilyBusy = editFWDfam_2->text();
    writeValue(kOptions, QStringLiteral("ast_fwd_fam_2"), fwdFamilyBusy);
    fwdFamilyNoAnswer = editFWDfam_3->text();
    writeValue(kOptions, QStringLiteral("ast_fwd_fam_3"), fwdFamilyNoAnswer);
    optFwdAll = Box_all->isChecked();
    writeFlag(kOptions, QStringLiteral("asterisk_fwd_all"), optFwdAll);
    optFwdBusy = Box_busy->isChecked();
    writeFlag(kOptions, QStringLiteral("asterisk_fwd_busy"), optFwdBusy);
    optFwdNoAnswer = Box_noans->isChecked();
    writeFlag(kOptions, QStringLiteral("asterisk_fwd_na"), optFwdNoAnswer);
    vmPrefix = editVmSendPreffix->text();
    writeValue(kOptions, QStringLiteral("vm_preffix"), vmPrefix);
    parkingLot = parkEdit->text();
    writeValue(kOptions, QStringLiteral("parking_lot"), parkingLot);
    optAgent = boxAgent->isChecked();
    writeFlag(kOptions, QStringLiteral("ag"), optAgent);
    optVm = boxVM->isChecked();
    writeFlag(kOptions, QStringLiteral("vm"), optVm);
    vmNumber = editVmNumber->text();
    writeValue(kOptions, QStringLiteral("vm_number"), vmNumber);
    vmUser = editVmUserName->text();
    writeValue(kOptions, QStringLiteral("vm_user"), vmUser);
    vmPassword = editVmPassword->text();
    writeValue(kOptions, QStringLiteral("vm_passwd"), scramblePassword(vmPassword));

    saveConfig();
    emit signalPhoneOptionsChanged();
}

void TQuorSettings::writePrivacyData()
{
    PrivacyData data;
    data.format = privacyFormat;
    data.key = privacyKey;
    data.password = adminPassword;
    data.privacy = privacy;
    // Always the data directory's copy: the shipped one may not be writable.
    QString reason;
    if (!PrivacyDataFile::write(privacyDataPath(), data, &reason)) {
        Logger::error(QStringLiteral("Settings: could not write %1: %2").arg(privacyDataPath(), reason));
        showMessage(tr("Could not write privacy data file"), MessageError);
    }
}

// ---------------------------------------------------------------- getters

void TQuorSettings::getUserName(QString *out)
{
    fillUserPage();
    *out = userName;
}

void TQuorSettings::getUserSettings(
    QString *server, quint16 *port, QString *user, QString *password, QString *cidName, QString *cidNumber) const
{
    *server = userServer;
    *port = portOrDefault(userPort, kDefaultPhonePort, "phone");
    *user = userName;
    *password = userPassword;
    *cidName = userCidName;
    *cidNumber = userCidNum;
}

void TQuorSettings::getManagerSettings(
    QString *host, quint16 *port, QString *user, QString *secret, bool *privacyOn, bool *freePbx) const
{
    *host = managerServer;
    *port = portOrDefault(managerPort, kDefaultManagerPort, "manager");
    *user = managerUser;
    *secret = managerPassword;
    *privacyOn = privacy;
    *freePbx = useFreePbx;
}

void TQuorSettings::getUseFreePBX(bool *out) const
{
    *out = useFreePbx;
}

void TQuorSettings::getTrayIcon(bool *out) const
{
    *out = optTrayIcon;
}

void TQuorSettings::getAgentLogin(QString *user, QString *agentIdOut, QString *penalty) const
{
    *user = userName;
    *agentIdOut = agentId;
    *penalty = agentPenalty;
}

void TQuorSettings::getPhoneOptions(bool *busy, bool *onTop, bool *dnd, QString *dndFamilyOut, QString *dndCode,
    bool *forward, QString *forwardNumber, QString *forwardFamily, bool *voiceMail, bool *forwardToVm,
    bool *agentLogin) const
{
    *busy = optBusy;
    *onTop = optOnTop;
    *dnd = optDnd;
    *dndFamilyOut = dndFamily;
    *dndCode = dndNumber;
    *forward = optForward;
    *forwardNumber = fwdNumber;
    *forwardFamily = currentFwdFamily;
    *voiceMail = optVm;
    *forwardToVm = optForwardVm;
    *agentLogin = optAgent;
}

void TQuorSettings::getFwdFamilies(QString *all, QString *busy, QString *noAnswer) const
{
    *all = fwdFamilyAll;
    *busy = fwdFamilyBusy;
    *noAnswer = fwdFamilyNoAnswer;
}

void TQuorSettings::getVoiceMail(QString *number, QString *user, QString *password) const
{
    *number = vmNumber;
    *user = vmUser;
    *password = vmPassword;
}

QString TQuorSettings::getVmPrefix() const
{
    return vmPrefix;
}

QString TQuorSettings::getParkingLot() const
{
    return parkingLot;
}

void TQuorSettings::getAudioDevices(int *input, int *output, int *ring, bool *ringBoth, bool *mute) const
{
    *input = audioInput;
    *output = audioOutput;
    *ring = audioRing;
    *ringBoth = ringInBoth;
    *mute = muteRing;
}

void TQuorSettings::getFilters(int *mask) const
{
    *mask = filterMask;
}

void TQuorSettings::getCodecs(int *allowed, int *preferred) const
{
    *allowed = allowedCodecs;
    const int bit = codecBit(preferredCodec);
    // An unknown name would leave the caller's variable undefined: GSM then.
    *preferred = bit != 0 ? bit : 2;
}

void TQuorSettings::getSpeexSettings(
    int *decodeEnhance, float *quality, int *cbr, int *vbr, int *abr, int *complexity) const
{
    if (speexCustom) {
        *decodeEnhance = speexDecodeEnhance ? 1 : 0;
        *quality = speexQuality;
        *cbr = speexCbr;
        *vbr = speexVbr ? 1 : 0;
        *abr = speexAbr;
        *complexity = speexComplexity;
    } else {
        *decodeEnhance = 1;
        *quality = -1.0f;
        *cbr = -1;
        *vbr = 0;
        *abr = 8000;
        *complexity = 3;
    }
}

void TQuorSettings::getActions(bool *actInOut, bool *actCrmOut, bool *actOutOut, bool *actA1Out, QString *appInOut,
    QString *scrInOut, QString *crmUrlOut, QString *appOutOut, QString *scrOutOut) const
{
    *actInOut = actIn;
    *actCrmOut = actCrm;
    *actOutOut = actOut;
    *actA1Out = actA1;
    *appInOut = appIn;
    *scrInOut = scrIn;
    *crmUrlOut = crmUrl;
    *appOutOut = appOut;
    *scrOutOut = scrOut;
}

// ---------------------------------------------------------------- toggles and setters

void TQuorSettings::toggleOnTop()
{
    fillOptionsPage();
    optOnTop = !optOnTop;
    boxOnTop->setChecked(optOnTop);
    writeOptions();
}

void TQuorSettings::toggleTrayIcon()
{
    fillOptionsPage();
    optTrayIcon = !optTrayIcon;
    boxSysTray->setChecked(optTrayIcon);
    writeOptions();
}

void TQuorSettings::toggleBusy()
{
    fillOptionsPage();
    optBusy = !optBusy;
    boxBusy->setChecked(optBusy);
    writeOptions();
}

void TQuorSettings::setForwardState(bool on)
{
    optForward = on;
    fillOptionsPage();
    boxFwdAll->setChecked(optForward);
    frameOptFWD->hide();
    writeOptions();
}

void TQuorSettings::setForward(bool on, const QString &number, const QString &family)
{
    optForward = on;
    fwdNumber = number;
    if (family == fwdFamilyAll) {
        optFwdAll = true;
        optFwdBusy = optFwdNoAnswer = false;
        currentFwdFamily = fwdFamilyAll;
    } else if (family == fwdFamilyBusy) {
        optFwdBusy = true;
        optFwdAll = optFwdNoAnswer = false;
        currentFwdFamily = fwdFamilyBusy;
    } else if (family == fwdFamilyNoAnswer) {
        optFwdNoAnswer = true;
        optFwdAll = optFwdBusy = false;
        currentFwdFamily = fwdFamilyNoAnswer;
    }
    fillOptionsPage();
    boxFwdAll->setChecked(optForward);
    editFwdNum->setText(fwdNumber);
    Box_all->setChecked(optFwdAll);
    Box_busy->setChecked(optFwdBusy);
    Box_noans->setChecked(optFwdNoAnswer);
    frameOptFWD->hide();
    writeOptions();
}

void TQuorSettings::setDNDState(bool on)
{
    optDnd = on;
    fillOptionsPage();
    boxDND->setChecked(optDnd);
    frameOptDND->hide();
    writeOptions();
}

void TQuorSettings::applyForward()
{
    if (optDnd) {
        showError(QStringLiteral("fwdSetError"));
        return;
    }
    if (fwdNumber.isEmpty()) {
        showError(QStringLiteral("fwdValidateError"));
        return;
    }
    fillOptionsPage();
    optForward = !optForward;
    boxFwdAll->setChecked(optForward);
    frameOptFWD->hide();
    writeOptions();
    emit setAsteriskFWD();
}

void TQuorSettings::applyDND()
{
    if (optForward) {
        showError(QStringLiteral("dndSetError"));
        return;
    }
    fillOptionsPage();
    optDnd = !optDnd;
    boxDND->setChecked(optDnd);
    frameOptDND->hide();
    writeOptions();
    emit setAsteriskDND();
}

QString TQuorSettings::managerServerFromPhone() const
{
    return userServer.isEmpty() ? QStringLiteral("127.0.0.1") : userServer;
}
