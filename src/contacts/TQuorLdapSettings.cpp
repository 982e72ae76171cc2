#include "contacts/TQuorLdapSettings.h"

#include <QKeyEvent>

#include "contacts/ListPage.h"
#include "contacts/TXmlLServer.h"
#include "contacts/TlServer.h"
#include "core/CPushButton.h"
#include "core/Paths.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"

namespace {

// What may be typed into the port.
const int kPortLength = 5;

} // namespace

TQuorLdapSettings::TQuorLdapSettings()
    : QWidget(nullptr)
{
    Ui::QuorSettingsContact::setupUi(this);
    Ui::QuorLdapEdit::setupUi(this);
    Ui::QuorLdapDel::setupUi(this);
    frameLdapBase->show();
    frameLdapEdit->hide();
    frameLdapDel->hide();

    xmlServers = new TXmlLServer(Paths::dataFile(QStringLiteral("ldap_server.xml")));
    createServersFile();
    setupButtons();
    setupCombos();

    const QList<TlServer *> servers = xmlServers->loadServers();

    serverTable = new TQuorTable(frameContainer, false);
    serverTable->setTableGeometry(0, 0, frameContainer->width(), frameContainer->height());
    serverTable->setSorted(true);
    connect(serverTable, &TQuorTable::signalRowSelected, this, &TQuorLdapSettings::slotServerSelected);
    connect(serverTable, &TQuorTable::signalKeyPressed, this, &TQuorLdapSettings::keyPressEvent);
    connect(serverTable, &TQuorTable::signalAdd, this, &TQuorLdapSettings::addServer);
    connect(serverTable, &TQuorTable::signalEdit, this, &TQuorLdapSettings::editServer);
    connect(serverTable, &TQuorTable::signalDel, this, &TQuorLdapSettings::delServer);

    serverTable->beginUpdate();
    for (TlServer *server : servers)
        addServerRow(server);
    serverTable->endUpdate();
    if (!servers.isEmpty())
        serverTable->selectRowAt(0);

    tableScroll = new TQuorTableScroll(this);
    tableScroll->hide();
    serverTable->attachScroll(tableScroll);
    placeScroll();
}

TQuorLdapSettings::~TQuorLdapSettings()
{
    delete serverTable;
    for (TQuorCall *record : std::as_const(serverRecords))
        delete record->server;
    qDeleteAll(serverRecords);
    delete xmlServers;
}

void TQuorLdapSettings::setParentWidget(QWidget *parent)
{
    setParent(parent);
    tableScroll->setParent(ListPage::scrollHost(parent, this));
    tableScroll->hide();
    placeScroll();
}

void TQuorLdapSettings::createServersFile()
{
    xmlServers->createFile(QStringLiteral("servers"));
}

void TQuorLdapSettings::setupButtons()
{
    buttonAdd = CPushButton::replace(buttonServerAdd);
    buttonEdit = CPushButton::replace(buttonServerEdit);
    buttonDel = CPushButton::replace(buttonServerDel);
    buttonServerAdd = buttonAdd;
    buttonServerEdit = buttonEdit;
    buttonServerDel = buttonDel;
    buttonAdd->setHoverIcon(QIcon(QStringLiteral(":ui/images/list2_a_h.png")));
    buttonEdit->setHoverIcon(QIcon(QStringLiteral(":ui/images/list2_b_h.png")));
    buttonDel->setHoverIcon(QIcon(QStringLiteral(":ui/images/list2_c_h.png")));
    connect(buttonAdd, &QPushButton::released, this, &TQuorLdapSettings::addServer);
    connect(buttonEdit, &QPushButton::released, this, &TQuorLdapSettings::editServer);
    connect(buttonDel, &QPushButton::released, this, &TQuorLdapSettings::delServer);
}

void TQuorLdapSettings::setupCombos()
{
    for (QComboBox *combo : { comboScope, comboSecurity, comboAuth, comboMech })
        combo->clear();
    for (int value = 1; value <= 3; ++value) {
        comboScope->addItem(TXmlLServer::scopeToText(TLdapScope(value)), value);
        comboSecurity->addItem(TXmlLServer::securityToText(TLdapSecurity(value)), value);
        comboAuth->addItem(TXmlLServer::authToText(TLdapAuth(value)), value);
        comboMech->addItem(TXmlLServer::mechToText(TLdapMech(value)), value);
    }
}

// ---------------------------------------------------------------- rows

QString TQuorLdapSettings::serverToolTip(const TlServer *server) const
{
    return tr("service ") + serviceName + tr(" on ") + server->name;
}

TQuorCall *TQuorLdapSettings::recordOf(const TlServer *server) const
{
    if (!server)
        return nullptr;
    for (TQuorCall *record : serverRecords) {
        if (record->server == server)
            return record;
    }
    return nullptr;
}

void TQuorLdapSettings::addServerRow(TlServer *server)
{
    auto *record = new TQuorCall;
    record->server = server;
    toolTipText = serverToolTip(server);
    serverTable->addRow(
        RowLdapServer, record, server->name + QLatin1Char('\n') + serviceName, QStringLiteral("No company"));
    serverTable->setRowToolTip(toolTipText, record);
    serverRecords.append(record);
}

void TQuorLdapSettings::removeServerRow(TlServer *server)
{
    TQuorCall *record = recordOf(server);
    if (!record)
        return;
    serverRecords.removeOne(record);
    // The list announces the row that takes the selection, if any.
    if (selectedServer == server)
        selectedServer = nullptr;
    serverTable->removeRow(record);
    delete server;
    delete record;
}

void TQuorLdapSettings::slotServerSelected(TQuorCall *record)
{
    if (record && record->server)
        selectedServer = record->server;
}

