#pragma once

#include <QList>
#include <QPoint>
#include <QString>
#include <QWidget>

#include "core/QuorTypes.h"

class QMimeData;
class TQuorCall;

// One row of a TQuorTable: a caption, an optional second line and the record
// it stands for. Its kind (TRowType) picks its picture and its context menu;
// ringing rows blink while the table's refresh timer runs. A row whose record
// is a call can be dragged as "phone/call".
class TQuorTableRow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int RowHeight = 36;

    // What a row's context menu can ask of its table.
    enum MenuAction { ActionAdd = 1, ActionEdit, ActionDelete, ActionCall, ActionAnswer, ActionHangup };

    TQuorTableRow(int kind, TQuorCall *call, QWidget *parent = nullptr);

    TQuorCall *call() const { return m_call; }
    int kind() const { return m_kind; }
    // RowKeep (1) keeps the current kind.
    void setKind(int kind);

    void setText(const QString &text);
    QString text() const { return m_text; }
    // "No company" stands for no second line.
    void setTimeText(const QString &text);
    QString timeText() const { return m_timeText; }
    void setToolTipText(const QString &tip);
    QString toolTipText() const { return m_tip; }

    // The caption as shown: numbers masked while privacy is on.
    QString shownText() const;
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

    // Insertion order, kept by the table to find its oldest rows.
    quint64 sequence = 0;

public slots:
    // As if the user chose the action from the context menu.
    void triggerMenuAction(int action);

signals:
    void signalSelected(TQuorTableRow *row);
    void signalDoubleClick(TQuorTableRow *row);
    void signalMenuAction(TQuorTableRow *row, int action);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void updateToolTip();
    QString iconName() const;

    int m_kind;
    TQuorCall *m_call;
    QString m_text;
    QString m_timeText;
    QString m_tip;
    bool m_privacy = false;
    bool m_selected = false;
    bool m_blink = false;
    QPoint m_pressPos;
    bool m_pressed = false;
};
