#include "core/TQuorTable.h"

#include <QKeyEvent>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

#include "core/TQuorCall.h"
#include "core/TQuorTableRowView.h"
#include "core/TQuorTableScroll.h"

namespace {

bool captionLess(const TQuorTableRow *a, const TQuorTableRow *b)
{
    return a->text().compare(b->text(), Qt::CaseInsensitive) < 0;
}

int commonPrefix(const QString &a, const QString &b)
{
    const int n = int(qMin(a.size(), b.size()));
    int i = 0;
    while (i < n && a.at(i) == b.at(i))
        ++i;
    return i;
}

} // namespace

TQuorTable::RowHold::RowHold(TQuorTable *table)
    : m_table(table)
{
    if (m_table)
        ++m_table->m_holds;
}

TQuorTable::RowHold::~RowHold()
{
    if (!m_table || --m_table->m_holds > 0)
        return;
    qDeleteAll(m_table->m_retired);
    m_table->m_retired.clear();
}

TQuorTable::TQuorTable(QWidget *parent, bool activeCalls)
    : QWidget(parent)
    , m_active(activeCalls)
{
    setFocusPolicy(Qt::StrongFocus);
    if (m_active) {
        m_refresh = new QTimer(this);
        m_refresh->setInterval(kRefreshMs);
        connect(m_refresh, &QTimer::timeout, this, &TQuorTable::slotRefresh);
        m_refresh->start();
    }
}

TQuorTable::TQuorTable(TQuorTable *source)
    : TQuorTable(source ? source->parentWidget() : nullptr, source && source->m_active)
{
    if (!source)
        return;
    m_sorted = true;
    m_privacy = source->m_privacy;
    m_rowLimit = source->m_rowLimit;
    const QRect g = source->geometry();
    setTableGeometry(g.x(), g.y(), g.width(), g.height());
    beginUpdate();
    for (const TQuorTableRow *row : std::as_const(source->m_rows))
        addRow(row->kind(), row->call(), row->text(), QString());
    endUpdate();
}

TQuorTable::~TQuorTable()
{
    // A bar left attached would go on showing a list that is gone.
    detachScroll();
    // A view whose menu or drag is open is still running inside its own
    // event handler: it leaves with it and goes once that returns.
    for (TQuorTableRowView *view : std::as_const(m_views)) {
        if (view->isBusy())
            view->orphan();
    }
    qDeleteAll(m_rows);
    qDeleteAll(m_retired);
}

void TQuorTable::setTableGeometry(int x, int y, int width, int height)
{
    setGeometry(x, y, width, height);
    m_visibleRows = qMax(0, height) / kRowHeight;
    show();
    scrollTo(m_offset);
    layoutRows();
    updateScroll();
}

void TQuorTable::setSorted(bool sorted)
{
    m_sorted = sorted;
    if (m_sorted)
        sortRows();
}

void TQuorTable::setRowLimit(int limit)
{
    m_rowLimit = qMax(0, limit);
    dropOldest();
}

void TQuorTable::setPrivacy(bool on)
{
    m_privacy = on;
    for (TQuorTableRow *row : std::as_const(m_rows))
        row->setPrivacy(on);
}

void TQuorTable::beginUpdate()
{
    ++m_batch;
}

void TQuorTable::endUpdate()
{
    if (m_batch == 0 || --m_batch > 0)
        return;
    if (m_sortPending) {
        m_sortPending = false;
        std::stable_sort(m_rows.begin(), m_rows.end(), captionLess);
    }
    scrollTo(m_offset);
    layoutRows();
    updateScroll();
    if (m_selected)
        ensureVisible(selectedIndex());
}

void TQuorTable::addRow(int kind, TQuorCall *call, const QString &text, const QString &timeText)
{
    auto *row = new TQuorTableRow(kind, call);
    row->sequence = ++m_sequence;
    row->setText(text);
    row->setToolTipText(text);
    row->setTimeText(timeText);
    row->setPrivacy(m_privacy);
    row->setBlinkPhase(m_active && m_blinkOn);
    row->m_table = this;
    if (call && !m_index.contains(call))
        m_index.insert(call, row);

    if (m_batch > 0) {
        // Appended now, put in place by the one sort at the end of the batch.
        if (m_sorted) {
            m_rows.append(row);
            m_sortPending = true;
        } else {
            m_rows.prepend(row);
        }
    } else {
        m_rows.insert(m_sorted ? sortedPosition(text) : 0, row);
        layoutRows();
        updateScroll();
    }
    if (m_rows.size() == 1)
        select(row);
    dropOldest();
}

