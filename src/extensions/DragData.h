#pragma once

#include <QByteArray>
#include <QString>

class QMimeData;

// The two drag formats of the panel. A tile carries "txt/ext": its extension,
// "," and its group's name; a group header carries "group/ext": its name. Both
// are written as UTF-8 and read as UTF-8 up to the first NUL byte.
namespace DragData {

inline constexpr char kTileFormat[] = "txt/ext";
inline constexpr char kGroupFormat[] = "group/ext";

QByteArray tilePayload(const QString &extension, const QString &group);

// The text of a payload: UTF-8 up to its first NUL byte.
QString text(const QByteArray &payload);

// Extension and group of a "txt/ext" payload, split at the first comma (group
// names may hold commas, peer names do not). Without a comma both are empty.
void splitTile(const QByteArray &payload, QString *extension, QString *group);

} // namespace DragData
