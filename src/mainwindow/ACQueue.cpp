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
    // The caller's text comes from the far end: shown, never read as markup.
    label_source->setText(callerId.toHtmlEscaped());
    label_destination->setText(queue);
    place({ uniqueid });
}
