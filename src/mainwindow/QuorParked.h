#pragma once

#include <QPoint>

#include "mainwindow/CallWindow.h"
#include "ui_QuorParkedBase.h"

class TQuorCall;

// The window of the calls parked on the PBX, docked as "Parked". A row's key
// is the parked channel; its second hidden item is the parking space. A call
// of the phone dropped here is parked.
class QuorParked : public CallWindow, public Ui::QuorParkedBase
{
    Q_OBJECT

public:
    explicit QuorParked(TQuorManager *manager);

public slots:
    // Lets the phone dial the current row's parking space.
    void takePark();
    void hangup() override;
    void sendPark();
    void getParkContext(QPoint point);

protected:
    void take() override { takePark(); }
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The phone's own live call that the drag names, or nullptr.
    TQuorCall *droppedCall(const QDropEvent *event) const;
};
