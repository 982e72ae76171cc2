#include "core/CPushButton.h"

#include <QEnterEvent>
#include <QFileInfo>
#include <QPainter>

#include "core/DesignedWidget.h"

CPushButton::CPushButton(QWidget *parent)
    : QPushButton(parent)
{
    setFlat(true);
    setCursor(Qt::PointingHandCursor);
}

CPushButton *CPushButton::replace(QPushButton *designed)
{
    if (!designed)
        return nullptr;
    auto *button = new CPushButton(designed->parentWidget());
    copyDesignedProperties(*designed, button);
    button->setNormalIcon(designed->icon());
    button->setIconSize(designed->iconSize());
    button->setEnabled(true);
    delete designed;
    return button;
}

void CPushButton::setNormalIcon(const QIcon &icon)
{
    if (icon.isNull())
        return;
    m_normal = icon;
    if (!m_hovered || m_hover.isNull())
        setIcon(m_normal);
    update();
}

void CPushButton::setHoverIcon(const QIcon &icon)
{
    if (icon.isNull())
        return;
    m_hover = icon;
    if (m_hovered)
        setIcon(m_hover);
    update();
}

QString CPushButton::hoverName(const QString &normalName)
{
    const int dot = normalName.lastIndexOf(QLatin1Char('.'));
    const int slash = normalName.lastIndexOf(QLatin1Char('/'));
    if (dot <= slash)
        return normalName + QLatin1String("_h");
    return normalName.left(dot) + QLatin1String("_h") + normalName.mid(dot);
}

void CPushButton::enterEvent(QEnterEvent *event)
{
    m_hovered = true;
    if (!m_hover.isNull())
        setIcon(m_hover);
    emit mouseEnter();
    QPushButton::enterEvent(event);
}

void CPushButton::leaveEvent(QEvent *event)
{
    m_hovered = false;
    if (!m_normal.isNull())
        setIcon(m_normal);
    emit mouseLeave();
    QPushButton::leaveEvent(event);
}

void CPushButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QIcon &current = (m_hovered && !m_hover.isNull()) ? m_hover : m_normal;
    if (current.isNull()) {
        // No icon: draw nothing but the text, so a designed text button stays usable.
        painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
        painter.drawText(rect().translated(isDown() ? 1 : 0, isDown() ? 1 : 0), Qt::AlignCenter, text());
        return;
    }
    const QSize size = iconSize().isValid() ? iconSize() : this->size();
    const QPixmap pixmap = current.pixmap(size, isEnabled() ? QIcon::Normal : QIcon::Disabled);
    QPoint topLeft((width() - pixmap.width() / pixmap.devicePixelRatio()) / 2,
                   (height() - pixmap.height() / pixmap.devicePixelRatio()) / 2);
    if (isDown())
        topLeft += QPoint(1, 1);
    painter.drawPixmap(topLeft, pixmap);
}
