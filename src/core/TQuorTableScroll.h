#pragma once

#include <QWidget>

class CPushButton;
class QScrollBar;

// The vertical scroll bar of a TQuorTable: an up button, a bar and a down
// button. The table sets its range in rows and follows its value; the bar is
// attached to one table at a time.
class TQuorTableScroll : public QWidget
{
    Q_OBJECT

public:
    explicit TQuorTableScroll(QWidget *parent = nullptr);

    static constexpr int kBarWidth = 14;

    // maximum: the highest first visible row; pageStep: the visible rows.
    void setRange(int maximum, int pageStep);
    int maximum() const;
    int value() const;
    void setValue(int value);

public slots:
    void stepUp();
    void stepDown();

signals:
    void valueChanged(int value);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    CPushButton *m_up;
    CPushButton *m_down;
    QScrollBar *m_bar;
};
