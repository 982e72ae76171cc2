#include "extensions/RecordIndex.h"

#include "extensions/Channel.h"

void RecordIndex::append(Channel *record)
{
    insert(record, record->ext, m_nextSequence++);
}

void RecordIndex::insert(Channel *record, const QString &extension, quint64 sequence)
{
    m_filed.insert(record, { extension, sequence });
    m_byExtension.insert(
        extension, record, sequence, [this](const Channel *other) { return m_filed.value(other).sequence; });
}

void RecordIndex::remove(Channel *record)
{
    const auto it = m_filed.constFind(record);
    if (it == m_filed.constEnd())
        return;
    m_byExtension.take(it->extension, record);
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
    return m_byExtension.items(extension);
}
