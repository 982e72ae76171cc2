#pragma once

#include <QSystemTrayIcon>

#include <functional>

class QString;

// The one place where the main window shows a tray balloon. By default the
// tray icon shows it (QSystemTrayIcon::showMessage); tests put a function in
// its place that records it, since a headless desktop has no tray to show it.
namespace BalloonRunner {

using Function = std::function<void(
    QSystemTrayIcon *tray, const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon)>;

void run(QSystemTrayIcon *tray, const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon,
    int shownMs);
// An empty function restores the default.
void set(Function function);

} // namespace BalloonRunner
