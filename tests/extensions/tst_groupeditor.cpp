// The group editor window: entries, new and delete, moving tiles, Apply.

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "GroupTestSupport.h"
#include "extensions/RefusalBox.h"
#include "extensions/TQuorGroupsEdit.h"

namespace {

// "name/data" of each entry.
QString entries(const QComboBox *box)
{
    QStringList list;
    for (int i = 0; i < box->count(); ++i)
        list << box->itemText(i) + QLatin1Char('/') + box->itemData(i).toString();
    return list.join(QLatin1Char(' '));
}

QString rows(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text().section(QLatin1Char(' '), 0, 0);
    return texts.join(QLatin1Char(' '));
}

// Row k of the list stands for tile k of the group.
bool mirrors(const QListWidget *list, const TExtensionGroup *group)
{
    return rows(list) == extensionsOf(group);
}

} // namespace

class TestGroupEditor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void entriesAndEdits();
    void newAndDelete();
    void moving_data();
    void moving();
    void apply();
    void withoutGroupsOrCopies();

private:
    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<TQuorGroupsEdit> m_edit;
    TileSet m_tile;
    QStringList m_boxes;
};

void TestGroupEditor::init()
{
    m_data = std::make_unique<TestDataDir>();
    // A by number (101, 102), B by name (201 Zoe, 202 Adam), Unsorted takes 301.
    m_data->write(QStringLiteral("extgroups.xml"), groupsFixture("editor.xml"));
    m_edit = std::make_unique<TQuorGroupsEdit>();
    m_edit->loadGroups();
    for (const char *ext : { "101", "102", "201", "202", "301" }) {
        QuorAgent *tile = m_tile(QLatin1String(ext));
        tile->setCallerIdNum(QLatin1String("4930") + QLatin1String(ext));
        m_edit->placeExtension(tile);
    }
    m_edit->refreshEditCopies();
    RefusalBox::setHandler([this](QWidget *, const QString &title, const QString &text) { m_boxes << title + text; });
}

void TestGroupEditor::cleanup()
{
    RefusalBox::setHandler(nullptr);
    m_edit.reset();
    m_tile.clear();
    m_data.reset();
}

void TestGroupEditor::entriesAndEdits()
{
    TQuorGroupsEdit &e = *m_edit;
    QCOMPARE(entries(e.boxEditGroup), QStringLiteral("A/ B/ Unsorted/"));
    QVERIFY(mirrors(e.listExtView, e.editCopies.at(0)));
    e.boxEditGroup->setCurrentIndex(2);
    QCOMPARE(entries(e.boxOtherGroups), QStringLiteral("A/0 B/1"));
    QCOMPARE(rows(e.listExtView), QStringLiteral("301"));
    // The Unsorted name cannot be changed, not even by a late signal.
    emit e.editGroupName->textChanged(QStringLiteral("Misc"));
    QCOMPARE(e.unsortedCopy->name, QStringLiteral("Unsorted"));

    // Edits live in the copies only, and a refresh drops them.
    e.boxEditGroup->setCurrentIndex(0);
    e.editGroupName->setText(QStringLiteral("Front"));
    QCOMPARE(e.boxEditGroup->itemText(0) + e.editCopies.at(0)->name + e.groupList.at(0)->name,
        QStringLiteral("FrontFrontA"));
    const QString typed(300, QLatin1Char('d'));
    e.editGroupDesc->setPlainText(typed);
    QCOMPARE(e.editGroupDesc->toPlainText() + e.editCopies.at(0)->desc, typed.left(256).repeated(2));
    e.refreshEditCopies();
    QCOMPARE(e.editCopies.at(0)->name, QStringLiteral("A"));
}

void TestGroupEditor::newAndDelete()
{
    TQuorGroupsEdit &e = *m_edit;
    e.buttonAdd->click();
    QCOMPARE(entries(e.boxEditGroup), QStringLiteral("A/ B/ New group/ Unsorted/"));
    QCOMPARE(e.boxEditGroup->currentIndex(), 2);
    const TExtensionGroup *added = e.editCopies.at(2);
    QVERIFY(added->visibleFlag && added->expanded);
    QCOMPARE(added->sort + added->desc, QStringLiteral("numNo description"));

    // B's tiles go to Unsorted in order; the real groups stay; Unsorted stays.
    e.boxEditGroup->setCurrentIndex(1);
    e.buttonDelete->click();
    QCOMPARE(entries(e.boxEditGroup), QStringLiteral("A/ New group/ Unsorted/"));
    QCOMPARE(extensionsOf(e.unsortedCopy), QStringLiteral("201 202 301"));
    QCOMPARE(extensionsOf(e.groupList.at(1)), QStringLiteral("202 201"));
    e.boxEditGroup->setCurrentIndex(2);
    e.buttonDelete->click();
    QCOMPARE(e.boxEditGroup->count(), 3);
}

void TestGroupEditor::moving_data()
{
    QTest::addColumn<int>("edited");
    QTest::addColumn<int>("otherEntry");
    QTest::addColumn<QList<int>>("selected"); // rows of the edited list; empty: all
    QTest::addColumn<QString>("other"); // the other group afterwards
    addCase("two into a group sorted by name", 0, 0, QList<int> { 0, 1 }, "202 102 101 201");
    addCase("all into Unsorted, by number", 1, 1, QList<int> {}, "201 202 301");
}

