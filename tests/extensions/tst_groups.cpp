// Group boxes and the group set: sorting, placing tiles, drops, the groups file.

#include <QApplication>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

#include "GroupTestSupport.h"
#include "core/CPushButton.h"
#include "extensions/DragRunner.h"
#include "extensions/TGridLayout.h"
#include "extensions/TQuorGroupsEdit.h"

namespace {

const QByteArray kFirstFile("<!DOCTYPE xmlreader>\n<groups/>\n");

} // namespace

class TestGroups : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_data = std::make_unique<TestDataDir>(); }
    void cleanup();

    void insertExtension_data();
    void insertExtension();
    void destroyedTileLeavesItsGroups();
    void headerClicksAndSortMenu_data();
    void headerClicksAndSortMenu();
    void headerDrops();

    void firstFileAndSaved();
    void unsortedRules();
    void placeExtension_data();
    void placeExtension();
    void unclaimedRecordsKeepTheirPlace();
    void sortSlots_data();
    void sortSlots();
    void drops_data();
    void drops();
    void dropsRelayedOnce();
    void withoutLoadedGroups();
    void secondLoadClearsTheFirst();
    void clearedDuringItsOwnDrag();
    void fileReadingRules();
    void fileWrittenAndReadBack();
    void corruptFileSetAside();

private:
    TQuorGroupsEdit *load(const QByteArray &file);
    QByteArray file() const { return m_data->read(QStringLiteral("extgroups.xml")); }
    // Loads three-groups.xml and places its tiles, 250 and 299 in their groups.
    void loadAndPlaceAll();

    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<TQuorGroupsEdit> m_set;
    TileSet m_tile;
};

void TestGroups::cleanup()
{
    m_set.reset();
    m_tile.clear();
    m_data.reset();
}

TQuorGroupsEdit *TestGroups::load(const QByteArray &bytes)
{
    m_set.reset();
    m_data->write(QStringLiteral("extgroups.xml"), bytes);
    m_set = std::make_unique<TQuorGroupsEdit>();
    m_set->loadGroups();
    return m_set.get();
}

void TestGroups::loadAndPlaceAll()
{
    load(groupsFixture("three-groups.xml"));
    for (const char *tileText : { "202", "201", "203", "IAX/301", "302", "250", "299" })
        m_set->placeExtension(m_tile(QLatin1String(tileText)));
    for (TExtensionGroup *group : m_set->groups()) {
        for (QuorAgent *t : group->tiles)
            t->setGroupName(group->name);
    }
}

void TestGroups::insertExtension_data()
{
    QTest::addColumn<QString>("sort");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("added");
    QTest::addColumn<int>("index");
    addCase("num: after an equal key", "num", QStringList { "100", "300" }, "100", 1);
    addCase("empty key orders by extension", "", QStringList { "100", "300" }, "20", 1);
    addCase("name: case folded", "name", QStringList { "1:alice", "2:Bob" }, "3:Alice", 1);
    addCase("an unknown key appends", "byDate", QStringList { "300", "100" }, "200", 2);
}

void TestGroups::insertExtension()
{
    QFETCH(QString, sort);
    QFETCH(QStringList, present);
    QFETCH(QString, added);
    QFETCH(int, index);
    TExtensionGroup group;
    for (const QString &tileText : present)
        group.connectExtension(m_tile(tileText), sort);
    QuorAgent *t = m_tile(added);
    QCOMPARE(group.connectExtension(t, sort), index);
    QCOMPARE(group.tiles.at(index), t);
}

void TestGroups::destroyedTileLeavesItsGroups()
{
    // A tile the panel deletes leaves every group that lists it.
    TExtensionGroup group;
    QuorAgent *a = m_tile(QStringLiteral("201"));
    group.connectExtension(a, group.sort);
    TExtensionGroup copy(&group);
    delete a;
    QVERIFY(group.tiles.isEmpty() && copy.tiles.isEmpty());
}

