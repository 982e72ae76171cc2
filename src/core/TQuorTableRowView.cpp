#include "core/TQuorTableRowView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>

#include "core/TQuorTable.h"
#include "core/TQuorTableRow.h"
#include "core/TQuorTableScroll.h"

namespace {

const int kIconSize = 20;
const int kTextLeft = 32;

QPixmap image(const QString &name)
{
    QPixmap pixmap;
    const QString path = QStringLiteral(":/ui/images/rows/") + name;
    if (!QPixmapCache::find(path, &pixmap)) {
        pixmap.load(path);
        QPixmapCache::insert(path, pixmap);
    }
    return pixmap;
}

} // namespace

TQuorTableRowView::TQuorTableRowView(TQuorTable *table)
    : QWidget(table)
    , m_table(table)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void TQuorTableRowView::setRow(TQuorTableRow *row)
{
    if (row == m_row)
        return;
    m_row = row;
    m_pressed = false;
    refresh();
}

void TQuorTableRowView::refresh()
{
    setToolTip(m_row ? m_row->shownToolTip() : QString());
    update();
}

void TQuorTableRowView::orphan()
{
    m_orphaned = true;
    m_table = nullptr;
    m_row = nullptr;
    hide();
    setParent(nullptr);
}

bool TQuorTableRowView::leaveBusy(const QPointer<TQuorTableRowView> &self)
{
    if (!self)
        return false;
    --m_busy;
    if (m_orphaned) {
        if (m_busy == 0)
            deleteLater();
        return false;
    }
    return !m_table.isNull();
}

QString TQuorTableRowView::iconName() const
{
    switch (m_row ? m_row->kind() : 0) {
    case RowIncomingRinging:
        return QStringLiteral("kind_ringing.png");
    case RowOutgoing:
        return QStringLiteral("kind_outgoing.png");
    case RowTalking:
        return QStringLiteral("kind_talking.png");
    case RowHeld:
    case RowHeld2:
        return QStringLiteral("kind_held.png");
    case RowMissed:
        return QStringLiteral("kind_missed.png");
    case RowInformation:
        return QStringLiteral("kind_info.png");
    case RowDialled:
        return QStringLiteral("kind_dialled.png");
    case RowAnswered:
        return QStringLiteral("kind_answered.png");
    case RowContact:
        return QStringLiteral("kind_contact.png");
    case RowLdapServer:
        return QStringLiteral("kind_server.png");
    }
    return QString();
}

void TQuorTableRowView::paintEvent(QPaintEvent *)
{
    if (!m_row)
        return;
    QPainter painter(this);
    const QRect area = rect();
    const bool blink = m_row->blinkPhase();
    const bool selected = m_row->isSelected();

    QString background = QStringLiteral("row_bg.png");
    if (blink)
        background = QStringLiteral("row_bg_ring.png");
    else if (selected)
        background = QStringLiteral("row_bg_sel.png");
    const QPixmap bg = image(background);
    if (bg.isNull())
        painter.fillRect(area, selected || blink ? QColor(70, 70, 70) : QColor(45, 45, 45));
    else
        painter.drawPixmap(area, bg);

    const QPixmap icon = image(iconName());
    if (!icon.isNull())
        painter.drawPixmap(6, (area.height() - kIconSize) / 2, kIconSize, kIconSize, icon);

    const QRect textArea = area.adjusted(kTextLeft, 2, -4, -2);
    const QFontMetrics metrics(font());
    const QStringList captionLines = m_row->shownText().split(QLatin1Char('\n'));
    const QString timeText = m_row->timeText();
    QStringList lines;
    lines << captionLines.value(0);
    if (!timeText.isEmpty())
        lines << timeText;
    else if (captionLines.size() > 1)
        lines << captionLines.value(1);

    const int lineHeight = metrics.height();
    int y = textArea.top() + (textArea.height() - lineHeight * int(lines.size())) / 2;
    for (int i = 0; i < lines.size(); ++i) {
        const bool caption = i == 0 || timeText.isEmpty();
        QColor pen(160, 160, 160);
        if (caption)
            pen = selected && !blink ? QColor(255, 130, 0) : QColor(235, 235, 235);
        painter.setPen(pen);
        const QString line = metrics.elidedText(lines.at(i), Qt::ElideRight, textArea.width());
        painter.drawText(
            QRect(textArea.left(), y, textArea.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += lineHeight;
    }
}

void TQuorTableRowView::mousePressEvent(QMouseEvent *event)
{
    event->accept();
    if (!m_row || !m_table)
        return;
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        m_pressPos = event->position().toPoint();
    }
    m_table->rowPressed(m_row);
}

void TQuorTableRowView::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed || !(event->buttons() & Qt::LeftButton) || !m_row || !m_table || !m_row->carriesCall())
        return;
    if ((event->position().toPoint() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    m_pressed = false;

    TQuorTable::RowHold hold(m_table);
    const QPointer<TQuorTableRowView> self(this);
    ++m_busy;
    // The view is the drag's source but not its parent: whatever happens to
    // the list during the drag, the drag object is only freed below.
    QPointer<QDrag> drag = new QDrag(this);
    drag->setParent(nullptr);
    drag->setMimeData(m_row->mimeData());
    drag->setPixmap(grab());
    drag->setHotSpot(m_pressPos);
    drag->exec(Qt::MoveAction | Qt::CopyAction);
    if (drag)
        drag->deleteLater();
    leaveBusy(self);
}

void TQuorTableRowView::mouseDoubleClickEvent(QMouseEvent *event)
{
    event->accept();
    m_pressed = false;
    if (m_row && m_table)
        m_table->rowDoubleClicked(m_row);
}

void TQuorTableRowView::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    TQuorTableRow *row = m_row;
    if (!row || !m_table)
        return;
    const QList<TQuorTableRow::MenuAction> actions = TQuorTableRow::menuActions(row->kind(), row->call());
    if (actions.isEmpty())
        return;

    TQuorTable::RowHold hold(m_table);
    const QPointer<TQuorTableRowView> self(this);
    ++m_busy;
    m_table->rowPressed(row);

    // No parent: a row or list removed while the menu is open must not take
    // the menu with it.
    QMenu menu;
    for (TQuorTableRow::MenuAction action : actions)
        menu.addAction(TQuorTableRow::actionText(action))->setData(int(action));
    const QAction *chosen = menu.exec(event->globalPos());
    const int action = chosen ? chosen->data().toInt() : 0;
    if (!leaveBusy(self) || !action)
        return;
    // The row may have gone meanwhile; the table ignores a row it no longer has.
    m_table->rowMenuAction(row, action);
}
