#include "mainwindow/CallRow.h"

#include <QLabel>
#include <QTableWidget>
#include <QTime>

namespace {

constexpr qint64 kDayMs = 24LL * 60 * 60 * 1000;

} // namespace

CallRow::CallRow(QWidget *container, const QString &tableName)
    : QWidget(nullptr)
    , container(container)
{
    if (container)
        table = container->findChild<QTableWidget *>(tableName);
}

QString CallRow::clockText(qint64 elapsedMs)
{
    return QTime(0, 0).addMSecs(int(elapsedMs % kDayMs)).toString(QStringLiteral("hh:mm:ss"));
}

QString CallRow::styleSheet()
{
    return QStringLiteral(
        "CallRow QLabel { font: 12px \"Arial Black\"; color: rgba(0, 0, 0, 210); }\n"
        "ACPark QLabel#label_destination { font: 20px \"Arial Black\"; }\n"
        "ACQueue QLabel#label_qtime_2, ACPark QLabel#label_from { font: 9px \"Arial\"; color: rgb(200, 0, 0); }\n"
        "ACQueue QLabel#label_qtime_3 { font: 9px \"Arial\"; color: rgb(50, 50, 50); }\n"
        "ACPark QLabel#label_src { font: 9px \"Arial\"; color: rgb(0, 130, 40); }\n"
        "CallRow QFrame#frame { background-color: rgba(255, 255, 255, 70); border: 1px solid rgba(0, 0, 0, 35);"
        " border-radius: 3px; }\n"
        "CallRow QFrame#line, CallRow QFrame#line_2, CallRow QFrame#line_3 { color: rgba(0, 0, 0, 60); }\n");
}

void CallRow::startClock(QLabel *clockLabel)
{
    m_clockLabel = clockLabel;
    connect(&timer, &QTimer::timeout, this, &CallRow::timeout);
    clock.start();
    timer.start(kTickMs);
    m_clockLabel->setText(QStringLiteral("00:00:00"));
}

void CallRow::timeout()
{
    m_clockLabel->setText(clockText(clock.elapsed()));
}

int CallRow::tableRow() const
{
    if (!table)
        return -1;
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->cellWidget(row, 0) == this)
            return row;
    }
    return -1;
}

bool CallRow::isListed() const
{
    return tableRow() >= 0;
}

void CallRow::place(const QStringList &hidden)
{
    if (!table)
        return;
    int row = tableRow();
    if (row < 0) {
        row = table->rowCount();
        table->setRowCount(row + 1);
        table->setCellWidget(row, 0, this);
    }
    for (int i = 0; i < hidden.size(); ++i) {
        if (QTableWidgetItem *item = table->item(row, i + 1)) {
            item->setText(hidden.at(i));
        } else {
            item = new QTableWidgetItem(hidden.at(i));
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            table->setItem(row, i + 1, item);
        }
    }
}
