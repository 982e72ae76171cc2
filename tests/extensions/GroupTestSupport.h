#pragma once

#include <QFile>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "TableRow.h"
#include "extensions/QuorAgent.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TXmlGroups.h"
#include "testsupport/TestDataDir.h"

// A groups file from tests/data/extgroups.
inline QByteArray groupsFixture(const char *name)
{
    QFile f(testDataPath(QStringLiteral("extgroups/") + QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The extensions of a group's tiles, in order, separated by blanks.
inline QString extensionsOf(const TExtensionGroup *group)
{
    QStringList list;
    for (const QuorAgent *tile : group->tiles)
        list << tile->extension;
    return list.join(QLatin1Char(' '));
}

inline QString namesOf(const QList<TExtensionGroup *> &groups)
{
    QStringList list;
    for (const TExtensionGroup *group : groups)
        list << group->name;
    return list.join(QLatin1Char('|'));
}

// A groups file as read: "name/desc/visible/expanded/sort" of each group, then
// "group|tech|chan|uname|ci" of each record.
inline QStringList readBack(const QString &path)
{
    TXmlGroups xml(path);
    QList<TGroupExt *> *exts = nullptr;
    const QList<TExtensionGroup *> groups = xml.readGroups(exts);
    QStringList out;
    for (const TExtensionGroup *g : groups)
        out << QStringList { g->name, g->desc, QString::number(g->visibleFlag), QString::number(g->expanded), g->sort }
                   .join(QLatin1Char('/'));
    for (const TGroupExt *e : std::as_const(*exts))
        out << QStringList { e->groupName, e->tech, e->chan, e->uname, e->ci }.join(QLatin1Char('|'));
    qDeleteAll(groups);
    qDeleteAll(*exts);
    delete exts;
    return out;
}

// Tiles without a phone, deleted with the list: "ext" or "ext:caller name",
// technology SIP unless "IAX/" leads.
struct GroupTiles
{
    ~GroupTiles() { clear(); }

    void clear()
    {
        for (const QPointer<QuorAgent> &t : std::as_const(tiles))
            delete t.data();
        tiles.clear();
    }

    QuorAgent *operator()(const QString &spec)
    {
        const bool iax = spec.startsWith(QLatin1String("IAX/"));
        const QString rest = iax ? spec.mid(4) : spec;
        auto *t = new QuorAgent(nullptr, rest.section(QLatin1Char(':'), 0, 0), nullptr,
            iax ? QStringLiteral("IAX") : QStringLiteral("SIP"));
        if (rest.contains(QLatin1Char(':')))
            t->setCallerIdName(rest.section(QLatin1Char(':'), 1));
        tiles << t;
        return t;
    }

    QList<QPointer<QuorAgent>> tiles;
};
