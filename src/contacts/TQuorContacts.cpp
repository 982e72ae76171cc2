#include "contacts/TQuorContacts.h"

#include <QFile>
#include <QGridLayout>
#include <QKeyEvent>

#include "contacts/ListPage.h"
#include "contacts/TContact.h"
#include "contacts/TQuorPhoneTable.h"
#include "contacts/TXmlContacts.h"
#include "core/CPushButton.h"
#include "core/Paths.h"
#include "core/TLabel.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"

namespace {

QString contactsPath()
{
    return Paths::dataFile(QStringLiteral("contacts.xml"));
}

CPushButton *footButton(QWidget *parent, int x, const QString &image, const QString &hover)
{
    auto *button = new CPushButton(parent);
    button->setGeometry(x, 396, 85, 20);
    button->setIconSize(QSize(85, 20));
    button->setNormalIcon(QIcon(image));
    button->setHoverIcon(QIcon(hover));
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    button->hide();
    return button;
}

} // namespace

TQuorContacts::TQuorContacts()
    : QWidget(nullptr)
{
    Ui::QuorContactsBase::setupUi(this);
    Ui::QuorContacts::setupUi(this);
    Ui::QuorContactEdit::setupUi(this);
    Ui::QuorContactDel::setupUi(this);
    Ui::QuorContactSearch::setupUi(this);
    frameContactSearch->hide();
    QFile css(QStringLiteral(":/ui/css/contacts.css"));
    if (css.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromLatin1(css.readAll()));

    setFonts();
    frameContactsBase->show();
    frameContacts->show();
    frameContactEdit->hide();
    frameContactDel->hide();

    phoneTable = new TQuorPhoneTable(framePhonesTable);
    // An edit keeps the stored default unless the user picks another entry.
    connect(phoneTable->boxDefPhone, &QComboBox::activated, this, [this] { m_defaultChosen = true; });

    xmlContacts = new TXmlContacts(contactsPath());
    createContactsFile();
    setupButtons();

    const QList<TContact *> contacts = xmlContacts->readContacts();

    contactTable = new TQuorTable(frameContainer, false);
    contactTable->setTableGeometry(0, 0, frameContainer->width(), frameContainer->height());
    contactTable->setSorted(true);
    connect(contactTable, &TQuorTable::signalRowSelected, this, &TQuorContacts::slotContactSelected);
    connect(
        contactTable, &TQuorTable::signalRowDoubleClick, this, qOverload<TQuorCall *>(&TQuorContacts::slotCallContact));
    connect(contactTable, &TQuorTable::signalAdd, this, &TQuorContacts::addContact);
    connect(contactTable, &TQuorTable::signalEdit, this, &TQuorContacts::editContact);
    connect(contactTable, &TQuorTable::signalDel, this, &TQuorContacts::delContact);

    contactTable->beginUpdate();
    for (TContact *contact : contacts)
        addContactRow(contact);
    contactTable->endUpdate();
    if (!contacts.isEmpty())
        contactTable->selectRowAt(0);

    tableScroll = new TQuorTableScroll(this);
    tableScroll->hide();
    contactTable->attachScroll(tableScroll);
    placeScroll();

    labelCaption->setText(tr("Select contact"));
}

TQuorContacts::~TQuorContacts()
{
    delete searchTable;
    delete contactTable;
    for (TQuorCall *record : std::as_const(contactRecords))
        delete record->contact;
    qDeleteAll(contactRecords);
    delete xmlContacts;
}

void TQuorContacts::setParentWidget(QWidget *parent)
{
    setParent(parent);
    tableScroll->setParent(ListPage::scrollHost(parent, this));
    tableScroll->hide();
    placeScroll();
}

void TQuorContacts::hideStatusStrip()
{
    for (QWidget *w : std::initializer_list<QWidget *> {
             labelMail, labelConnection, labelConnectionManager, labelDND, labelFWD, labelMessage })
        w->hide();
}

void TQuorContacts::setCaptionStyle(const QFont &font, const QPalette &palette)
{
    labelCaption->setFont(font);
    labelCaption->setPalette(palette);
}

void TQuorContacts::waitForSaved()
{
    xmlContacts->waitForSaved();
}

void TQuorContacts::createContactsFile()
{
    xmlContacts->createFile(QStringLiteral("contacts"));
}

