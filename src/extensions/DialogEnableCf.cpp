#include "extensions/DialogEnableCf.h"

#include "ami/AmiAction.h"
#include "extensions/ForwardTypes.h"
#include "extensions/QuorAgent.h"
#include "extensions/RefusalBox.h"
#include "extensions/StyleSheetResource.h"

DialogEnableCf::DialogEnableCf(QuorAgent *agent)
    : QDialog(nullptr)
{
    setAttribute(Qt::WA_DeleteOnClose);
    applyStyleSheetResource(this, QStringLiteral(":/ui/css/dialog.css"));
    setupUi(this);
    connect(buttonBox, &QDialogButtonBox::accepted, this, &DialogEnableCf::enableFWD);
    connect(buttonBox, &QDialogButtonBox::rejected, this, &DialogEnableCf::closeDialog);
    this->agent = agent;
    fwdTypes = ForwardTypes::names();
    comboFwdFamily->insertItems(0, fwdTypes);
    comboFwdFamily->setCurrentIndex(0);
}

void DialogEnableCf::setUser(const QString &user, const QString &fwdFamily, const QString &fwdNumber)
{
    this->user = user;
    this->fwdFamily = fwdFamily;
    this->fwdNumber = fwdNumber;
    loadFwdFamilies();
    labelWarning->setText(tr("Enable Forwarding for user ") + QStringLiteral("<b>") + user.toHtmlEscaped()
        + QStringLiteral("</b><br>") + tr("Please fill the Forwarding type <br>and the Destination Number."));
}

void DialogEnableCf::loadFwdFamilies()
{
    fwdFamilies = agent ? agent->fwdFamilies : QStringList();
    connect(comboFwdFamily, &QComboBox::activated, this, &DialogEnableCf::setFwdFamily, Qt::UniqueConnection);
    fwdType = comboFwdFamily->currentText();
    fwdFamily = ForwardTypes::familyOf(fwdType, fwdFamilies, fwdFamily);
}

void DialogEnableCf::setFwdFamily(int index)
{
    fwdType = comboFwdFamily->itemText(index);
    fwdFamily = ForwardTypes::familyOf(fwdType, fwdFamilies, fwdFamily);
}

void DialogEnableCf::enableFWD()
{
    if (!agent || m_removal.pending())
        return;
    fwdNumber = Edit_fwd->text();
    if (AmiAction::value(fwdNumber).isEmpty()) {
        {
            SafeRemoval::LoopScope scope(m_removal);
            RefusalBox::show(this, tr("Call Forwarding"), tr("Call Forwarding:\nPlease fill the Destination Number."));
        }
        if (agent && !m_removal.pending())
            agent->updateActions();
        return;
    }
    agent->sendCommand(AmiAction::databasePut(fwdFamily, user, fwdNumber));
    agent->sendCommand(AmiAction::userEvent(fwdFamily, user));
    accept();
}

void DialogEnableCf::closeDialog()
{
    reject();
}

void DialogEnableCf::reject()
{
    if (m_removal.pending())
        return;
    // The Forward action, checked by the click that opened the dialog, shows
    // the tile's real state again.
    if (agent)
        agent->updateActions();
    QDialog::reject();
}

void DialogEnableCf::tileRemoved()
{
    agent = nullptr;
    m_removal.remove();
}
