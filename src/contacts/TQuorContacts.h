#pragma once

#include <QFont>
#include <QList>
#include <QString>
#include <QWidget>

#include "ui_QuorContactDel.h"
#include "ui_QuorContactEdit.h"
#include "ui_QuorContactSearch.h"
#include "ui_QuorContacts.h"
#include "ui_QuorContactsBase.h"

class QFrame;
class QKeyEvent;
class QLabel;
class QMouseEvent;
class CPushButton;
class TContact;
class TCustomLabel;
class TQuorCall;
class TQuorPhoneTable;
class TQuorTable;
class TQuorTableScroll;
class TXmlContacts;

// The pages of the address book.
enum TContactsMode { ContactsList = 1, ContactsEdit = 2, ContactsAdd = 3, ContactsDelete = 4, ContactsSearch = 5 };

// The fields the search page builds its captions from.
enum TSearchField { SearchNone = 1, SearchName = 2, SearchSurname = 3, SearchCompany = 4 };

// The address book shown inside the phone window: the contacts of
// "contacts.xml" in a sorted list with the details of the selected one, and
// pages to edit, add, delete and search. Double-clicking a contact or one of
// its numbers asks the phone to call.
class TQuorContacts : public QWidget,
                      public Ui::QuorContactsBase,
                      public Ui::QuorContacts,
                      public Ui::QuorContactEdit,
                      public Ui::QuorContactDel,
                      public Ui::QuorContactSearch
{
    Q_OBJECT

public:
    TQuorContacts();
    // Waits until every change is on disk.
    ~TQuorContacts() override;

    // Makes parent the book's parent and puts the list's scroll bar into the
    // parent's own parent (the parent itself when it has none), along the right
    // edge of the list.
    void setParentWidget(QWidget *parent);
    void hideStatusStrip();
    void setCaptionStyle(const QFont &font, const QPalette &palette);
    // Returns once every change made so far is on disk.
    void waitForSaved();

    // --- state, for the phone and tests ---
    int currentMode() const { return mode; }
    TContact *selected() const { return selectedContact; }
    TQuorTable *contactList() const { return contactTable; }
    TQuorTable *searchList() const { return searchTable; }
    TQuorPhoneTable *phoneEditor() const { return phoneTable; }
    TQuorTableScroll *scrollBar() const { return tableScroll; }
    QList<TCustomLabel *> phoneNumberLabels() const { return phoneLabels; }
    QList<QLabel *> phoneTypeLabels() const { return typeLabels; }

signals:
    void signalCallContact(QString number);
    void signalGetMenu(QString page);

public slots:
    void addContact();
    void editContact();
    void delContact();
    void slotCallContact(TQuorCall *record);
    void slotCallContact(QMouseEvent *event, const QString &text);
    void slotContactSelected(TQuorCall *record);
    void slotCallSearchContact(TQuorCall *record);
    void contactBack();
    void contactApply();
    void search(const QString &text);
    void customSearch(const QString &text);
    void field1Selected();
    void field2Selected();
    void searchContact();
    void slotSearchContactSelected(TQuorCall *record);

protected:
    void keyPressEvent(QKeyEvent *e) override;
    void showEvent(QShowEvent *event) override;

private:
    void addContactRow(TContact *contact);
    void removeContactRow(TContact *contact);
    void showContactDetails(TContact *contact);
    void showSearchDetails(TContact *contact);
    void fillEditForm(TContact *contact);
    void clearEditForm();
    TContact *readEditForm();
    void relabelSearchTable();
    void showListButtons(bool list);
    void showPage(QFrame *page);
    // Leaves the search page's list for the contact list.
    void closeSearchTable();
    void placeScroll();
    TQuorCall *recordOf(const TContact *contact) const;
    void createContactsFile();
    void setFonts();
    void setupButtons();

    static QString phoneTypeLabel(int type);
    static QString searchFieldText(int field, const TContact *contact);
    static QString caption(const TContact *contact);

    TXmlContacts *xmlContacts = nullptr;
    QList<TQuorCall *> contactRecords;
    QFont fontNormal;
    QFont fontBold;
    TQuorTable *contactTable = nullptr;
    TQuorTable *searchTable = nullptr;
    TQuorTableScroll *tableScroll = nullptr;
    TContact *selectedContact = nullptr;
    TQuorPhoneTable *phoneTable = nullptr;
    CPushButton *buttonAdd = nullptr;
    CPushButton *buttonEdit = nullptr;
    CPushButton *buttonDel = nullptr;
    CPushButton *buttonApply = nullptr;
    CPushButton *buttonBack = nullptr;
    int mode = ContactsList;
    int searchField1 = SearchName;
    int searchField2 = SearchSurname;
    QList<TCustomLabel *> phoneLabels;
    QList<QLabel *> typeLabels;
    QString lastMenu;

    // What the edit page was given but never showed, kept by an edit.
    QString m_hiddenDefault;
    bool m_defaultHidden = false;
    bool m_defaultChosen = false;
    QList<QString> m_hiddenPhones;
    QList<int> m_hiddenTypes;
};
