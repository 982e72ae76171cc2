#include "extensions/TExtensionGroup.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>

#include "core/CPushButton.h"
#include "extensions/ButtonDrag.h"
#include "extensions/DragData.h"
#include "extensions/DragRunner.h"
#include "extensions/QuorAgent.h"

namespace {

const QLatin1String kByName("name");
const QLatin1String kByNumber("num");
const QLatin1String kCustom("cust");

} // namespace

TExtensionGroup::TExtensionGroup()
    : QWidget(nullptr)
{
    build();
}

TExtensionGroup::TExtensionGroup(const TExtensionGroup *other)
    : QWidget(nullptr)
{
    build();
    for (QuorAgent *tile : other->tiles) {
        tiles.append(tile);
        relay(tile);
    }
    setName(other->name);
    setDesc(other->desc);
    setVisibleFlag(other->visibleFlag);
    setExpanded(other->expanded);
    setSort(other->sort);
}

TExtensionGroup::~TExtensionGroup() = default;

void TExtensionGroup::build()
{
    titleFont = QFont(QStringLiteral("Arial"), 12, QFont::Bold);
    setupUi(this);
    setTitleFont();
    createActions();
    expandButton = CPushButton::replace(buttonExpandConceal);
    buttonExpandConceal = expandButton;
    expandButton->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(expandButton, &QPushButton::clicked, this, &TExtensionGroup::expandClicked);
    connect(expandButton, &QWidget::customContextMenuRequested, this, &TExtensionGroup::createContextMenu);
    // The button covers the whole header: a drag may start on it.
    new ButtonDrag(expandButton, [this] { startDrag(); });
    setAcceptDrops(true);
}

void TExtensionGroup::setTitleFont()
{
    labelTitle->setFont(titleFont);
}

void TExtensionGroup::createActions()
{
    actSortByName = new QAction(tr("&Sort by Name"), this);
    actSortByNumber = new QAction(tr("&Sort by Number"), this);
    actCustomSort = new QAction(tr("&Custom Sorting"), this);
    for (QAction *action : { actSortByName, actSortByNumber, actCustomSort })
        action->setCheckable(true);
    connect(actSortByName, &QAction::triggered, this, &TExtensionGroup::SortByName);
    connect(actSortByNumber, &QAction::triggered, this, &TExtensionGroup::SortByExt);
    connect(actCustomSort, &QAction::triggered, this, &TExtensionGroup::customSort);
}

void TExtensionGroup::removeSafely()
{
    if (m_removal.pending())
        return;
    for (QuorAgent *tile : std::as_const(tiles))
        disconnect(tile, nullptr, this, nullptr);
    tiles.clear();
    disconnect(this, &TExtensionGroup::newPosition, nullptr, nullptr);
    disconnect(this, &TExtensionGroup::signalUpdateExt, nullptr, nullptr);
    disconnect(this, &TExtensionGroup::signalDrop2group, nullptr, nullptr);
    disconnect(this, &TExtensionGroup::signalAddExt2group, nullptr, nullptr);
    disconnect(this, &TExtensionGroup::signalGroupExpanded, nullptr, nullptr);
    disconnect(this, &TExtensionGroup::signalSort, nullptr, nullptr);
    if (m_menu)
        m_menu->close();
    m_removal.remove();
}

// ---------------------------------------------------------------- attributes

void TExtensionGroup::setName(const QString &text)
{
    name = text;
    labelTitle->setText(text);
}

void TExtensionGroup::setDesc(const QString &text)
{
    desc = text;
}

void TExtensionGroup::setVisibleFlag(bool on)
{
    visibleFlag = on;
}

void TExtensionGroup::setExpanded(bool on)
{
    expanded = on;
    if (on) {
        back->setPixmap(QPixmap(QStringLiteral(":/ui/images/bt_grp_drop.png")));
        expandButton->setHoverIcon(QIcon(QStringLiteral(":/ui/images/bt_grp_cnt_h.png")));
        expandButton->setToolTip(tr("Hide Extensions for this Group"));
    } else {
        back->setPixmap(QPixmap(QStringLiteral(":/ui/images/bt_grp_cnt.png")));
        expandButton->setHoverIcon(QIcon(QStringLiteral(":/ui/images/bt_grp_drop_h.png")));
        expandButton->setToolTip(tr("Show Extensions for this Group"));
        for (QuorAgent *tile : std::as_const(tiles))
            tile->hide();
    }
    emit signalGroupExpanded(this, on);
}

void TExtensionGroup::expandClicked()
{
    setExpanded(!expanded);
}

void TExtensionGroup::setSort(const QString &key)
{
    sort = key.isEmpty() ? QString(kByNumber) : key;
    emit signalSort(this, sort);
    updateSortActions();
}

void TExtensionGroup::updateSortActions()
{
    if (sort != kByName && sort != kByNumber && sort != kCustom)
        return;
    actSortByName->setChecked(sort == kByName);
    actSortByNumber->setChecked(sort == kByNumber);
    actCustomSort->setChecked(sort == kCustom);
}

void TExtensionGroup::SortByName()
{
    setSort(kByName);
}

void TExtensionGroup::SortByExt()
{
    setSort(kByNumber);
}

void TExtensionGroup::customSort()
{
    setSort(kCustom);
}

