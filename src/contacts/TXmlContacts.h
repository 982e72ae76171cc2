#pragma once

#include <QDomElement>
#include <QList>

#include "contacts/TContact.h"
#include "contacts/XmlStore.h"

// The store of "contacts.xml": a "contacts" document element with one
// "contact" element per entry. It reads every contact into new TContact
// objects and adds, deletes and replaces single contacts in the document; its
// owner saves the file after each change.
//
// The store remembers the element each contact it read, added or updated came
// from, and edits and deletes act on that element. The matching rule
// (matchContact) only serves contacts the store has never seen.
class TXmlContacts : public XmlStore
{
public:
    explicit TXmlContacts(const QString &path);
    ~TXmlContacts() override;

    // One new contact per "contact" element, in file order; the caller owns them.
    QList<TContact *> readContacts();
    void addContact(const TContact *contact);
    void deleteContact(const TContact *contact);
    // Replaces the old contact's element, in its place, with one built from the
    // new contact; the old contact then stands for the new element.
    void updateContact(const TContact *oldContact, const TContact *newContact);

    // A "contact" element for the contact, not attached.
    QDomElement contactToElement(const TContact *contact);
    // True when every child node of the element is a field or phone that the
    // contact holds (phone types are not compared).
    static bool matchContact(const QDomNode &element, const TContact *contact);

    static QString phoneTypeName(TPhoneType type);
    static TPhoneType phoneTypeFromName(const QString &name);
};
