#pragma once

#include <QFont>
#include <QList>
#include <QWidget>

#include "ui_QuorContactTable.h"

class TQuorPhoneRow;

// The phone-number editor of the address book's edit page: up to four rows of
// kind and number, and the choice of the default number (boxDefPhone holds one
// entry per row, carrying the row's number).
class TQuorPhoneTable : public QWidget, public Ui::QuorContactTable
{
    Q_OBJECT

public:
    static constexpr int kRowPitch = 20;

    // Fills parent and starts with one empty row.
    explicit TQuorPhoneTable(QWidget *parent);

    // Appends an empty row; its index, or -1 when the editor is full.
    int addRow();
    // Nothing for an index out of range or for the only row.
    void removeRow(int index);
    // Back to one empty row of kind office.
    void clear();
    int rowCount() const { return int(rows.size()); }
    TQuorPhoneRow *row(int index) const { return rows.value(index); }

    // Out of range: the empty text, 1, and no change.
    QString number(int index) const;
    void setNumber(const QString &number, int index);
    int type(int index) const;
    void setType(int type, int index);

    // The text of the chosen entry of boxDefPhone; empty when it has none.
    QString defaultPhone() const;
    // Chooses the first entry holding exactly this number; nothing when none does.
    void setDefaultPhone(const QString &number);

public slots:
    void slotAddDelRow(bool add, int index);
    void slotNumberChanged(const QString &number, int index);

private:
    void placeRows();

    const int maxRows = 4;
    QFont font;
    QList<TQuorPhoneRow *> rows;
};
