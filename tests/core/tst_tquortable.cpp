#include <QApplication>
#include <QDrag>
#include <QFile>
#include <QKeyEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>
#include <vector>

#include "core/Privacy.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableRowView.h"
#include "core/TQuorTableScroll.h"

namespace {

// Owns the records of one test; the tables never do.
struct Records
{
    std::vector<std::unique_ptr<TQuorCall>> list;
    TQuorCall *make()
    {
        list.push_back(std::make_unique<TQuorCall>());
        return list.back().get();
    }
};

QStringList captions(const TQuorTable &table)
{
    QStringList out;
    for (const TQuorTableRow *row : table.rows())
        out << row->text();
    return out;
}

// The captions of the rows on screen, from the top.
QStringList inView(const TQuorTable &table)
{
    QStringList out;
    for (const TQuorTableRowView *view : table.rowViews()) {
        if (view->isVisible() && view->row())
            out << view->row()->text();
    }
    return out;
}

// Fills a list with one row per caption, in display order, and returns the
// records in that order.
QList<TQuorCall *> fill(TQuorTable &table, Records &records, const QStringList &texts)
{
    QList<TQuorCall *> calls;
    // An unsorted list puts new rows on top, so add from the bottom up.
    for (qsizetype i = texts.size() - 1; i >= 0; --i) {
        TQuorCall *call = records.make();
        table.addRow(RowContact, call, texts.at(i), QString());
        calls.prepend(call);
    }
    return calls;
}

class KeyCountingParent : public QWidget
{
public:
    int keys = 0;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        ++keys;
        event->accept();
    }
};

} // namespace

class TestTQuorTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void addRowSelectsFirstAndKeepsSelection();
    void sortedInsertionAndRename();
    void batchesAndRelabel();
    void removeRowMovesSelection_data();
    void removeRowMovesSelection();
    void search_data();
    void search();
    void upAndDownKeys();
    void rowLimitDropsOldest();
    void privacyMasking_data();
    void privacyMasking();
    void privacyOfRows();
    void dragPayloadResolvesOnlyLiveRecords();
    void sortedCopy();
    void contextMenus();
    void rowRemovedFromItsOwnMenuSignal();
    void rowGoesWhileItsMenuIsOpen_data();
    void rowGoesWhileItsMenuIsOpen();
    void listGoesDuringADrag();
    void scrollFollowsRows();
    void ringingRowsBlinkOnlyInActiveLists();
    void picturesAreCompiledIn();
};

void TestTQuorTable::initTestCase()
{
    qRegisterMetaType<TQuorCall *>();
    qRegisterMetaType<QKeyEvent *>();
}

void TestTQuorTable::addRowSelectsFirstAndKeepsSelection()
{
    QWidget parent;
    TQuorTable table(&parent, false);
    QSignalSpy selected(&table, &TQuorTable::signalRowSelected);
    Records records;
    QCOMPARE(table.selectedCall(), nullptr);

    TQuorCall *first = records.make();
    table.addRow(RowDialled, first, QStringLiteral("first"), QStringLiteral("10:00"));
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).value<TQuorCall *>(), first);

    TQuorCall *second = records.make();
    table.addRow(RowDialled, second, QStringLiteral("second"), QString());
    // New rows go on top; the selection stays with its record and is not announced again.
    QCOMPARE(captions(table), QStringList({ QStringLiteral("second"), QStringLiteral("first") }));
    QCOMPARE(table.selectedCall(), first);
    QCOMPARE(table.selectedIndex(), 1);
    QCOMPARE(selected.count(), 1);
    QVERIFY(table.rows().at(1)->isSelected());
    QVERIFY(!table.rows().at(0)->isSelected());

    table.selectRowAt(0);
    QCOMPARE(table.selectedCall(), second);
    QVERIFY(!table.rows().at(1)->isSelected());
    QCOMPARE(selected.count(), 2);

    // "No company" stands for no second line.
    table.addRow(RowContact, records.make(), QStringLiteral("c"), QStringLiteral("No company"));
    QCOMPARE(table.rows().at(0)->timeText(), QString());
    QCOMPARE(table.rows().at(0)->toolTipText(), QStringLiteral("c"));
}

