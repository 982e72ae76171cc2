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

void CallRow::startClock(QLabel *clockLabel)
{
    m_clockLabel = clockLabel;
    connect(&timer, &QTimer::timeout, this, &CallRow::timeout);
    clock.start();
    timer.start(kTickMs);
    m_clockLabel->setText(QStringLiteral("00:00:00"));
}

void CallRow::setDataStyle(const QList<QLabel *> &labels, int pixelSize)
{
    // Bold as well, for where "Arial Black" is missing.
    const QString style = QStringLiteral("font: bold %1px \"Arial Black\"; color: rgba(0, 0, 0, 210);").arg(pixelSize);
    for (QLabel *label : labels)
        label->setStyleSheet(style);
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
