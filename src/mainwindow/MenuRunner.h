#pragma once

#include <functional>

class QMenu;
class QPoint;

// The one place where a context menu of the call windows waits for the user.
// By default the menu runs modally at the given global position (QMenu::exec);
// tests put a function in its place that acts at once, by triggering one of
// the menu's actions or none.
namespace MenuRunner {

using Function = std::function<void(QMenu *menu)>;

void run(QMenu *menu, const QPoint &globalPos);
// An empty function restores the default.
void set(Function function);

} // namespace MenuRunner
