// The contact-settings page that the settings dialog hosts: the LDAP server
// list, which leads its own add, edit and delete forms.

#include "settings/TQuorSettings.h"

#include "contacts/TQuorLdapSettings.h"

void TQuorSettings::hostContactPage()
{
    ldapSettings = new TQuorLdapSettings();
    ldapSettings->setParentWidget(this);
    ldapSettings->move(0, 0);
    pageList.append(ldapSettings);
    ldapSettings->hide();
    connect(ldapSettings, &TQuorLdapSettings::modeChanged, this, &TQuorSettings::slotModeChanged);
}