// ---------------------------------------------------------------- edit page

int TQuorLdapSettings::scope() const
{
    return comboScope->currentData().toInt();
}

int TQuorLdapSettings::security() const
{
    return comboSecurity->currentData().toInt();
}

int TQuorLdapSettings::auth() const
{
    return comboAuth->currentData().toInt();
}

int TQuorLdapSettings::mech() const
{
    return comboMech->currentData().toInt();
}

void TQuorLdapSettings::setComboValue(QComboBox *combo, int value)
{
    comboIndex = combo->findData(value);
    combo->setCurrentIndex(comboIndex);
}

void TQuorLdapSettings::setScope(int value)
{
    setComboValue(comboScope, value);
}

void TQuorLdapSettings::setSecurity(int value)
{
    setComboValue(comboSecurity, value);
}

void TQuorLdapSettings::setAuth(int value)
{
    setComboValue(comboAuth, value);
}

void TQuorLdapSettings::setMech(int value)
{
    setComboValue(comboMech, value);
}

void TQuorLdapSettings::fillEditPage(TlServer *server)
{
    if (!server)
        return;
    editName->setText(server->name);
    editHost->setText(server->host);
    // A longer stored port is not cut to what may be typed.
    editPort->setMaxLength(qMax(kPortLength, int(server->port.size())));
    editPort->setText(server->port);
    editBase->setText(server->dn);
    editBindDn->setText(server->bindDn);
    editRealm->setText(server->realm);
    editUserName->setText(server->user);
    editPassword->setText(server->password);
    setScope(server->scope);
    setSecurity(server->security);
    setAuth(server->auth);
    setMech(server->mech);
}

void TQuorLdapSettings::clearEditPage()
{
    for (QLineEdit *edit : { editName, editHost, editBase, editBindDn, editRealm, editUserName, editPassword })
        edit->clear();
    editPort->setMaxLength(kPortLength);
    editPort->setText(QStringLiteral("389"));
}

TlServer *TQuorLdapSettings::readEditPage()
{
    auto *server = new TlServer;
    server->name = editName->text();
    server->host = editHost->text();
    server->port = editPort->text();
    server->dn = editBase->text();
    server->scope = scope();
    server->bindDn = editBindDn->text();
    server->realm = editRealm->text();
    server->user = editUserName->text();
    server->password = editPassword->text();
    server->security = security();
    server->auth = auth();
    server->mech = mech();
    return server;
}

// ---------------------------------------------------------------- pages

void TQuorLdapSettings::showListButtons(bool list)
{
    buttonAdd->setVisible(list);
    buttonEdit->setVisible(list);
    buttonDel->setVisible(list);
}

void TQuorLdapSettings::showPage(QFrame *page)
{
    for (QFrame *frame : { frameLdapBase, frameLdapEdit, frameLdapDel }) {
        if (frame != page)
            frame->hide();
    }
    page->show();
    page->setFocus(Qt::OtherFocusReason);
    showListButtons(page == frameLdapBase);
}

void TQuorLdapSettings::setMode(int newMode)
{
    mode = newMode;
    emit modeChanged(mode);
}

void TQuorLdapSettings::addServer()
{
    showPage(frameLdapEdit);
    clearEditPage();
    setMode(LdapAdd);
}

void TQuorLdapSettings::editServer()
{
    if (!selectedServer)
        return;
    showPage(frameLdapEdit);
    fillEditPage(selectedServer);
    setMode(LdapEdit);
}

void TQuorLdapSettings::delServer()
{
    if (!selectedServer)
        return;
    showPage(frameLdapDel);
    labelNameDel->setText(selectedServer->name);
    setMode(LdapDelete);
}

void TQuorLdapSettings::serverBack()
{
    showPage(frameLdapBase);
    setMode(LdapList);
}

void TQuorLdapSettings::serverApply()
{
    switch (mode) {
    case LdapAdd: {
        TlServer *server = readEditPage();
        xmlServers->addServer(server);
        xmlServers->saveNow();
        addServerRow(server);
        serverBack();
        break;
    }
    case LdapDelete:
        if (!selectedServer)
            break;
        xmlServers->removeServer(selectedServer);
        xmlServers->saveNow();
        removeServerRow(selectedServer);
        serverBack();
        break;
    case LdapEdit: {
        if (!selectedServer)
            break;
        TlServer *edited = readEditPage();
        // The fields the page does not show stay as they were.
        edited->version = selectedServer->version;
        edited->filter = selectedServer->filter;
        edited->sizelimit = selectedServer->sizelimit;
        edited->timelimit = selectedServer->timelimit;
        edited->pagesize = selectedServer->pagesize;
        xmlServers->replaceServer(selectedServer, edited);
        xmlServers->saveNow();
        selectedServer->copyFrom(*edited);
        delete edited;
        if (TQuorCall *record = recordOf(selectedServer)) {
            serverTable->renameRow(selectedServer->name + QLatin1Char(' ') + serviceName, record);
            serverTable->setRowToolTip(serverToolTip(selectedServer), record);
        }
        serverBack();
        break;
    }
    default:
        break;
    }
}

// ---------------------------------------------------------------- keys and placement

void TQuorLdapSettings::keyPressEvent(QKeyEvent *e)
{
    ListPage::handleKey(e,
        { [this] { mode != LdapList ? serverApply() : editServer(); }, [this] { serverBack(); },
            [this] { addServer(); }, [this] { editServer(); }, [this] { delServer(); },
            [this](const QString &page) {
                lastMenu = page;
                emit signalGetMenu(lastMenu);
            } });
}

void TQuorLdapSettings::placeScroll()
{
    ListPage::placeScroll(tableScroll, serverTable);
}
