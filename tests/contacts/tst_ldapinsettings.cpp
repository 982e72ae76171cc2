// The LDAP server list as the settings dialog hosts it: the captions of its
// pages, Apply and Back on its forms, and what an add, an edit and a delete
// leave in "ldap_server.xml".

#include <QSignalSpy>
#include <QTest>

#include "contacts/TQuorLdapSettings.h"
#include "contacts/TlServer.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"
#include "settings/TQuorSettings.h"
#include "testsupport/TestDataDir.h"

namespace {

const QByteArray kMain = "<server><name>Main</name><host>10.0.0.5</host><port>389</port><user>reader</user>"
                         "<password>pw</password><dn>dc=example,dc=org</dn><bindDn/><realm/>";

} // namespace

class TestLdapInSettings : public QObject
{
    Q_OBJECT

private slots:
    void untouchedAdd();
    void pagesAndCaptions();
    void editKeepsHiddenFields();
    void lastEntryDeleted();
};

void TestLdapInSettings::untouchedAdd()
{
    TestDataDir dir;
    TQuorSettings settings;
    QCOMPARE(dir.read(QStringLiteral("ldap_server.xml")), QByteArray("<!DOCTYPE xmlreader>\n<servers/>\n"));
    auto *ldap = settings.findChild<TQuorLdapSettings *>();
    // The page keeps its bar inside the dialog, never as a window of its own.
    QCOMPARE(ldap->scrollBar()->parentWidget(), &settings);
    emit settings.buttonContact->released();
    QTest::keyClick(ldap->serverList(), Qt::Key_N, Qt::ControlModifier);
    // The port takes five characters when typed.
    QTest::keyClicks(ldap->editPort, QStringLiteral("123"));
    QCOMPARE(ldap->editPort->text(), QStringLiteral("38912"));
    ldap->editPort->setText(QStringLiteral("389"));
    QTest::keyClick(ldap->editName, Qt::Key_Return);

    QByteArray expected = "<!DOCTYPE xmlreader>\n<servers>\n    <server>\n";
    const char *children[][2] = { { "name", "" }, { "host", "" }, { "port", "389" }, { "user", "" }, { "password", "" },
        { "dn", "" }, { "bindDn", "" }, { "realm", "" }, { "version", "3" }, { "filter", "" }, { "scope", "Base" },
        { "security", "None" }, { "auth", "Anonymous" }, { "mech", "PLAIN" }, { "sizelimit", "" }, { "timelimit", "" },
        { "pagesize", "" } };
    for (const auto &child : children)
        expected += QByteArray("        <") + child[0] + ">" + child[1] + "</" + child[0] + ">\n";
    QCOMPARE(dir.read(QStringLiteral("ldap_server.xml")), expected + "    </server>\n</servers>\n");
    QVERIFY(ldap->selected()); // adding to the empty list selects the new entry
}

void TestLdapInSettings::pagesAndCaptions()
{
    TestDataDir dir;
    dir.write(QStringLiteral("ldap_server.xml"), "<servers>" + kMain + "</server></servers>");
    TQuorSettings settings;
    settings.show();
    auto *ldap = settings.findChild<TQuorLdapSettings *>();
    QVERIFY(!ldap->isVisible());
    // The menu never shows the button; the page is reached through its signal.
    emit settings.buttonContact->released();
    QCOMPARE(settings.labelCaption->text(), QStringLiteral("Contact settings"));
    QVERIFY(ldap->isVisible());
    const std::pair<void (TQuorLdapSettings::*)(), const char *> forms[] = {
        { &TQuorLdapSettings::addServer, "LDAP Add Server" },
        { &TQuorLdapSettings::editServer, "LDAP Edit Server" },
        { &TQuorLdapSettings::delServer, "LDAP Delete Server" },
    };
    for (const auto &[open, caption] : forms) {
        (ldap->*open)();
        QCOMPARE(settings.currentPage(), int(PageContactForm));
        QCOMPARE(settings.labelCaption->text(), QLatin1String(caption));
        // Back on a form returns to the list, with Apply and Back still there.
        QTest::mouseClick(settings.buttonBack, Qt::LeftButton);
        QCOMPARE(settings.currentPage(), int(PageContactList));
        QCOMPARE(settings.labelCaption->text(), QStringLiteral("Contact settings"));
        QCOMPARE(ldap->currentMode(), int(LdapList));
        QVERIFY(settings.buttonApply->isVisible());
    }

    // Apply on the add form saves and stays on the list.
    ldap->addServer();
    ldap->editName->setText(QStringLiteral("Backup"));
    QTest::mouseClick(settings.buttonApply, Qt::LeftButton);
    QCOMPARE(settings.currentPage(), int(PageContactList));
    QCOMPARE(ldap->serverList()->rows().at(0)->text(), QStringLiteral("Backup\nLDAP"));
    QCOMPARE(ldap->serverList()->rows().at(0)->toolTipText(), QStringLiteral("service LDAP on Backup"));
    QVERIFY(dir.read(QStringLiteral("ldap_server.xml")).contains("<name>Backup</name>"));
    // Back on the list leaves the page for the menu.
    QTest::mouseClick(settings.buttonBack, Qt::LeftButton);
    QCOMPARE(settings.currentPage(), int(PageMenu));
    QVERIFY(!ldap->isVisible());
}

