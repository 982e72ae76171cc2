#pragma once

#include <functional>

class QMessageBox;

// The one place where a question box of the main window waits for the user.
// By default the box runs modally (QMessageBox::exec); tests put a function in
// its place that answers at once, by clicking one of the box's buttons or not.
// Callers read the answer from QMessageBox::clickedButton() afterwards.
namespace BoxRunner {

using Function = std::function<void(QMessageBox *box)>;

void run(QMessageBox *box);
// An empty function restores the default.
void set(Function function);

} // namespace BoxRunner
