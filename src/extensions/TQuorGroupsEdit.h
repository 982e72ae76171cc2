#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

#include "ui_QuorGroupsEdit.h"

class QuorAgent;
class TExtensionGroup;
class TXmlGroups;
struct TGroupExt;

// Owns every group of the panel: builds them from "extgroups.xml" at login,
// keeps the ordinary groups in display order and the Unsorted group that
// takes every tile no other group claims, places each new tile, carries out
// the rearrangements dragged in the panel, writes the file after each and
// asks the panel to rebuild its grid. It is also the group editor window.
class TQuorGroupsEdit : public QWidget, public Ui::QuorGroupsEdit
{
    Q_OBJECT

public:
    explicit TQuorGroupsEdit(QWidget *parent = nullptr);
    ~TQuorGroupsEdit() override;

    // Rebuilds every group from the file (clearing groups still loaded first).
    void loadGroups();
    // The display order: the ordinary groups, then Unsorted (shown only while
    // it holds tiles). Without loaded groups, the ordinary groups only.
    QList<TExtensionGroup *> groups();
    // Puts a new tile into the group the file keeps for it, else into Unsorted.
    void placeExtension(QuorAgent *tile);
    // The first ordinary group of that exact name, or nullptr.
    TExtensionGroup *findGroup(const QString &name) const;
    // Writes the groups, Unsorted last without tiles; nothing without Unsorted.
    void saveGroups(QList<TExtensionGroup *> list, TExtensionGroup *unsortedGroup);
    void save();
    // Deletes every group, copy and record and empties the editor.
    void clearGroups();
    void setEditEnabled(bool on);
    // Fresh working copies of the groups for the editor; unapplied edits go.
    void refreshEditCopies();
    // The copies the editor shows: the edited one and the other one (nullptr
    // where there is none).
    void selectedGroups(TExtensionGroup **current, TExtensionGroup **other);

    // The name the Unsorted group is recognised by (lower case) and shown with.
    static QString unsortedKey();
    static QString unsortedName();

    QList<TGroupExt *> *storedExts = nullptr; // owned, with the records
    QList<TExtensionGroup *> groupList; // owned
    QList<TExtensionGroup *> editCopies; // owned
    TExtensionGroup *unsorted = nullptr; // owned
    TExtensionGroup *unsortedCopy = nullptr; // owned
    TXmlGroups *xml = nullptr; // owned

signals:
    void signalUpdateExtGrid();

public slots:
    void slotGroupExpanded(TExtensionGroup *group, bool expanded);
    void slotGroupSort(TExtensionGroup *group, QString key);
    void slotNewGroupPosition(QString dragged, QString target);
    void slotNewExtPosition(QString dragged, QString target, QString groupName);
    void slotDrop2group(QString dragged, QString sourceGroup, QString targetGroup);
    void slotNewExt2group(QString dragged, QString target, QString sourceGroup, QString targetGroup);

    // The editor window's.
    void groupIndexChanged(int index);
    void otherGroupsIndexChanged(int index);
    void slotMoveRight();
    void slotMoveLeft();
    void slotMoveAllRight();
    void slotMoveAllLeft();
    void slotNameTextChanged(QString text);
    void slotDescTextChanged();
    void slotVisibleStateChanged(int state);
    void slotApply();
    void slotAdd();
    void slotDelete();

private:
    void ensureFile();
    void connectGroup(TExtensionGroup *group);
    void connectUnsorted(TExtensionGroup *group);
    // The four drop and reorder signals of an ordinary group.
    void connectDrops(TExtensionGroup *group);
    // The editor window (TQuorGroupsEditWindow.cpp).
    void setupEditor();
    // Working copy at an editor entry's index; the count stands for Unsorted.
    TExtensionGroup *copyAt(int index) const;
    void moveSelected(
        TExtensionGroup *source, TExtensionGroup *target, QListWidget *sourceList, QListWidget *targetList);
    void moveAll(TExtensionGroup *source, TExtensionGroup *target, QListWidget *sourceList, QListWidget *targetList);
    bool isUnsortedName(const QString &name) const;
    // The group a drop names: an ordinary group of that name, else Unsorted.
    TExtensionGroup *namedOrUnsorted(const QString &name) const;
    // The groups a dropped tile comes from and goes to, and its index in the
    // first; false when that group does not hold it.
    bool resolveDrop(const QString &dragged, const QString &sourceGroup, const QString &targetGroup,
        TExtensionGroup **src, TExtensionGroup **dst, int *sourceIndex) const;
    static void deleteGroup(TExtensionGroup *group);
    // Apply's checks and the records it carries across renames.
    bool refuseUnsortedName();
    void carryStoredRecords();

    // Each working copy made from a group, and that group: records of peers
    // not seen yet name the group, and must follow it across a rename.
    QHash<const TExtensionGroup *, const TExtensionGroup *> m_copySources;
};
