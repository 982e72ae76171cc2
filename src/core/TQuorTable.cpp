#include "core/TQuorTable.h"

#include <QKeyEvent>
#include <QTimer>
#include <QWheelEvent>

#include <algorithm>

#include "core/TQuorCall.h"
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

TQuorTable::TQuorTable(QWidget *parent, bool activeCalls)
    : QWidget(parent)
    , m_active(activeCalls)
{
    setFocusPolicy(Qt::StrongFocus);
    if (m_active) {
        m_refresh = new QTimer(this);
        m_refresh->setInterval(RefreshMs);
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
    for (const TQuorTableRow *row : std::as_const(source->m_rows))
        addRow(row->kind(), row->call(), row->text(), QString());
}

TQuorTable::~TQuorTable()
{
    // A bar left attached would go on showing a list that is gone.
    detachScroll();
}

void TQuorTable::setTableGeometry(int x, int y, int width, int height)
{
    setGeometry(x, y, width, height);
    m_visibleRows = qMax(0, height) / RowHeight;
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

void TQuorTable::addRow(int kind, TQuorCall *call, const QString &text, const QString &timeText)
{
    auto *row = new TQuorTableRow(kind, call, this);
    row->sequence = ++m_sequence;
    row->setText(text);
    row->setToolTipText(text);
    row->setTimeText(timeText);
    row->setPrivacy(m_privacy);
    row->setBlinkPhase(m_active && m_blinkOn);
    connect(row, &TQuorTableRow::signalSelected, this, &TQuorTable::slotRowSelected);
    connect(row, &TQuorTableRow::signalDoubleClick, this, &TQuorTable::slotRowDoubleClick);
    connect(row, &TQuorTableRow::signalMenuAction, this, &TQuorTable::slotMenuAction);

    m_rows.insert(m_sorted ? sortedPosition(text) : 0, row);
    layoutRows();
    updateScroll();
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
    row->setText(text);
    if (m_sorted)
        sortRows();
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
        const int length = commonPrefix(wanted, m_rows.at(i)->text().toLower());
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
    layoutRows();
    if (m_selected)
        ensureVisible(selectedIndex());
}

TQuorTableRow *TQuorTable::rowOf(const TQuorCall *call) const
{
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
    m_scroll->resize(TQuorTableScroll::BarWidth, height());
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
    m_visibleRows = height() / RowHeight;
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

void TQuorTable::slotRowSelected(TQuorTableRow *row)
{
    select(row);
}

void TQuorTable::slotRowDoubleClick(TQuorTableRow *row)
{
    emit signalRowDoubleClick(row->call());
}

void TQuorTable::slotMenuAction(TQuorTableRow *row, int action)
{
    if (!m_rows.contains(row))
        return;
    // The owners act on their selected entry, so the menu's row must be it.
    if (row != m_selected)
        select(row);
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
    // The row may be the sender of the signal that led here (its context
    // menu, a drag), so it goes once control is back in the event loop.
    row->disconnect(this);
    row->hide();
    row->deleteLater();

    scrollTo(m_offset);
    layoutRows();
    updateScroll();
    if (wasSelected) {
        m_selected = nullptr;
        if (!m_rows.isEmpty())
            select(m_rows.at(qMin(index, int(m_rows.size()) - 1)));
    }
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
    if (m_scroll)
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
    const int w = width();
    const int h = height();
    for (int i = 0; i < m_rows.size(); ++i) {
        TQuorTableRow *row = m_rows.at(i);
        const int top = (i - m_offset) * RowHeight;
        row->setGeometry(0, top, w, RowHeight);
        row->setVisible(top >= 0 && top + RowHeight <= h);
    }
}

void TQuorTable::updateScroll()
{
    if (!m_scroll)
        return;
    const int maxOffset = qMax(0, int(m_rows.size()) - m_visibleRows);
    m_scroll->setRange(maxOffset, m_visibleRows);
    m_scroll->setValue(m_offset);
    m_scroll->setVisible(m_rows.size() > m_visibleRows && isVisibleTo(window()));
}
