#include "extensions/TileIndex.h"

#include <algorithm>

#include "extensions/QuorAgent.h"

namespace {

const QList<QuorAgent *> kNone;

// The list order: by extension ignoring case, equal ones in insertion order.
void insertInOrder(QList<QuorAgent *> &bucket, QuorAgent *tile)
{
    const auto at = std::upper_bound(bucket.begin(), bucket.end(), tile, [](const QuorAgent *a, const QuorAgent *b) {
        return a->extension.compare(b->extension, Qt::CaseInsensitive) < 0;
    });
    bucket.insert(at, tile);
}

} // namespace

void TileIndex::insert(QuorAgent *tile)
{
    m_exact[tile->extension].append(tile);
    insertInOrder(m_lowered[tile->extension.toLower()], tile);
}

void TileIndex::clear()
{
    m_exact.clear();
    m_lowered.clear();
}

const QList<QuorAgent *> &TileIndex::exact(const QString &extension) const
{
    const auto it = m_exact.constFind(extension);
    return it == m_exact.constEnd() ? kNone : *it;
}

const QList<QuorAgent *> &TileIndex::lowered(const QString &lowerExtension) const
{
    const auto it = m_lowered.constFind(lowerExtension);
    return it == m_lowered.constEnd() ? kNone : *it;
}
