// The groups file: reading rules, writing and reading back, characters XML
// cannot carry, and a corrupt file set aside.

#include <QTest>

#include <memory>

#include "GroupTestSupport.h"
#include "extensions/TQuorGroupsEdit.h"

class TestTXmlGroups : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_data = std::make_unique<TestDataDir>(); }
    void cleanup() { m_data.reset(); }
    void readingRules();
    void writeAndReadBack();
    void corruptFileSetAside();

private:
    std::unique_ptr<TestDataDir> m_data;
};

void TestTXmlGroups::readingRules()
{
    // Only exact "group" elements count; "YES" is not "yes"; an empty sort
    // reads as "num". A record met before the name keeps an empty group name;
    // a repeated field overwrites, an unknown one is skipped, a missing one is
    // empty.
    QCOMPARE(readBack(m_data->write(QStringLiteral("extgroups.xml"), groupsFixture("reading-rules.xml"))),
        (QStringList {
            "Late name/text/0/0/num", "Odd sort//1/1/byDate", "|SIP|401|Before the name|2", "Late name||403||" }));
    QCOMPARE(readBack(m_data->write(QStringLiteral("empty.xml"), "<groups/>\n")), QStringList());
}

void TestTXmlGroups::writeAndReadBack()
{
    TExtensionGroup sales;
    sales.setName(QStringLiteral("Büro, Nord"));
    sales.setDesc(QStringLiteral("Front desk & orders <main>"));
    sales.setVisibleFlag(true);
    sales.setExpanded(false);
    sales.setSort(QStringLiteral("cust"));
    TileSet tile;
    for (const char *ext : { "202", "201" }) {
        // A caller name from the PBX may hold control characters; written raw,
        // they would make the whole file unreadable at the next start.
        sales.tiles << tile(QLatin1String(ext) + QStringLiteral(":Name\x01 ") + QLatin1String(ext));
        sales.tiles.last()->setCustomIndex(QString::number(sales.tiles.size() - 1));
    }
    TExtensionGroup empty;
    empty.setName(QStringLiteral("Archive"));
    empty.sort.clear();

    const QString path = m_data->filePath(QStringLiteral("extgroups.xml"));
    TXmlGroups xml(path);
    QList<TExtensionGroup *> groups { &sales, &empty };
    xml.writeGroups(groups);
    QVERIFY(xml.save());
    // The document type is gone; a group without tiles has its five values only.
    const QByteArray written = m_data->read(QStringLiteral("extgroups.xml"));
    QVERIFY(written.startsWith("<groups>\n    <group>\n        <name>Büro, Nord</name>\n"));
    QVERIFY(written.endsWith("    <group>\n        <name>Archive</name>\n        <desc></desc>\n"
                             "        <visible>no</visible>\n        <expanded>yes</expanded>\n"
                             "        <sort></sort>\n    </group>\n</groups>\n"));
    QCOMPARE(readBack(path),
        (QStringList { "Büro, Nord/Front desk & orders <main>/1/0/cust", "Archive//0/1/num",
            "Büro, Nord|SIP|202|Name 202|0", "Büro, Nord|SIP|201|Name 201|1" }));
}

void TestTXmlGroups::corruptFileSetAside()
{
    // Kept as ".bad", never overwritten; a fresh file; Unsorted alone.
    const QByteArray broken = groupsFixture("corrupt.xml");
    QVERIFY(!broken.isEmpty());
    m_data->write(QStringLiteral("extgroups.xml"), broken);
    TQuorGroupsEdit set;
    QCOMPARE(m_data->read(QStringLiteral("extgroups.xml.bad")), broken);
    QCOMPARE(m_data->read(QStringLiteral("extgroups.xml")), QByteArray("<!DOCTYPE xmlreader>\n<groups/>\n"));
    set.loadGroups();
    QCOMPARE(set.groups(), QList<TExtensionGroup *> { set.unsorted });
}

QTEST_MAIN(TestTXmlGroups)
#include "tst_txmlgroups.moc"
