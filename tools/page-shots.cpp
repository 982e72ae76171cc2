// Writes pictures of every page of the settings dialog, of the LDAP server
// pages and of the address book as the phone window shows it, to look at after
// changing their forms, images or style sheets:
//   QT_QPA_PLATFORM=offscreen build/dev/bin/page-shots [directory]
// Runs in a temporary data directory, the phone against the loopback fake PBX
// of the tests; the pictures go to the directory (default: the current one).

#include <QApplication>
#include <QFile>
#include <QTest>

#include <cstdio>

#include "contacts/TQuorContacts.h"
#include "contacts/TQuorLdapSettings.h"
#include "contacts/TQuorPhoneTable.h"
#include "core/Paths.h"
#include "core/XmlReader.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");

void writeData(quint16 pbxPort)
{
    XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
    xml.createRoot(QStringLiteral("quorer"));
    xml.addValue(QStringLiteral("server"), QStringLiteral("127.0.0.1"), QStringLiteral("agent"));
    xml.addValue(QStringLiteral("port"), QString::number(pbxPort), QStringLiteral("agent"));
    xml.addValue(QStringLiteral("uname"), kUser, QStringLiteral("agent"));
    xml.addValue(QStringLiteral("passwd"), TQuorSettings::scramblePassword(kSecret), QStringLiteral("agent"));
    xml.save();

    QByteArray contacts = "<contacts><contact><name>Anna</name><surname>Berg</surname><company>Nordhafen GmbH"
                          "</company><phone><number>5550101</number><type>office</type></phone><phone><number>"
                          "3471234567</number><type>mobile</type></phone><phone><number>5550177</number><type>home"
                          "</type></phone><phone><number>301</number><type>local</type></phone><phone_def>3471234567"
                          "</phone_def></contact>";
    for (const char *name :
        { "Carlo Rossi", "Dana Scott", "Elena Ferri", "Frank Moser", "Greta Lind", "Hugo Brandt", "Ines Costa" }) {
        const QStringList parts = QString::fromLatin1(name).split(u' ');
        contacts += QStringLiteral("<contact><name>%1</name><surname>%2</surname><phone><number>5550400</number>"
                                   "<type>office</type></phone><phone_def>5550400</phone_def></contact>")
                        .arg(parts.at(0), parts.at(1))
                        .toUtf8();
    }
    QFile file(Paths::dataFile(QStringLiteral("contacts.xml")));
    if (file.open(QIODevice::WriteOnly))
        file.write(contacts + "</contacts>");

    QByteArray servers = "<servers>";
    for (const char *name : { "Head office", "Branch Milan", "Branch Lyon", "Archive", "Partners", "Staff" })
        servers += QByteArray("<server><name>") + name
            + "</name><host>10.0.0.5</host><port>389</port><dn>dc=example,dc=org</dn></server>";
    QFile serverFile(Paths::dataFile(QStringLiteral("ldap_server.xml")));
    if (serverFile.open(QIODevice::WriteOnly))
        serverFile.write(servers + "</servers>");
}

// Each page of the dialog alone, and each sub-form over its page.
void shootSettings()
{
    TQuorSettings settings;
    settings.resize(170, 415);
    settings.show();
    const QList<QWidget *> pages { settings.frameSelect, settings.framePhone, settings.framePhoneOptions,
        settings.frameManager, settings.frameActions, settings.frameAdmin, settings.frameFilters, settings.frameCodecs,
        settings.frameAudioOpt, settings.frameAbout, settings.frameAgent };
    const QList<QWidget *> subForms { settings.frameOptVM, settings.frameOptFWD, settings.frameOptDND,
        settings.frameOptSpeex };
    QList<QList<QWidget *>> screens;
    for (QWidget *page : pages)
        screens.append({ page });
    for (QWidget *sub : subForms)
        screens.append({ sub == settings.frameOptSpeex ? settings.frameCodecs : settings.framePhoneOptions, sub });
    for (const auto &screen : screens) {
        for (QWidget *w : pages + subForms)
            w->setVisible(screen.contains(w));
        const bool menu = screen.first() == settings.frameSelect || screen.first() == settings.frameAgent;
        settings.buttonApply->setVisible(!menu);
        settings.buttonBack->setVisible(!menu);
        printWidgetShot(&settings, QStringLiteral("settings-") + screen.last()->objectName());
    }
}

// The LDAP server list, edit and delete pages as the dialog hosts them.
void shootLdap()
{
    TQuorSettings settings;
    settings.hideStatusStrip();
    settings.show();
    auto *ldap = settings.findChild<TQuorLdapSettings *>();
    emit settings.buttonContact->released();
    printWidgetShot(&settings, QStringLiteral("ldap-list"));
    ldap->editServer();
    printWidgetShot(&settings, QStringLiteral("ldap-edit"));
    ldap->serverBack();
    ldap->delServer();
    printWidgetShot(&settings, QStringLiteral("ldap-delete"));
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    useShotDirFromArguments(argc, argv);

    TestDataDir data;
    FakePbx pbx;
    pbx.addUser(kUser, kSecret);
    writeData(pbx.port());
    shootSettings();

    // As the program shows them, under its style sheet.
    QFile css(QStringLiteral(":/ui/css/app.css"));
    if (css.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(css.readAll()));
    shootLdap();

    TQuorSettings settings;
    TQuorPhone::Options options;
    options.voip.engine.bindAddress = "127.0.0.1";
    options.voip.engine.port = 0;
    options.voip.useSoundCard = false;
    options.clickToDialPort = -1;
    TQuorPhone phone(&settings, options);
    if (!QTest::qWaitFor([&] { return pbx.regAcks() >= 1; }, 5000)) {
        std::fprintf(stderr, "the phone did not register at the fake PBX\n");
        return 1;
    }
    phone.show();
    phone.showContacts();
    TQuorContacts *book = phone.contacts();
    printWidgetShot(&phone, QStringLiteral("contacts-list"));
    book->editContact();
    book->phoneEditor()->removeRow(3);
    printWidgetShot(&phone, QStringLiteral("contacts-edit"));
    book->contactBack();
    book->delContact();
    printWidgetShot(&phone, QStringLiteral("contacts-delete"));
    book->contactBack();
    book->searchContact();
    book->boxSearchField1->setCurrentIndex(3);
    book->boxSearchField2->setCurrentIndex(1);
    book->contactApply();
    book->editCustomSearch->setText(QStringLiteral("Sc"));
    printWidgetShot(&phone, QStringLiteral("contacts-search"));

    phone.setExitFunction([](int) {});
    phone.beforeQuit();
    return 0;
}
