#include "extensions/TGridLayout.h"

#include <QEvent>

namespace {

// Kept shown beyond the parent's edges, about a row of tiles: a small scroll
// then finds its tiles already there.
constexpr int kSparePixels = 64;
// Without a parent the grid is its own window and every child is in view.
constexpr int kWhole = 1 << 24;

} // namespace

TGridLayout::TGridLayout(QWidget *parent)
    : QWidget(parent)
{
    watchParent();
}

TGridLayout::~TGridLayout()
{
    // The QWidget part deletes the Qt children after this: their destroyed()
    // must not reach a grid that is no longer one, and a widget that left the
    // list belongs to its owner alone.
    for (QWidget *widget : std::as_const(children))
        disconnect(widget, &QObject::destroyed, this, &TGridLayout::childDestroyed);
    // Cleared out, whether or not a relayout has hidden it since: its owner
    // deletes it, never the grid.
    m_released.unite(m_leaving);
    for (QWidget *widget : std::as_const(m_released)) {
        disconnect(widget, &QObject::destroyed, this, &TGridLayout::childDestroyed);
        if (widget->parentWidget() == this)
            widget->setParent(nullptr);
    }
    if (m_watched)
        m_watched->removeEventFilter(this);
}

void TGridLayout::addWidget(QWidget *widget)
{
    if (!widget)
        return;
    children.append(widget);
    m_leaving.remove(widget);
    m_released.remove(widget);
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
        m_outOfView.remove(widget);
        if (widget->parentWidget() == this) {
            // A hide() of a hidden widget would still ask the grid for a
            // layout pass, once per widget.
            if (!widget->isHidden())
                widget->hide();
            m_released.insert(widget);
        } else {
            disconnect(widget, &QObject::destroyed, this, &TGridLayout::childDestroyed);
        }
    }
    m_leaving.clear();
}

void TGridLayout::childDestroyed(QObject *object)
{
    children.removeIf([object](QWidget *w) { return static_cast<QObject *>(w) == object; });
    m_leaving.removeIf([object](QWidget *w) { return static_cast<QObject *>(w) == object; });
    m_released.removeIf([object](QWidget *w) { return static_cast<QObject *>(w) == object; });
    m_outOfView.removeIf([object](QWidget *w) { return static_cast<QObject *>(w) == object; });
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
    const QRect band = viewBand();
    int k = 0;
    for (int c = 0; c < columns && k < n; ++c) {
        for (int r = 0; r < rows && k < n; ++r, ++k) {
            QWidget *child = children.at(k);
            // Hidden before it moves and shown once in its place: Qt then
            // repaints nothing for a child out of view.
            const QPoint at(c * cellW + hSpacing, r * cellH);
            if (band.intersects(QRect(at, child->size()))) {
                m_outOfView.remove(child);
                child->move(at);
                child->setVisible(true);
            } else {
                m_outOfView.insert(child);
                if (!child->isHidden())
                    child->hide();
                child->move(at);
            }
        }
    }
}

QRect TGridLayout::viewBand() const
{
    const QWidget *parent = parentWidget();
    if (!parent)
        return QRect(-kWhole, -kWhole, 2 * kWhole, 2 * kWhole);
    return QRect(-pos(), parent->size()).adjusted(-kSparePixels, -kSparePixels, kSparePixels, kSparePixels);
}

void TGridLayout::followView()
{
    if (children.isEmpty())
        return;
    const QRect band = viewBand();
    for (QWidget *child : std::as_const(children)) {
        if (band.intersects(child->geometry())) {
            if (m_outOfView.remove(child))
                child->show();
        } else if (!child->isHidden()) {
            // Only what the grid hid itself comes back: a child hidden by
            // its owner stays so until the next layout.
            child->hide();
            m_outOfView.insert(child);
        }
    }
}

void TGridLayout::watchParent()
{
    QWidget *parent = parentWidget();
    if (m_watched == parent)
        return;
    if (m_watched)
        m_watched->removeEventFilter(this);
    m_watched = parent;
    if (parent)
        parent->installEventFilter(this);
}

bool TGridLayout::event(QEvent *event)
{
    if (event->type() == QEvent::ParentChange) {
        watchParent();
        followView();
    }
    return QWidget::event(event);
}

bool TGridLayout::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watched && event->type() == QEvent::Resize)
        followView();
    return false;
}

void TGridLayout::mouseMoveEvent(QMouseEvent *) { }

// Scrolling moves the grid inside its parent.
void TGridLayout::moveEvent(QMoveEvent *)
{
    followView();
}

void TGridLayout::resizeEvent(QResizeEvent *) { }
