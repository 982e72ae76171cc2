#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include "core/OrderedBuckets.h"

class Channel;

// The panel's live channel records by extension, each bucket in the order of
// the panel's channel list (the order the records were made in), so that a
// tile looking for a waiting call of its extension meets the few records of
// that extension instead of walking every live call of the PBX.
class RecordIndex
{
public:
    // A record just appended to the channel list.
    void append(Channel *record);
    void remove(Channel *record);
    // After a rename, which may have changed the record's extension.
    void refile(Channel *record);
    void clear();

    // The records whose extension equals the text, in list order.
    const QList<Channel *> &withExtension(const QString &extension) const;
    // Whether a was made before b (a record not filed counts as first).
    bool before(const Channel *a, const Channel *b) const;

private:
    struct Filed
    {
        QString extension;
        quint64 sequence = 0;
    };

    void insert(Channel *record, const QString &extension, quint64 sequence);

    OrderedBuckets<Channel> m_byExtension;
    QHash<const Channel *, Filed> m_filed;
    quint64 m_nextSequence = 0;
};
