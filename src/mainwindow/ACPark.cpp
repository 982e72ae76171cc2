#include "mainwindow/ACPark.h"

ACPark::ACPark(QWidget *container, QString ext, QString callerId)
    : CallRow(container, QStringLiteral("tableWidgetPark"))
    , ext(std::move(ext))
    , callerId(std::move(callerId))
{
    setupUi(this);
    startClock(label_qtime);
}

void ACPark::insertInTable(QString space, QString from, QString callerId, QString channel)
{
    this->space = space;
    this->callerId = callerId;
    this->from = from;
    label_destination->setText(space);
    // Plain-text labels: the PBX's texts show as they came.
    label_user->setText(from);
    label_source->setText(callerId);
    place({ channel, space });
}
