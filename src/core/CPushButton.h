#pragma once

#include <QIcon>
#include <QPushButton>

// A flat push button that draws only its icon: the normal icon, or the hover
// icon while the mouse is over it, shifted one pixel while pressed.
class CPushButton : public QPushButton
{
    Q_OBJECT

public:
    explicit CPushButton(QWidget *parent = nullptr);

    // Puts a new CPushButton in place of a designed button (same parent, name,
    // size policy, limits, icon, icon size, geometry, tooltip and font) and
    // deletes the designed one. Connects nothing.
    static CPushButton *replace(QPushButton *designed);

    // A null icon changes nothing.
    void setNormalIcon(const QIcon &icon);
    void setHoverIcon(const QIcon &icon);
    QIcon normalIcon() const { return m_normal; }
    QIcon hoverIcon() const { return m_hover; }
    bool isHovered() const { return m_hovered; }

    // The hover image's resource name: "_h" before the extension.
    static QString hoverName(const QString &normalName);

signals:
    void mouseEnter();
    void mouseLeave();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    QIcon m_normal;
    QIcon m_hover;
    bool m_hovered = false;
};
