#include "extensions/QuorExtensions.h"

#include <QAction>
#include <QScrollArea>

#include "extensions/Channel.h"

QuorExtensions::QuorExtensions(TQuorPhone *phone, TQuorSettings *settings, TQuorGroupsEdit *groupsEdit)
    : settings(settings)
    , phone(phone)
    , groupsEdit(groupsEdit)
{
    setupUi(this);
    channels = new QList<Channel *>;
    scrollArea = new QScrollArea(this);
}

QuorExtensions::~QuorExtensions()
{
    qDeleteAll(*channels);
    delete channels;
}

void QuorExtensions::setPrivacy(bool)
{
}

void QuorExtensions::setUseFreePBX(bool)
{
}

void QuorExtensions::removeAgents()
{
}

void QuorExtensions::setDriver(QString)
{
}

void QuorExtensions::setAsteriskVersion(QString)
{
}

void QuorExtensions::extensionStatus(QString, QString)
{
}

void QuorExtensions::status(QStringList)
{
}

void QuorExtensions::peerEntry(QStringList)
{
}

void QuorExtensions::addPeer(QStringList)
{
}

void QuorExtensions::peerResponse(QStringList)
{
}

void QuorExtensions::requestIaxPeer(QStringList)
{
}

int QuorExtensions::insertAgentSorted(QuorAgent *)
{
    return 0;
}

bool QuorExtensions::findAgent(QString, QString)
{
    return false;
}

void QuorExtensions::updateExtGrid()
{
}

void QuorExtensions::redirectCall(QString, QString)
{
}

void QuorExtensions::checkFwd(QString, QString)
{
}

void QuorExtensions::checkDnd(QString)
{
}

void QuorExtensions::newChannel(QStringList)
{
}

void QuorExtensions::rename(QStringList)
{
}

void QuorExtensions::newCallerId(QStringList)
{
}

void QuorExtensions::newExten(QStringList)
{
}

void QuorExtensions::link(QStringList)
{
}

void QuorExtensions::linkChannels(QList<QuorAgent *>, QStringList)
{
}

void QuorExtensions::unlink(QStringList)
{
}

void QuorExtensions::dial(QStringList)
{
}

void QuorExtensions::hangup(QStringList)
{
}

void QuorExtensions::newState(QStringList)
{
}

void QuorExtensions::mailBoxStatus(QStringList)
{
}

void QuorExtensions::mailBoxCount(QStringList)
{
}

void QuorExtensions::dbCidName(QStringList)
{
}

void QuorExtensions::dbDnd(QStringList)
{
}

void QuorExtensions::dbFwd(QStringList)
{
}

void QuorExtensions::keyFilter(QStringList)
{
}

void QuorExtensions::zapDnd(QStringList)
{
}

void QuorExtensions::join(QStringList)
{
}

void QuorExtensions::leave(QStringList)
{
}

void QuorExtensions::hold(QStringList)
{
}

void QuorExtensions::unhold(QStringList)
{
}

void QuorExtensions::parkedCall(QStringList)
{
}

void QuorExtensions::unParkedCall(QStringList)
{
}

void QuorExtensions::slotUpdateExtGrid()
{
}

void QuorExtensions::transferCall(QString, QString)
{
}

void QuorExtensions::originateCall(QString, QString, QString)
{
}

void QuorExtensions::transferAgent(QString)
{
}

void QuorExtensions::slotPhoneUserName(QString)
{
}

void QuorExtensions::slotPhoneOptionsChanged()
{
}

void QuorExtensions::showPhone()
{
}

void QuorExtensions::showMenu()
{
}

void QuorExtensions::mouseMoveEvent(QMouseEvent *)
{
}

void QuorExtensions::resizeEvent(QResizeEvent *)
{
}

void QuorExtensions::contextMenuEvent(QContextMenuEvent *)
{
}

void QuorExtensions::createActions()
{
}
