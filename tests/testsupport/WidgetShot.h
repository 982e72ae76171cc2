#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>
#include <QWidget>

#include <cstdio>

// Renders a widget offscreen to a PNG so that a person can look at what a test
// showed. The file goes to $QUOR_SCREENSHOT_DIR when set, else into the test's
// sandbox; returns the path, or an empty string when it could not be written.
inline QString saveWidgetShot(QWidget *widget, const QString &name)
{
    QString dir = qEnvironmentVariable("QUOR_SCREENSHOT_DIR");
    if (dir.isEmpty())
        dir = qEnvironmentVariable("QUOR_TEST_SANDBOX", QDir::tempPath());
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(name + QLatin1String(".png"));
    widget->ensurePolished();
    if (!widget->grab().save(path))
        return {};
    return path;
}

// For the screenshot tools: the pictures go to the folder named by the first
// argument (else the current one), created when missing; returns its path.
inline QString useShotDirFromArguments(int argc, char **argv)
{
    const QString dir = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath()).absolutePath();
    QDir().mkpath(dir);
    qputenv("QUOR_SCREENSHOT_DIR", QFile::encodeName(dir));
    return dir;
}

// Lets pending paints land, saves the picture and prints where it went.
inline bool printWidgetShot(QWidget *widget, const QString &name)
{
    QTest::qWait(50);
    const QString path = saveWidgetShot(widget, name);
    std::printf("%s\n", qPrintable(path.isEmpty() ? QStringLiteral("could not write ") + name : path));
    return !path.isEmpty();
}
