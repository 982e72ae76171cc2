#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class ACPark;
class ACQueue;
class QWidget;

// TActiveCallPhase: where a call record stands.
enum TActiveCallPhase {
    PhaseCreated = 10,
    PhaseRing = 20,
    PhaseRinging = 30,
    PhaseUnparked = 40,
    PhaseQueued = 50,
    PhaseParked = 60,
    PhaseDown = 70,
};

// The main window's record of one PBX channel, behind the rows of the queue
// and parked windows. The rows belong to their tables; the record only points
// at them, and a row whose table row is gone counts as none.
class ActiveCall : public QObject
{
    Q_OBJECT

public:
    ActiveCall(QWidget *queueFrame, QWidget *parkedFrame, QString uniqueid, QString channel, QString callerId);

    void setRing();
    void setRinging();
    void setDown();
    // Queued: the record's queue row shows the call, made at the first Join
    // and refreshed in place by each later one.
    void joinQueue(QString queue, QString uniqueid, QString callerId, QString callerIdName);
    // Parked on space by fromExt: the parked row, made or refreshed likewise.
    void park(QString space, QString fromExt, QString callerId);
    void unpark();
    // The channel's new name and uniqueid.
    void rename(QString newChannel, QString uniqueid);

    QWidget *queueFrame = nullptr;
    QWidget *parkedFrame = nullptr;
    QPointer<ACQueue> queueRow;
    QPointer<ACPark> parkRow;
    int phase = PhaseCreated;
    QString channel;
    QString tech;
    QString ext;
    QString uniqueid;
    QString callerId;

private:
    void createQueueRow();
    void createParkRow();
    void setChannel(const QString &name);
};
