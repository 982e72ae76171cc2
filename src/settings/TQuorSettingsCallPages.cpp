// The pages of what a call uses: audio devices, filters, codecs with the Speex
// sub-form, and the call actions; their fills, the operations the model uses
// and their writers.

#include "settings/TQuorSettings.h"

#include <QFileDialog>

namespace {

TQuorSettings::FileChooser &fileChooser()
{
    static TQuorSettings::FileChooser chooser;
    return chooser;
}

} // namespace

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
    const int allowedCodecs = store.allowedCodecs();
    const QString preferredCodec = store.preferredCodec();
    boxGSM->setChecked(allowedCodecs & SettingsStore::kCodecGsm);
    boxULAW->setChecked(allowedCodecs & SettingsStore::kCodecUlaw);
    boxALAW->setChecked(allowedCodecs & SettingsStore::kCodecAlaw);
    boxSPEEX->setChecked(allowedCodecs & SettingsStore::kCodecSpeex);
    boxILBC->setChecked(allowedCodecs & SettingsStore::kCodecIlbc);

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
    } lists[] = { { 1, store.audio().input }, { 2, store.audio().output }, { 4, store.audio().ring } };
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
    boxRingInBothDevs->setChecked(store.audio().ringInBoth);
    boxMuteRingDev->setChecked(store.audio().muteRing);
    for (QWidget *w :
        std::initializer_list<QWidget *> { label_RingingDevice_2, editRingTone, pushButton, label_RingType, comboBox })
        w->hide();
}

void TQuorSettings::fillFiltersPage()
{
    setFilterBoxes(store.filterMask());
    for (QWidget *w : std::initializer_list<QWidget *> { label_Dtmf, comboBox_dtmf, label_jitter, editJittersize })
        w->hide();
}

void TQuorSettings::fillActionsPage()
{
    const SettingsStore::Actions &a = store.actions();
    act_in->setChecked(a.actIn);
    act_crm->setChecked(a.actCrm);
    act_out->setChecked(a.actOut);
    lauch_p_url->setChecked(a.actA1);
    launchApp->setText(a.appIn);
    launchArg->setText(a.scrIn);
    launchCRM->setText(a.crmUrl);
    launchApp_2->setText(a.appOut);
    launchArg_2->setText(a.scrOut);
}


void TQuorSettings::setFileName()
{
    const QObject *button = sender();
    if (!button)
        return;
    const QString name = button->objectName();
    QLineEdit *target = nullptr;
    if (name == QLatin1String("ins_in_app"))
        target = launchApp;
    else if (name == QLatin1String("ins_in_file"))
        target = launchArg;
    else if (name == QLatin1String("ins_out_app"))
        target = launchApp_2;
    else if (name == QLatin1String("ins_out_file"))
        target = launchArg_2;
    else
        return;

    const QString caption = tr("QFileDialog::getOpenFileName()");
    const QString filter = tr("All Files (*);;Text Files (*.txt)");
    const QString chosen = fileChooser() ? fileChooser()(this, caption, target->text(), filter)
                                         : QFileDialog::getOpenFileName(this, caption, target->text(), filter);
    if (!chosen.isEmpty())
        target->setText(chosen);
}

void TQuorSettings::setFileChooser(FileChooser chooser)
{
    fileChooser() = std::move(chooser);
}

// ---------------------------------------------------------------- Speex sub-form

void TQuorSettings::fillSpeexPage()
{
    const SettingsStore::Speex &s = store.speex();
    boxSpeexSettings->setChecked(!s.speexCustom);
    boxSpeexEnhanced->setChecked(s.speexDecodeEnhance);
    if (s.speexCustom)
        showSubForm(frameOptSpeex);
    editSpeexQuality->setText(QString::number(double(s.speexQuality), 'g', 6));
    editSpeexCbr->setText(QString::number(s.speexCbr == -1 ? -1 : s.speexCbr / 1000));
    boxSpeexVbr->setChecked(s.speexVbr);
    editSpeexAbr->setText(QString::number(s.speexAbr / 1000));
    editSpeexComplexity->setText(QString::number(s.speexComplexity));
}