void TestTQuorTable::sortedInsertionAndRename()
{
    QWidget parent;
    TQuorTable table(&parent, false);
    Records records;
    fill(table, records, { QStringLiteral("delta"), QStringLiteral("Bravo"), QStringLiteral("alpha") });
    TQuorCall *bravo = table.rows().at(1)->call();
    table.selectRow(bravo);

    table.setSorted(true);
    QCOMPARE(
        captions(table), QStringList({ QStringLiteral("alpha"), QStringLiteral("Bravo"), QStringLiteral("delta") }));
    QCOMPARE(table.selectedCall(), bravo);

    QSignalSpy selected(&table, &TQuorTable::signalRowSelected);
    table.addRow(RowContact, records.make(), QStringLiteral("Charlie"), QString());
    table.addRow(RowContact, records.make(), QStringLiteral("ALPHA"), QString());
    table.addRow(RowContact, records.make(), QStringLiteral("zulu"), QString());
    QCOMPARE(captions(table),
        QStringList({ QStringLiteral("alpha"), QStringLiteral("ALPHA"), QStringLiteral("Bravo"),
            QStringLiteral("Charlie"), QStringLiteral("delta"), QStringLiteral("zulu") }));
    QCOMPARE(table.selectedCall(), bravo);
    QCOMPARE(selected.count(), 0);

    table.renameRow(QStringLiteral("yankee"), bravo);
    QCOMPARE(captions(table).indexOf(QStringLiteral("yankee")), 4);
    QCOMPARE(table.selectedCall(), bravo);
    QCOMPARE(table.selectedIndex(), 4);

    // An unsorted list keeps the place of a renamed row.
    TQuorTable plain(&parent, false);
    const QList<TQuorCall *> calls = fill(plain, records, { QStringLiteral("b"), QStringLiteral("a") });
    plain.renameRow(QStringLiteral("z"), calls.at(1));
    QCOMPARE(captions(plain), QStringList({ QStringLiteral("b"), QStringLiteral("z") }));
}

void TestTQuorTable::batchesAndRelabel()
{
    QWidget parent;
    TQuorTable single(&parent, false);
    TQuorTable batched(&parent, false);
    single.setSorted(true);
    batched.setSorted(true);
    Records records;
    const QStringList texts = { "b", "A", "a", "c", "B" };
    QSignalSpy announced(&batched, &TQuorTable::signalRowSelected);
    batched.beginUpdate();
    for (const QString &text : texts) {
        TQuorCall *call = records.make();
        single.addRow(RowContact, call, text, QString());
        batched.addRow(RowContact, call, text, QString());
    }
    batched.endUpdate();
    // One sort at the end of a batch gives the order of one insertion at a time.
    QCOMPARE(captions(batched), captions(single));
    QCOMPARE(batched.selectedCall(), single.selectedCall());
    QCOMPARE(announced.count(), 1);

    // A relabel sorts once by the new captions; the selection stays with its record.
    TQuorCall *selected = batched.selectedCall();
    batched.relabelRows([](const TQuorTableRow &row) { return QStringLiteral("x") + row.text().toUpper(); });
    QCOMPARE(captions(batched), QStringList({ "xA", "xA", "xB", "xB", "xC" }));
    QCOMPARE(batched.selectedCall(), selected);

    // A record listed twice is still found once one of its rows goes.
    TQuorCall *twice = records.make();
    batched.addRow(RowContact, twice, QStringLiteral("first"), QString());
    batched.addRow(RowContact, twice, QStringLiteral("second"), QString());
    QVERIFY(batched.removeRow(twice));
    QCOMPARE(batched.rowOf(twice)->text(), QStringLiteral("second"));
}

void TestTQuorTable::removeRowMovesSelection_data()
{
    QTest::addColumn<int>("selectedBefore");
    QTest::addColumn<int>("removed");
    QTest::addColumn<int>("selectedAfter"); // index into the original rows; -1 none
    QTest::addColumn<bool>("announced");

    QTest::newRow("row below the selection") << 1 << 3 << 1 << false;
    QTest::newRow("row above the selection") << 2 << 0 << 2 << false;
    QTest::newRow("selected row: the next takes its place") << 1 << 1 << 2 << true;
    QTest::newRow("selected last row: the one above") << 3 << 3 << 2 << true;
    QTest::newRow("selected first row") << 0 << 0 << 1 << true;
}

