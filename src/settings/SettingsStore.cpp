#include "settings/SettingsStore.h"

#include <QFile>
#include <QStringDecoder>

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "core/Logger.h"
#include "core/Paths.h"
#include "core/XmlReader.h"
#include "iax2/media/AudioDevice.h"
#include "settings/PrivacyDataFile.h"
#include "settings/SettingsKeys.h"

namespace {

struct BitKey
{
    const SettingsKey &key;
    int bit;
};

// In the order the readers and writers take them.
const BitKey kFilterKeys[] = {
    { kFilterDenoise, 1 },
    { kFilterAgc, 2 },
    { kFilterEcho, 4 },
    { kFilterAagc, 8 },
    { kFilterCn, 16 },
};

const BitKey kCodecKeys[] = {
    { kCodecGsmKey, SettingsStore::kCodecGsm },
    { kCodecUlawKey, SettingsStore::kCodecUlaw },
    { kCodecAlawKey, SettingsStore::kCodecAlaw },
    { kCodecSpeexKey, SettingsStore::kCodecSpeex },
    { kCodecIlbcKey, SettingsStore::kCodecIlbc },
};

const QString kYes = QStringLiteral("yes");
const QString kNo = QStringLiteral("no");

// No typed password can match it: the password edits take at most 31 characters.
const QString kFallbackAdminPassword = QStringLiteral("#locked:no-privacy-data-file-1f7c2a9");

// Obfuscation only; keeps passwords out of plain sight in the file.
const QByteArray kScrambleKey = QByteArrayLiteral("Qs7!vR2#kP9@wL4$");
// Starts the scrambled form written now; no hex text starts with it.
const QChar kScrambleMark = u'~';

QString flagText(bool on)
{
    return on ? kYes : kNo;
}

QString name(const SettingsKey &key)
{
    return QLatin1String(key.key);
}

QString section(const SettingsKey &key)
{
    return QLatin1String(key.section);
}

QByteArray xorWithKey(QByteArray bytes)
{
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = char(bytes.at(i) ^ kScrambleKey.at(i % kScrambleKey.size()));
    return bytes;
}

// Closes every scrambled value, so that hex text typed by hand is seldom taken
// for one.
char checkByte(const QByteArray &bytes)
{
    quint8 sum = quint8(0xa5 ^ bytes.size());
    for (const char c : bytes)
        sum = quint8((sum << 1 | sum >> 7) ^ quint8(c));
    return char(sum);
}

bool isLowerHex(QStringView text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f')))
            return false;
    }
    return true;
}

