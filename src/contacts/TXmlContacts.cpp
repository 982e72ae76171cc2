#include "contacts/TXmlContacts.h"

#include <QDomDocument>

namespace {

const QString kContact = QStringLiteral("contact");
const QString kPhone = QStringLiteral("phone");
const QString kNumber = QStringLiteral("number");
const QString kType = QStringLiteral("type");

// The text fields of a contact by tag, in the order they are written.
struct TextField
{
    QString tag;
    QString TContact::*field;
};

const TextField kTextFields[] = {
    { QStringLiteral("name"), &TContact::name },
    { QStringLiteral("surname"), &TContact::surname },
    { QStringLiteral("company"), &TContact::company },
    { QStringLiteral("address"), &TContact::address },
    { QStringLiteral("info"), &TContact::info },
    { QStringLiteral("phone_def"), &TContact::phoneDef },
};

QString TContact::*textField(const QString &tag)
{
    for (const TextField &f : kTextFields) {
        if (f.tag == tag)
            return f.field;
    }
    return nullptr;
}

} // namespace

TXmlContacts::TXmlContacts(const QString &path)
    : XmlStore(path)
{
}

TXmlContacts::~TXmlContacts() = default;

QString TXmlContacts::phoneTypeName(TPhoneType type)
{
    switch (type) {
    case PhoneOffice:
        return QStringLiteral("office");
    case PhoneMobile:
        return QStringLiteral("mobile");
    case PhoneHome:
        return QStringLiteral("home");
    case PhoneLocal:
        return QStringLiteral("local");
    default:
        return QString();
    }
}

TPhoneType TXmlContacts::phoneTypeFromName(const QString &name)
{
    if (name == QLatin1String("office"))
        return PhoneOffice;
    if (name == QLatin1String("mobile"))
        return PhoneMobile;
    if (name == QLatin1String("home"))
        return PhoneHome;
    if (name == QLatin1String("local"))
        return PhoneLocal;
    return PhoneOther;
}

QList<TContact *> TXmlContacts::readContacts()
{
    QList<TContact *> contacts;
    const QDomElement root = document().documentElement();
    for (QDomElement element = root.firstChildElement(kContact); !element.isNull();
         element = element.nextSiblingElement(kContact)) {
        auto *contact = new TContact;
        for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
            const QString tag = child.tagName();
            if (QString TContact::*field = textField(tag)) {
                contact->*field = child.text();
                continue;
            }
            if (tag != kPhone)
                continue;
            QString number;
            QString type = QStringLiteral("office");
            for (QDomElement part = child.firstChildElement(); !part.isNull(); part = part.nextSiblingElement()) {
                if (part.tagName() == kNumber) {
                    const QString text = part.text();
                    if (text.isEmpty())
                        break;
                    number = text;
                } else if (part.tagName() == kType) {
                    type = part.text();
                }
            }
            if (!number.isEmpty()) {
                contact->phones.append(number);
                contact->phoneTypes.append(phoneTypeFromName(type));
            }
        }
        remember(contact, element);
        contacts.append(contact);
    }
    return contacts;
}

QDomElement TXmlContacts::contactToElement(const TContact *contact)
{
    QDomElement element = document().createElement(kContact);
    for (int i = 0; i < 5; ++i)
        element.appendChild(createTextElement(kTextFields[i].tag, contact->*kTextFields[i].field));
    for (qsizetype i = 0; i < contact->phones.size(); ++i) {
        QDomElement phone = document().createElement(kPhone);
        phone.appendChild(createTextElement(kNumber, contact->phones.at(i)));
        phone.appendChild(createTextElement(kType, phoneTypeName(contact->phoneTypes.value(i, PhoneOther))));
        element.appendChild(phone);
    }
    element.appendChild(createTextElement(QStringLiteral("phone_def"), contact->phoneDef));
    return element;
}

bool TXmlContacts::matchContact(const QDomNode &element, const TContact *contact)
{
    QList<QString> numbers = contact->phones;
    int matches = 0;
    for (QDomNode node = element.firstChild(); !node.isNull(); node = node.nextSibling()) {
        const QDomElement child = node.toElement();
        if (child.isNull())
            continue;
        const QString tag = child.tagName();
        if (QString TContact::*field = textField(tag)) {
            if (child.text() == contact->*field)
                ++matches;
        } else if (tag == kPhone) {
            for (QDomElement part = child.firstChildElement(kNumber); !part.isNull();
                 part = part.nextSiblingElement(kNumber)) {
                const qsizetype at = numbers.indexOf(part.text());
                if (at >= 0) {
                    ++matches;
                    numbers.removeAt(at);
                }
            }
        }
    }
    return element.childNodes().size() == matches;
}

void TXmlContacts::addContact(const TContact *contact)
{
    appendRecord(contact, contactToElement(contact));
}

void TXmlContacts::deleteContact(const TContact *contact)
{
    removeRecord(contact, kContact, [contact](const QDomElement &e) { return matchContact(e, contact); });
}

void TXmlContacts::updateContact(const TContact *oldContact, const TContact *newContact)
{
    replaceRecord(
        oldContact, kContact, [oldContact](const QDomElement &e) { return matchContact(e, oldContact); },
        contactToElement(newContact));
}
