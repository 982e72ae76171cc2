#pragma once

#include <QWidget>

class QFrame;
class TQuorManager;

// The window of the calls waiting in the PBX's queues, docked as "Queues".
// For now only its frame: the list of queued calls comes with the call records.
class QuorQueue : public QWidget
{
    Q_OBJECT

public:
    explicit QuorQueue(TQuorManager *manager);

    // Holds the list of queued calls.
    QFrame *frame_Status = nullptr;
    TQuorManager *manager = nullptr;
};
