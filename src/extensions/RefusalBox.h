#pragma once

#include <QString>

#include <functional>

class QWidget;

// The information box by which a tile, its info popup or the forward dialog
// refuses a user action: parented, one Ok button (also the default), window
// opacity 0.9, modal. Returns when the box is closed.
namespace RefusalBox {

void show(QWidget *parent, const QString &title, const QString &text);

// Replaces the modal box (tests): receives the parent, title and text.
using Handler = std::function<void(QWidget *parent, const QString &title, const QString &text)>;
void setHandler(Handler handler);

} // namespace RefusalBox
