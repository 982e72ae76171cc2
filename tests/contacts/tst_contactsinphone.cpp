// The address book as the phone window hosts it, against the loopback fake
// PBX: calls from rows and numbers, the page keys, the panel's placement and
// the save before quitting. With QUOR_SCREENSHOT_DIR set it also writes
// pictures of the book's pages.

#include <QApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "contacts/TContact.h"
#include "contacts/TQuorContacts.h"
#include "contacts/TQuorPhoneTable.h"
#include "core/Paths.h"
#include "core/TLabel.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableRowView.h"
#include "core/TQuorTableScroll.h"
#include "core/XmlReader.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");
enum : int { TypeIax = 6, IaxNew = 1 };

QByteArray contact(const QString &name, const QString &surname, const QString &company,
    const QList<QPair<QString, QString>> &phones, const QString &phoneDef)
{
    QString xml = QStringLiteral("<contact><name>%1</name><surname>%2</surname><company>%3</company>"
                                 "<address>Via Roma 1</address><info>met at the fair</info>")
                      .arg(name, surname, company);
    for (const auto &phone : phones)
        xml += QStringLiteral("<phone><number>%1</number><type>%2</type></phone>").arg(phone.first, phone.second);
    xml += QStringLiteral("<phone_def>%1</phone_def></contact>").arg(phoneDef);
    return xml.toUtf8();
}

} // namespace

class TestContactsInPhone : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void panelFollowsItsPage();
    void callsFromRowsAndNumbers();
    void keysOpenPhonePages_data();
    void keysOpenPhonePages();
    void quitWaitsForTheBook();
    void screenshots();

private:
    void makePhone();
    TQuorContacts *book() const { return m_phone->contacts(); }
    TQuorTableRowView *viewOf(const QString &caption) const;
    QString lastMessage() const;

    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<FakePbx> m_pbx;
    std::unique_ptr<TQuorSettings> m_settings;
    std::unique_ptr<TQuorPhone> m_phone;
    QList<int> m_exits;
};

void TestContactsInPhone::init()
{
    m_data = std::make_unique<TestDataDir>();
    m_pbx = std::make_unique<FakePbx>();
    m_pbx->addUser(kUser, kSecret);
    m_exits.clear();
    m_data->write(QStringLiteral("contacts.xml"),
        "<contacts>"
            + contact(QStringLiteral("Anna"), QStringLiteral("Berg"), QStringLiteral("Nordhafen GmbH"),
                { { QStringLiteral("5550101"), QStringLiteral("office") },
                    { QStringLiteral("3471234567"), QStringLiteral("mobile") },
                    { QStringLiteral("5550177"), QStringLiteral("home") },
                    { QStringLiteral("301"), QStringLiteral("local") } },
                QStringLiteral("3471234567"))
            + contact(QStringLiteral("Carlo"), QStringLiteral("Rossi"), QString(),
                { { QStringLiteral("5550202"), QStringLiteral("office") } }, QString())
            + contact(QStringLiteral("Dana"), QStringLiteral("Scott"), QStringLiteral("Scott &amp; Sons"),
                { { QStringLiteral("5550303"), QStringLiteral("office") } }, QStringLiteral("5550303"))
            + "</contacts>");
}

void TestContactsInPhone::cleanup()
{
    m_phone.reset();
    m_settings.reset();
    m_pbx.reset();
    m_data.reset();
}

void TestContactsInPhone::makePhone()
{
    XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
    xml.createRoot(QStringLiteral("quorer"));
    const QList<QPair<QString, QString>> keys = { { QStringLiteral("server"), QStringLiteral("127.0.0.1") },
        { QStringLiteral("port"), QString::number(m_pbx->port()) }, { QStringLiteral("uname"), kUser },
        { QStringLiteral("passwd"), TQuorSettings::scramblePassword(kSecret) } };
    for (const auto &k : keys)
        xml.addValue(k.first, k.second, QStringLiteral("agent"));
    QVERIFY(xml.save());

    m_settings = std::make_unique<TQuorSettings>();
    TQuorPhone::Options options;
    options.voip.engine.bindAddress = "127.0.0.1";
    options.voip.engine.port = 0;
    options.voip.useSoundCard = false;
    options.clickToDialPort = -1;
    m_phone = std::make_unique<TQuorPhone>(m_settings.get(), options);
    m_phone->setExitFunction([this](int status) { m_exits.append(status); });
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->regAcks() >= 1, 5000);
}

