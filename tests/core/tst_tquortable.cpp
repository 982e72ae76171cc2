// The list behind calls, logs, contacts and servers: scripted order, selection,
// search, menu actions and row limit; what a row shows; menus and drags that
// outlive their row; the scroll bar; and the drag data of the records.

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <deque>
#include <memory>
#include <new>

#include "core/Privacy.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableRowView.h"
#include "core/TQuorTableScroll.h"

namespace {

QString captions(const TQuorTable &table)
{
    QStringList out;
    for (const TQuorTableRow *row : table.rows())
        out << row->text();
    return out.join(u' ');
}

// A shown list of three lines holding a ringing and a talking row.
struct ShownList
{
    QWidget window;
    TQuorTable *table = new TQuorTable(&window, true);
    std::deque<TQuorCall> records; // the tables never own their records
    TQuorCall *ringing = &records.emplace_back();

    ShownList()
    {
        window.resize(200, 200);
        table->setTableGeometry(0, 0, 170, 3 * TQuorTable::kRowHeight);
        table->addRow(RowTalking, &records.emplace_back(), QStringLiteral("talking"), QString());
        table->addRow(RowIncomingRinging, ringing, QStringLiteral("ringing"), QString());
        window.show();
    }
};

} // namespace

class TestTQuorTable : public QObject
{
    Q_OBJECT

private slots:
    void script_data();
    void script();
    void rowState();
    void rowGoesWhileItsMenuIsOpen_data();
    void rowGoesWhileItsMenuIsOpen();
    void scrollFollowsRows();
    void foreignDataResolvesToNothing_data();
    void foreignDataResolvesToNothing();
    void endedOrReplacedCallResolvesToNothing();
};

void TestTQuorTable::script_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<QString>("heard"); // records selected, edited or hung up, in order
    QTest::addColumn<QString>("dropped"); // records dropped by the row limit
    const auto row = [](const char *name, const QString &steps, const QString &rows, const QString &selected,
                         const QString &heard, const QString &dropped = QString()) {
        QTest::newRow(name) << steps << rows << selected << heard << dropped;
    };

    row("sorted: case ignored, equal captions keep their order",
        "+delta +Bravo +alpha @Bravo sort +Charlie +ALPHA +zulu", "alpha ALPHA Bravo Charlie delta zulu", "Bravo",
        "delta Bravo");
    row("sorted rename moves the row", "sort +a +b +c @b b=z", "a c z", "z", "a b");
    row("a batch sorts once as single adds would", "sort { +b +A +a +c +B }", "A a b B c", "b", "b");
    row("remove the selected: the next", "+d +c +b +a @b -b", "a c d", "c", "d b c");
    row("remove the selected last: the one above", "+d +c +b +a -d", "a b c", "c", "d c");
    row("a record listed twice keeps its other row", "+a &a=b -a -a", "", "", "a a");
    row("search: longest prefix, case ignored", "sort +Carl +Anna +Annabel +bob ?ANNAB", "Anna Annabel bob Carl",
        "Annabel", "Carl Annabel");
    row("search: equal prefixes do not stop a sorted scan", "sort +a +ab +ac ?ac", "a ab ac", "ac", "a ac");
    row("up and down stay within the list", "+c +b +a @a down down down up", "a b c", "b", "c a b c b");
    row("a menu's row is selected before its action", "+a +b !b", "b a", "b", "a b edit:b");
    row("a row removed by its own menu's signal outlives it", "+a +b xb", "a", "a", "a b a gone:b");
    row("row limit drops the oldest", "limit3 +0 +1 +2 +3 +4", "4 3 2", "2", "0 1 2", "0 1");
}

