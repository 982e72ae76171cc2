#include <QFile>
#include <QFileInfo>
#include <QtTest>

#include "core/XmlReader.h"
#include "testsupport/TestDataDir.h"

class TestXmlReader : public QObject
{
    Q_OBJECT

private slots:
    void newFileRoundTripAndFormat();
    void valuesAndSections();
    void corruptFileIsMovedAside_data();
    void corruptFileIsMovedAside();
    void failedSaveIsReportedAndKeepsOldFile();
};

void TestXmlReader::newFileRoundTripAndFormat()
{
    TestDataDir dir;
    const QString path = dir.filePath(QStringLiteral("quorer.xml"));
    {
        XmlReader xml(path);
        xml.createRoot(QStringLiteral("quorer"));
        xml.addValue(QStringLiteral("server"), QStringLiteral("127.0.0.1"), QStringLiteral("agent"));
        xml.addValue(QStringLiteral("uname"), QString(), QStringLiteral("agent"));
        xml.addValue(QStringLiteral("port"), QStringLiteral("5038"), QStringLiteral("manager"));
        QVERIFY(xml.save());
    }
    // The exact layout other tools and older files rely on: doctype first, no XML
    // declaration, indent 4, text elements on one line, empty elements self-closed.
    const QByteArray expected = "<!DOCTYPE xmlreader>\n"
                                "<quorer>\n"
                                "    <agent>\n"
                                "        <server>127.0.0.1</server>\n"
                                "        <uname/>\n"
                                "    </agent>\n"
                                "    <manager>\n"
                                "        <port>5038</port>\n"
                                "    </manager>\n"
                                "</quorer>\n";
    QCOMPARE(dir.read(QStringLiteral("quorer.xml")), expected);

    XmlReader again(path);
    QVERIFY(!again.movedAside());
    QCOMPARE(again.getValue(QStringLiteral("server"), QStringLiteral("agent")), QStringLiteral("127.0.0.1"));
    QCOMPARE(again.getValue(QStringLiteral("uname"), QStringLiteral("agent")), QString());
    // createRoot on an existing file adds nothing.
    again.createRoot(QStringLiteral("other"));
    QVERIFY(again.save());
    QCOMPARE(dir.read(QStringLiteral("quorer.xml")), expected);
}

void TestXmlReader::valuesAndSections()
{
    TestDataDir dir;
    XmlReader xml(dir.filePath(QStringLiteral("v.xml")));
    // No document element yet: nothing can be added or read.
    xml.addValue(QStringLiteral("k"), QStringLiteral("v"), QStringLiteral("s"));
    QCOMPARE(xml.getValue(QStringLiteral("k"), QStringLiteral("s")), QStringLiteral("not_found"));

    xml.createRoot(QStringLiteral("root"));
    QCOMPARE(xml.getValue(QStringLiteral("k"), QStringLiteral("s")), QStringLiteral("not_found"));
    xml.setValue(QStringLiteral("k"), QStringLiteral("v"), QStringLiteral("s"));
    QVERIFY(!xml.hasSection(QStringLiteral("s")));

    xml.addValue(QStringLiteral("k"), QStringLiteral("first"), QStringLiteral("s"));
    xml.addValue(QStringLiteral("k"), QStringLiteral("second"), QStringLiteral("s"));
    QCOMPARE(xml.getValue(QStringLiteral("k"), QStringLiteral("s")), QStringLiteral("first"));
    xml.setValue(QStringLiteral("k"), QStringLiteral("a <b> & \"c\" ü"), QStringLiteral("s"));
    xml.setValue(QStringLiteral("missing"), QStringLiteral("x"), QStringLiteral("s"));
    QCOMPARE(xml.getValue(QStringLiteral("missing"), QStringLiteral("s")), QStringLiteral("not_found"));
    QVERIFY(xml.save());

    XmlReader reread(dir.filePath(QStringLiteral("v.xml")));
    QCOMPARE(reread.getValue(QStringLiteral("k"), QStringLiteral("s")), QStringLiteral("a <b> & \"c\" ü"));
    // Characters XML cannot carry are left out, so the file stays readable.
    reread.setValue(QStringLiteral("k"), QStringLiteral("a\x01" "b\x1b[0mc\u0000d\U0001F600"), QStringLiteral("s"));
    reread.addValue(QStringLiteral("n"), QStringLiteral("x\x08y"), QStringLiteral("s"));
    QVERIFY(reread.save());
    {
        XmlReader third(dir.filePath(QStringLiteral("v.xml")));
        QVERIFY(!third.movedAside());
        QCOMPARE(third.getValue(QStringLiteral("k"), QStringLiteral("s")), QStringLiteral("ab[0mcd\U0001F600"));
        QCOMPARE(third.getValue(QStringLiteral("n"), QStringLiteral("s")), QStringLiteral("xy"));
    }
    // Setting an empty value clears the text.
    reread.setValue(QStringLiteral("k"), QString(), QStringLiteral("s"));
    QCOMPARE(reread.getValue(QStringLiteral("k"), QStringLiteral("s")), QString());
}

