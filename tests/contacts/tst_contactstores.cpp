// The stores of "contacts.xml" and "ldap_server.xml": what they read, what
// they write byte for byte, and which element an edit or a delete touches.

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <memory>

#include "contacts/TContact.h"
#include "contacts/TXmlContacts.h"
#include "contacts/TXmlLServer.h"
#include "contacts/TlServer.h"
#include "testsupport/TestDataDir.h"

namespace {

const QByteArray kDoctype = "<!DOCTYPE xmlreader>\n";

QString describe(const TContact &c)
{
    QStringList phones;
    for (qsizetype i = 0; i < c.phones.size(); ++i)
        phones << c.phones.at(i) + QLatin1Char('/') + QString::number(c.phoneTypes.at(i));
    return QStringList { c.name, c.surname, c.company, c.address, c.info, phones.join(QLatin1Char(',')), c.phoneDef }
        .join(QLatin1Char('|'));
}

QString describe(const TlServer &s)
{
    return QStringList { s.name, s.host, s.port, s.user, s.password, s.dn, s.bindDn, s.realm, s.version, s.filter,
        QString::number(s.scope), QString::number(s.security), QString::number(s.auth), QString::number(s.mech),
        s.sizelimit, s.timelimit, s.pagesize }
        .join(QLatin1Char('|'));
}

// The records a store reads from a file holding the given body, described.
QStringList readBack(TestDataDir &dir, const QString &file, const QByteArray &body)
{
    const QString path = dir.write(file, kDoctype + body);
    QStringList out;
    if (file == QLatin1String("contacts.xml")) {
        TXmlContacts store(path);
        const QList<TContact *> contacts = store.readContacts();
        for (const TContact *c : contacts)
            out << describe(*c);
        qDeleteAll(contacts);
    } else {
        TXmlLServer store(path);
        const QList<TlServer *> servers = store.loadServers();
        for (const TlServer *s : servers)
            out << describe(*s);
        qDeleteAll(servers);
    }
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

QByteArray contactXml(const QString &name, const QString &numbers, const QString &extra = QString())
{
    QString xml = QStringLiteral("<contact><name>%1</name><surname>S</surname>").arg(name);
    for (const QString &n : numbers.split(QLatin1Char(','), Qt::SkipEmptyParts))
        xml += QStringLiteral("<phone><number>%1</number><type>office</type></phone>").arg(n);
    return (xml + extra + QStringLiteral("</contact>")).toUtf8();
}

QByteArray serverXml(const QString &name, const QString &scope, const QString &extra = QString())
{
    return QStringLiteral("<server><name>%1</name><host>h</host><scope>%2</scope>%3</server>")
        .arg(name, scope, extra)
        .toUtf8();
}

} // namespace

class TestContactStores : public QObject
{
    Q_OBJECT

private slots:
    void readRules_data();
    void readRules();
    void writtenLayout();
    void roundTrips();
    void identity_data();
    void identity();
    void damagedFiles();
};

void TestContactStores::readRules_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("records");

    const QString contacts = QStringLiteral("contacts.xml");
    const QString servers = QStringLiteral("ldap_server.xml");
    QTest::newRow("empty number ends its phone")
        << contacts
        << QByteArray("<contacts><contact><phone><number>1</number><number/><type>home</type></phone>"
                      "<phone><number/><type>home</type></phone></contact></contacts>")
        << QStringList { "|||||1/2|" };
    QTest::newRow("no type reads office, \"Office\" reads 1, other texts 1")
        << contacts
        << QByteArray("<contacts><contact><phone><number>1</number></phone><phone><number>2</number>"
                      "<type>Office</type></phone><phone><number>3</number><type>fax</type></phone>"
                      "<phone><number>4</number><type>local</type></phone></contact></contacts>")
        << QStringList { "|||||1/2,2/1,3/1,4/5|" };
    QTest::newRow("later field wins, other tags and nested contacts ignored")
        << contacts
        << QByteArray("<book><contact><name>a</name><name>b</name><x>y</x><info>l1\nl2</info>"
                      "<contact><name>inner</name></contact></contact><note/><contact/></book>")
        << QStringList { "b||||l1\nl2||", "||||||" };
    QTest::newRow("blank-only values read back empty")
        << contacts
        << QByteArray("<contacts><contact><name>   </name><phone><number> </number></phone></contact></contacts>")
        << QStringList { "||||||" };
    QTest::newRow("missing children keep the defaults")
        << servers << QByteArray("<servers><server/><other/></servers>") << QStringList { "||389||||||3||1|1|2|1|||" };
    QTest::newRow("empty port stays empty, \"sub\" reads Base, empty auth reads Simple")
        << servers
        << QByteArray("<servers><server><port/><scope>sub</scope><auth/><security>TLS</security>"
                      "<mech>GSSAPI</mech><version>2</version></server></servers>")
        << QStringList { "||||||||2||1|3|2|3|||" };
}

