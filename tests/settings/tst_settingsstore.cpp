// The configuration model without widgets: "quorer.xml", its defaults, the
// password form, ports, devices and the privacy data file.

#include <QDomDocument>
#include <QFile>
#include <QTest>

#include "core/Paths.h"
#include "settings/PrivacyDataFile.h"
#include "settings/SettingsStore.h"
#include "testsupport/TestDataDir.h"

namespace {

// A store over the test's data directory, loaded as the program loads it.
struct Loaded
{
    explicit Loaded(const std::vector<iax2::AudioDeviceInfo> &devices = {})
        : store(Paths::dataFile(QStringLiteral("quorer.xml")))
    {
        store.createRoot();
        store.readUser();
        store.readOptions();
        store.readAudioDevices(devices);
        store.readFilters();
        store.readCodecs();
        store.readSpeex();
        store.readManager();
        store.readActions();
        privacyRead = store.readPrivacyData(nullptr);
        store.readAgentLogin();
        saved = store.finishLoad();
    }
    SettingsStore store;
    bool privacyRead = false;
    bool saved = false;
};

QString stored(const QString &section, const QString &key)
{
    QDomDocument doc;
    QFile file(Paths::dataFile(QStringLiteral("quorer.xml")));
    if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file))
        return QStringLiteral("<unreadable>");
    const QDomElement e = doc.documentElement().firstChildElement(section).firstChildElement(key);
    return e.isNull() ? QString() : e.text();
}

iax2::AudioDeviceInfo device(int capabilities, const char *name, int id)
{
    iax2::AudioDeviceInfo d;
    d.capabilities = capabilities;
    d.name = name;
    d.id = id;
    return d;
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }
    void firstStartWritesEveryDefault();
    void missingKeysAreCompleted();
    void optionsSurviveARestart();
    void passwords_data();
    void passwords();
    void ports_data();
    void ports();
    void managerFollowsThePhone();
    void audioDevicesByName();
    void privacyData();
};

void TestSettingsStore::firstStartWritesEveryDefault()
{
    TestDataDir dir;
    const Loaded loaded;
    QVERIFY(loaded.saved);
    const QFileDevice::Permissions others
        = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(dir.filePath(QStringLiteral("quorer.xml"))) & others, QFileDevice::Permissions());

    // The file other versions and the user's hand edits rely on.
    const char *const expected[][3] = { { "agent", "server", "127.0.0.1" }, { "agent", "port", "4569" },
        { "agent", "uname", "" }, { "agent", "passwd", "" }, { "agent", "cidname", "Type name" },
        { "agent", "cidnum", "Type number" }, { "options", "traicon", "yes" }, { "options", "ontop", "no" },
        { "options", "busy", "no" }, { "options", "dnd", "no" }, { "options", "forward", "no" },
        { "options", "vm", "no" }, { "options", "ag", "no" }, { "options", "parking_lot", "70" },
        { "options", "dnd_fam", "DND" }, { "options", "dnd_num", "*78" },
        { "options", "fwd_num", "forward number here" }, { "options", "forward_vm", "no" },
        { "options", "asterisk_fwd_all", "yes" }, { "options", "asterisk_fwd_busy", "no" },
        { "options", "asterisk_fwd_na", "no" }, { "options", "ast_fwd_fam_1", "CF" },
        { "options", "ast_fwd_fam_2", "CFB" }, { "options", "ast_fwd_fam_3", "CFU" },
        { "options", "vm_number", "" }, { "options", "vm_user", "" }, { "options", "vm_passwd", "" },
        { "options", "vm_preffix", "" }, { "audio", "input_dev", "" }, { "audio", "output_dev", "" },
        { "audio", "ringing_dev", "" }, { "audio", "ringInBothDevs", "no" }, { "audio", "muteRing", "no" },
        { "filters", "denoise", "yes" }, { "filters", "agc", "yes" }, { "filters", "echo", "no" },
        { "filters", "aagc", "yes" }, { "filters", "cn", "yes" }, { "codecs", "gsm", "yes" },
        { "codecs", "ulaw", "yes" }, { "codecs", "alaw", "yes" }, { "codecs", "speex", "yes" },
        { "codecs", "ilbc", "no" }, { "codecs", "default", "gsm" }, { "speex", "default", "yes" },
        { "speex", "decode_enhance", "yes" }, { "speex", "quality", "-1" }, { "speex", "cbr", "-1" },
        { "speex", "vbr", "no" }, { "speex", "abr", "8000" }, { "speex", "complexity", "3" },
        { "manager", "use_phone_ip", "yes" }, { "manager", "port", "5038" }, { "manager", "uname", "quor" },
        { "manager", "use_freepbx", "no" }, { "actions", "act_in", "no" }, { "actions", "act_crm", "no" },
        { "actions", "act_out", "no" }, { "actions", "act_a1", "no" }, { "actions", "opt_AppIn", "" },
        { "actions", "opt_ScrIn", "" }, { "actions", "opt_ActCRM", "" }, { "actions", "opt_AppOut", "" },
        { "actions", "opt_ScrOut", "" }, { "agentLogin", "agentid", "" }, { "agentLogin", "penalty", "0" } };
    for (const auto &row : expected) {
        const QString value = stored(QLatin1String(row[0]), QLatin1String(row[1]));
        QVERIFY2(!value.isNull(), row[1]);
        QCOMPARE(value, QString::fromLatin1(row[2]));
    }
    // While the manager follows the phone the section keeps no server of its own.
    QVERIFY(stored(QStringLiteral("manager"), QStringLiteral("server")).isNull());
    const QString managerPasswd = stored(QStringLiteral("manager"), QStringLiteral("passwd"));
    QVERIFY(managerPasswd != SettingsStore::builtInManagerPassword());
    QCOMPARE(SettingsStore::unscramblePassword(managerPasswd), SettingsStore::builtInManagerPassword());
}

