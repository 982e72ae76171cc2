#include "contacts/TQuorPhoneTable.h"

#include "contacts/TContact.h"
#include "contacts/TQuorPhoneRow.h"

TQuorPhoneTable::TQuorPhoneTable(QWidget *parent)
    : QWidget(parent)
{
    setupUi(this);
    font = QFont(QStringLiteral("Lucida Grande"), 10);
    for (QWidget *w : std::initializer_list<QWidget *> { labelDefault, boxDefPhone, label_20, label_21 })
        w->setFont(font);
    if (parent)
        setGeometry(0, 0, parent->width(), parent->height());
    addRow();
}

int TQuorPhoneTable::addRow()
{
    if (rows.size() >= maxRows)
        return -1;
    auto *row = new TQuorPhoneRow(framePhonesTable);
    row->index = int(rows.size());
    row->move(0, kRowPitch * row->index);
    connect(row, &TQuorPhoneRow::signalAddDel, this, &TQuorPhoneTable::slotAddDelRow);
    connect(row, &TQuorPhoneRow::signalNumberChanged, this, &TQuorPhoneTable::slotNumberChanged);
    rows.append(row);
    for (int i = 0; i < rows.size() - 1; ++i)
        rows.at(i)->setAddMode(false);
    row->setAddMode(rows.size() < maxRows);
    boxDefPhone->addItem(QString());
    return row->index;
}

void TQuorPhoneTable::removeRow(int index)
{
    if (index < 0 || index >= rows.size() || rows.size() < 2)
        return;
    // The row may be the one whose "-" was clicked: it leaves the editor now
    // and is freed once its click has returned.
    TQuorPhoneRow *row = rows.takeAt(index);
    row->disconnect(this);
    row->hide();
    row->deleteLater();
    placeRows();
    boxDefPhone->removeItem(index);
}

void TQuorPhoneTable::placeRows()
{
    for (int i = 0; i < rows.size(); ++i) {
        TQuorPhoneRow *row = rows.at(i);
        row->index = i;
        row->move(0, kRowPitch * i);
        row->setAddMode(i == rows.size() - 1);
    }
}

void TQuorPhoneTable::clear()
{
    if (rows.isEmpty())
        return;
    rows.first()->setNumber(QString());
    rows.first()->setType(PhoneOffice);
    while (rows.size() > 1) {
        TQuorPhoneRow *row = rows.takeLast();
        row->disconnect(this);
        row->hide();
        row->deleteLater();
    }
    boxDefPhone->clear();
    boxDefPhone->addItem(QString());
}

QString TQuorPhoneTable::number(int index) const
{
    const TQuorPhoneRow *row = rows.value(index);
    return row ? row->number() : QString();
}

void TQuorPhoneTable::setNumber(const QString &number, int index)
{
    TQuorPhoneRow *row = rows.value(index);
    if (!row)
        return;
    row->setNumber(number);
    boxDefPhone->setItemText(index, number);
}

int TQuorPhoneTable::type(int index) const
{
    const TQuorPhoneRow *row = rows.value(index);
    return row ? row->type() : int(PhoneOther);
}

void TQuorPhoneTable::setType(int type, int index)
{
    if (TQuorPhoneRow *row = rows.value(index))
        row->setType(type);
}

QString TQuorPhoneTable::defaultPhone() const
{
    return boxDefPhone->count() == 0 ? QString() : boxDefPhone->currentText();
}

void TQuorPhoneTable::setDefaultPhone(const QString &number)
{
    const int at = boxDefPhone->findText(number, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at >= 0)
        boxDefPhone->setCurrentIndex(at);
}

void TQuorPhoneTable::slotAddDelRow(bool add, int index)
{
    if (add)
        addRow();
    else
        removeRow(index);
}

void TQuorPhoneTable::slotNumberChanged(const QString &number, int index)
{
    boxDefPhone->setItemText(index, number);
    if (rows.size() < maxRows && index == rows.size() - 1 && !number.isEmpty())
        rows.last()->setAddMode(true);
}
