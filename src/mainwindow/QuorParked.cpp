#include "mainwindow/QuorParked.h"

#include <QFrame>

#include "mainwindow/CallListFrame.h"

QuorParked::QuorParked(TQuorManager *manager)
    : manager(manager)
{
    setObjectName(QStringLiteral("QuorParked"));
    frame_Status = makeCallListFrame(this);
}