void TQuorSettings::slotSpeexEnhanced(int state)
{
    if (state == Qt::Unchecked) {
        showSubForm(frameOptSpeex);
        boxSpeexEnhanced->setEnabled(true);
    } else if (state == Qt::Checked) {
        frameOptSpeex->hide();
        boxSpeexEnhanced->setEnabled(false);
    }
}

// ---------------------------------------------------------------- writers

void TQuorSettings::writeAudioDevices()
{
    auto choice = [this](int list) {
        const int index = currentAudioDevice(list);
        return SettingsStore::AudioChoice { audioDeviceId(list, index), audioDeviceName(list, index) };
    };
    bool ringBoth = false;
    bool mute = false;
    getAudioPageOptions(&ringBoth, &mute);
    store.writeAudioDevices(choice(1), choice(2), choice(4), ringBoth, mute);
    saveConfig();
    emit signalAudioDevSettingsChanged();
}

void TQuorSettings::writeFilters()
{
    store.writeFilters(filterBoxesMask());
    saveConfig();
    emit signalFiltersSettingsChanged();
}

void TQuorSettings::writeCodecs()
{
    int allowed = 0;
    const struct
    {
        QCheckBox *use;
        QRadioButton *primary;
        int bit;
        const char *name;
    } codecs[] = { { boxGSM, radioGSM, SettingsStore::kCodecGsm, "gsm" },
        { boxULAW, radioULAW, SettingsStore::kCodecUlaw, "ulaw" },
        { boxALAW, radioALAW, SettingsStore::kCodecAlaw, "alaw" },
        { boxSPEEX, radioSPEEX, SettingsStore::kCodecSpeex, "speex" },
        { boxILBC, radioILBC, SettingsStore::kCodecIlbc, "ilbc" } };
    QString preferred = store.preferredCodec();
    for (const auto &c : codecs) {
        if (c.use->isChecked())
            allowed |= c.bit;
    }
    // With no button checked the preferred codec stays as it was.
    for (const auto &c : codecs) {
        if (c.primary->isChecked())
            preferred = QLatin1String(c.name);
    }
    store.writeCodecs(allowed, preferred);
    saveConfig();
    emit signalAudioCodecsSettingsChanged();
}

void TQuorSettings::writeSpeex()
{
    // Each number is corrected in its edit; the rates are typed in kbit/s.
    SettingsStore::Speex s;
    s.speexCustom = !boxSpeexSettings->isChecked();
    // Read even while the box is disabled: the value waits for the day it counts.
    s.speexDecodeEnhance = boxSpeexEnhanced->isChecked();
    s.speexQuality = SettingsStore::speexQualityOf(editSpeexQuality->text());
    editSpeexQuality->setText(QString::number(double(s.speexQuality), 'g', 6));
    const int cbr = SettingsStore::speexRateOf(editSpeexCbr->text(), -1);
    editSpeexCbr->setText(QString::number(cbr));
    s.speexCbr = cbr > 0 ? cbr * 1000 : cbr;
    s.speexVbr = boxSpeexVbr->isChecked();
    const int abr = SettingsStore::speexRateOf(editSpeexAbr->text(), 0);
    editSpeexAbr->setText(QString::number(abr));
    s.speexAbr = abr * 1000;
    s.speexComplexity = SettingsStore::speexComplexityOf(editSpeexComplexity->text());
    editSpeexComplexity->setText(QString::number(s.speexComplexity));
    store.writeSpeex(s);
    saveConfig();
    emit signalAudioSpeexSettingsChanged();
}

void TQuorSettings::writeActions()
{
    store.writeActions({ act_in->isChecked(), act_crm->isChecked(), act_out->isChecked(), lauch_p_url->isChecked(),
        launchApp->text(), launchArg->text(), launchCRM->text(), launchApp_2->text(), launchArg_2->text() });
    saveConfig();
    emit signalActionsChanged();
}
