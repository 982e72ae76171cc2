#include <QFile>
#include <QRegularExpression>
#include <QTest>

#include "core/Paths.h"
#include "settings/PrivacyDataFile.h"
#include "SettingsTestHelpers.h"
#include "testsupport/TestDataDir.h"

class TestSettingsModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstStartWritesEveryDefault();
    void missingKeysAreCompleted();
    void corruptFileIsKeptAside();
    void scrambledPasswords_data();
    void scrambledPasswords();
    void portsFallBack_data();
    void portsFallBack();
    void audioDevicesByName();
    void ownPrivacyDataWins();
    void togglesAndSetters();
};

void TestSettingsModel::initTestCase()
{
    Paths::init();
    QVERIFY2(QFile::exists(TQuorSettings::shippedPrivacyDataPath()), "the build copies the shipped quorer.dat");
}

void TestSettingsModel::firstStartWritesEveryDefault()
{
    TestDataDir dir;
    {
        TQuorSettings settings;
        settings.loadAll();
    }
    const QString path = dir.filePath(QStringLiteral("quorer.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readLine().startsWith("<!DOCTYPE"));
    file.close();

    const QFileDevice::Permissions others
        = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(path) & others, QFileDevice::Permissions());

    bool ok = false;
    const QDomDocument doc = readXml(path, &ok);
    QVERIFY(ok);
    QCOMPARE(doc.documentElement().tagName(), QStringLiteral("quorer"));
    QCOMPARE(sectionNames(doc),
        (QStringList { QStringLiteral("agent"), QStringLiteral("options"), QStringLiteral("audio"),
            QStringLiteral("filters"), QStringLiteral("codecs"), QStringLiteral("speex"), QStringLiteral("manager"),
            QStringLiteral("actions"), QStringLiteral("agentLogin") }));

    const char *const expected[][3] = {
        { "agent", "server", "127.0.0.1" },
        { "agent", "port", "4569" },
        { "agent", "uname", "" },
        { "agent", "passwd", "" },
        { "agent", "cidname", "Type name" },
        { "agent", "cidnum", "Type number" },
        { "options", "traicon", "yes" },
        { "options", "ontop", "no" },
        { "options", "busy", "no" },
        { "options", "dnd", "no" },
        { "options", "forward", "no" },
        { "options", "vm", "no" },
        { "options", "ag", "no" },
        { "options", "parking_lot", "70" },
        { "options", "dnd_fam", "DND" },
        { "options", "dnd_num", "*78" },
        { "options", "fwd_num", "forward number here" },
        { "options", "forward_vm", "no" },
        { "options", "asterisk_fwd_all", "yes" },
        { "options", "asterisk_fwd_busy", "no" },
        { "options", "asterisk_fwd_na", "no" },
        { "options", "ast_fwd_fam_1", "CF" },
        { "options", "ast_fwd_fam_2", "CFB" },
        { "options", "ast_fwd_fam_3", "CFU" },
        { "options", "vm_number", "" },
        { "options", "vm_user", "" },
        { "options", "vm_passwd", "" },
        { "options", "vm_preffix", "" },
        { "audio", "input_dev", "" },
        { "audio", "output_dev", "" },
        { "audio", "ringing_dev", "" },
        { "audio", "ringInBothDevs", "no" },
        { "audio", "muteRing", "no" },
        { "filters", "denoise", "yes" },
        { "filters", "agc", "yes" },
        { "filters", "echo", "no" },
        { "filters", "aagc", "yes" },
        { "filters", "cn", "yes" },
        { "codecs", "gsm", "yes" },
        { "codecs", "ulaw", "yes" },
        { "codecs", "alaw", "yes" },
        { "codecs", "speex", "yes" },
        { "codecs", "ilbc", "no" },
        { "codecs", "default", "gsm" },
        { "speex", "default", "yes" },
        { "speex", "decode_enhance", "yes" },
        { "speex", "quality", "-1" },
        { "speex", "cbr", "-1" },
        { "speex", "vbr", "no" },
        { "speex", "abr", "8000" },
        { "speex", "complexity", "3" },
        { "manager", "use_phone_ip", "yes" },
        { "manager", "port", "5038" },
        { "manager", "uname", "quor" },
        { "manager", "use_freepbx", "no" },
        { "actions", "act_in", "no" },
        { "actions", "act_crm", "no" },
        { "actions", "act_out", "no" },
        { "actions", "act_a1", "no" },
        { "actions", "opt_AppIn", "" },
        { "actions", "opt_ScrIn", "" },
        { "actions", "opt_ActCRM", "" },
        { "actions", "opt_AppOut", "" },
        { "actions", "opt_ScrOut", "" },
        { "agentLogin", "agentid", "" },
        { "agentLogin", "penalty", "0" },
    };
    for (const auto &row : expected) {
        const QString value = xmlValue(doc, QLatin1String(row[0]), QLatin1String(row[1]));
        QVERIFY2(!value.isNull(), qPrintable(QStringLiteral("missing %1/%2").arg(row[0], row[1])));
        QCOMPARE(value, QString::fromLatin1(row[2]));
    }
    // With the phone's address in use the manager section has no server of its own.
    QVERIFY(xmlValue(doc, QStringLiteral("manager"), QStringLiteral("server")).isNull());

    const QString managerPasswd = xmlValue(doc, QStringLiteral("manager"), QStringLiteral("passwd"));
    QVERIFY(!managerPasswd.isEmpty());
    QVERIFY(managerPasswd != TQuorSettings::builtInManagerPassword());
    QCOMPARE(TQuorSettings::unscramblePassword(managerPasswd), TQuorSettings::builtInManagerPassword());
}

void TestSettingsModel::missingKeysAreCompleted()
{
    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"),
        "<!DOCTYPE xmlreader>\n<quorer>\n"
        " <agent><server>10.0.0.5</server><uname>201</uname></agent>\n"
        " <options><ontop>yes</ontop><asterisk_fwd_all>no</asterisk_fwd_all>"
        "<asterisk_fwd_busy>yes</asterisk_fwd_busy><ast_fwd_fam_2>BUSYFAM</ast_fwd_fam_2></options>\n"
        " <codecs><ilbc>yes</ilbc><default>bogus</default></codecs>\n"
        " <speex><quality>12</quality><complexity>x</complexity></speex>\n"
        " <manager><use_phone_ip>no</use_phone_ip><server>10.0.0.9</server><passwd>"
            + TQuorSettings::scramblePassword(QStringLiteral("s3cret")).toLatin1()
            + "</passwd></manager>\n"
              "</quorer>\n");
    TQuorSettings settings;
    settings.loadAll();

    const QDomDocument doc = readXml(dir.filePath(QStringLiteral("quorer.xml")));
    QCOMPARE(xmlValue(doc, QStringLiteral("agent"), QStringLiteral("server")), QStringLiteral("10.0.0.5"));
    QCOMPARE(xmlValue(doc, QStringLiteral("agent"), QStringLiteral("port")), QStringLiteral("4569"));
    QCOMPARE(xmlValue(doc, QStringLiteral("options"), QStringLiteral("ontop")), QStringLiteral("yes"));
    QCOMPARE(xmlValue(doc, QStringLiteral("options"), QStringLiteral("dnd_fam")), QStringLiteral("DND"));
    QCOMPARE(xmlValue(doc, QStringLiteral("codecs"), QStringLiteral("default")), QStringLiteral("gsm"));
    QCOMPARE(xmlValue(doc, QStringLiteral("manager"), QStringLiteral("server")), QStringLiteral("10.0.0.9"));
    QCOMPARE(xmlValue(doc, QStringLiteral("actions"), QStringLiteral("act_in")), QStringLiteral("no"));
    // Stored as typed even where the model corrects the value.
    QCOMPARE(xmlValue(doc, QStringLiteral("speex"), QStringLiteral("quality")), QStringLiteral("12"));
    // The agent id defaults to the PBX user name.
    QCOMPARE(xmlValue(doc, QStringLiteral("agentLogin"), QStringLiteral("agentid")), QStringLiteral("201"));

    // "Use Speex defaults" hands the phone the fixed values.
    int enhance = 0, cbr = 0, vbr = 1, abr = 0, complexity = 0;
    float quality = 0;
    settings.getSpeexSettings(&enhance, &quality, &cbr, &vbr, &abr, &complexity);
    QCOMPARE(QList<int>({ enhance, cbr, vbr, abr, complexity }), QList<int>({ 1, -1, 0, 8000, 3 }));

    int allowed = 0, preferred = 0;
    settings.getCodecs(&allowed, &preferred);
    QCOMPARE(allowed, 2 | 4 | 8 | 512 | 1024);
    QCOMPARE(preferred, 2);

    QString host, user, secret;
    quint16 port = 0;
    bool privacy, freePbx;
    settings.getManagerSettings(&host, &port, &user, &secret, &privacy, &freePbx);
    QCOMPARE(host, QStringLiteral("10.0.0.9"));
    QCOMPARE(secret, QStringLiteral("s3cret"));

    bool busy, onTop, dnd, forward, vm, forwardVm, agent;
    QString dndFamily, dndCode, fwdNumber, fwdFamily;
    settings.getPhoneOptions(
        &busy, &onTop, &dnd, &dndFamily, &dndCode, &forward, &fwdNumber, &fwdFamily, &vm, &forwardVm, &agent);
    QVERIFY(onTop);
    QCOMPARE(fwdFamily, QStringLiteral("BUSYFAM"));

    QString agentUser, agentId, penalty;
    settings.getAgentLogin(&agentUser, &agentId, &penalty);
    QCOMPARE(agentId, QStringLiteral("201"));
    QCOMPARE(penalty, QStringLiteral("0"));

    // A second load finds nothing to add and rewrites nothing.
    const QByteArray before = dir.read(QStringLiteral("quorer.xml"));
    TQuorSettings again;
    again.loadAll();
    QCOMPARE(dir.read(QStringLiteral("quorer.xml")), before);
}

