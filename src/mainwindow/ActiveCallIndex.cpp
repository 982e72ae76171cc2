#include "mainwindow/ActiveCallIndex.h"

#include <algorithm>

#include "mainwindow/ActiveCall.h"

namespace {

void take(QHash<QString, QList<ActiveCall *>> &buckets, const QString &key, ActiveCall *call)
{
    const auto it = buckets.find(key);
    if (it == buckets.end())
        return;
    it->removeOne(call);
    if (it->isEmpty())
        buckets.erase(it);
}

} // namespace

void ActiveCallIndex::add(ActiveCall *call)
{
    const Entry entry { m_nextSerial++, call->uniqueid, call->channel };
    m_entries.insert(call, entry);
    file(call, entry);
}

void ActiveCallIndex::update(ActiveCall *call)
{
    const auto it = m_entries.find(call);
    if (it == m_entries.end())
        return;
    unfile(call, *it);
    it->uniqueid = call->uniqueid;
    it->channel = call->channel;
    file(call, *it);
}

void ActiveCallIndex::remove(ActiveCall *call)
{
    const auto it = m_entries.find(call);
    if (it == m_entries.end())
        return;
    unfile(call, *it);
    m_entries.erase(it);
}

void ActiveCallIndex::clear()
{
    m_entries.clear();
    m_byUniqueid.clear();
    m_byChannel.clear();
}

QList<ActiveCall *> ActiveCallIndex::all(QString ActiveCall::*field, const QString &key) const
{
    return bucketsOf(field).value(key);
}

ActiveCall *ActiveCallIndex::first(QString ActiveCall::*field, const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    const Buckets &buckets = bucketsOf(field);
    const auto it = buckets.constFind(key);
    return it == buckets.cend() ? nullptr : it->constFirst();
}

qsizetype ActiveCallIndex::positionIn(const QList<ActiveCall *> &calls, const ActiveCall *call) const
{
    if (!m_entries.contains(call))
        return -1;
    const auto it = std::lower_bound(calls.cbegin(), calls.cend(), serialOf(call),
        [this](const ActiveCall *other, quint64 serial) { return serialOf(other) < serial; });
    return it != calls.cend() && *it == call ? it - calls.cbegin() : -1;
}

const ActiveCallIndex::Buckets &ActiveCallIndex::bucketsOf(QString ActiveCall::*field) const
{
    Q_ASSERT(field == &ActiveCall::uniqueid || field == &ActiveCall::channel);
    return field == &ActiveCall::uniqueid ? m_byUniqueid : m_byChannel;
}

void ActiveCallIndex::file(ActiveCall *call, const Entry &entry)
{
    insert(m_byUniqueid, entry.uniqueid, call, entry.serial);
    insert(m_byChannel, entry.channel, call, entry.serial);
}

void ActiveCallIndex::unfile(ActiveCall *call, const Entry &entry)
{
    take(m_byUniqueid, entry.uniqueid, call);
    take(m_byChannel, entry.channel, call);
}

void ActiveCallIndex::insert(Buckets &buckets, const QString &key, ActiveCall *call, quint64 serial)
{
    QList<ActiveCall *> &bucket = buckets[key];
    // A new record goes last; a renamed one may be older than records already
    // under its new name.
    const auto place = std::upper_bound(bucket.begin(), bucket.end(), serial,
        [this](quint64 s, const ActiveCall *other) { return s < serialOf(other); });
    bucket.insert(place, call);
}
