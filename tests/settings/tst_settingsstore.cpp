// The configuration model without widgets: "quorer.xml" and its defaults, the
// password form, ports, devices, and the privacy data file.

#include <QtEndian>

#include "settings/PrivacyDataFile.h"
#include "settings/SettingsStore.h"
#include "SettingsTestHelpers.h"

namespace {

// A store over the test's data directory, loaded as the program loads it.
struct Loaded
{
    // firstDevices: the name of the first input, output and ring device.
    explicit Loaded(const QStringList &firstDevices = {})
        : store(Paths::dataFile(u"quorer.xml"_s))
    {
        store.createRoot();
        store.readUser();
        store.readOptions();
        for (const int list : { 1, 2, 4 })
            audioNames << store.readAudioDeviceName(list, firstDevices.value(audioNames.size()));
        store.readAudioFlags();
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
    // The device names the file keeps, input, output and ring.
    QStringList audioNames;
    bool privacyRead = false;
    bool saved = false;
};

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { Paths::init(); }
    void firstStartWritesEveryDefault();
    void missingKeysAreCompleted();
    void passwords_data();
    void passwords();
    void ports_data();
    void ports();
    void managerFollowsThePhone();
    void audioDevicesByName();
    void privacyData();
    void privacyDataFile();
};

void TestSettingsStore::firstStartWritesEveryDefault()
{
    TestDataDir dir;
    const Loaded loaded;
    QVERIFY(loaded.saved);
    // The keys, defaults and password form that stored files and hand edits rely on.
    QCOMPARE(entries(), entries(testDataPath(u"settings/first-start.xml"_s)));
    const auto others = QFileDevice::ReadGroup | QFileDevice::ReadOther | QFileDevice::WriteOther;
    QCOMPARE(QFile::permissions(dir.filePath(u"quorer.xml"_s)) & others, QFileDevice::Permissions());
}

void TestSettingsStore::missingKeysAreCompleted()
{
    TestDataDir dir;
    writeSettings(dir,
        "<agent><server>10.0.0.5</server><uname>201</uname></agent>"
        "<options><asterisk_fwd_all>no</asterisk_fwd_all><asterisk_fwd_na>yes</asterisk_fwd_na>"
        "<ast_fwd_fam_3>NAFAM</ast_fwd_fam_3></options><codecs><ilbc>yes</ilbc><default>bogus</default></codecs>"
        "<manager><use_phone_ip>no</use_phone_ip><server>10.0.0.9</server></manager>");
    {
        const Loaded loaded;
        const SettingsStore &s = loaded.store;
        QCOMPARE(stored("agent", "port"), u"4569"_s);
        QCOMPARE(stored("codecs", "default"), u"gsm"_s);
        QCOMPARE(stored("agentLogin", "agentid"), u"201"_s);
        QCOMPARE(s.currentFwdFamily(), u"NAFAM"_s);
        QCOMPARE(s.allowedCodecs(), 2 | 4 | 8 | 512 | 1024);
        QCOMPARE(s.manager().server, u"10.0.0.9"_s);
    }
    // A second load finds nothing to add and rewrites nothing.
    const QByteArray before = dir.read(u"quorer.xml"_s);
    const Loaded again;
    QCOMPARE(dir.read(u"quorer.xml"_s), before);
}

void TestSettingsStore::passwords_data()
{
    QTest::addColumn<QString>("inFile");
    QTest::addColumn<QString>("password");
    QTest::newRow("current form") << u"~21b093c3f4feef"_s << u"p\u00e4\u20ac"_s;
    QTest::newRow("last release's form") << u"604104157f"_s << u"1234"_s;
    QTest::newRow("earlier form") << u"224054531326"_s << u"s3cret"_s;
    QTest::newRow("earlier form, digits only") << u"60410415"_s << u"1234"_s;
    QTest::newRow("typed") << u"p\u00e4ss\u20ac\u65e5\U0001F600"_s << u"p\u00e4ss\u20ac\u65e5\U0001F600"_s;
    QTest::newRow("typed, mark without hex") << u"~12x4"_s << u"~12x4"_s;
    QTest::newRow("typed, upper-case hex") << u"CAFE"_s << u"CAFE"_s;
}

// In whatever form the file holds them, the three passwords read as stored and
// go back in the current form with the next save.
void TestSettingsStore::passwords()
{
    QFETCH(QString, inFile);
    QFETCH(QString, password);
    TestDataDir dir;
    const QByteArray v = inFile.toUtf8();
    writeSettings(dir,
        "<agent><passwd>" + v + "</passwd></agent><manager><passwd>" + v + "</passwd></manager><options><vm_passwd>" + v
            + "</vm_passwd></options>");
    const Loaded loaded;
    const SettingsStore &s = loaded.store;
    QCOMPARE((QStringList { s.user().password, s.manager().password, s.options().vmPassword }),
        QStringList(3, password));
    const QString current = SettingsStore::scramblePassword(password);
    QCOMPARE(stored("options", "vm_passwd"), current);
    QVERIFY(!current.contains(password) && SettingsStore::unscramblePassword(current) == password);
}

void TestSettingsStore::ports_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("phonePort");
    QTest::addColumn<int>("managerPort");
    QTest::newRow("blanks around") << " 1234 "_ba << 1234 << 1234;
    QTest::newRow("one above") << "65536"_ba << 4569 << 5038;
    QTest::newRow("letters") << "45a69"_ba << 4569 << 5038;
}

