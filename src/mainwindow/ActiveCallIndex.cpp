#include "mainwindow/ActiveCallIndex.h"

#include <algorithm>

#include "mainwindow/ActiveCall.h"

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
    return bucketsOf(field).items(key);
}

ActiveCall *ActiveCallIndex::first(QString ActiveCall::*field, const QString &key) const
{
    if (key.isEmpty())
        return nullptr;
    const QList<ActiveCall *> &calls = bucketsOf(field).items(key);
    return calls.isEmpty() ? nullptr : calls.constFirst();
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
    const auto serial = [this](const ActiveCall *other) { return serialOf(other); };
    m_byUniqueid.insert(entry.uniqueid, call, entry.serial, serial);
    m_byChannel.insert(entry.channel, call, entry.serial, serial);
}

void ActiveCallIndex::unfile(ActiveCall *call, const Entry &entry)
{
    m_byUniqueid.take(entry.uniqueid, call);
    m_byChannel.take(entry.channel, call);
}
