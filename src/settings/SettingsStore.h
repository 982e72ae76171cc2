#pragma once

#include <QString>

#include <memory>

class XmlReader;
struct SettingsKey;

// The configuration model without widgets: the values of "quorer.xml" and of the
// privacy data file, the keys with their defaults, and both files' input and
// output. TQuorSettings owns one and shows its values on the settings pages.
//
// The readers fill a section from the file and add every missing key with its
// default; the writers take a section's values, keep them and put them into the
// document. Nothing is saved until save(); passwords are plain text in memory
// and scrambled in the file.
class SettingsStore
{
public:
    // Section "agent": the PBX user account of the phone.
    struct User
    {
        QString server;
        QString port;
        QString userName;
        QString password;
        QString cidName;
        QString cidNum;
    };

    // Section "manager".
    struct Manager
    {
        bool usePhoneIp = true;
        QString server;
        QString port;
        QString user;
        QString password;
        bool useFreePbx = false;
    };

    // Section "options".
    struct Options
    {
        bool onTop = false;
        bool dnd = false;
        bool forward = false;
        QString fwdNumber;
        bool busy = false;
        bool trayIcon = true;
        QString dndFamily;
        QString dndNumber;
        bool forwardVm = false;
        QString fwdFamilyAll;
        QString fwdFamilyBusy;
        QString fwdFamilyNoAnswer;
        bool fwdAll = true;
        bool fwdBusy = false;
        bool fwdNoAnswer = false;
        QString vmPrefix;
        QString parkingLot;
        bool agent = false;
        bool vm = false;
        QString vmNumber;
        QString vmUser;
        QString vmPassword;
    };

    // Section "audio": the model keeps devices by id, the file by name.
    struct Audio
    {
        int input = -1;
        int output = -1;
        int ring = -1;
        bool ringInBoth = false;
        bool muteRing = false;
    };

    // What the audio writer stores for one list: the device's id and name.
    struct AudioChoice
    {
        int id = -1;
        QString name;
    };

    // Section "speex"; rates in bits per second.
    struct Speex
    {
        bool speexCustom = false;
        bool speexDecodeEnhance = true;
        float speexQuality = -1.0f;
        int speexCbr = -1;
        bool speexVbr = false;
        int speexAbr = 8000;
        int speexComplexity = 3;
    };

    // Section "actions".
    struct Actions
    {
        bool actIn = false;
        bool actCrm = false;
        bool actOut = false;
        bool actA1 = false;
        QString appIn;
        QString scrIn;
        QString crmUrl;
        QString appOut;
        QString scrOut;
    };

    // Codec bits of the IAX2 media formats, and the filter bits.
    static constexpr int kCodecGsm = 2;
    static constexpr int kCodecUlaw = 4;
    static constexpr int kCodecAlaw = 8;
    static constexpr int kCodecSpeex = 512;
    static constexpr int kCodecIlbc = 1024;

    explicit SettingsStore(const QString &fileName);
    ~SettingsStore();

    SettingsStore(const SettingsStore &) = delete;
    SettingsStore &operator=(const SettingsStore &) = delete;

    // --- the settings file ---
    QString fileName() const;
    // The constructor found a corrupt file and set it aside under this name.
    bool movedAside() const;
    QString movedAsidePath() const;
    // Gives a file that does not exist yet its document element; true when it did.
    bool createRoot();
    // Writes the file with mode 0600; false when it could not be written.
    bool save();
    // After the readers: saves when one of them added a key (or the file is new).
    bool finishLoad();

    // --- readers, in load order ---
    void readUser();
    void readOptions();
    // Section "audio", one device list (iax2::AudioInput, AudioOutput or
    // AudioRing) at a time: the device name the file keeps. A missing or empty
    // name reads as firstName, the name of the list's first device, and a
    // missing key is added with it.
    QString readAudioDeviceName(int list, const QString &firstName);
    // The id of the device the reader picked for a list by that name.
    void setAudioDeviceId(int list, int id);
    // The ring flags, read after the three lists.
    void readAudioFlags();
    void readFilters();
    void readCodecs();
    void readSpeex();
    void readManager();
    void readActions();
    // False (and the reason) when neither the user's nor the shipped file reads;
    // the lock then takes a password no one can type.
    bool readPrivacyData(QString *errorText);
    void readAgentLogin();

