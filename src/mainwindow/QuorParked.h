#pragma once

#include <QWidget>

class QFrame;
class TQuorManager;

// The window of the calls parked on the PBX, docked as "Parked". For now only
// its frame: the list of parked calls comes with the call records.
class QuorParked : public QWidget
{
    Q_OBJECT

public:
    explicit QuorParked(TQuorManager *manager);

    // Holds the list of parked calls.
    QFrame *frame_Status = nullptr;
    TQuorManager *manager = nullptr;
};
