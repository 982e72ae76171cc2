// The panel's grid: placement, children that leave, children shown in view.

#include <QPointer>
#include <QTest>

#include <memory>

#include "extensions/TGridLayout.h"

namespace {

using Points = QList<QPoint>;

// Counts how often a widget changes its parent.
class Cell : public QWidget
{
public:
    Cell() { resize(132, 55); }
    int parentChanges = 0;

protected:
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::ParentChange)
            ++parentChanges;
        return QWidget::event(e);
    }
};

} // namespace

class TestTGridLayout : public QObject
{
    Q_OBJECT

private slots:
    void geometry_data();
    void geometry();
    void childrenThatLeave();
    void onlyChildrenInViewShown();
};

void TestTGridLayout::geometry_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("columns");
    QTest::addColumn<int>("height");
    QTest::addColumn<Points>("positions"); // of the children, by index
    QTest::newRow("600 wide, ten children") << 600 << 10 << 4 << 174
                                            << Points { { 5, 0 }, { 5, 57 }, { 5, 114 }, { 153, 0 }, { 153, 57 },
                                                   { 153, 114 }, { 301, 0 }, { 301, 57 }, { 301, 114 }, { 449, 0 } };
    QTest::newRow("one child") << 300 << 1 << 2 << 58 << Points { { 5, 0 } };
    QTest::newRow("four in four columns")
        << 600 << 4 << 4 << 58 << Points { { 5, 0 }, { 153, 0 }, { 301, 0 }, { 449, 0 } };
    QTest::newRow("five in four columns, column-major")
        << 600 << 5 << 4 << 116 << Points { { 5, 0 }, { 5, 56 }, { 153, 0 }, { 153, 56 }, { 301, 0 } };
}

void TestTGridLayout::geometry()
{
    QFETCH(int, width);
    QFETCH(int, count);
    QFETCH(int, columns);
    QFETCH(int, height);
    QFETCH(Points, positions);

    TGridLayout grid;
    grid.resize(width, 10);
    for (int i = 0; i < count; ++i)
        grid.addWidget(new Cell);
    grid.relayout();
    QCOMPARE(grid.columns, columns);
    QCOMPARE(grid.height(), height);
    QCOMPARE(grid.width(), width);
    Points placed;
    for (QWidget *child : grid.children) {
        placed << child->pos();
        QVERIFY(!child->isHidden());
    }
    QCOMPARE(placed, positions);
    // No column fits a narrower grid: the layout stays.
    grid.resize(100, height);
    grid.relayout();
    QCOMPARE(grid.columns, columns);
    QCOMPARE(grid.children.last()->pos(), positions.last());
    // Emptied, it keeps its size.
    grid.clear();
    grid.relayout();
    QCOMPARE(grid.size(), QSize(100, height));
}

void TestTGridLayout::childrenThatLeave()
{
    auto grid = std::make_unique<TGridLayout>();
    grid->resize(600, 10);
    auto *stays = new Cell;
    auto *leaves = new Cell;
    auto *dies = new Cell;
    for (Cell *c : { stays, leaves, dies })
        grid->addWidget(c);
    grid->relayout();
    const int changes = stays->parentChanges;

    // A rebuild keeps a returning child's parent and hides one left out.
    grid->clear();
    grid->addWidget(stays);
    grid->addWidget(dies);
    grid->relayout();
    QCOMPARE(stays->parentChanges, changes);
    QVERIFY(!stays->isHidden() && leaves->isHidden());
    QCOMPARE(leaves->parentWidget(), grid.get());

    // A child destroyed elsewhere is forgotten, never laid out again.
    delete dies;
    QCOMPARE(grid->children, (QList<QWidget *> { stays }));
    grid->relayout();

    // The grid deletes the children it lays out, never one that left, even
    // one cleared out with no relayout since.
    QPointer<Cell> cleared(new Cell);
    grid->addWidget(cleared);
    grid->relayout();
    grid->clear();
    grid->addWidget(stays);
    QPointer<Cell> kept(leaves);
    QPointer<Cell> owned(stays);
    grid.reset();
    QVERIFY(owned.isNull());
    for (const QPointer<Cell> &c : { kept, cleared }) {
        QVERIFY(c && !c->parentWidget());
        c->show(); // still a working widget
        delete c;
    }
}

void TestTGridLayout::onlyChildrenInViewShown()
{
    QWidget view;
    view.resize(600, 120);
    auto *grid = new TGridLayout(&view);
    grid->resize(600, 10);
    QList<Cell *> cells;
    for (int i = 0; i < 80; ++i) {
        cells << new Cell;
        grid->addWidget(cells.last());
    }
    grid->relayout();
    view.show(); // a hidden grid hears of its moves only once shown
    const auto check = [&](const char *when) {
        const QRect seen(-grid->pos(), view.size());
        int hidden = 0;
        for (Cell *c : std::as_const(cells)) {
            if (seen.intersects(c->geometry()))
                QVERIFY2(!c->isHidden(), when);
            hidden += c->isHidden();
        }
        // Rows far from what the view shows cost no show or paint.
        QVERIFY2(hidden > cells.size() / 2, when);
    };
    check("laid out");
    grid->move(0, -600); // scrolled
    check("scrolled");
    QVERIFY(cells.first()->isHidden());
}

QTEST_MAIN(TestTGridLayout)
#include "tst_tgridlayout.moc"
