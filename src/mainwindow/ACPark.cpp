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
    // PBX texts: shown, never read as markup.
    label_user->setText(from.toHtmlEscaped());
    label_source->setText(callerId.toHtmlEscaped());
    place({ channel, space });
}
