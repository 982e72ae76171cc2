// Group boxes and the group set: sorting, placing tiles, drops, the groups file.

#include <QDrag>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "GroupTestSupport.h"
#include "core/CPushButton.h"
#include "extensions/DragRunner.h"
#include "extensions/TGridLayout.h"
#include "extensions/TQuorGroupsEdit.h"

namespace {

const QByteArray kFirstFile("<!DOCTYPE xmlreader>\n<groups/>\n");

// Drag enter and drop of a payload, as a drop arrives; true when accepted.
bool drop(QWidget *target, const char *format, const QByteArray &payload)
{
    QMimeData data;
    data.setData(QLatin1String(format), payload);
    QDragEnterEvent enter(QPoint(20, 20), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent event(QPointF(20, 20), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &event);
    return event.isAccepted();
}

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

void TestGroups::headerDrops()
{
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

    // None in the file: a new one, shown.
    set = load("<groups/>");
    QVERIFY(set->unsorted->visibleFlag && set->unsorted->expanded);
}

void TestGroups::placeExtension_data()
{
    QTest::addColumn<QString>("tileText");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("nameAndIndex");
    QTest::addColumn<int>("records"); // left in the set afterwards
    addCase("a stored custom place", "201", "Sales", "202 201 203", "Anna/3", 3);
    addCase("another technology is another peer", "IAX/201", "Unsorted", "201", "/", 4);
    addCase("its group is gone: record kept", "299", "Unsorted", "299", "Nobody/", 4);
}

void TestGroups::placeExtension()
{
    QFETCH(QString, tileText);
    QFETCH(QString, group);
    QFETCH(QString, order);
    QFETCH(QString, nameAndIndex);
    QFETCH(int, records);
    TQuorGroupsEdit *set = load(groupsFixture("three-groups.xml"));
    set->placeExtension(m_tile(QStringLiteral("202")));
    set->placeExtension(m_tile(QStringLiteral("203")));
    QuorAgent *t = m_tile(tileText);
    set->placeExtension(t);
    QCOMPARE(extensionsOf(group == QLatin1String("Unsorted") ? set->unsorted : set->findGroup(group)), order);
    QCOMPARE(t->callerIdName + QLatin1Char('/') + t->customIndex, nameAndIndex);
    QCOMPARE(int(set->storedExts->size()), records);
}

void TestGroups::unclaimedRecordsKeepTheirPlace()
{
    // Only 201 appeared before the quit: the other records of live groups stay.
    load(groupsFixture("three-groups.xml"))->placeExtension(m_tile(QStringLiteral("201")));
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
    // Headers over Sales, Service, Support and Büro, Nord, without tiles.
    addCase("group Support onto Sales", "group/ext", "Support", "Sales", "Support|Sales|Service|Büro, Nord:  | ", 1);
    addCase("group Sales onto Support", "group/ext", "Sales", "Support", "Service|Support|Sales|Büro, Nord:  | ", 1);
    addCase("201 onto 203 in Sales", "txt/ext", "201,Sales", "203", "Sales|Support: 202 203 201 | 301 302", 2);
    addCase("203 onto 202 in Sales", "txt/ext", "203,Sales", "202", "Sales|Support: 203 202 201 | 301 302", 2);
    addCase("201 onto 302 of Support", "txt/ext", "201,Sales", "302", "Sales|Support: 202 203 | 301 201 302", 2);
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
    QWidget *target = m_set->findGroup(onto);
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