void TestContactStores::readRules()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, body);
    QFETCH(QStringList, records);
    TestDataDir dir;
    QCOMPARE(readBack(dir, file, body), records);
}

void TestContactStores::writtenLayout()
{
    TestDataDir dir;
    TXmlContacts contacts(dir.filePath(QStringLiteral("contacts.xml")));
    QVERIFY(contacts.createFile(QStringLiteral("contacts")));
    QCOMPARE(dir.read(QStringLiteral("contacts.xml")), kDoctype + "<contacts/>\n");
    QCOMPARE(QFile::permissions(dir.filePath(QStringLiteral("contacts.xml"))),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser);

    TContact empty;
    TContact full;
    full.name = QStringLiteral("Ann");
    full.company = QStringLiteral("A&B");
    full.phones = { QStringLiteral("12"), QStringLiteral("34") };
    full.phoneTypes = { PhoneMobile, TPhoneType(9) };
    full.phoneDef = QStringLiteral("12");
    contacts.addContact(&empty);
    contacts.addContact(&full);
    QVERIFY(contacts.saveNow());
    QCOMPARE(dir.read(QStringLiteral("contacts.xml")),
        kDoctype
            + "<contacts>\n"
              "    <contact>\n"
              "        <name></name>\n        <surname></surname>\n        <company></company>\n"
              "        <address></address>\n        <info></info>\n        <phone_def></phone_def>\n"
              "    </contact>\n"
              "    <contact>\n"
              "        <name>Ann</name>\n        <surname></surname>\n        <company>A&amp;B</company>\n"
              "        <address></address>\n        <info></info>\n"
              "        <phone>\n            <number>12</number>\n            <type>mobile</type>\n        </phone>\n"
              "        <phone>\n            <number>34</number>\n            <type></type>\n        </phone>\n"
              "        <phone_def>12</phone_def>\n"
              "    </contact>\n"
              "</contacts>\n");

    // Values out of range are written as their fallbacks; the password as it is.
    TXmlLServer servers(dir.filePath(QStringLiteral("ldap_server.xml")));
    servers.createFile(QStringLiteral("servers"));
    TlServer odd;
    odd.password = QStringLiteral("plain pw");
    odd.scope = 7;
    odd.auth = 0;
    servers.addServer(&odd);
    servers.saveNow();
    const QByteArray written = dir.read(QStringLiteral("ldap_server.xml"));
    for (const char *text : { "<password>plain pw</password>", "<scope>Base</scope>", "<auth>Simple</auth>" })
        QVERIFY2(written.contains(text), text);
}

void TestContactStores::roundTrips()
{
    TestDataDir dir;
    const QString texts[] = { QStringLiteral("Ærøskøbing 東京 \U0001F600"), QStringLiteral("line 1\nline 2\n\nline 4"),
        QStringLiteral("a & b < c > d \"e\" 'f'"), QStringLiteral("bell\a and\x01 escape\x1b gone") };
    const QString kept[] = { texts[0], texts[1], texts[2], QStringLiteral("bell and escape gone") };
    {
        TXmlContacts store(dir.filePath(QStringLiteral("contacts.xml")));
        store.createFile(QStringLiteral("contacts"));
        TlServer server;
        TXmlLServer servers(dir.filePath(QStringLiteral("ldap_server.xml")));
        servers.createFile(QStringLiteral("servers"));
        for (const QString &text : texts) {
            TContact c;
            c.name = text;
            c.info = text;
            c.phones = { text };
            c.phoneTypes = { PhoneHome };
            store.addContact(&c);
            server.name = text;
            server.password = text;
            servers.addServer(&server);
        }
        // Written on the store's thread; the destructor waits for it.
        store.saveLater();
        servers.saveNow();
    }
    TXmlContacts store(dir.filePath(QStringLiteral("contacts.xml")));
    const QList<TContact *> contacts = store.readContacts();
    TXmlLServer servers(dir.filePath(QStringLiteral("ldap_server.xml")));
    const QList<TlServer *> loaded = servers.loadServers();
    QCOMPARE(contacts.size(), 4);
    QCOMPARE(loaded.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(contacts.at(i)->name, kept[i]);
        QCOMPARE(contacts.at(i)->info, kept[i]);
        QCOMPARE(contacts.at(i)->phones, QList<QString> { kept[i] });
        QCOMPARE(loaded.at(i)->password, kept[i]);
    }
    qDeleteAll(contacts);
    qDeleteAll(loaded);
}

