#pragma once

#include <QString>

#include "mainwindow/CallRow.h"
#include "ui_QuorQueueRow.h"

// One call waiting in a PBX queue, as a row of the queue window's table:
// caller, queue and waiting time. Its hidden item holds the Join's Uniqueid.
class ACQueue : public CallRow, public Ui::QuorQueueRow
{
    Q_OBJECT

public:
    ACQueue(QWidget *container, QString uniqueid, QString ext, QString callerId);

    void insertInTable(QString queue, QString uniqueid, QString callerId, QString callerIdName);

    QString uniqueid;
    QString ext;
    QString callerId;
    QString callerIdName;
    QString queue;
};