void TestGroups::headerClicksAndSortMenu_data()
{
    QTest::addColumn<QString>("steps"); // "click", a menu entry 0-2 picked, else a key set ("-": "")
    QTest::addColumn<QString>("look"); // tiles hidden, picture, tooltip, checked entries, key
    const QString shown = QStringLiteral("0 hidden, form, Form, ");
    addCase("collapsing hides the tiles", "click", "2 hidden, cnt, Show Extensions for this Group,  num");
    addCase("expanding shows nothing by itself", "click click", "2 hidden, drop, Hide Extensions for this Group,  num");
    addCase("by name", "0", shown + "0 name");
    addCase("picked twice stays checked", "0 0", shown + "0 name");
    addCase("custom, then by number", "2 1", shown + "1 num");
    addCase("an unknown key keeps the marks", "2 byDate", shown + "2 byDate");
    addCase("an empty key is by number", "0 -", shown + "1 num");
}

void TestGroups::headerClicksAndSortMenu()
{
    QFETCH(QString, steps);
    QFETCH(QString, look);
    TExtensionGroup header;
    header.expandButton->setToolTip(QStringLiteral("Form"));
    header.back->setPixmap(QPixmap()); // the form's
    for (const char *tileText : { "201", "202" }) {
        header.connectExtension(m_tile(QLatin1String(tileText)), QStringLiteral("num"));
        header.tiles.last()->show();
    }
    QSignalSpy expanded(&header, &TExtensionGroup::signalGroupExpanded);
    QSignalSpy sorted(&header, &TExtensionGroup::signalSort);
    QList<QAction *> entries;
    for (const QString &step : steps.split(QLatin1Char(' '))) {
        if (step == QLatin1String("click")) {
            QTest::mouseClick(header.expandButton, Qt::LeftButton);
        } else if (step.size() == 1 && step.at(0).isDigit()) {
            // Picked from the menu the right button opens.
            QTimer::singleShot(0, this, [&] {
                QMenu *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                QVERIFY(menu);
                entries = menu->actions();
                entries.value(step.toInt())->trigger();
                menu->close();
            });
            emit header.expandButton->customContextMenuRequested(QPoint(5, 5));
        } else {
            header.setSort(step == QLatin1String("-") ? QString() : step);
        }
    }
    int hidden = 0;
    for (const QuorAgent *t : header.tiles)
        hidden += t->isHidden();
    const QImage back = header.back->pixmap().toImage();
    const QString picture = back.isNull()                                          ? QStringLiteral("form")
        : back == QPixmap(QStringLiteral(":/ui/images/bt_grp_cnt.png")).toImage()  ? QStringLiteral("cnt")
        : back == QPixmap(QStringLiteral(":/ui/images/bt_grp_drop.png")).toImage() ? QStringLiteral("drop")
                                                                                   : QStringLiteral("?");
    QStringList checked;
    for (int i = 0; i < entries.size(); ++i) {
        if (entries.at(i)->isChecked())
            checked << QString::number(i);
    }
    QCOMPARE(QStringLiteral("%1 hidden, %2, %3, %4 %5")
                 .arg(QString::number(hidden), picture, header.expandButton->toolTip(), checked.join(QLatin1Char('+')),
                     header.sort),
        look);
    if (!entries.isEmpty())
        QCOMPARE(entries, (QList<QAction *> { header.actSortByName, header.actSortByNumber, header.actCustomSort }));
    // Every click and every key set is announced, a repeated one too.
    QCOMPARE(expanded.size(), int(steps.count(QLatin1String("click"))));
    if (!expanded.isEmpty())
        QCOMPARE(expanded.last().at(1).toBool(), steps.count(QLatin1String("click")) % 2 == 0);
    QCOMPARE(sorted.size(), int(steps.split(QLatin1Char(' ')).size()) - int(expanded.size()));
    if (!sorted.isEmpty())
        QCOMPARE(sorted.last().at(1).toString(), header.sort);
}

