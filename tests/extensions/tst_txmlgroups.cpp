// The groups file: reading rules, writing and reading back, characters XML
// cannot carry, and a corrupt file set aside.

#include <QDomDocument>
#include <QFile>
#include <QTest>

#include <memory>

#include "extensions/QuorAgent.h"
#include "extensions/TExtensionGroup.h"
#include "extensions/TQuorGroupsEdit.h"
#include "extensions/TXmlGroups.h"
#include "testsupport/TestDataDir.h"

namespace {

QByteArray fixture(const QString &name)
{
    QFile f(testDataPath(QStringLiteral("extgroups/") + name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString describe(const TGroupExt *e)
{
    return QStringList { e->groupName, e->tech, e->chan, e->uname, e->ci }.join(QLatin1Char('|'));
}

} // namespace

class TestTXmlGroups : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void readingRules();
    void writeAndReadBack();
    void corruptFileSetAside();

private:
    std::unique_ptr<TestDataDir> m_data;
};

void TestTXmlGroups::init()
{
    m_data = std::make_unique<TestDataDir>();
}

void TestTXmlGroups::cleanup()
{
    m_data.reset();
}

void TestTXmlGroups::readingRules()
{
    const QString path = m_data->write(QStringLiteral("extgroups.xml"), fixture(QStringLiteral("reading-rules.xml")));
    TXmlGroups xml(path);
    QList<TGroupExt *> *exts = nullptr;
    const QList<TExtensionGroup *> groups = xml.readGroups(exts);
    QVERIFY(exts);

    // Only exact "group" elements count.
    QCOMPARE(groups.size(), 2);
    const TExtensionGroup *late = groups.at(0);
    QCOMPARE(late->name, QStringLiteral("Late name"));
    QCOMPARE(late->desc, QStringLiteral("text"));
    QVERIFY(!late->visibleFlag); // "YES" is not "yes"
    QVERIFY(!late->expanded);
    QCOMPARE(late->sort, QStringLiteral("num")); // empty reads as "num"
    QCOMPARE(groups.at(1)->sort, QStringLiteral("byDate"));
    QVERIFY(groups.at(1)->visibleFlag && groups.at(1)->expanded);

    // A record met before the name keeps an empty group name; a repeated
    // field overwrites, an unknown one is skipped, a missing one is empty.
    QCOMPARE(exts->size(), 2);
    QCOMPARE(describe(exts->at(0)), QStringLiteral("|SIP|401|Before the name|2"));
    QCOMPARE(describe(exts->at(1)), QStringLiteral("Late name||403||"));
    qDeleteAll(groups);
    qDeleteAll(*exts);
    delete exts;

    // An empty root: no group, no record.
    TXmlGroups empty(m_data->write(QStringLiteral("empty.xml"), "<groups/>\n"));
    QList<TGroupExt *> *none = nullptr;
    QVERIFY(empty.readGroups(none).isEmpty());
    QVERIFY(none && none->isEmpty());
    delete none;
}

void TestTXmlGroups::writeAndReadBack()
{
    TExtensionGroup sales;
    sales.setName(QStringLiteral("Büro, Nord"));
    sales.setDesc(QStringLiteral("Front desk & orders <main>"));
    sales.setVisibleFlag(true);
    sales.setExpanded(false);
    sales.setSort(QStringLiteral("cust"));
    QList<QuorAgent *> tiles;
    for (const char *ext : { "202", "201" }) {
        auto *tile = new QuorAgent(nullptr, QString::fromLatin1(ext), nullptr, QStringLiteral("SIP"));
        // A caller name from the PBX may hold control characters; written raw,
        // they would make the whole file unreadable at the next start.
        tile->setCallerIdName(QStringLiteral("Name\x01 ") + QString::fromLatin1(ext));
        tile->setCustomIndex(QString::number(tiles.size()));
        sales.tiles << tile;
        tiles << tile;
    }
    TExtensionGroup empty;
    empty.setName(QStringLiteral("Archive"));
    empty.setSort(QString());
    empty.sort.clear();

    const QString path = m_data->filePath(QStringLiteral("extgroups.xml"));
    {
        TXmlGroups xml(path);
        QList<TExtensionGroup *> groups { &sales, &empty };
        xml.writeGroups(groups);
        QVERIFY(xml.save());
    }
    const QByteArray written = m_data->read(QStringLiteral("extgroups.xml"));
    // The document type is gone; a group without tiles has its five values only.
    QVERIFY(written.startsWith("<groups>\n    <group>\n        <name>Büro, Nord</name>\n"));
    QVERIFY(written.contains("    <group>\n        <name>Archive</name>\n        <desc></desc>\n"
                             "        <visible>no</visible>\n        <expanded>yes</expanded>\n"
                             "        <sort></sort>\n    </group>\n</groups>\n"));

    TXmlGroups back(path);
    QVERIFY(!back.movedAside());
    QList<TGroupExt *> *exts = nullptr;
    const QList<TExtensionGroup *> groups = back.readGroups(exts);
    QCOMPARE(groups.size(), 2);
    QCOMPARE(groups.at(0)->name, sales.name);
    QCOMPARE(groups.at(0)->desc, sales.desc);
    QCOMPARE(groups.at(0)->visibleFlag, true);
    QCOMPARE(groups.at(0)->expanded, false);
    QCOMPARE(groups.at(0)->sort, QStringLiteral("cust"));
    QCOMPARE(exts->size(), 2);
    QCOMPARE(describe(exts->at(0)), QStringLiteral("Büro, Nord|SIP|202|Name 202|0"));
    QCOMPARE(describe(exts->at(1)), QStringLiteral("Büro, Nord|SIP|201|Name 201|1"));
    qDeleteAll(groups);
    qDeleteAll(*exts);
    delete exts;
    qDeleteAll(tiles);
}

void TestTXmlGroups::corruptFileSetAside()
{
    // Kept as ".bad", never overwritten; a fresh file; Unsorted alone.
    const QByteArray broken = fixture(QStringLiteral("corrupt.xml"));
    QVERIFY(!broken.isEmpty());
    m_data->write(QStringLiteral("extgroups.xml"), broken);
    TQuorGroupsEdit set;
    QCOMPARE(m_data->read(QStringLiteral("extgroups.xml.bad")), broken);
    QCOMPARE(m_data->read(QStringLiteral("extgroups.xml")), QByteArray("<!DOCTYPE xmlreader>\n<groups/>\n"));
    set.loadGroups();
    QCOMPARE(set.groups().size(), 1);
    QCOMPARE(set.groups().first(), set.unsorted);
}

QTEST_MAIN(TestTXmlGroups)
#include "tst_txmlgroups.moc"
