#include "settings/PrivacyDataFile.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

namespace {

constexpr int kScrambledFrom = 4;

// The same key always gives the same stream, so applying it twice restores the bytes.
void applyKeyStream(QByteArray &bytes, quint16 key)
{
    quint32 state = (quint32(key) << 16 | key) ^ 0x9e3779b9u;
    for (int i = kScrambledFrom; i < PrivacyDataFile::kSize && i < bytes.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        bytes[i] = char(quint8(bytes[i]) ^ quint8(state >> 24));
    }
}

} // namespace

bool PrivacyDataFile::fitsPasswordField(const QString &password)
{
    if (password.size() > kMaxPasswordLength)
        return false;
    for (const QChar c : password) {
        if (c.unicode() == 0 || c.unicode() > 0xff)
            return false;
    }
    return true;
}

std::optional<PrivacyData> PrivacyDataFile::decode(const QByteArray &input)
{
    if (input.size() < kSize)
        return std::nullopt;
    QByteArray bytes = input.left(kSize);
    PrivacyData data;
    data.format = qFromLittleEndian<quint16>(bytes.constData());
    data.key = qFromLittleEndian<quint16>(bytes.constData() + 2);
    applyKeyStream(bytes, data.key);

    const QByteArray field = bytes.mid(kScrambledFrom, kPasswordFieldSize);
    const int end = field.indexOf('\0');
    if (end < 0)
        return std::nullopt;
    data.password = QString::fromLatin1(field.left(end));
    data.privacy = bytes.at(kScrambledFrom + kPasswordFieldSize) != 0;
    return data;
}

QByteArray PrivacyDataFile::encode(const PrivacyData &data)
{
    QByteArray bytes(kSize, '\0');
    qToLittleEndian<quint16>(data.format, bytes.data());
    qToLittleEndian<quint16>(data.key, bytes.data() + 2);
    const QByteArray password = data.password.toLatin1().left(kMaxPasswordLength);
    for (int i = 0; i < password.size() && password.at(i) != '\0'; ++i)
        bytes[kScrambledFrom + i] = password.at(i);
    bytes[kScrambledFrom + kPasswordFieldSize] = data.privacy ? 1 : 0;
    applyKeyStream(bytes, data.key);
    return bytes;
}

std::optional<PrivacyData> PrivacyDataFile::read(const QString &path, QString *errorText)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (errorText)
            *errorText = file.errorString();
        return std::nullopt;
    }
    // Only the first record matters; a larger file is not read whole.
    const auto data = decode(file.read(kSize));
    if (!data && errorText)
        *errorText = QStringLiteral("not a privacy data file");
    return data;
}

bool PrivacyDataFile::write(const QString &path, const PrivacyData &data, QString *errorText)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray bytes = encode(data);
    if (file.write(bytes) != bytes.size() || !file.commit()) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    return true;
}