void TestGroups::headerDrops()
{
    // Only headers and tiles are taken.
    TExtensionGroup other;
    QVERIFY(entered(&other, "group/ext", "Sales") && entered(&other, "txt/ext", "201,Sales"));
    QVERIFY(!entered(&other, "phone/call", "1") && !entered(&other, "text/plain", "201,Sales"));

    TExtensionGroup header;
    header.setName(QStringLiteral("Support"));
    QSignalSpy moves(&header, &TExtensionGroup::newPosition);
    QSignalSpy tiles(&header, &TExtensionGroup::signalDrop2group);
    // UTF-8 up to a NUL; a tile's payload split at its first comma, if any.
    QVERIFY(drop(&header, "group/ext", QByteArray("Büro, Nord\0x", 13)));
    QVERIFY(drop(&header, "txt/ext", "201,Büro, Nord"));
    QVERIFY(drop(&header, "txt/ext", "201"));
    QCOMPARE(moves, (QList<QVariantList> { { "Büro, Nord", "Support" } }));
    QCOMPARE(tiles, (QList<QVariantList> { { "201", "Büro, Nord", "Support" }, { "", "", "Support" } }));
}

void TestGroups::firstFileAndSaved()
{
    m_set = std::make_unique<TQuorGroupsEdit>();
    QCOMPARE(file(), kFirstFile);
    m_set->save(); // nothing is written while no groups are loaded
    QCOMPARE(file(), kFirstFile);
    // Unsorted is written last, without tiles, its empty key as "num".
    loadAndPlaceAll();
    QCOMPARE(m_set->unsorted->sort, QString());
    m_set->save();
    QCOMPARE(file(), groupsFixture("saved.xml"));
}

void TestGroups::unsortedRules()
{
    TQuorGroupsEdit *set = load(groupsFixture("three-groups.xml"));
    QCOMPARE(namesOf(set->groups()), QStringLiteral("Sales|Support|Unsorted"));
    QCOMPARE(set->unsorted->labelTitle->text(), QStringLiteral("Unsorted"));
    QCOMPARE(set->unsorted->desc, QStringLiteral("kept from the file"));
    QVERIFY(set->unsorted->tiles.isEmpty() && !set->unsorted->visibleFlag);
    // Every group read is connected, the one taken as Unsorted too.
    QSignalSpy updates(set, &TQuorGroupsEdit::signalUpdateExtGrid);
    set->groupList.last()->expandClicked();
    QCOMPARE(updates.size(), 1);
    set->placeExtension(m_tile(QStringLiteral("250")));
    QVERIFY(set->groups().last()->visibleFlag);
    emit set->unsorted->signalDrop2group(QStringLiteral("250"), QStringLiteral("Unsorted"), QStringLiteral("Sales"));
    QCOMPARE(extensionsOf(set->findGroup(QStringLiteral("Sales"))), QStringLiteral("250"));

    // Two Unsorted groups: the first is kept.
    set = load(groupsFixture("two-unsorted.xml"));
    QVERIFY(set->groupList.isEmpty());
    QCOMPARE(set->unsorted->desc, QStringLiteral("the first"));

    // Alone in the file: a header dropped on it saves and rebuilds, nothing moves.
    set = load("<groups><group><name>Unsorted</name></group></groups>");
    QSignalSpy alone(set, &TQuorGroupsEdit::signalUpdateExtGrid);
    drop(set->unsorted, "group/ext", "Unsorted");
    QCOMPARE(alone.size(), 1);
    QVERIFY(file().contains("<desc></desc>"));

    // None in the file: a new one, shown, that takes no drops.
    set = load("<groups/>");
    QVERIFY(set->unsorted->visibleFlag && set->unsorted->expanded);
    QCOMPARE(set->unsorted->expandButton->toolTip(), QStringLiteral("Hide Extensions for this Group"));
    set->placeExtension(m_tile(QStringLiteral("251")));
    QSignalSpy created(set, &TQuorGroupsEdit::signalUpdateExtGrid);
    drop(set->unsorted, "txt/ext", "251,Unsorted");
    drop(set->unsorted, "group/ext", "Unsorted");
    QVERIFY(created.isEmpty());
}

