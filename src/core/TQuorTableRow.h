#pragma once

#include <QList>
#include <QString>

#include "core/QuorTypes.h"

class QMimeData;
class TQuorCall;
class TQuorTable;

// One row of a TQuorTable: a caption, an optional second line and the record
// it stands for. Its kind (TRowType) picks its picture and its context menu;
// ringing rows blink while the table's refresh timer runs. A row whose record
// is a call can be dragged as "phone/call".
//
// A row is plain state: the table shows the rows in view through a few row
// widgets (TQuorTableRowView), so a list of ten thousand rows costs no more
// widgets than a list of five.
class TQuorTableRow
{
public:
    static constexpr int kRowHeight = 36;

    // What a row's context menu can ask of its table.
    enum MenuAction { ActionAdd = 1, ActionEdit, ActionDelete, ActionCall, ActionAnswer, ActionHangup };

    TQuorTableRow(int kind, TQuorCall *call);
    TQuorTableRow(const TQuorTableRow &) = delete;
    TQuorTableRow &operator=(const TQuorTableRow &) = delete;

    TQuorCall *call() const { return m_call; }
    int kind() const { return m_kind; }
    // RowKeep (1) keeps the current kind.
    void setKind(int kind);

    void setText(const QString &text);
    QString text() const { return m_text; }
    // The caption in lower case, kept for the search.
    const QString &lowerText() const { return m_lowerText; }
    // "No company" stands for no second line.
    void setTimeText(const QString &text);
    QString timeText() const { return m_timeText; }
    void setToolTipText(const QString &tip);
    QString toolTipText() const { return m_tip; }

    // The caption and tooltip as shown: numbers masked while privacy is on.
    QString shownText() const;
    QString shownToolTip() const;
    void setPrivacy(bool on);
    bool privacy() const { return m_privacy; }

    void setSelected(bool selected);
    bool isSelected() const { return m_selected; }
    void setBlinkPhase(bool on);
    bool blinkPhase() const { return m_blink; }

    // True when the record is a call of the phone (not a contact or server
    // entry), so that the row may be dragged as "phone/call".
    bool carriesCall() const;
    // The drag data of the row ("phone/call"), or nullptr when it carries no
    // call. The caller owns it.
    QMimeData *mimeData() const;

    // The context menu of a row of this kind for this record, in menu order.
    static QList<MenuAction> menuActions(int kind, const TQuorCall *call);
    static QString actionText(MenuAction action);

    // As if the user chose the action from the row's context menu.
    void triggerMenuAction(int action);

    // Insertion order, kept by the table to find its oldest rows.
    quint64 sequence = 0;

private:
    friend class TQuorTable;

    // Tells the table that a row in view must be drawn again.
    void changed();

    TQuorTable *m_table = nullptr;
    int m_kind;
    TQuorCall *m_call;
    QString m_text;
    QString m_lowerText;
    QString m_timeText;
    QString m_tip;
    bool m_privacy = false;
    bool m_selected = false;
    bool m_blink = false;
};