void TestTQuorTable::removeRowMovesSelection()
{
    QFETCH(int, selectedBefore);
    QFETCH(int, removed);
    QFETCH(int, selectedAfter);
    QFETCH(bool, announced);

    QWidget parent;
    TQuorTable table(&parent, false);
    Records records;
    const QList<TQuorCall *> calls = fill(table, records, { "a", "b", "c", "d" });
    table.selectRowAt(selectedBefore);

    QSignalSpy selected(&table, &TQuorTable::signalRowSelected);
    QVERIFY(table.removeRow(calls.at(removed)));
    QCOMPARE(table.rows().size(), 3);
    QCOMPARE(table.rowOf(calls.at(removed)), nullptr);
    QCOMPARE(table.selectedCall(), calls.at(selectedAfter));
    QVERIFY(table.rowOf(calls.at(selectedAfter))->isSelected());
    QCOMPARE(selected.count(), announced ? 1 : 0);
    if (announced)
        QCOMPARE(selected.at(0).at(0).value<TQuorCall *>(), calls.at(selectedAfter));
    // The record itself is the caller's.
    QVERIFY(TQuorCall::isLive(calls.at(removed)));
}

void TestTQuorTable::search_data()
{
    QTest::addColumn<bool>("sorted");
    QTest::addColumn<QStringList>("texts"); // display order
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");

    const QStringList names = { "Adam", "Anna", "Annabel", "Bob", "bobby", "Carl" };
    QTest::newRow("longest prefix") << true << names << "annab" << 2;
    QTest::newRow("ignores case") << true << names << "BOBB" << 4;
    QTest::newRow("tie goes to the first") << true << names << "an" << 1;
    QTest::newRow("prefix longer than caption") << true << names << "bobsleigh" << 3;
    QTest::newRow("no common prefix: first row") << true << names << "xyz" << 0;
    QTest::newRow("empty text: first row") << true << names << "" << 0;
    QTest::newRow("equal prefixes do not stop a sorted scan") << true << QStringList { "a", "ab", "ac" } << "ac" << 2;
    QTest::newRow("unsorted list scans every row")
        << false << QStringList { "zed", "carl", "anna", "annabel" } << "annabel" << 3;
    QTest::newRow("unsorted tie goes to the first") << false << QStringList { "abx", "aby" } << "abz" << 0;
}

void TestTQuorTable::search()
{
    QFETCH(bool, sorted);
    QFETCH(QStringList, texts);
    QFETCH(QString, text);
    QFETCH(int, expected);

    QWidget parent;
    TQuorTable table(&parent, false);
    table.setSorted(sorted);
    Records records;
    fill(table, records, texts);
    QCOMPARE(captions(table), texts);
    table.selectRowAt(texts.size() - 1);

    QSignalSpy selected(&table, &TQuorTable::signalRowSelected);
    table.search(text);
    QCOMPARE(table.selectedIndex(), expected);
    QCOMPARE(selected.count(), 1);
    QCOMPARE(selected.at(0).at(0).value<TQuorCall *>(), table.rows().at(expected)->call());

    TQuorTable empty(&parent, false);
    QSignalSpy none(&empty, &TQuorTable::signalRowSelected);
    empty.search(text);
    QCOMPARE(none.count(), 0);
}

