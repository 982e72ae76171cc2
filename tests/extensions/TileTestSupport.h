#pragma once

#include <QColor>
#include <QPixmap>
#include <QString>

#include "extensions/QuorAgent.h"

// Names of the shared pictures a tile shows, so that tests can say which one.
inline QString pictureName(const QPixmap &shown)
{
    const AgentImages *im = QuorAgent::images;
    if (!im)
        return {};
    const QList<QPair<const char *, const QPixmap *>> all {
        { "str_no_avail", &im->str_no_avail },
        { "bg_no_avail", &im->bg_no_avail },
        { "str_available", &im->str_available },
        { "bg_avail", &im->bg_avail },
        { "str_queue", &im->str_queue },
        { "bg_queue", &im->bg_queue },
        { "bg_active", &im->bg_active },
        { "str_calling", &im->str_calling },
        { "bg_ringing", &im->bg_ringing },
        { "str_ringing", &im->str_ringing },
        { "str_ring", &im->str_ring },
        { "str_hold", &im->str_hold },
        { "bg_hold", &im->bg_hold },
        { "str_offhook", &im->str_offhook },
        { "bg_offhook", &im->bg_offhook },
        { "str_dnd", &im->str_dnd },
        { "bg_dnd", &im->bg_dnd },
        { "str_fwd", &im->str_fwd },
        { "bg_fwd", &im->bg_fwd },
        { "str_parked", &im->str_parked },
    };
    for (const auto &p : all) {
        if (p.second->cacheKey() == shown.cacheKey())
            return QLatin1String(p.first);
    }
    // The form's own pictures are loaded apart from the set.
    const QImage image = shown.toImage();
    for (const auto &p : all) {
        if (p.second->toImage() == image)
            return QLatin1String(p.first);
    }
    return QStringLiteral("?");
}

inline QString stripOf(const QuorAgent *tile)
{
    return pictureName(tile->label_status->pixmap());
}

inline QString backgroundOf(const QuorAgent *tile)
{
    return pictureName(tile->label_bg->pixmap());
}

inline QColor phoneColour(const QuorAgent *tile)
{
    return tile->label_phone->palette().color(QPalette::WindowText);
}

inline QColor directionColour(const QuorAgent *tile)
{
    return tile->label_direction->palette().color(QPalette::WindowText);
}
