#pragma once

#include <QHash>
#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTest>

#include "extensions/QuorAgent.h"
#include "extensions/QuorAgentInfo.h"

// One row of a test table; C strings go into QString columns.
template<typename... Values>
void addCase(const char *name, const Values &...values)
{
    (QTest::newRow(name) << ... << values);
}

// The name of a shared picture a label shows, so that tests can say which.
inline QString pictureName(const QPixmap &shown)
{
    const AgentImages *im = QuorAgent::images;
    const std::pair<const char *, const QPixmap *> all[]
        = { { "str_no_avail", &im->str_no_avail }, { "bg_no_avail", &im->bg_no_avail },
              { "str_available", &im->str_available }, { "bg_avail", &im->bg_avail }, { "str_queue", &im->str_queue },
              { "bg_queue", &im->bg_queue }, { "bg_active", &im->bg_active }, { "str_calling", &im->str_calling },
              { "bg_ringing", &im->bg_ringing }, { "str_ringing", &im->str_ringing }, { "str_ring", &im->str_ring },
              { "str_hold", &im->str_hold }, { "bg_hold", &im->bg_hold }, { "str_offhook", &im->str_offhook },
              { "bg_offhook", &im->bg_offhook }, { "str_dnd", &im->str_dnd }, { "bg_dnd", &im->bg_dnd },
              { "str_fwd", &im->str_fwd }, { "bg_fwd", &im->bg_fwd }, { "str_parked", &im->str_parked } };
    for (const auto &[name, picture] : all) {
        // The form's own pictures are loaded apart from the set.
        if (picture->cacheKey() == shown.cacheKey() || picture->toImage() == shown.toImage())
            return QLatin1String(name);
    }
    return QStringLiteral("?");
}

// What a tile shows and holds: state, pictures, labels, stored direction, call
// time, flags and the records bound and linked.
inline QString lookOf(const QuorAgent *t)
{
    QString look = QStringLiteral("%1 %2/%3 \"%4\" \"%5\"")
                       .arg(int(t->state))
                       .arg(pictureName(t->label_status->pixmap()), pictureName(t->label_bg->pixmap()),
                           t->label_phone->text(), t->label_direction->text());
    if (t->direction != t->label_direction->text())
        look += QStringLiteral(" (") + t->direction + QLatin1Char(')');
    if (!t->label_time->text().isEmpty())
        look += QLatin1Char(' ') + t->label_time->text();
    look += QStringLiteral(" |");
    const std::pair<const char *, bool> flags[] = { { " free", t->free }, { " dnd", t->dnd },
        { " forward", t->forward }, { " parked", t->parked }, { " inQueue", t->inQueue } };
    for (const auto &[name, on] : flags)
        look += on ? QLatin1String(name) : QLatin1String();
    if (t->inQueue)
        look += QLatin1Char(':') + t->queue;
    if (t->channel)
        look += QStringLiteral(" bound:") + t->channel->uniqueid;
    if (t->linkedChannel)
        look += QStringLiteral(" linked:") + t->linkedChannel->uniqueid;
    return look;
}

// The tiles (forward families CF, CFB, CFU; DND) and records of one test.
struct TileSet
{
    ~TileSet() { clear(); }

    QuorAgent *tile(const QString &extension = QStringLiteral("101"), const QString &tech = QStringLiteral("SIP"))
    {
        auto *t = new QuorAgent(phone, extension, &channels, tech);
        t->addFwdFamilies(QStringLiteral("CF"), QStringLiteral("CFB"), QStringLiteral("CFU"));
        t->setDndFamily(QStringLiteral("DND"));
        t->updateInfo();
        tiles << t;
        return t;
    }

    // A tile of "ext" or "ext:caller name", technology SIP unless "IAX/" leads.
    QuorAgent *operator()(const QString &tileText)
    {
        const bool iax = tileText.startsWith(QLatin1String("IAX/"));
        QuorAgent *t = tile(
            tileText.mid(iax ? 4 : 0).section(QLatin1Char(':'), 0, 0), iax ? QStringLiteral("IAX") : QStringLiteral("SIP"));
        if (tileText.contains(QLatin1Char(':')))
            t->setCallerIdName(tileText.section(QLatin1Char(':'), 1));
        return t;
    }

    Channel *record(const QString &uniqueid, const QString &name, const QString &callerId = QString(),
        const QString &callerIdName = QString(), const QString &state = QStringLiteral("Up"))
    {
        channels << new Channel(uniqueid, name, callerId, callerIdName, state);
        return channels.last();
    }

    // The first record of that id.
    Channel *find(const QString &uniqueid) const
    {
        const auto it
            = std::find_if(channels.begin(), channels.end(), [&](Channel *c) { return c->uniqueid == uniqueid; });
        return it == channels.end() ? nullptr : *it;
    }

    // A record "1.1" of the tile's extension in that state, bound to the tile.
    Channel *bind(QuorAgent *t, const QString &state = QStringLiteral("Up"))
    {
        const QString tech = t->tech == QLatin1String("IAX") ? QStringLiteral("IAX2") : t->tech;
        Channel *ch = record(QStringLiteral("1.1"), tech + QLatin1Char('/') + t->extension + QStringLiteral("-1"),
            QString(), QString(), state);
        return t->setChannel(ch) ? ch : nullptr;
    }

