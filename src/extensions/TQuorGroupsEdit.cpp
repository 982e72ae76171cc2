#include "extensions/TQuorGroupsEdit.h"

#include <QFile>
#include <QSet>

#include <algorithm>

#include "core/Logger.h"
#include "core/Paths.h"
#include "extensions/QuorAgent.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TXmlGroups.h"

namespace {

const QLatin1String kCustom("cust");

// A tile's identity as the file keeps it.
QString peerKey(const QString &tech, const QString &chan)
{
    return tech + QLatin1Char('/') + chan;
}

} // namespace

TQuorGroupsEdit::TQuorGroupsEdit(QWidget *parent)
    : QWidget(parent)
{
    setupUi(this);
    setupEditor();
    xml = new TXmlGroups(Paths::dataFile(QStringLiteral("extgroups.xml")));
    ensureFile();
    setEditEnabled(false);
}

TQuorGroupsEdit::~TQuorGroupsEdit()
{
    delete xml;
    xml = nullptr;
    clearGroups();
}

QString TQuorGroupsEdit::unsortedKey()
{
    return tr("unsorted");
}

QString TQuorGroupsEdit::unsortedName()
{
    return tr("Unsorted");
}

void TQuorGroupsEdit::ensureFile()
{
    // A corrupt file was set aside by the reader: start a fresh one.
    if (QFile::exists(xml->fileName()))
        return;
    xml->createRoot(QStringLiteral("groups"));
    xml->save();
}

void TQuorGroupsEdit::setEditEnabled(bool on)
{
    for (QWidget *w : std::initializer_list<QWidget *> { boxEditGroup, boxOtherGroups, editGroupName,
             checkBoxGroupVisible, editGroupDesc, listExtView, listOtherExtView, buttonMoveLeft, buttonMoveRight,
             buttonMoveAllLeft, buttonMoveAllRight, buttonAdd, buttonApply, buttonDelete })
        w->setEnabled(on);
}

bool TQuorGroupsEdit::isUnsortedName(const QString &name) const
{
    return name.toLower() == unsortedKey();
}

void TQuorGroupsEdit::connectUnsorted(TExtensionGroup *group)
{
    connect(group, &TExtensionGroup::signalGroupExpanded, this, &TQuorGroupsEdit::slotGroupExpanded);
    connect(group, &TExtensionGroup::signalSort, this, &TQuorGroupsEdit::slotGroupSort);
}

void TQuorGroupsEdit::connectGroup(TExtensionGroup *group)
{
    connectUnsorted(group);
    connectDrops(group);
}

void TQuorGroupsEdit::connectDrops(TExtensionGroup *group)
{
    connect(group, &TExtensionGroup::newPosition, this, &TQuorGroupsEdit::slotNewGroupPosition);
    connect(group, &TExtensionGroup::signalUpdateExt, this, &TQuorGroupsEdit::slotNewExtPosition);
    connect(group, &TExtensionGroup::signalAddExt2group, this, &TQuorGroupsEdit::slotNewExt2group);
    connect(group, &TExtensionGroup::signalDrop2group, this, &TQuorGroupsEdit::slotDrop2group);
}

void TQuorGroupsEdit::deleteGroup(TExtensionGroup *group)
{
    // A header may be inside its own drag or menu: it goes once that returns.
    if (group)
        group->removeSafely();
}

// ---------------------------------------------------------------- loading and placing

void TQuorGroupsEdit::loadGroups()
{
    // A second login on the same connection: nothing of the first may stay.
    if (storedExts || unsorted || !groupList.isEmpty())
        clearGroups();

    storedExts = new QList<TGroupExt *>;
    groupList = xml->readGroups(storedExts);

    int i = 0;
    while (i < groupList.size()) {
        TExtensionGroup *group = groupList.at(i);
        connectGroup(group);
        if (!isUnsortedName(group->name)) {
            ++i;
            continue;
        }
        groupList.removeAt(i);
        if (!unsorted) {
            unsorted = group;
            unsorted->setName(unsortedName());
            unsorted->tiles.clear();
        } else {
            deleteGroup(group);
        }
    }

    if (!unsorted) {
        unsorted = new TExtensionGroup;
        unsorted->setName(unsortedName());
        unsorted->setExpanded(true);
        unsorted->setSort(QStringLiteral("num"));
        unsorted->setDesc(tr("Unsorted group is for all extensions, which are not included in any other group"));
        unsorted->setVisibleFlag(true);
        connectUnsorted(unsorted);
    }
    setEditEnabled(true);
}

