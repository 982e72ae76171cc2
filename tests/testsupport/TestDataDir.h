#pragma once

#include <QString>
#include <QTemporaryDir>

// A private data directory for one test: Paths::dataDir() points into a fresh
// temporary directory for the helper's lifetime.
class TestDataDir
{
public:
    TestDataDir();
    ~TestDataDir();

    bool isValid() const { return m_dir.isValid(); }
    // Ends in "/".
    QString path() const;
    QString filePath(const QString &name) const { return path() + name; }

    // Writes bytes to a file in the directory (for fixtures); returns its path.
    QString write(const QString &name, const QByteArray &bytes) const;
    QByteArray read(const QString &name) const;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// The directory of checked-in fixtures (tests/data).
QString testDataPath(const QString &name);
