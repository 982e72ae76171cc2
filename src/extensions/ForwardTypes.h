#pragma once

#include <QString>
#include <QStringList>

// The forward types that the info popup and the forward dialog offer, and the
// tile's AstDB family of each. The tile's families come in the same order:
// all calls, busy, no answer.
namespace ForwardTypes {

inline QStringList names()
{
    return QStringList { QStringLiteral("All"), QStringLiteral("Busy"), QStringLiteral("No Answer") };
}

// The family of a type; a text that names no type keeps the current family.
inline QString familyOf(const QString &type, const QStringList &families, const QString &current)
{
    if (type == QLatin1String("All"))
        return families.value(0);
    if (type == QLatin1String("Busy"))
        return families.value(1);
    if (type.contains(QLatin1String("No")))
        return families.value(2);
    return current;
}

} // namespace ForwardTypes
