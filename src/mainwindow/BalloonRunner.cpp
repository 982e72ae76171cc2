#include "mainwindow/BalloonRunner.h"

namespace {

BalloonRunner::Function &current()
{
    static BalloonRunner::Function function;
    return function;
}

} // namespace

namespace BalloonRunner {

void run(QSystemTrayIcon *tray, const QString &title, const QString &text, QSystemTrayIcon::MessageIcon icon,
    int shownMs)
{
    if (current())
        current()(tray, title, text, icon);
    else
        tray->showMessage(title, text, icon, shownMs);
}

void set(Function function)
{
    current() = std::move(function);
}

} // namespace BalloonRunner
