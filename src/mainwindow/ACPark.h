#pragma once

#include <QString>

#include "mainwindow/CallRow.h"
#include "ui_QuorParkRow.h"

// One call parked on the PBX, as a row of the parked window's table: space,
// who parked it, caller and parked time. Its hidden items hold the channel
// and the space.
class ACPark : public CallRow, public Ui::QuorParkRow
{
    Q_OBJECT

public:
    ACPark(QWidget *container, QString ext, QString callerId);

    void insertInTable(QString space, QString from, QString callerId, QString channel);

    QString ext;
    QString callerId;
    QString space;
    QString from;
};