void TestGroups::placeExtension_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("tileText");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("nameAndIndex");
    QTest::addColumn<int>("records"); // left in the set afterwards
    QTest::addColumn<QStringList>("saved"); // the file's records of the extension, once saved
    const QStringList anna { "Sales|SIP|201|Anna|3" };
    addCase("a stored custom place", "three-groups.xml", "201", "Sales", "202 201 203", "Anna/3", 3, anna);
    addCase("another technology is another peer", "three-groups.xml", "IAX/201", "Unsorted", "201", "/", 4, anna);
    addCase(
        "its group is gone: record kept", "three-groups.xml", "299", "Unsorted", "299", "Nobody/", 4, QStringList());
    // Records of 501 in Unsorted, Desk (by number, index 7), Hall (custom); 502 in DESK.
    addCase("the first group that exists takes it", "placing.xml", "501", "Desk", "501", "First/", 3,
        QStringList { "Desk|SIP|501|First|" });
    addCase("group names differ in case", "placing.xml", "502", "DESK", "502", "Upper/", 3,
        QStringList { "DESK|SIP|502|Upper|" });
}

void TestGroups::placeExtension()
{
    QFETCH(QString, fixture);
    QFETCH(QString, tileText);
    QFETCH(QString, group);
    QFETCH(QString, order);
    QFETCH(QString, nameAndIndex);
    QFETCH(int, records);
    QFETCH(QStringList, saved);
    TQuorGroupsEdit *set = load(groupsFixture(qPrintable(fixture)));
    set->placeExtension(m_tile(QStringLiteral("202")));
    set->placeExtension(m_tile(QStringLiteral("203")));
    QuorAgent *t = m_tile(tileText);
    set->placeExtension(t);
    const QList<TExtensionGroup *> all = set->groups();
    QCOMPARE(extensionsOf(*std::find_if(all.begin(), all.end(), [&](auto *g) { return g->name == group; })), order);
    QCOMPARE(t->callerIdName + QLatin1Char('/') + t->customIndex, nameAndIndex);
    QCOMPARE(int(set->storedExts->size()), records);
    // A peer seen is written where it is, not also where another record had it.
    set->save();
    const QString chan = QLatin1Char('|') + t->extension + QLatin1Char('|');
    QCOMPARE(readBack(m_data->filePath(QStringLiteral("extgroups.xml"))).filter(chan), saved);
}

void TestGroups::unclaimedRecordsKeepTheirPlace()
{
    // Only 201 appeared before the quit (and IAX 202, another peer): the other
    // records of live groups stay.
    load(groupsFixture("three-groups.xml"))->placeExtension(m_tile(QStringLiteral("201")));
    m_set->placeExtension(m_tile(QStringLiteral("IAX/202")));
    m_set->save();
    QCOMPARE(readBack(m_data->filePath(QStringLiteral("extgroups.xml"))).mid(3),
        (QStringList { "Sales|SIP|201|Anna|3", "Sales|SIP|202|Tom Becker|1", "Sales|SIP|203|Lena Fischer|5",
            "Support|IAX|301|Mia Schulz|", "Support|SIP|302|Felix Braun|" }));
}

void TestGroups::sortSlots_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("tiles");
    QTest::addColumn<QString>("order");
    addCase("by number", "num", QStringList { "30", "4", "100" }, "100 30 4");
    addCase("by name, equal keys reversed", "name", QStringList { "1:bob", "2:Alice", "3:alice" }, "3 2 1");
    addCase("custom numbers the places", "cust", QStringList { "9", "7", "8" }, "9 7 8");
    addCase("an unknown key keeps the order", "byDate", QStringList { "30", "4", "100" }, "30 4 100");
}