bool TQuorTable::removeRow(TQuorCall *call)
{
    TQuorTableRow *row = rowOf(call);
    if (!row)
        return false;
    takeRowAt(int(m_rows.indexOf(row)));
    return true;
}

void TQuorTable::renameRow(const QString &text, TQuorCall *call)
{
    TQuorTableRow *row = rowOf(call);
    if (!row)
        return;
    if (!m_sorted || m_batch > 0) {
        row->setText(text);
        m_sortPending = m_sortPending || m_sorted;
        return;
    }
    // The rest of the list is in order: the row moves to its new place, after
    // the equal captions that stood above it and before those below, as a
    // stable sort of the whole list would put it.
    const int index = int(m_rows.indexOf(row));
    m_rows.removeAt(index);
    row->setText(text);
    const auto less
        = [](const QString &t, const TQuorTableRow *r) { return t.compare(r->text(), Qt::CaseInsensitive) < 0; };
    const auto lessRow
        = [](const TQuorTableRow *r, const QString &t) { return r->text().compare(t, Qt::CaseInsensitive) < 0; };
    const int low = int(std::lower_bound(m_rows.cbegin(), m_rows.cend(), text, lessRow) - m_rows.cbegin());
    const int high = int(std::upper_bound(m_rows.cbegin(), m_rows.cend(), text, less) - m_rows.cbegin());
    m_rows.insert(qBound(low, index, high), row);
    layoutRows();
    if (m_selected)
        ensureVisible(selectedIndex());
}

void TQuorTable::relabelRows(const std::function<QString(const TQuorTableRow &)> &label)
{
    for (TQuorTableRow *row : std::as_const(m_rows)) {
        row->m_text = label(*row);
        row->m_lowerText = row->m_text.toLower();
    }
    sortRows();
    for (TQuorTableRowView *view : std::as_const(m_views))
        view->refresh();
}

void TQuorTable::setRowToolTip(const QString &tip, TQuorCall *call)
{
    if (TQuorTableRow *row = rowOf(call))
        row->setToolTipText(tip);
}

void TQuorTable::setRowKind(int kind, TQuorCall *call)
{
    if (TQuorTableRow *row = rowOf(call)) {
        row->setKind(kind);
        row->setBlinkPhase(m_active && m_blinkOn);
    }
}

void TQuorTable::setRowTimeText(const QString &timeText, TQuorCall *call)
{
    if (TQuorTableRow *row = rowOf(call))
        row->setTimeText(timeText);
}

void TQuorTable::selectRow(TQuorCall *call)
{
    if (TQuorTableRow *row = rowOf(call))
        select(row);
}

void TQuorTable::selectRowAt(int index)
{
    if (index >= 0 && index < m_rows.size())
        select(m_rows.at(index));
}

TQuorCall *TQuorTable::selectedCall() const
{
    return m_selected ? m_selected->call() : nullptr;
}

int TQuorTable::selectedIndex() const
{
    return int(m_rows.indexOf(m_selected));
}

void TQuorTable::search(const QString &text)
{
    if (m_rows.isEmpty())
        return;
    const QString wanted = text.toLower();
    int best = 0;
    int bestLength = -1;
    for (int i = 0; i < m_rows.size(); ++i) {
        const int length = commonPrefix(wanted, m_rows.at(i)->lowerText());
        if (length > bestLength) {
            best = i;
            bestLength = length;
        } else if (m_sorted && length < bestLength) {
            // Past the best match in a sorted list the prefixes only get shorter.
            break;
        }
    }
    select(m_rows.at(best));
}

void TQuorTable::sortRows()
{
    std::stable_sort(m_rows.begin(), m_rows.end(), captionLess);
    m_sortPending = false;
    layoutRows();
    if (m_selected)
        ensureVisible(selectedIndex());
}

