#pragma once

#include <QList>
#include <QObject>
#include <QString>

// The kind of a contact's phone number, stored by its text in "contacts.xml";
// 1 stands for any other text read from the file.
enum TPhoneType : int { PhoneOther = 1, PhoneOffice = 2, PhoneMobile = 3, PhoneHome = 4, PhoneLocal = 5 };

// One address-book entry. phones and phoneTypes always have the same length;
// phoneDef, the number dialled when the contact itself is called, need not be
// one of phones.
class TContact : public QObject
{
public:
    TContact();
    ~TContact() override;

    // Copies the eight fields; the object's identity (parent, name) stays.
    TContact &operator=(const TContact &other);

    QString name;
    QString surname;
    QString company;
    QString address;
    QString info;
    QList<QString> phones;
    QList<TPhoneType> phoneTypes;
    QString phoneDef;
};
