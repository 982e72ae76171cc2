#include "testsupport/TestDataDir.h"

#include <QDir>
#include <QFile>

#include "core/Paths.h"

TestDataDir::TestDataDir()
    : m_previous(Paths::dataDir())
{
    Paths::setDataDir(m_dir.path() + QLatin1String("/.quor/"));
}

TestDataDir::~TestDataDir()
{
    Paths::setDataDir(m_previous);
}

QString TestDataDir::path() const
{
    return Paths::dataDir();
}

QString TestDataDir::write(const QString &name, const QByteArray &bytes) const
{
    const QString p = filePath(name);
    QFile f(p);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
    return p;
}

QByteArray TestDataDir::read(const QString &name) const
{
    QFile f(filePath(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QString testDataPath(const QString &name)
{
    return QDir(QLatin1String(QUOR_TEST_DATA_DIR)).filePath(name);
}
