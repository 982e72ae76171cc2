#pragma once

#include <QString>

namespace Version {

inline const char *const major = "1";
inline const char *const minor = "0";
inline const char *const type = "3";

// Shown to the user: major "." minor " " type.
inline QString text()
{
    return QLatin1String(major) + QLatin1Char('.') + QLatin1String(minor) + QLatin1Char(' ') + QLatin1String(type);
}

} // namespace Version
