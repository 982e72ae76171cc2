// The address book as the phone window hosts it, against the loopback fake
// PBX: calls from its rows, and the save before quitting.

#include "contacts/TQuorContacts.h"
#include "core/TLabel.h"
#include "core/TQuorTableRowView.h"
#include "softphone/PhoneFixture.h"

class TestContactsInPhone : public QObject, public PhoneFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup() { stopPhone(); }
    void callsFromRowsAndNumbers();
    void keysOpenPhonePages();
    void quitWaitsForTheBook();

private:
    TQuorContacts *book() const { return m_phone->contacts(); }
};

void TestContactsInPhone::init()
{
    startPbx();
    m_data->write(QStringLiteral("contacts.xml"),
        "<contacts><contact><name>Anna</name><surname>Berg</surname><phone><number>5550101</number></phone>"
        "<phone><number>3471234567</number></phone><phone><number>5550177</number></phone>"
        "<phone_def>3471234567</phone_def></contact><contact><name>Carlo</name><surname>Rossi</surname>"
        "<phone><number>5550202</number></phone></contact></contacts>");
    startPhone({}, loopbackPhoneOptions());
    m_phone->show();
    m_phone->showContacts();
    QVERIFY(QTest::qWaitForWindowExposed(m_phone.get()));
}

// A row calls its default number, a number of the details that number.
void TestContactsInPhone::callsFromRowsAndNumbers()
{
    QTest::mouseDClick(book()->contactList()->rowViews().at(0), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->latest("call-in") && m_pbx->latest("call-in")->called == "3471234567", 5000);
    m_phone->hangupCurrent();
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);
    m_phone->showContacts();
    QTest::mouseDClick(book()->phoneNumberLabels().at(2), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->latest("call-in") && m_pbx->latest("call-in")->called == "5550177", 5000);
}

// Keys typed on the book open the phone's pages; a modifier a key does not take stops it.
void TestContactsInPhone::keysOpenPhonePages()
{
    const std::pair<const char *, const char *> rows[]
        = { { "F1", "frameActivity" }, { "F2", "frameKeypad" }, { "F3", "frameMissed" }, { "Alt+S", "frameSettings" },
              { "Alt+L", "frameMessages" }, { "Alt+Shift+S", "frameContacts" } };
    for (const auto &[keys, page] : rows) {
        m_phone->showContacts();
        QTest::keySequence(book(), QKeySequence(keys));
        QCOMPARE(m_phone->currentPage()->objectName(), page);
    }
}

void TestContactsInPhone::quitWaitsForTheBook()
{
    book()->addContact();
    book()->editName->setText(QStringLiteral("Zoe"));
    book()->contactApply();
    m_phone->beforeQuit();
    QCOMPARE(m_exits, QList<int> { 0 });
    QVERIFY(m_data->read(QStringLiteral("contacts.xml")).contains("<name>Zoe</name>"));
}

QTEST_MAIN(TestContactsInPhone)
#include "tst_contactsinphone.moc"
