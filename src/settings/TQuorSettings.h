#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <vector>

#include "core/QuorTypes.h"
#include "iax2/media/AudioDevice.h"
#include "settings/SettingsStore.h"
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
    // Replaces the modal error box (tests): receives the box's title and text.
    using ErrorBoxHandler = std::function<void(const QString &title, const QString &text)>;
    // Replaces the modal open-file dialog (tests): the chosen path, empty when cancelled.
    using FileChooser = std::function<QString(
        QWidget *parent, const QString &caption, const QString &start, const QString &filter)>;

    TQuorSettings();
    ~TQuorSettings() override;

    // --- model: loading and files ---
    void loadAll();
    void createConfigFile();
    static QString scramblePassword(const QString &password);
    static QString unscramblePassword(const QString &scrambled);
    // The device table that readAudioDevices lists; set by the phone before loadAll.
    void setAudioDeviceTable(const std::vector<iax2::AudioDeviceInfo> &devices);

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
    bool isPrivacyOn() const { return store.privacy(); }

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
    // Refills the queue choice, keeping the current queue when it is still listed
    // (else an empty entry on top is current); each change reaches queueSelected().
    void setQueues(const QStringList &names);
    void setPauseButton(bool paused, const QString &toolTip);
    // Entries of the member list: "<member name> <interface> <queue>".
    void addAgentEntry(const QString &entry);
    // A row outside the list does nothing.
    void removeAgentEntry(int row);

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
    static void setFileChooser(FileChooser chooser);

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

private slots:
    void slotMan2PhoneIP(int state);

public slots:
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

    // Apply on the DND or forward sub-form; false when refused (the sub-form stays).
    bool applyFlagForm(bool dndForm);
    bool optionsPageOpen() const;
    // The untouched default forward number counts as none.
    static bool isForwardNumberEmpty(const QString &number);

    // lock
    void setLocked(bool lock);
    void setAdminControlsEnabled(bool unlocked);
    void fillAdminPage();
    void applyAdmin();
    void wireControls();

    void saveConfig();

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
    bool locked = true;
    bool controlsWired = false;
    bool optionsPageWired = false;
    QList<QPair<QString, TMessageType>> pendingMessages;
    std::vector<iax2::AudioDeviceInfo> audioDeviceTable;

    // the values of the configuration and their files
    SettingsStore store;
};
