#include "core/TQuorCall.h"

#include <QHash>
#include <QMimeData>
#include <QMutex>

namespace {

// Every live record by address, with its serial, so that drag data is resolved
// only when it names a record of ours that still exists and is the same one.
struct Registry
{
    QMutex mutex;
    QHash<quintptr, quint64> serials;
    quint64 lastSerial = 0;
};

Registry &registry()
{
    static Registry r;
    return r;
}

quint64 registerCall(const TQuorCall *call)
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    const quint64 serial = ++r.lastSerial;
    r.serials.insert(reinterpret_cast<quintptr>(call), serial);
    return serial;
}

// An unsigned decimal number; 0 when the text is not one.
qulonglong decimal(const QByteArray &text)
{
    bool ok = false;
    const qulonglong value = text.trimmed().toULongLong(&ok);
    return ok ? value : 0;
}

} // namespace

TQuorCall::TQuorCall()
    : m_serial(registerCall(this))
{
}

TQuorCall::~TQuorCall()
{
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    r.serials.remove(reinterpret_cast<quintptr>(this));
}

void TQuorCall::setState(int newState)
{
    previousState = state;
    state = newState;
}

QString TQuorCall::cleanNumber(const QString &number)
{
    QString result;
    result.reserve(number.size());
    for (const QChar c : number) {
        const QChar::Category category = c.category();
        if (category == QChar::Other_Control || category == QChar::Separator_Line
            || category == QChar::Separator_Paragraph)
            continue;
        result.append(c);
    }
    return result.trimmed();
}

QMimeData *TQuorCall::toMimeData() const
{
    auto *data = new QMimeData;
    data->setData(
        QLatin1String(mimeType()), QByteArray::number(static_cast<qulonglong>(reinterpret_cast<quintptr>(this))));
    data->setData(QLatin1String(serialMimeType()), QByteArray::number(m_serial));
    return data;
}

TQuorCall *TQuorCall::fromMimeData(const QMimeData *data)
{
    if (!data || !data->hasFormat(QLatin1String(mimeType())) || !data->hasFormat(QLatin1String(serialMimeType())))
        return nullptr;
    const qulonglong address = decimal(data->data(QLatin1String(mimeType())));
    const qulonglong serial = decimal(data->data(QLatin1String(serialMimeType())));
    if (address == 0 || serial == 0)
        return nullptr;
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    const auto it = r.serials.constFind(static_cast<quintptr>(address));
    if (it == r.serials.constEnd() || it.value() != serial)
        return nullptr;
    return reinterpret_cast<TQuorCall *>(static_cast<quintptr>(address));
}

bool TQuorCall::isLive(const TQuorCall *call)
{
    if (!call)
        return false;
    Registry &r = registry();
    QMutexLocker lock(&r.mutex);
    return r.serials.contains(reinterpret_cast<quintptr>(call));
}