// Steps: "+a" adds a row for a new record a, "-a" removes a's row, "@a"
// selects it, "a=b" renames it, "&a=b" adds a second row b for a's record,
// "!a" and "xa" choose Edit and Hang up from its menu (the hang-up removes
// the row), "?t" searches t, "sort", "limitN", "{" and "}" begin and end a
// batch, "up" and "down" are keys.
void TestTQuorTable::script()
{
    QFETCH(QString, steps);
    QFETCH(QString, rows);
    QFETCH(QString, selected);
    QFETCH(QString, heard);
    QFETCH(QString, dropped);

    QWidget parent;
    auto *table = new TQuorTable(&parent, false);
    std::deque<TQuorCall> records;
    QHash<QString, TQuorCall *> byName;
    QStringList said[2];
    connect(table, &TQuorTable::signalRowSelected, table, [&](TQuorCall *c) { said[0] << c->name; });
    connect(table, &TQuorTable::signalEdit, table, [&](TQuorCall *c) { said[0] << "edit:" + c->name; });
    connect(table, &TQuorTable::signalHangup, table, [&](TQuorCall *c) {
        TQuorTableRow *row = table->rowOf(c);
        QVERIFY(table->removeRow(c));
        // A row freed too early would lend its memory to the next one.
        const auto next = std::make_unique<TQuorTableRow>(RowContact, nullptr);
        next->setText(QStringLiteral("reused"));
        said[0] << "gone:" + row->text();
    });
    connect(table, &TQuorTable::signalRowDropped, table, [&](TQuorCall *c) { said[1] << c->name; });
    int keys = 0;
    connect(table, &TQuorTable::signalKeyPressed, table, [&] { --keys; });
    for (const QString &step : steps.split(u' ', Qt::SkipEmptyParts)) {
        const QString arg = step.mid(1);
        if (step == u"sort") {
            table->setSorted(true);
        } else if (step == u"{" || step == u"}") {
            step == u"{" ? table->beginUpdate() : table->endUpdate();
        } else if (step == u"up" || step == u"down") {
            // The owner hears every key through the signal; it must not reach the parent.
            QKeyEvent key(QEvent::KeyPress, step == u"up" ? Qt::Key_Up : Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(table, &key);
            QVERIFY(key.isAccepted());
            ++keys;
        } else if (step.startsWith(u"limit")) {
            table->setRowLimit(step.mid(5).toInt());
        } else if (step.startsWith(u'+')) {
            byName.insert(arg, &records.emplace_back());
            byName.value(arg)->name = arg;
            table->addRow(RowContact, byName.value(arg), arg, QString());
        } else if (step.startsWith(u'&')) {
            table->addRow(RowContact, byName.value(arg.section(u'=', 0, 0)), arg.section(u'=', 1), QString());
        } else if (step.startsWith(u'-')) {
            QVERIFY(table->removeRow(byName.value(arg)));
        } else if (step.startsWith(u'@')) {
            table->selectRow(byName.value(arg));
        } else if (step.startsWith(u'!') || step.startsWith(u'x')) {
            table->rowOf(byName.value(arg))
                ->triggerMenuAction(step.startsWith(u'!') ? TQuorTableRow::ActionEdit : TQuorTableRow::ActionHangup);
        } else if (step.startsWith(u'?')) {
            table->search(arg);
        } else {
            table->renameRow(step.section(u'=', 1), byName.value(step.section(u'=', 0, 0)));
        }
    }
    QCOMPARE(captions(*table), rows);
    const int index = table->selectedIndex();
    QCOMPARE(index < 0 ? QString() : table->rows().at(index)->text(), selected);
    QCOMPARE(std::count_if(table->rows().cbegin(), table->rows().cend(), [](auto *r) { return r->isSelected(); }),
        index < 0 ? 0 : 1);
    QCOMPARE(said[0].join(u' '), heard);
    QCOMPARE(said[1].join(u' '), dropped);
    QCOMPARE(keys, 0);
}

// What a row shows: masked numbers (also in a sorted copy), blinking while
// ringing only, and drag data for calls.
void TestTQuorTable::rowState()
{
    ShownList list;
    TQuorTable &table = *list.table;
    TQuorCall *ringing = list.ringing;
    TQuorTableRow *row = table.rowOf(ringing);
    table.renameRow(QStringLiteral("John 5551234"), ringing);
    table.setPrivacy(true);
    QCOMPARE(row->shownText(), QStringLiteral("John xxxx234"));
    QCOMPARE(row->text(), QStringLiteral("John 5551234")); // kept for sorting and search
    QCOMPARE(Privacy::maskNumbers(QStringLiteral("tel 5551234, fax 201")), QStringLiteral("tel xxxx234, fax 201"));
    const TQuorTable copy(&table);
    QCOMPARE(copy.rowOf(ringing)->shownText(), QStringLiteral("John xxxx234"));

    QTimer *timer = table.findChild<QTimer *>();
    QVERIFY(timer && timer->isActive());
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    QVERIFY(row->blinkPhase() && !table.rows().last()->blinkPhase());
    table.setRowKind(RowTalking, ringing); // answered: no more blinking
    QVERIFY(QMetaObject::invokeMethod(timer, "timeout"));
    QVERIFY(!row->blinkPhase());

    // Drag data for calls only.
    const std::unique_ptr<QMimeData> data(row->mimeData());
    QCOMPARE(TQuorCall::fromMimeData(data.get()), ringing);
    TQuorCall contact;
    table.addRow(RowContact, &contact, QStringLiteral("contact"), QString());
    QCOMPARE(table.rowOf(&contact)->mimeData(), nullptr);
}

void TestTQuorTable::rowGoesWhileItsMenuIsOpen_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("row stays, its action chosen") << "nothing";
    QTest::newRow("row removed, its action chosen") << "row removed";
    QTest::newRow("whole list deleted") << "list deleted";
}

