#pragma once

#include <QHash>
#include <QList>
#include <QString>

#include <algorithm>

// Items filed under text keys, each key's items in the order of the serial
// numbers their owner gives them (creation order), so that a lookup meets
// them as a walk over the creation-ordered list would. A key left without
// items goes.
template <typename T>
class OrderedBuckets
{
public:
    // serialOf(item) gives the serial of an item already filed.
    template <typename SerialOf>
    void insert(const QString &key, T *item, quint64 serial, SerialOf serialOf)
    {
        QList<T *> &bucket = m_buckets[key];
        // A new item goes last; a refiled one may be older than items
        // already under its new key.
        const auto place = std::upper_bound(bucket.begin(), bucket.end(), serial,
            [&serialOf](quint64 s, const T *other) { return s < serialOf(other); });
        bucket.insert(place, item);
    }

    void take(const QString &key, T *item)
    {
        const auto it = m_buckets.find(key);
        if (it == m_buckets.end())
            return;
        it->removeOne(item);
        if (it->isEmpty())
            m_buckets.erase(it);
    }

    void clear() { m_buckets.clear(); }

    // The items under key, oldest first.
    const QList<T *> &items(const QString &key) const
    {
        static const QList<T *> none;
        const auto it = m_buckets.constFind(key);
        return it == m_buckets.cend() ? none : *it;
    }

private:
    QHash<QString, QList<T *>> m_buckets;
};
