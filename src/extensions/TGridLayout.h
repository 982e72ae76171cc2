#pragma once

#include <QList>
#include <QSet>
#include <QWidget>

// The panel's content: group headers and tiles in a grid of equal cells, laid
// out column by column from the grid's width and the size of its first child.
// Not a Qt layout: only relayout() moves anything.
class TGridLayout : public QWidget
{
    Q_OBJECT

public:
    explicit TGridLayout(QWidget *parent = nullptr);
    ~TGridLayout() override;

    // Appends a widget and makes the grid its parent. No layout happens.
    void addWidget(QWidget *widget);
    // Empties the list. Nothing is deleted; a widget that does not come back
    // by the next relayout() then loses the grid as its parent (a rebuild
    // that adds it again keeps it where it is).
    void clear();
    void relayout();

    QList<QWidget *> children; // in display order; not owned
    int hSpacing = 5;
    int vSpacing = 3;
    int columns = 1;
    int rows = 1;

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private slots:
    void childDestroyed(QObject *object);

private:
    void releaseLeaving();

    QSet<QWidget *> m_leaving; // cleared out, not added back yet
};