QList<TExtensionGroup *> TQuorGroupsEdit::groups()
{
    QList<TExtensionGroup *> list = groupList;
    if (unsorted) {
        unsorted->setVisibleFlag(!unsorted->tiles.isEmpty());
        list.append(unsorted);
    }
    return list;
}

TExtensionGroup *TQuorGroupsEdit::findGroup(const QString &name) const
{
    for (TExtensionGroup *group : groupList) {
        if (group->name == name)
            return group;
    }
    return nullptr;
}

TExtensionGroup *TQuorGroupsEdit::namedOrUnsorted(const QString &name) const
{
    TExtensionGroup *group = findGroup(name);
    return group ? group : unsorted;
}

void TQuorGroupsEdit::placeExtension(QuorAgent *tile)
{
    if (!tile)
        return;
    TExtensionGroup *group = nullptr;
    int claimed = -1;
    if (storedExts) {
        for (int i = 0; i < storedExts->size(); ++i) {
            const TGroupExt *ext = storedExts->at(i);
            if (ext->chan != tile->extension || ext->tech != tile->tech)
                continue;
            tile->setCallerIdName(ext->uname);
            group = findGroup(ext->groupName);
            if (group) {
                claimed = i;
                break;
            }
        }
    }
    if (group) {
        const TGroupExt *ext = storedExts->at(claimed);
        if (group->sort == kCustom)
            tile->setCustomIndex(ext->ci);
        group->connectExtension(tile, group->sort);
        delete storedExts->takeAt(claimed);
        return;
    }
    if (!unsorted) {
        Logger::warning(
            QStringLiteral("Extension %1 came before the groups were loaded; it is not placed").arg(tile->extension));
        return;
    }
    unsorted->connectExtension(tile, QString());
}

// ---------------------------------------------------------------- saving and clearing

void TQuorGroupsEdit::saveGroups(QList<TExtensionGroup *> list, TExtensionGroup *unsortedGroup)
{
    if (!unsortedGroup || !xml)
        return;

    // Records whose peer has not appeared since the start keep their place:
    // they are written after the tiles of the first group of their name.
    TXmlGroups::Unclaimed unclaimed;
    if (storedExts && !storedExts->isEmpty()) {
        QSet<QString> present;
        for (const TExtensionGroup *group : std::as_const(list)) {
            for (const QuorAgent *tile : group->tiles)
                present.insert(peerKey(tile->tech, tile->extension));
        }
        for (const QuorAgent *tile : unsortedGroup->tiles)
            present.insert(peerKey(tile->tech, tile->extension));
        for (const TGroupExt *ext : std::as_const(*storedExts)) {
            if (present.contains(peerKey(ext->tech, ext->chan)))
                continue;
            for (const TExtensionGroup *group : std::as_const(list)) {
                if (group->name == ext->groupName) {
                    unclaimed[group].append(ext);
                    break;
                }
            }
        }
    }

    auto *copy = new TExtensionGroup(unsortedGroup);
    copy->tiles.clear();
    list.append(copy);
    xml->writeGroups(list, unclaimed);
    xml->save();
    delete copy;
}

void TQuorGroupsEdit::save()
{
    saveGroups(groupList, unsorted);
}

void TQuorGroupsEdit::clearGroups()
{
    for (TExtensionGroup *group : std::as_const(groupList))
        deleteGroup(group);
    groupList.clear();
    for (TExtensionGroup *group : std::as_const(editCopies))
        deleteGroup(group);
    editCopies.clear();
    m_copySources.clear();
    deleteGroup(unsorted);
    unsorted = nullptr;
    deleteGroup(unsortedCopy);
    unsortedCopy = nullptr;
    if (storedExts) {
        qDeleteAll(*storedExts);
        delete storedExts;
        storedExts = nullptr;
    }

    boxEditGroup->clear();
    boxOtherGroups->clear();
    editGroupName->setText(QString());
    checkBoxGroupVisible->setCheckState(Qt::Unchecked);
    if (!editGroupDesc->toPlainText().isEmpty())
        editGroupDesc->clear();
    listExtView->clear();
    listOtherExtView->clear();
    setEditEnabled(false);
}

void TQuorGroupsEdit::carryStoredRecords()
{
    if (!storedExts)
        return;
    // A record belongs to the first group of its name, as placing a tile finds
    // it. It takes that group's new name; with a deleted group it goes, as
    // that group's tiles went to Unsorted.
    QHash<const TExtensionGroup *, QString> newNames;
    for (const TExtensionGroup *copy : std::as_const(editCopies)) {
        if (const TExtensionGroup *source = m_copySources.value(copy))
            newNames.insert(source, copy->name);
    }
    for (auto it = storedExts->begin(); it != storedExts->end();) {
        const TExtensionGroup *owner = findGroup((*it)->groupName);
        const auto found = newNames.constFind(owner);
        if (!owner) {
            ++it;
        } else if (found == newNames.cend()) {
            delete *it;
            it = storedExts->erase(it);
        } else {
            (*it)->groupName = *found;
            ++it;
        }
    }
}

