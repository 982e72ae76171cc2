#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "settings/PrivacyDataFile.h"
#include "testsupport/TestDataDir.h"

class TestPrivacyDataFile : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void unreadableBytes_data();
    void unreadableBytes();
    void shippedFile();
    void writeIsPrivateAndAtomic();
};

void TestPrivacyDataFile::roundTrip_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("privacy");
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("key");

    QTest::newRow("empty password") << QString() << false << 1 << 0;
    QTest::newRow("shipped password") << QStringLiteral("fendro") << false << 1 << 0x2b71;
    QTest::newRow("privacy on, other format kept") << QStringLiteral("x") << true << 7 << 0xffff;
    QTest::newRow("latin-1 letters") << QStringLiteral("p\u00e4ssw\u00f6rd\u00ff") << false << 1 << 42;
}

void TestPrivacyDataFile::roundTrip()
{
    QFETCH(QString, password);
    QFETCH(bool, privacy);
    QFETCH(int, format);
    QFETCH(int, key);

    PrivacyData in;
    in.password = password;
    in.privacy = privacy;
    in.format = quint16(format);
    in.key = quint16(key);
    const QByteArray bytes = PrivacyDataFile::encode(in);
    QCOMPARE(bytes.size(), 38);
    QCOMPARE(quint8(bytes.at(0)), quint8(format & 0xff));
    QCOMPARE(quint8(bytes.at(1)), quint8(format >> 8));
    if (password.size() > 2)
        QVERIFY2(!bytes.contains(password.toLatin1()), "password stored in plain");

    const auto out = PrivacyDataFile::decode(bytes);
    QVERIFY(out.has_value());
    QCOMPARE(out->password, password);
    QCOMPARE(out->privacy, privacy);
    QCOMPARE(int(out->format), format);
    QCOMPARE(int(out->key), key);

    // Trailing bytes after the record do not make a file unreadable.
    QVERIFY(PrivacyDataFile::decode(bytes + QByteArray("junk")).has_value());
}

void TestPrivacyDataFile::unreadableBytes_data()
{
    QTest::addColumn<QByteArray>("bytes");

    PrivacyData blank;
    const QByteArray good = PrivacyDataFile::encode(blank);
    // With an all-zero password field the scrambled field is the key stream
    // itself, so XOR-ing letters into it gives a field without NUL.
    QByteArray noNul = good;
    for (int i = 4; i < 36; ++i)
        noNul[i] = char(noNul.at(i) ^ 'a');

    QTest::newRow("empty file") << QByteArray();
    QTest::newRow("one byte short") << good.left(37);
    QTest::newRow("password field without NUL") << noNul;
}

void TestPrivacyDataFile::unreadableBytes()
{
    QFETCH(QByteArray, bytes);
    QVERIFY(!PrivacyDataFile::decode(bytes).has_value());

}

void TestPrivacyDataFile::shippedFile()
{
    const QString path = QStringLiteral(QUOR_SOURCE_DIR "/src/resources/shipped/quorer.dat");
    QFile f(path);
    QVERIFY2(f.open(QIODevice::ReadOnly), qPrintable(path));
    QCOMPARE(f.size(), qint64(38));
    const auto data = PrivacyDataFile::decode(f.readAll());
    QVERIFY(data.has_value());
    QCOMPARE(data->format, quint16(1));
    QCOMPARE(data->password, QStringLiteral("fendro"));
    QCOMPARE(data->privacy, false);
}

void TestPrivacyDataFile::writeIsPrivateAndAtomic()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("quorer.dat"));
    PrivacyData data;
    data.password = QStringLiteral("first");
    QVERIFY(PrivacyDataFile::write(path, data));
    const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup
        | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    QCOMPARE(QFile::permissions(path) & others, QFileDevice::Permissions());
    QCOMPARE(PrivacyDataFile::read(path)->password, QStringLiteral("first"));

    // A failed write leaves nothing behind and reports why.
    QString reason;
    QVERIFY(!PrivacyDataFile::write(dir.filePath(QStringLiteral("missing/quorer.dat")), data, &reason));
    QVERIFY(!reason.isEmpty());
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList { QStringLiteral("quorer.dat") });
}

QTEST_GUILESS_MAIN(TestPrivacyDataFile)
#include "tst_privacydatafile.moc"
