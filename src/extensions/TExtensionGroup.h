#pragma once

#include <QFont>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QWidget>

#include "extensions/SafeRemoval.h"
#include "ui_QuorAgentGroup.h"

class QAction;
class QMenu;
class CPushButton;
class QuorAgent;

// One group of tiles, and the header that stands for it in the panel's grid.
// Clicking the header expands or collapses the group, its menu picks one of
// three sort orders, dragging it onto another header reorders the groups and
// dropping a tile on it moves the tile into the group. Every such action
// leaves as a signal; the group set carries it out.
//
// A group relays the drops on each of its tiles exactly once: taking a tile
// out of the group also stops relaying its drops.
class TExtensionGroup : public QWidget, public Ui::QuorAgentGroup
{
    Q_OBJECT

public:
    TExtensionGroup();
    // A group with the other's attributes and the same tiles.
    explicit TExtensionGroup(const TExtensionGroup *other);
    ~TExtensionGroup() override;

    void setName(const QString &text);
    void setDesc(const QString &text);
    void setVisibleFlag(bool on);
    void setExpanded(bool on);
    void setSort(const QString &key);
    // Sorted insertion by the group's sort key; returns the tile's index.
    int insertExtension(QuorAgent *tile);
    // Stores the key without a signal, inserts the tile and relays its drops.
    int connectExtension(QuorAgent *tile, const QString &key);
    // Places a tile at an index and relays its drops.
    void insertExtensionAt(int index, QuorAgent *tile);
    // Takes the tile at index out; its drops are no longer relayed here.
    QuorAgent *takeExtension(int index);
    // The text a tile is ordered by under a sort key: its extension for "num"
    // (and ""), its caller-id name for "name", its custom index for "cust".
    static QString sortKey(const QuorAgent *tile, const QString &key);
    // The same as a member of the tile, to compare in place.
    static QString QuorAgent::*sortField(const QString &key);
    // The index of the last tile of that extension, -1 when there is none.
    int indexOfExtension(const QString &extension) const;

    // Takes the header out of use at once and deletes it now, or after its
    // own drag or menu has returned.
    void removeSafely();
    bool isRemoved() const { return m_removal.pending(); }

    QList<QuorAgent *> tiles; // display order; not owned
    QFont titleFont;
    QAction *actSortByName = nullptr;
    QAction *actSortByNumber = nullptr;
    QAction *actCustomSort = nullptr;
    bool visibleFlag = false;
    bool expanded = true;
    QString sort = QStringLiteral("num");
    bool dragging = false;
    QString name;
    QString desc;
    CPushButton *expandButton = nullptr;
    QPoint dragStartPos;

signals:
    void newPosition(QString, QString);
    void signalUpdateExt(QString, QString, QString);
    void signalDrop2group(QString, QString, QString);
    void signalAddExt2group(QString, QString, QString, QString);
    void signalGroupExpanded(TExtensionGroup *, bool);
    void signalSort(TExtensionGroup *, QString);

public slots:
    void createContextMenu(const QPoint &position);
    void SortByName();
    void SortByExt();
    void customSort();
    void expandClicked();
    void slotNewExtPosition(
        QString draggedExtension, QString draggedGroup, QString targetExtension, QString targetGroup);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private slots:
    // A tile the panel deleted (on a lost connection) leaves every group.
    void tileDestroyed(QObject *object);

private:
    void build();
    void setTitleFont();
    void createActions();
    void updateSortActions();
    void relay(QuorAgent *tile);
    void startDrag();

    SafeRemoval m_removal { this };
    QPointer<QMenu> m_menu;
};