void TestTQuorTable::upAndDownKeys()
{
    KeyCountingParent parent;
    auto *table = new TQuorTable(&parent, false);
    Records records;
    fill(*table, records, { "a", "b", "c" });
    table->selectRowAt(0);
    QSignalSpy keys(table, &TQuorTable::signalKeyPressed);
    QSignalSpy selected(table, &TQuorTable::signalRowSelected);

    QTest::keyClick(table, Qt::Key_Down);
    QCOMPARE(table->selectedIndex(), 1);
    QTest::keyClick(table, Qt::Key_Down);
    QTest::keyClick(table, Qt::Key_Down); // already on the last row
    QCOMPARE(table->selectedIndex(), 2);
    QTest::keyClick(table, Qt::Key_Up);
    QCOMPARE(table->selectedIndex(), 1);
    QTest::keyClick(table, Qt::Key_A);
    QCOMPARE(table->selectedIndex(), 1);

    QCOMPARE(selected.count(), 3);
    // Every key goes out through the signal and none reaches the parent.
    QCOMPARE(keys.count(), 5);
    QCOMPARE(parent.keys, 0);

    TQuorTable empty(&parent, false);
    QTest::keyClick(&empty, Qt::Key_Down);
    QTest::keyClick(&empty, Qt::Key_Up);
    QCOMPARE(empty.selectedCall(), nullptr);
}

void TestTQuorTable::rowLimitDropsOldest()
{
    QWidget parent;
    TQuorTable table(&parent, false);
    table.setRowLimit(3);
    QSignalSpy dropped(&table, &TQuorTable::signalRowDropped);
    QSignalSpy selected(&table, &TQuorTable::signalRowSelected);
    Records records;
    QList<TQuorCall *> calls;
    for (int i = 0; i < 5; ++i) {
        calls << records.make();
        table.addRow(RowMissed, calls.last(), QString::number(i), QString());
    }
    QCOMPARE(captions(table), QStringList({ "4", "3", "2" }));
    QCOMPARE(dropped.count(), 2);
    QCOMPARE(dropped.at(0).at(0).value<TQuorCall *>(), calls.at(0));
    QCOMPARE(dropped.at(1).at(0).value<TQuorCall *>(), calls.at(1));
    // The first row was selected and dropped; the selection went to its neighbour.
    QCOMPARE(table.selectedCall(), calls.at(2));
    QCOMPARE(selected.count(), 3);

    // In a sorted list the oldest row is found by age, not by place.
    TQuorTable sorted(&parent, false);
    sorted.setSorted(true);
    sorted.setRowLimit(2);
    QSignalSpy sortedDropped(&sorted, &TQuorTable::signalRowDropped);
    TQuorCall *zulu = records.make();
    sorted.addRow(RowContact, zulu, QStringLiteral("zulu"), QString());
    sorted.addRow(RowContact, records.make(), QStringLiteral("alpha"), QString());
    sorted.addRow(RowContact, records.make(), QStringLiteral("mike"), QString());
    QCOMPARE(captions(sorted), QStringList({ "alpha", "mike" }));
    QCOMPARE(sortedDropped.count(), 1);
    QCOMPARE(sortedDropped.at(0).at(0).value<TQuorCall *>(), zulu);

    // Lowering the limit drops at once; 0 means no limit.
    table.setRowLimit(1);
    QCOMPARE(captions(table), QStringList({ "4" }));
    table.setRowLimit(0);
    table.addRow(RowMissed, records.make(), QStringLiteral("5"), QString());
    QCOMPARE(table.rows().size(), 2);
}

void TestTQuorTable::privacyMasking_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("masked");

    QTest::newRow("plain number") << "5551234"
                                  << "xxxx234";
    QTest::newRow("name and number") << "John Smith <5551234>"
                                     << "John Smith <xxxx234>";
    QTest::newRow("international with separators") << "+49 30 1234-567"
                                                   << "+xx xx xxxx-567";
    QTest::newRow("three digits or fewer stay") << "ext 201"
                                                << "ext 201";
    QTest::newRow("separate numbers") << "tel 5551234, fax 5559876"
                                      << "tel xxxx234, fax xxxx876";
    QTest::newRow("uri") << "sip:123456@pbx"
                         << "sip:xxx456@pbx";
    QTest::newRow("lone plus") << "a + b"
                               << "a + b";
}

void TestTQuorTable::privacyMasking()
{
    QFETCH(QString, text);
    QFETCH(QString, masked);
    QCOMPARE(Privacy::maskNumbers(text), masked);
}

