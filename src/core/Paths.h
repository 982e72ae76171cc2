#pragma once

#include <QString>

// Locations of the program's files, set once at start-up by Paths::init().
namespace Paths {

// Sets every path from the application directory and the standard locations and
// creates the data directory. Needs a QCoreApplication.
void init();

// The user's data directory (generic data location + "/.quor/"), ending in "/".
QString dataDir();
// Shipped resources: application directory + "/../Resources/".
QString resourcesDir();
// Qt plug-ins: the application directory's parent + "/PlugIns".
QString pluginPath();
// Translations: application directory + "/../Resources/translations/".
QString translationsDir();
QString tempDir();

// A relative file name resolved in the data directory; absolute paths unchanged.
QString dataFile(const QString &name);

// For tests: point the data directory elsewhere (ends in "/" after the call).
void setDataDir(const QString &dir);

} // namespace Paths
