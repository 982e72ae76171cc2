#include "core/TQuorCall.h"

#include <QMimeData>
#include <QMutex>
#include <QSet>

namespace {

// Every live record, so that a drag payload naming an address is resolved only
// when that address is a record of ours that still exists.
QSet<quintptr> &registry()
{
    static QSet<quintptr> set;
    return set;
}

QMutex &registryMutex()
{
    static QMutex mutex;
    return mutex;
}

} // namespace

TQuorCall::TQuorCall()
{
    QMutexLocker lock(&registryMutex());
    registry().insert(reinterpret_cast<quintptr>(this));
}

TQuorCall::~TQuorCall()
{
    QMutexLocker lock(&registryMutex());
    registry().remove(reinterpret_cast<quintptr>(this));
}

void TQuorCall::setState(int newState)
{
    previousState = state;
    state = newState;
}

QByteArray TQuorCall::dragPayload() const
{
    return QByteArray::number(static_cast<qulonglong>(reinterpret_cast<quintptr>(this)));
}

TQuorCall *TQuorCall::fromPayload(const QByteArray &payload)
{
    bool ok = false;
    const qulonglong value = payload.trimmed().toULongLong(&ok);
    if (!ok || value == 0)
        return nullptr;
    QMutexLocker lock(&registryMutex());
    const auto address = static_cast<quintptr>(value);
    if (!registry().contains(address))
        return nullptr;
    return reinterpret_cast<TQuorCall *>(address);
}

TQuorCall *TQuorCall::fromMimeData(const QMimeData *data)
{
    if (!data || !data->hasFormat(QLatin1String(mimeType())))
        return nullptr;
    return fromPayload(data->data(QLatin1String(mimeType())));
}

bool TQuorCall::isLive(const TQuorCall *call)
{
    if (!call)
        return false;
    QMutexLocker lock(&registryMutex());
    return registry().contains(reinterpret_cast<quintptr>(call));
}
