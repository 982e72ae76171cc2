#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "core/OrderedBuckets.h"

class ActiveCall;

// Finds the main window's call records by uniqueid or by channel without
// walking its list, which can hold every call the PBX never hung up. Records
// that share a key (two Newchannels with one uniqueid, or a Rename that gives
// a channel's name to a second record for a while) stay per key in creation
// order, so a lookup gives the record a walk over the list would meet first.
class ActiveCallIndex
{
public:
    // A record just made: newer than every record already indexed.
    void add(ActiveCall *call);
    // After the record's channel or uniqueid changed: it moves to its new keys
    // and keeps its place in creation order.
    void update(ActiveCall *call);
    void remove(ActiveCall *call);
    void clear();

    // Every record whose field (ActiveCall::uniqueid or ActiveCall::channel)
    // equals key, oldest first.
    QList<ActiveCall *> all(QString ActiveCall::*field, const QString &key) const;
    // The oldest of them; an empty key names no record.
    ActiveCall *first(QString ActiveCall::*field, const QString &key) const;
    // Where an indexed record stands in calls, a list of indexed records in
    // creation order; -1 when it is not there.
    qsizetype positionIn(const QList<ActiveCall *> &calls, const ActiveCall *call) const;

private:
    // The keys a record is filed under, kept to find it again after a rename.
    struct Entry
    {
        quint64 serial = 0;
        QString uniqueid;
        QString channel;
    };
    using Buckets = OrderedBuckets<ActiveCall>;

    const Buckets &bucketsOf(QString ActiveCall::*field) const;
    void file(ActiveCall *call, const Entry &entry);
    void unfile(ActiveCall *call, const Entry &entry);
    quint64 serialOf(const ActiveCall *call) const { return m_entries.constFind(call)->serial; }

    QHash<const ActiveCall *, Entry> m_entries;
    Buckets m_byUniqueid;
    Buckets m_byChannel;
    quint64 m_nextSerial = 0;
};
