#pragma once

#include <QList>
#include <QString>
#include <QWidget>

#include "ui_QuorLdapDel.h"
#include "ui_QuorLdapEdit.h"
#include "ui_QuorSettingsContact.h"

class QComboBox;
class QFrame;
class QKeyEvent;
class CPushButton;
class TlServer;
class TQuorCall;
class TQuorTable;
class TQuorTableScroll;
class TXmlLServer;

// The pages of the LDAP server list.
enum TLdapPageMode { LdapList = 1, LdapEdit = 2, LdapAdd = 3, LdapDelete = 4 };

// The "Contact settings" page of the settings dialog: the LDAP server
// descriptions of "ldap_server.xml" in a sorted list, with an edit page (also
// used to add) and a delete confirmation. The descriptions are only kept:
// nothing queries a directory with them.
class TQuorLdapSettings : public QWidget,
                          public Ui::QuorSettingsContact,
                          public Ui::QuorLdapEdit,
                          public Ui::QuorLdapDel
{
    Q_OBJECT

public:
    TQuorLdapSettings();
    ~TQuorLdapSettings() override;

    // Makes parent the page's parent and puts the list's scroll bar into the
    // parent's own parent (the parent itself when it has none), along the right
    // edge of the list.
    void setParentWidget(QWidget *parent);

    // The chosen item's value of each combo; 0 when none is chosen.
    int scope() const;
    int security() const;
    int auth() const;
    int mech() const;
    // Chooses the item carrying the value; none when no item does.
    void setScope(int value);
    void setSecurity(int value);
    void setAuth(int value);
    void setMech(int value);

    // --- state, for the dialog and tests ---
    int currentMode() const { return mode; }
    TlServer *selected() const { return selectedServer; }
    TQuorTable *serverList() const { return serverTable; }
    TQuorTableScroll *scrollBar() const { return tableScroll; }

signals:
    void modeChanged(int mode);
    void signalGetMenu(QString page);

public slots:
    void serverBack();
    void serverApply();
    void addServer();
    void editServer();
    void delServer();
    void slotServerSelected(TQuorCall *record);
    void keyPressEvent(QKeyEvent *e) override;

private:
    void addServerRow(TlServer *server);
    void removeServerRow(TlServer *server);
    void fillEditPage(TlServer *server);
    void clearEditPage();
    TlServer *readEditPage();
    void showListButtons(bool list);
    void showPage(QFrame *page);
    void setMode(int newMode);
    void createServersFile();
    void setupButtons();
    void setupCombos();
    void placeScroll();
    TQuorCall *recordOf(const TlServer *server) const;
    QString serverToolTip(const TlServer *server) const;
    void setComboValue(QComboBox *combo, int value);

    TXmlLServer *xmlServers = nullptr;
    QList<TQuorCall *> serverRecords;
    const QString serviceName = QStringLiteral("LDAP");
    QString toolTipText;
    TQuorTable *serverTable = nullptr;
    TQuorTableScroll *tableScroll = nullptr;
    TlServer *selectedServer = nullptr;
    int mode = LdapList;
    QString lastMenu;
    int comboIndex = -1;
    CPushButton *buttonAdd = nullptr;
    CPushButton *buttonEdit = nullptr;
    CPushButton *buttonDel = nullptr;
};
