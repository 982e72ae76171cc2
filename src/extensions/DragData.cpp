#include "extensions/DragData.h"

QByteArray DragData::tilePayload(const QString &extension, const QString &group)
{
    return extension.toUtf8() + ',' + group.toUtf8();
}

QString DragData::text(const QByteArray &payload)
{
    const qsizetype nul = payload.indexOf('\0');
    return QString::fromUtf8(nul < 0 ? payload : payload.left(nul));
}

void DragData::splitTile(const QByteArray &payload, QString *extension, QString *group)
{
    const QString all = text(payload);
    const qsizetype comma = all.indexOf(QLatin1Char(','));
    if (comma < 0) {
        extension->clear();
        group->clear();
        return;
    }
    *extension = all.left(comma);
    *group = all.mid(comma + 1);
}