    // Runs steps "verb:argument;..." on a tile and its records 1.1 (bound) and
    // 1.2 (other: of 102; waiting: of the same extension, linked to 9.2).
    void run(QuorAgent *t, const QString &steps)
    {
        using Step = void (*)(TileSet &, QuorAgent *, const QString &);
        static const QHash<QString, Step> verbs {
            { "idle", [](TileSet &, QuorAgent *t, const QString &) { t->setIdle(); } },
            { "unavailable", [](TileSet &, QuorAgent *t, const QString &) { t->setUnavailable(); } },
            { "active", [](TileSet &, QuorAgent *t, const QString &) { t->setActive(); } },
            { "forwarded", [](TileSet &, QuorAgent *t, const QString &) { t->setForwarded(); } },
            { "unparked", [](TileSet &, QuorAgent *t, const QString &) { t->setUnparked(); } },
            { "dnd", [](TileSet &, QuorAgent *t, const QString &) { t->setDndState(true); } },
            { "nodnd", [](TileSet &, QuorAgent *t, const QString &) { t->setDndState(false); } },
            { "fwd",
                [](TileSet &, QuorAgent *t, const QString &n) { t->setFwdState(true, n, QStringLiteral("CFB")); } },
            { "nofwd",
                [](TileSet &, QuorAgent *t, const QString &) { t->setFwdState(false, {}, QStringLiteral("CFB")); } },
            { "state", [](TileSet &, QuorAgent *t, const QString &n) { t->setState(TAgentState(n.toInt())); } },
            { "fwdNumber", [](TileSet &, QuorAgent *t, const QString &n) { t->fwdNumber = n; } },
            { "details", [](TileSet &, QuorAgent *t, const QString &) { t->updateInfo(); } }, // arrived again
            { "peer",
                [](TileSet &, QuorAgent *t, const QString &p) {
                    t->peerText = p;
                    t->updatePeerLabel();
                } },
            { "privacy", [](TileSet &, QuorAgent *t, const QString &) { t->setPrivacy(true); } },
            { "tech", [](TileSet &, QuorAgent *t, const QString &a) { t->tech = a; } },
            { "set",
                [](TileSet &, QuorAgent *t, const QString &f) {
                    t->dnd |= f.contains(QLatin1String("dnd"));
                    t->forward |= f.contains(QLatin1String("forward"));
                    t->parked |= f.contains(QLatin1String("parked"));
                    t->inQueue |= f.contains(QLatin1String("inQueue"));
                } },
            { "bind", [](TileSet &s, QuorAgent *t, const QString &state) { s.bind(t, state); } },
            { "chan", [](TileSet &s, QuorAgent *, const QString &state) { s.find("1.1")->setState(state); } },
            { "chan2", [](TileSet &s, QuorAgent *, const QString &state) { s.find("1.2")->setState(state); } },
            { "join",
                [](TileSet &s, QuorAgent *t, const QString &q) {
                    t->setQueueName(q);
                    s.find("1.1")->joinQueue(q);
                } },
            { "leave", [](TileSet &s, QuorAgent *, const QString &) { s.find("1.1")->leaveQueue(); } },
            { "park",
                [](TileSet &s, QuorAgent *t, const QString &p) {
                    t->setParkSlot(p);
                    s.find("1.1")->park(p);
                } },
            { "other",
                [](TileSet &s, QuorAgent *, const QString &a) {
                    s.record("1.2", "SIP/102-1", a.section(QLatin1Char(','), 0, 0), a.section(QLatin1Char(','), 1));
                } },
            { "link", [](TileSet &s, QuorAgent *, const QString &) { s.find("1.1")->link("1.2"); } },
            { "linkBack",
                [](TileSet &s, QuorAgent *, const QString &) { emit s.find("1.1")->linkEvent("1.2", "1.1"); } },
            { "tick", [](TileSet &s, QuorAgent *, const QString &text) { emit s.find("1.1")->timeoutEvent(text); } },
            { "waiting",
                [](TileSet &s, QuorAgent *t, const QString &name) {
                    s.find("1.1")->link("9.1");
                    s.record("9.2", "SIP/300-1", "5550002");
                    s.record("1.2", name, t->extension)->linkedTo = QStringLiteral("9.2");
                } },
            { "hangup", [](TileSet &s, QuorAgent *, const QString &) { s.find("1.1")->hangup(); } },
            { "drop", // a hangup whose record then leaves the list, as the panel's does
                [](TileSet &s, QuorAgent *, const QString &id) {
                    s.find(id)->hangup();
                    delete s.channels.takeAt(s.channels.indexOf(s.find(id)));
                } },
            { "gone",
                [](TileSet &s, QuorAgent *, const QString &) {
                    qDeleteAll(s.channels);
                    s.channels.clear();
                } },
        };
        for (const QString &step : steps.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const Step verb = verbs.value(step.section(QLatin1Char(':'), 0, 0));
            if (!verb)
                qFatal("unknown step %s", qPrintable(step));
            verb(*this, t, step.section(QLatin1Char(':'), 1));
        }
    }

    void clear()
    {
        for (const QPointer<QuorAgent> &t : std::as_const(tiles))
            delete t.data();
        tiles.clear();
        qDeleteAll(channels);
        channels.clear();
    }

    TQuorPhone *phone = nullptr;
    QList<Channel *> channels;
    QList<QPointer<QuorAgent>> tiles;
};