void TQuorContacts::setFonts()
{
    fontNormal = QFont(QStringLiteral("Lucida Grande"), 10);
    fontBold = QFont(QStringLiteral("Arial"), 12, QFont::Bold);
    for (QWidget *w : std::initializer_list<QWidget *> { labelName, labelCompany, labelSearchName, labelSearchCompany })
        w->setFont(fontBold);
    for (QWidget *w : std::initializer_list<QWidget *> { editSearch, labelType1, labelType2, labelType3, labelType4,
             labelPhone1, labelPhone2, labelPhone3, labelPhone4, labelAddress, editCustomSearch, label1,
             boxSearchField1, boxSearchField2, label2, labelSearchDefPhone, labelNameEdit, labelSurnameEdit,
             labelCompanyEdit, labelAddressEdit, labelInfo, editName, editSurname, editCompany, editAddress,
             textEditInfo, Ui::QuorContactDel::label, label_2, label_3, labelNameDel, labelSurnameDel })
        w->setFont(fontNormal);
}

void TQuorContacts::setupButtons()
{
    buttonAdd = CPushButton::replace(buttonContactAdd);
    buttonEdit = CPushButton::replace(buttonContactEdit);
    buttonDel = CPushButton::replace(buttonContactDel);
    buttonContactAdd = buttonAdd;
    buttonContactEdit = buttonEdit;
    buttonContactDel = buttonDel;
    connect(buttonAdd, &QPushButton::released, this, &TQuorContacts::addContact);
    connect(buttonEdit, &QPushButton::released, this, &TQuorContacts::editContact);
    connect(buttonDel, &QPushButton::released, this, &TQuorContacts::delContact);
    buttonAdd->setHoverIcon(QIcon(QStringLiteral(":ui/images/C_add_btn_h.png")));
    buttonEdit->setHoverIcon(QIcon(QStringLiteral(":ui/images/C_mod_btn_h.png")));
    buttonDel->setHoverIcon(QIcon(QStringLiteral(":ui/images/C_del_btn_h.png")));

    connect(buttonCustomSearch, &QPushButton::released, this, &TQuorContacts::searchContact);

    buttonBack = footButton(
        frameContactsBase, 0, QStringLiteral(":ui/images/btn_back.png"), QStringLiteral(":ui/images/btn_back_h.png"));
    connect(buttonBack, &QPushButton::released, this, &TQuorContacts::contactBack);
    buttonApply = footButton(frameContactsBase, 85, QStringLiteral(":ui/images/btn_apply.png"),
        QStringLiteral(":ui/images/btn_apply_h.png"));
    connect(buttonApply, &QPushButton::released, this, &TQuorContacts::contactApply);

    connect(editSearch, &QLineEdit::textChanged, this, &TQuorContacts::search);

    for (QComboBox *box : { boxSearchField1, boxSearchField2 }) {
        box->addItem(tr("None"), int(SearchNone));
        box->addItem(tr("Name"), int(SearchName));
        box->addItem(tr("Surname"), int(SearchSurname));
        box->addItem(tr("Company"), int(SearchCompany));
    }
    connect(boxSearchField1, &QComboBox::currentIndexChanged, this, &TQuorContacts::field1Selected);
    connect(boxSearchField2, &QComboBox::currentIndexChanged, this, &TQuorContacts::field2Selected);

    connect(editCustomSearch, &QLineEdit::textChanged, this, &TQuorContacts::customSearch);

    // The phone labels become double-clickable in their cells of the details grid.
    auto *grid = qobject_cast<QGridLayout *>(labelPhone1->parentWidget()->layout());
    for (QLabel *designed : { labelPhone1, labelPhone2, labelPhone3, labelPhone4 }) {
        int row = 0;
        int column = 0;
        int rowSpan = 1;
        int columnSpan = 1;
        const int at = grid ? grid->indexOf(designed) : -1;
        if (at >= 0) {
            grid->getItemPosition(at, &row, &column, &rowSpan, &columnSpan);
            delete grid->takeAt(at);
        }
        TCustomLabel *label = TCustomLabel::replace(designed);
        // A number is shown as it is, never as markup.
        label->setTextFormat(Qt::PlainText);
        if (at >= 0)
            grid->addWidget(label, row, column, rowSpan, columnSpan);
        connect(label, &TCustomLabel::mouseDoubleClick, this,
            qOverload<QMouseEvent *, const QString &>(&TQuorContacts::slotCallContact));
        phoneLabels.append(label);
    }
    labelPhone1 = phoneLabels.at(0);
    labelPhone2 = phoneLabels.at(1);
    labelPhone3 = phoneLabels.at(2);
    labelPhone4 = phoneLabels.at(3);
    typeLabels = { labelType1, labelType2, labelType3, labelType4 };

    labelName->clear();
    labelCompany->clear();
    labelAddress->clear();
    for (int i = 0; i < 4; ++i) {
        phoneLabels.at(i)->hide();
        typeLabels.at(i)->hide();
    }
    labelConnectionManager->show();
    labelMail->hide();
}