void TestSettingsModel::corruptFileIsKeptAside()
{
    TestDataDir dir;
    const QByteArray broken = "<!DOCTYPE xmlreader>\n<quorer><agent><server>10.0.0.5</ser";
    dir.write(QStringLiteral("quorer.xml"), broken);

    TQuorSettings settings;
    settings.loadAll();
    QCOMPARE(dir.read(QStringLiteral("quorer.xml.bad")), broken);
    bool ok = false;
    const QDomDocument doc = readXml(dir.filePath(QStringLiteral("quorer.xml")), &ok);
    QVERIFY(ok);
    QCOMPARE(xmlValue(doc, QStringLiteral("agent"), QStringLiteral("server")), QStringLiteral("127.0.0.1"));

    // Told once, when someone listens.
    MessageLog log(&settings);
    QTRY_COMPARE(log.messages.size(), 1);
    QVERIFY(log.messages.at(0).first.contains(QStringLiteral("quorer.xml.bad")));
    QCOMPARE(log.messages.at(0).second, int(MessageWarning));
    QTest::qWait(0);
    QCOMPARE(log.messages.size(), 1);
}

void TestSettingsModel::scrambledPasswords_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("empty") << QString();
    QTest::newRow("ascii") << QStringLiteral("s3cret");
    QTest::newRow("xml specials") << QStringLiteral("<a href=\"x\">&amp;</a>'");
    QTest::newRow("unicode") << QStringLiteral("p\u00e4ss\u20ac\u65e5\u672c\U0001F600");
    QTest::newRow("control chars") << QStringLiteral("a\r\nb\tc");
    QTest::newRow("long") << QString(500, QLatin1Char('k'));
}