void TestTQuorTable::privacyOfRows()
{
    QWidget parent;
    TQuorTable table(&parent, true);
    Records records;
    TQuorCall *call = records.make();
    table.addRow(RowIncomingRinging, call, QStringLiteral("John 5551234"), QStringLiteral("12:00"));
    TQuorTableRow *row = table.rowOf(call);
    QCOMPARE(row->shownText(), QStringLiteral("John 5551234"));

    table.setPrivacy(true);
    QCOMPARE(row->shownText(), QStringLiteral("John xxxx234"));
    QCOMPARE(row->shownToolTip(), QStringLiteral("John xxxx234"));
    table.setRowToolTip(QStringLiteral("Call from 5551234"), call);
    QCOMPARE(row->shownToolTip(), QStringLiteral("Call from xxxx234"));
    // The real caption is kept for sorting and search.
    QCOMPARE(row->text(), QStringLiteral("John 5551234"));

    // Rows added while privacy is on are masked from the start.
    TQuorCall *later = records.make();
    table.addRow(RowMissed, later, QStringLiteral("5559876"), QString());
    QCOMPARE(table.rowOf(later)->shownText(), QStringLiteral("xxxx876"));

    table.setPrivacy(false);
    QCOMPARE(row->shownText(), QStringLiteral("John 5551234"));
    QCOMPARE(row->shownToolTip(), QStringLiteral("Call from 5551234"));
}

void TestTQuorTable::dragPayloadResolvesOnlyLiveRecords()
{
    QWidget parent;
    TQuorTable table(&parent, true);
    Records records;
    auto *call = new TQuorCall;
    table.addRow(RowTalking, call, QStringLiteral("talking"), QString());

    std::unique_ptr<QMimeData> data(table.rowOf(call)->mimeData());
    QVERIFY(data);
    QVERIFY(data->hasFormat(QStringLiteral("phone/call")));
    QCOMPARE(
        data->data(QStringLiteral("phone/call")), QByteArray::number(qulonglong(reinterpret_cast<quintptr>(call))));
    QCOMPARE(TQuorCall::fromMimeData(data.get()), call);

    // A call that ended during the drag resolves to nothing.
    table.removeRow(call);
    delete call;
    QCOMPARE(TQuorCall::fromMimeData(data.get()), nullptr);

    // Payloads from elsewhere resolve to nothing.
    for (const QByteArray &payload : { QByteArray("0"), QByteArray("12345"), QByteArray("garbage"), QByteArray() }) {
        QMimeData foreign;
        foreign.setData(QStringLiteral("phone/call"), payload);
        QCOMPARE(TQuorCall::fromMimeData(&foreign), nullptr);
    }

    // Contact and server rows are not calls and cannot be dragged as one.
    TQuorCall *contactRecord = records.make();
    contactRecord->contact = reinterpret_cast<TContact *>(&parent);
    table.addRow(RowContact, contactRecord, QStringLiteral("contact"), QString());
    QCOMPARE(table.rowOf(contactRecord)->mimeData(), nullptr);
    table.addRow(RowInformation, nullptr, QStringLiteral("note"), QString());
    QCOMPARE(table.rowOf(nullptr)->mimeData(), nullptr);
}

void TestTQuorTable::sortedCopy()
{
    QWidget parent;
    TQuorTable source(&parent, false);
    source.setTableGeometry(0, 0, 170, 182);
    source.setPrivacy(true);
    Records records;
    const QList<TQuorCall *> calls = fill(source, records, { "zed", "Anna", "mike" });
    source.setRowToolTip(QStringLiteral("tip"), calls.at(0));

    TQuorTable copy(&source);
    QCOMPARE(copy.parentWidget(), &parent);
    QCOMPARE(copy.geometry(), QRect(0, 0, 170, 182));
    QCOMPARE(copy.visibleRows(), 5);
    QVERIFY(copy.isSorted());
    QVERIFY(copy.privacy());
    QVERIFY(!copy.isActiveCallList());
    QCOMPARE(captions(copy), QStringList({ "Anna", "mike", "zed" }));
    for (const TQuorTableRow *row : copy.rows()) {
        const TQuorTableRow *original = source.rowOf(row->call());
        QVERIFY(original);
        QVERIFY(original != row);
        QCOMPARE(row->kind(), original->kind());
        QVERIFY(row->privacy());
    }
    // The source is untouched.
    QCOMPARE(captions(source), QStringList({ "zed", "Anna", "mike" }));
    QVERIFY(!source.isSorted());
}

