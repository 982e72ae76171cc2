#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMouseEvent>

#include <functional>

// Lets a widget whose face is mostly one button be dragged by that button: a
// move of the drag distance from where the left button went down on it
// starts the owner's drag, while a click that trembles less still clicks.
class ButtonDrag : public QObject
{
public:
    ButtonDrag(QAbstractButton *button, std::function<void()> startDrag)
        : QObject(button)
        , m_button(button)
        , m_startDrag(std::move(startDrag))
    {
        button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched != m_button)
            return false;
        if (event->type() == QEvent::MouseButtonPress) {
            const auto *press = static_cast<QMouseEvent *>(event);
            if (press->button() == Qt::LeftButton)
                m_press = press->position().toPoint();
        } else if (event->type() == QEvent::MouseMove) {
            const auto *move = static_cast<QMouseEvent *>(event);
            if ((move->buttons() & Qt::LeftButton)
                && (move->position().toPoint() - m_press).manhattanLength() >= QApplication::startDragDistance()) {
                // The drag takes the release: the button must not stay down.
                m_startDrag();
                m_button->setDown(false);
                return true;
            }
        }
        return false;
    }

private:
    QAbstractButton *m_button;
    std::function<void()> m_startDrag;
    QPoint m_press;
};
