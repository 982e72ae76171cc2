#include "extensions/TGridLayout.h"

TGridLayout::TGridLayout(QWidget *parent)
    : QWidget(parent)
{
}

TGridLayout::~TGridLayout()
{
    // The QWidget part deletes the Qt children after this: their destroyed()
    // must not reach a grid that is no longer one.
    for (QWidget *widget : std::as_const(children))
        disconnect(widget, &QObject::destroyed, this, &TGridLayout::childDestroyed);
    for (QWidget *widget : std::as_const(m_leaving))
        disconnect(widget, &QObject::destroyed, this, &TGridLayout::childDestroyed);
}

void TGridLayout::addWidget(QWidget *widget)
{
    if (!widget)
        return;
    children.append(widget);
    m_leaving.remove(widget);
    if (widget->parentWidget() != this)
        widget->setParent(this);
    // A child deleted elsewhere must never be laid out.
    connect(widget, &QObject::destroyed, this, &TGridLayout::childDestroyed, Qt::UniqueConnection);
}

void TGridLayout::clear()
{
    while (!children.isEmpty())
        m_leaving.insert(children.takeFirst());
}

void TGridLayout::releaseLeaving()
{
    for (QWidget *widget : std::as_const(m_leaving)) {
        disconnect(widget, &QObject::destroyed, this, &TGridLayout::childDestroyed);
        if (widget->parentWidget() == this)
            widget->setParent(nullptr);
    }
    m_leaving.clear();
}

void TGridLayout::childDestroyed(QObject *object)
{
    children.removeIf([object](QWidget *w) { return static_cast<QObject *>(w) == object; });
    m_leaving.removeIf([object](QWidget *w) { return static_cast<QObject *>(w) == object; });
}

void TGridLayout::relayout()
{
    releaseLeaving();
    const int n = int(children.size());
    if (n == 0)
        return;
    const int cw = children.first()->width();
    const int ch = children.first()->height();
    const int w = width();
    const int cols = w / (cw + hSpacing);
    if (cols == 0)
        return;
    columns = cols;
    rows = n / columns;
    if (rows * columns < n)
        ++rows;
    const int h = (ch + vSpacing) * rows;
    resize(w, h);
    const int cellW = (w - hSpacing) / columns;
    const int cellH = (h - vSpacing) / rows;
    int k = 0;
    for (int c = 0; c < columns && k < n; ++c) {
        for (int r = 0; r < rows && k < n; ++r, ++k) {
            QWidget *child = children.at(k);
            child->move(c * cellW + hSpacing, r * cellH);
            child->setVisible(true);
        }
    }
}

void TGridLayout::mouseMoveEvent(QMouseEvent *) { }

void TGridLayout::resizeEvent(QResizeEvent *) { }
