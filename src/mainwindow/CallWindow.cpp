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
#include <QTableWidget>

#include "core/CPushButton.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/BoxRunner.h"
#include "mainwindow/CallRow.h"
#include "mainwindow/MenuRunner.h"
#include "mainwindow/TQuorManager.h"

namespace {

constexpr int kRowWidgetWidth = 230;
constexpr double kBoxOpacity = 0.9;

const char kTakeHover[] = ":ui/images/window/queue-buttons_take_h.png";
const char kSendHover[] = ":ui/images/window/queue-buttons_send_h.png";
const char kHangHover[] = ":ui/images/window/queue-buttons_hang_h.png";

} // namespace

CallWindow::CallWindow(TQuorManager *manager, QString ActiveCall::*keyField)
    : QWidget(nullptr)
    , manager(manager)
    , m_keyField(keyField)
{
}

void CallWindow::build(const Parts &parts, const QString &tableName, int columns, int rowHeight)
{
    m_destination = parts.destination;
    m_destination->setStyleSheet(QStringLiteral("font: 11px \"Arial Black\"; color: rgba(0, 0, 0, 210);"));

    takeAction = new QAction(tr("&Take "), this);
    takeAction->setShortcut(QKeySequence(tr("Alt+T")));
    connect(takeAction, &QAction::triggered, this, [this] { take(); });
    hangupAction = new QAction(tr("&Hangup "), this);
    hangupAction->setShortcut(QKeySequence(tr("Alt+H")));
    connect(hangupAction, &QAction::triggered, this, [this] { hangup(); });

    table = new QTableWidget(parts.frame);
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
    // Rows are never dragged, and nothing dropped on the list adds, empties or
    // overwrites a row: every row keeps its row widget and the hidden items
    // naming its own call.
    table->setDragDropMode(QAbstractItemView::NoDragDrop);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setContextMenuPolicy(Qt::CustomContextMenu);
    // The list's colours as a palette, not a style sheet: every row widget
    // inside a styled list would be polished by the style-sheet engine.
    const QColor background(217, 201, 193);
    const QColor selection(180, 180, 180);
    QPalette colours = table->palette();
    for (QPalette::ColorGroup group : { QPalette::Active, QPalette::Inactive }) {
        colours.setColor(group, QPalette::Base, background);
        colours.setColor(group, QPalette::Window, background);
        colours.setColor(group, QPalette::Highlight, selection);
        colours.setColor(group, QPalette::HighlightedText, selection);
    }
    table->setPalette(colours);
    static_cast<QGridLayout *>(parts.frame->layout())->addWidget(table, 0, 0);
    parts.frame->setPalette(colours);
    parts.frame->setAutoFillBackground(true);

    struct Button
    {
        CPushButton **button;
        QPushButton *designed;
        const char *hover;
        void (CallWindow::*run)();
    };
    const Button buttons[] = {
        { &takeButton, parts.take, kTakeHover, &CallWindow::take },
        { &sendButton, parts.send, kSendHover, &CallWindow::sendCall },
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
    // Every key stops here; only Alt+T and Alt+H, with Alt alone, act. The
    // list passes keys with Alt on to the window.
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
    // Events handled while the menu is open may remove rows and so move the
    // current row to another caller: the choice is for the row clicked on.
    m_menuRow = QPersistentModelIndex(table->model()->index(table->currentRow(), 0));
    m_menuRunning = true;
    MenuRunner::run(&menu, QCursor::pos());
    m_menuRunning = false;
    m_menuRow = QPersistentModelIndex();
}

int CallWindow::currentRow() const
{
    if (m_menuRunning)
        return m_menuRow.isValid() ? m_menuRow.row() : -1;
    return table->currentRow();
}

QString CallWindow::cellText(int row, int column) const
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QString();
}

QString CallWindow::channelOf(int row) const
{
    const ActiveCall *call = manager->firstCall(m_keyField, cellText(row, 1));
    return call ? call->channel : QString();
}

void CallWindow::requestForCall(void (TQuorManager::*request)(QString channel))
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString channel = channelOf(row);
    if (channel.isEmpty())
        return;
    (manager->*request)(channel);
    table->removeRow(row);
}

void CallWindow::sendCall()
{
    const int row = currentRow();
    if (row < 0)
        return;
    const QString exten = m_destination->text();
    if (exten.isEmpty()) {
        QMessageBox box(this);
        box.setWindowTitle(tr("Call Transfer"));
        box.setIcon(QMessageBox::Information);
        box.setText(tr("Pease fill the Destination Field."));
        box.setStandardButtons(QMessageBox::Ok);
        box.setDefaultButton(QMessageBox::Ok);
        box.setWindowOpacity(kBoxOpacity);
        BoxRunner::run(&box);
        return;
    }
    const QString channel = channelOf(row);
    if (channel.isEmpty())
        return;
    manager->redirectChannel(channel, exten);
    table->removeRow(row);
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

void CallWindow::removeAllCalls()
{
    table->setRowCount(0);
}

void CallWindow::rekeyCalls(const QString &oldKey, const QString &newKey)
{
    if (oldKey.isEmpty())
        return;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (cellText(row, 1) == oldKey)
            table->item(row, 1)->setText(newKey);
    }
}
