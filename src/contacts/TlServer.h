#pragma once

#include <QObject>
#include <QString>

// The enumerated settings of an LDAP server description, stored by their texts
// in "ldap_server.xml". The record keeps them as plain ints: any value it is
// given is kept, and the store writes an unknown one as the fallback's text.
enum TLdapScope : int { ScopeBase = 1, ScopeOne = 2, ScopeSub = 3 };
enum TLdapSecurity : int { SecurityNone = 1, SecuritySsl = 2, SecurityTls = 3 };
enum TLdapAuth : int { AuthAnonymous = 1, AuthSimple = 2, AuthSasl = 3 };
enum TLdapMech : int { MechPlain = 1, MechDigestMd5 = 2, MechGssapi = 3 };

// One LDAP server description. The program only keeps and edits these; it
// makes no directory query with them.
class TlServer : public QObject
{
public:
    TlServer();
    ~TlServer() override;

    // Takes all seventeen fields of other; the object's identity stays.
    void copyFrom(const TlServer &other);

    QString name;
    QString host;
    QString port = QStringLiteral("389");
    QString user;
    QString password; // plain text, as the file keeps it
    QString dn;
    QString bindDn;
    QString realm;
    QString version = QStringLiteral("3");
    QString filter;
    int scope = ScopeBase; // TLdapScope
    int security = SecurityNone; // TLdapSecurity
    int auth = AuthSimple; // TLdapAuth
    int mech = MechPlain; // TLdapMech
    QString sizelimit;
    QString timelimit;
    QString pagesize;
};
