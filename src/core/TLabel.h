#pragma once

#include <QLabel>
#include <QPixmap>

// A picture label with a hover picture and clicked, pressed and released signals.
class TLabel : public QLabel
{
    Q_OBJECT

public:
    explicit TLabel(QWidget *parent = nullptr);

    void setNormalPixmap(const QPixmap &pixmap);
    void setHoverPixmap(const QPixmap &pixmap);

signals:
    void clicked();
    void pressed();
    void released();

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    QPixmap m_normal;
    QPixmap m_hover;
    bool m_pressed = false;
};

// A label that reports a double click together with its own text.
class TCustomLabel : public TLabel
{
    Q_OBJECT

public:
    explicit TCustomLabel(QWidget *parent = nullptr);

    // Puts a new TCustomLabel in place of a designed label (same parent, name,
    // size policy, limits, alignment, palette, text, geometry, tooltip and font)
    // and deletes the designed one. A caller that had the label in a layout puts
    // the replacement into the layout itself.
    static TCustomLabel *replace(QLabel *designed);

signals:
    void mouseDoubleClick(QMouseEvent *event, QString text);

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};
