#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The privacy data file ("quorer.dat"): the administrator password of the
// settings lock and the privacy flag. 38 bytes, little-endian:
//   0  u16  format (1 in new files)
//   2  u16  key
//   4  32   password, Latin-1, NUL-terminated, zero-filled
//   36 u8   privacy flag
//   37 u8   reserved, 0
// Bytes 4 to 37 are scrambled with a stream derived from the key. This keeps the
// password out of plain sight; it is not encryption.
struct PrivacyData
{
    quint16 format = 1;
    quint16 key = 0x5a3c;
    QString password;
    bool privacy = false;
};

class PrivacyDataFile
{
public:
    static constexpr int kSize = 38;
    static constexpr int kPasswordFieldSize = 32;
    static constexpr int kMaxPasswordLength = kPasswordFieldSize - 1;

    // Whether the password can be stored without change: Latin-1 only, no NUL,
    // at most kMaxPasswordLength characters.
    static bool fitsPasswordField(const QString &password);

    // Nothing when the bytes are too short or the password field has no NUL.
    static std::optional<PrivacyData> decode(const QByteArray &bytes);
    // The password must fit the field (fitsPasswordField); anything beyond is cut.
    static QByteArray encode(const PrivacyData &data);

    // Nothing when the file cannot be opened or does not decode; the reason goes
    // to errorText when given.
    static std::optional<PrivacyData> read(const QString &path, QString *errorText = nullptr);
    // Writes atomically with mode 0600; false (and the reason) when it fails, the
    // old file then untouched.
    static bool write(const QString &path, const PrivacyData &data, QString *errorText = nullptr);
};