// A caller hangs up, or the list goes, while the row's menu runs its own loop.
void TestTQuorTable::rowGoesWhileItsMenuIsOpen()
{
    QFETCH(QString, meanwhile);
    const bool deleteList = meanwhile == u"list deleted";

    ShownList list;
    QVERIFY(QTest::qWaitForWindowExposed(&list.window));
    int answers = 0;
    connect(list.table, &TQuorTable::signalAnswer, list.table, [&] { ++answers; });
    QPointer<TQuorTableRowView> view = list.table->rowViews().first();
    QCOMPARE(view->row()->call(), list.ringing);

    bool busy = false;
    QTimer::singleShot(0, &list.window, [&] {
        QWidget *menu = QApplication::activePopupWidget();
        busy = view && view->isBusy() && menu;
        if (deleteList)
            delete list.table;
        else if (meanwhile == u"row removed")
            list.table->removeRow(list.ringing);
        if (!menu)
            return;
        QTest::keyClick(menu, Qt::Key_Down); // Answer
        QTest::keyClick(menu, Qt::Key_Return);
    });
    const QPoint at(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, at, view->mapToGlobal(at));
    QApplication::sendEvent(view, &event);
    QVERIFY(busy);
    if (deleteList) {
        QTRY_VERIFY(view.isNull()); // once its menu had returned
        return;
    }
    QVERIFY(view);
    // An action chosen for a row that is gone reaches nobody.
    QCOMPARE(answers, meanwhile == u"nothing" ? 1 : 0);
}

void TestTQuorTable::scrollFollowsRows()
{
    ShownList list;
    TQuorTable *table = list.table;
    auto *scroll = new TQuorTableScroll(&list.window);
    table->attachScroll(scroll);
    // Whether the bar shows, its value and maximum, and the list's top row.
    const auto state = [&] {
        return QStringLiteral("%1 %2/%3 top %4")
            .arg(scroll->isVisible() ? "shown" : "hidden")
            .arg(scroll->value())
            .arg(scroll->maximum())
            .arg(table->firstVisibleRow());
    };
    const auto add = [&](int n) {
        for (int i = 0; i < n; ++i)
            table->addRow(RowMissed, &list.records.emplace_back(), QString::number(i), QString());
    };
    QCOMPARE(state(), "hidden 0/0 top 0");
    add(2);
    QCOMPARE(state(), "shown 0/1 top 0");
    table->selectRowAt(3); // brought into view
    QCOMPARE(state(), "shown 1/1 top 1");
    add(6);
    QCOMPARE(table->findChildren<TQuorTableRowView *>().size(), 3); // widgets for the lines in view only
    scroll->setValue(3);
    QCOMPARE(state(), "shown 3/7 top 3");
    while (table->rowCount() > 3)
        table->removeRow(table->rows().first()->call());
    QCOMPARE(state(), "hidden 0/0 top 0");
    // A list deleted with its bar attached takes the bar off the screen.
    add(1);
    QVERIFY(scroll->isVisible());
    delete table;
    QVERIFY(!scroll->isVisible());
}

void TestTQuorTable::foreignDataResolvesToNothing_data()
{
    QTest::addColumn<QByteArray>("address"); // empty: the call's own
    QTest::addColumn<QByteArray>("serial"); // empty: the call's own; "-": none

    static TQuorCall other;
    QTest::newRow("no serial") << QByteArray() << QByteArray("-");
    QTest::newRow("another call's serial") << QByteArray() << QByteArray::number(other.serial());
}

void TestTQuorTable::foreignDataResolvesToNothing()
{
    QFETCH(QByteArray, address);
    QFETCH(QByteArray, serial);
    TQuorCall call;
    const std::unique_ptr<QMimeData> own(call.toMimeData());
    QCOMPARE(TQuorCall::fromMimeData(own.get()), &call);

    QMimeData data;
    const QString addressType = QLatin1String(TQuorCall::mimeType());
    const QString serialType = QLatin1String(TQuorCall::serialMimeType());
    data.setData(addressType, address.isEmpty() ? own->data(addressType) : address);
    if (serial != "-")
        data.setData(serialType, serial.isEmpty() ? own->data(serialType) : serial);
    QCOMPARE(TQuorCall::fromMimeData(&data), nullptr);
}

// A record that ended during the drag, and a new one the allocator put at the
// same address, are both refused.
void TestTQuorTable::endedOrReplacedCallResolvesToNothing()
{
    alignas(TQuorCall) unsigned char storage[sizeof(TQuorCall)];
    auto *ended = new (storage) TQuorCall;
    const std::unique_ptr<QMimeData> data(ended->toMimeData());
    ended->~TQuorCall();
    QVERIFY(!TQuorCall::isLive(ended));
    QCOMPARE(TQuorCall::fromMimeData(data.get()), nullptr);

    auto *next = new (storage) TQuorCall;
    QVERIFY(TQuorCall::isLive(next));
    QCOMPARE(TQuorCall::fromMimeData(data.get()), nullptr);
    const std::unique_ptr<QMimeData> nextData(next->toMimeData());
    QCOMPARE(TQuorCall::fromMimeData(nextData.get()), next);
    next->~TQuorCall();
    QCOMPARE(TQuorCall::fromMimeData(nullptr), nullptr);
}

QTEST_MAIN(TestTQuorTable)
#include "tst_tquortable.moc"