TQuorTableRow *TQuorTable::rowOf(const TQuorCall *call) const
{
    if (call)
        return m_index.value(call);
    for (TQuorTableRow *row : m_rows) {
        if (row->call() == call)
            return row;
    }
    return nullptr;
}

void TQuorTable::attachScroll(TQuorTableScroll *scroll)
{
    if (scroll == m_scroll)
        return;
    detachScroll();
    m_scroll = scroll;
    if (!m_scroll)
        return;
    m_scroll->resize(TQuorTableScroll::kBarWidth, height());
    connect(m_scroll, &TQuorTableScroll::valueChanged, this, &TQuorTable::slotScrolled);
    updateScroll();
}

void TQuorTable::detachScroll()
{
    if (!m_scroll)
        return;
    disconnect(m_scroll, nullptr, this, nullptr);
    m_scroll->hide();
    m_scroll = nullptr;
}

void TQuorTable::keyPressEvent(QKeyEvent *event)
{
    const int index = selectedIndex();
    if (event->key() == Qt::Key_Up && index > 0)
        selectRowAt(index - 1);
    else if (event->key() == Qt::Key_Down && index + 1 < m_rows.size())
        selectRowAt(index + 1);
    emit signalKeyPressed(event);
    // The owner hears every key through the signal; it must not reach it twice.
    event->accept();
}

void TQuorTable::wheelEvent(QWheelEvent *event)
{
    // Fine-grained wheels and touch pads send small steps; a row per notch.
    m_wheelDelta += event->angleDelta().y();
    const int rows = m_wheelDelta / QWheelEvent::DefaultDeltasPerStep;
    if (rows != 0) {
        m_wheelDelta -= rows * QWheelEvent::DefaultDeltasPerStep;
        scrollTo(m_offset - rows);
    }
    event->accept();
}

void TQuorTable::resizeEvent(QResizeEvent *)
{
    m_visibleRows = height() / kRowHeight;
    if (m_scroll)
        m_scroll->resize(m_scroll->width(), height());
    scrollTo(m_offset);
    layoutRows();
    updateScroll();
}

void TQuorTable::showEvent(QShowEvent *)
{
    updateScroll();
}

void TQuorTable::hideEvent(QHideEvent *)
{
    // The bar lives outside the table; it must not stay behind a hidden list.
    if (m_scroll)
        m_scroll->hide();
}

void TQuorTable::rowChanged(TQuorTableRow *row)
{
    for (TQuorTableRowView *view : std::as_const(m_views)) {
        if (view->row() == row)
            view->refresh();
    }
}

void TQuorTable::rowPressed(TQuorTableRow *row)
{
    const RowHold hold(this);
    if (m_rows.contains(row))
        select(row);
}

void TQuorTable::rowDoubleClicked(TQuorTableRow *row)
{
    const RowHold hold(this);
    if (m_rows.contains(row))
        emit signalRowDoubleClick(row->call());
}

void TQuorTable::rowMenuAction(TQuorTableRow *row, int action)
{
    const RowHold hold(this);
    if (!m_rows.contains(row))
        return;
    // The owners act on their selected entry, so the menu's row must be it.
    if (row != m_selected) {
        select(row);
        if (!m_rows.contains(row))
            return;
    }
    TQuorCall *call = row->call();
    switch (action) {
    case TQuorTableRow::ActionAdd:
        emit signalAdd(call);
        break;
    case TQuorTableRow::ActionEdit:
        emit signalEdit(call);
        break;
    case TQuorTableRow::ActionDelete:
        emit signalDel(call);
        break;
    case TQuorTableRow::ActionCall:
        emit signalCall(call);
        break;
    case TQuorTableRow::ActionAnswer:
        emit signalAnswer(call);
        break;
    case TQuorTableRow::ActionHangup:
        emit signalHangup(call);
        break;
    default:
        break;
    }
}

void TQuorTable::slotRefresh()
{
    m_blinkOn = !m_blinkOn;
    for (TQuorTableRow *row : std::as_const(m_rows))
        row->setBlinkPhase(m_blinkOn);
}

void TQuorTable::slotScrolled(int value)
{
    scrollTo(value);
}

