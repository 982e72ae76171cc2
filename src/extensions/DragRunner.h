#pragma once

#include <Qt>

#include <functional>

class QDrag;
class QDropEvent;

// The one place where the panel's drags run. By default a drag runs the
// platform's drag loop (QDrag::exec), which some platforms do not have; tests
// put a function in its place that does what a user does while the drag runs.
namespace DragRunner {

using Function = std::function<void(QDrag *drag)>;

// Runs the drag; the drag is deleted later, as after QDrag::exec.
void exec(QDrag *drag, Qt::DropActions actions);
// An empty function restores the default.
void set(Function function);
// Whether a drop comes from a drag of this process: one whose source the
// platform names, or the one that exec() is running.
bool fromThisProcess(const QDropEvent *event);

} // namespace DragRunner