void TestSettingsStore::missingKeysAreCompleted()
{
    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"),
        "<!DOCTYPE xmlreader>\n<quorer>\n"
        " <agent><server>10.0.0.5</server><uname>201</uname></agent>\n"
        " <options><asterisk_fwd_all>no</asterisk_fwd_all><asterisk_fwd_busy>yes</asterisk_fwd_busy>"
        "<ast_fwd_fam_2>BUSYFAM</ast_fwd_fam_2></options>\n"
        " <codecs><ilbc>yes</ilbc><default>bogus</default></codecs>\n"
        " <speex><default>no</default><quality>nan</quality><cbr>-9</cbr><complexity>x</complexity></speex>\n"
        " <manager><use_phone_ip>no</use_phone_ip><server>10.0.0.9</server></manager>\n"
        "</quorer>\n");
    {
        const Loaded loaded;
        const SettingsStore &s = loaded.store;
        QCOMPARE(stored(QStringLiteral("agent"), QStringLiteral("port")), QStringLiteral("4569"));
        QCOMPARE(stored(QStringLiteral("codecs"), QStringLiteral("default")), QStringLiteral("gsm"));
        // Stored as typed even where the model corrects the value.
        QCOMPARE(stored(QStringLiteral("speex"), QStringLiteral("quality")), QStringLiteral("nan"));
        QCOMPARE(s.agentId(), QStringLiteral("201"));
        QCOMPARE(stored(QStringLiteral("agentLogin"), QStringLiteral("agentid")), QStringLiteral("201"));
        QCOMPARE(s.currentFwdFamily(), QStringLiteral("BUSYFAM"));
        QCOMPARE(s.allowedCodecs(), 2 | 4 | 8 | 512 | 1024);
        QCOMPARE(s.manager().server, QStringLiteral("10.0.0.9"));
        QCOMPARE(s.speex().speexQuality, -1.0f);
        QCOMPARE(s.speex().speexCbr, -1);
        QCOMPARE(s.speex().speexComplexity, 3);
    }
    // A second load finds nothing to add and rewrites nothing.
    const QByteArray before = dir.read(QStringLiteral("quorer.xml"));
    const Loaded again;
    QCOMPARE(dir.read(QStringLiteral("quorer.xml")), before);
}