void TQuorTable::select(TQuorTableRow *row)
{
    if (m_selected && m_selected != row)
        m_selected->setSelected(false);
    m_selected = row;
    row->setSelected(true);
    ensureVisible(selectedIndex());
    emit signalRowSelected(row->call());
}

void TQuorTable::takeRowAt(int index)
{
    TQuorTableRow *row = m_rows.takeAt(index);
    const bool wasSelected = row == m_selected;
    if (wasSelected)
        m_selected = nullptr;
    for (TQuorTableRowView *view : std::as_const(m_views)) {
        if (view->row() == row)
            view->setRow(nullptr);
    }
    freeRow(row);

    scrollTo(m_offset);
    layoutRows();
    updateScroll();
    if (wasSelected && !m_rows.isEmpty())
        select(m_rows.at(qMin(index, int(m_rows.size()) - 1)));
}

void TQuorTable::freeRow(TQuorTableRow *row)
{
    const TQuorCall *call = row->call();
    if (call && m_index.value(call) == row) {
        m_index.remove(call);
        // A record listed twice keeps its other row.
        for (TQuorTableRow *other : std::as_const(m_rows)) {
            if (other->call() == call) {
                m_index.insert(call, other);
                break;
            }
        }
    }
    row->m_table = nullptr;
    // The row may be the one whose menu, drag or signal led here.
    if (m_holds > 0)
        m_retired.append(row);
    else
        delete row;
}

void TQuorTable::dropOldest()
{
    while (m_rowLimit > 0 && m_rows.size() > m_rowLimit) {
        const auto oldest = std::min_element(m_rows.cbegin(), m_rows.cend(),
            [](const TQuorTableRow *a, const TQuorTableRow *b) { return a->sequence < b->sequence; });
        TQuorCall *call = (*oldest)->call();
        takeRowAt(int(oldest - m_rows.cbegin()));
        emit signalRowDropped(call);
    }
}

int TQuorTable::sortedPosition(const QString &text) const
{
    const auto it = std::upper_bound(m_rows.cbegin(), m_rows.cend(), text,
        [](const QString &t, const TQuorTableRow *row) { return t.compare(row->text(), Qt::CaseInsensitive) < 0; });
    return int(it - m_rows.cbegin());
}

void TQuorTable::scrollTo(int offset)
{
    const int maxOffset = qMax(0, int(m_rows.size()) - m_visibleRows);
    offset = qBound(0, offset, maxOffset);
    if (offset != m_offset) {
        m_offset = offset;
        layoutRows();
    }
    if (m_scroll && m_batch == 0)
        m_scroll->setValue(m_offset);
}

void TQuorTable::ensureVisible(int index)
{
    if (index < 0 || m_visibleRows <= 0)
        return;
    if (index < m_offset)
        scrollTo(index);
    else if (index >= m_offset + m_visibleRows)
        scrollTo(index - m_visibleRows + 1);
}

void TQuorTable::layoutRows()
{
    if (m_batch > 0)
        return;
    while (m_views.size() < m_visibleRows)
        m_views.append(new TQuorTableRowView(this));
    while (m_views.size() > m_visibleRows) {
        TQuorTableRowView *view = m_views.takeLast();
        if (view->isBusy()) {
            view->orphan();
        } else {
            view->hide();
            view->deleteLater();
        }
    }
    const int w = width();
    for (int i = 0; i < m_views.size(); ++i) {
        TQuorTableRowView *view = m_views.at(i);
        const int index = m_offset + i;
        TQuorTableRow *row = index < m_rows.size() ? m_rows.at(index) : nullptr;
        view->setGeometry(0, i * kRowHeight, w, kRowHeight);
        view->setRow(row);
        view->setVisible(row != nullptr);
    }
}

void TQuorTable::updateScroll()
{
    if (!m_scroll || m_batch > 0)
        return;
    const int maxOffset = qMax(0, int(m_rows.size()) - m_visibleRows);
    m_scroll->setRange(maxOffset, m_visibleRows);
    m_scroll->setValue(m_offset);
    m_scroll->setVisible(m_rows.size() > m_visibleRows && isVisibleTo(window()));
}
