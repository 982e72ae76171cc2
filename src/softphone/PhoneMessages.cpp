#include "softphone/PhoneMessages.h"

#include <QString>

namespace PhoneMessages {

TRowType rowType(int messageType)
{
    return messageType == MessageError ? RowMissed : RowInformation;
}

QColor colour(int messageType)
{
    switch (messageType) {
    case MessageWarning:
        return QColor(Qt::yellow);
    case MessageError:
        return QColor(Qt::red);
    default:
        return QColor(Qt::darkGreen);
    }
}

QString styleSheet(int messageType)
{
    return QStringLiteral("color: %1;").arg(colour(messageType).name());
}

} // namespace PhoneMessages