// ---------------------------------------------------------------- rows

QString TQuorContacts::caption(const TContact *contact)
{
    return contact->name + QLatin1Char(' ') + contact->surname;
}

TQuorCall *TQuorContacts::recordOf(const TContact *contact) const
{
    if (!contact)
        return nullptr;
    for (TQuorCall *record : contactRecords) {
        if (record->contact == contact)
            return record;
    }
    return nullptr;
}

void TQuorContacts::addContactRow(TContact *contact)
{
    auto *record = new TQuorCall;
    record->contact = contact;
    contactTable->addRow(RowContact, record, caption(contact), contact->company);
    contactTable->setRowToolTip(contact->info, record);
    contactRecords.append(record);
}

void TQuorContacts::removeContactRow(TContact *contact)
{
    TQuorCall *record = recordOf(contact);
    if (!record)
        return;
    contactRecords.removeOne(record);
    // The list announces the row that takes the selection, if any.
    if (selectedContact == contact)
        selectedContact = nullptr;
    contactTable->removeRow(record);
    delete contact;
    delete record;
    if (!selectedContact) {
        showContactDetails(nullptr);
        // Nor may the search page go on naming the contact that is gone.
        for (QLabel *label : { labelSearchName, labelSearchCompany, labelSearchDefPhone })
            label->clear();
    }
}

// ---------------------------------------------------------------- details

QString TQuorContacts::phoneTypeLabel(int type)
{
    switch (type) {
    case PhoneOffice:
        return tr("Office:");
    case PhoneMobile:
        return tr("Mobile:");
    case PhoneHome:
        return tr("Home:");
    case PhoneLocal:
        return tr("Local:");
    default:
        return QString();
    }
}

void TQuorContacts::showContactDetails(TContact *contact)
{
    if (!contact) {
        labelName->clear();
        labelCompany->clear();
        labelAddress->clear();
        for (int i = 0; i < 4; ++i) {
            phoneLabels.at(i)->hide();
            typeLabels.at(i)->hide();
        }
        return;
    }
    QFont bold = phoneLabels.first()->font();
    bold.setWeight(QFont::Bold);
    QFont normal = bold;
    normal.setWeight(QFont::Normal);

    labelName->setText(caption(contact));
    labelCompany->setText(contact->company);
    labelAddress->setText(contact->address);
    int i = 0;
    for (; i < contact->phones.size() && i < 4; ++i) {
        const QString &number = contact->phones.at(i);
        phoneLabels.at(i)->setText(number);
        phoneLabels.at(i)->setFont(number == contact->phoneDef ? bold : normal);
        typeLabels.at(i)->setText(phoneTypeLabel(contact->phoneTypes.value(i, PhoneOther)));
        phoneLabels.at(i)->show();
        typeLabels.at(i)->show();
    }
    for (; i < 4; ++i) {
        phoneLabels.at(i)->hide();
        typeLabels.at(i)->hide();
    }
}

void TQuorContacts::showSearchDetails(TContact *contact)
{
    if (!contact)
        return;
    labelSearchName->setText(caption(contact));
    labelSearchCompany->setText(contact->company);
    labelSearchDefPhone->setText(contact->phoneDef);
}

// ---------------------------------------------------------------- selection and calls

void TQuorContacts::slotContactSelected(TQuorCall *record)
{
    if (!record || !record->contact)
        return;
    selectedContact = record->contact;
    showContactDetails(selectedContact);
}

void TQuorContacts::slotSearchContactSelected(TQuorCall *record)
{
    if (!record || !record->contact)
        return;
    selectedContact = record->contact;
    showSearchDetails(selectedContact);
}

void TQuorContacts::slotCallContact(TQuorCall *record)
{
    if (record && record->contact)
        emit signalCallContact(record->contact->phoneDef);
}

void TQuorContacts::slotCallContact(QMouseEvent *, const QString &text)
{
    emit signalCallContact(text);
}

void TQuorContacts::slotCallSearchContact(TQuorCall *record)
{
    slotCallContact(record);
    contactBack();
}

void TQuorContacts::search(const QString &text)
{
    contactTable->search(text);
}

void TQuorContacts::customSearch(const QString &text)
{
    if (searchTable)
        searchTable->search(text);
}