void TestGroups::sortSlots()
{
    QFETCH(QString, key);
    QFETCH(QStringList, tiles);
    QFETCH(QString, order);
    TQuorGroupsEdit *set = load(groupsFixture("four-groups.xml"));
    TExtensionGroup *sales = set->findGroup(QStringLiteral("Sales"));
    for (const QString &tileText : tiles)
        sales->tiles << m_tile(tileText);
    QSignalSpy updates(set, &TQuorGroupsEdit::signalUpdateExtGrid);
    sales->setSort(key);
    QCOMPARE(extensionsOf(sales), order);
    QCOMPARE(sales->tiles.last()->customIndex, key == QLatin1String("cust") ? QStringLiteral("2") : QString());
    QCOMPARE(updates.size(), 1);
    const QStringList chans = order.split(QLatin1Char(' '));
    QVERIFY(file().indexOf("<chan>" + chans.first().toUtf8()) >= 0);
    QVERIFY(file().indexOf("<chan>" + chans.first().toUtf8()) < file().indexOf("<chan>" + chans.last().toUtf8()));
}

void TestGroups::drops_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("dragged"); // the drag's payload
    QTest::addColumn<QString>("onto"); // a tile's extension, or a group's header
    QTest::addColumn<QString>("result"); // the groups in order: Sales' tiles | Support's tiles
    QTest::addColumn<int>("updates");
    // Headers over Sales, Service, Support and Büro, Nord, without tiles, and
    // Unsorted, all read from the file.
    addCase("group Support onto Sales", "group/ext", "Support", "Sales", "Support|Sales|Service|Büro, Nord:  | ", 1);
    addCase("group Sales onto Support", "group/ext", "Sales", "Support", "Service|Support|Sales|Büro, Nord:  | ", 1);
    addCase("201 onto 203 in Sales", "txt/ext", "201,Sales", "203", "Sales|Support: 202 203 201 | 301 302", 2);
    addCase("203 onto 202 in Sales", "txt/ext", "203,Sales", "202", "Sales|Support: 203 202 201 | 301 302", 2);
    addCase("201 onto 302 of Support", "txt/ext", "201,Sales", "302", "Sales|Support: 202 203 | 301 201 302", 2);
    // Unsorted is no place in the order of the groups.
    addCase("group Sales onto Unsorted", "group/ext", "Sales", "Unsorted", "Sales|Service|Support|Büro, Nord:  | ", 0);
    addCase("group Unsorted onto Sales", "group/ext", "Unsorted", "Sales", "Sales|Service|Support|Büro, Nord:  | ", 0);
    // Unsorted read from the file takes tiles on its header.
    addCase("201 onto the Unsorted header", "txt/ext", "201,Sales", "Unsorted", "Sales|Support: 202 203 | 301 302", 1);
    addCase(
        "201 onto the Support header", "txt/ext", "201,Sales", "Support", "Sales|Support: 202 203 | 201 301 302", 1);
    // Naming a tile its group does not hold changes nothing.
    addCase("onto a tile, not in the group named", "txt/ext", "302,Sales", "203",
        "Sales|Support: 202 201 203 | 301 302", 0);
    addCase("onto a tile, not in its own group", "txt/ext", "999,Support", "203",
        "Sales|Support: 202 201 203 | 301 302", 0);
    addCase("onto a header, not in the group named", "txt/ext", "201,Support", "Sales",
        "Sales|Support: 202 201 203 | 301 302", 0);
}

