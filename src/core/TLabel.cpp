#include "core/TLabel.h"

#include <QMouseEvent>

#include "core/DesignedWidget.h"

TLabel::TLabel(QWidget *parent)
    : QLabel(parent)
{
}

void TLabel::setNormalPixmap(const QPixmap &pixmap)
{
    m_normal = pixmap;
    if (!underMouse() || m_hover.isNull())
        setPixmap(m_normal);
}

void TLabel::setHoverPixmap(const QPixmap &pixmap)
{
    m_hover = pixmap;
    if (underMouse() && !m_hover.isNull())
        setPixmap(m_hover);
}

void TLabel::enterEvent(QEnterEvent *event)
{
    if (!m_hover.isNull())
        setPixmap(m_hover);
    QLabel::enterEvent(event);
}

void TLabel::leaveEvent(QEvent *event)
{
    if (!m_normal.isNull())
        setPixmap(m_normal);
    QLabel::leaveEvent(event);
}

void TLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        emit pressed();
    }
    QLabel::mousePressEvent(event);
}

void TLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_pressed) {
        m_pressed = false;
        emit released();
        if (rect().contains(event->position().toPoint()))
            emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

TCustomLabel::TCustomLabel(QWidget *parent)
    : TLabel(parent)
{
}

TCustomLabel *TCustomLabel::replace(QLabel *designed)
{
    if (!designed)
        return nullptr;
    auto *label = new TCustomLabel(designed->parentWidget());
    copyDesignedProperties(*designed, label);
    label->setAlignment(designed->alignment());
    label->setPalette(designed->palette());
    label->setText(designed->text());
    delete designed;
    return label;
}

void TCustomLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    emit mouseDoubleClick(event, text());
    TLabel::mouseDoubleClickEvent(event);
}
