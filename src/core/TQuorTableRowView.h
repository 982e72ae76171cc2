#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>

class TQuorTable;
class TQuorTableRow;

// The widget that shows one row of a TQuorTable in view. The table keeps one
// per visible line and hands each the row that lies there after every scroll
// or change; a view without a row is hidden.
//
// A view opens its row's context menu and drag in nested event loops, in which
// anything may happen to the list: the row may go (a caller hangs up, a log
// drops its oldest row) or the whole table may go. The menu therefore has no
// parent, the drag is not a child of the view, the table keeps removed rows
// until the menu or drag has returned, and a table that goes meanwhile leaves
// the busy view to delete itself afterwards.
class TQuorTableRowView : public QWidget
{
    Q_OBJECT

public:
    explicit TQuorTableRowView(TQuorTable *table);

    void setRow(TQuorTableRow *row);
    TQuorTableRow *row() const { return m_row; }
    // Draws the row again and takes its tooltip.
    void refresh();

    // True while the row's context menu or drag is open.
    bool isBusy() const { return m_busy > 0; }
    // The table is going: the view leaves it and deletes itself once its menu
    // or drag has returned.
    void orphan();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    // Ends a nested loop; false when the view may no longer touch its table.
    bool leaveBusy(const QPointer<TQuorTableRowView> &self);
    QString iconName() const;

    QPointer<TQuorTable> m_table;
    TQuorTableRow *m_row = nullptr;
    int m_busy = 0;
    bool m_orphaned = false;
    QPoint m_pressPos;
    bool m_pressed = false;
};
