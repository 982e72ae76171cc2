#pragma once

#include <QDir>
#include <QString>
#include <QWidget>

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
