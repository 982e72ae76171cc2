// The LDAP server list as the settings dialog hosts it: its pages, Apply and
// Back, and what an add, an edit and a delete leave in "ldap_server.xml".

#include <QSignalSpy>
#include <QTest>

#include "contacts/TQuorLdapSettings.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"
#include "settings/TQuorSettings.h"
#include "testsupport/TestDataDir.h"

class TestLdapInSettings : public QObject
{
    Q_OBJECT

private slots:
    void untouchedAddAndLastDelete();
    void pagesAndEdits();
};

void TestLdapInSettings::untouchedAddAndLastDelete()
{
    TestDataDir dir;
    TQuorSettings settings;
    QCOMPARE(dir.read(QStringLiteral("ldap_server.xml")), QByteArray("<!DOCTYPE xmlreader>\n<servers/>\n"));
    auto *ldap = settings.findChild<TQuorLdapSettings *>();
    // The page keeps its bar inside the dialog, never as a window of its own.
    QCOMPARE(ldap->scrollBar()->parentWidget(), &settings);
    emit settings.buttonContact->released();
    QTest::keyClick(ldap->serverList(), Qt::Key_N, Qt::ControlModifier);
    QTest::keyClick(ldap->editName, Qt::Key_Return);

    const QByteArray added = dir.read(QStringLiteral("ldap_server.xml"));
    for (const char *text :
        { "<port>389</port>", "<version>3</version>", "<scope>Base</scope>", "<auth>Anonymous</auth>" })
        QVERIFY2(added.contains(text), text);
    QVERIFY(ldap->selected()); // adding to the empty list selects the new entry

    // Deleting the last entry leaves nothing selected, and Return, edit and
    // delete then leave the list as it is.
    ldap->delServer();
    settings.settingsApply();
    QCOMPARE(settings.currentPage(), int(PageContactList));
    QCOMPARE(ldap->selected(), nullptr);
    QCOMPARE(dir.read(QStringLiteral("ldap_server.xml")), QByteArray("<!DOCTYPE xmlreader>\n<servers/>\n"));
    QSignalSpy modes(ldap, &TQuorLdapSettings::modeChanged);
    QTest::keyClick(ldap->serverList(), Qt::Key_Return);
    ldap->editServer();
    ldap->delServer();
    QCOMPARE(modes.count(), 0);
}

void TestLdapInSettings::pagesAndEdits()
{
    TestDataDir dir;
    dir.write(QStringLiteral("ldap_server.xml"),
        "<servers><server><name>Main</name><host>10.0.0.5</host><port>3890123</port><password>pw</password>"
        "<version>2</version><filter>(objectClass=person)</filter><scope>Sub</scope><sizelimit>50</sizelimit>"
        "<timelimit>9</timelimit><pagesize>20</pagesize></server></servers>");
    TQuorSettings settings;
    settings.show();
    auto *ldap = settings.findChild<TQuorLdapSettings *>();
    // The menu never shows the button; the page is reached through its signal.
    emit settings.buttonContact->released();
    QVERIFY(ldap->isVisible());
    // Back on a form returns to the list, with Apply and Back still there.
    ldap->editServer();
    QTest::mouseClick(settings.buttonBack, Qt::LeftButton);
    QCOMPARE(settings.labelCaption->text(), QStringLiteral("Contact settings"));
    QVERIFY(ldap->currentMode() == LdapList && settings.buttonApply->isVisible());
    // An edit keeps what its page does not show, and a stored port longer
    // than what may be typed.
    ldap->editServer();
    QCOMPARE(ldap->comboScope->currentText(), QStringLiteral("Sub"));
    QCOMPARE(ldap->editPort->text(), QStringLiteral("3890123"));
    ldap->editName->setText(QStringLiteral("Primary"));
    settings.settingsApply();
    QByteArray file = dir.read(QStringLiteral("ldap_server.xml"));
    for (const char *kept : { "<name>Primary</name>", "<port>3890123</port>", "<version>2</version>",
             "<filter>(objectClass=person)</filter>", "<sizelimit>50</sizelimit>", "<timelimit>9</timelimit>",
             "<pagesize>20</pagesize>", "<scope>Sub</scope>" })
        QVERIFY2(file.contains(kept), kept);
    QCOMPARE(ldap->serverList()->rows().at(0)->text(), QStringLiteral("Primary LDAP"));

    // Apply on the add form saves and stays on the list; an add starts from
    // the defaults, with the last choices of the combos.
    ldap->addServer();
    ldap->editName->setText(QStringLiteral("Backup"));
    QTest::mouseClick(settings.buttonApply, Qt::LeftButton);
    QCOMPARE(settings.currentPage(), int(PageContactList));
    QCOMPARE(ldap->serverList()->rows().at(0)->text(), QStringLiteral("Backup\nLDAP"));
    QCOMPARE(ldap->serverList()->rows().at(0)->toolTipText(), QStringLiteral("service LDAP on Backup"));
    file = dir.read(QStringLiteral("ldap_server.xml"));
    QVERIFY(file.contains("<name>Backup</name>\n        <host></host>\n        <port>389</port>"));
    QVERIFY(file.contains("<version>3</version>\n        <filter></filter>\n        <scope>Sub</scope>"));
    // Back on the list leaves the page for the menu.
    QTest::mouseClick(settings.buttonBack, Qt::LeftButton);
    QCOMPARE(settings.currentPage(), int(PageMenu));
    QVERIFY(!ldap->isVisible());
}

QTEST_MAIN(TestLdapInSettings)
#include "tst_ldapinsettings.moc"
