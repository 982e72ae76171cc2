#include "contacts/TContact.h"

TContact::TContact()
    : QObject(nullptr)
{
}

TContact::~TContact() = default;

TContact &TContact::operator=(const TContact &other)
{
    if (this == &other)
        return *this;
    name = other.name;
    surname = other.surname;
    company = other.company;
    address = other.address;
    info = other.info;
    phones = other.phones;
    phoneTypes = other.phoneTypes;
    phoneDef = other.phoneDef;
    return *this;
}
