#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <functional>

class QTimer;

// The panel's record of one live PBX channel (one leg of a call, named
// technology "/" extension "-" suffix). The panel's event handlers set its
// fields; each operation announces its change by a signal, which the tile bound
// to the channel follows. While linked it emits the call time once a second.
class Channel : public QObject
{
    Q_OBJECT

public:
    Channel(QString uniqueid, QString name, QString callerId, QString callerIdName, QString state);
    ~Channel() override;

    void setState(QString state);
    void joinQueue(QString queue);
    void leaveQueue();
    void setParkedTo(QString space);
    void park(QString space);
    void unPark();
    void link(QString peer);
    void unlink();
    void hangup();
    void rename(QString newName);

    // The technology word a tile carries for the technology part of a channel
    // name: IAX2 channels belong to "IAX" peers and DAHDI channels to "Zap"
    // peers; any other word is its own.
    static QString tileTech(const QString &channelTech);
    // The matching rule of channels and tiles: equal extension, and equal
    // technology once the channel's is read as tileTech().
    static bool matches(const QString &channelExt, const QString &channelTech, const QString &tileExtension,
        const QString &tileTechnology);
    bool belongsTo(const QString &tileExtension, const QString &tileTechnology) const
    {
        return matches(ext, tech, tileExtension, tileTechnology);
    }

    // The call-time text of an elapsed time: "mm:ss" below one hour, else
    // "hh:mm:ss"; wraps after 24 hours.
    static QString callTimeText(qint64 elapsedMs);

    // The monotonic millisecond clock of the call time; tests set their own
    // (nullptr restores the real one).
    using Clock = std::function<qint64()>;
    static void setClock(Clock clock);

    QString parkedTo;
    bool parked = false;
    QString ext;
    QString tech;
    QString name;
    QString state;
    QString callerId;
    QString callerIdName;
    QString uniqueid;
    bool linked = false;
    bool inQueue = false;
    QString linkedTo;
    QString queue;
    QDateTime created;
    QTimer *durationTimer = nullptr; // owned
    qint64 linkTime = -1; // the clock's reading at the last link; -1 before

signals:
    void renameEvent(QString uniqueid);
    void joinQueueEvent();
    void parkEvent();
    void unParkEvent();
    void unlinkEvent();
    void leaveQueueEvent();
    void stateChangedEvent();
    void linkEvent(QString uniqueid, QString uniqueid2);
    void hangupEvent(QString uniqueid);
    void timeoutEvent(QString formatedTime);

public slots:
    void timeout();
};
