#include "mainwindow/CallWindow.h"

#include <QAction>
#include <QBoxLayout>
#include <QCursor>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>

#include "core/CPushButton.h"
#include "mainwindow/BoxRunner.h"

namespace {

constexpr int kRowWidgetWidth = 230;
constexpr double kBoxOpacity = 0.9;

const char kTakeHover[] = ":ui/images/window/queue-buttons_take_h.png";
const char kSendHover[] = ":ui/images/window/queue-buttons_send_h.png";
const char kHangHover[] = ":ui/images/window/queue-buttons_hang_h.png";

} // namespace

void CallTable::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() & Qt::AltModifier) {
        event->ignore();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

void CallTable::startDrag(Qt::DropActions)
{
}

void CallTable::dragEnterEvent(QDragEnterEvent *event)
{
    event->ignore();
}

void CallTable::dragMoveEvent(QDragMoveEvent *event)
{
    event->ignore();
}

void CallTable::dropEvent(QDropEvent *event)
{
    event->ignore();
}

CallWindow::CallWindow(TQuorManager *manager)
    : QWidget(nullptr)
    , manager(manager)
{
}

void CallWindow::build(const Parts &parts, const QString &tableName, int columns, int rowHeight)
{
    m_destination = parts.destination;
    m_destination->setStyleSheet(QStringLiteral("font: bold 11px \"Arial Black\"; color: rgba(0, 0, 0, 210);"
                                                " background-color: rgb(236, 228, 224);"
                                                " border: 1px solid rgb(120, 110, 104); border-radius: 2px;"));

    takeAction = new QAction(tr("&Take "), this);
    takeAction->setShortcut(QKeySequence(tr("Alt+T")));
    connect(takeAction, &QAction::triggered, this, [this] { take(); });
    hangupAction = new QAction(tr("&Hangup "), this);
    hangupAction->setShortcut(QKeySequence(tr("Alt+H")));
    connect(hangupAction, &QAction::triggered, this, [this] { hangup(); });

    table = new CallTable(parts.frame);
    table->setObjectName(tableName);
    table->setColumnCount(columns);
    table->setColumnWidth(0, kRowWidgetWidth);
    for (int column = 1; column < columns; ++column)
        table->setColumnHidden(column, true);
    table->horizontalHeader()->hide();
    table->verticalHeader()->hide();
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(rowHeight);
    table->setSortingEnabled(false);
    table->setShowGrid(false);
    table->setFrameShape(QFrame::NoFrame);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setDragDropMode(QAbstractItemView::NoDragDrop);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    table->setStyleSheet(tr("QTableWidget { selection-color: rgb(180, 180, 180); selection-background-color: rgb(180, 180, 180);"
        " background-color: rgb(217, 201, 193); }"));
    static_cast<QGridLayout *>(parts.frame->layout())->addWidget(table, 0, 0);

    struct Button
    {
        CPushButton **button;
        QPushButton *designed;
        const char *hover;
        void (CallWindow::*run)();
    };
    const Button buttons[] = {
        { &takeButton, parts.take, kTakeHover, &CallWindow::take },
        { &sendButton, parts.send, kSendHover, &CallWindow::send },
        { &hangButton, parts.hang, kHangHover, &CallWindow::hangup },
    };
    for (const Button &b : buttons) {
        // The replacement takes the designed button's geometry, not its place
        // in the strip's layout.
        const int place = parts.buttons->indexOf(b.designed);
        *b.button = CPushButton::replace(b.designed);
        parts.buttons->insertWidget(place, *b.button);
        (*b.button)->setHoverIcon(QIcon(QLatin1String(b.hover)));
        const auto run = b.run;
        connect(*b.button, &QPushButton::clicked, this, [this, run] { (this->*run)(); });
    }
}

void CallWindow::keyPressEvent(QKeyEvent *event)
{
    // Every key stops here; only Alt+T and Alt+H, with Alt alone, act.
    if (event->modifiers() == Qt::AltModifier) {
        if (event->key() == Qt::Key_T)
            take();
        else if (event->key() == Qt::Key_H)
            hangup();
    }
    event->accept();
}

void CallWindow::showContextMenu()
{
    QMenu menu(this);
    menu.addAction(takeAction);
    menu.addAction(hangupAction);
    menu.exec(QCursor::pos());
}

int CallWindow::currentRow() const
{
    return table->currentRow();
}

QString CallWindow::cellText(int row, int column) const
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

QString CallWindow::destination()
{
    const QString text = m_destination->text();
    if (text.isEmpty()) {
        QMessageBox box(this);
        box.setWindowTitle(tr("Call Transfer"));
        box.setIcon(QMessageBox::Information);
        box.setText(tr("Pease fill the Destination Field."));
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setWindowOpacity(kBoxOpacity);
        BoxRunner::run(&box);
    }
    return text;
}

void CallWindow::removeCall(QString key)
{
    if (key.isEmpty())
        return;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (cellText(row, 1) == key) {
            table->removeRow(row);
            return;
        }
    }
}
