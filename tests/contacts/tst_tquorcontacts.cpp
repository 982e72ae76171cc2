// The address book on its own: its pages and what they save, the details,
// search, and the number editor of its edit page.

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "contacts/TContact.h"
#include "contacts/TQuorContacts.h"
#include "contacts/TQuorPhoneRow.h"
#include "contacts/TQuorPhoneTable.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "testsupport/TestDataDir.h"

namespace {

const QByteArray kDoctype = "<!DOCTYPE xmlreader>\n";

// phones: "number/type,..."
QByteArray contact(
    const char *name, const char *surname, const char *company = "", const char *phones = "", const char *def = "")
{
    QString xml = QStringLiteral("<contact><name>%1</name><surname>%2</surname><company>%3</company>")
                      .arg(QLatin1String(name), QLatin1String(surname), QLatin1String(company));
    for (const QString &phone : QString::fromLatin1(phones).split(u',', Qt::SkipEmptyParts))
        xml += QStringLiteral("<phone><number>%1</number><type>%2</type></phone>")
                   .arg(phone.section(u'/', 0, 0), phone.section(u'/', 1));
    return (xml + QStringLiteral("<phone_def>%1</phone_def></contact>").arg(QLatin1String(def))).toUtf8();
}

QString captions(const TQuorTable *table)
{
    QStringList out;
    for (const TQuorTableRow *row : table->rows())
        out << row->text();
    return out.join(u',');
}

QString selectedCaption(const TQuorTable *table)
{
    const int i = table->selectedIndex();
    return i < 0 ? QString() : table->rows().at(i)->text();
}

// The number editor: each row's button text and top, then the entries of the
// default-number box.
QString state(const TQuorPhoneTable &editor)
{
    QStringList rows;
    for (int i = 0; i < editor.rowCount(); ++i)
        rows << editor.row(i)->buttonAddDel->text() + u'@' + QString::number(editor.row(i)->y());
    QStringList entries;
    for (int i = 0; i < editor.boxDefPhone->count(); ++i)
        entries << editor.boxDefPhone->itemText(i);
    return rows.join(u' ') + QStringLiteral(" | ") + entries.join(u',');
}

} // namespace

class TestTQuorContacts : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { m_book.reset(); }
    void addEditDelete();
    void editKeepsWhatItDidNotShow();
    void searchPage();
    void listsKeepTheirKeys_data();
    void listsKeepTheirKeys();
    void numberEditor();

private:
    void open(const QByteArray &contacts);
    QByteArray file();

    TestDataDir m_dir;
    std::unique_ptr<TQuorContacts> m_book;
};

void TestTQuorContacts::open(const QByteArray &contacts)
{
    m_dir.write(QStringLiteral("contacts.xml"), kDoctype + "<contacts>" + contacts + "</contacts>");
    m_book = std::make_unique<TQuorContacts>();
    m_book->show();
}

QByteArray TestTQuorContacts::file()
{
    m_book->waitForSaved();
    return m_dir.read(QStringLiteral("contacts.xml"));
}

