#include "mainwindow/QuorParked.h"

#include <QDropEvent>
#include <QMimeData>

#include "core/TQuorCall.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/TQuorManager.h"
#include "softphone/TQuorPhone.h"

namespace {

constexpr int kColumns = 3;
constexpr int kRowHeight = 34;

} // namespace

QuorParked::QuorParked(TQuorManager *manager)
    : CallWindow(manager)
{
    setupUi(this);
    setAcceptDrops(true);
    build({ frame_Status, lineEdit_ext, buttonParkAnswer, buttonParkSend, buttonParkHang, layout_buttons },
        QStringLiteral("tableWidgetPark"), kColumns, kRowHeight);
    connect(table, &QWidget::customContextMenuRequested, this, &QuorParked::getParkContext);
}

QString QuorParked::channelOf(int row) const
{
    const ActiveCall *call = firstCall(manager->activeCalls, &ActiveCall::channel, cellText(row, 1));
    return call ? call->channel : QString();
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
    const int row = currentRow();
    if (row < 0)
        return;
    const QString exten = destination();
    if (exten.isEmpty())
        return;
    const QString channel = channelOf(row);
    if (channel.isEmpty())
        return;
    manager->redirectChannel(channel, exten);
    table->removeRow(row);
}

void QuorParked::hangup()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString channel = channelOf(row);
    if (channel.isEmpty())
        return;
    manager->hangPark(channel);
    table->removeRow(row);
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
    if (!call || !manager->phone()->isOwnCall(call) || call->callNo < 0)
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
