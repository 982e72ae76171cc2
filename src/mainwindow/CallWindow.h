#pragma once

#include <QPersistentModelIndex>
#include <QWidget>

class ActiveCall;
class CPushButton;
class QAction;
class QBoxLayout;
class QFrame;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TQuorManager;

// What the queue and parked windows share: the list of calls, the three
// buttons, the context menu with Take and Hangup, the Alt+T and Alt+H keys,
// and the destination check of Send. Each row's column 1 holds its key.
class CallWindow : public QWidget
{
    Q_OBJECT

public:
    // Removes the first row, from the top, whose key equals key; an empty key
    // names no row.
    void removeCall(QString key);
    // Removes every row, as when the calls behind them were lost with the
    // connection.
    void removeAllCalls();
    // Files every row keyed oldKey under newKey: the call behind them was
    // renamed.
    void rekeyCalls(const QString &oldKey, const QString &newKey);

    QTableWidget *table = nullptr;
    TQuorManager *manager = nullptr;
    CPushButton *takeButton = nullptr;
    CPushButton *sendButton = nullptr;
    CPushButton *hangButton = nullptr;
    QAction *takeAction = nullptr;
    QAction *hangupAction = nullptr;

protected:
    // keyField: the field of a call record that a row's key names.
    CallWindow(TQuorManager *manager, QString ActiveCall::*keyField);

    struct Parts
    {
        QFrame *frame;
        QLineEdit *destination;
        QPushButton *take;
        QPushButton *send;
        QPushButton *hang;
        QBoxLayout *buttons; // the strip that holds the three
    };
    // After the form is set up: the table named tableName with its hidden key
    // columns, the buttons in place of the designed ones, and the actions.
    void build(const Parts &parts, const QString &tableName, int columns, int rowHeight);

    virtual void take() = 0;
    virtual void hangup() = 0;

    void keyPressEvent(QKeyEvent *event) override;
    void showContextMenu();

    // The row the commands act on, or -1: the current row, or while the
    // context menu runs, the row it was opened on as long as that is listed.
    int currentRow() const;
    QString cellText(int row, int column) const;
    // Hands the channel of the current row's call to the manager's request and
    // removes the row; without a row or a call record nothing happens.
    void requestForCall(void (TQuorManager::*request)(QString channel));
    // Sends the current row's call on to the typed destination; an empty
    // destination gets the box that asks for it.
    void sendCall();

private:
    // The channel of the record that the row's key names, or "".
    QString channelOf(int row) const;

    QString ActiveCall::*m_keyField;
    QLineEdit *m_destination = nullptr;
    bool m_menuRunning = false;
    QPersistentModelIndex m_menuRow;
};
