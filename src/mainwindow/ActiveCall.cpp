#include "mainwindow/ActiveCall.h"

#include "ami/ManagerSocket.h"
#include "mainwindow/ACPark.h"
#include "mainwindow/ACQueue.h"

ActiveCall::ActiveCall(QWidget *queueFrame, QWidget *parkedFrame, QString uniqueid, QString channel, QString callerId)
    : queueFrame(queueFrame)
    , parkedFrame(parkedFrame)
    , uniqueid(std::move(uniqueid))
    , callerId(std::move(callerId))
{
    setChannel(channel);
}

void ActiveCall::setChannel(const QString &name)
{
    channel = name;
    tech = ManagerSocket::techFromChannel(name);
    ext = ManagerSocket::extFromChannel(name);
}

void ActiveCall::setRing()
{
    phase = PhaseRing;
}

void ActiveCall::setRinging()
{
    phase = PhaseRinging;
}

void ActiveCall::setDown()
{
    phase = PhaseDown;
}

void ActiveCall::createQueueRow()
{
    queueRow = new ACQueue(queueFrame, uniqueid, ext, callerId);
}

void ActiveCall::createParkRow()
{
    parkRow = new ACPark(parkedFrame, ext, callerId);
}

void ActiveCall::joinQueue(QString queue, QString uniqueid, QString callerId, QString callerIdName)
{
    phase = PhaseQueued;
    if (!queueRow || !queueRow->isListed())
        createQueueRow();
    queueRow->insertInTable(queue, uniqueid, callerId, callerIdName);
    // A row without a table would never be shown nor freed.
    if (!queueRow->isListed())
        delete queueRow.data();
}

void ActiveCall::park(QString space, QString fromExt, QString callerId)
{
    this->callerId = callerId;
    phase = PhaseParked;
    if (!parkRow || !parkRow->isListed())
        createParkRow();
    parkRow->insertInTable(space, fromExt, this->callerId, channel);
    if (!parkRow->isListed())
        delete parkRow.data();
}

void ActiveCall::unpark()
{
    if (phase == PhaseParked)
        phase = PhaseUnparked;
}

void ActiveCall::rename(QString newChannel, QString uniqueid)
{
    setChannel(newChannel);
    this->uniqueid = uniqueid;
}
