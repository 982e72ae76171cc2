#pragma once

#include <QString>

namespace Version {

inline const char *const kMajor = "1";
inline const char *const kMinor = "0";
inline const char *const kType = "3";

// Shown to the user: major "." minor " " type.
inline QString text()
{
    return QLatin1String(kMajor) + QLatin1Char('.') + QLatin1String(kMinor) + QLatin1Char(' ') + QLatin1String(kType);
}

} // namespace Version
