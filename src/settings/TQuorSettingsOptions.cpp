// The options page with its do-not-disturb, forward and voicemail sub-forms,
// the forward-type rule and the error boxes.

#include "settings/TQuorSettings.h"

#include <QMessageBox>

namespace {

TQuorSettings::ErrorBoxHandler &errorBoxHandler()
{
    static TQuorSettings::ErrorBoxHandler handler;
    return handler;
}

// The number a first start stores: it names no one to forward to.
const QString kUntouchedForwardNumber = QStringLiteral("forward number here");

} // namespace

void TQuorSettings::fillOptionsPage()
{
    boxAgent->hide();
    for (QWidget *w : std::initializer_list<QWidget *> { boxBusy, boxSysTray, label_fw_opt, label_fw_family, Box_all,
             Box_busy, Box_noans, editFWDfam_1, editFWDfam_2, editFWDfam_3, boxFWDvm, label_db_family, editDNDfamily,
             label_to_callopt, label_to_call, editDNDNumber, label_prefix, editVmSendPreffix })
        w->show();

    // A box that changes runs its slot, which may change the model: copy first.
    const SettingsStore::Options o = store.options();
    boxOnTop->setChecked(o.onTop);
    boxDND->setChecked(o.dnd);
    boxVM->setChecked(o.vm);
    boxFwdAll->setChecked(o.forward);

    editFwdNum->setText(o.fwdNumber);
    editVmNumber->setText(o.vmNumber);
    editVmUserName->setText(o.vmUser);
    editVmPassword->setText(o.vmPassword);
    editDNDfamily->setText(o.dndFamily);
    editDNDNumber->setText(o.dndNumber);
    editVmSendPreffix->setText(o.vmPrefix);
    parkEdit->setText(o.parkingLot);

    boxBusy->setChecked(o.busy);
    boxSysTray->setChecked(o.trayIcon);
    Box_all->setChecked(o.fwdAll);
    Box_busy->setChecked(o.fwdBusy);
    Box_noans->setChecked(o.fwdNoAnswer);
    boxFWDvm->setChecked(o.forwardVm);

    editFWDfam_1->setText(o.fwdFamilyAll);
    editFWDfam_2->setText(o.fwdFamilyBusy);
    editFWDfam_3->setText(o.fwdFamilyNoAnswer);

    if (!optionsPageWired) {
        optionsPageWired = true;
        for (QCheckBox *box : { Box_all, Box_busy, Box_noans })
            connect(box, &QCheckBox::stateChanged, this, &TQuorSettings::checkFWDCond);
    }
}

void TQuorSettings::showError(const QString &key)
{
    QString title;
    QString text;
    if (key == QLatin1String("dndSetError")) {
        title = tr("Do Not Disturb");
        text = tr("Call forward is selected, \nDisable Call forward before enabling DND");
    } else if (key == QLatin1String("fwdSetError")) {
        title = tr("Call Forward");
        text = tr("DND is selected, \nDisable DND before enabling Call forward");
    } else if (key == QLatin1String("fwdValidateError")) {
        title = tr("Call Forward");
        text = tr("No forward Number entered,\n please fill the number in the forward settings");
    }
    if (errorBoxHandler()) {
        errorBoxHandler()(title, text);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, this);
    box.setDefaultButton(QMessageBox::Ok);
    box.setWindowOpacity(0.9);
    box.exec();
}

void TQuorSettings::setErrorBoxHandler(ErrorBoxHandler handler)
{
    errorBoxHandler() = std::move(handler);
}


bool TQuorSettings::isForwardNumberEmpty(const QString &number)
{
    return number.isEmpty() || number == kUntouchedForwardNumber;
}

bool TQuorSettings::optionsPageOpen() const
{
    return pageId == PageOptions || pageId == PageDndForm || pageId == PageFwdForm;
}

// A fill from outside while another page is open must neither move the page id
// nor pop a sub-form over that page.
void TQuorSettings::setDNDform(int state)
{
    if (!optionsPageOpen())
        return;
    pageId = PageDndForm;
    if (state == Qt::Checked)
        showSubForm(frameOptDND);
    else if (state == Qt::Unchecked)
        frameOptDND->hide();
}

void TQuorSettings::setFWDform(int state)
{
    if (!optionsPageOpen())
        return;
    pageId = PageFwdForm;
    if (state == Qt::Checked)
        showSubForm(frameOptFWD);
    else if (state == Qt::Unchecked)
        frameOptFWD->hide();
}

void TQuorSettings::setVMform(int state)
{
    if (!optionsPageOpen())
        return;
    if (state == Qt::Checked)
        showSubForm(frameOptVM);
    else if (state == Qt::Unchecked)
        frameOptVM->hide();
}

void TQuorSettings::checkFWDCond(int state)
{
    const QObject *box = sender();
    if (!box)
        return;
    SettingsStore::Options &o = store.options();
    const QString name = box->objectName();
    if (state == Qt::Checked) {
        const bool all = name == QLatin1String("Box_all");
        const bool busy = name == QLatin1String("Box_busy");
        const bool noAnswer = name == QLatin1String("Box_noans");
        if (all || busy || noAnswer) {
            o.fwdAll = all;
            o.fwdBusy = busy;
            o.fwdNoAnswer = noAnswer;
            // The stored family, not one being typed.
            store.setCurrentFwdFamily(all ? o.fwdFamilyAll : busy ? o.fwdFamilyBusy : o.fwdFamilyNoAnswer);
        }
    }
    // Unchecking the chosen type checks it again: one type is always chosen.
    const bool all = o.fwdAll;
    const bool busy = o.fwdBusy;
    const bool noAnswer = o.fwdNoAnswer;
    Box_all->setChecked(all);
    Box_busy->setChecked(busy);
    Box_noans->setChecked(noAnswer);
}

// Apply on the DND or forward sub-form stores the page as typed. Each of the two
// flags that it changes meets the checks of its own toggle and is announced
// after the write, the one switched off first, so that the PBX never holds both.
bool TQuorSettings::applyFlagForm(bool dndForm)
{
    const SettingsStore::Options &o = store.options();
    const bool dnd = boxDND->isChecked();
    const bool forward = boxFwdAll->isChecked();
    const bool dndChanges = dnd != o.dnd;
    const bool fwdChanges = forward != o.forward;
    if (dnd && forward && (dndChanges || fwdChanges)) {
        // Of two flags switched on, the sub-form's own is refused.
        const bool dndRefused = dndChanges && (dndForm || !fwdChanges);
        showError(dndRefused ? QStringLiteral("dndSetError") : QStringLiteral("fwdSetError"));
        return false;
    }
    if (forward && isForwardNumberEmpty(editFwdNum->text())) {
        showError(QStringLiteral("fwdValidateError"));
        return false;
    }
    writeOptions();
    const bool dndFirst = dndChanges && !dnd;
    if (dndFirst)
        emit setAsteriskDND();
    if (fwdChanges)
        emit setAsteriskFWD();
    if (dndChanges && !dndFirst)
        emit setAsteriskDND();
    return true;
}