void TestTQuorTable::contextMenus()
{
    TQuorCall call;
    using Row = TQuorTableRow;
    const QList<Row::MenuAction> editing = { Row::ActionAdd, Row::ActionEdit, Row::ActionDelete };
    QCOMPARE(Row::menuActions(RowContact, &call), editing);
    QCOMPARE(Row::menuActions(RowLdapServer, &call), editing);
    QCOMPARE(Row::menuActions(RowContact, nullptr), QList<Row::MenuAction>());
    // A missed-call row that is really an error message has nobody to call back.
    QCOMPARE(Row::menuActions(RowMissed, &call), QList<Row::MenuAction>());
    call.number = QStringLiteral("201");
    QCOMPARE(Row::menuActions(RowMissed, &call), QList<Row::MenuAction>({ Row::ActionCall }));

    // The menu's row becomes the selected one before its action is announced,
    // since the owners act on their selection.
    QWidget parent;
    TQuorTable table(&parent, false);
    Records records;
    const QList<TQuorCall *> calls = fill(table, records, { "a", "b" });
    TQuorCall *selectedWhenEdited = nullptr;
    connect(&table, &TQuorTable::signalEdit, &table, [&] { selectedWhenEdited = table.selectedCall(); });
    QSignalSpy edit(&table, &TQuorTable::signalEdit);
    QSignalSpy add(&table, &TQuorTable::signalAdd);
    QSignalSpy del(&table, &TQuorTable::signalDel);
    table.rowOf(calls.at(1))->triggerMenuAction(Row::ActionEdit);
    QCOMPARE(edit.count(), 1);
    QCOMPARE(edit.at(0).at(0).value<TQuorCall *>(), calls.at(1));
    QCOMPARE(selectedWhenEdited, calls.at(1));
    table.rowOf(calls.at(0))->triggerMenuAction(Row::ActionAdd);
    table.rowOf(calls.at(0))->triggerMenuAction(Row::ActionDelete);
    QCOMPARE(add.count(), 1);
    QCOMPARE(del.count(), 1);
    QCOMPARE(del.at(0).at(0).value<TQuorCall *>(), calls.at(0));
}

void TestTQuorTable::rowRemovedFromItsOwnMenuSignal()
{
    QWidget parent;
    TQuorTable table(&parent, true);
    Records records;
    TQuorCall *call = records.make();
    TQuorCall *other = records.make();
    table.addRow(RowTalking, other, QStringLiteral("other"), QString());
    table.addRow(RowTalking, call, QStringLiteral("call"), QString());
    QString captionAfterRemoval;
    connect(&table, &TQuorTable::signalHangup, &table, [&](TQuorCall *c) {
        TQuorTableRow *row = table.rowOf(c);
        QVERIFY(table.removeRow(c));
        // The row outlives the signal that removed it.
        captionAfterRemoval = row->text();
    });

    table.rowOf(call)->triggerMenuAction(TQuorTableRow::ActionHangup);
    QCOMPARE(captionAfterRemoval, QStringLiteral("call"));
    QVERIFY(!table.rowOf(call));
    QCOMPARE(table.selectedCall(), other);
}

void TestTQuorTable::rowGoesWhileItsMenuIsOpen_data()
{
    QTest::addColumn<bool>("removeRow");
    QTest::addColumn<bool>("deleteList");
    QTest::addColumn<bool>("chooseAction");

    QTest::newRow("row stays, its action chosen") << false << false << true;
    QTest::newRow("row removed, menu dismissed") << true << false << false;
    QTest::newRow("row removed, its action chosen") << true << false << true;
    QTest::newRow("whole list deleted") << false << true << true;
}

