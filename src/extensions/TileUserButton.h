#pragma once

#include <QPushButton>

// The name strip across the top of a tile: its text in white, orange under
// the mouse and red while pressed elsewhere, with no frame and no background. It paints
// itself instead of carrying a style sheet: a sheet per tile costs each of
// thousands of tiles a parse and a polish of its own.
class TileUserButton : public QPushButton
{
    Q_OBJECT

public:
    explicit TileUserButton(QWidget *parent = nullptr);

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};