void TestGroupEditor::moving()
{
    QFETCH(int, edited);
    QFETCH(int, otherEntry);
    QFETCH(QList<int>, selected);
    QFETCH(QString, other);

    TQuorGroupsEdit &e = *m_edit;
    e.boxEditGroup->setCurrentIndex(edited);
    e.boxOtherGroups->setCurrentIndex(otherEntry);
    TExtensionGroup *current = nullptr;
    TExtensionGroup *target = nullptr;
    e.selectedGroups(&current, &target);
    QCOMPARE(current, e.editCopies.at(edited));
    for (int row : selected)
        e.listExtView->item(row)->setSelected(true);
    (selected.isEmpty() ? e.buttonMoveAllRight : e.buttonMoveRight)->click();
    QCOMPARE(extensionsOf(target), other);
    QVERIFY(mirrors(e.listOtherExtView, target) && mirrors(e.listExtView, current));
    e.buttonMoveAllLeft->click();
    QVERIFY(target->tiles.isEmpty() && mirrors(e.listOtherExtView, target) && mirrors(e.listExtView, current));
}

void TestGroupEditor::apply()
{
    TQuorGroupsEdit &e = *m_edit;
    QSignalSpy rebuilt(&e, &TQuorGroupsEdit::signalUpdateExtGrid);
    QPointer<TExtensionGroup> oldA(e.groupList.at(0));
    e.checkBoxGroupVisible->setCheckState(Qt::Unchecked); // A hidden
    // Refused, nothing applied: at the next start the group would be taken for
    // Unsorted.
    e.boxEditGroup->setCurrentIndex(1);
    for (const char *name : { "unsorted", "UNSORTED" }) {
        e.editGroupName->setText(QLatin1String(name));
        e.buttonApply->click();
    }
    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(m_boxes.last(),
        "Group editPlease choose another name:\n\"UNSORTED\" is the name of the group for all other extensions.");
    QVERIFY(rebuilt.isEmpty() && e.groupList.at(0) == oldA);
    e.editGroupName->setText(QStringLiteral("B"));
    // A renamed: its peer not seen in this run stays in it.
    e.boxEditGroup->setCurrentIndex(0);
    e.editGroupName->setText(QStringLiteral("Front"));
    e.buttonAdd->click();
    e.editGroupName->setText(QStringLiteral("C"));
    e.buttonApply->click();

    QCOMPARE(rebuilt.size(), 1);
    QStringList order;
    for (const TExtensionGroup *group : e.groups())
        order << group->name + QLatin1Char(':') + extensionsOf(group);
    QCOMPARE(order, (QStringList { "Front:101 102", "B:202 201", "C:", "Unsorted:301" }));
    QVERIFY(!e.groupList.at(0)->visibleFlag);
    const QByteArray file = m_data->read(QStringLiteral("extgroups.xml"));
    QVERIFY(file.contains("<name>Front</name>\n        <desc>first</desc>\n        <visible>no</visible>"));
    const auto kept = [&] { return readBack(m_data->filePath("extgroups.xml")).filter(QStringLiteral("|109|")); };
    QCOMPARE(kept(), QStringList { "Front|SIP|109|Gus|" });
    QVERIFY(file.indexOf("<name>C</name>") < file.indexOf("<name>Unsorted</name>"));
    QTRY_VERIFY(oldA.isNull());

    // The new groups take sort changes and drops as loaded ones do.
    e.groupList.at(1)->setSort(QStringLiteral("num"));
    QCOMPARE(extensionsOf(e.groupList.at(1)), QStringLiteral("201 202"));
    QCOMPARE(rebuilt.size(), 2);
    emit e.groupList.at(0)->signalDrop2group(QStringLiteral("201"), QStringLiteral("B"), QStringLiteral("Front"));
    QCOMPARE(extensionsOf(e.groupList.at(0)), QStringLiteral("101 102 201"));

    // Renamed again from the applied state. Deleted, the group takes the
    // record along, even where another group takes its name.
    e.boxEditGroup->setCurrentIndex(0);
    e.editGroupName->setText(QStringLiteral("Desk"));
    e.buttonApply->click();
    QCOMPARE(kept(), QStringList { "Desk|SIP|109|Gus|" });
    e.buttonDelete->click(); // B becomes current
    e.editGroupName->setText(QStringLiteral("Desk"));
    e.buttonApply->click();
    QCOMPARE(kept(), QStringList());
}

void TestGroupEditor::withoutGroupsOrCopies()
{
    // Shown before the first login: no entries, nothing enabled, nothing done.
    m_edit = std::make_unique<TQuorGroupsEdit>();
    TQuorGroupsEdit &e = *m_edit;
    e.refreshEditCopies();
    QCOMPARE(e.boxEditGroup->count(), 0);
    QVERIFY(!e.boxEditGroup->isEnabled() && !e.editGroupName->isEnabled());
    QMetaObject::invokeMethod(&e, "groupIndexChanged", Q_ARG(int, 0));
    e.slotAdd();
    e.slotApply();
    QVERIFY(e.editCopies.isEmpty() && !e.unsortedCopy);

    // Left open across a new login: Apply without copies keeps the loaded groups.
    e.loadGroups();
    const QList<TExtensionGroup *> loaded = e.groupList;
    const QByteArray file = m_data->read(QStringLiteral("extgroups.xml"));
    QSignalSpy rebuilt(&e, &TQuorGroupsEdit::signalUpdateExtGrid);
    e.buttonAdd->click();
    e.buttonApply->click();
    QVERIFY(e.groupList == loaded && e.unsorted && rebuilt.isEmpty());
    QCOMPARE(m_data->read(QStringLiteral("extgroups.xml")), file);
}

QTEST_MAIN(TestGroupEditor)
#include "tst_groupeditor.moc"
