#include "contacts/TlServer.h"

TlServer::TlServer()
    : QObject(nullptr)
{
}

TlServer::~TlServer() = default;

void TlServer::copyFrom(const TlServer &other)
{
    name = other.name;
    host = other.host;
    port = other.port;
    user = other.user;
    password = other.password;
    dn = other.dn;
    bindDn = other.bindDn;
    realm = other.realm;
    version = other.version;
    filter = other.filter;
    scope = other.scope;
    security = other.security;
    auth = other.auth;
    mech = other.mech;
    sizelimit = other.sizelimit;
    timelimit = other.timelimit;
    pagesize = other.pagesize;
}
