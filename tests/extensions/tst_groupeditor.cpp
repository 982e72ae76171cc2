// The group editor window: entries, new and delete, moving tiles, Apply.

#include <QPointer>
#include <QPushButton>
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
    void otherGroupKept_data();
    void otherGroupKept();
    void newAndDelete();
    void moving_data();
    void moving();
    void apply();
    void unsortedAfterApply();
    void typedTextsInTheFile_data();
    void typedTextsInTheFile();
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
    QVERIFY(!e.editGroupName->isEnabled());
    emit e.editGroupName->textChanged(QStringLiteral("Misc"));
    QCOMPARE(e.unsortedCopy->name, QStringLiteral("Unsorted"));

    // Edits live in the copies only, and a refresh drops them.
    e.boxEditGroup->setCurrentIndex(0);
    QVERIFY(e.editGroupName->isEnabled());
    e.editGroupName->setText(QStringLiteral("Front"));
    QCOMPARE(e.boxEditGroup->itemText(0) + e.editCopies.at(0)->name + e.groupList.at(0)->name,
        QStringLiteral("FrontFrontA"));
    const QString typed(257, QLatin1Char('d'));
    e.editGroupDesc->setPlainText(typed);
    QCOMPARE(e.editGroupDesc->toPlainText() + e.editCopies.at(0)->desc, typed.left(256).repeated(2));
    // Each copy keeps its own edits while another one is edited.
    e.checkBoxGroupVisible->setCheckState(Qt::Unchecked);
    const auto fields = [&e] {
        return QStringList { e.editGroupName->text(), e.editGroupDesc->toPlainText().left(3),
            QString::number(e.checkBoxGroupVisible->isChecked()), rows(e.listExtView) };
    };
    e.boxEditGroup->setCurrentIndex(1);
    QCOMPARE(fields(), (QStringList { "B", "sec", "1", "202 201" }));
    e.boxEditGroup->setCurrentIndex(0);
    QCOMPARE(fields(), (QStringList { "Front", "ddd", "0", "101 102" }));
    e.refreshEditCopies();
    QCOMPARE(e.editCopies.at(0)->name, QStringLiteral("A"));
}

void TestGroupEditor::otherGroupKept_data()
{
    QTest::addColumn<int>("edited");
    QTest::addColumn<int>("other"); // its data
    QTest::addColumn<int>("editedNext");
    QTest::addColumn<QString>("otherNext");
    addCase("Unsorted stays the other group", 0, 2, 1, "Unsorted");
    addCase("B stays the other group", 0, 1, 2, "B");
    addCase("the edited group is no other group", 0, 1, 1, "A");
}

void TestGroupEditor::otherGroupKept()
{
    QFETCH(int, edited);
    QFETCH(int, other);
    QFETCH(int, editedNext);
    QFETCH(QString, otherNext);
    TQuorGroupsEdit &e = *m_edit;
    e.boxEditGroup->setCurrentIndex(edited);
    e.boxOtherGroups->setCurrentIndex(e.boxOtherGroups->findData(other));
    e.boxEditGroup->setCurrentIndex(editedNext);
    QCOMPARE(e.boxOtherGroups->currentText(), otherNext);
    TExtensionGroup *current = nullptr;
    TExtensionGroup *shown = nullptr;
    e.selectedGroups(&current, &shown);
    QVERIFY(shown && shown->name == otherNext && mirrors(e.listOtherExtView, shown));
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
    QCOMPARE(e.boxEditGroup->currentIndex(), 0);
    QCOMPARE(rows(e.listExtView), QStringLiteral("101 102"));
    QCOMPARE(extensionsOf(e.unsortedCopy), QStringLiteral("201 202 301"));
    QCOMPARE(extensionsOf(e.groupList.at(1)), QStringLiteral("202 201"));
    e.boxEditGroup->setCurrentIndex(2);
    e.buttonDelete->click();
    QCOMPARE(e.boxEditGroup->count(), 3);
    // The last one deleted: no other group, and its list emptied.
    for (int i = 0; i < 2; ++i) {
        e.boxEditGroup->setCurrentIndex(0);
        e.buttonDelete->click();
    }
    QCOMPARE(entries(e.boxEditGroup), QStringLiteral("Unsorted/"));
    QCOMPARE(rows(e.listExtView), QStringLiteral("101 102 201 202 301"));
    QVERIFY(e.boxOtherGroups->count() == 0 && e.listOtherExtView->count() == 0);
}

void TestGroupEditor::moving_data()
{
    QTest::addColumn<int>("edited");
    QTest::addColumn<int>("otherEntry");
    QTest::addColumn<bool>("left"); // from the other group into the edited one
    QTest::addColumn<QList<int>>("selected"); // rows of the list moved from; empty: all
    QTest::addColumn<QString>("into"); // the receiving group afterwards
    addCase("two into a group sorted by name", 0, 0, false, QList<int> { 0, 1 }, "202 102 101 201");
    addCase("all into Unsorted, by number", 1, 1, false, QList<int> {}, "201 202 301");
    addCase("one from the left, by number", 0, 0, true, QList<int> { 0 }, "101 102 202");
}

