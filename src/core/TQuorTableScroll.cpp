#include "core/TQuorTableScroll.h"

#include <QIcon>
#include <QScrollBar>

#include "core/CPushButton.h"

TQuorTableScroll::TQuorTableScroll(QWidget *parent)
    : QWidget(parent)
    , m_up(new CPushButton(this))
    , m_down(new CPushButton(this))
    , m_bar(new QScrollBar(Qt::Vertical, this))
{
    setObjectName(QStringLiteral("tableScroll"));
    m_up->setObjectName(QStringLiteral("tableScrollUp"));
    m_down->setObjectName(QStringLiteral("tableScrollDown"));
    m_bar->setObjectName(QStringLiteral("tableScrollBar"));

    const QSize buttonSize(kBarWidth, kBarWidth);
    m_up->setNormalIcon(QIcon(QStringLiteral(":/ui/images/scroll_up.png")));
    m_up->setHoverIcon(QIcon(QStringLiteral(":/ui/images/scroll_up_h.png")));
    m_down->setNormalIcon(QIcon(QStringLiteral(":/ui/images/scroll_down.png")));
    m_down->setHoverIcon(QIcon(QStringLiteral(":/ui/images/scroll_down_h.png")));
    for (CPushButton *button : { m_up, m_down }) {
        button->setIconSize(buttonSize);
        button->setFocusPolicy(Qt::NoFocus);
        // Holding a button keeps scrolling, as an ordinary scroll arrow does.
        button->setAutoRepeat(true);
    }
    m_bar->setFocusPolicy(Qt::NoFocus);
    m_bar->setSingleStep(1);
    m_bar->setRange(0, 0);

    connect(m_up, &QPushButton::clicked, this, &TQuorTableScroll::stepUp);
    connect(m_down, &QPushButton::clicked, this, &TQuorTableScroll::stepDown);
    connect(m_bar, &QScrollBar::valueChanged, this, &TQuorTableScroll::valueChanged);

    resize(kBarWidth, 182);
}

void TQuorTableScroll::setRange(int maximum, int pageStep)
{
    m_bar->setPageStep(qMax(1, pageStep));
    m_bar->setRange(0, qMax(0, maximum));
}

int TQuorTableScroll::maximum() const
{
    return m_bar->maximum();
}

int TQuorTableScroll::value() const
{
    return m_bar->value();
}

void TQuorTableScroll::setValue(int value)
{
    m_bar->setValue(value);
}

void TQuorTableScroll::stepUp()
{
    m_bar->setValue(m_bar->value() - 1);
}

void TQuorTableScroll::stepDown()
{
    m_bar->setValue(m_bar->value() + 1);
}

void TQuorTableScroll::resizeEvent(QResizeEvent *)
{
    const int w = width();
    m_up->setGeometry(0, 0, w, kBarWidth);
    m_down->setGeometry(0, qMax(kBarWidth, height() - kBarWidth), w, kBarWidth);
    m_bar->setGeometry(0, kBarWidth, w, qMax(0, height() - 2 * kBarWidth));
}
