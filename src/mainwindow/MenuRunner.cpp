#include "mainwindow/MenuRunner.h"

#include <QMenu>

namespace {

MenuRunner::Function &current()
{
    static MenuRunner::Function function;
    return function;
}

} // namespace

namespace MenuRunner {

void run(QMenu *menu, const QPoint &globalPos)
{
    if (current())
        current()(menu);
    else
        menu->exec(globalPos);
}

void set(Function function)
{
    current() = std::move(function);
}

} // namespace MenuRunner
