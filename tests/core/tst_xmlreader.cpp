#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QtTest>

#include "core/XmlReader.h"
#include "testsupport/TestDataDir.h"

class TestXmlReader : public QObject
{
    Q_OBJECT

private slots:
    void layoutValuesAndFilter();
    void corruptFilesAreKept_data();
    void corruptFilesAreKept();
    void failedSaveLeavesDiskAsItWas_data();
    void failedSaveLeavesDiskAsItWas();
};

void TestXmlReader::layoutValuesAndFilter()
{
    TestDataDir dir;
    const QString path = dir.filePath(QStringLiteral("quorer.xml"));
    const QString agent = QStringLiteral("agent");
    {
        XmlReader xml(path);
        xml.createRoot(QStringLiteral("quorer"));
        xml.setValue(QStringLiteral("server"), QStringLiteral("x"), agent); // no such key: nothing
        QVERIFY(!xml.hasSection(agent));
        xml.addValue(QStringLiteral("server"), QStringLiteral("127.0.0.1"), agent);
        xml.addValue(QStringLiteral("server"), QStringLiteral("second"), agent);
        xml.addValue(QStringLiteral("uname"), QString(), agent);
        xml.addValue(QStringLiteral("port"), QStringLiteral("5038"), QStringLiteral("manager"));
        QVERIFY(xml.save());
    }
    // The layout other tools and older files rely on: doctype first, no XML
    // declaration, indent 4, empty elements self-closed.
    const QByteArray expected = "<!DOCTYPE xmlreader>\n<quorer>\n    <agent>\n        <server>127.0.0.1</server>\n"
                                "        <uname/>\n    </agent>\n    <manager>\n        <port>5038</port>\n"
                                "    </manager>\n</quorer>\n";
    QCOMPARE(dir.read(QStringLiteral("quorer.xml")), expected);

    XmlReader xml(path);
    QVERIFY(!xml.movedAside());
    QCOMPARE(xml.getValue(QStringLiteral("server"), agent), QStringLiteral("127.0.0.1"));
    QCOMPARE(xml.getValue(QStringLiteral("server"), QStringLiteral("none")), QStringLiteral("not_found"));
    // Markup round-trips; characters XML cannot carry are left out, so the
    // file stays readable.
    xml.setValue(QStringLiteral("server"), QStringLiteral("a <b> & \"c\" \u00fc\x01\x1b[0m\U0001F600"), agent);
    xml.addValue(QStringLiteral("n"), QStringLiteral("x\x08y"), agent);
    QVERIFY(xml.save());
    XmlReader reread(path);
    QVERIFY(!reread.movedAside());
    QCOMPARE(reread.getValue(QStringLiteral("server"), agent), QStringLiteral("a <b> & \"c\" \u00fc[0m\U0001F600"));
    QCOMPARE(reread.getValue(QStringLiteral("n"), agent), QStringLiteral("xy"));
    QCOMPARE(XmlReader::xmlSafe(QString(QChar(0xd800)) + u'a' + QChar(0xfffe) + u'\t'), QStringLiteral("a\t"));
}

void TestXmlReader::corruptFilesAreKept_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("truncated") << QByteArray("<!DOCTYPE xmlreader>\n<quorer>\n    <agent>\n        <ser");
    QTest::newRow("no document element") << QByteArray("<!DOCTYPE xmlreader>\n");
}

// Each corrupt file is set aside under a name of its own, so a second
// corruption never costs the copy kept from the first.
void TestXmlReader::corruptFilesAreKept()
{
    QFETCH(QByteArray, content);
    TestDataDir dir;
    const QString path = dir.filePath(QStringLiteral("quorer.xml"));
    const QByteArray second = content + "<second";
    for (const QByteArray &bytes : { content, second }) {
        dir.write(QStringLiteral("quorer.xml"), bytes);
        XmlReader xml(path);
        QVERIFY(xml.movedAside());
        QVERIFY(!QFile::exists(path));
        xml.createRoot(QStringLiteral("quorer"));
        xml.addValue(QStringLiteral("port"), QStringLiteral("4569"), QStringLiteral("agent"));
        QVERIFY(xml.save());
    }
    QCOMPARE(dir.read(QStringLiteral("quorer.xml.bad")), content);
    QCOMPARE(dir.read(QStringLiteral("quorer.xml.bad.1")), second);
    XmlReader fresh(path);
    QVERIFY(!fresh.movedAside());
    QCOMPARE(fresh.getValue(QStringLiteral("port"), QStringLiteral("agent")), QStringLiteral("4569"));
}

void TestXmlReader::failedSaveLeavesDiskAsItWas_data()
{
    QTest::addColumn<QString>("setup");
    QTest::newRow("unreadable: directory in the file's place") << "directory";
    QTest::newRow("unreadable: socket in the file's place") << "socket";
    QTest::newRow("corrupt, every name to set it aside taken") << "aside taken";
    // The temporary file's name is longer than a name may be: fails for root too.
    QTest::newRow("no room for the temporary file") << "long name";
}

// A save that cannot be done, or that would replace a file that could not be
// read or set aside, returns false and leaves what is on disk alone.
void TestXmlReader::failedSaveLeavesDiskAsItWas()
{
    QFETCH(QString, setup);
    TestDataDir dir;
    const QString name = setup == u"long name" ? QString(250, u'x') : QStringLiteral("quorer.xml");
    const QString path = dir.filePath(name);
    const QByteArray bytes = setup == u"aside taken" ? "<quorer><unclosed>" : "<!DOCTYPE xmlreader>\n<quorer/>\n";
    QLocalServer socket;
    if (setup == u"directory")
        QVERIFY(QDir().mkpath(path));
    else if (setup == u"socket")
        QVERIFY(socket.listen(path));
    else
        dir.write(name, bytes);
    // Non-empty folders: not even root can rename a file onto one.
    for (int n = 0; setup == u"aside taken" && n < XmlReader::kMaxKeptCopies; ++n)
        QVERIFY(
            QDir().mkpath(path + QStringLiteral(".bad") + (n ? QStringLiteral(".%1").arg(n) : QString()) + "/kept"));
    const QFileInfo before(path);

    XmlReader xml(path);
    QVERIFY(!xml.movedAside());
    xml.createRoot(QStringLiteral("quorer"));
    xml.addValue(QStringLiteral("port"), QStringLiteral("4569"), QStringLiteral("agent"));
    QVERIFY(!xml.save());
    const QFileInfo after(path);
    QCOMPARE(after.isFile(), before.isFile());
    QCOMPARE(after.isDir(), before.isDir());
    if (before.isFile())
        QCOMPARE(dir.read(name), bytes);
}

QTEST_GUILESS_MAIN(TestXmlReader)
#include "tst_xmlreader.moc"
