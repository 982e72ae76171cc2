#pragma once

#include <QCoreApplication>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QString>
#include <QStringList>

#include "TileTestSupport.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TXmlGroups.h"
#include "testsupport/TestDataDir.h"

// A groups file from tests/data/extgroups.
inline QByteArray groupsFixture(const char *name)
{
    QFile f(testDataPath(QStringLiteral("extgroups/") + QLatin1String(name)));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whether a drag of that payload is taken when it enters the widget.
inline bool entered(QWidget *target, const char *format, const QByteArray &payload)
{
    QMimeData data;
    data.setData(QLatin1String(format), payload);
    QDragEnterEvent enter(QPoint(20, 20), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    return enter.isAccepted();
}

// Drag enter and drop of a payload, as a drop arrives; true when accepted.
inline bool drop(QWidget *target, const char *format, const QByteArray &payload)
{
    QMimeData data;
    data.setData(QLatin1String(format), payload);
    QDragEnterEvent enter(QPoint(20, 20), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent event(QPointF(20, 20), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
    return event.isAccepted();
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

// A groups file read: "name/desc/visible/expanded/sort", "group|tech|chan|uname|ci".
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