void TestTQuorTable::rowGoesWhileItsMenuIsOpen()
{
    QFETCH(bool, removeRow);
    QFETCH(bool, deleteList);
    QFETCH(bool, chooseAction);

    QWidget window;
    window.resize(200, 200);
    auto *table = new TQuorTable(&window, true);
    table->setTableGeometry(0, 0, 170, 3 * TQuorTable::RowHeight);
    Records records;
    TQuorCall *call = records.make();
    table->addRow(RowIncomingRinging, call, QStringLiteral("ringing"), QString());
    table->addRow(RowTalking, records.make(), QStringLiteral("talking"), QString());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy hangups(table, &TQuorTable::signalHangup);
    QSignalSpy answers(table, &TQuorTable::signalAnswer);

    QPointer<TQuorTableRowView> view;
    for (TQuorTableRowView *v : table->rowViews()) {
        if (v->row() == table->rowOf(call))
            view = v;
    }
    QVERIFY(view);

    // While the menu runs its own loop, the caller hangs up (or the list goes).
    bool menuSeen = false;
    QTimer::singleShot(0, &window, [&] {
        QWidget *menu = QApplication::activePopupWidget();
        menuSeen = menu != nullptr;
        if (deleteList)
            delete table;
        else if (removeRow)
            table->removeRow(call);
        if (!menu)
            return;
        if (chooseAction) {
            QTest::keyClick(menu, Qt::Key_Down);
            QTest::keyClick(menu, Qt::Key_Return);
        } else {
            QTest::keyClick(menu, Qt::Key_Escape);
        }
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), view->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(view, &event);

    QVERIFY(menuSeen);
    if (deleteList) {
        // The view went once its menu had returned.
        QTRY_VERIFY(view.isNull());
        return;
    }
    QVERIFY(view);
    QCOMPARE(table->rowOf(call) == nullptr, removeRow);
    // An action chosen for a row that is gone reaches nobody.
    QCOMPARE(answers.count(), chooseAction && !removeRow ? 1 : 0);
    QCOMPARE(hangups.count(), 0);
}

void TestTQuorTable::listGoesDuringADrag()
{
    if (QGuiApplication::platformName() == QLatin1String("offscreen"))
        QSKIP("the offscreen platform runs no drag; run with QT_QPA_PLATFORM=xcb under xvfb-run");
    QWidget window;
    window.resize(200, 200);
    auto *table = new TQuorTable(&window, true);
    table->setTableGeometry(0, 0, 170, 3 * TQuorTable::RowHeight);
    Records records;
    table->addRow(RowTalking, records.make(), QStringLiteral("talking"), QString());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QPointer<TQuorTableRowView> view = table->rowViews().first();

    // The list goes while the drag runs its own loop.
    bool busy = false;
    QTimer::singleShot(0, &window, [&] {
        busy = view && view->isBusy();
        delete table;
        QDrag::cancel();
    });
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(5, 5), view->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
        Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view, &press);
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 5), view->mapToGlobal(QPointF(60, 5)), Qt::NoButton, Qt::LeftButton,
        Qt::NoModifier);
    QApplication::sendEvent(view, &move);
    QVERIFY(busy);
    QTRY_VERIFY(view.isNull());
}

