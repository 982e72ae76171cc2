#include "mainwindow/QuorQueue.h"

#include <QFrame>

#include "mainwindow/CallListFrame.h"

QuorQueue::QuorQueue(TQuorManager *manager)
    : manager(manager)
{
    setObjectName(QStringLiteral("QuorQueue"));
    frame_Status = makeCallListFrame(this);
}
