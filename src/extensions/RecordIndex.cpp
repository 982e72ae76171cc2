#include "extensions/RecordIndex.h"

#include <algorithm>

#include "extensions/Channel.h"

namespace {

const QList<Channel *> kNone;

} // namespace

void RecordIndex::append(Channel *record)
{
    insert(record, record->ext, m_nextSequence++);
}

void RecordIndex::insert(Channel *record, const QString &extension, quint64 sequence)
{
    m_filed.insert(record, { extension, sequence });
    QList<Channel *> &bucket = m_byExtension[extension];
    const auto at = std::upper_bound(bucket.begin(), bucket.end(), sequence,
        [this](quint64 value, const Channel *other) { return value < m_filed.value(other).sequence; });
    bucket.insert(at, record);
}

void RecordIndex::remove(Channel *record)
{
    const auto it = m_filed.constFind(record);
    if (it == m_filed.constEnd())
        return;
    const auto bucket = m_byExtension.find(it->extension);
    if (bucket != m_byExtension.end()) {
        bucket->removeOne(record);
        if (bucket->isEmpty())
            m_byExtension.erase(bucket);
    }
    m_filed.erase(it);
}

void RecordIndex::refile(Channel *record)
{
    const auto it = m_filed.constFind(record);
    if (it == m_filed.constEnd() || it->extension == record->ext)
        return;
    const quint64 sequence = it->sequence;
    remove(record);
    insert(record, record->ext, sequence);
}

void RecordIndex::clear()
{
    m_byExtension.clear();
    m_filed.clear();
}

bool RecordIndex::before(const Channel *a, const Channel *b) const
{
    return m_filed.value(a).sequence < m_filed.value(b).sequence;
}

const QList<Channel *> &RecordIndex::withExtension(const QString &extension) const
{
    const auto it = m_byExtension.constFind(extension);
    return it == m_byExtension.constEnd() ? kNone : *it;
}
