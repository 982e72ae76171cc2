#include "mainwindow/QuorQueue.h"

#include <QTableWidget>

#include "mainwindow/ActiveCall.h"
#include "mainwindow/TQuorManager.h"

namespace {

constexpr int kColumns = 2;
constexpr int kRowHeight = 30;

} // namespace

QuorQueue::QuorQueue(TQuorManager *manager)
    : CallWindow(manager, &ActiveCall::uniqueid)
{
    setupUi(this);
    build({ frame_Status, lineEdit_ext, buttonQueueAnswer, buttonQueueSend, buttonQueueHang, layout_buttons },
        QStringLiteral("tableWidgetQueue"), kColumns, kRowHeight);
    connect(table, &QWidget::customContextMenuRequested, this, &QuorQueue::getQueueContext);
}

void QuorQueue::takeQueue()
{
    requestForCall(&TQuorManager::takeQueue);
}

void QuorQueue::sendQueue()
{
    sendCall();
}

void QuorQueue::hangup()
{
    requestForCall(&TQuorManager::hangQueue);
}

void QuorQueue::getQueueContext(QPoint)
{
    showContextMenu();
}
