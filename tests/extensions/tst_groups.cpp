// Group boxes and the group set: sorted insertion, sort keys, expanding, the
// Unsorted rules, placing tiles, the rearranging slots driven by real drop
// events on headers and tiles, and the file after each change.

#include <QDropEvent>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "extensions/QuorAgent.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TGridLayout.h"
#include "extensions/TQuorGroupsEdit.h"
#include "extensions/TXmlGroups.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

const QByteArray kFirstFile("<!DOCTYPE xmlreader>\n<groups/>\n");

QByteArray fixture(const QString &name)
{
    QFile f(testDataPath(QStringLiteral("extgroups/") + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString extensionsOf(const TExtensionGroup *group)
{
    QStringList list;
    for (const QuorAgent *tile : group->tiles)
        list << tile->extension;
    return list.join(QLatin1Char(' '));
}

QString namesOf(const QList<TExtensionGroup *> &groups)
{
    QStringList list;
    for (const TExtensionGroup *group : groups)
        list << group->name;
    return list.join(QLatin1Char('|'));
}

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
    void init();
    void cleanup();

    void insertExtension_data();
    void insertExtension();
    void sortKeyAndExpansion();
    void headerDrops();

    void firstFileAndSaved();
    void unsortedRules();
    void placeExtension_data();
    void placeExtension();
    void unclaimedRecordsKeepTheirPlace();
    void sortSlots_data();
    void sortSlots();
    void groupOrder_data();
    void groupOrder();
    void tileDrops_data();
    void tileDrops();
    void dropsRelayedOnce();
    void withoutLoadedGroups();
    void secondLoadClearsTheFirst();

    void screenshot();

private:
    // "ext" or "ext:caller name"; technology SIP unless "IAX/" leads.
    QuorAgent *tile(const QString &spec);
    TQuorGroupsEdit *load(const QByteArray &file);
    QByteArray file() const { return m_data->read(QStringLiteral("extgroups.xml")); }
    // Places the tiles of three-groups.xml, each told its group's name.
    void placeAll();
    QWidget *target(const QString &onto) const;

    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<TQuorGroupsEdit> m_set;
    QList<QuorAgent *> m_tiles;
};

void TestGroups::init()
{
    m_data = std::make_unique<TestDataDir>();
}

void TestGroups::cleanup()
{
    m_set.reset();
    qDeleteAll(m_tiles);
    m_tiles.clear();
    m_data.reset();
}

QuorAgent *TestGroups::tile(const QString &spec)
{
    const bool iax = spec.startsWith(QLatin1String("IAX/"));
    const QString rest = iax ? spec.mid(4) : spec;
    auto *t = new QuorAgent(
        nullptr, rest.section(QLatin1Char(':'), 0, 0), nullptr, iax ? QStringLiteral("IAX") : QStringLiteral("SIP"));
    if (rest.contains(QLatin1Char(':')))
        t->setCallerIdName(rest.section(QLatin1Char(':'), 1));
    m_tiles << t;
    return t;
}

TQuorGroupsEdit *TestGroups::load(const QByteArray &bytes)
{
    m_set.reset();
    m_data->write(QStringLiteral("extgroups.xml"), bytes);
    m_set = std::make_unique<TQuorGroupsEdit>();
    m_set->loadGroups();
    return m_set.get();
}

void TestGroups::placeAll()
{
    for (const char *spec : { "202", "201", "203", "IAX/301", "302", "250", "299" })
        m_set->placeExtension(tile(QLatin1String(spec)));
    for (TExtensionGroup *group : m_set->groups()) {
        for (QuorAgent *t : group->tiles)
            t->setGroupName(group->name);
    }
}

QWidget *TestGroups::target(const QString &onto) const
{
    if (onto.startsWith(QLatin1String("header:")))
        return m_set->findGroup(onto.mid(7));
    for (QuorAgent *t : m_tiles) {
        if (t->extension == onto)
            return t;
    }
    return nullptr;
}

// ---------------------------------------------------------------- group box

void TestGroups::insertExtension_data()
{
    QTest::addColumn<QString>("sort");
    QTest::addColumn<QStringList>("present");
    QTest::addColumn<QString>("added");
    QTest::addColumn<int>("index");
    const auto row = [](const char *name, const QString &sort, const QStringList &present, const QString &added,
                         const int &index) { QTest::newRow(name) << sort << present << added << index; };
    row("empty group, any key", "byDate", QStringList {}, "5", 0);
    row("num: text order", "num", QStringList { "100", "300" }, "20", 1);
    row("num: after an equal key", "num", QStringList { "100", "300" }, "100", 1);
    row("empty key orders by extension", "", QStringList { "100", "300" }, "20", 1);
    row("name: case folded", "name", QStringList { "1:alice", "2:Bob" }, "3:Alice", 1);
    row("unknown key appends", "byDate", QStringList { "300", "100" }, "200", 2);
}

void TestGroups::insertExtension()
{
    QFETCH(QString, sort);
    QFETCH(QStringList, present);
    QFETCH(QString, added);
    QFETCH(int, index);
    TExtensionGroup group;
    QSignalSpy sorts(&group, &TExtensionGroup::signalSort);
    for (const QString &spec : present)
        group.connectExtension(tile(spec), sort);
    QuorAgent *t = tile(added);
    QCOMPARE(group.connectExtension(t, sort), index);
    QCOMPARE(group.tiles.at(index), t);
    // The key is stored as given, without a signal.
    QCOMPARE(group.sort, sort);
    QCOMPARE(sorts.size(), 0);
}

void TestGroups::sortKeyAndExpansion()
{
    TExtensionGroup group;
    QSignalSpy sorts(&group, &TExtensionGroup::signalSort);
    QSignalSpy expansions(&group, &TExtensionGroup::signalGroupExpanded);
    group.setSort(QString());
    QCOMPARE(sorts.last(), (QVariantList { QVariant::fromValue(&group), "num" }));
    QVERIFY(group.actSortByNumber->isChecked() && !group.actSortByName->isChecked());
    group.actSortByName->trigger();
    QVERIFY(group.actSortByName->isChecked() && !group.actSortByNumber->isChecked());
    group.setSort(QStringLiteral("name")); // unchanged, announced still
    group.setSort(QStringLiteral("byDate")); // unknown: the actions stay
    QCOMPARE(sorts.size(), 4);
    QVERIFY(group.actSortByName->isChecked());

    QuorAgent *a = tile(QStringLiteral("201"));
    group.tiles << a;
    a->show();
    group.expandButton->click();
    QVERIFY(a->isHidden());
    QCOMPARE(group.expandButton->toolTip(), QStringLiteral("Show Extensions for this Group"));
    group.setExpanded(true);
    QVERIFY(a->isHidden()); // the panel's next layout shows it
    QCOMPARE(group.expandButton->toolTip(), QStringLiteral("Hide Extensions for this Group"));
    QCOMPARE(expansions.size(), 2);
    QCOMPARE(expansions.at(0).at(1).toBool(), false);

    // A copy lists the same tiles with the same attributes.
    group.setName(QStringLiteral("Sales"));
    group.setDesc(QStringLiteral("Front desk"));
    TExtensionGroup copy(&group);
    QCOMPARE(copy.tiles, group.tiles);
    QCOMPARE(copy.labelTitle->text() + copy.desc + copy.sort, QStringLiteral("SalesFront deskbyDate"));
}

void TestGroups::headerDrops()
{
    TExtensionGroup header;
    header.setName(QStringLiteral("Support"));
    QSignalSpy moves(&header, &TExtensionGroup::newPosition);
    QSignalSpy tiles(&header, &TExtensionGroup::signalDrop2group);
    // Names are read as UTF-8 up to a NUL; a tile's payload is split at its
    // first comma only.
    QVERIFY(drop(&header, "group/ext", QByteArray("Büro, Nord\0x", 13)));
    QVERIFY(drop(&header, "txt/ext", "201,Büro, Nord"));
    QVERIFY(drop(&header, "txt/ext", "201"));
    QVERIFY(!drop(&header, "text/plain", "201"));
    QCOMPARE(moves.size(), 1);
    QCOMPARE(moves.at(0), (QVariantList { "Büro, Nord", "Support" }));
    QCOMPARE(tiles.size(), 2);
    QCOMPARE(tiles.at(0), (QVariantList { "201", "Büro, Nord", "Support" }));
    QCOMPARE(tiles.at(1), (QVariantList { "", "", "Support" }));
}

// ---------------------------------------------------------------- group set

void TestGroups::firstFileAndSaved()
{
    m_set = std::make_unique<TQuorGroupsEdit>();
    QCOMPARE(file(), kFirstFile);
    m_set->save(); // nothing is written while no groups are loaded
    QCOMPARE(file(), kFirstFile);
    QVERIFY(!m_set->buttonApply->isEnabled());

    load(fixture(QStringLiteral("three-groups.xml")));
    QVERIFY(m_set->buttonApply->isEnabled());
    placeAll();
    // Unsorted took its tiles with an empty key; the copy that is written
    // sets its key, which turns "" into "num".
    QCOMPARE(m_set->unsorted->sort, QString());
    m_set->save();
    QCOMPARE(file(), fixture(QStringLiteral("saved.xml")));
}

void TestGroups::unsortedRules()
{
    TQuorGroupsEdit *set = load(fixture(QStringLiteral("three-groups.xml")));
    QCOMPARE(namesOf(set->groups()), QStringLiteral("Sales|Support|Unsorted"));
    QCOMPARE(set->unsorted->desc, QStringLiteral("kept from the file"));
    QVERIFY(set->unsorted->tiles.isEmpty() && !set->unsorted->visibleFlag);
    // Every group read is connected, the one taken as Unsorted too.
    QSignalSpy updates(set, &TQuorGroupsEdit::signalUpdateExtGrid);
    set->groupList.last()->expandClicked();
    QCOMPARE(updates.size(), 1);
    set->placeExtension(tile(QStringLiteral("250")));
    QVERIFY(set->groups().last()->visibleFlag);
    emit set->unsorted->signalDrop2group(QStringLiteral("250"), QStringLiteral("Unsorted"), QStringLiteral("Sales"));
    QCOMPARE(extensionsOf(set->findGroup(QStringLiteral("Sales"))), QStringLiteral("250"));

    // Two Unsorted groups: the first is kept.
    set = load(fixture(QStringLiteral("two-unsorted.xml")));
    QVERIFY(set->groupList.isEmpty());
    QCOMPARE(set->unsorted->desc, QStringLiteral("the first"));

    // None in the file: a new one, connected by its expansion and sort only.
    set = load("<groups/>");
    QCOMPARE(set->unsorted->desc,
        QStringLiteral("Unsorted group is for all extensions, which are not included in any other group"));
    QVERIFY(set->unsorted->visibleFlag && set->unsorted->expanded);
    QSignalSpy fresh(set, &TQuorGroupsEdit::signalUpdateExtGrid);
    emit set->unsorted->newPosition(QStringLiteral("Unsorted"), QStringLiteral("Unsorted"));
    QCOMPARE(fresh.size(), 0);
    set->unsorted->setExpanded(false);
    QCOMPARE(fresh.size(), 1);
}

void TestGroups::placeExtension_data()
{
    QTest::addColumn<QString>("spec");
    QTest::addColumn<QString>("group");
    QTest::addColumn<QString>("order");
    QTest::addColumn<QString>("nameAndIndex");
    QTest::addColumn<int>("records"); // left in the set afterwards
    const auto row = [](const char *name, const QString &spec, const QString &group, const QString &order,
                         const QString &nameAndIndex, const int &records) {
        QTest::newRow(name) << spec << group << order << nameAndIndex << records;
    };
    row("a stored custom place", "201", "Sales", "202 201 203", "Anna/3", 3);
    row("another technology is another peer", "IAX/201", "Unsorted", "201", "/", 4);
    row("its group is gone: record kept", "299", "Unsorted", "299", "Nobody/", 4);
}

void TestGroups::placeExtension()
{
    QFETCH(QString, spec);
    QFETCH(QString, group);
    QFETCH(QString, order);
    QFETCH(QString, nameAndIndex);
    QFETCH(int, records);
    TQuorGroupsEdit *set = load(fixture(QStringLiteral("three-groups.xml")));
    set->placeExtension(tile(QStringLiteral("202")));
    set->placeExtension(tile(QStringLiteral("203")));
    QuorAgent *t = tile(spec);
    set->placeExtension(t);
    TExtensionGroup *into = group == QLatin1String("Unsorted") ? set->unsorted : set->findGroup(group);
    QCOMPARE(extensionsOf(into), order);
    QCOMPARE(t->callerIdName + QLatin1Char('/') + t->customIndex, nameAndIndex);
    QCOMPARE(int(set->storedExts->size()), records);
}

void TestGroups::unclaimedRecordsKeepTheirPlace()
{
    // The PBX was down at start: only 201 appeared before the quit.
    TQuorGroupsEdit *set = load(fixture(QStringLiteral("three-groups.xml")));
    set->placeExtension(tile(QStringLiteral("201")));
    set->save();
    TXmlGroups back(m_data->filePath(QStringLiteral("extgroups.xml")));
    QList<TGroupExt *> *exts = nullptr;
    qDeleteAll(back.readGroups(exts));
    QStringList kept;
    for (const TGroupExt *e : std::as_const(*exts))
        kept << QStringList { e->groupName, e->tech, e->chan, e->uname, e->ci }.join(QLatin1Char('/'));
    qDeleteAll(*exts);
    delete exts;
    // Tiles first, then the records still waiting; 299's group is gone.
    QCOMPARE(kept,
        (QStringList { "Sales/SIP/201/Anna/3", "Sales/SIP/202/Tom Becker/1", "Sales/SIP/203/Lena Fischer/5",
            "Support/IAX/301/Mia Schulz/", "Support/SIP/302/Felix Braun/" }));
}

void TestGroups::sortSlots_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QStringList>("tiles");
    QTest::addColumn<QString>("order");
    const auto row = [](const char *name, const QString &key, const QStringList &tiles, const QString &order) {
        QTest::newRow(name) << key << tiles << order;
    };
    row("by number", "num", QStringList { "30", "4", "100" }, "100 30 4");
    row("by name, equal keys reversed", "name", QStringList { "1:bob", "2:Alice", "3:alice" }, "3 2 1");
    row("custom numbers the places", "cust", QStringList { "9", "7", "8" }, "9 7 8");
}

void TestGroups::sortSlots()
{
    QFETCH(QString, key);
    QFETCH(QStringList, tiles);
    QFETCH(QString, order);
    TQuorGroupsEdit *set = load(fixture(QStringLiteral("four-groups.xml")));
    TExtensionGroup *sales = set->findGroup(QStringLiteral("Sales"));
    for (const QString &spec : tiles)
        sales->tiles << tile(spec);
    QSignalSpy updates(set, &TQuorGroupsEdit::signalUpdateExtGrid);
    sales->setSort(key);
    QCOMPARE(extensionsOf(sales), order);
    if (key == QLatin1String("cust"))
        QCOMPARE(sales->tiles.last()->customIndex, QStringLiteral("2"));
    QCOMPARE(updates.size(), 1);
    const QStringList chans = order.split(QLatin1Char(' '));
    QVERIFY(file().indexOf("<chan>" + chans.first().toUtf8()) >= 0);
    QVERIFY(file().indexOf("<chan>" + chans.first().toUtf8()) < file().indexOf("<chan>" + chans.last().toUtf8()));
}

void TestGroups::groupOrder_data()
{
    QTest::addColumn<QString>("dragged");
    QTest::addColumn<QString>("onto");
    QTest::addColumn<QString>("order");
    const auto row = [](const char *name, const QString &dragged, const QString &onto, const QString &order) {
        QTest::newRow(name) << dragged << onto << order;
    };
    row("Support onto Sales", "Support", "Sales", "Support|Sales|Service|Büro, Nord");
    row("Sales onto Support", "Sales", "Support", "Service|Support|Sales|Büro, Nord");
    row("a name beyond ascii", "Büro, Nord", "Sales", "Büro, Nord|Sales|Service|Support");
    row("no such group", "Archive", "Sales", "Sales|Service|Support|Büro, Nord");
    row("onto Unsorted", "Sales", "Unsorted", "Sales|Service|Support|Büro, Nord");
}

void TestGroups::groupOrder()
{
    QFETCH(QString, dragged);
    QFETCH(QString, onto);
    QFETCH(QString, order);
    TQuorGroupsEdit *set = load(fixture(QStringLiteral("four-groups.xml")));
    set->placeExtension(tile(QStringLiteral("250")));
    const QByteArray before = file();
    QSignalSpy updates(set, &TQuorGroupsEdit::signalUpdateExtGrid);
    drop(onto == QLatin1String("Unsorted") ? set->unsorted : set->findGroup(onto), "group/ext", dragged.toUtf8());
    QCOMPARE(namesOf(set->groupList), order);
    const bool moved = order != QStringLiteral("Sales|Service|Support|Büro, Nord");
    QCOMPARE(updates.size(), moved ? 1 : 0);
    QCOMPARE(file() != before, moved);
}

void TestGroups::tileDrops_data()
{
    QTest::addColumn<QString>("dragged"); // the tile's drag payload
    QTest::addColumn<QString>("onto"); // a tile's extension, or "header:" and a group
    QTest::addColumn<QString>("sales");
    QTest::addColumn<QString>("support");
    QTest::addColumn<int>("updates");
    const auto row = [](const char *name, const QString &dragged, const QString &onto, const QString &sales,
                         const QString &support,
                         const int &updates) { QTest::newRow(name) << dragged << onto << sales << support << updates; };
    row("201 onto 203 in Sales", "201,Sales", "203", "202 203 201", "301 302", 2);
    row("203 onto 202 in Sales", "203,Sales", "202", "203 202 201", "301 302", 2);
    row("201 onto 302 of Support", "201,Sales", "302", "202 203", "301 201 302", 2);
    row("201 onto the Support header", "201,Sales", "header:Support", "202 203", "201 301 302", 1);
    row("250 of Unsorted onto the Sales header", "250,Unsorted", "header:Sales", "250 202 201 203", "301 302", 1);
    // Drops naming a tile its group does not hold change nothing (the tile at
    // index 0 used to move).
    row("onto a tile, not in the group named", "302,Sales", "203", "202 201 203", "301 302", 0);
    row("onto a tile, not in its own group", "999,Support", "203", "202 201 203", "301 302", 0);
    row("onto a header, not in the group named", "201,Support", "header:Sales", "202 201 203", "301 302", 0);
    row("from an empty group", "201,Empty", "header:Support", "202 201 203", "301 302", 0);
}

void TestGroups::tileDrops()
{
    QFETCH(QString, dragged);
    QFETCH(QString, onto);
    QFETCH(QString, sales);
    QFETCH(QString, support);
    QFETCH(int, updates);
    load(fixture(QStringLiteral("three-groups.xml")));
    placeAll();
    m_set->unsorted->tiles.clear(); // an empty Unsorted: unknown names end there
    if (dragged.startsWith(QLatin1String("250")))
        m_set->unsorted->tiles << m_tiles.at(5);
    const QByteArray before = file();
    QSignalSpy spy(m_set.get(), &TQuorGroupsEdit::signalUpdateExtGrid);
    QVERIFY(drop(target(onto), "txt/ext", dragged.toUtf8()));
    TExtensionGroup *salesGroup = m_set->findGroup(QStringLiteral("Sales"));
    TExtensionGroup *supportGroup = m_set->findGroup(QStringLiteral("Support"));
    QCOMPARE(extensionsOf(salesGroup), sales);
    QCOMPARE(extensionsOf(supportGroup), support);
    QCOMPARE(spy.size(), updates);
    QCOMPARE(file() != before, updates > 0);
    // A drop on a tile makes the receiving group custom-sorted, numbered in order.
    if (updates == 2) {
        TExtensionGroup *receiving = support.count(QLatin1Char(' ')) == 2 ? supportGroup : salesGroup;
        QCOMPARE(receiving->sort, QStringLiteral("cust"));
        QCOMPARE(receiving->tiles.last()->customIndex, QString::number(receiving->tiles.size() - 1));
    }
}

void TestGroups::dropsRelayedOnce()
{
    // 201 goes from Sales to Support by its header; a drop on 201 afterwards
    // is carried out once, not once per group that ever held it.
    load(fixture(QStringLiteral("three-groups.xml")));
    placeAll();
    TExtensionGroup *support = m_set->findGroup(QStringLiteral("Support"));
    QVERIFY(drop(support, "txt/ext", "201,Sales"));
    QCOMPARE(extensionsOf(support), QStringLiteral("201 301 302"));
    for (QuorAgent *t : support->tiles)
        t->setGroupName(QStringLiteral("Support"));
    QVERIFY(drop(target(QStringLiteral("201")), "txt/ext", "302,Support"));
    QCOMPARE(extensionsOf(support), QStringLiteral("302 201 301"));
}

void TestGroups::withoutLoadedGroups()
{
    // A misordered stream may bring tiles before the login: nothing breaks.
    m_set = std::make_unique<TQuorGroupsEdit>();
    QuorAgent *t = tile(QStringLiteral("201"));
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
    load(fixture(QStringLiteral("three-groups.xml")));
    placeAll();
    TGridLayout grid;
    grid.resize(600, 10);
    QList<QPointer<TExtensionGroup>> first;
    for (TExtensionGroup *group : m_set->groups()) {
        first << group;
        grid.addWidget(group);
    }
    // A repeated login on the same connection loads again.
    m_set->loadGroups();
    for (const QPointer<TExtensionGroup> &group : std::as_const(first))
        QVERIFY(group.isNull());
    QVERIFY(grid.children.isEmpty());
    QCOMPARE(namesOf(m_set->groups()), QStringLiteral("Sales|Support|Unsorted"));
    QCOMPARE(m_set->storedExts->size(), 6);
}

// ---------------------------------------------------------------- screenshot

void TestGroups::screenshot()
{
    if (qEnvironmentVariableIsEmpty("QUOR_SCREENSHOT_DIR"))
        QSKIP("set QUOR_SCREENSHOT_DIR to write the picture of a grid with groups");
    load(fixture(QStringLiteral("three-groups.xml")));
    QList<Channel *> channels;
    for (const char *spec :
        { "202:Tom Becker", "201:Anna Weber", "203:Lena Fischer", "204:Jonas Wolf", "205:Mia Schulz",
            "IAX/301:Felix Braun", "302:Sophie Koch", "250:Lager", "251:Konferenz 1", "252:Fax Einkauf" }) {
        QuorAgent *t = tile(QLatin1String(spec));
        t->channels = &channels;
        const QString name = t->callerIdName;
        m_set->placeExtension(t);
        t->setCallerIdName(name);
        t->setIdle();
    }
    m_set->findGroup(QStringLiteral("Support"))->setExpanded(false);
    m_set->unsorted->setExpanded(true);
    channels << new Channel(QStringLiteral("1.1"), QStringLiteral("SIP/201-1"), QString(), QString(), QString());
    m_tiles.at(1)->setChannel(channels.last());
    m_tiles.at(1)->setPeerText(QStringLiteral("+49 30 5551234"));
    channels.last()->setState(QStringLiteral("Ringing"));
    m_tiles.at(3)->setActive();
    m_tiles.at(3)->setPeerText(QStringLiteral("Paul Hahn"));
    m_tiles.at(8)->setDndState(true);

    QWidget panel;
    panel.setObjectName(QStringLiteral("panel"));
    panel.setStyleSheet(QStringLiteral("QWidget#panel { background-color: rgb(48, 48, 48); }"));
    panel.resize(4 * 137 + 20, 3 * 58 + 10);
    TGridLayout grid(&panel);
    grid.setGeometry(5, 5, panel.width() - 10, 10);
    for (TExtensionGroup *group : m_set->groups()) {
        grid.addWidget(group);
        for (QuorAgent *t : group->tiles) {
            if (group->expanded)
                grid.addWidget(t);
        }
    }
    grid.relayout();
    QVERIFY(!saveWidgetShot(&panel, QStringLiteral("extension-groups")).isEmpty());
    grid.clear();
    grid.relayout();
    qDeleteAll(channels);
}

QTEST_MAIN(TestGroups)
#include "tst_groups.moc"
