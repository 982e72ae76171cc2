#pragma once

#include <QString>

#include "ami/AmiAction.h"

// The AMI texts that write an extension's DND or forward entry into the PBX's
// database and announce the change, so that every connected client re-reads
// it. Each inserted value is made safe: typed numbers must not add lines.
namespace AstDbAction {

inline QString put(const QString &family, const QString &key, const QString &value)
{
    return QStringLiteral("Action: command\r\nCommand: database put ") + AmiAction::value(family) + QLatin1Char(' ')
        + AmiAction::value(key) + QLatin1Char(' ') + AmiAction::value(value) + QStringLiteral("\r\n\r\n");
}

inline QString del(const QString &family, const QString &key)
{
    return QStringLiteral("Action: command\r\nCommand: database del ") + AmiAction::value(family) + QLatin1Char(' ')
        + AmiAction::value(key) + QStringLiteral("\r\n\r\n");
}

inline QString userEvent(const QString &family, const QString &key)
{
    return QStringLiteral("Action: UserEvent\r\nAct: ") + AmiAction::value(family) + QStringLiteral("\r\nUser: ")
        + AmiAction::value(key) + QStringLiteral("\r\n\r\n");
}

} // namespace AstDbAction
