#pragma once

#include <QHash>
#include <QList>
#include <QString>

class QuorAgent;

// Lookups of the panel's tiles by extension, so that an event touches the few
// tiles it names instead of walking thousands. Each bucket keeps its tiles in
// the order of the panel's sorted tile list.
class TileIndex
{
public:
    // Files a tile that was just inserted into the sorted list (after every
    // tile whose extension equals its own, ignoring case).
    void insert(QuorAgent *tile);
    void clear();

    // The tiles whose extension equals the text exactly.
    const QList<QuorAgent *> &exact(const QString &extension) const;
    // The tiles whose lower-cased extension equals the (lower-cased) text.
    const QList<QuorAgent *> &lowered(const QString &lowerExtension) const;

private:
    QHash<QString, QList<QuorAgent *>> m_exact;
    QHash<QString, QList<QuorAgent *>> m_lowered;
};