void TExtensionGroup::createContextMenu(const QPoint &)
{
    if (m_removal.pending())
        return;
    QMenu menu(this);
    m_menu = &menu;
    menu.addAction(actSortByName);
    menu.addAction(actSortByNumber);
    menu.addAction(actCustomSort);
    SafeRemoval::LoopScope scope(m_removal);
    menu.exec(QCursor::pos());
}

// ---------------------------------------------------------------- tiles

QString TExtensionGroup::sortKey(const QuorAgent *tile, const QString &key)
{
    return tile->*sortField(key);
}

QString QuorAgent::*TExtensionGroup::sortField(const QString &key)
{
    if (key == kByName)
        return &QuorAgent::callerIdName;
    if (key == kCustom)
        return &QuorAgent::customIndex;
    return &QuorAgent::extension;
}

int TExtensionGroup::insertExtension(QuorAgent *tile)
{
    if (tiles.isEmpty()) {
        tiles.insert(0, tile);
        return 0;
    }
    if (!sort.isEmpty() && sort != kByNumber && sort != kByName && sort != kCustom) {
        tiles.append(tile);
        return int(tiles.size()) - 1;
    }
    // The key field is picked once: a group of thousands compares it as many
    // times for every tile that joins.
    QString QuorAgent::*const field = sortField(sort);
    const QString &key = tile->*field;
    for (int i = 0; i < tiles.size(); ++i) {
        // Case folding without locale: "100" comes before "20", and an equal
        // key goes after the tiles that have it.
        if (QString::compare(tiles.at(i)->*field, key, Qt::CaseInsensitive) > 0) {
            tiles.insert(i, tile);
            return i;
        }
    }
    tiles.append(tile);
    return int(tiles.size()) - 1;
}

int TExtensionGroup::connectExtension(QuorAgent *tile, const QString &key)
{
    sort = key;
    const int index = insertExtension(tile);
    relay(tile);
    return index;
}

void TExtensionGroup::insertExtensionAt(int index, QuorAgent *tile)
{
    tiles.insert(qBound(0, index, int(tiles.size())), tile);
    relay(tile);
}

QuorAgent *TExtensionGroup::takeExtension(int index)
{
    QuorAgent *tile = tiles.takeAt(index);
    // Still listed at another place (the editor's copies share tiles): relay on.
    if (!tiles.contains(tile))
        disconnect(tile, &QuorAgent::newExtPosition, this, &TExtensionGroup::slotNewExtPosition);
    return tile;
}

int TExtensionGroup::indexOfExtension(const QString &extension) const
{
    for (int i = int(tiles.size()) - 1; i >= 0; --i) {
        if (tiles.at(i)->extension == extension)
            return i;
    }
    return -1;
}

void TExtensionGroup::relay(QuorAgent *tile)
{
    connect(tile, &QuorAgent::newExtPosition, this, &TExtensionGroup::slotNewExtPosition, Qt::UniqueConnection);
    connect(tile, &QObject::destroyed, this, &TExtensionGroup::tileDestroyed, Qt::UniqueConnection);
}

void TExtensionGroup::tileDestroyed(QObject *object)
{
    tiles.removeIf([object](const QuorAgent *tile) { return static_cast<const QObject *>(tile) == object; });
}

void TExtensionGroup::slotNewExtPosition(
    QString draggedExtension, QString draggedGroup, QString targetExtension, QString targetGroup)
{
    if (draggedGroup == targetGroup)
        emit signalUpdateExt(draggedExtension, targetExtension, draggedGroup);
    else
        emit signalAddExt2group(draggedExtension, targetExtension, draggedGroup, targetGroup);
}

// ---------------------------------------------------------------- drag and drop

void TExtensionGroup::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    if ((event->position().toPoint() - dragStartPos).manhattanLength() < QApplication::startDragDistance())
        return;
    startDrag();
}

void TExtensionGroup::startDrag()
{
    if (dragging || m_removal.pending() || m_removal.inLoop())
        return;
    dragging = true;
    auto *data = new QMimeData;
    data->setData(QLatin1String(DragData::kGroupFormat), name.toUtf8());
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(QPixmap(QStringLiteral(":ui/images/bt_grp_cnt.png")));
    {
        // A disconnect may clear every group while the drag runs: the header
        // stays alive until exec() has returned.
        SafeRemoval::LoopScope scope(m_removal);
        DragRunner::exec(drag, Qt::MoveAction);
    }
    if (!m_removal.pending())
        dragging = false;
}

void TExtensionGroup::dragEnterEvent(QDragEnterEvent *event)
{
    const QMimeData *data = event->mimeData();
    if (!m_removal.pending()
        && (data->hasFormat(QLatin1String(DragData::kGroupFormat))
            || data->hasFormat(QLatin1String(DragData::kTileFormat))))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TExtensionGroup::dropEvent(QDropEvent *event)
{
    if (m_removal.pending())
        return;
    const QMimeData *data = event->mimeData();
    if (data->hasFormat(QLatin1String(DragData::kGroupFormat))) {
        const QString dragged = DragData::text(data->data(QLatin1String(DragData::kGroupFormat)));
        event->acceptProposedAction();
        emit newPosition(dragged, name);
    }
    if (data->hasFormat(QLatin1String(DragData::kTileFormat))) {
        QString extension;
        QString group;
        DragData::splitTile(data->data(QLatin1String(DragData::kTileFormat)), &extension, &group);
        event->acceptProposedAction();
        emit signalDrop2group(extension, group, name);
    }
}
