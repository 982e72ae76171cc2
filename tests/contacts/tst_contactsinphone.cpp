// The address book as the phone window hosts it, against the loopback fake
// PBX: calls from rows and numbers, the page keys, the panel's place and the
// save before quitting.

#include <QTest>

#include <memory>

#include "contacts/TQuorContacts.h"
#include "core/Paths.h"
#include "core/TLabel.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableRowView.h"
#include "core/TQuorTableScroll.h"
#include "core/XmlReader.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/TestDataDir.h"

namespace {

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");

QRect inWindow(const QWidget *w)
{
    return QRect(w->mapTo(w->window(), QPoint(0, 0)), w->size());
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

private:
    TQuorContacts *book() const { return m_phone->contacts(); }
    QString lastCalled() const;

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
        "<contacts><contact><name>Anna</name><surname>Berg</surname><phone><number>5550101</number></phone>"
        "<phone><number>3471234567</number></phone><phone><number>5550177</number></phone>"
        "<phone_def>3471234567</phone_def></contact><contact><name>Carlo</name><surname>Rossi</surname>"
        "<phone><number>5550202</number></phone></contact></contacts>");
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
    m_phone->show();
    m_phone->showContacts();
    QVERIFY(QTest::qWaitForWindowExposed(m_phone.get()));
}

void TestContactsInPhone::cleanup()
{
    m_phone.reset();
    m_settings.reset();
    m_pbx.reset();
    m_data.reset();
}

QString TestContactsInPhone::lastCalled() const
{
    const FakePbx::Dialogue *call = m_pbx->latest(QStringLiteral("call-in"));
    return call ? call->called : QString();
}

// The book takes the phone's panel and caption while its page is up; its
// scroll bar lies along the list's right edge, inside the panel.
void TestContactsInPhone::panelFollowsItsPage()
{
    QVERIFY(book()->isVisible());
    QCOMPARE(book()->parentWidget(), m_phone->framePanel);
    QVERIFY(!m_phone->labelCaption->isVisible());
    QCOMPARE(book()->labelCaption->font(), m_phone->labelCaption->font());
    QVERIFY(!book()->labelMessage->isVisible());
    const QRect bar = inWindow(book()->scrollBar());
    QCOMPARE(bar.right(), inWindow(book()->contactList()).right());
    QVERIFY(inWindow(m_phone->framePanel).contains(bar));
    m_phone->showActivity();
    QVERIFY(!book()->isVisible());
    QVERIFY(m_phone->labelCaption->isVisible());
}

void TestContactsInPhone::callsFromRowsAndNumbers()
{
    // A row calls its default number.
    QTest::mouseDClick(book()->contactList()->rowViews().at(0), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lastCalled(), QStringLiteral("3471234567"), 5000);
    m_phone->hangupCurrent();
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);

    // A number of the details calls that number.
    m_phone->showContacts();
    QTest::mouseDClick(book()->phoneNumberLabels().at(2), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(lastCalled(), QStringLiteral("5550177"), 5000);
    m_phone->hangupCurrent();
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);
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

// Keys typed in the list reach the book as keys typed on the book.
void TestContactsInPhone::keysOpenPhonePages()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, page);
    QTest::keyClick(book()->contactList(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(m_phone->currentPage()->objectName(), page);
    QCOMPARE(book()->isVisibleTo(m_phone.get()), page == QLatin1String("frameContacts"));
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