TQuorTableRowView *TestContactsInPhone::viewOf(const QString &caption) const
{
    for (TQuorTableRowView *view : book()->contactList()->rowViews()) {
        if (view->isVisible() && view->row() && view->row()->text() == caption)
            return view;
    }
    return nullptr;
}

QString TestContactsInPhone::lastMessage() const
{
    const QList<TQuorTableRow *> rows = m_phone->messagesTable()->rows();
    return rows.isEmpty() ? QString() : rows.first()->text();
}

void TestContactsInPhone::panelFollowsItsPage()
{
    makePhone();
    m_phone->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_phone.get()));
    QVERIFY(!m_phone->findChild<QLabel *>(QStringLiteral("labelContactsNote")));
    QVERIFY(!book()->isVisible());

    m_phone->showContacts();
    QVERIFY(book()->isVisible());
    QCOMPARE(book()->parentWidget(), m_phone->framePanel);
    QCOMPARE(book()->geometry(), QRect(0, 0, 170, 415));
    QVERIFY(!m_phone->labelCaption->isVisible());
    QCOMPARE(book()->labelCaption->text(), QStringLiteral("Select contact"));
    QCOMPARE(book()->labelCaption->font(), m_phone->labelCaption->font());
    QVERIFY(!book()->labelMessage->isVisible());
    // The bar lies along the list's right edge, inside the panel.
    TQuorTableScroll *bar = book()->scrollBar();
    const QRect list(book()->contactList()->mapTo(m_phone.get(), QPoint(0, 0)), book()->contactList()->size());
    QCOMPARE(QRect(bar->mapTo(m_phone.get(), QPoint(0, 0)), bar->size()).right(), list.right());
    QVERIFY(QRect(m_phone->framePanel->mapTo(m_phone.get(), QPoint(0, 0)), m_phone->framePanel->size())
                .contains(QRect(bar->mapTo(m_phone.get(), QPoint(0, 0)), bar->size())));

    m_phone->showActivity();
    QVERIFY(!book()->isVisible());
    QVERIFY(m_phone->labelCaption->isVisible());
}

void TestContactsInPhone::callsFromRowsAndNumbers()
{
    makePhone();
    m_phone->show();
    m_phone->showContacts();
    QVERIFY(QTest::qWaitForWindowExposed(m_phone.get()));

    // A row calls its default number.
    TQuorTableRowView *anna = viewOf(QStringLiteral("Anna Berg"));
    QVERIFY(anna);
    QTest::mouseDClick(anna, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->latest(QStringLiteral("call-in"))
            && m_pbx->latest(QStringLiteral("call-in"))->called == QStringLiteral("3471234567"),
        5000);
    m_phone->hangupCurrent();
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);

    // A number of the details calls that number.
    m_phone->showContacts();
    book()->contactList()->selectRow(book()->contactList()->rows().at(0)->call());
    TCustomLabel *third = book()->phoneNumberLabels().at(2);
    QCOMPARE(third->text(), QStringLiteral("5550177"));
    QTest::mouseDClick(third, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->latest(QStringLiteral("call-in"))->called == QStringLiteral("5550177"), 5000);
    m_phone->hangupCurrent();
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);

    // An empty default gets the phone's own message and no call.
    m_phone->showContacts();
    const int calls = m_pbx->count(TypeIax, IaxNew);
    QTest::mouseDClick(viewOf(QStringLiteral("Carlo Rossi")), Qt::LeftButton);
    QCOMPARE(lastMessage(), QStringLiteral("Enter a number to call"));
    QTest::qWait(100);
    QCOMPARE(m_pbx->count(TypeIax, IaxNew), calls);
}

