#pragma once

#include <QFont>
#include <QWidget>

#include "ui_QuorPhoneRow.h"

// One row of the phone-number editor: the number's kind, the number and a
// button whose text is its meaning: "+" adds a row below, "-" removes this one.
class TQuorPhoneRow : public QWidget, public Ui::QuorPhoneRow
{
    Q_OBJECT

public:
    explicit TQuorPhoneRow(QWidget *parent);

    QString number() const;
    // Places a stored number as it is: the digit filter acts on typing only.
    void setNumber(const QString &number);
    // The TPhoneType of the chosen kind; 0 when none is chosen.
    int type() const;
    // A value no kind carries leaves no kind chosen.
    void setType(int type);
    // "+" when add is asked for and the row has a number, else "-".
    void setAddMode(bool add);
    bool isAddMode() const { return addMode; }

    // The row's place in the editor, from 0; -1 until the editor sets it.
    int index = -1;

signals:
    void signalAddDel(bool add, int index);
    void signalNumberChanged(QString number, int index);

public slots:
    void slotAddDel();
    void slotNumberChanged(const QString &text);

private:
    QFont font;
    bool addMode = true;
    bool m_placing = false;
    // The designed length limit, for typing only.
    int m_typedLimit = 0;
};
