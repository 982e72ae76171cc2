#include "mainwindow/ACQueue.h"

ACQueue::ACQueue(QWidget *container, QString uniqueid, QString ext, QString callerId)
    : CallRow(container, QStringLiteral("tableWidgetQueue"))
    , uniqueid(std::move(uniqueid))
    , ext(std::move(ext))
    , callerId(std::move(callerId))
{
    setupUi(this);
    startClock(label_qtime);
}

void ACQueue::insertInTable(QString queue, QString uniqueid, QString callerId, QString callerIdName)
{
    this->queue = queue;
    this->callerId = callerId;
    this->callerIdName = callerIdName;
    // A plain-text label: the caller's text from the far end shows as it came.
    label_source->setText(callerId);
    label_destination->setText(queue);
    place({ uniqueid });
}