void TestContactStores::identity_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("body"); // children of the document element
    QTest::addColumn<int>("target"); // index of the record acted on
    QTest::addColumn<bool>("remove"); // else replace

    const QString contacts = QStringLiteral("contacts.xml");
    const QString servers = QStringLiteral("ldap_server.xml");
    const QByteArray b = contactXml(QStringLiteral("B"), QStringLiteral("1"));
    QTest::newRow("duplicates: the second") << contacts << b + b << 1 << true;
    QTest::newRow("subset before: delete")
        << contacts
        << contactXml(QStringLiteral("A"), QString()) + contactXml(QStringLiteral("A"), QStringLiteral("1,2")) << 1
        << true;
    QTest::newRow("subset before: edit") << contacts
                                         << contactXml(QStringLiteral("A"), QStringLiteral("1"))
            + contactXml(QStringLiteral("A"), QStringLiteral("1,2"))
                                         << 1 << false;
    QTest::newRow("annotated: extra tag")
        << contacts << contactXml(QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("<x>kept</x>")) << 0
        << false;
    QTest::newRow("annotated: comment") << contacts
                                        << contactXml(QStringLiteral("A"), QStringLiteral("1"),
                                               QStringLiteral("<!-- note -->"))
                                        << 0 << true;
    QTest::newRow("differing only in scope") << servers
                                             << serverXml(QStringLiteral("S"), QStringLiteral("Base"))
            + serverXml(QStringLiteral("S"), QStringLiteral("Sub"))
                                             << 1 << false;
    QTest::newRow("empty server ahead") << servers
                                        << QByteArray("<server/>")
            + serverXml(QStringLiteral("S"), QStringLiteral("One"))
                                        << 1 << true;
    QTest::newRow("annotated server") << servers
                                      << serverXml(
                                             QStringLiteral("S"), QStringLiteral("One"), QStringLiteral("<!-- x -->"))
                                      << 0 << false;
}

void TestContactStores::identity()
{
    QFETCH(QString, file);
    QFETCH(QByteArray, body);
    QFETCH(int, target);
    QFETCH(bool, remove);

    TestDataDir dir;
    const bool contacts = file == QLatin1String("contacts.xml");
    const QByteArray root = contacts ? "contacts" : "servers";
    const QString path = dir.write(file, kDoctype + "<" + root + ">" + body + "</" + root + ">");
    QStringList before;
    if (contacts) {
        TXmlContacts store(path);
        const QList<TContact *> records = store.readContacts();
        before = elements((store.saveNow(), dir.read(file)));
        TContact edited;
        edited = *records.at(target);
        edited.name = QStringLiteral("Edited");
        remove ? store.deleteContact(records.at(target)) : store.updateContact(records.at(target), &edited);
        store.saveNow();
        qDeleteAll(records);
    } else {
        TXmlLServer store(path);
        const QList<TlServer *> records = store.loadServers();
        before = elements((store.saveNow(), dir.read(file)));
        TlServer edited;
        edited.copyFrom(*records.at(target));
        edited.name = QStringLiteral("Edited");
        remove ? store.removeServer(records.at(target)) : store.replaceServer(records.at(target), &edited);
        store.saveNow();
        qDeleteAll(records);
    }
    // Only the target's element changed; every other stays byte for byte.
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
    dir.write(QStringLiteral("contacts.xml"), broken);
    {
        TXmlContacts store(dir.filePath(QStringLiteral("contacts.xml")));
        QVERIFY(store.readContacts().isEmpty());
        QVERIFY(store.createFile(QStringLiteral("contacts")));
    }
    QCOMPARE(dir.read(QStringLiteral("contacts.xml.bad")), broken);
    QCOMPARE(dir.read(QStringLiteral("contacts.xml")), kDoctype + "<contacts/>\n");

    // A file that cannot be read (here a folder in its place, which stops root
    // too) is never written over.
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("ldap_server.xml")));
    const QString marker = dir.write(QStringLiteral("ldap_server.xml/keep"), "x");
    TXmlLServer store(dir.filePath(QStringLiteral("ldap_server.xml")));
    QVERIFY(store.loadServers().isEmpty());
    QVERIFY(!store.createFile(QStringLiteral("servers")));
    TlServer server;
    store.addServer(&server);
    QVERIFY(!store.saveNow());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("ldap_server.xml"))).isDir());
    QVERIFY(QFile::exists(marker));
}

QTEST_GUILESS_MAIN(TestContactStores)
#include "tst_contactstores.moc"
