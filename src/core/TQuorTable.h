#pragma once

#include <QHash>
#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

#include "core/TQuorTableRow.h"
#include "core/TQuorTableScroll.h"

class QKeyEvent;
class QTimer;
class TQuorCall;
class TQuorTableRowView;

// The scrolling list of rows used for active calls, call logs, messages,
// contacts and server lists. Rows are 36 pixels high and scroll by whole rows.
// New rows go on top, or to their place by caption in a sorted list. At most
// one row is selected; every selection is announced through signalRowSelected.
// The table never owns the records of its rows.
//
// Rows are plain state; only the rows in view have a widget, so adding,
// scrolling and searching cost the same for ten rows as for ten thousand.
class TQuorTable : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kRowHeight = TQuorTableRow::kRowHeight;
    static constexpr int kRefreshMs = 500;

    // Keeps the rows removed meanwhile alive while a row's menu, drag or signal
    // runs; they are freed when the last hold ends.
    class RowHold
    {
    public:
        explicit RowHold(TQuorTable *table);
        ~RowHold();
        RowHold(const RowHold &) = delete;
        RowHold &operator=(const RowHold &) = delete;

    private:
        QPointer<TQuorTable> m_table;
    };

    // activeCalls: a list of the phone's current calls; only such a list runs
    // the refresh timer that makes ringing rows blink.
    TQuorTable(QWidget *parent, bool activeCalls);
    // A sorted copy: same parent, flags, geometry, privacy and row limit, one
    // new row per source row with the same kind, record and caption.
    explicit TQuorTable(TQuorTable *source);
    ~TQuorTable() override;

    void setTableGeometry(int x, int y, int width, int height);
    int visibleRows() const { return m_visibleRows; }
    // The index of the top visible row.
    int firstVisibleRow() const { return m_offset; }

    void setSorted(bool sorted);
    bool isSorted() const { return m_sorted; }
    bool isActiveCallList() const { return m_active; }

    // With a limit above 0, adding a row beyond it drops the oldest rows
    // (signalRowDropped tells the record's owner). 0: no limit.
    void setRowLimit(int limit);
    int rowLimit() const { return m_rowLimit; }

    // While on, numbers in captions and tooltips are masked (Privacy.h).
    void setPrivacy(bool on);
    bool privacy() const { return m_privacy; }

    // Between these two calls adds and renames neither sort nor lay out the
    // list; the outermost endUpdate sorts once and lays out once.
    void beginUpdate();
    void endUpdate();

    void addRow(int kind, TQuorCall *call, const QString &text, const QString &timeText);
    bool removeRow(TQuorCall *call);
    void renameRow(const QString &text, TQuorCall *call);
    // Gives every row the caption label() makes for it, then sorts once.
    void relabelRows(const std::function<QString(const TQuorTableRow &)> &label);
    void setRowToolTip(const QString &tip, TQuorCall *call);
    // RowKeep (1) keeps the row's kind.
    void setRowKind(int kind, TQuorCall *call);
    void setRowTimeText(const QString &timeText, TQuorCall *call);

    void selectRow(TQuorCall *call);
    void selectRowAt(int index);
    TQuorCall *selectedCall() const;
    int selectedIndex() const;

    void search(const QString &text);
    void sortRows();

    QList<TQuorTableRow *> rows() const { return m_rows; }
    int rowCount() const { return int(m_rows.size()); }
    TQuorTableRow *rowOf(const TQuorCall *call) const;
    // The widgets of the rows in view, from the top; a view without a row is
    // hidden.
    QList<TQuorTableRowView *> rowViews() const { return m_views; }

    void attachScroll(TQuorTableScroll *scroll);
    void detachScroll();
    TQuorTableScroll *scroll() const { return m_scroll; }

signals:
    void signalRowSelected(TQuorCall *call);
    void signalRowDoubleClick(TQuorCall *call);
    void signalAdd(TQuorCall *call);
    void signalEdit(TQuorCall *call);
    void signalDel(TQuorCall *call);
    void signalKeyPressed(QKeyEvent *event);
    // From the context menu of call rows.
    void signalCall(TQuorCall *call);
    void signalAnswer(TQuorCall *call);
    void signalHangup(TQuorCall *call);
    // A row went because of the row limit; its record is the caller's to free.
    void signalRowDropped(TQuorCall *call);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void slotRefresh();
    void slotScrolled(int value);

private:
    friend class TQuorTableRow;
    friend class TQuorTableRowView;

    // From the rows and their views.
    void rowChanged(TQuorTableRow *row);
    void rowPressed(TQuorTableRow *row);
    void rowDoubleClicked(TQuorTableRow *row);
    void rowMenuAction(TQuorTableRow *row, int action);

    void select(TQuorTableRow *row);
    void takeRowAt(int index);
    void freeRow(TQuorTableRow *row);
    void dropOldest();
    int sortedPosition(const QString &text) const;
    void scrollTo(int offset);
    void ensureVisible(int index);
    void layoutRows();
    void updateScroll();

    QList<TQuorTableRow *> m_rows;
    // The first row of each record, so that a record's row is found at once.
    QHash<const TQuorCall *, TQuorTableRow *> m_index;
    QList<TQuorTableRowView *> m_views;
    // Rows removed while a hold was on, freed when it ends.
    QList<TQuorTableRow *> m_retired;
    int m_holds = 0;
    int m_batch = 0;
    bool m_sortPending = false;
    TQuorTableRow *m_selected = nullptr;
    const bool m_active;
    bool m_sorted = false;
    bool m_privacy = false;
    bool m_blinkOn = false;
    int m_rowLimit = 0;
    int m_visibleRows = 0;
    int m_offset = 0;
    int m_wheelDelta = 0;
    quint64 m_sequence = 0;
    QTimer *m_refresh = nullptr;
    QPointer<TQuorTableScroll> m_scroll;
};