void TestTQuorContacts::addEditDelete()
{
    open(contact("Mark", "Twain"));

    // Add through the button; Return on the page applies it.
    QTest::mouseClick(m_book->findChild<CPushButton *>(QStringLiteral("buttonContactAdd")), Qt::LeftButton);
    QCOMPARE(m_book->labelCaption->text(), QStringLiteral("Add contact"));
    m_book->editName->setText(QStringLiteral("Jane"));
    m_book->editSurname->setText(QStringLiteral("Doe"));
    m_book->textEditInfo->setPlainText(QStringLiteral("two\nlines"));
    TQuorPhoneTable *editor = m_book->phoneEditor();
    editor->setNumber(QStringLiteral("555"), 0);
    editor->setType(PhoneMobile, 0);
    editor->setNumber(QStringLiteral("777"), editor->addRow());
    editor->setDefaultPhone(QStringLiteral("777"));
    QTest::keyClick(m_book->editName, Qt::Key_Return);
    QCOMPARE(m_book->currentMode(), int(ContactsList));
    QCOMPARE(captions(m_book->contactList()), QStringLiteral("Jane Doe,Mark Twain"));
    for (const char *saved : { "<info>two\nlines</info>", "<number>555</number>\n            <type>mobile</type>",
             "<phone_def>777</phone_def>" })
        QVERIFY2(file().contains(saved), saved);

    // Return on the list page edits the selection; a new surname re-sorts the list.
    m_book->contactList()->selectRowAt(0);
    QTest::keyClick(m_book.get(), Qt::Key_Return);
    QCOMPARE(m_book->editSurname->text(), QStringLiteral("Doe"));
    m_book->editSurname->setText(QStringLiteral("Zed"));
    m_book->contactApply();
    QCOMPARE(captions(m_book->contactList()), QStringLiteral("Jane Zed,Mark Twain"));
    QCOMPARE(selectedCaption(m_book->contactList()), QStringLiteral("Jane Zed"));
    QCOMPARE(m_book->labelName->text(), QStringLiteral("Jane Zed"));
    QVERIFY(file().contains("<surname>Zed</surname>") && !file().contains("<surname>Doe</surname>"));

    // Delete both; the last leaves nothing selected and the details empty.
    for (int left = 1; left >= 0; --left) {
        QTest::keyClick(m_book.get(), Qt::Key_Delete);
        QCOMPARE(m_book->labelCaption->text(), QStringLiteral("Delete contact"));
        QTest::keyClick(m_book.get(), Qt::Key_Return);
        QCOMPARE(m_book->contactList()->rowCount(), left);
    }
    QCOMPARE(m_book->selected(), nullptr);
    QVERIFY(m_book->labelName->text().isEmpty() && m_book->labelCompany->text().isEmpty());
    QCOMPARE(file(), kDoctype + "<contacts/>\n");
    // With nothing selected, Return and Delete open no page.
    QTest::keyClick(m_book.get(), Qt::Key_Return);
    QTest::keyClick(m_book.get(), Qt::Key_Delete);
    QCOMPARE(m_book->labelCaption->text(), QStringLiteral("Select contact"));
}

void TestTQuorContacts::editKeepsWhatItDidNotShow()
{
    // Six numbers, the default among the two the editor has no row for.
    open(contact("Many", "Numbers", "", "1/office,2/mobile,3/home,4/local,5/mobile,6/", "6"));
    m_book->editContact();
    m_book->editName->setText(QStringLiteral("Still"));
    m_book->contactApply();
    TContact *c = m_book->selected();
    QCOMPARE(c->phones, QList<QString>({ "1", "2", "3", "4", "5", "6" }));
    QCOMPARE(
        c->phoneTypes, QList<TPhoneType>({ PhoneOffice, PhoneMobile, PhoneHome, PhoneLocal, PhoneMobile, PhoneOther }));
    QCOMPARE(c->phoneDef, QStringLiteral("6"));
    QCOMPARE(file().count("<phone>"), 6);

    // A default the user picks replaces the hidden one.
    m_book->editContact();
    m_book->phoneEditor()->boxDefPhone->setCurrentIndex(2);
    emit m_book->phoneEditor()->boxDefPhone->activated(2);
    m_book->contactApply();
    QVERIFY(file().contains("<phone_def>3</phone_def>"));

    // A number that is not a clean string of digits comes back whole.
    m_book->editContact();
    m_book->phoneEditor()->setNumber(QStringLiteral("+39 (02) 1x#"), 0);
    m_book->contactApply();
    m_book->editContact();
    QCOMPARE(m_book->phoneEditor()->number(0), QStringLiteral("+39 (02) 1x#"));
}

// Typing in the list's field selects by caption prefix and relabels the
// details, filtering nothing; the search page searches the given fields.
void TestTQuorContacts::searchPage()
{
    const QString captions = QStringLiteral("Acme Zoe,Beta Al");
    open(contact("Zoe", "Adams", "Acme", "", "1") + contact("Al", "Young", "Beta", "", "2"));
    QTest::keyClicks(m_book->editSearch, QStringLiteral("ZO"));
    QCOMPARE(m_book->labelName->text() + u' ' + QString::number(m_book->contactList()->rowCount()), "Zoe Adams 2");
    m_book->editSearch->setText(QStringLiteral("x"));
    QCOMPARE(selectedCaption(m_book->contactList()), QStringLiteral("Al Young")); // a miss: the first
    m_book->searchContact();
    QCOMPARE(m_book->currentMode(), int(ContactsSearch));
    // A field takes effect on Return (or Apply) only.
    m_book->boxSearchField1->setCurrentIndex(m_book->boxSearchField1->findData(int(SearchCompany)));
    m_book->boxSearchField2->setCurrentIndex(m_book->boxSearchField2->findData(int(SearchName)));
    QCOMPARE(::captions(m_book->searchList()), QStringLiteral("Al Young,Zoe Adams"));
    QTest::keyClick(m_book->editCustomSearch, Qt::Key_Return);
    QCOMPARE(::captions(m_book->searchList()), captions);

    // Search and selection on the page, then back: the list selects the same contact.
    const QString second = captions.section(u',', 1);
    QTest::keyClicks(m_book->editCustomSearch, second.left(2));
    QCOMPARE(selectedCaption(m_book->searchList()), second);
    const TContact *chosen = m_book->selected();
    QCOMPARE(m_book->labelSearchDefPhone->text(), chosen->phoneDef);
    QTest::keyClick(m_book.get(), Qt::Key_Escape);
    QCOMPARE(m_book->searchList(), nullptr);
    QCOMPARE(m_book->contactList()->selectedCall()->contact, chosen);
    // The fields stay for the next visit.
    m_book->searchContact();
    QCOMPARE(::captions(m_book->searchList()), captions);
}

