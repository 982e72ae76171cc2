// The channel record: call time, link and unlink, queue and rename, and which
// tile a channel belongs to.

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "TableRow.h"
#include "extensions/Channel.h"

class TestChannel : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        Channel::setClock([this] { return m_now; });
    }
    void cleanup() { Channel::setClock(nullptr); }
    void callTime_data();
    void callTime();
    void linkRestartsAndUnlinkKeepsTicking();
    void queueAndRename();
    void matchingRule_data();
    void matchingRule();

private:
    qint64 m_now = 1000000;
};

void TestChannel::callTime_data()
{
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<QString>("text");
    addCase("seven minutes five", qint64(425000), "07:05");
    addCase("last second below an hour", qint64(3599999), "59:59");
    addCase("one hour", qint64(3600000), "01:00:00");
    addCase("wraps after a day", qint64(86400000 + 61000), "01:01");
}

void TestChannel::callTime()
{
    QFETCH(qint64, elapsed);
    QFETCH(QString, text);
    Channel ch(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"), QString(), QString(), QStringLiteral("Up"));
    QSignalSpy ticks(&ch, &Channel::timeoutEvent);
    ch.link(QStringLiteral("1.2"));
    m_now += elapsed;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), text);
}

void TestChannel::linkRestartsAndUnlinkKeepsTicking()
{
    Channel ch(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"), QString(), QString(), QStringLiteral("Up"));
    QSignalSpy links(&ch, &Channel::linkEvent);
    QSignalSpy ticks(&ch, &Channel::timeoutEvent);
    QVERIFY(!ch.durationTimer->isActive()); // never linked: no tick comes
    ch.link(QStringLiteral("1.2"));
    // A coarse timer may fire early and show the same second twice.
    QCOMPARE(ch.durationTimer->timerType(), Qt::PreciseTimer);
    m_now += 5000;
    // A second link counts from zero again and names the new peer.
    ch.link(QStringLiteral("1.3"));
    m_now += 1000;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), QStringLiteral("00:01"));
    QCOMPARE(links.last(), (QVariantList { QStringLiteral("1.1"), QStringLiteral("1.3") }));

    // The clock runs on until the hangup.
    ch.unlink();
    QVERIFY(!ch.linked && ch.linkedTo.isEmpty() && ch.durationTimer->isActive());
    m_now += 2000;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), QStringLiteral("00:03"));
}

void TestChannel::queueAndRename()
{
    Channel ch(QStringLiteral("1.1"), QStringLiteral("SIP/101-0a1b"), QString(), QString(), QStringLiteral("Up"));
    // Receivers of the join still see the queue the channel was in before.
    QStringList seen;
    connect(&ch, &Channel::joinQueueEvent, this, [&] { seen << ch.queue; });
    ch.joinQueue(QStringLiteral("support"));
    ch.joinQueue(QStringLiteral("sales"));
    QCOMPARE(seen, (QStringList { QString(), QStringLiteral("support") }));
    QVERIFY(ch.inQueue && ch.queue == QLatin1String("sales"));
    ch.leaveQueue();
    QVERIFY(!ch.inQueue && ch.queue.isEmpty());

    QSignalSpy renames(&ch, &Channel::renameEvent);
    ch.rename(QStringLiteral("IAX2/202-3"));
    QCOMPARE(ch.ext + QLatin1Char(' ') + ch.tech, QStringLiteral("202 IAX2"));
    QCOMPARE(renames, QList<QVariantList> { { QStringLiteral("1.1") } });
}

void TestChannel::matchingRule_data()
{
    QTest::addColumn<QString>("channelName");
    QTest::addColumn<QString>("tileExtension");
    QTest::addColumn<QString>("tileTech");
    QTest::addColumn<bool>("matches");
    addCase("sip", "SIP/101-0a1b", "101", "SIP", true);
    addCase("iax2 channel, iax tile", "IAX2/202-3", "202", "IAX", true);
    addCase("dahdi channel, zap tile", "DAHDI/1-1", "1", "Zap", true);
    addCase("other extension", "SIP/101-0a1b", "102", "SIP", false);
    addCase("sip is not iax's", "SIP/101-3", "101", "IAX", false);
}

void TestChannel::matchingRule()
{
    QFETCH(QString, channelName);
    QFETCH(QString, tileExtension);
    QFETCH(QString, tileTech);
    QFETCH(bool, matches);
    Channel ch(QStringLiteral("1.1"), channelName, QString(), QString(), QString());
    QCOMPARE(ch.belongsTo(tileExtension, tileTech), matches);
}

QTEST_GUILESS_MAIN(TestChannel)
#include "tst_channel.moc"