void TestGroups::drops()
{
    QFETCH(QString, format);
    QFETCH(QString, dragged);
    QFETCH(QString, onto);
    QFETCH(QString, result);
    QFETCH(int, updates);
    format == QLatin1String("group/ext") ? void(load(groupsFixture("four-groups.xml"))) : loadAndPlaceAll();
    const QByteArray before = file();
    QSignalSpy spy(m_set.get(), &TQuorGroupsEdit::signalUpdateExtGrid);
    QWidget *target = onto == QLatin1String("Unsorted") ? m_set->unsorted : m_set->findGroup(onto);
    for (QuorAgent *t : std::as_const(m_tile.tiles))
        target = t->extension == onto ? t : target;
    drop(target, qPrintable(format), dragged.toUtf8());
    TExtensionGroup *sales = m_set->findGroup(QStringLiteral("Sales"));
    TExtensionGroup *support = m_set->findGroup(QStringLiteral("Support"));
    QCOMPARE(namesOf(m_set->groupList) + QStringLiteral(": ") + extensionsOf(sales) + QStringLiteral(" | ")
            + extensionsOf(support),
        result);
    QCOMPARE(spy.size(), updates);
    QCOMPARE(file() != before, updates > 0);
    // A drop on a tile makes the receiving group custom-sorted, numbered in order.
    if (updates == 2) {
        TExtensionGroup *receiving = support->tiles.size() == 3 ? support : sales;
        QCOMPARE(receiving->sort, QStringLiteral("cust"));
        QCOMPARE(receiving->tiles.last()->customIndex, QString::number(receiving->tiles.size() - 1));
    }
}

void TestGroups::dropsRelayedOnce()
{
    // 201 moved to Support: a drop on it is carried out by Support alone.
    loadAndPlaceAll();
    TExtensionGroup *support = m_set->findGroup(QStringLiteral("Support"));
    QVERIFY(drop(support, "txt/ext", "201,Sales"));
    for (QuorAgent *t : support->tiles)
        t->setGroupName(QStringLiteral("Support"));
    QVERIFY(drop(support->tiles.first(), "txt/ext", "302,Support"));
    QCOMPARE(extensionsOf(support), QStringLiteral("302 201 301"));
}

void TestGroups::withoutLoadedGroups()
{
    // A misordered stream may bring tiles before the login: nothing breaks.
    m_set = std::make_unique<TQuorGroupsEdit>();
    QuorAgent *t = m_tile(QStringLiteral("201"));
    for (int round = 0; round < 2; ++round) {
        QVERIFY(m_set->groups().isEmpty());
        m_set->placeExtension(t);
        m_set->slotDrop2group(QStringLiteral("201"), QStringLiteral("Sales"), QStringLiteral("Support"));
        m_set->slotNewExtPosition(QStringLiteral("201"), QStringLiteral("202"), QStringLiteral("Sales"));
        m_set->slotNewExt2group(QStringLiteral("201"), QStringLiteral("202"), QStringLiteral("Sales"), QString());
        m_set->slotNewGroupPosition(QStringLiteral("Sales"), QStringLiteral("Support"));
        // Again after a disconnect cleared the groups.
        m_set->loadGroups();
        m_set->clearGroups();
    }
    QVERIFY(!m_set->unsorted && !m_set->storedExts && !m_set->boxEditGroup->isEnabled());
    QCOMPARE(file(), kFirstFile);
}

void TestGroups::secondLoadClearsTheFirst()
{
    loadAndPlaceAll();
    TGridLayout grid;
    grid.resize(600, 10);
    QList<QPointer<TExtensionGroup>> first;
    for (TExtensionGroup *group : m_set->groups()) {
        first << group;
        grid.addWidget(group);
    }
    // A repeated login on the same connection loads again.
    m_set->loadGroups();
    QCOMPARE(first, QList<QPointer<TExtensionGroup>>(3));
    QVERIFY(grid.children.isEmpty());
    QCOMPARE(namesOf(m_set->groups()), QStringLiteral("Sales|Support|Unsorted"));
    QCOMPARE(m_set->storedExts->size(), 6);
}