void TestContactsInPhone::keysOpenPhonePages_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("page");

    QTest::newRow("F1 activity") << int(Qt::Key_F1) << int(Qt::NoModifier) << "frameActivity";
    QTest::newRow("F2 keypad") << int(Qt::Key_F2) << int(Qt::NoModifier) << "frameKeypad";
    QTest::newRow("F3 missed") << int(Qt::Key_F3) << int(Qt::NoModifier) << "frameMissed";
    QTest::newRow("Alt+S settings") << int(Qt::Key_S) << int(Qt::AltModifier) << "frameSettings";
    QTest::newRow("Alt+L messages") << int(Qt::Key_L) << int(Qt::AltModifier) << "frameMessages";
    QTest::newRow("Alt+Shift+S nothing") << int(Qt::Key_S) << int(Qt::AltModifier | Qt::ShiftModifier)
                                         << "frameContacts";
}

void TestContactsInPhone::keysOpenPhonePages()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, page);

    makePhone();
    m_phone->showContacts();
    // Keys typed in the list reach the book as keys typed on the book.
    QTest::keyClick(book()->contactList(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_phone->currentPage()->objectName(), page);
    QCOMPARE(book()->isVisibleTo(m_phone.get()), page == QLatin1String("frameContacts"));
}

void TestContactsInPhone::quitWaitsForTheBook()
{
    makePhone();
    m_phone->showContacts();
    book()->addContact();
    book()->editName->setText(QStringLiteral("Zoe"));
    book()->contactApply();
    m_phone->beforeQuit();
    QCOMPARE(m_exits, QList<int> { 0 });
    QVERIFY(m_data->read(QStringLiteral("contacts.xml")).contains("<name>Zoe</name>"));
}

void TestContactsInPhone::screenshots()
{
    if (qEnvironmentVariableIsEmpty("QUOR_SCREENSHOT_DIR"))
        QSKIP("set QUOR_SCREENSHOT_DIR to write the pictures");
    // As the program shows them, under its style sheet.
    QFile css(QStringLiteral(":/ui/css/app.css"));
    QVERIFY(css.open(QIODevice::ReadOnly));
    qApp->setStyleSheet(QString::fromUtf8(css.readAll()));
    QByteArray more;
    for (const char *name : { "Elena Ferri", "Frank Moser", "Greta Lind", "Hugo Brandt", "Ines Costa" }) {
        const QStringList parts = QString::fromLatin1(name).split(QLatin1Char(' '));
        more += contact(parts.at(0), parts.at(1), QString(),
            { { QStringLiteral("5550400"), QStringLiteral("office") } }, QStringLiteral("5550400"));
    }
    QByteArray file = m_data->read(QStringLiteral("contacts.xml"));
    m_data->write(QStringLiteral("contacts.xml"), file.replace("</contacts>", more + "</contacts>"));
    makePhone();
    m_phone->show();
    m_phone->showContacts();
    QVERIFY(QTest::qWaitForWindowExposed(m_phone.get()));
    QVERIFY(!saveWidgetShot(m_phone.get(), QStringLiteral("contacts-list")).isEmpty());

    book()->editContact();
    book()->phoneEditor()->removeRow(3);
    QVERIFY(!saveWidgetShot(m_phone.get(), QStringLiteral("contacts-edit")).isEmpty());
    book()->contactBack();
    book()->delContact();
    QVERIFY(!saveWidgetShot(m_phone.get(), QStringLiteral("contacts-delete")).isEmpty());
    book()->contactBack();
    book()->searchContact();
    book()->boxSearchField1->setCurrentIndex(3);
    book()->boxSearchField2->setCurrentIndex(1);
    book()->contactApply();
    book()->editCustomSearch->setText(QStringLiteral("Sc"));
    QVERIFY(!saveWidgetShot(m_phone.get(), QStringLiteral("contacts-search")).isEmpty());
}

QTEST_MAIN(TestContactsInPhone)
#include "tst_contactsinphone.moc"
