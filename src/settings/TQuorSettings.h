#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>

#include "core/QuorTypes.h"
#include "ui_QuorAbout.h"
#include "ui_QuorActions.h"
#include "ui_QuorAgentLogin.h"
#include "ui_QuorOptDND.h"
#include "ui_QuorOptFWD.h"
#include "ui_QuorOptSpeex.h"
#include "ui_QuorOptVM.h"
#include "ui_QuorSettingsAdmin.h"
#include "ui_QuorSettingsAudioOpt.h"
#include "ui_QuorSettingsBase.h"
#include "ui_QuorSettingsCodecs.h"
#include "ui_QuorSettingsFilters.h"
#include "ui_QuorSettingsManager.h"
#include "ui_QuorSettingsPhone.h"
#include "ui_QuorSettingsPhoneOptions.h"
#include "ui_QuorSettingsSelect.h"

class QComboBox;
class QFont;
class QKeyEvent;
class QLabel;
class QListWidgetItem;
class QPalette;
class TQuorLdapSettings;
class XmlReader;

// The page ids on which Apply and Back act.
enum TQuorSettingsPage {
    PageMenu = 1,
    PageUser = 2,
    PageOptions = 3,
    PageAudio = 4,
    PageCodecs = 5,
    PageFilters = 6,
    PageManager = 7,
    PageContactList = 8,
    PageContactForm = 9,
    PageActions = 10,
    PageAdmin = 12,
    PageAgent = 13,
    PageDndForm = 14,
    PageFwdForm = 15,
    PageAbout = 16
};