void TestSettingsStore::optionsSurviveARestart()
{
    TestDataDir dir;
    SettingsStore::Options o;
    {
        Loaded loaded;
        // Every value the opposite of its default, every text its own.
        o.onTop = o.dnd = o.forward = o.busy = o.forwardVm = o.fwdBusy = o.fwdNoAnswer = o.agent = o.vm = true;
        o.trayIcon = o.fwdAll = false;
        o.fwdNumber = QStringLiteral("305");
        o.dndFamily = QStringLiteral("DNDX");
        o.dndNumber = QStringLiteral("*79");
        o.fwdFamilyAll = QStringLiteral("A1");
        o.fwdFamilyBusy = QStringLiteral("B2");
        o.fwdFamilyNoAnswer = QStringLiteral("N3");
        o.vmPrefix = QStringLiteral("*9");
        o.parkingLot = QStringLiteral("700");
        o.vmNumber = QStringLiteral("*97");
        o.vmUser = QStringLiteral("mbox");
        o.vmPassword = QStringLiteral("1234");
        loaded.store.writeOptions(o);
        QVERIFY(loaded.store.save());
    }
    const Loaded restarted;
    const SettingsStore::Options &r = restarted.store.options();
    const QList<bool> flags { r.onTop, r.dnd, r.forward, r.busy, r.trayIcon, r.forwardVm, r.fwdAll, r.fwdBusy,
        r.fwdNoAnswer, r.agent, r.vm };
    QCOMPARE(flags,
        (QList<bool> { o.onTop, o.dnd, o.forward, o.busy, o.trayIcon, o.forwardVm, o.fwdAll, o.fwdBusy,
            o.fwdNoAnswer, o.agent, o.vm }));
    const QStringList texts { r.fwdNumber, r.dndFamily, r.dndNumber, r.fwdFamilyAll, r.fwdFamilyBusy,
        r.fwdFamilyNoAnswer, r.vmPrefix, r.parkingLot, r.vmNumber, r.vmUser, r.vmPassword };
    QCOMPARE(texts,
        (QStringList { o.fwdNumber, o.dndFamily, o.dndNumber, o.fwdFamilyAll, o.fwdFamilyBusy, o.fwdFamilyNoAnswer,
            o.vmPrefix, o.parkingLot, o.vmNumber, o.vmUser, o.vmPassword }));
    // Busy is the first type set: its family is the one in use.
    QCOMPARE(restarted.store.currentFwdFamily(), QStringLiteral("B2"));
    QVERIFY(!dir.read(QStringLiteral("quorer.xml")).contains("1234"));
}

void TestSettingsStore::passwords_data()
{
    QTest::addColumn<QString>("password");
    QTest::newRow("ascii") << QStringLiteral("s3cret");
    QTest::newRow("digits only") << QStringLiteral("1234");
    QTest::newRow("xml specials") << QStringLiteral("<a href=\"x\">&amp;</a>'");
    QTest::newRow("beyond latin-1") << QStringLiteral("p\u00e4ss\u20ac\u65e5\U0001F600");
    QTest::newRow("long") << QString(500, QLatin1Char('k'));
}

void TestSettingsStore::passwords()
{
    QFETCH(QString, password);
    const QString scrambled = SettingsStore::scramblePassword(password);
    QVERIFY(!scrambled.contains(password));
    QCOMPARE(SettingsStore::unscramblePassword(scrambled), password);
    // Typed into the file by hand, hex digits included, it is taken as it stands.
    QCOMPARE(SettingsStore::unscramblePassword(password), password);
}

void TestSettingsStore::ports_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("phonePort");
    QTest::addColumn<int>("managerPort");
    QTest::newRow("number") << QStringLiteral("6000") << 6000 << 6000;
    QTest::newRow("blanks around") << QStringLiteral(" 1234 ") << 1234 << 1234;
    QTest::newRow("empty") << QString() << 4569 << 5038;
    QTest::newRow("letters") << QStringLiteral("45a69") << 4569 << 5038;
    QTest::newRow("zero") << QStringLiteral("0") << 4569 << 5038;
    QTest::newRow("too large") << QStringLiteral("70000") << 4569 << 5038;
    QTest::newRow("negative") << QStringLiteral("-1") << 4569 << 5038;
}

