#include "mainwindow/QuorQueue.h"

#include "mainwindow/ActiveCall.h"
#include "mainwindow/TQuorManager.h"

namespace {

constexpr int kColumns = 2;
constexpr int kRowHeight = 30;

} // namespace

QuorQueue::QuorQueue(TQuorManager *manager)
    : CallWindow(manager)
{
    setupUi(this);
    build({ frame_Status, lineEdit_ext, buttonQueueAnswer, buttonQueueSend, buttonQueueHang, layout_buttons },
        QStringLiteral("tableWidgetQueue"), kColumns, kRowHeight);
    connect(table, &QWidget::customContextMenuRequested, this, &QuorQueue::getQueueContext);
}

QString QuorQueue::channelOf(int row) const
{
    const ActiveCall *call = firstCall(manager->activeCalls, &ActiveCall::uniqueid, cellText(row, 1));
    return call ? call->channel : QString();
}

void QuorQueue::takeQueue()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString channel = channelOf(row);
    if (channel.isEmpty())
        return;
    manager->takeQueue(channel);
    table->removeRow(row);
}

void QuorQueue::sendQueue()
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

void QuorQueue::hangup()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString channel = channelOf(row);
    if (channel.isEmpty())
        return;
    manager->hangQueue(channel);
    table->removeRow(row);
}

void QuorQueue::getQueueContext(QPoint)
{
    showContextMenu();
}
