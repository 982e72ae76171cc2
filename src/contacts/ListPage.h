#pragma once

#include <QString>

#include <functional>

class QKeyEvent;
class QWidget;
class TQuorTableScroll;

// What the address book and the LDAP server page share: one key table and the
// place of their list's scroll bar.
namespace ListPage {

// What a page does for each of its keys.
struct KeyActions
{
    std::function<void()> enter; // Return or Enter
    std::function<void()> escape;
    std::function<void()> add; // Ctrl+N
    std::function<void()> edit; // Ctrl+E
    std::function<void()> remove; // Backspace, Delete or Clear
    // F1, F2, F3, Alt+S, Alt+L: the phone page asked for.
    std::function<void(const QString &page)> menu;
};

// Runs the page's action for the key and consumes the key either way. A named
// modifier must be the only one held.
void handleKey(QKeyEvent *event, const KeyActions &actions);

// The widget that carries a page's scroll bar once the page has a parent: the
// parent's own parent, else the parent, so that the bar never becomes a
// window of its own.
QWidget *scrollHost(QWidget *parent, QWidget *page);

// Lays the bar along the right edge of the list; nothing while the bar's
// parent does not hold the list.
void placeScroll(TQuorTableScroll *bar, QWidget *list);

} // namespace ListPage
