#pragma once

#include <QTableWidget>
#include <QWidget>

class CPushButton;
class QAction;
class QBoxLayout;
class QFrame;
class QLineEdit;
class QPushButton;
class TQuorManager;

// The list of a call window. Keys with Alt go on to the window, whose
// shortcuts they are; rows are never dragged, and nothing dropped on the list
// adds, empties or overwrites a row: every row must keep its row widget and
// the hidden items naming that row's own call.
class CallTable : public QTableWidget
{
    Q_OBJECT

public:
    using QTableWidget::QTableWidget;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
};

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

    QTableWidget *table = nullptr;
    TQuorManager *manager = nullptr;
    CPushButton *takeButton = nullptr;
    CPushButton *sendButton = nullptr;
    CPushButton *hangButton = nullptr;
    QAction *takeAction = nullptr;
    QAction *hangupAction = nullptr;

protected:
    explicit CallWindow(TQuorManager *manager);

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
    virtual void send() = 0;
    virtual void hangup() = 0;

    void keyPressEvent(QKeyEvent *event) override;
    void showContextMenu();

    // The current row, or -1.
    int currentRow() const;
    QString cellText(int row, int column) const;
    // The destination as typed; when it is empty, the box that asks for it,
    // and an empty result.
    QString destination();

private:
    QLineEdit *m_destination = nullptr;
};