void TestGroups::clearedDuringItsOwnDrag()
{
    TExtensionGroup *header = load("<groups><group><name>Büro, Nord</name></group></groups>")->groupList.first();
    header->show();
    QPointer<TExtensionGroup> watch(header);

    // Cleared during its own drag: hidden and out at once, deleted afterwards.
    QByteArray payload;
    bool aliveAndOut = false;
    DragRunner::set([&](QDrag *drag) {
        payload = drag->mimeData()->data(QStringLiteral("group/ext"));
        m_set->clearGroups();
        aliveAndOut = watch && header->isHidden() && header->isRemoved() && m_set->groupList.isEmpty();
    });
    // Pressed on the header's button and moved: the drag starts.
    CPushButton *button = header->expandButton;
    for (const QPoint &at : { QPoint(60, 30), QPoint(80, 30) }) {
        const bool press = at.x() == 60;
        QMouseEvent event(press ? QEvent::MouseButtonPress : QEvent::MouseMove, at, button->mapToGlobal(QPointF(at)),
            press ? Qt::LeftButton : Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(button, &event);
    }
    DragRunner::set(nullptr);
    QCOMPARE(payload, QByteArray("Büro, Nord"));
    QVERIFY(aliveAndOut);
    QTRY_VERIFY(watch.isNull());
}

void TestGroups::fileReadingRules()
{
    // Exact elements and "yes" only; a record before the name has no group.
    QCOMPARE(readBack(m_data->write(QStringLiteral("extgroups.xml"), groupsFixture("reading-rules.xml"))),
        (QStringList {
            "Late name/text/0/0/num", "Odd sort//1/1/byDate", "|SIP|401|Before the name|2", "Late name||403||" }));
}

void TestGroups::fileWrittenAndReadBack()
{
    TExtensionGroup sales;
    sales.setName(QStringLiteral("Büro, Nord"));
    sales.setDesc(QStringLiteral("Front desk & orders <main>"));
    sales.setVisibleFlag(true);
    sales.setExpanded(false);
    sales.setSort(QStringLiteral("cust"));
    TileSet tile;
    for (const char *ext : { "202", "201" }) {
        // Control characters written raw would make the file unreadable.
        sales.tiles << tile(QLatin1String(ext) + QStringLiteral(":Name\x01 ") + QLatin1String(ext));
        sales.tiles.last()->setCustomIndex(QString::number(sales.tiles.size() - 1));
    }
    TExtensionGroup empty;
    empty.setName(QStringLiteral("Archive"));
    empty.sort.clear();

    const QString path = m_data->filePath(QStringLiteral("extgroups.xml"));
    TXmlGroups xml(path);
    QList<TExtensionGroup *> groups { &sales, &empty };
    xml.writeGroups(groups);
    QVERIFY(xml.save());
    // The document type is gone; a group without tiles has its five values only.
    const QByteArray written = m_data->read(QStringLiteral("extgroups.xml"));
    QVERIFY(written.startsWith("<groups>\n    <group>\n        <name>Büro, Nord</name>\n"));
    QVERIFY(written.endsWith("    <group>\n        <name>Archive</name>\n        <desc></desc>\n"
                             "        <visible>no</visible>\n        <expanded>yes</expanded>\n"
                             "        <sort></sort>\n    </group>\n</groups>\n"));
    QCOMPARE(readBack(path),
        (QStringList { "Büro, Nord/Front desk & orders <main>/1/0/cust", "Archive//0/1/num",
            "Büro, Nord|SIP|202|Name 202|0", "Büro, Nord|SIP|201|Name 201|1" }));
}

void TestGroups::corruptFileSetAside()
{
    // Kept as ".bad", never overwritten; a fresh file; Unsorted alone.
    const QByteArray broken = groupsFixture("corrupt.xml");
    m_data->write(QStringLiteral("extgroups.xml"), broken);
    TQuorGroupsEdit set;
    QCOMPARE(m_data->read(QStringLiteral("extgroups.xml.bad")), broken);
    QCOMPARE(file(), kFirstFile);
    set.loadGroups();
    QCOMPARE(set.groups(), QList<TExtensionGroup *> { set.unsorted });
}

QTEST_MAIN(TestGroups)
#include "tst_groups.moc"
