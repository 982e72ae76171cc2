#include "contacts/TXmlLServer.h"

#include <QDomDocument>

namespace {

const QString kServer = QStringLiteral("server");

// One enumeration's texts for the values 1 to 3, and the value that stands in
// for anything else.
struct EnumTexts
{
    const char *texts[3];
    int fallback;

    QString toText(int value) const
    {
        if (value < 1 || value > 3)
            value = fallback;
        return QString::fromLatin1(texts[value - 1]);
    }

    int fromText(const QString &text) const
    {
        for (int i = 0; i < 3; ++i) {
            if (text == QLatin1String(texts[i]))
                return i + 1;
        }
        return fallback;
    }
};

const EnumTexts kScope = { { "Base", "One", "Sub" }, ScopeBase };
const EnumTexts kSecurity = { { "None", "SSL", "TLS" }, SecurityNone };
const EnumTexts kAuth = { { "Anonymous", "Simple", "SASL" }, AuthSimple };
const EnumTexts kMech = { { "PLAIN", "DIGEST-MD5", "GSSAPI" }, MechPlain };

// The 17 children of "server", in the order written: a text field or an
// enumeration.
struct Field
{
    const char *tag;
    QString TlServer::*text;
    int TlServer::*value;
    const EnumTexts *texts;
};

const Field kFields[] = {
    { "name", &TlServer::name, nullptr, nullptr },
    { "host", &TlServer::host, nullptr, nullptr },
    { "port", &TlServer::port, nullptr, nullptr },
    { "user", &TlServer::user, nullptr, nullptr },
    { "password", &TlServer::password, nullptr, nullptr },
    { "dn", &TlServer::dn, nullptr, nullptr },
    { "bindDn", &TlServer::bindDn, nullptr, nullptr },
    { "realm", &TlServer::realm, nullptr, nullptr },
    { "version", &TlServer::version, nullptr, nullptr },
    { "filter", &TlServer::filter, nullptr, nullptr },
    { "scope", nullptr, &TlServer::scope, &kScope },
    { "security", nullptr, &TlServer::security, &kSecurity },
    { "auth", nullptr, &TlServer::auth, &kAuth },
    { "mech", nullptr, &TlServer::mech, &kMech },
    { "sizelimit", &TlServer::sizelimit, nullptr, nullptr },
    { "timelimit", &TlServer::timelimit, nullptr, nullptr },
    { "pagesize", &TlServer::pagesize, nullptr, nullptr },
};

const Field *fieldOf(const QString &tag)
{
    for (const Field &f : kFields) {
        if (tag == QLatin1String(f.tag))
            return &f;
    }
    return nullptr;
}

} // namespace

TXmlLServer::TXmlLServer(const QString &path)
    : XmlStore(path)
{
}

TXmlLServer::~TXmlLServer() = default;

QString TXmlLServer::scopeToText(TLdapScope scope)
{
    return kScope.toText(scope);
}

QString TXmlLServer::securityToText(TLdapSecurity security)
{
    return kSecurity.toText(security);
}

QString TXmlLServer::authToText(TLdapAuth auth)
{
    return kAuth.toText(auth);
}

QString TXmlLServer::mechToText(TLdapMech mech)
{
    return kMech.toText(mech);
}

TLdapScope TXmlLServer::scopeFromText(const QString &text)
{
    return TLdapScope(kScope.fromText(text));
}

TLdapSecurity TXmlLServer::securityFromText(const QString &text)
{
    return TLdapSecurity(kSecurity.fromText(text));
}

TLdapAuth TXmlLServer::authFromText(const QString &text)
{
    return TLdapAuth(kAuth.fromText(text));
}

TLdapMech TXmlLServer::mechFromText(const QString &text)
{
    return TLdapMech(kMech.fromText(text));
}

QList<TlServer *> TXmlLServer::loadServers()
{
    QList<TlServer *> servers;
    const QDomElement root = document().documentElement();
    for (QDomElement element = root.firstChildElement(kServer); !element.isNull();
         element = element.nextSiblingElement(kServer)) {
        auto *server = new TlServer;
        for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement()) {
            const Field *field = fieldOf(child.tagName());
            if (!field)
                continue;
            if (field->text)
                server->*field->text = child.text();
            else
                server->*field->value = field->texts->fromText(child.text());
        }
        remember(server, element);
        servers.append(server);
    }
    return servers;
}

QDomElement TXmlLServer::writeServer(const TlServer *server)
{
    QDomElement element = document().createElement(kServer);
    for (const Field &field : kFields) {
        const QString text = field.text ? server->*field.text : field.texts->toText(server->*field.value);
        element.appendChild(createTextElement(QString::fromLatin1(field.tag), text));
    }
    return element;
}

bool TXmlLServer::findServerNode(const QDomNode &element, const TlServer *server)
{
    int matches = 0;
    for (QDomNode node = element.firstChild(); !node.isNull(); node = node.nextSibling()) {
        const QDomElement child = node.toElement();
        if (child.isNull())
            continue;
        const Field *field = fieldOf(child.tagName());
        if (!field)
            continue;
        if (!field->text || child.text() == server->*field->text)
            ++matches;
    }
    return element.childNodes().size() == matches;
}

void TXmlLServer::addServer(const TlServer *server)
{
    appendRecord(server, writeServer(server));
}

void TXmlLServer::removeServer(const TlServer *server)
{
    removeRecord(server, kServer, [server](const QDomElement &e) { return findServerNode(e, server); });
}

void TXmlLServer::replaceServer(const TlServer *oldServer, const TlServer *newServer)
{
    replaceRecord(
        oldServer, kServer, [oldServer](const QDomElement &e) { return findServerNode(e, oldServer); },
        writeServer(newServer));
}
