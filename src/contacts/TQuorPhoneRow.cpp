#include "contacts/TQuorPhoneRow.h"

#include "contacts/TContact.h"

TQuorPhoneRow::TQuorPhoneRow(QWidget *parent)
    : QWidget(parent)
{
    setupUi(this);
    font = QFont(QStringLiteral("Lucida Grande"), 10);
    boxPhoneType->setFont(font);
    editPhone->setFont(font);
    boxPhoneType->clear();
    boxPhoneType->addItem(tr("Office"), int(PhoneOffice));
    boxPhoneType->addItem(tr("Mobile"), int(PhoneMobile));
    boxPhoneType->addItem(tr("Home"), int(PhoneHome));
    boxPhoneType->addItem(tr("Local"), int(PhoneLocal));
    connect(buttonAddDel, &QPushButton::clicked, this, &TQuorPhoneRow::slotAddDel);
    connect(editPhone, &QLineEdit::textChanged, this, &TQuorPhoneRow::slotNumberChanged);
    buttonAddDel->setText(QStringLiteral("-"));
    addMode = false;
    m_typedLimit = editPhone->maxLength();
    show();
}

QString TQuorPhoneRow::number() const
{
    return editPhone->text();
}

void TQuorPhoneRow::setNumber(const QString &number)
{
    m_placing = true;
    // A longer stored number is not cut to what may be typed.
    editPhone->setMaxLength(qMax(m_typedLimit, int(number.size())));
    editPhone->setText(number);
    m_placing = false;
}

int TQuorPhoneRow::type() const
{
    return boxPhoneType->currentIndex() < 0 ? 0 : boxPhoneType->currentData().toInt();
}

void TQuorPhoneRow::setType(int type)
{
    boxPhoneType->setCurrentIndex(boxPhoneType->findData(type));
}

void TQuorPhoneRow::setAddMode(bool add)
{
    if (add == addMode)
        return;
    addMode = add && !editPhone->text().isEmpty();
    buttonAddDel->setText(addMode ? QStringLiteral("+") : QStringLiteral("-"));
}

void TQuorPhoneRow::slotAddDel()
{
    emit signalAddDel(addMode, index);
}

void TQuorPhoneRow::slotNumberChanged(const QString &text)
{
    if (text.isEmpty()) {
        setAddMode(false);
        emit signalNumberChanged(QString(), index);
        return;
    }
    const QChar last = text.back();
    if (!m_placing && (last < QLatin1Char('0') || last > QLatin1Char('9'))) {
        // Setting the shorter text comes back here; trailing non-digits go one by one.
        editPhone->setText(text.chopped(1));
        return;
    }
    emit signalNumberChanged(text, index);
}
