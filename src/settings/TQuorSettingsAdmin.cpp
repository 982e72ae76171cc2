// The administrator lock of the settings panel.

#include "settings/TQuorSettings.h"

#include <QPixmap>

#include "settings/PrivacyDataFile.h"

void TQuorSettings::setLocked(bool lock)
{
    labelCaption->setText(tr("Select settings"));
    buttonContact->hide();
    for (QPushButton *b : { buttonUser, buttonOptions, buttonContact, buttonActions, buttonManager, buttonFilters,
             buttonCodecs, buttonAudioOpt })
        b->setEnabled(!lock);
    if (lock)
        buttonAdmin->setEnabled(true);
    buttonApply->hide();
    buttonBack->hide();
    labelConnectionManager->hide();
    labelMail->hide();
    setAdminControlsEnabled(false);

    // Wired once: every later lock or unlock must not add a second connection.
    if (!controlsWired) {
        controlsWired = true;
        wireControls();
    }
}

void TQuorSettings::wireControls()
{
    for (QPushButton *b : { buttonUser, buttonOptions, buttonContact, buttonActions, buttonManager, buttonFilters,
             buttonCodecs, buttonAudioOpt, buttonAdmin, buttonAbout })
        connect(b, &QPushButton::released, this, &TQuorSettings::select);
    connect(buttonApply, &QPushButton::released, this, &TQuorSettings::settingsApply);
    connect(buttonBack, &QPushButton::released, this, &TQuorSettings::settingsBack);
    connect(boxSpeexSettings, &QCheckBox::stateChanged, this, &TQuorSettings::slotSpeexEnhanced);
    connect(boxUsePhoneIP, &QCheckBox::stateChanged, this, &TQuorSettings::slotMan2PhoneIP);
    for (QPushButton *b : { ins_in_app, ins_in_file, ins_out_app, ins_out_file })
        connect(b, &QPushButton::clicked, this, &TQuorSettings::setFileName);
    connect(boxDND, &QCheckBox::stateChanged, this, &TQuorSettings::setDNDform);
    connect(comboQueues, &QComboBox::currentIndexChanged, this, qOverload<>(&TQuorSettings::queueSelected));
    connect(tableAgents, &QListWidget::currentTextChanged, this,
        qOverload<const QString &>(&TQuorSettings::queueListSelected));
    connect(tableAgents, &QListWidget::itemActivated, this,
        qOverload<QListWidgetItem *>(&TQuorSettings::queueListSelected));
    connect(buttonAgent, &QPushButton::pressed, this, &TQuorSettings::slotAgentLogin);
    connect(buttonPause, &QPushButton::pressed, this, &TQuorSettings::slotAgentPause);
    connect(boxVM, &QCheckBox::stateChanged, this, &TQuorSettings::setVMform);
    connect(boxFwdAll, &QCheckBox::stateChanged, this, &TQuorSettings::setFWDform);
}

void TQuorSettings::setAdminControlsEnabled(bool unlocked)
{
    boxPrivacy->setEnabled(unlocked);
    boxChangePasswd->setEnabled(unlocked);
    editLockNewPasswd1->setEnabled(unlocked);
    editLockNewPasswd2->setEnabled(unlocked);
    boxLockSettings->setEnabled(unlocked);
    editLockPassword->setEnabled(!unlocked);
    fillAdminPage();
}

void TQuorSettings::fillAdminPage()
{
    editLockNewPasswd1->setText(QString());
    editLockNewPasswd2->setText(QString());
    editLockPassword->setText(QString());
    boxLockSettings->setChecked(false);
}

void TQuorSettings::applyAdmin()
{
    if (locked) {
        if (editLockPassword->text() == store.adminPassword()) {
            locked = false;
            buttonAdmin->setText(tr("Lock Settings"));
            label_status_L->setPixmap(QPixmap(QStringLiteral(":/ui/images/Unlocked.png")));
            boxLockSettings->setIcon(QIcon(QStringLiteral(":/ui/images/unlock.png")));
            setLocked(false);
            setAdminControlsEnabled(true);
            showMessage(tr("Settings unlocked"), MessageStatus);
        } else {
            showMessage(tr("Wrong password"), MessageError);
        }
        return;
    }

    if (boxChangePasswd->isChecked()) {
        const QString newPassword = editLockNewPasswd1->text();
        if (newPassword != editLockNewPasswd2->text()) {
            showMessage(tr("Passwords doesn't match"), MessageError);
            return;
        }
        // A password the file cannot hold as typed would lock the administrator
        // out after the next start.
        if (newPassword.isEmpty() || !PrivacyDataFile::fitsPasswordField(newPassword)) {
            showMessage(tr("Wrong new password"), MessageError);
            return;
        }
        store.setAdminPassword(newPassword);
        showMessage(tr("Password changed"), MessageStatus);
        boxChangePasswd->setChecked(false);
        editLockNewPasswd1->setText(QString());
        editLockNewPasswd2->setText(QString());
        writePrivacyData();
    }
    if (boxLockSettings->isChecked()) {
        showMessage(tr("Settings Locked"), MessageError);
        label_status_L->setPixmap(QPixmap(QStringLiteral(":/ui/images/Locked.png")));
        boxLockSettings->setIcon(QIcon(QStringLiteral(":/ui/images/lock.png")));
        buttonAdmin->setText(tr("Unlock Settings"));
        setLocked(true);
        setAdminControlsEnabled(false);
        locked = true;
    }
}
