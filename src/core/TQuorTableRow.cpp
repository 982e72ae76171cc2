#include "core/TQuorTableRow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>

#include "core/Privacy.h"
#include "core/TQuorCall.h"

namespace {

const int IconSize = 20;
const int TextLeft = 32;

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

TQuorTableRow::TQuorTableRow(int kind, TQuorCall *call, QWidget *parent)
    : QWidget(parent)
    , m_kind(kind)
    , m_call(call)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::NoFocus);
    resize(width(), RowHeight);
}

void TQuorTableRow::setKind(int kind)
{
    if (kind == RowKeep || kind == m_kind)
        return;
    m_kind = kind;
    if (m_kind != RowIncomingRinging)
        m_blink = false;
    update();
}

void TQuorTableRow::setText(const QString &text)
{
    m_text = text;
    update();
}

void TQuorTableRow::setTimeText(const QString &text)
{
    m_timeText = text == QLatin1String("No company") ? QString() : text;
    update();
}

void TQuorTableRow::setToolTipText(const QString &tip)
{
    m_tip = tip;
    updateToolTip();
}

QString TQuorTableRow::shownText() const
{
    return m_privacy ? Privacy::maskNumbers(m_text) : m_text;
}

void TQuorTableRow::setPrivacy(bool on)
{
    if (on == m_privacy)
        return;
    m_privacy = on;
    updateToolTip();
    update();
}

void TQuorTableRow::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    update();
}

void TQuorTableRow::setBlinkPhase(bool on)
{
    on = on && m_kind == RowIncomingRinging;
    if (on == m_blink)
        return;
    m_blink = on;
    update();
}

bool TQuorTableRow::carriesCall() const
{
    return m_call && !m_call->contact && !m_call->server && m_kind >= RowIncomingRinging && m_kind <= RowAnswered;
}

QMimeData *TQuorTableRow::mimeData() const
{
    if (!carriesCall())
        return nullptr;
    return m_call->toMimeData();
}

QList<TQuorTableRow::MenuAction> TQuorTableRow::menuActions(int kind, const TQuorCall *call)
{
    if (!call)
        return {};
    switch (kind) {
    case RowContact:
    case RowLdapServer:
        return { ActionAdd, ActionEdit, ActionDelete };
    case RowIncomingRinging:
        return { ActionAnswer, ActionHangup };
    case RowOutgoing:
    case RowTalking:
    case RowHeld:
    case RowHeld2:
        return { ActionHangup };
    case RowMissed:
    case RowDialled:
    case RowAnswered:
        // A missed-call row may also be an error message without a number.
        if (call->number.isEmpty())
            return {};
        return { ActionCall };
    default:
        return {};
    }
}

QString TQuorTableRow::actionText(MenuAction action)
{
    switch (action) {
    case ActionAdd:
        return tr("Add");
    case ActionEdit:
        return tr("Edit");
    case ActionDelete:
        return tr("Delete");
    case ActionCall:
        return tr("Call");
    case ActionAnswer:
        return tr("Answer");
    case ActionHangup:
        return tr("Hang up");
    }
    return QString();
}

void TQuorTableRow::triggerMenuAction(int action)
{
    emit signalMenuAction(this, action);
}

void TQuorTableRow::updateToolTip()
{
    setToolTip(m_privacy ? Privacy::maskNumbers(m_tip) : m_tip);
}

QString TQuorTableRow::iconName() const
{
    switch (m_kind) {
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

void TQuorTableRow::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const QRect area = rect();

    QString background = QStringLiteral("row_bg.png");
    if (m_blink)
        background = QStringLiteral("row_bg_ring.png");
    else if (m_selected)
        background = QStringLiteral("row_bg_sel.png");
    const QPixmap bg = image(background);
    if (bg.isNull())
        painter.fillRect(area, m_selected || m_blink ? QColor(70, 70, 70) : QColor(45, 45, 45));
    else
        painter.drawPixmap(area, bg);

    const QPixmap icon = image(iconName());
    if (!icon.isNull())
        painter.drawPixmap(6, (area.height() - IconSize) / 2, IconSize, IconSize, icon);

    const QRect textArea = area.adjusted(TextLeft, 2, -4, -2);
    const QFontMetrics metrics(font());
    const QStringList captionLines = shownText().split(QLatin1Char('\n'));
    QStringList lines;
    lines << captionLines.value(0);
    if (!m_timeText.isEmpty())
        lines << m_timeText;
    else if (captionLines.size() > 1)
        lines << captionLines.value(1);

    const int lineHeight = metrics.height();
    int y = textArea.top() + (textArea.height() - lineHeight * int(lines.size())) / 2;
    for (int i = 0; i < lines.size(); ++i) {
        const bool caption = i == 0 || m_timeText.isEmpty();
        QColor pen(160, 160, 160);
        if (caption)
            pen = m_selected && !m_blink ? QColor(255, 130, 0) : QColor(235, 235, 235);
        painter.setPen(pen);
        const QString line = metrics.elidedText(lines.at(i), Qt::ElideRight, textArea.width());
        painter.drawText(
            QRect(textArea.left(), y, textArea.width(), lineHeight), Qt::AlignLeft | Qt::AlignVCenter, line);
        y += lineHeight;
    }
}

void TQuorTableRow::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_pressed = true;
        m_pressPos = event->position().toPoint();
    }
    emit signalSelected(this);
    event->accept();
}

void TQuorTableRow::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_pressed || !(event->buttons() & Qt::LeftButton) || !carriesCall())
        return;
    if ((event->position().toPoint() - m_pressPos).manhattanLength() < QApplication::startDragDistance())
        return;
    m_pressed = false;

    QMimeData *data = mimeData();
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    drag->setPixmap(grab());
    drag->setHotSpot(m_pressPos);
    drag->exec(Qt::MoveAction | Qt::CopyAction);
}

void TQuorTableRow::mouseDoubleClickEvent(QMouseEvent *event)
{
    m_pressed = false;
    emit signalDoubleClick(this);
    event->accept();
}

void TQuorTableRow::contextMenuEvent(QContextMenuEvent *event)
{
    event->accept();
    const QList<MenuAction> actions = menuActions(m_kind, m_call);
    if (actions.isEmpty())
        return;
    emit signalSelected(this);

    QMenu menu(this);
    for (MenuAction action : actions)
        menu.addAction(actionText(action))->setData(int(action));
    if (QAction *chosen = menu.exec(event->globalPos()))
        triggerMenuAction(chosen->data().toInt());
}