void TestSettingsModel::scrambledPasswords()
{
    QFETCH(QString, password);
    const QString scrambled = TQuorSettings::scramblePassword(password);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]*$")).match(scrambled).hasMatch());
    if (!password.isEmpty())
        QVERIFY(!scrambled.contains(password));
    QCOMPARE(TQuorSettings::unscramblePassword(scrambled), password);
    // A password typed into the file by hand is taken as it stands.
    QCOMPARE(TQuorSettings::unscramblePassword(QStringLiteral("plain pw")), QStringLiteral("plain pw"));
}

void TestSettingsModel::portsFallBack_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("managerPort");
    QTest::addColumn<int>("phonePort");

    QTest::newRow("number") << QStringLiteral("6000") << 6000 << 6000;
    QTest::newRow("blanks around") << QStringLiteral(" 1234 ") << 1234 << 1234;
    QTest::newRow("empty") << QString() << 5038 << 4569;
    QTest::newRow("letters") << QStringLiteral("abc") << 5038 << 4569;
    QTest::newRow("zero") << QStringLiteral("0") << 5038 << 4569;
    QTest::newRow("too large") << QStringLiteral("70000") << 5038 << 4569;
    QTest::newRow("negative") << QStringLiteral("-1") << 5038 << 4569;
}

void TestSettingsModel::portsFallBack()
{
    QFETCH(QString, text);
    QFETCH(int, managerPort);
    QFETCH(int, phonePort);

    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"),
        "<!DOCTYPE xmlreader>\n<quorer><agent><port>" + text.toUtf8() + "</port></agent><manager><port>" + text.toUtf8()
            + "</port></manager></quorer>\n");
    TQuorSettings settings;
    settings.loadAll();

    QString s1, s2, s3, s4, s5;
    quint16 port = 0;
    bool b1, b2;
    settings.getManagerSettings(&s1, &port, &s2, &s3, &b1, &b2);
    QCOMPARE(int(port), managerPort);
    settings.getUserSettings(&s1, &port, &s2, &s3, &s4, &s5);
    QCOMPARE(int(port), phonePort);

    // The text stays as the user typed it.
    const QDomDocument doc = readXml(dir.filePath(QStringLiteral("quorer.xml")));
    QCOMPARE(xmlValue(doc, QStringLiteral("manager"), QStringLiteral("port")), text);
}

