// The stores of "contacts.xml" and "ldap_server.xml": what they read and write,
// and which element an edit or a delete touches.

#include <QDomDocument>
#include <QFileInfo>
#include <QLocalServer>
#include <QTest>

#include "contacts/TContact.h"
#include "contacts/TXmlContacts.h"
#include "contacts/TXmlLServer.h"
#include "contacts/TlServer.h"
#include "testsupport/TestDataDir.h"

namespace {

const QByteArray kDoctype = "<!DOCTYPE xmlreader>\n";
const QString kContacts = QStringLiteral("contacts.xml");
const QString kServers = QStringLiteral("ldap_server.xml");

// The records a store reads from the file, described.
QStringList readBack(const TestDataDir &dir, const QString &file)
{
    QStringList out;
    if (file == kContacts) {
        const QList<TContact *> contacts = TXmlContacts(dir.filePath(file)).readContacts();
        for (const TContact *c : contacts) {
            QStringList phones;
            for (qsizetype i = 0; i < c->phones.size(); ++i)
                phones << c->phones.at(i) + u'/' + QString::number(c->phoneTypes.at(i));
            out << QStringList { c->name, c->surname, c->company, c->info, phones.join(u','), c->phoneDef }.join(u'|');
        }
        qDeleteAll(contacts);
        return out;
    }
    const QList<TlServer *> servers = TXmlLServer(dir.filePath(file)).loadServers();
    for (const TlServer *s : servers) {
        out << QStringList { s->name, s->port, s->version, QString::number(s->scope), QString::number(s->security),
            QString::number(s->auth), QString::number(s->mech) }
                   .join(u'|');
    }
    qDeleteAll(servers);
    return out;
}

// The children of the document element, each serialised on its own.
QStringList elements(const QByteArray &file)
{
    QDomDocument doc;
    doc.setContent(file);
    QStringList out;
    for (QDomNode n = doc.documentElement().firstChild(); !n.isNull(); n = n.nextSibling()) {
        QString text;
        QTextStream stream(&text);
        n.save(stream, 0);
        out << text;
    }
    return out;
}

} // namespace

class TestContactStores : public QObject
{
    Q_OBJECT

private slots:
    void readRules_data();
    void readRules();
    void writtenLayoutAndRoundTrip();
    void identity_data();
    void identity();
    void damagedFiles();
};

void TestContactStores::readRules_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("records");
    const auto row = [](const char *name, const QString &file, const QByteArray &body, const QStringList &records) {
        QTest::newRow(name) << file << kDoctype + body << records;
    };
    row("empty number ends its phone", kContacts,
        "<c><contact><phone><number>1</number><number/><type>home</type></phone><phone><number/></phone></contact></c>",
        { "||||1/2|" });
    row("no type reads office, \"Office\" and other texts 1", kContacts,
        "<c><contact><phone><number>1</number></phone><phone><number>2</number><type>Office</type></phone>"
        "<phone><number>4</number><type>local</type></phone></contact></c>",
        { "||||1/2,2/1,4/5|" });
    row("empty port stays empty, unknown texts read their fallbacks", kServers,
        "<s><server><port/><scope>sub</scope><auth/><security>TLS</security><mech>GSSAPI</mech><version>2</version>"
        "</server></s>",
        { "||2|1|3|2|3" });
}

void TestContactStores::readRules()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, records);
    TestDataDir dir;
    dir.write(file, body);
    QCOMPARE(readBack(dir, file), records);
}

void TestContactStores::writtenLayoutAndRoundTrip()
{
    TestDataDir dir;
    const QString path = dir.filePath(kContacts);
    const QString texts[]
        = { QStringLiteral("東京 \U0001F600\n\na & b < c > \"e\""), QStringLiteral("bell\a and\x1b gone") };
    {
        TXmlContacts contacts(path);
        QVERIFY(contacts.createFile(QStringLiteral("contacts")));
        QCOMPARE(dir.read(kContacts), kDoctype + "<contacts/>\n");
        QCOMPARE(QFile::permissions(path),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);
        TContact full;
        full.name = QStringLiteral("Ann");
        full.company = QStringLiteral("A&B");
        full.phones = { QStringLiteral("12"), QStringLiteral("34") };
        full.phoneTypes = { PhoneMobile, PhoneOther };
        full.phoneDef = QStringLiteral("12");
        contacts.addContact(&full);
        QVERIFY(contacts.saveNow());
        QCOMPARE(dir.read(kContacts),
            kDoctype
                + "<contacts>\n    <contact>\n        <name>Ann</name>\n        <surname></surname>\n"
                  "        <company>A&amp;B</company>\n        <address></address>\n        <info></info>\n"
                  "        <phone>\n            <number>12</number>\n            <type>mobile</type>\n        "
                  "</phone>\n"
                  "        <phone>\n            <number>34</number>\n            <type></type>\n        </phone>\n"
                  "        <phone_def>12</phone_def>\n    </contact>\n</contacts>\n");
        // Markup, line ends and any script round-trip; what XML cannot carry is left out.
        for (const QString &text : texts) {
            TContact c;
            c.name = c.info = text;
            c.phones = { text };
            c.phoneTypes = { PhoneHome };
            contacts.addContact(&c);
        }
        contacts.saveLater(); // written on the store's thread; the destructor waits for it
    }
    QStringList expected { "Ann||A&B||12/3,34/1|12" };
    for (const QString &text : texts) {
        const QString kept = QString(text).remove(u'\a').remove(u'\x1b');
        expected << QStringList { kept, QString(), QString(), kept, kept + QStringLiteral("/4"), QString() }.join(u'|');
    }
    QCOMPARE(readBack(dir, kContacts), expected);

    // Values out of range are written as their fallbacks; the password as it is.
    TXmlLServer servers(dir.filePath(kServers));
    servers.createFile(QStringLiteral("servers"));
    TlServer odd;
    odd.password = QStringLiteral("plain pw");
    odd.scope = 7;
    odd.auth = 0;
    servers.addServer(&odd);
    QVERIFY(servers.saveNow());
    const QByteArray written = dir.read(kServers);
    for (const char *text : { "<password>plain pw</password>", "<scope>Base</scope>", "<auth>Simple</auth>" })
        QVERIFY2(written.contains(text), text);
}