// The one settings object of the process: the configuration model of
// "quorer.xml" and the privacy data file, and the settings panel that edits it.
// Getters hand out copies through their pointer arguments; every section that is
// written announces itself with its change signal.
class TQuorSettings : public QWidget,
                      public Ui::QuorSettingsBase,
                      public Ui::QuorSettingsSelect,
                      public Ui::QuorSettingsPhoneOptions,
                      public Ui::QuorSettingsPhone,
                      public Ui::QuorSettingsAudioOpt,
                      public Ui::QuorSettingsFilters,
                      public Ui::QuorSettingsCodecs,
                      public Ui::QuorAbout,
                      public Ui::QuorOptFWD,
                      public Ui::QuorOptVM,
                      public Ui::QuorOptSpeex,
                      public Ui::QuorAgentLogin,
                      public Ui::QuorSettingsManager,
                      public Ui::QuorSettingsAdmin,
                      public Ui::QuorOptDND,
                      public Ui::QuorActions
{
    Q_OBJECT

public:
    // One device of the sound system as the phone reports it.
    struct AudioDeviceEntry
    {
        int capabilities = 0; // 1 input, 2 output, 4 ring
        QString name;
        int id = -1;
    };

    // Replaces the modal error box (tests): receives the box's title and text.
    using ErrorBoxHandler = std::function<void(const QString &title, const QString &text)>;

    TQuorSettings();
    ~TQuorSettings() override;

    // --- model: loading and files ---
    void loadAll();
    void createConfigFile();
    static QString scramblePassword(const QString &password);
    static QString unscramblePassword(const QString &scrambled);
    // The device table that readAudioDevices lists; set by the phone before loadAll.
    void setAudioDeviceTable(const QList<AudioDeviceEntry> &devices);

    // --- model: getters ---
    void getUserName(QString *out);
    void getUserSettings(
        QString *server, quint16 *port, QString *user, QString *password, QString *cidName, QString *cidNumber) const;
    void getManagerSettings(
        QString *host, quint16 *port, QString *user, QString *secret, bool *privacy, bool *useFreePbx) const;
    void getUseFreePBX(bool *out) const;
    void getTrayIcon(bool *out) const;
    void getAgentLogin(QString *user, QString *agentIdOut, QString *penalty) const;
    void getPhoneOptions(bool *busy, bool *onTop, bool *dnd, QString *dndFamilyOut, QString *dndCode, bool *forward,
        QString *forwardNumber, QString *forwardFamily, bool *voiceMail, bool *forwardToVm, bool *agentLogin) const;
    void getFwdFamilies(QString *all, QString *busy, QString *noAnswer) const;
    void getVoiceMail(QString *number, QString *user, QString *password) const;
    QString getVmPrefix() const;
    QString getParkingLot() const;
    void getAudioDevices(int *input, int *output, int *ring, bool *ringBoth, bool *mute) const;
    void getFilters(int *mask) const;
    void getCodecs(int *allowed, int *preferred) const;
    void getSpeexSettings(int *decodeEnhance, float *quality, int *cbr, int *vbr, int *abr, int *complexity) const;
    void getActions(bool *actInOut, bool *actCrmOut, bool *actOutOut, bool *actA1Out, QString *appInOut,
        QString *scrInOut, QString *crmUrlOut, QString *appOutOut, QString *scrOutOut) const;
    bool isPrivacyOn() const { return privacy; }

    // --- model: toggles and setters ---
    void toggleOnTop();
    void toggleTrayIcon();
    void toggleBusy();
    void setForwardState(bool on);
    void setForward(bool on, const QString &number, const QString &family);
    void setDNDState(bool on);
    void applyForward();
    void applyDND();

    // --- dialog: operations for the phone and the main window ---
    void showMenu();
    void hideStatusStrip();
    QLabel *messageLabel() const;
    void setCaption(const QString &text);
    void setCaptionLook(const QFont &font, const QPalette &palette);
    void hideMailIcon();
    void repaintFrame();
    void setVersion(const QString &version);
    void showOnlyPage(QWidget *page);
    void showSubForm(QWidget *form);
    void hideOptionSubForms();
    int currentPage() const { return pageId; }
    bool isLocked() const { return locked; }

    // --- agent login page: what the phone opens and the main window sets ---
    void showAgentPage();
    void fillAgentPage();
    void setAgentButton(bool loggedIn, const QString &toolTip, const QString &label);
    void setAgentButtonLabelLook(const QFont &font, const QPalette &palette);

    // --- page operations the model uses ---
    void fillUserPage();
    void fillManagerPage();
    void fillOptionsPage();
    void fillCodecsPage();
    void setManagerServerReadOnly(bool readOnly);
    void addAudioDevice(int capabilities, const QString &name, int deviceId);
    int audioDeviceCount(int list) const;
    QString audioDeviceName(int list, int index) const;
    int audioDeviceId(int list, int index) const;
    int findAudioDevice(int list, const QString &name) const;
    void setCurrentAudioDevice(int list, int index);
    int currentAudioDevice(int list) const;
    void getAudioPageOptions(bool *ringBoth, bool *mute) const;
    void setFilterBoxes(int mask);
    int filterBoxesMask() const;
    void showError(const QString &key);

    static void setErrorBoxHandler(ErrorBoxHandler handler);

    // The user's privacy data file (always written there) and the shipped default.
    static QString privacyDataPath();
    static QString shippedPrivacyDataPath();
    // The manager password a first start stores.
    static QString builtInManagerPassword();

signals:
    void signalUserSettingsChanged();
    void signalAudioDevSettingsChanged();
    void signalFiltersSettingsChanged();
    void signalAudioCodecsSettingsChanged();
    void signalAudioSpeexSettingsChanged();
    void signalPhoneOptionsChanged();
    void signalShowMessage(QString text, TMessageType type);
    void setAsteriskDND();
    void setAsteriskFWD();
    void signalActionsChanged();
    void signalPrivacySettingsChanged(bool on);
    void signalAgentSettingsChanged();
    void signalAgentLogin();
    void signalAgentPause();
    void queueSelected(QString queue);
    void signalManagerSettingsChanged();

public slots:
    void settingsBack();
    void slotAgentLogin();
    void select();
    void settingsApply();
    void slotSpeexEnhanced(int state);
    void setFWDform(int state);
    void setVMform(int state);
    void setFileName();
    void slotModeChanged(int mode);
    void setDNDform(int state);
    void checkFWDCond(int state);
    void slotMan2PhoneIP(int state);
    void queueSelected();
    void queueListSelected(const QString &text);
    void queueListSelected(QListWidgetItem *item);
    void slotAgentPause();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void connectNotify(const QMetaMethod &signal) override;

private:
    // readers, in loadAll order
    void readUser();
    void readOptions();
    void readAudioDevices();
    void readFilters();
    void readCodecs();
    void readSpeex();
    void readManager();
    void readActions();
    void readPrivacyData();
    void readAgentLogin();

    // writers
    void writeUser();
    void writeManager();
    void writeOptions();
    void writeAudioDevices();
    void writeFilters();
    void writeCodecs();
    void writeSpeex();
    void writeActions();
    void writeAgentLogin();
    void writePrivacyData();

    // page fills that belong to the other pages
    void fillAudioPage();
    void fillFiltersPage();
    void fillSpeexPage();
    void fillActionsPage();

    // lock
    void setLocked(bool lock);
    void setAdminControlsEnabled(bool unlocked);
    void fillAdminPage();
    void applyAdmin();
    void wireControls();

    // The text under key in section; a missing key is added with fallback.
    QString readValue(const QString &section, const QString &key, const QString &fallback);
    bool readFlag(const QString &section, const QString &key, bool fallback);
    void writeValue(const QString &section, const QString &key, const QString &value);
    void writeFlag(const QString &section, const QString &key, bool value);
    void saveConfig();
    QString managerServerFromPhone() const;

    void showMessage(const QString &text, TMessageType type);
    void deliverPendingMessages();
    QComboBox *audioList(int list) const;
    void commonBackEnding();
    // Builds the contact-settings page (the LDAP server list) into the dialog.
    void hostContactPage();

    // dialog
    int pageId = PageMenu;
    QList<QWidget *> pageList;
    QList<QWidget *> subFormList;
    TQuorLdapSettings *ldapSettings = nullptr;
    XmlReader *xmlReader = nullptr;
    bool locked = true;
    bool controlsWired = false;
    bool optionsPageWired = false;
    bool configChanged = false;
    QList<QPair<QString, TMessageType>> pendingMessages;
    QList<AudioDeviceEntry> audioDeviceTable;

    // PBX user account, section "agent"
    QString userServer;
    QString userPort;
    QString userName;
    QString userPassword;
    QString userCidName;
    QString userCidNum;

    // manager login, section "manager"
    bool usePhoneIp = true;
    QString managerServer;
    QString managerPort;
    QString managerUser;
    QString managerPassword;
    bool useFreePbx = false;

    // options
    bool optBusy = false;
    bool optDnd = false;
    bool optVm = false;
    bool optAgent = false;
    bool optOnTop = false;
    bool optForward = false;
    bool optForwardVm = false;
    bool optFwdAll = true;
    bool optFwdBusy = false;
    bool optFwdNoAnswer = false;
    bool optTrayIcon = true;
    QString dndFamily;
    QString dndNumber;
    QString fwdNumber;
    QString fwdFamilyAll;
    QString fwdFamilyBusy;
    QString fwdFamilyNoAnswer;
    QString vmNumber;
    QString vmUser;
    QString vmPassword;
    QString vmPrefix;
    QString parkingLot;
    QString currentFwdFamily;

    // audio and filters
    int audioInput = -1;
    int audioOutput = -1;
    int audioRing = -1;
    bool ringInBoth = false;
    bool muteRing = false;
    int filterMask = 0;

    // codecs and Speex
    int allowedCodecs = 0;
    QString preferredCodec;
    bool speexCustom = false;
    bool speexDecodeEnhance = true;
    float speexQuality = -1.0f;
    int speexCbr = -1;
    bool speexVbr = false;
    int speexAbr = 8000;
    int speexComplexity = 3;

    // actions
    bool actIn = false;
    bool actCrm = false;
    bool actOut = false;
    bool actA1 = false;
    QString appIn;
    QString scrIn;
    QString crmUrl;
    QString appOut;
    QString scrOut;

    // agent login
    QString agentId;
    QString agentPenalty;

    // privacy data file
    QString adminPassword;
    bool privacy = false;
    // carried over from the file that was read
    quint16 privacyFormat = 1;
    quint16 privacyKey = 0x5a3c;
};
