// The channel record: call time through a test clock, link and unlink, queue,
// park and rename, and the matching rule of channels and tiles.

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "extensions/Channel.h"

class TestChannel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void construction();
    void callTime_data();
    void callTime();
    void linkRestartsAndUnlinkKeepsTicking();
    void queueParkRenameHangup();
    void matchingRule_data();
    void matchingRule();

private:
    qint64 m_now = 0;
};

void TestChannel::init()
{
    m_now = 1000000;
    Channel::setClock([this] { return m_now; });
}

void TestChannel::cleanup()
{
    Channel::setClock(nullptr);
}

void TestChannel::construction()
{
    Channel ch(QStringLiteral("1700000000.12"), QStringLiteral("SIP/101-0a1b2c3d"), QStringLiteral("5551234"),
        QStringLiteral("Anna"), QStringLiteral("Ring"));
    QCOMPARE(ch.ext, QStringLiteral("101"));
    QCOMPARE(ch.tech, QStringLiteral("SIP"));
    QCOMPARE(ch.callerIdName, QStringLiteral("Anna"));
    QVERIFY(!ch.linked && !ch.inQueue && !ch.parked);
    QVERIFY(ch.created.isValid());
    // Never linked: no clock runs, so no tick ever comes.
    QVERIFY(!ch.durationTimer->isActive());
    QCOMPARE(ch.durationTimer->timerType(), Qt::PreciseTimer);
}

void TestChannel::callTime_data()
{
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<QString>("text");
    const auto row
        = [](const char *name, const qint64 &elapsed, const QString &text) { QTest::newRow(name) << elapsed << text; };
    row("at the link", qint64(0), QStringLiteral("00:00"));
    row("seven minutes five", qint64(425000), QStringLiteral("07:05"));
    row("last second below an hour", qint64(3599999), QStringLiteral("59:59"));
    row("one hour", qint64(3600000), QStringLiteral("01:00:00"));
    row("hours minutes seconds", qint64(3723000), QStringLiteral("01:02:03"));
    row("wraps after a day", qint64(86400000 + 61000), QStringLiteral("01:01"));
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
    QCOMPARE(ticks.size(), 1);
    QCOMPARE(ticks.at(0).at(0).toString(), text);
}

void TestChannel::linkRestartsAndUnlinkKeepsTicking()
{
    Channel ch(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"), QString(), QString(), QStringLiteral("Up"));
    QSignalSpy links(&ch, &Channel::linkEvent);
    QSignalSpy ticks(&ch, &Channel::timeoutEvent);

    ch.link(QStringLiteral("1.2"));
    QVERIFY(ch.durationTimer->isActive());
    QCOMPARE(ch.durationTimer->interval(), 1000);
    m_now += 5000;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), QStringLiteral("00:05"));

    // A second link counts from zero again and names the new peer.
    ch.link(QStringLiteral("1.3"));
    m_now += 1000;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), QStringLiteral("00:01"));
    QCOMPARE(links.size(), 2);
    QCOMPARE(links.last(), (QVariantList { QStringLiteral("1.1"), QStringLiteral("1.3") }));

    QSignalSpy unlinks(&ch, &Channel::unlinkEvent);
    ch.unlink();
    QCOMPARE(unlinks.size(), 1);
    QVERIFY(!ch.linked);
    QVERIFY(ch.linkedTo.isEmpty());
    // The clock runs on until the hangup.
    QVERIFY(ch.durationTimer->isActive());
    m_now += 2000;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), QStringLiteral("00:03"));
}

void TestChannel::queueParkRenameHangup()
{
    Channel ch(
        QStringLiteral("1.1"), QStringLiteral("SIP/101-0a1b"), QStringLiteral("101"), QString(), QStringLiteral("Up"));

    // Receivers of the join still see the queue the channel was in before.
    QStringList seen;
    connect(&ch, &Channel::joinQueueEvent, this, [&] { seen << ch.queue; });
    ch.joinQueue(QStringLiteral("support"));
    ch.joinQueue(QStringLiteral("sales"));
    QCOMPARE(seen, (QStringList { QString(), QStringLiteral("support") }));
    QCOMPARE(ch.queue, QStringLiteral("sales"));
    QVERIFY(ch.inQueue);
    ch.leaveQueue();
    QVERIFY(!ch.inQueue && ch.queue.isEmpty());

    QSignalSpy parks(&ch, &Channel::parkEvent);
    ch.park(QStringLiteral("701"));
    QVERIFY(ch.parked);
    QCOMPARE(ch.parkedTo, QStringLiteral("701"));
    QCOMPARE(parks.size(), 1);
    ch.unPark();
    QVERIFY(!ch.parked && ch.parkedTo.isEmpty());

    QSignalSpy renames(&ch, &Channel::renameEvent);
    ch.rename(QStringLiteral("IAX2/202-3"));
    QCOMPARE(ch.ext, QStringLiteral("202"));
    QCOMPARE(ch.tech, QStringLiteral("IAX2"));
    QCOMPARE(renames.size(), 1);
    QCOMPARE(renames.at(0).at(0).toString(), QStringLiteral("1.1"));

    QSignalSpy hangups(&ch, &Channel::hangupEvent);
    ch.setState(QStringLiteral("Ringing"));
    ch.hangup();
    QCOMPARE(hangups.size(), 1);
    QCOMPARE(hangups.at(0).at(0).toString(), QStringLiteral("1.1"));
    QCOMPARE(ch.state, QStringLiteral("Ringing"));
    QCOMPARE(ch.name, QStringLiteral("IAX2/202-3"));
}

void TestChannel::matchingRule_data()
{
    QTest::addColumn<QString>("channelName");
    QTest::addColumn<QString>("tileExtension");
    QTest::addColumn<QString>("tileTech");
    QTest::addColumn<bool>("matches");
    const auto row
        = [](const char *name, const QString &channelName, const QString &tileExtension, const QString &tileTech,
              const bool &matches) { QTest::newRow(name) << channelName << tileExtension << tileTech << matches; };
    row("sip", "SIP/101-0a1b", "101", "SIP", true);
    row("iax2 channel, iax tile", "IAX2/202-3", "202", "IAX", true);
    row("dahdi channel, zap tile", "DAHDI/1-1", "1", "Zap", true);
    row("zap channel, zap tile", "Zap/1-1", "1", "Zap", true);
    row("other extension", "SIP/101-0a1b", "102", "SIP", false);
    row("other technology", "IAX2/101-3", "101", "SIP", false);
    row("iax2 is not sip's", "SIP/101-3", "101", "IAX", false);
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
