#include "mainwindow/BoxRunner.h"

#include <QMessageBox>

namespace {

BoxRunner::Function &current()
{
    static BoxRunner::Function function;
    return function;
}

} // namespace

namespace BoxRunner {

void run(QMessageBox *box)
{
    if (current())
        current()(box);
    else
        box->exec();
}

void set(Function function)
{
    current() = std::move(function);
}

} // namespace BoxRunner