// The page's keys act on the page itself: typed into one of its lists they
// change neither the page nor the contacts.
void TestTQuorContacts::listsKeepTheirKeys_data()
{
    QTest::addColumn<bool>("inSearch");
    QTest::addColumn<QKeySequence>("keys");
    for (const char *keys : { "Return", "Backspace", "Del", "Ctrl+E", "Ctrl+N", "F1", "Alt+S" })
        QTest::addRow("contact list, %s", keys) << false << QKeySequence(QString::fromLatin1(keys));
    for (const char *keys : { "Esc", "Del", "Ctrl+N", "F2" })
        QTest::addRow("search list, %s", keys) << true << QKeySequence(QString::fromLatin1(keys));
}

void TestTQuorContacts::listsKeepTheirKeys()
{
    QFETCH(bool, inSearch);
    QFETCH(QKeySequence, keys);
    open(contact("Mark", "Twain") + contact("Jane", "Doe"));
    if (inSearch)
        m_book->searchContact();
    TQuorTable *list = inSearch ? m_book->searchList() : m_book->contactList();
    QSignalSpy menus(m_book.get(), &TQuorContacts::signalGetMenu);
    const QString caption = m_book->labelCaption->text();
    QTest::keySequence(list, keys);
    QCOMPARE(m_book->labelCaption->text(), caption);
    QCOMPARE(menus.count(), 0);
    QCOMPARE(list->rowCount(), 2);
}

// The rows of the number editor, their "+" and "-" buttons and the
// default-number box.
void TestTQuorContacts::numberEditor()
{
    open({});
    m_book->addContact();
    TQuorPhoneTable &editor = *m_book->phoneEditor();
    QTest::mouseClick(editor.row(0)->buttonAddDel, Qt::LeftButton); // "-" on the only row
    // Typing drops a last character that is not a digit.
    QTest::keyClicks(editor.row(0)->editPhone, QStringLiteral("5a#"));
    QCOMPARE(state(editor), QStringLiteral("+@0 | 5"));
    QTest::mouseClick(editor.row(0)->buttonAddDel, Qt::LeftButton);
    QCOMPARE(state(editor), QStringLiteral("-@0 -@20 | 5,"));
    // The box follows the numbers; an emptied last row goes back to "-".
    QTest::keyClicks(editor.row(1)->editPhone, QStringLiteral("67"));
    QCOMPARE(state(editor), QStringLiteral("-@0 +@20 | 5,67"));
    editor.row(1)->editPhone->clear();
    QCOMPARE(state(editor), QStringLiteral("-@0 -@20 | 5,"));
    editor.setNumber(QStringLiteral("7"), 1);
    editor.setNumber(QStringLiteral("8"), editor.addRow());
    // A row removed by its own button leaves the editor and the box at once,
    // and is freed after its click; the rows below move up.
    QPointer<TQuorPhoneRow> middle = editor.row(1);
    QTest::mouseClick(middle->buttonAddDel, Qt::LeftButton);
    QCOMPARE(state(editor), QStringLiteral("-@0 +@20 | 5,8"));
    QCOMPARE(editor.row(1)->index, 1);
    QVERIFY(middle && !middle->isVisible());
    QTRY_VERIFY(middle.isNull());
}

QTEST_MAIN(TestTQuorContacts)
#include "tst_tquorcontacts.moc"