// ---------------------------------------------------------------- rearranging

void TQuorGroupsEdit::slotGroupExpanded(TExtensionGroup *, bool)
{
    emit signalUpdateExtGrid();
}

void TQuorGroupsEdit::slotGroupSort(TExtensionGroup *group, QString key)
{
    QList<QuorAgent *> &tiles = group->tiles;
    if (key == QLatin1String("num") || key == QLatin1String("name")) {
        // Ascending by the key with case folded; tiles with equal keys end in
        // the reverse of their former order. A stable sort of the reversed
        // list: a group of thousands sorts without a quadratic pass.
        QString QuorAgent::*const field = TExtensionGroup::sortField(key);
        std::reverse(tiles.begin(), tiles.end());
        std::stable_sort(tiles.begin(), tiles.end(), [field](const QuorAgent *a, const QuorAgent *b) {
            return QString::compare(a->*field, b->*field, Qt::CaseInsensitive) < 0;
        });
    } else if (key == kCustom) {
        for (int i = 0; i < tiles.size(); ++i)
            tiles.at(i)->setCustomIndex(QString::number(i));
    }
    saveGroups(groupList, unsorted);
    emit signalUpdateExtGrid();
}

void TQuorGroupsEdit::slotNewGroupPosition(QString dragged, QString target)
{
    if (groupList.isEmpty()) {
        saveGroups(groupList, unsorted);
        emit signalUpdateExtGrid();
        return;
    }
    int targetIndex = -1;
    int draggedIndex = -1;
    for (int i = 0; i < groupList.size(); ++i) {
        const TExtensionGroup *group = groupList.at(i);
        if (isUnsortedName(group->name) || group == unsorted)
            break;
        if (group->name == target)
            targetIndex = i;
        if (group->name == dragged)
            draggedIndex = i;
    }
    if (targetIndex < 0 || draggedIndex < 0)
        return;
    groupList.move(draggedIndex, targetIndex);
    saveGroups(groupList, unsorted);
    emit signalUpdateExtGrid();
}

void TQuorGroupsEdit::slotNewExtPosition(QString dragged, QString target, QString groupName)
{
    TExtensionGroup *group = namedOrUnsorted(groupName);
    if (!group)
        return;
    // A tile that is not in the group its drag names moves nothing.
    const int draggedIndex = group->indexOfExtension(dragged);
    if (draggedIndex < 0)
        return;
    const int targetIndex = qMax(0, group->indexOfExtension(target));
    group->tiles.move(draggedIndex, targetIndex);
    group->setSort(kCustom);
    saveGroups(groupList, unsorted);
    emit signalUpdateExtGrid();
}

bool TQuorGroupsEdit::resolveDrop(const QString &dragged, const QString &sourceGroup, const QString &targetGroup,
    TExtensionGroup **src, TExtensionGroup **dst, int *sourceIndex) const
{
    *src = namedOrUnsorted(sourceGroup);
    *dst = namedOrUnsorted(targetGroup);
    if (!*src || !*dst)
        return false;
    // A tile that is not in the group its drag names moves nothing.
    *sourceIndex = (*src)->indexOfExtension(dragged);
    return *sourceIndex >= 0;
}

void TQuorGroupsEdit::slotNewExt2group(QString dragged, QString target, QString sourceGroup, QString targetGroup)
{
    TExtensionGroup *src = nullptr;
    TExtensionGroup *dst = nullptr;
    int sourceIndex = -1;
    if (!resolveDrop(dragged, sourceGroup, targetGroup, &src, &dst, &sourceIndex))
        return;
    const int targetIndex = qMax(0, dst->indexOfExtension(target));
    dst->insertExtensionAt(targetIndex, src->takeExtension(sourceIndex));
    dst->setSort(kCustom);
    saveGroups(groupList, unsorted);
    emit signalUpdateExtGrid();
}

void TQuorGroupsEdit::slotDrop2group(QString dragged, QString sourceGroup, QString targetGroup)
{
    TExtensionGroup *src = nullptr;
    TExtensionGroup *dst = nullptr;
    int sourceIndex = -1;
    if (!resolveDrop(dragged, sourceGroup, targetGroup, &src, &dst, &sourceIndex))
        return;
    dst->connectExtension(src->takeExtension(sourceIndex), dst->sort);
    saveGroups(groupList, unsorted);
    emit signalUpdateExtGrid();
}
