#include "extensions/DragRunner.h"

#include <QDrag>
#include <QDropEvent>
#include <QPointer>

namespace {

DragRunner::Function &current()
{
    static DragRunner::Function function;
    return function;
}

int running = 0;

} // namespace

namespace DragRunner {

void exec(QDrag *drag, Qt::DropActions actions)
{
    ++running;
    if (current()) {
        const QPointer<QDrag> guard(drag);
        current()(drag);
        if (guard)
            guard->deleteLater();
    } else {
        drag->exec(actions);
    }
    --running;
}

void set(Function function)
{
    current() = std::move(function);
}

bool fromThisProcess(const QDropEvent *event)
{
    return event->source() || running > 0;
}

} // namespace DragRunner