void TestLdapInSettings::editKeepsHiddenFields()
{
    TestDataDir dir;
    dir.write(QStringLiteral("ldap_server.xml"),
        "<servers>" + kMain
            + "<version>2</version><filter>(objectClass=person)</filter><scope>Sub</scope><sizelimit>50</sizelimit>"
              "<timelimit>9</timelimit><pagesize>20</pagesize></server></servers>");
    TQuorSettings settings;
    auto *ldap = settings.findChild<TQuorLdapSettings *>();
    emit settings.buttonContact->released();
    ldap->selected()->port = QStringLiteral("3890123");
    ldap->editServer();
    QCOMPARE(ldap->comboScope->currentText(), QStringLiteral("Sub"));
    // A stored port longer than what may be typed comes back whole.
    QCOMPARE(ldap->editPort->text(), QStringLiteral("3890123"));
    ldap->editName->setText(QStringLiteral("Primary"));
    settings.settingsApply();

    const QByteArray file = dir.read(QStringLiteral("ldap_server.xml"));
    for (const char *kept : { "<name>Primary</name>", "<port>3890123</port>", "<version>2</version>",
             "<filter>(objectClass=person)</filter>", "<sizelimit>50</sizelimit>", "<timelimit>9</timelimit>",
             "<pagesize>20</pagesize>", "<scope>Sub</scope>" })
        QVERIFY2(file.contains(kept), kept);
    QCOMPARE(ldap->serverList()->rows().at(0)->text(), QStringLiteral("Primary LDAP"));
    // An add still starts from the defaults, with the last choices of the combos.
    ldap->addServer();
    ldap->editName->setText(QStringLiteral("New"));
    settings.settingsApply();
    QVERIFY(dir.read(QStringLiteral("ldap_server.xml"))
                .contains("<name>New</name>\n        <host></host>\n        <port>389</port>"));
    QVERIFY(dir.read(QStringLiteral("ldap_server.xml"))
                .contains("<version>3</version>\n        <filter></filter>\n        <scope>Sub</scope>"));
}

void TestLdapInSettings::lastEntryDeleted()
{
    TestDataDir dir;
    dir.write(QStringLiteral("ldap_server.xml"), "<!DOCTYPE xmlreader>\n<servers>" + kMain + "</server></servers>");
    TQuorSettings settings;
    auto *ldap = settings.findChild<TQuorLdapSettings *>();
    emit settings.buttonContact->released();
    ldap->delServer();
    QCOMPARE(ldap->labelNameDel->text(), QStringLiteral("Main"));
    settings.settingsApply();
    QCOMPARE(settings.currentPage(), int(PageContactList));
    QCOMPARE(ldap->serverList()->rowCount(), 0);
    QCOMPARE(ldap->selected(), nullptr);
    QCOMPARE(dir.read(QStringLiteral("ldap_server.xml")), QByteArray("<!DOCTYPE xmlreader>\n<servers/>\n"));
    // Nothing is selected: Return, edit and delete leave the list as it is.
    QSignalSpy modes(ldap, &TQuorLdapSettings::modeChanged);
    QTest::keyClick(ldap->serverList(), Qt::Key_Return);
    ldap->editServer();
    ldap->delServer();
    QCOMPARE(modes.count(), 0);
}

QTEST_MAIN(TestLdapInSettings)
#include "tst_ldapinsettings.moc"
