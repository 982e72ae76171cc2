// The address book hosted by the phone window: it lies over the panel like the
// settings panel, brings its own caption and asks the phone to call and to
// open its pages.

#include "softphone/TQuorPhone.h"

#include "contacts/TQuorContacts.h"

void TQuorPhone::hostContacts()
{
    m_contacts = new TQuorContacts();
    m_contacts->setParentWidget(framePanel);
    m_contacts->move(0, 0);
    m_contacts->hideStatusStrip();
    m_contacts->hide();
    connect(m_contacts, &TQuorContacts::signalCallContact, this, &TQuorPhone::slotCall);
    connect(m_contacts, &TQuorContacts::signalGetMenu, this, &TQuorPhone::getMenu);
}

void TQuorPhone::showContactsPanel(bool shown)
{
    if (!m_contacts)
        return;
    if (shown) {
        m_contacts->setCaptionStyle(labelCaption->font(), labelCaption->palette());
        m_contacts->show();
        m_contacts->raise();
    } else {
        m_contacts->hide();
    }
}

void TQuorPhone::saveContactsNow()
{
    if (m_contacts)
        m_contacts->waitForSaved();
}