void TestSettingsModel::audioDevicesByName()
{
    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"),
        "<!DOCTYPE xmlreader>\n<quorer><audio>"
        "<output_dev>USB out</output_dev><ringing_dev>Gone</ringing_dev>"
        "</audio></quorer>\n");
    TQuorSettings settings;
    settings.setAudioDeviceTable({ { 1 | 2, QStringLiteral("Built-in"), 10 }, { 2, QStringLiteral("USB out"), 11 },
        { 1 | 2 | 4, QStringLiteral("Headset"), 12 }, { 4, QStringLiteral("Speaker"), 13 } });
    settings.loadAll();

    int input, output, ring;
    bool both, mute;
    settings.getAudioDevices(&input, &output, &ring, &both, &mute);
    QCOMPARE(input, 10); // missing key: first input device
    QCOMPARE(output, 11); // found by name
    QCOMPARE(ring, 12); // stored device gone: first ring device, and remembered
    QCOMPARE(settings.audioDeviceCount(1), 2);
    QCOMPARE(settings.audioDeviceCount(2), 3);
    QCOMPARE(settings.audioDeviceCount(4), 2);
    QCOMPARE(settings.currentAudioDevice(2), 1);
    QCOMPARE(settings.audioDeviceName(4, 5), QString());
    QCOMPARE(settings.audioDeviceId(4, -1), -1);

    const QDomDocument doc = readXml(dir.filePath(QStringLiteral("quorer.xml")));
    QCOMPARE(xmlValue(doc, QStringLiteral("audio"), QStringLiteral("input_dev")), QStringLiteral("Built-in"));
    QCOMPARE(xmlValue(doc, QStringLiteral("audio"), QStringLiteral("ringing_dev")), QStringLiteral("Headset"));
}

void TestSettingsModel::ownPrivacyDataWins()
{
    TestDataDir dir;
    PrivacyData own;
    own.password = QStringLiteral("mine");
    own.privacy = true;
    dir.write(QStringLiteral("quorer.dat"), PrivacyDataFile::encode(own));
    TQuorSettings settings;
    settings.loadAll();
    QVERIFY(settings.isPrivacyOn());

    MessageLog log(&settings);
    QTest::qWait(0);
    QVERIFY(log.messages.isEmpty());
}

void TestSettingsModel::togglesAndSetters()
{
    TestDataDir dir;
    ErrorBoxCatcher boxes;
    TQuorSettings settings;
    settings.loadAll();
    QSignalSpy options(&settings, &TQuorSettings::signalPhoneOptionsChanged);
    QSignalSpy dndSpy(&settings, &TQuorSettings::setAsteriskDND);
    QSignalSpy fwdSpy(&settings, &TQuorSettings::setAsteriskFWD);
    auto stored = [&](const char *key) {
        return xmlValue(
            readXml(dir.filePath(QStringLiteral("quorer.xml"))), QStringLiteral("options"), QLatin1String(key));
    };

    settings.toggleOnTop();
    QCOMPARE(stored("ontop"), QStringLiteral("yes"));
    QCOMPARE(stored("traicon"), QStringLiteral("yes")); // the rest unchanged
    settings.toggleBusy();
    QCOMPARE(stored("busy"), QStringLiteral("yes"));
    QCOMPARE(options.count(), 2);

    settings.setForward(true, QStringLiteral("305"), QStringLiteral("CFB"));
    QCOMPARE(stored("forward"), QStringLiteral("yes"));
    QCOMPARE(stored("fwd_num"), QStringLiteral("305"));
    QCOMPARE(stored("asterisk_fwd_all"), QStringLiteral("no"));
    QCOMPARE(stored("asterisk_fwd_busy"), QStringLiteral("yes"));
    QCOMPARE(stored("ag"), QStringLiteral("no"));

    // DND is refused while forward is on, and the other way round.
    settings.applyDND();
    QCOMPARE(boxes.boxes.size(), 1);
    QCOMPARE(boxes.boxes.at(0).first, QStringLiteral("Do Not Disturb"));
    QCOMPARE(dndSpy.count(), 0);
    QCOMPARE(stored("dnd"), QStringLiteral("no"));

    settings.applyForward(); // forward off
    QCOMPARE(fwdSpy.count(), 1);
    QCOMPARE(stored("forward"), QStringLiteral("no"));
    settings.applyDND(); // DND on
    QCOMPARE(dndSpy.count(), 1);
    settings.applyForward();
    QCOMPARE(boxes.boxes.size(), 2);
    QCOMPARE(boxes.boxes.at(1).second, QStringLiteral("DND is selected, \nDisable DND before enabling Call forward"));
    settings.setDNDState(false);
    settings.setForward(false, QString(), QStringLiteral("none"));
    settings.applyForward(); // no number
    QCOMPARE(boxes.boxes.size(), 3);
    QCOMPARE(boxes.boxes.at(2).second,
        QStringLiteral("No forward Number entered,\n please fill the number in the forward settings"));
    QCOMPARE(fwdSpy.count(), 1);
}

QTEST_MAIN(TestSettingsModel)
#include "tst_settingsmodel.moc"
