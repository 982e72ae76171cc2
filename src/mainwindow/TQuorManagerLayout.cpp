// The window layout file and the ways out of the program.

#include "mainwindow/TQuorManager.h"

#include <QCloseEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSystemTrayIcon>

#include "extensions/TQuorGroupsEdit.h"
#include "mainwindow/BoxRunner.h"
#include "mainwindow/LayoutFile.h"
#include "softphone/TQuorPhone.h"

void TQuorManager::showErrorBox(const QString &text)
{
    QMessageBox box(QMessageBox::Warning, tr("Error"), text, QMessageBox::Ok, this);
    BoxRunner::run(&box);
}

void TQuorManager::saveLayout()
{
    QString error;
    const LayoutFile::WriteResult result = LayoutFile::write(m_layoutFile, { saveGeometry(), saveState(0) }, &error);
    if (result == LayoutFile::WriteResult::OpenFailed)
        showErrorBox(tr("Failed to open %1\n%2").arg(m_layoutFile, error));
    else if (result == LayoutFile::WriteResult::WriteFailed)
        showErrorBox(tr("Error writing to %1\n%2").arg(m_layoutFile, error));
}

void TQuorManager::loadLayout()
{
    LayoutFile::Blocks blocks;
    const LayoutFile::ReadResult result = LayoutFile::read(m_layoutFile, &blocks);
    if (result == LayoutFile::ReadResult::Missing)
        return;
    const bool restored = result == LayoutFile::ReadResult::Ok && restoreGeometry(blocks.geometry)
        && restoreState(blocks.state, 0);
    if (!restored)
        showErrorBox(tr("Error reading %1").arg(m_layoutFile));
}

void TQuorManager::quit()
{
    // The phone's quit routine waits for the PBX in an event loop, where a
    // second signal or close could start it over.
    if (m_quitting)
        return;
    m_quitting = true;
    saveLayout();
    // The process ends inside beforeQuit, so aboutToQuit never comes: the
    // groups are saved here.
    m_groupsEdit->save();
    m_phone->beforeQuit();
}

void TQuorManager::slotQuit()
{
    quit();
}

void TQuorManager::closeEvent(QCloseEvent *event)
{
    // The window closes only by ending the program; nothing is handed back.
    event->ignore();
    quit();
}

void TQuorManager::slotBeforeQuit()
{
    m_groupsEdit->save();
    if (m_trayIconFlag) {
        delete m_tray;
        delete m_trayMenu;
        m_tray = nullptr;
        m_trayMenu = nullptr;
        m_trayCreated = false;
    }
}
