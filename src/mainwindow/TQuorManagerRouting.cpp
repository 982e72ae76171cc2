// The main window's event slots: each hands its message to the router, which
// the socket feeds directly; they stay for whoever routes a message by hand.

#include "mainwindow/TQuorManager.h"

#include <utility>

void TQuorManager::PeerEntry(QStringList message)
{
    m_router->PeerEntry(std::move(message));
}

void TQuorManager::PeerStatus(QStringList message)
{
    m_router->PeerStatus(std::move(message));
}

void TQuorManager::ExtensionStatus(QStringList message)
{
    m_router->ExtensionStatus(std::move(message));
}

void TQuorManager::UserEvent(QStringList message)
{
    m_router->UserEvent(std::move(message));
}

void TQuorManager::Link(QStringList message)
{
    m_router->Link(std::move(message));
}

void TQuorManager::Unlink(QStringList message)
{
    m_router->Unlink(std::move(message));
}

void TQuorManager::PeerResponse(QStringList message)
{
    m_router->PeerResponse(std::move(message));
}

void TQuorManager::Hangup(QStringList message)
{
    m_router->Hangup(std::move(message));
}

void TQuorManager::Rename(QStringList message)
{
    m_router->Rename(std::move(message));
}

void TQuorManager::Newcallerid(QStringList message)
{
    m_router->Newcallerid(std::move(message));
}

void TQuorManager::Join(QStringList message)
{
    m_router->Join(std::move(message));
}

void TQuorManager::Leave(QStringList message)
{
    m_router->Leave(std::move(message));
}

void TQuorManager::MailBoxStatus(QStringList message)
{
    m_router->MailBoxStatus(std::move(message));
}

void TQuorManager::MailBoxCount(QStringList message)
{
    m_router->MailBoxCount(std::move(message));
}

void TQuorManager::GetVariable(QStringList message)
{
    m_router->GetVariable(std::move(message));
}

void TQuorManager::Dial(QStringList message)
{
    m_router->Dial(std::move(message));
}

void TQuorManager::Status(QStringList message)
{
    m_router->Status(std::move(message));
}

void TQuorManager::Newstate(QStringList message)
{
    m_router->Newstate(std::move(message));
}

void TQuorManager::Newchannel(QStringList message)
{
    m_router->Newchannel(std::move(message));
}

void TQuorManager::Newexten(QStringList message)
{
    m_router->Newexten(std::move(message));
}

void TQuorManager::Hold(QStringList message)
{
    m_router->Hold(std::move(message));
}

void TQuorManager::Unhold(QStringList message)
{
    m_router->Unhold(std::move(message));
}

void TQuorManager::ZapDND(QStringList message)
{
    m_router->ZapDND(std::move(message));
}

void TQuorManager::ParkedCall(QStringList message)
{
    m_router->ParkedCall(std::move(message));
}

void TQuorManager::UnParkedCall(QStringList message)
{
    m_router->UnParkedCall(std::move(message));
}

void TQuorManager::ParkedCallGiveUp(QStringList message)
{
    m_router->ParkedCallGiveUp(std::move(message));
}

void TQuorManager::Cdr(QStringList message)
{
    m_router->Cdr(std::move(message));
}

void TQuorManager::DBFilter(QStringList message)
{
    m_router->DBFilter(std::move(message));
}

void TQuorManager::keyFilter(QStringList message)
{
    m_router->keyFilter(std::move(message));
}

void TQuorManager::peersCount(QStringList message, QString tech)
{
    m_router->peersCount(std::move(message), std::move(tech));
}
