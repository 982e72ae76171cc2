// The group editor window: it works on copies of the groups, made when the
// window is shown, and only Apply replaces the panel's groups by groups built
// from the copies.

#include "extensions/TQuorGroupsEdit.h"

#include <QSignalBlocker>
#include <QTextCursor>

#include "extensions/QuorAgent.h"
#include "extensions/RefusalBox.h"
#include "extensions/StyleSheetResource.h"
#include "extensions/TExtensionGroup.h"

namespace {

constexpr int kDescriptionLimit = 256;

QString rowText(const QuorAgent *tile)
{
    return tile->extension + QLatin1Char(' ') + tile->number + QLatin1Char(' ') + tile->callerIdName;
}

void fillList(QListWidget *list, const TExtensionGroup *group)
{
    for (const QuorAgent *tile : group->tiles)
        list->addItem(rowText(tile));
}

} // namespace

void TQuorGroupsEdit::setupEditor()
{
    applyStyleSheetResource(this, QStringLiteral(":/ui/css/groupedit.css"));
    connect(boxEditGroup, &QComboBox::currentIndexChanged, this, &TQuorGroupsEdit::groupIndexChanged);
    connect(boxOtherGroups, &QComboBox::currentIndexChanged, this, &TQuorGroupsEdit::otherGroupsIndexChanged);
    connect(editGroupName, &QLineEdit::textChanged, this, &TQuorGroupsEdit::slotNameTextChanged);
    connect(editGroupDesc, &QTextEdit::textChanged, this, &TQuorGroupsEdit::slotDescTextChanged);
    connect(checkBoxGroupVisible, &QCheckBox::stateChanged, this, &TQuorGroupsEdit::slotVisibleStateChanged);
    connect(buttonApply, &QPushButton::clicked, this, &TQuorGroupsEdit::slotApply);
    connect(buttonAdd, &QPushButton::clicked, this, &TQuorGroupsEdit::slotAdd);
    connect(buttonDelete, &QPushButton::clicked, this, &TQuorGroupsEdit::slotDelete);
    connect(buttonMoveRight, &QPushButton::clicked, this, &TQuorGroupsEdit::slotMoveRight);
    connect(buttonMoveLeft, &QPushButton::clicked, this, &TQuorGroupsEdit::slotMoveLeft);
    connect(buttonMoveAllRight, &QPushButton::clicked, this, &TQuorGroupsEdit::slotMoveAllRight);
    connect(buttonMoveAllLeft, &QPushButton::clicked, this, &TQuorGroupsEdit::slotMoveAllLeft);
}

TExtensionGroup *TQuorGroupsEdit::copyAt(int index) const
{
    if (index >= 0 && index < editCopies.size())
        return editCopies.at(index);
    // The count of the copies stands for Unsorted, which may not exist.
    return index == editCopies.size() ? unsortedCopy : nullptr;
}

void TQuorGroupsEdit::refreshEditCopies()
{
    for (TExtensionGroup *copy : std::as_const(editCopies))
        deleteGroup(copy);
    editCopies.clear();
    deleteGroup(unsortedCopy);
    unsortedCopy = nullptr;
    m_copySources.clear();
    for (const TExtensionGroup *group : std::as_const(groupList)) {
        editCopies.append(new TExtensionGroup(group));
        m_copySources.insert(editCopies.last(), group);
    }
    if (unsorted)
        unsortedCopy = new TExtensionGroup(unsorted);

    boxEditGroup->clear();
    for (const TExtensionGroup *copy : std::as_const(editCopies))
        boxEditGroup->addItem(copy->name);
    if (unsortedCopy)
        boxEditGroup->addItem(unsortedCopy->name);
}

void TQuorGroupsEdit::selectedGroups(TExtensionGroup **current, TExtensionGroup **other)
{
    *current = copyAt(boxEditGroup->currentIndex());
    *other = boxOtherGroups->count() == 0 ? nullptr : copyAt(boxOtherGroups->currentData().toInt());
}