void TestSettingsStore::ports()
{
    QFETCH(QString, text);
    QFETCH(int, phonePort);
    QFETCH(int, managerPort);
    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"),
        "<!DOCTYPE xmlreader>\n<quorer><agent><port>" + text.toUtf8() + "</port></agent><manager><port>"
            + text.toUtf8() + "</port></manager></quorer>\n");
    const Loaded loaded;
    QCOMPARE(int(loaded.store.userPort()), phonePort);
    QCOMPARE(int(loaded.store.managerPort()), managerPort);
    // The text stays as the user typed it.
    QCOMPARE(stored(QStringLiteral("manager"), QStringLiteral("port")), text);
}

void TestSettingsStore::managerFollowsThePhone()
{
    TestDataDir dir;
    Loaded loaded;
    SettingsStore &s = loaded.store;
    s.writeUser({ QStringLiteral("10.9.9.9"), QStringLiteral("4569"), QStringLiteral("201"), {}, {}, {} });
    QCOMPARE(s.manager().server, QStringLiteral("10.9.9.9"));
    // An empty phone server falls back as at load, not to an empty manager server.
    s.writeUser({});
    QCOMPARE(s.manager().server, QStringLiteral("127.0.0.1"));

    // Unfollowed, the manager keeps its own server, added to the file.
    SettingsStore::Manager m = s.manager();
    m.usePhoneIp = false;
    m.server = QStringLiteral("10.1.1.1");
    s.writeManager(m);
    s.writeUser({ QStringLiteral("10.8.8.8"), {}, {}, {}, {}, {} });
    QCOMPARE(s.manager().server, QStringLiteral("10.1.1.1"));
    QVERIFY(s.save());
    QCOMPARE(stored(QStringLiteral("manager"), QStringLiteral("server")), QStringLiteral("10.1.1.1"));

    // Followed again, the phone's server is used and the stored one kept.
    m.usePhoneIp = true;
    s.writeManager(m);
    QVERIFY(s.save());
    QCOMPARE(s.manager().server, QStringLiteral("10.8.8.8"));
    QCOMPARE(stored(QStringLiteral("manager"), QStringLiteral("server")), QStringLiteral("10.1.1.1"));
}

void TestSettingsStore::audioDevicesByName()
{
    TestDataDir dir;
    dir.write(QStringLiteral("quorer.xml"),
        "<!DOCTYPE xmlreader>\n<quorer><audio>"
        "<output_dev>USB out</output_dev><ringing_dev>Gone</ringing_dev>"
        "</audio></quorer>\n");
    const Loaded loaded({ device(1 | 2, "Built-in", 10), device(2, "USB out", 11), device(2, "USB out", 14),
        device(1 | 2 | 4, "Headset", 12), device(4, "Speaker", 13) });
    const SettingsStore::Audio &a = loaded.store.audio();
    QCOMPARE(a.input, 10); // missing key: the first input device
    QCOMPARE(a.output, 11); // by name, the first of two
    QCOMPARE(a.ring, 12); // absent: the first ring device, for this run only
    QCOMPARE(stored(QStringLiteral("audio"), QStringLiteral("input_dev")), QStringLiteral("Built-in"));
    QCOMPARE(stored(QStringLiteral("audio"), QStringLiteral("ringing_dev")), QStringLiteral("Gone"));
}

void TestSettingsStore::privacyData()
{
    TestDataDir dir;
    {
        const Loaded shipped;
        QVERIFY(shipped.privacyRead);
        QCOMPARE(shipped.store.adminPassword(), QStringLiteral("fendro"));
    }
    PrivacyData own;
    own.password = QStringLiteral("mine");
    own.privacy = true;
    dir.write(QStringLiteral("quorer.dat"), PrivacyDataFile::encode(own));
    {
        Loaded loaded;
        QVERIFY(loaded.store.privacy());
        QCOMPARE(loaded.store.adminPassword(), QStringLiteral("mine"));
        loaded.store.setAdminPassword(QStringLiteral("next"));
        QVERIFY(loaded.store.writePrivacyData(nullptr));
    }
    QCOMPARE(PrivacyDataFile::read(dir.filePath(QStringLiteral("quorer.dat")))->password, QStringLiteral("next"));

    // Unreadable: a password no one can type locks the panel.
    dir.write(QStringLiteral("quorer.dat"), QByteArray(20, 'x'));
    const Loaded broken;
    QVERIFY(!broken.privacyRead);
    QVERIFY(broken.store.adminPassword().size() > PrivacyDataFile::kMaxPasswordLength);
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
