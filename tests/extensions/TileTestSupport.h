#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include "extensions/QuorAgent.h"

// The name of a shared picture a label shows, so that tests can say which.
inline QString pictureName(const QPixmap &shown)
{
    const AgentImages *im = QuorAgent::images;
    const QList<QPair<const char *, const QPixmap *>> all { { "str_no_avail", &im->str_no_avail },
        { "bg_no_avail", &im->bg_no_avail }, { "str_available", &im->str_available }, { "bg_avail", &im->bg_avail },
        { "str_queue", &im->str_queue }, { "bg_queue", &im->bg_queue }, { "bg_active", &im->bg_active },
        { "str_calling", &im->str_calling }, { "bg_ringing", &im->bg_ringing }, { "str_ringing", &im->str_ringing },
        { "str_ring", &im->str_ring }, { "str_hold", &im->str_hold }, { "bg_hold", &im->bg_hold },
        { "str_offhook", &im->str_offhook }, { "bg_offhook", &im->bg_offhook }, { "str_dnd", &im->str_dnd },
        { "bg_dnd", &im->bg_dnd }, { "str_fwd", &im->str_fwd }, { "bg_fwd", &im->bg_fwd },
        { "str_parked", &im->str_parked } };
    for (const auto &p : all) {
        // The form's own pictures are loaded apart from the set.
        if (p.second->cacheKey() == shown.cacheKey() || p.second->toImage() == shown.toImage())
            return QLatin1String(p.first);
    }
    return QStringLiteral("?");
}

inline QString colourName(const QColor &c)
{
    if (c == QColor(255, 255, 255))
        return QStringLiteral("white");
    if (c == QColor(255, 128, 0))
        return QStringLiteral("orange");
    if (c == QColor(200, 80, 0))
        return QStringLiteral("parked");
    if (c == QColor(203, 0, 0))
        return QStringLiteral("red");
    if (c == QColor(0, 255, 0))
        return QStringLiteral("green");
    return QStringLiteral("plain");
}

// What a tile shows and holds, in one line: state, strip/background, the
// other party's label and its colour, the direction label and its colour,
// and the flags that are set.
inline QString lookOf(const QuorAgent *t)
{
    QStringList flags;
    const QList<QPair<const char *, bool>> all { { "free", t->free }, { "dnd", t->dnd }, { "forward", t->forward },
        { "parked", t->parked }, { "inQueue", t->inQueue } };
    for (const auto &f : all) {
        if (f.second)
            flags << QLatin1String(f.first);
    }
    return QStringLiteral("%1 %2/%3 \"%4\" %5 dir \"%6\" %7 | %8")
        .arg(int(t->state))
        .arg(pictureName(t->label_status->pixmap()), pictureName(t->label_bg->pixmap()), t->label_phone->text(),
            colourName(t->label_phone->palette().color(QPalette::WindowText)), t->label_direction->text(),
            colourName(t->label_direction->palette().color(QPalette::WindowText)), flags.join(QLatin1Char(' ')));
}

// Runs steps on a tile, separated by ";": idle, unavailable, active, hold,
// forwarded, unparked, dnd, nodnd, nofwd, fwd:<number>, state:<n>,
// fwdNumber:<number>, peer:<text> (set as the label shows it), set:<flags>.
inline void runSteps(QuorAgent *t, const QString &steps)
{
    for (const QString &step : steps.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString verb = step.section(QLatin1Char(':'), 0, 0);
        const QString arg = step.section(QLatin1Char(':'), 1);
        if (verb == QLatin1String("idle"))
            t->setIdle();
        else if (verb == QLatin1String("unavailable"))
            t->setUnavailable();
        else if (verb == QLatin1String("active"))
            t->setActive();
        else if (verb == QLatin1String("hold"))
            t->setHold();
        else if (verb == QLatin1String("forwarded"))
            t->setForwarded();
        else if (verb == QLatin1String("unparked"))
            t->setUnparked();
        else if (verb == QLatin1String("dnd") || verb == QLatin1String("nodnd"))
            t->setDndState(verb == QLatin1String("dnd"));
        else if (verb == QLatin1String("fwd") || verb == QLatin1String("nofwd"))
            t->setFwdState(verb == QLatin1String("fwd"), arg, QStringLiteral("CFU"));
        else if (verb == QLatin1String("state"))
            t->setState(TAgentState(arg.toInt()));
        else if (verb == QLatin1String("fwdNumber"))
            t->fwdNumber = arg;
        else if (verb == QLatin1String("peer")) {
            t->peerText = arg;
            t->updatePeerLabel();
        } else if (verb == QLatin1String("set")) {
            t->dnd = t->dnd || arg.contains(QLatin1String("dnd"));
            t->forward = t->forward || arg.contains(QLatin1String("forward"));
            t->parked = t->parked || arg.contains(QLatin1String("parked"));
            t->inQueue = t->inQueue || arg.contains(QLatin1String("inQueue"));
        } else
            qFatal("unknown step %s", qPrintable(step));
    }
}
