#pragma once

#include <QDomElement>
#include <QList>

#include "contacts/TlServer.h"
#include "contacts/XmlStore.h"

// The store of "ldap_server.xml": a "servers" document element with one
// "server" element of 17 children per description. Its owner saves the file
// after each change.
//
// The store remembers the element each record it loaded, added or replaced
// came from, and removes and replaces that element. The matching rule
// (findServerNode) only serves records the store has never seen.
class TXmlLServer : public XmlStore
{
public:
    explicit TXmlLServer(const QString &path);
    ~TXmlLServer() override;

    // One new record per "server" element, in document order; the caller owns them.
    QList<TlServer *> loadServers();
    // A complete "server" element for the record, not attached.
    QDomElement writeServer(const TlServer *server);
    void addServer(const TlServer *server);
    void removeServer(const TlServer *server);
    // Puts the new record's element in the place of the old record's; the old
    // record then stands for the new element.
    void replaceServer(const TlServer *oldServer, const TlServer *newServer);

    // True when every child node of the element is one of the 17 fields and
    // every text field agrees with the record (the four enumerations always do).
    static bool findServerNode(const QDomNode &element, const TlServer *server);

    // A value outside 1 to 3 is written as the fallback's text, and a text
    // that is none of the three reads as the fallback.
    static QString scopeToText(TLdapScope scope);
    static QString securityToText(TLdapSecurity security);
    static QString authToText(TLdapAuth auth);
    static QString mechToText(TLdapMech mech);
    static TLdapScope scopeFromText(const QString &text);
    static TLdapSecurity securityFromText(const QString &text);
    static TLdapAuth authFromText(const QString &text);
    static TLdapMech mechFromText(const QString &text);
};