void TQuorGroupsEdit::groupIndexChanged(int index)
{
    if (index < 0)
        return;
    listExtView->clear();
    TExtensionGroup *group = copyAt(index);
    if (!group)
        return;
    const bool isUnsorted = group == unsortedCopy;
    editGroupName->setEnabled(!isUnsorted && boxEditGroup->isEnabled());
    fillList(listExtView, group);
    editGroupName->setText(group->name);
    checkBoxGroupVisible->setCheckState(group->visibleFlag ? Qt::Checked : Qt::Unchecked);
    editGroupDesc->setPlainText(group->desc);

    const int remembered = boxOtherGroups->count() == 0 ? 0 : boxOtherGroups->currentData().toInt();
    boxOtherGroups->clear();
    for (int i = 0; i < editCopies.size(); ++i) {
        if (editCopies.at(i) != group)
            boxOtherGroups->addItem(editCopies.at(i)->name, i);
    }
    if (!isUnsorted && unsortedCopy)
        boxOtherGroups->addItem(unsortedCopy->name, int(editCopies.size()));
    if (remembered == index) {
        boxOtherGroups->setCurrentIndex(0);
    } else {
        const int entry = boxOtherGroups->findData(remembered);
        if (entry >= 0)
            boxOtherGroups->setCurrentIndex(entry);
    }
}

void TQuorGroupsEdit::otherGroupsIndexChanged(int index)
{
    if (index < 0)
        return;
    listOtherExtView->clear();
    if (const TExtensionGroup *group = copyAt(boxOtherGroups->itemData(index).toInt()))
        fillList(listOtherExtView, group);
}

// ---------------------------------------------------------------- attributes

void TQuorGroupsEdit::slotNameTextChanged(QString text)
{
    const int index = boxEditGroup->currentIndex();
    // Unsorted keeps its name.
    if (index < 0 || index >= editCopies.size())
        return;
    boxEditGroup->setItemText(index, text);
    editCopies.at(index)->setName(text);
}

void TQuorGroupsEdit::slotDescTextChanged()
{
    TExtensionGroup *group = copyAt(boxEditGroup->currentIndex());
    if (!group)
        return;
    QString text = editGroupDesc->toPlainText();
    if (text.size() > kDescriptionLimit) {
        text.truncate(kDescriptionLimit);
        const QSignalBlocker blocker(editGroupDesc);
        editGroupDesc->setPlainText(text);
        editGroupDesc->moveCursor(QTextCursor::End);
    }
    group->setDesc(text);
}

void TQuorGroupsEdit::slotVisibleStateChanged(int state)
{
    if (TExtensionGroup *group = copyAt(boxEditGroup->currentIndex()))
        group->setVisibleFlag(state == Qt::Checked);
}

// ---------------------------------------------------------------- new and delete

void TQuorGroupsEdit::slotAdd()
{
    if (groupList.isEmpty() && !unsorted)
        return;
    auto *group = new TExtensionGroup;
    group->setName(tr("New group"));
    group->setDesc(tr("No description"));
    group->setVisibleFlag(true);
    group->setExpanded(true);
    group->setSort(QStringLiteral("num"));
    editCopies.append(group);
    // Just before the Unsorted entry, where the copies' entries end.
    const int entry = int(editCopies.size()) - 1;
    boxEditGroup->insertItem(entry, group->name);
    boxEditGroup->setCurrentIndex(entry);
}

void TQuorGroupsEdit::slotDelete()
{
    if (groupList.isEmpty() && !unsorted)
        return;
    const int index = boxEditGroup->currentIndex();
    if (index < 0 || index >= editCopies.size())
        return;
    // Out of the copies first: the entries that follow map to them again.
    TExtensionGroup *group = editCopies.takeAt(index);
    m_copySources.remove(group);
    moveAll(group, unsortedCopy, nullptr, nullptr);
    deleteGroup(group);
    boxEditGroup->removeItem(index);
    boxEditGroup->setCurrentIndex(0);
    if (boxOtherGroups->count() == 0)
        listOtherExtView->clear();
}

// ---------------------------------------------------------------- moving tiles

