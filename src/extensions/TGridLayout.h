#pragma once

#include <QList>
#include <QPointer>
#include <QSet>
#include <QWidget>

// The panel's content: group headers and tiles in a grid of equal cells, laid
// out column by column from the grid's width and the size of its first child.
// Not a Qt layout: only relayout() moves anything.
//
// Of the children laid out, only those in or near the part of the grid that
// its parent shows are visible; the others are hidden until scrolling or a
// larger parent brings them into view. Thousands of tiles then cost Qt no
// show, paint or update work while nobody can see them.
class TGridLayout : public QWidget
{
    Q_OBJECT

public:
    explicit TGridLayout(QWidget *parent = nullptr);
    ~TGridLayout() override;

    // Appends a widget and makes the grid its parent. No layout happens.
    void addWidget(QWidget *widget);
    // Empties the list. Nothing is deleted; a widget that does not come back
    // by the next relayout() is then hidden and stays the grid's child, so
    // letting go of thousands of tiles costs no walk of the window's focus
    // chain per tile. Its owner still deletes it; the grid gives it back
    // (no parent) when the grid itself goes, whether relaid out or not.
    void clear();
    void relayout();

    QList<QWidget *> children; // in display order; not owned
    int hSpacing = 5;
    int vSpacing = 3;
    int columns = 1;
    int rows = 1;

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void childDestroyed(QObject *object);

private:
    void releaseLeaving();
    // The part of the grid, in its own coordinates, whose children are shown.
    QRect viewBand() const;
    // Shows the laid-out children that came into view, hides those that left.
    void followView();
    void watchParent();

    QSet<QWidget *> m_leaving; // cleared out, not added back yet
    QSet<QWidget *> m_released; // hidden children that left the list
    QSet<QWidget *> m_outOfView; // laid out, hidden until they come into view
    QPointer<QWidget> m_watched; // the parent whose resizes change the view
};
