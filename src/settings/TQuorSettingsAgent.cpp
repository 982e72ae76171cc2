// The agent login page: the page saves the agent id and penalty and asks the
// main window, by signals, to log in, out or pause; the main window fills it
// through the operations below.

#include "settings/TQuorSettings.h"

#include <QListWidgetItem>
#include <QPixmap>

void TQuorSettings::showAgentPage()
{
    fillAgentPage();
    pageId = PageAgent;
    frameSelect->hide();
    if (framePhoneOptions->isVisible())
        framePhoneOptions->hide();
    showSubForm(frameAgent);
    frameAgent->setFocus();
}

void TQuorSettings::fillAgentPage()
{
    textAgent->setText(store.agentId());
    EditPenalty->setText(store.agentPenalty());
}

void TQuorSettings::writeAgentLogin()
{
    store.writeAgentLogin(textAgent->text(), EditPenalty->text());
    saveConfig();
    emit signalAgentSettingsChanged();
}

void TQuorSettings::slotAgentLogin()
{
    // The main window holds the new id and penalty before it acts on the login.
    writeAgentLogin();
    emit signalAgentLogin();
}

void TQuorSettings::slotAgentPause()
{
    emit signalAgentPause();
}

void TQuorSettings::queueSelected()
{
    // Unsaved edits give way to the stored id and penalty.
    fillAgentPage();
    emit queueSelected(comboQueues->currentText());
}

void TQuorSettings::queueListSelected(const QString &text)
{
    if (text.isEmpty())
        return;
    // "<member name> <interface> <queue>"; the member name may be empty.
    const QStringList words = text.split(QLatin1Char(' '));
    if (words.size() < 3)
        return;
    emit queueSelected(words.at(2));
}

void TQuorSettings::queueListSelected(QListWidgetItem *item)
{
    if (item)
        queueListSelected(item->text());
}

void TQuorSettings::setQueues(const QStringList &names)
{
    const QString current = comboQueues->currentText();
    comboQueues->clear();
    comboQueues->addItems(names);
    int index = comboQueues->findText(current, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0) {
        comboQueues->insertItem(0, QString());
        index = 0;
    }
    comboQueues->setCurrentIndex(index);
}

void TQuorSettings::setAgentButton(bool loggedIn, const QString &toolTip, const QString &label)
{
    buttonAgent->setToolTip(toolTip);
    labelButtonAgent->setText(label);
    bg_btn_aLogin->setPixmap(QPixmap(loggedIn ? QStringLiteral(":/ui/images/bg_agent_red.png")
                                              : QStringLiteral(":/ui/images/bg_agent_green.png")));
}

void TQuorSettings::setPauseButton(bool paused, const QString &toolTip)
{
    buttonPause->setToolTip(toolTip);
    bg_btn_aPause->setPixmap(QPixmap(paused ? QStringLiteral(":/ui/images/bg_unpause.png")
                                            : QStringLiteral(":/ui/images/bg_pause.png")));
}

void TQuorSettings::setAgentButtonLabelLook(const QFont &font, const QPalette &palette)
{
    labelButtonAgent->setFont(font);
    labelButtonAgent->setPalette(palette);
}

void TQuorSettings::addAgentEntry(const QString &entry)
{
    tableAgents->addItem(entry);
}

void TQuorSettings::removeAgentEntry(int row)
{
    if (row >= 0 && row < tableAgents->count())
        delete tableAgents->takeItem(row);
}