    // --- writers: keep the values and put them into the document ---
    void writeUser(const User &values);
    // The login of section "manager"; the FreePBX flag has its own writer,
    // since the dialog stores the privacy flag between the two.
    void writeManager(const Manager &values);
    void writeUseFreePbx(bool on);
    void writeOptions(const Options &values);
    void writeAudioDevices(const AudioChoice &input, const AudioChoice &output, const AudioChoice &ring,
        bool ringInBoth, bool muteRing);
    void writeFilters(int mask);
    void writeCodecs(int allowed, const QString &preferred);
    void writeSpeex(const Speex &values);
    void writeActions(const Actions &values);
    void writeAgentLogin(const QString &id, const QString &penalty);
    // Writes the user's privacy data file; false (and the reason) when it fails.
    bool writePrivacyData(QString *errorText);

    // --- values ---
    const User &user() const { return m_user; }
    const Manager &manager() const { return m_manager; }
    // The options are also changed one at a time by the dialog's toggles.
    Options &options() { return m_options; }
    const Options &options() const { return m_options; }
    // The family of the chosen forward type; a copy that only the reader and
    // the forward-type rule set.
    QString currentFwdFamily() const { return m_currentFwdFamily; }
    void setCurrentFwdFamily(const QString &family) { m_currentFwdFamily = family; }
    const Audio &audio() const { return m_audio; }
    int filterMask() const { return m_filterMask; }
    int allowedCodecs() const { return m_allowedCodecs; }
    QString preferredCodec() const { return m_preferredCodec; }
    // The format bit of a codec name; 0 when it is none of the five.
    static int codecBit(const QString &name);
    const Speex &speex() const { return m_speex; }
    // What the phone gets while the Speex defaults are in use.
    static Speex speexDefaults();
    // The Speex numbers as typed: a quality that does not parse (or is not a
    // number) is -1, else clamped to -1..9; a rate in kbit/s that does not parse
    // or lies below floor is floor, and at most what stays an int in bit/s; a
    // complexity that does not parse is 3, else clamped to 0..9.
    static float speexQualityOf(const QString &text);
    static int speexRateOf(const QString &text, int floor);
    static int speexComplexityOf(const QString &text);
    static constexpr int kMaxSpeexRate = 2147483;
    const Actions &actions() const { return m_actions; }
    QString agentId() const { return m_agentId; }
    QString agentPenalty() const { return m_agentPenalty; }
    QString adminPassword() const { return m_adminPassword; }
    void setAdminPassword(const QString &password) { m_adminPassword = password; }
    bool privacy() const { return m_privacy; }
    void setPrivacy(bool on) { m_privacy = on; }

    // The port numbers in use: the stored text, or the default port when the
    // text is not a port number.
    quint16 userPort() const;
    quint16 managerPort() const;
    static quint16 parsePort(const QString &text, quint16 fallback);

    // The manager's server while it follows the phone: the phone's server, or
    // the loopback address when that is empty.
    QString managerServerFromPhone() const;

    static QString scramblePassword(const QString &password);
    // Reads the form written now and both earlier ones; a value in none of
    // them was typed into the file by hand and is taken as it stands.
    static QString unscramblePassword(const QString &scrambled);

    static QString builtInManagerPassword();
    // The user's privacy data file (always written there) and the shipped one.
    static QString privacyDataPath();
    static QString shippedPrivacyDataPath();

private:
    QString text(const SettingsKey &key);
    QString text(const SettingsKey &key, const QString &fallback);
    bool flag(const SettingsKey &key);
    void setText(const SettingsKey &key, const QString &value);
    void setFlag(const SettingsKey &key, bool on);
    // The plain text of a stored password; one in another form than the
    // current is put back in the current form.
    QString password(const SettingsKey &key, const QString &fallback);
    // The key of a device list; null for another number.
    static const SettingsKey *audioKey(int list);

    std::unique_ptr<XmlReader> m_xml;
    bool m_keysAdded = false;

    User m_user;
    Manager m_manager;
    Options m_options;
    QString m_currentFwdFamily;
    Audio m_audio;
    int m_filterMask = 0;
    int m_allowedCodecs = 0;
    QString m_preferredCodec;
    Speex m_speex;
    Actions m_actions;
    QString m_agentId;
    QString m_agentPenalty;
    QString m_adminPassword;
    bool m_privacy = false;
    // Carried over from the privacy data file that was read.
    quint16 m_privacyFormat = 1;
    quint16 m_privacyKey = 0x5a3c;
};
