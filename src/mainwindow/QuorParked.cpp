#include "mainwindow/QuorParked.h"

#include <QDropEvent>
#include <QMimeData>
#include <QTableWidget>

#include "core/TQuorCall.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/TQuorManager.h"
#include "softphone/TQuorPhone.h"

namespace {

constexpr int kColumns = 3;
constexpr int kRowHeight = 34;

} // namespace

QuorParked::QuorParked(TQuorManager *manager)
    : CallWindow(manager, &ActiveCall::channel)
{
    setupUi(this);
    setAcceptDrops(true);
    build({ frame_Status, lineEdit_ext, buttonParkAnswer, buttonParkSend, buttonParkHang, layout_buttons },
        QStringLiteral("tableWidgetPark"), kColumns, kRowHeight);
    connect(table, &QWidget::customContextMenuRequested, this, &QuorParked::getParkContext);
}

void QuorParked::takePark()
{
    const int row = currentRow();
    if (row < 0)
        return;
    manager->takePark(cellText(row, 2));
    table->removeRow(row);
}

void QuorParked::sendPark()
{
    sendCall();
}

void QuorParked::hangup()
{
    requestForCall(&TQuorManager::hangPark);
}

void QuorParked::getParkContext(QPoint)
{
    showContextMenu();
}

TQuorCall *QuorParked::droppedCall(const QDropEvent *event) const
{
    // Only a live call of this phone is parked: the payload may come from
    // another application, or name a call that ended during the drag.
    TQuorCall *call = TQuorCall::fromMimeData(event->mimeData());
    if (!call || !manager->phone()->calls()->isOwnCall(call) || call->callNo < 0)
        return nullptr;
    return call;
}

void QuorParked::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasFormat(QLatin1String(TQuorCall::mimeType())) && droppedCall(event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void QuorParked::dropEvent(QDropEvent *event)
{
    TQuorCall *call = droppedCall(event);
    if (!call)
        return;
    event->acceptProposedAction();
    manager->newPark(call->callNo);
}