void TQuorGroupsEdit::moveSelected(
    TExtensionGroup *source, TExtensionGroup *target, QListWidget *sourceList, QListWidget *targetList)
{
    if (!source || !target || !sourceList || !targetList)
        return;
    const QList<QListWidgetItem *> selected = sourceList->selectedItems();
    for (QListWidgetItem *item : selected) {
        const int row = sourceList->row(item);
        if (row < 0 || row >= source->tiles.size())
            continue;
        const int index = target->connectExtension(source->takeExtension(row), target->sort);
        targetList->insertItem(index, sourceList->takeItem(row));
    }
}

void TQuorGroupsEdit::moveAll(
    TExtensionGroup *source, TExtensionGroup *target, QListWidget *sourceList, QListWidget *targetList)
{
    if (!source || !target)
        return;
    while (!source->tiles.isEmpty()) {
        const int index = target->connectExtension(source->takeExtension(0), target->sort);
        if (!sourceList || !targetList)
            continue;
        if (QListWidgetItem *item = sourceList->takeItem(0))
            targetList->insertItem(index, item);
    }
}

void TQuorGroupsEdit::slotMoveLeft()
{
    if (listOtherExtView->count() == 0)
        return;
    TExtensionGroup *current = nullptr;
    TExtensionGroup *other = nullptr;
    selectedGroups(&current, &other);
    moveSelected(other, current, listOtherExtView, listExtView);
}

void TQuorGroupsEdit::slotMoveRight()
{
    if (listExtView->count() == 0)
        return;
    TExtensionGroup *current = nullptr;
    TExtensionGroup *other = nullptr;
    selectedGroups(&current, &other);
    moveSelected(current, other, listExtView, listOtherExtView);
}

void TQuorGroupsEdit::slotMoveAllLeft()
{
    TExtensionGroup *current = nullptr;
    TExtensionGroup *other = nullptr;
    selectedGroups(&current, &other);
    moveAll(other, current, listOtherExtView, listExtView);
}

void TQuorGroupsEdit::slotMoveAllRight()
{
    TExtensionGroup *current = nullptr;
    TExtensionGroup *other = nullptr;
    selectedGroups(&current, &other);
    moveAll(current, other, listExtView, listOtherExtView);
}

// ---------------------------------------------------------------- apply

void TQuorGroupsEdit::slotApply()
{
    if (groupList.isEmpty() && !unsorted)
        return;
    // No copies since the groups were loaded (the window stayed open across a
    // new login): the loaded groups stay as they are.
    if (!unsortedCopy || refuseUnsortedName())
        return;

    carryStoredRecords();
    const QList<TExtensionGroup *> oldGroups = groupList;
    groupList.clear();
    for (const TExtensionGroup *copy : std::as_const(editCopies)) {
        auto *group = new TExtensionGroup(copy);
        groupList.append(group);
        connectUnsorted(group);
        // Further edits continue from the applied groups.
        m_copySources.insert(copy, group);
    }
    TExtensionGroup *oldUnsorted = unsorted;
    unsorted = new TExtensionGroup(unsortedCopy);
    connectUnsorted(unsorted);

    saveGroups(groupList, unsorted);
    // The panel rebuilds its grid from the new groups, taking the old headers
    // out of it before they are deleted.
    emit signalUpdateExtGrid();
    for (TExtensionGroup *group : oldGroups)
        deleteGroup(group);
    deleteGroup(oldUnsorted);
    for (TExtensionGroup *group : std::as_const(groupList))
        connectDrops(group);
}

bool TQuorGroupsEdit::refuseUnsortedName()
{
    // At the next start a group of that name would be taken for Unsorted, and
    // its extensions would lose their group.
    for (const TExtensionGroup *copy : std::as_const(editCopies)) {
        const QString name = copy->name;
        if (!isUnsortedName(name))
            continue;
        RefusalBox::show(this, tr("Group edit"),
            tr("Please choose another name:\n\"%1\" is the name of the group for all other extensions.").arg(name));
        return true;
    }
    return false;
}
