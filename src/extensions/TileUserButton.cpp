#include "extensions/TileUserButton.h"

#include <QPainter>
#include <QStyleOptionButton>

namespace {

const QColor kNormal(255, 255, 255);
const QColor kHover(255, 128, 0);
const QColor kPressed(203, 0, 0);
// Room kept free around the text: left, top, right, bottom.
constexpr int kPadLeft = 2;
constexpr int kPadTop = 0;
constexpr int kPadRight = 2;
constexpr int kPadBottom = 3;

} // namespace

TileUserButton::TileUserButton(QWidget *parent)
    : QPushButton(parent)
{
}

void TileUserButton::enterEvent(QEnterEvent *event)
{
    QPushButton::enterEvent(event);
    update();
}

void TileUserButton::leaveEvent(QEvent *event)
{
    QPushButton::leaveEvent(event);
    update();
}

void TileUserButton::paintEvent(QPaintEvent *)
{
    QStyleOptionButton option;
    initStyleOption(&option);
    // Under the mouse wins over pressed, as it always has for this strip.
    const QColor &colour = underMouse() ? kHover : isDown() ? kPressed : kNormal;
    option.palette.setColor(QPalette::ButtonText, colour);
    option.rect = rect().adjusted(kPadLeft, kPadTop, -kPadRight, -kPadBottom);
    // No frame and no pressed shift: only the label.
    option.state &= ~(QStyle::State_Sunken | QStyle::State_On);
    QPainter painter(this);
    style()->drawControl(QStyle::CE_PushButtonLabel, &option, &painter, this);
}