void TestSettingsStore::ports()
{
    QFETCH(QByteArray, text);
    QFETCH(int, phonePort);
    QFETCH(int, managerPort);
    TestDataDir dir;
    writeSettings(dir, "<agent><port>" + text + "</port></agent><manager><port>" + text + "</port></manager>");
    const Loaded loaded;
    QCOMPARE(int(loaded.store.userPort()), phonePort);
    QCOMPARE(int(loaded.store.managerPort()), managerPort);
    // The text stays as the user typed it.
    QCOMPARE(stored("manager", "port"), QString::fromLatin1(text));
}

void TestSettingsStore::managerFollowsThePhone()
{
    TestDataDir dir;
    Loaded loaded;
    SettingsStore &s = loaded.store;
    s.writeUser({ u"10.9.9.9"_s, {}, {}, {}, {}, {} });
    QCOMPARE(s.manager().server, u"10.9.9.9"_s);
    // An empty phone server falls back as at load, not to an empty manager server.
    s.writeUser({});
    QCOMPARE(s.manager().server, u"127.0.0.1"_s);
    // Unfollowed, the manager keeps its own server.
    SettingsStore::Manager m = s.manager();
    m.usePhoneIp = false;
    m.server = u"10.1.1.1"_s;
    s.writeManager(m);
    s.writeUser({ u"10.8.8.8"_s, {}, {}, {}, {}, {} });
    QCOMPARE(s.manager().server, u"10.1.1.1"_s);
}

void TestSettingsStore::audioDevicesByName()
{
    TestDataDir dir;
    writeSettings(dir, "<audio><output_dev>USB out</output_dev><ringing_dev></ringing_dev></audio>");
    const Loaded loaded({ u"Built-in"_s, u"Built-in"_s, u"Headset"_s });
    // A missing key takes the first device and keeps it; an empty one reads as
    // the first device and stays empty.
    QCOMPARE(loaded.audioNames, (QStringList { u"Built-in"_s, u"USB out"_s, u"Headset"_s }));
    QCOMPARE(stored("audio", "input_dev"), u"Built-in"_s);
    QCOMPARE(stored("audio", "ringing_dev"), QString());
}

void TestSettingsStore::privacyData()
{
    TestDataDir dir;
    QCOMPARE(Loaded().store.adminPassword(), u"fendro"_s); // the shipped file
    PrivacyData own;
    own.password = u"mine"_s;
    own.privacy = true;
    dir.write(u"quorer.dat"_s, PrivacyDataFile::encode(own));
    {
        Loaded loaded;
        QVERIFY(loaded.privacyRead && loaded.store.privacy());
        QCOMPARE(loaded.store.adminPassword(), u"mine"_s);
        loaded.store.setAdminPassword(u"next"_s);
        QVERIFY(loaded.store.writePrivacyData(nullptr));
    }
    const QString path = dir.filePath(u"quorer.dat"_s);
    QCOMPARE(PrivacyDataFile::read(path)->password, u"next"_s);
    QCOMPARE(QFile::permissions(path) & (QFileDevice::ReadGroup | QFileDevice::ReadOther), QFileDevice::Permissions());

    // Unreadable: a password no one can type locks the panel.
    dir.write(u"quorer.dat"_s, QByteArray(20, 'x'));
    const Loaded broken;
    QVERIFY(!broken.privacyRead);
    QVERIFY(broken.store.adminPassword().size() > PrivacyDataFile::kMaxPasswordLength);
}

// The longest password, and leading values of another format, round-trip.
void TestSettingsStore::privacyDataFile()
{
    const PrivacyData in { 0x0207, 42, QString(30, QChar(0xe4)) + u'd', true };
    const QByteArray bytes = PrivacyDataFile::encode(in);
    QCOMPARE(bytes.size(), 38);
    QCOMPARE(qFromLittleEndian<quint16>(bytes.constData()), in.format);
    QVERIFY2(!bytes.contains(in.password.toLatin1()), "password stored in plain");
    // Trailing bytes after the record do not make a file unreadable.
    const auto out = PrivacyDataFile::decode(bytes + "junk");
    QVERIFY(out.has_value());
    QCOMPARE(out->password, in.password);
    QVERIFY(out->privacy && out->format == in.format && out->key == in.key);
    // One byte short, or a password field without its NUL, does not decode.
    QVERIFY(!PrivacyDataFile::decode(bytes.left(37)).has_value());
    QByteArray noNul = bytes;
    noNul[35] = char(noNul.at(35) ^ 'a');
    QVERIFY(!PrivacyDataFile::decode(noNul).has_value());
}

QTEST_GUILESS_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