void TestXmlReader::corruptFileIsMovedAside_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("truncated") << QByteArray("<!DOCTYPE xmlreader>\n<quorer>\n    <agent>\n        <ser");
    QTest::newRow("garbage bytes") << QByteArray("\x00\xff\xfe garbage \x01", 14);
    QTest::newRow("no document element") << QByteArray("<!DOCTYPE xmlreader>\n");
    QTest::newRow("empty file") << QByteArray();
}

void TestXmlReader::corruptFileIsMovedAside()
{
    QFETCH(QByteArray, content);
    TestDataDir dir;
    const QString path = dir.write(QStringLiteral("quorer.xml"), content);
    XmlReader xml(path);
    QVERIFY(xml.movedAside());
    QVERIFY(!QFile::exists(path));
    QCOMPARE(dir.read(QStringLiteral("quorer.xml.bad")), content);

    xml.createRoot(QStringLiteral("quorer"));
    xml.addValue(QStringLiteral("port"), QStringLiteral("4569"), QStringLiteral("agent"));
    QVERIFY(xml.save());
    XmlReader fresh(path);
    QVERIFY(!fresh.movedAside());
    QCOMPARE(fresh.getValue(QStringLiteral("port"), QStringLiteral("agent")), QStringLiteral("4569"));
    QCOMPARE(dir.read(QStringLiteral("quorer.xml.bad")), content);
}

void TestXmlReader::failedSaveIsReportedAndKeepsOldFile()
{
    TestDataDir dir;
    // A path whose directory does not exist cannot be written.
    XmlReader nowhere(dir.filePath(QStringLiteral("missing-dir/file.xml")));
    nowhere.createRoot(QStringLiteral("root"));
    QVERIFY(!nowhere.save());

    // The target is a directory: fails even for root.
    QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("isdir.xml"))));
    XmlReader onDir(dir.filePath(QStringLiteral("isdir.xml")));
    onDir.createRoot(QStringLiteral("root"));
    QVERIFY(!onDir.save());
    QVERIFY(QFileInfo(dir.filePath(QStringLiteral("isdir.xml"))).isDir());

    // A read-only directory: the save fails and the existing file stays whole.
    const QString sub = dir.filePath(QStringLiteral("ro"));
    QVERIFY(QDir().mkpath(sub));
    const QString path = sub + QStringLiteral("/keep.xml");
    {
        XmlReader xml(path);
        xml.createRoot(QStringLiteral("root"));
        xml.addValue(QStringLiteral("k"), QStringLiteral("old"), QStringLiteral("s"));
        QVERIFY(xml.save());
    }
    QFile original(path);
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray before = original.readAll();
    original.close();

    XmlReader xml(path);
    xml.setValue(QStringLiteral("k"), QStringLiteral("new"), QStringLiteral("s"));
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::ExeOwner);
    if (QFileInfo(sub).isWritable()) {
        QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QSKIP("running as a user that ignores directory permissions (root)");
    }
    QVERIFY(!xml.save());
    QFile::setPermissions(sub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(original.open(QIODevice::ReadOnly));
    QCOMPARE(original.readAll(), before);
}

QTEST_GUILESS_MAIN(TestXmlReader)
#include "tst_xmlreader.moc"