void TestTQuorTable::scrollFollowsRows()
{
    QWidget window;
    window.resize(300, 300);
    auto *table = new TQuorTable(&window, false);
    table->setTableGeometry(0, 0, 170, 3 * TQuorTable::RowHeight + 10);
    QCOMPARE(table->visibleRows(), 3);
    auto *scroll = new TQuorTableScroll(&window);
    scroll->move(170, 0);
    table->attachScroll(scroll);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    Records records;
    const QList<TQuorCall *> calls = fill(*table, records, { "a", "b", "c" });
    QVERIFY(!scroll->isVisible());
    QCOMPARE(inView(*table), QStringList({ "a", "b", "c" }));

    fill(*table, records, { "0" });
    QVERIFY(scroll->isVisible());
    QCOMPARE(scroll->maximum(), 1);
    QCOMPARE(inView(*table), QStringList({ "0", "a", "b" }));

    // Selecting a row out of view brings it in; the bar follows.
    table->selectRowAt(3);
    QCOMPARE(table->firstVisibleRow(), 1);
    QCOMPARE(scroll->value(), 1);
    QCOMPARE(inView(*table), QStringList({ "a", "b", "c" }));
    // Widgets exist for the lines in view only.
    fill(*table, records, { "1", "2", "3", "4", "5", "6" });
    QCOMPARE(table->findChildren<TQuorTableRowView *>().size(), 3);
    for (int i = 0; i < 6; ++i)
        QVERIFY(table->removeRow(table->rows().at(0)->call()));

    // And the bar drives the list.
    scroll->stepUp();
    QCOMPARE(table->firstVisibleRow(), 0);
    scroll->setValue(5);
    QCOMPARE(table->firstVisibleRow(), 1);

    // A hidden list takes its bar with it.
    table->hide();
    QVERIFY(!scroll->isVisible());
    table->show();
    QVERIFY(scroll->isVisible());

    QVERIFY(table->removeRow(calls.at(0)));
    QVERIFY(!scroll->isVisible());
    QCOMPARE(table->firstVisibleRow(), 0);

    fill(*table, records, { "x" });
    // Small wheel steps add up to one row per notch.
    const QPoint at(10, 10);
    for (int i = 0; i < 4; ++i) {
        QWheelEvent wheel(at, table->mapToGlobal(at), QPoint(), QPoint(0, -30), Qt::NoButton, Qt::NoModifier,
            Qt::NoScrollPhase, false);
        QApplication::sendEvent(table, &wheel);
        QCOMPARE(table->firstVisibleRow(), i == 3 ? 1 : 0);
    }

    table->detachScroll();
    QVERIFY(!scroll->isVisible());
    scroll->setValue(0);
    QCOMPARE(table->firstVisibleRow(), 1);

    // A list deleted with its bar attached takes the bar off the screen.
    table->attachScroll(scroll);
    QVERIFY(scroll->isVisible());
    delete table;
    QVERIFY(!scroll->isVisible());
    scroll->stepDown();
}

void TestTQuorTable::ringingRowsBlinkOnlyInActiveLists()
{
    QWidget parent;
    TQuorTable passive(&parent, false);
    QCOMPARE(passive.findChild<QTimer *>(), nullptr);

    TQuorTable active(&parent, true);
    auto *timer = active.findChild<QTimer *>();
    QVERIFY(timer && timer->isActive());

    Records records;
    TQuorCall *ringing = records.make();
    TQuorCall *talking = records.make();
    active.addRow(RowIncomingRinging, ringing, QStringLiteral("ringing"), QString());
    active.addRow(RowTalking, talking, QStringLiteral("talking"), QString());

    bool phases[2] = {};
    for (bool &phase : phases) {
        QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
        phase = active.rowOf(ringing)->blinkPhase();
        QVERIFY(!active.rowOf(talking)->blinkPhase());
    }
    QVERIFY(phases[0] != phases[1]);

    // Answered: the row stops blinking.
    active.setRowKind(RowTalking, ringing);
    QVERIFY(!active.rowOf(ringing)->blinkPhase());
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    QVERIFY(!active.rowOf(ringing)->blinkPhase());
    // Kind 1 keeps the kind.
    active.setRowKind(RowKeep, ringing);
    QCOMPARE(active.rowOf(ringing)->kind(), int(RowTalking));
}

void TestTQuorTable::picturesAreCompiledIn()
{
    // A missing picture would only show as a plain fallback, so look for each.
    QStringList names = { "splash.png", "scroll_up.png", "scroll_up_h.png", "scroll_down.png", "scroll_down_h.png",
        "rows/row_bg.png", "rows/row_bg_sel.png", "rows/row_bg_ring.png" };
    for (const char *kind :
        { "ringing", "outgoing", "talking", "held", "missed", "info", "dialled", "answered", "contact", "server" })
        names << QStringLiteral("rows/kind_%1.png").arg(QLatin1String(kind));
    for (const QString &name : std::as_const(names))
        QVERIFY2(!QPixmap(QStringLiteral(":/ui/images/") + name).isNull(), qPrintable(name));
    QVERIFY(QFile::exists(QStringLiteral(":/ui/css/app.css")));
}

QTEST_MAIN(TestTQuorTable)
#include "tst_tquortable.moc"