void TQuorContacts::field1Selected()
{
    searchField1 = boxSearchField1->currentData().toInt();
}

void TQuorContacts::field2Selected()
{
    searchField2 = boxSearchField2->currentData().toInt();
}

// ---------------------------------------------------------------- pages

void TQuorContacts::showListButtons(bool list)
{
    buttonAdd->setVisible(list);
    buttonEdit->setVisible(list);
    buttonDel->setVisible(list);
    buttonBack->setVisible(!list);
    buttonApply->setVisible(!list);
}

void TQuorContacts::showPage(QFrame *page)
{
    // One page at a time, whichever page a key or menu opens it from.
    if (mode == ContactsSearch && page != frameContactSearch)
        closeSearchTable();
    for (QFrame *frame : { frameContacts, frameContactEdit, frameContactDel, frameContactSearch }) {
        if (frame != page)
            frame->hide();
    }
    page->show();
    page->setFocus(Qt::OtherFocusReason);
    showListButtons(page == frameContacts);
}

void TQuorContacts::addContact()
{
    showPage(frameContactEdit);
    clearEditForm();
    labelCaption->setText(tr("Add contact"));
    mode = ContactsAdd;
}

void TQuorContacts::editContact()
{
    if (!selectedContact)
        return;
    showPage(frameContactEdit);
    fillEditForm(selectedContact);
    labelCaption->setText(tr("Edit contact"));
    mode = ContactsEdit;
}

void TQuorContacts::delContact()
{
    if (!selectedContact)
        return;
    showPage(frameContactDel);
    labelNameDel->setText(selectedContact->name);
    labelSurnameDel->setText(selectedContact->surname);
    labelCaption->setText(tr("Delete contact"));
    mode = ContactsDelete;
}

void TQuorContacts::searchContact()
{
    contactTable->detachScroll();
    if (searchTable)
        closeSearchTable();
    searchTable = new TQuorTable(contactTable);
    searchTable->setParent(frameSearchContainer);
    searchTable->setTableGeometry(0, 0, frameSearchContainer->width(), frameSearchContainer->height());
    searchTable->attachScroll(tableScroll);
    connect(searchTable, &TQuorTable::signalRowSelected, this, &TQuorContacts::slotSearchContactSelected);
    connect(searchTable, &TQuorTable::signalRowDoubleClick, this, &TQuorContacts::slotCallSearchContact);
    relabelSearchTable();

    boxSearchField1->setCurrentIndex(boxSearchField1->findData(searchField1));
    boxSearchField2->setCurrentIndex(boxSearchField2->findData(searchField2));
    if (TQuorCall *record = recordOf(selectedContact))
        searchTable->selectRow(record);

    showPage(frameContactSearch);
    labelCaption->setText(tr("Search contact"));
    mode = ContactsSearch;
    placeScroll();
}

void TQuorContacts::closeSearchTable()
{
    if (!searchTable)
        return;
    searchTable->disconnect(this);
    searchTable->detachScroll();
    // The search list may be the sender of the double click that led here.
    searchTable->hide();
    searchTable->deleteLater();
    searchTable = nullptr;
    contactTable->attachScroll(tableScroll);
    if (TQuorCall *record = recordOf(selectedContact))
        contactTable->selectRow(record);
    placeScroll();
}

void TQuorContacts::contactBack()
{
    showPage(frameContacts);
    labelCaption->setText(tr("Select contact"));
    mode = ContactsList;
    showContactDetails(selectedContact);
}

QString TQuorContacts::searchFieldText(int field, const TContact *contact)
{
    if (!contact)
        return QString();
    switch (field) {
    case SearchName:
        return contact->name;
    case SearchSurname:
        return contact->surname;
    case SearchCompany:
        return contact->company;
    default:
        return QString();
    }
}

void TQuorContacts::relabelSearchTable()
{
    if (!searchTable || (searchField1 == SearchNone && searchField2 == SearchNone))
        return;
    const int first = searchField1;
    const int second = searchField2;
    searchTable->relabelRows([first, second](const TQuorTableRow &row) {
        const TContact *contact = row.call() ? row.call()->contact : nullptr;
        if (first == second || second == SearchNone)
            return searchFieldText(first, contact);
        if (first == SearchNone)
            return searchFieldText(second, contact);
        return searchFieldText(first, contact) + QLatin1Char(' ') + searchFieldText(second, contact);
    });
}

// ---------------------------------------------------------------- edit form