void TestContactStores::identity_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("body"); // children of the document element
    QTest::addColumn<int>("target"); // index of the record acted on
    QTest::addColumn<bool>("remove"); // else replace
    const auto row = [](const char *name, const QString &file, const QByteArray &body, int target, bool remove) {
        QTest::newRow(name) << file << body << target << remove;
    };
    row("a contact holding the fields of a later one", kContacts,
        "<contact><name>A</name><surname>S</surname></contact><contact><name>A</name><surname>S</surname>"
        "<phone><number>1</number></phone><phone><number>2</number></phone></contact>",
        1, true);
    row("duplicates", kContacts, "<contact><name>A</name></contact><contact><name>A</name></contact>", 1, false);
    row("an annotated contact", kContacts, "<contact><name>A</name><x>kept</x></contact>", 0, false);
    row("an empty server ahead", kServers, "<server/><server><name>S</name></server>", 1, true);
    row("servers differing only in scope", kServers,
        "<server><name>S</name><scope>Base</scope></server><server><name>S</name><scope>Sub</scope></server>", 1,
        false);
}

// Only the element the record was read from changes; every other stays byte
// for byte.
void TestContactStores::identity()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, body);
    QFETCH(int, target);
    QFETCH(bool, remove);
    TestDataDir dir;
    const QString path = dir.write(file, kDoctype + "<root>" + body + "</root>");
    const QStringList before = elements(dir.read(file));
    if (file == kContacts) {
        TXmlContacts store(path);
        const QList<TContact *> records = store.readContacts();
        TContact edited;
        edited = *records.at(target);
        edited.name = QStringLiteral("Edited");
        remove ? store.deleteContact(records.at(target)) : store.updateContact(records.at(target), &edited);
        store.saveNow();
        qDeleteAll(records);
    } else {
        TXmlLServer store(path);
        const QList<TlServer *> records = store.loadServers();
        TlServer edited;
        edited.copyFrom(*records.at(target));
        edited.name = QStringLiteral("Edited");
        remove ? store.removeServer(records.at(target)) : store.replaceServer(records.at(target), &edited);
        store.saveNow();
        qDeleteAll(records);
    }
    const QStringList after = elements(dir.read(file));
    QStringList expected = before;
    if (remove) {
        expected.removeAt(target);
    } else {
        QVERIFY(after.value(target).contains(QStringLiteral("<name>Edited</name>")));
        expected[target] = after.value(target);
    }
    QCOMPARE(after, expected);
}

void TestContactStores::damagedFiles()
{
    TestDataDir dir;
    // A file that does not parse is kept aside and a fresh one starts.
    const QByteArray broken = "<contacts><contact><name>cut off";
    dir.write(kContacts, broken);
    {
        TXmlContacts store(dir.filePath(kContacts));
        QVERIFY(store.readContacts().isEmpty());
        QVERIFY(store.createFile(QStringLiteral("contacts")));
    }
    QCOMPARE(dir.read(QStringLiteral("contacts.xml.bad")), broken);
    QCOMPARE(dir.read(kContacts), kDoctype + "<contacts/>\n");

    // A file that cannot be read (a socket in its place, which stops root too)
    // is never written over.
    QLocalServer socket;
    QVERIFY(socket.listen(dir.filePath(kServers)));
    TXmlLServer store(dir.filePath(kServers));
    QVERIFY(store.loadServers().isEmpty());
    QVERIFY(!store.createFile(QStringLiteral("servers")));
    TlServer server;
    store.addServer(&server);
    QVERIFY(!store.saveNow());
    store.saveLater();
    store.waitForSaved();
    QVERIFY(QFileInfo::exists(dir.filePath(kServers)) && !QFileInfo(dir.filePath(kServers)).isFile());
}

QTEST_GUILESS_MAIN(TestContactStores)
#include "tst_contactstores.moc"
