#pragma once

#include <QPoint>

#include "mainwindow/CallWindow.h"
#include "ui_QuorQueueBase.h"

// The window of the calls waiting in the PBX's queues, docked as "Queues".
// A row's key is the Uniqueid of the queued call; the manager's call records
// give the channel behind it.
class QuorQueue : public CallWindow, public Ui::QuorQueueBase
{
    Q_OBJECT

public:
    explicit QuorQueue(TQuorManager *manager);

public slots:
    // Redirects the current row's call to the user's own extension.
    void takeQueue();
    void hangup() override;
    // Redirects the current row's call to the typed extension.
    void sendQueue();
    void getQueueContext(QPoint point);

protected:
    void take() override { takeQueue(); }
};
