#pragma once

#include <QLabel>
#include <QStringList>
#include <QTableWidget>
#include <QTextDocument>

// The PBX events that drive the queue and parked windows, as their lines, and
// what a test reads back from those windows.
namespace CallEvents {

inline QString line(const char *key, const QString &value)
{
    return QLatin1String(key) + QLatin1String(": ") + value;
}

inline QStringList newchannel(const QString &channel, const QString &uid, const QString &state,
    const QString &callerId = QStringLiteral("300"), const QString &callerIdNum = QString())
{
    return { "Event: Newchannel", line("Channel", channel), line("State", state), line("CallerID", callerId),
        line("CallerIDNum", callerIdNum), line("Uniqueid", uid) };
}

inline QStringList join(
    const QString &channel, const QString &uid, const QString &queue, const QString &callerId = QStringLiteral("300"))
{
    return { "Event: Join", line("Channel", channel), line("CallerID", callerId), line("CallerIDName", "Anna"),
        line("Queue", queue), line("Position", "1"), line("Count", "1"), line("Uniqueid", uid) };
}

inline QStringList bridge(const char *event, const QString &c1, const QString &u1, const QString &c2, const QString &u2)
{
    return { QLatin1String("Event: ") + QLatin1String(event), line("Channel1", c1), line("Channel2", c2),
        line("Uniqueid1", u1), line("Uniqueid2", u2), line("CallerID1", "300"), line("CallerID2", "101") };
}

inline QStringList hangup(const QString &channel, const QString &uid)
{
    QStringList lines { "Event: Hangup", line("Channel", channel) };
    if (!uid.isNull())
        lines << line("Uniqueid", uid);
    return lines << "Cause: 16";
}

inline QStringList parked(
    const QString &channel, const QString &space, const QString &from, const QString &callerId = QStringLiteral("0612"))
{
    return { "Event: ParkedCall", line("Exten", space), line("Channel", channel), line("From", from),
        line("Timeout", "45"), line("CallerID", callerId), line("CallerIDName", "Anna") };
}

inline QStringList leftPark(const char *event, const QString &channel)
{
    return { QLatin1String("Event: ") + QLatin1String(event), line("Exten", "701"), line("Channel", channel),
        line("CallerID", "0612") };
}

inline QStringList rename(const QString &oldName, const QString &newName, const QString &uid, const QString &newUid)
{
    return { "Event: Rename", line("Oldname", oldName), line("Newname", newName), line("Uniqueid", uid),
        line("NewUniqueid", newUid) };
}

// The hidden items of every row, "|" between a row's items.
inline QStringList keys(const QTableWidget *table)
{
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row) {
        QStringList items;
        for (int column = 1; column < table->columnCount(); ++column)
            items << (table->item(row, column) ? table->item(row, column)->text() : QStringLiteral("<none>"));
        rows << items.join(QLatin1Char('|'));
    }
    return rows;
}

// The text a label shows, markup resolved.
inline QString shown(const QLabel *label)
{
    if (label->textFormat() == Qt::PlainText)
        return label->text();
    QTextDocument document;
    document.setHtml(label->text());
    return document.toPlainText();
}

} // namespace CallEvents
