#include "core/Paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QMutex>
#include <QStandardPaths>

#include "core/Logger.h"

namespace {

struct PathSet
{
    QString data;
    QString resources;
    QString plugins;
    QString translations;
    QString temp;
};

QMutex &pathMutex()
{
    static QMutex mutex;
    return mutex;
}

PathSet &paths()
{
    static PathSet set;
    return set;
}

QString withSlash(const QString &path)
{
    return path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/');
}

} // namespace

namespace Paths {

void init()
{
    const QString appDir = QCoreApplication::applicationDirPath();
    QDir parent(appDir);
    parent.cdUp();

    QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty())
        data = QDir::homePath();
    data = withSlash(data) + QLatin1String(".quor/");

    {
        QMutexLocker lock(&pathMutex());
        PathSet &p = paths();
        p.resources = appDir + QLatin1String("/../Resources/");
        p.plugins = parent.absolutePath() + QLatin1String("/PlugIns");
        p.translations = appDir + QLatin1String("/../Resources/translations/");
        p.temp = withSlash(QDir::tempPath());
    }
    setDataDir(data);
}

QString dataDir()
{
    QMutexLocker lock(&pathMutex());
    return paths().data;
}

QString resourcesDir()
{
    QMutexLocker lock(&pathMutex());
    return paths().resources;
}

QString pluginPath()
{
    QMutexLocker lock(&pathMutex());
    return paths().plugins;
}

QString translationsDir()
{
    QMutexLocker lock(&pathMutex());
    return paths().translations;
}

QString tempDir()
{
    QMutexLocker lock(&pathMutex());
    return paths().temp;
}

QString dataFile(const QString &name)
{
    if (name.isEmpty() || QDir::isAbsolutePath(name))
        return name;
    return dataDir() + name;
}

void setDataDir(const QString &dir)
{
    const QString data = dir.isEmpty() ? QString() : withSlash(dir);
    {
        QMutexLocker lock(&pathMutex());
        paths().data = data;
    }
    if (!data.isEmpty() && !QDir().mkpath(data))
        Logger::warning(QStringLiteral("Could not create the data directory %1").arg(data));
}

} // namespace Paths