void TQuorContacts::clearEditForm()
{
    for (QLineEdit *edit : { editName, editSurname, editCompany, editAddress })
        edit->clear();
    textEditInfo->clear();
    phoneTable->clear();
    m_hiddenDefault.clear();
    m_defaultHidden = false;
    m_defaultChosen = false;
    m_hiddenPhones.clear();
    m_hiddenTypes.clear();
}

void TQuorContacts::fillEditForm(TContact *contact)
{
    if (!contact)
        return;
    clearEditForm();
    editName->setText(contact->name);
    editSurname->setText(contact->surname);
    editCompany->setText(contact->company);
    editAddress->setText(contact->address);
    // Long texts show their beginning, not their end.
    for (QLineEdit *edit : { editName, editSurname, editCompany, editAddress })
        edit->setCursorPosition(0);
    textEditInfo->setPlainText(contact->info);

    int placed = 0;
    for (qsizetype i = 0; i < contact->phones.size(); ++i) {
        const QString &number = contact->phones.at(i);
        if (number.isEmpty())
            continue;
        const int type = contact->phoneTypes.value(i, PhoneOther);
        const int row = placed == 0 ? 0 : phoneTable->addRow();
        if (row < 0) {
            // Numbers past the editor's rows are kept as they are.
            m_hiddenPhones.append(number);
            m_hiddenTypes.append(type);
            continue;
        }
        phoneTable->setNumber(number, row);
        phoneTable->setType(type, row);
        ++placed;
    }
    phoneTable->setDefaultPhone(contact->phoneDef);
    // A default that none of the rows shows stays unless the user picks one.
    m_defaultHidden = phoneTable->defaultPhone() != contact->phoneDef;
    m_hiddenDefault = contact->phoneDef;
    m_defaultChosen = false;
}

TContact *TQuorContacts::readEditForm()
{
    auto *contact = new TContact;
    contact->name = editName->text();
    contact->surname = editSurname->text();
    contact->company = editCompany->text();
    contact->address = editAddress->text();
    contact->info = textEditInfo->toPlainText();
    for (int i = 0; i < phoneTable->rowCount(); ++i) {
        const QString number = phoneTable->number(i);
        if (number.isEmpty())
            continue;
        const int type = phoneTable->type(i);
        contact->phones.append(number);
        contact->phoneTypes.append(TPhoneType(type >= PhoneOffice && type <= PhoneLocal ? type : PhoneOther));
    }
    contact->phoneDef = phoneTable->defaultPhone();
    if (mode == ContactsEdit) {
        for (qsizetype i = 0; i < m_hiddenPhones.size(); ++i) {
            contact->phones.append(m_hiddenPhones.at(i));
            contact->phoneTypes.append(TPhoneType(m_hiddenTypes.at(i)));
        }
        if (m_defaultHidden && !m_defaultChosen)
            contact->phoneDef = m_hiddenDefault;
    }
    return contact;
}

// ---------------------------------------------------------------- apply

void TQuorContacts::contactApply()
{
    switch (mode) {
    case ContactsAdd: {
        TContact *contact = readEditForm();
        xmlContacts->addContact(contact);
        xmlContacts->saveLater();
        addContactRow(contact);
        contactBack();
        break;
    }
    case ContactsEdit: {
        if (!selectedContact)
            break;
        TContact *edited = readEditForm();
        xmlContacts->updateContact(selectedContact, edited);
        xmlContacts->saveLater();
        *selectedContact = *edited;
        delete edited;
        if (TQuorCall *record = recordOf(selectedContact)) {
            contactTable->renameRow(caption(selectedContact), record);
            contactTable->setRowTimeText(selectedContact->company, record);
            contactTable->setRowToolTip(selectedContact->info, record);
        }
        contactBack();
        break;
    }
    case ContactsDelete:
        if (!selectedContact)
            break;
        xmlContacts->deleteContact(selectedContact);
        xmlContacts->saveLater();
        removeContactRow(selectedContact);
        contactBack();
        break;
    case ContactsSearch:
        relabelSearchTable();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------- keys and placement

void TQuorContacts::keyPressEvent(QKeyEvent *e)
{
    ListPage::handleKey(e,
        { [this] { mode != ContactsList ? contactApply() : editContact(); }, [this] { contactBack(); },
            [this] { addContact(); }, [this] { editContact(); }, [this] { delContact(); },
            [this](const QString &page) {
                lastMenu = page;
                emit signalGetMenu(lastMenu);
            } });
}

void TQuorContacts::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    placeScroll();
}

void TQuorContacts::placeScroll()
{
    ListPage::placeScroll(tableScroll, searchTable ? searchTable : contactTable);
}