void TestGroupEditor::moving()
{
    QFETCH(int, edited);
    QFETCH(int, otherEntry);
    QFETCH(bool, left);
    QFETCH(QList<int>, selected);
    QFETCH(QString, into);

    TQuorGroupsEdit &e = *m_edit;
    e.boxEditGroup->setCurrentIndex(edited);
    e.boxOtherGroups->setCurrentIndex(otherEntry);
    TExtensionGroup *current = nullptr;
    TExtensionGroup *target = nullptr;
    e.selectedGroups(&current, &target);
    QCOMPARE(current, e.editCopies.at(edited));
    for (int row : selected)
        (left ? e.listOtherExtView : e.listExtView)->item(row)->setSelected(true);
    QPushButton *move = left ? (selected.isEmpty() ? e.buttonMoveAllLeft : e.buttonMoveLeft)
                             : (selected.isEmpty() ? e.buttonMoveAllRight : e.buttonMoveRight);
    move->click();
    QCOMPARE(extensionsOf(left ? current : target), into);
    QVERIFY(mirrors(e.listOtherExtView, target) && mirrors(e.listExtView, current));
    (left ? e.buttonMoveAllRight : e.buttonMoveAllLeft)->click();
    QVERIFY((left ? current : target)->tiles.isEmpty());
    QVERIFY(mirrors(e.listOtherExtView, target) && mirrors(e.listExtView, current));
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

void TestGroupEditor::unsortedAfterApply()
{
    // Read from the file, Unsorted takes a tile dropped on its header.
    TQuorGroupsEdit &e = *m_edit;
    QVERIFY(drop(e.unsorted, "txt/ext", "101,A"));
    QCOMPARE(extensionsOf(e.unsorted), QStringLiteral("101 301"));
    // Rebuilt by Apply, it takes none, but still folds and sorts.
    e.refreshEditCopies();
    e.boxEditGroup->setCurrentIndex(2);
    e.editGroupDesc->setPlainText(QStringLiteral("all the rest"));
    e.buttonApply->click();
    QVERIFY(m_data->read(QStringLiteral("extgroups.xml")).contains("<desc>all the rest</desc>"));
    drop(e.unsorted, "txt/ext", "102,A");
    QCOMPARE(extensionsOf(e.groupList.at(0)), QStringLiteral("102"));
    QSignalSpy rebuilt(&e, &TQuorGroupsEdit::signalUpdateExtGrid);
    QTest::mouseClick(e.unsorted->expandButton, Qt::LeftButton);
    e.unsorted->actSortByName->trigger();
    QCOMPARE(rebuilt.size(), 2);
}

void TestGroupEditor::typedTextsInTheFile_data()
{
    // "\r", "\n" and "\0" written out stand for CR, LF and NUL.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("desc");
    QTest::addColumn<QString>("read"); // the group as read back from the file
    addCase("line breaks", R"(Front\r\nDesk)", R"(one\r\ntwo\rthree)", R"(Front\r\nDesk/one\ntwo\nthree/1/1/num)");
    addCase("NUL left out", R"(Fr\0ont)", R"(a\0b)", "Front/ab/1/1/num");
    addCase("markup", "<b>&amp;", "]]></desc><x>", "<b>&amp;/]]></desc><x>/1/1/num");
}

void TestGroupEditor::typedTextsInTheFile()
{
    QFETCH(QString, name);
    QFETCH(QString, desc);
    QFETCH(QString, read);
    const std::pair<QString, QString> controls[]
        = { { R"(\r)", QStringLiteral("\r") }, { R"(\n)", QStringLiteral("\n") }, { R"(\0)", QString(QChar(0)) } };
    for (const auto &[written, control] : controls) {
        name.replace(written, control);
        desc.replace(written, control);
        read.replace(written, control);
    }
    TQuorGroupsEdit &e = *m_edit;
    e.editGroupName->setText(name);
    e.editGroupDesc->setPlainText(desc);
    e.buttonApply->click();
    // Still a groups file: every group and record of it read back.
    const QStringList back = readBack(m_data->filePath(QStringLiteral("extgroups.xml")));
    QCOMPARE(back.size(), 8);
    QCOMPARE(back.first(), read);
    // Its tiles and its record of a peer not seen yet stay with it.
    name.remove(QChar(0));
    QCOMPARE(back.at(3).section(QLatin1Char('|'), 0, 2), name + QStringLiteral("|SIP|101"));
    QCOMPARE(back.at(5).section(QLatin1Char('|'), 0, 2), name + QStringLiteral("|SIP|109"));
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
