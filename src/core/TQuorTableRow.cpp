#include "core/TQuorTableRow.h"

#include <QCoreApplication>
#include <QMimeData>

#include "core/Privacy.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"

TQuorTableRow::TQuorTableRow(int kind, TQuorCall *call)
    : m_kind(kind)
    , m_call(call)
{
}

void TQuorTableRow::setKind(int kind)
{
    if (kind == RowKeep || kind == m_kind)
        return;
    m_kind = kind;
    if (m_kind != RowIncomingRinging)
        m_blink = false;
    changed();
}

void TQuorTableRow::setText(const QString &text)
{
    m_text = text;
    m_lowerText = text.toLower();
    changed();
}

void TQuorTableRow::setTimeText(const QString &text)
{
    m_timeText = text == QLatin1String("No company") ? QString() : text;
    changed();
}

void TQuorTableRow::setToolTipText(const QString &tip)
{
    m_tip = tip;
    changed();
}

QString TQuorTableRow::shownText() const
{
    return m_privacy ? Privacy::maskNumbers(m_text) : m_text;
}

QString TQuorTableRow::shownToolTip() const
{
    return m_privacy ? Privacy::maskNumbers(m_tip) : m_tip;
}

void TQuorTableRow::setPrivacy(bool on)
{
    if (on == m_privacy)
        return;
    m_privacy = on;
    changed();
}

void TQuorTableRow::setSelected(bool selected)
{
    if (selected == m_selected)
        return;
    m_selected = selected;
    changed();
}

void TQuorTableRow::setBlinkPhase(bool on)
{
    on = on && m_kind == RowIncomingRinging;
    if (on == m_blink)
        return;
    m_blink = on;
    changed();
}

bool TQuorTableRow::carriesCall() const
{
    return m_call && !m_call->contact && !m_call->server && m_kind >= RowIncomingRinging && m_kind <= RowAnswered;
}

QMimeData *TQuorTableRow::mimeData() const
{
    return carriesCall() ? m_call->toMimeData() : nullptr;
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
        return QCoreApplication::translate("TQuorTableRow", "Add");
    case ActionEdit:
        return QCoreApplication::translate("TQuorTableRow", "Edit");
    case ActionDelete:
        return QCoreApplication::translate("TQuorTableRow", "Delete");
    case ActionCall:
        return QCoreApplication::translate("TQuorTableRow", "Call");
    case ActionAnswer:
        return QCoreApplication::translate("TQuorTableRow", "Answer");
    case ActionHangup:
        return QCoreApplication::translate("TQuorTableRow", "Hang up");
    }
    return QString();
}

void TQuorTableRow::triggerMenuAction(int action)
{
    if (m_table)
        m_table->rowMenuAction(this, action);
}

void TQuorTableRow::changed()
{
    if (m_table)
        m_table->rowChanged(this);
}