bool isPrintable(const QString &text)
{
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

// The password that lower-case hex of even length unscrambles to, checked by
// its closing check byte when it has one; nothing unless it is printable UTF-8.
std::optional<QString> unscrambled(QStringView hex, bool withCheckByte)
{
    if (hex.isEmpty() || hex.size() % 2 != 0 || !isLowerHex(hex))
        return std::nullopt;
    QByteArray bytes = xorWithKey(QByteArray::fromHex(hex.toLatin1()));
    if (withCheckByte) {
        const char check = bytes.back();
        bytes.chop(1);
        if (bytes.isEmpty() || check != checkByte(bytes))
            return std::nullopt;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString plain = utf8.decode(bytes);
    if (utf8.hasError() || !isPrintable(plain))
        return std::nullopt;
    return plain;
}

// The Speex numbers as the file keeps them (rates in bit/s); out of range or
// unreadable values give way to the nearest bound or the default.
SettingsStore::Speex parseSpeex(const QString &useDefaults, const QString &enhance, const QString &quality,
    const QString &cbr, const QString &vbr, const QString &abr, const QString &complexity)
{
    SettingsStore::Speex s;
    s.speexCustom = useDefaults != kYes;
    s.speexDecodeEnhance = enhance == kYes;
    s.speexQuality = SettingsStore::speexQualityOf(quality);
    bool ok = false;
    const int c = cbr.toInt(&ok);
    s.speexCbr = ok && c >= -1 ? c : -1;
    s.speexVbr = vbr == kYes;
    const int a = abr.toInt(&ok);
    s.speexAbr = ok && a >= 0 ? a : 0;
    s.speexComplexity = SettingsStore::speexComplexityOf(complexity);
    return s;
}

QString fallbackOf(const SettingsKey &key)
{
    return QLatin1String(key.fallback);
}

} // namespace

SettingsStore::SettingsStore(const QString &fileName)
    : m_xml(std::make_unique<XmlReader>(fileName))
{
}

SettingsStore::~SettingsStore() = default;

// ---------------------------------------------------------------- file

QString SettingsStore::fileName() const
{
    return m_xml->fileName();
}

bool SettingsStore::movedAside() const
{
    return m_xml->movedAside();
}

QString SettingsStore::movedAsidePath() const
{
    return m_xml->movedAsidePath();
}

bool SettingsStore::createRoot()
{
    if (QFile::exists(m_xml->fileName()))
        return false;
    m_xml->createRoot(QStringLiteral("quorer"));
    return true;
}

bool SettingsStore::save()
{
    if (!m_xml->save())
        return false;
    // Holds scrambled passwords: readable by the owner only.
    QFile::setPermissions(m_xml->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

bool SettingsStore::finishLoad()
{
    const bool added = std::exchange(m_keysAdded, false);
    if (added || !QFile::exists(m_xml->fileName()))
        return save();
    QFile::setPermissions(m_xml->fileName(), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

QString SettingsStore::text(const SettingsKey &key)
{
    return text(key, fallbackOf(key));
}

QString SettingsStore::text(const SettingsKey &key, const QString &fallback)
{
    const QString value = m_xml->getValue(name(key), section(key));
    if (value != XmlReader::notFound())
        return value;
    m_xml->addValue(name(key), fallback, section(key));
    m_keysAdded = true;
    return fallback;
}

bool SettingsStore::flag(const SettingsKey &key)
{
    return text(key) == kYes;
}

void SettingsStore::setText(const SettingsKey &key, const QString &value)
{
    // A key a reader has not added yet is added here, so no value is lost.
    if (m_xml->getValue(name(key), section(key)) == XmlReader::notFound())
        m_xml->addValue(name(key), value, section(key));
    else
        m_xml->setValue(name(key), value, section(key));
}

void SettingsStore::setFlag(const SettingsKey &key, bool on)
{
    setText(key, flagText(on));
}

QString SettingsStore::password(const SettingsKey &key, const QString &fallback)
{
    const QString stored = text(key, scramblePassword(fallback));
    const QString plain = unscramblePassword(stored);
    // An earlier form, or a password typed by hand, goes out in the current form
    // with the next save.
    const QString current = scramblePassword(plain);
    if (current != stored)
        setText(key, current);
    return plain;
}

// ---------------------------------------------------------------- readers

void SettingsStore::readUser()
{
    m_user.server = text(kUserServer);
    if (m_manager.usePhoneIp)
        m_manager.server = managerServerFromPhone();
    m_user.port = text(kUserPort);
    m_user.userName = text(kUserName);
    m_user.password = password(kUserPassword, fallbackOf(kUserPassword));
    m_user.cidName = text(kUserCidName);
    m_user.cidNum = text(kUserCidNum);
}

void SettingsStore::readOptions()
{
    Options &o = m_options;
    o.trayIcon = flag(kOptTrayIcon);
    o.onTop = flag(kOptOnTop);
    o.busy = flag(kOptBusy);
    o.dnd = flag(kOptDnd);
    o.forward = flag(kOptForward);
    o.vm = flag(kOptVm);
    o.agent = flag(kOptAgent);
    o.parkingLot = text(kOptParkingLot);
    o.dndFamily = text(kOptDndFamily);
    o.dndNumber = text(kOptDndNumber);
    o.fwdNumber = text(kOptFwdNumber);
    o.forwardVm = flag(kOptForwardVm);
    o.fwdAll = flag(kOptFwdAll);
    o.fwdBusy = flag(kOptFwdBusy);
    o.fwdNoAnswer = flag(kOptFwdNoAnswer);
    o.fwdFamilyAll = text(kOptFwdFamilyAll);
    o.fwdFamilyBusy = text(kOptFwdFamilyBusy);
    o.fwdFamilyNoAnswer = text(kOptFwdFamilyNoAnswer);
    o.vmNumber = text(kOptVmNumber);
    o.vmUser = text(kOptVmUser);
    o.vmPassword = password(kOptVmPassword, fallbackOf(kOptVmPassword));
    o.vmPrefix = text(kOptVmPrefix);

    if (o.fwdAll)
        m_currentFwdFamily = o.fwdFamilyAll;
    else if (o.fwdBusy)
        m_currentFwdFamily = o.fwdFamilyBusy;
    else if (o.fwdNoAnswer)
        m_currentFwdFamily = o.fwdFamilyNoAnswer;
}

const SettingsKey *SettingsStore::audioKey(int list)
{
    switch (list) {
    case iax2::AudioInput:
        return &kAudioInput;
    case iax2::AudioOutput:
        return &kAudioOutput;
    case iax2::AudioRing:
        return &kAudioRing;
    default:
        return nullptr;
    }
}

QString SettingsStore::readAudioDeviceName(int list, const QString &firstName)
{
    const SettingsKey *key = audioKey(list);
    if (!key)
        return firstName;
    const QString stored = text(*key, firstName);
    return stored.isEmpty() ? firstName : stored;
}

void SettingsStore::setAudioDeviceId(int list, int id)
{
    switch (list) {
    case iax2::AudioInput:
        m_audio.input = id;
        break;
    case iax2::AudioOutput:
        m_audio.output = id;
        break;
    case iax2::AudioRing:
        m_audio.ring = id;
        break;
    default:
        break;
    }
}

void SettingsStore::readAudioFlags()
{
    m_audio.ringInBoth = flag(kAudioRingInBoth);
    m_audio.muteRing = flag(kAudioMuteRing);
}

void SettingsStore::readFilters()
{
    m_filterMask = 0;
    for (const BitKey &f : kFilterKeys) {
        if (flag(f.key))
            m_filterMask |= f.bit;
    }
}

void SettingsStore::readCodecs()
{
    m_allowedCodecs = 0;
    for (const BitKey &c : kCodecKeys) {
        if (flag(c.key))
            m_allowedCodecs |= c.bit;
    }
    m_preferredCodec = text(kCodecDefault);
    if (codecBit(m_preferredCodec) == 0) {
        Logger::warning(QStringLiteral("Settings: unknown preferred codec \"%1\"; using %2")
                            .arg(Logger::escaped(m_preferredCodec), fallbackOf(kCodecDefault)));
        m_preferredCodec = fallbackOf(kCodecDefault);
        setText(kCodecDefault, m_preferredCodec);
        m_keysAdded = true;
    }
}

void SettingsStore::readSpeex()
{
    // One key at a time: a missing key is added to the file as it is read, so
    // the order of the reads is the order of the keys in the file.
    const QString useDefaults = text(kSpeexDefault);
    const QString enhance = text(kSpeexEnhance);
    const QString quality = text(kSpeexQuality);
    const QString cbr = text(kSpeexCbr);
    const QString vbr = text(kSpeexVbr);
    const QString abr = text(kSpeexAbr);
    const QString complexity = text(kSpeexComplexity);
    m_speex = parseSpeex(useDefaults, enhance, quality, cbr, vbr, abr, complexity);
}

void SettingsStore::readManager()
{
    m_manager.usePhoneIp = flag(kManagerUsePhoneIp);
    // While the manager follows the phone the section keeps no server of its own.
    m_manager.server = m_manager.usePhoneIp ? managerServerFromPhone() : text(kManagerServer);
    m_manager.port = text(kManagerPort);
    m_manager.user = text(kManagerUser);
    m_manager.password = password(kManagerPassword, builtInManagerPassword());
    m_manager.useFreePbx = flag(kManagerFreePbx);
}

void SettingsStore::readActions()
{
    Actions &a = m_actions;
    a.actIn = flag(kActIn);
    a.actCrm = flag(kActCrm);
    a.actOut = flag(kActOut);
    a.actA1 = flag(kActA1);
    a.appIn = text(kActAppIn);
    a.scrIn = text(kActScrIn);
    a.crmUrl = text(kActCrmUrl);
    a.appOut = text(kActAppOut);
    a.scrOut = text(kActScrOut);
}

bool SettingsStore::readPrivacyData(QString *errorText)
{
    // The user's own copy, once a password change has written it; else the shipped one.
    QString path = privacyDataPath();
    if (!QFile::exists(path))
        path = shippedPrivacyDataPath();

    QString reason;
    const auto data = PrivacyDataFile::read(path, &reason);
    if (!data) {
        Logger::error(QStringLiteral("Settings: privacy data file %1: %2").arg(path, reason));
        m_adminPassword = kFallbackAdminPassword;
        m_privacy = false;
        if (errorText)
            *errorText = reason;
        return false;
    }
    m_adminPassword = data->password;
    m_privacy = data->privacy;
    m_privacyFormat = data->format;
    m_privacyKey = data->key;
    return true;
}

void SettingsStore::readAgentLogin()
{
    m_agentId = text(kAgentId, m_user.userName);
    m_agentPenalty = text(kAgentPenalty);
}

// ---------------------------------------------------------------- writers

void SettingsStore::writeUser(const User &values)
{
    m_user = values;
    setText(kUserServer, m_user.server);
    if (m_manager.usePhoneIp)
        m_manager.server = managerServerFromPhone();
    setText(kUserPort, m_user.port);
    setText(kUserName, m_user.userName);
    setText(kUserPassword, scramblePassword(m_user.password));
    setText(kUserCidName, m_user.cidName);
    setText(kUserCidNum, m_user.cidNum);
}

void SettingsStore::writeManager(const Manager &values)
{
    const bool useFreePbx = m_manager.useFreePbx;
    m_manager = values;
    m_manager.useFreePbx = useFreePbx;
    setFlag(kManagerUsePhoneIp, m_manager.usePhoneIp);
    if (m_manager.usePhoneIp) {
        // The stored server is left for the day the box is unchecked again.
        m_manager.server = managerServerFromPhone();
    } else {
        setText(kManagerServer, m_manager.server);
    }
    setText(kManagerPort, m_manager.port);
    setText(kManagerUser, m_manager.user);
    setText(kManagerPassword, scramblePassword(m_manager.password));
}

void SettingsStore::writeUseFreePbx(bool on)
{
    m_manager.useFreePbx = on;
    setFlag(kManagerFreePbx, on);
}

void SettingsStore::writeOptions(const Options &values)
{
    m_options = values;
    const Options &o = m_options;
    setFlag(kOptOnTop, o.onTop);
    setFlag(kOptDnd, o.dnd);
    setFlag(kOptForward, o.forward);
    setText(kOptFwdNumber, o.fwdNumber);
    setFlag(kOptBusy, o.busy);
    setFlag(kOptTrayIcon, o.trayIcon);
    setText(kOptDndFamily, o.dndFamily);
    setText(kOptDndNumber, o.dndNumber);
    setFlag(kOptForwardVm, o.forwardVm);
    setText(kOptFwdFamilyAll, o.fwdFamilyAll);
    setText(kOptFwdFamilyBusy, o.fwdFamilyBusy);
    setText(kOptFwdFamilyNoAnswer, o.fwdFamilyNoAnswer);
    setFlag(kOptFwdAll, o.fwdAll);
    setFlag(kOptFwdBusy, o.fwdBusy);
    setFlag(kOptFwdNoAnswer, o.fwdNoAnswer);
    setText(kOptVmPrefix, o.vmPrefix);
    setText(kOptParkingLot, o.parkingLot);
    setFlag(kOptAgent, o.agent);
    setFlag(kOptVm, o.vm);
    setText(kOptVmNumber, o.vmNumber);
    setText(kOptVmUser, o.vmUser);
    setText(kOptVmPassword, scramblePassword(o.vmPassword));
}

void SettingsStore::writeAudioDevices(
    const AudioChoice &input, const AudioChoice &output, const AudioChoice &ring, bool ringInBoth, bool muteRing)
{
    m_audio.input = input.id;
    setText(kAudioInput, input.name);
    m_audio.output = output.id;
    setText(kAudioOutput, output.name);
    m_audio.ring = ring.id;
    setText(kAudioRing, ring.name);
    m_audio.ringInBoth = ringInBoth;
    setFlag(kAudioRingInBoth, ringInBoth);
    m_audio.muteRing = muteRing;
    setFlag(kAudioMuteRing, muteRing);
}

void SettingsStore::writeFilters(int mask)
{
    m_filterMask = 0;
    for (const BitKey &f : kFilterKeys) {
        const bool on = mask & f.bit;
        if (on)
            m_filterMask |= f.bit;
        setFlag(f.key, on);
    }
}

void SettingsStore::writeCodecs(int allowed, const QString &preferred)
{
    m_allowedCodecs = 0;
    for (const BitKey &c : kCodecKeys) {
        const bool on = allowed & c.bit;
        if (on)
            m_allowedCodecs |= c.bit;
        setFlag(c.key, on);
    }
    m_preferredCodec = preferred;
    setText(kCodecDefault, m_preferredCodec);
}

void SettingsStore::writeSpeex(const Speex &values)
{
    m_speex = values;
    setFlag(kSpeexDefault, !m_speex.speexCustom);
    setFlag(kSpeexEnhance, m_speex.speexDecodeEnhance);
    setText(kSpeexQuality, QString::number(double(m_speex.speexQuality), 'g', 6));
    setText(kSpeexCbr, QString::number(m_speex.speexCbr));
    setFlag(kSpeexVbr, m_speex.speexVbr);
    setText(kSpeexAbr, QString::number(m_speex.speexAbr));
    setText(kSpeexComplexity, QString::number(m_speex.speexComplexity));
}

void SettingsStore::writeActions(const Actions &values)
{
    m_actions = values;
    Actions &a = m_actions;
    setFlag(kActIn, a.actIn);
    setFlag(kActCrm, a.actCrm);
    setFlag(kActOut, a.actOut);
    setFlag(kActA1, a.actA1);
    // An action stays on only with its paths (or its address) given.
    const struct
    {
        const SettingsKey &key;
        const QString &value;
        const SettingsKey &flagKey;
        bool &flag;
    } paths[] = { { kActAppIn, a.appIn, kActIn, a.actIn }, { kActScrIn, a.scrIn, kActIn, a.actIn },
        { kActCrmUrl, a.crmUrl, kActCrm, a.actCrm }, { kActAppOut, a.appOut, kActOut, a.actOut },
        { kActScrOut, a.scrOut, kActOut, a.actOut } };
    for (const auto &p : paths) {
        setText(p.key, p.value);
        if (p.value.isEmpty()) {
            setFlag(p.flagKey, false);
            p.flag = false;
        }
    }
}

void SettingsStore::writeAgentLogin(const QString &id, const QString &penalty)
{
    m_agentId = id;
    setText(kAgentId, id);
    m_agentPenalty = penalty;
    setText(kAgentPenalty, penalty);
}

bool SettingsStore::writePrivacyData(QString *errorText)
{
    PrivacyData data;
    data.format = m_privacyFormat;
    data.key = m_privacyKey;
    data.password = m_adminPassword;
    data.privacy = m_privacy;
    // Always the data directory's copy: the shipped one may not be writable.
    QString reason;
    if (!PrivacyDataFile::write(privacyDataPath(), data, &reason)) {
        Logger::error(QStringLiteral("Settings: could not write %1: %2").arg(privacyDataPath(), reason));
        if (errorText)
            *errorText = reason;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------- values

int SettingsStore::codecBit(const QString &codec)
{
    for (const BitKey &c : kCodecKeys) {
        if (codec == name(c.key))
            return c.bit;
    }
    return 0;
}

SettingsStore::Speex SettingsStore::speexDefaults()
{
    return parseSpeex(fallbackOf(kSpeexDefault), fallbackOf(kSpeexEnhance), fallbackOf(kSpeexQuality),
        fallbackOf(kSpeexCbr), fallbackOf(kSpeexVbr), fallbackOf(kSpeexAbr), fallbackOf(kSpeexComplexity));
}

float SettingsStore::speexQualityOf(const QString &text)
{
    bool ok = false;
    const float q = text.toFloat(&ok);
    return !ok || std::isnan(q) ? -1.0f : std::clamp(q, -1.0f, 9.0f);
}

int SettingsStore::speexRateOf(const QString &text, int floor)
{
    bool ok = false;
    const int rate = text.toInt(&ok);
    return !ok || rate < floor ? floor : std::min(rate, kMaxSpeexRate);
}

int SettingsStore::speexComplexityOf(const QString &text)
{
    bool ok = false;
    const int complexity = text.toInt(&ok);
    return ok ? std::clamp(complexity, 0, 9) : 3;
}

quint16 SettingsStore::userPort() const
{
    return parsePort(m_user.port, quint16(fallbackOf(kUserPort).toUInt()));
}

quint16 SettingsStore::managerPort() const
{
    return parsePort(m_manager.port, quint16(fallbackOf(kManagerPort).toUInt()));
}

quint16 SettingsStore::parsePort(const QString &text, quint16 fallback)
{
    bool ok = false;
    const uint value = text.trimmed().toUInt(&ok);
    if (!ok || value == 0 || value > 65535) {
        Logger::warning(QStringLiteral("Settings: port \"%1\" is not a port number; using %2")
                            .arg(Logger::escaped(text))
                            .arg(fallback));
        return fallback;
    }
    return quint16(value);
}

QString SettingsStore::managerServerFromPhone() const
{
    return m_user.server.isEmpty() ? fallbackOf(kManagerServer) : m_user.server;
}

QString SettingsStore::scramblePassword(const QString &password)
{
    if (password.isEmpty())
        return {};
    const QByteArray bytes = password.toUtf8();
    return kScrambleMark + QString::fromLatin1(xorWithKey(bytes + checkByte(bytes)).toHex());
}

// A stored password is read by the first rule that fits:
// - the mark, then hex of (password, check byte) XOR key: the form written now;
// - the same hex without the mark whose check byte fits: the last release's form;
// - other hex of even length that unscrambles to printable text: the form of the
//   release before, which had no check byte;
// - anything else was typed into the file by hand and is taken as it stands.
// Only lower-case hex counts, as no release wrote upper case. Hex typed by hand
// that unscrambles to printable text cannot be told from the release before's
// form and is read as that.
QString SettingsStore::unscramblePassword(const QString &scrambled)
{
    if (scrambled.isEmpty())
        return {};
    const bool marked = scrambled.startsWith(kScrambleMark);
    std::optional<QString> plain = unscrambled(QStringView(scrambled).mid(marked ? 1 : 0), true);
    if (!plain && !marked)
        plain = unscrambled(scrambled, false);
    if (plain)
        return *plain;
    Logger::warning(QStringLiteral("Settings: a stored password is not in scrambled form; taken as typed"));
    return scrambled;
}

QString SettingsStore::builtInManagerPassword()
{
    return fallbackOf(kManagerPassword);
}

QString SettingsStore::privacyDataPath()
{
    return Paths::dataFile(QStringLiteral("quorer.dat"));
}

QString SettingsStore::shippedPrivacyDataPath()
{
    return Paths::resourcesDir() + QLatin1String("quorer.dat");
}
