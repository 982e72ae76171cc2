// The extension tile's states and display, and how it follows its channel
// records: binding, channel states, queue and park, link, hangup and the
// pairing with the phone's own calls.

#include <QSignalSpy>
#include <QTest>

#include <functional>
#include <memory>

#include "PhoneFixture.h"
#include "TileTestSupport.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/QuorAgent.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/WidgetShot.h"

using Step = std::function<void(QuorAgent *)>;
Q_DECLARE_METATYPE(Step)

namespace {

const QColor kWhite(255, 255, 255);
const QColor kOrange(255, 128, 0);
const QColor kParked(200, 80, 0);

QString flagsOf(const QuorAgent *t)
{
    QStringList on;
    if (t->free)
        on << QStringLiteral("free");
    if (t->dnd)
        on << QStringLiteral("dnd");
    if (t->forward)
        on << QStringLiteral("forward");
    if (t->parked)
        on << QStringLiteral("parked");
    if (t->inQueue)
        on << QStringLiteral("inQueue");
    return on.join(QLatin1Char(' '));
}

} // namespace

class TestQuorAgent : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void setters_data();
    void setters();
    void peerLabel_data();
    void peerLabel();
    void detailsAndFields();
    void voicemailCount();

    void setChannel_data();
    void setChannel();
    void channelStates_data();
    void channelStates();
    void queueAndPark();
    void link_data();
    void link();
    void hangup_data();
    void hangup();
    void deletedRecordIsForgotten();
    void pairsWithAnsweredCalls();

    void screenshot();

private:
    QuorAgent *tile(const QString &extension = QStringLiteral("101"), const QString &tech = QStringLiteral("SIP"));
    Channel *record(const QString &uniqueid, const QString &name, const QString &callerId = QString(),
        const QString &callerIdName = QString(), const QString &state = QStringLiteral("Up"));

    std::unique_ptr<PhoneFixture> m_fixture;
    QList<Channel *> m_channels;
    QList<QuorAgent *> m_tiles;
};

void TestQuorAgent::initTestCase()
{
    m_fixture = std::make_unique<PhoneFixture>();
    QVERIFY(m_fixture->start());
}

void TestQuorAgent::cleanupTestCase()
{
    m_fixture.reset();
}

void TestQuorAgent::cleanup()
{
    qDeleteAll(m_tiles);
    m_tiles.clear();
    qDeleteAll(m_channels);
    m_channels.clear();
}

QuorAgent *TestQuorAgent::tile(const QString &extension, const QString &tech)
{
    auto *t = new QuorAgent(m_fixture->phone(), extension, &m_channels, tech);
    m_tiles << t;
    return t;
}

Channel *TestQuorAgent::record(const QString &uniqueid, const QString &name, const QString &callerId,
    const QString &callerIdName, const QString &state)
{
    auto *ch = new Channel(uniqueid, name, callerId, callerIdName, state);
    m_channels << ch;
    return ch;
}

// ---------------------------------------------------------------- states and display

void TestQuorAgent::setters_data()
{
    QTest::addColumn<Step>("prepare");
    QTest::addColumn<Step>("act");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("strip");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("phoneText");
    QTest::addColumn<QColor>("phoneColour");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<bool>("announced");

    const Step none = [](QuorAgent *) {};
    const Step idle = [](QuorAgent *t) { t->setIdle(); };
    const Step forwardOn = [](QuorAgent *t) {
        t->setIdle();
        t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFU"));
    };
    const Step dndOn = [](QuorAgent *t) {
        t->setIdle();
        t->setDndState(true);
    };

    QTest::newRow("unavailable clears every flag") << Step([](QuorAgent *t) {
        t->setIdle();
        t->dnd = t->forward = t->parked = t->inQueue = true;
        t->peerText = QStringLiteral("Bob");
        t->updatePeerLabel();
    }) << Step([](QuorAgent *t) { t->setUnavailable(); })
                                                   << 1 << "str_no_avail"
                                                   << "bg_no_avail"
                                                   << "" << kWhite << "" << true;
    QTest::newRow("idle leaves dnd and forward alone")
        << Step([](QuorAgent *t) { t->dnd = t->forward = true; }) << idle << 2 << "str_available"
        << "bg_avail"
        << "" << kWhite << "free dnd forward" << true;
    QTest::newRow("active") << idle << Step([](QuorAgent *t) { t->setActive(); }) << 5 << "str_calling"
                            << "bg_active"
                            << "" << kWhite << "free" << true;
    QTest::newRow("active refused while parked") << Step([](QuorAgent *t) {
        t->setIdle();
        t->setState(AgentParked);
    }) << Step([](QuorAgent *t) { t->setActive(); })
                                                 << 10 << "str_available"
                                                 << "bg_avail"
                                                 << "" << kWhite << "free" << false;
    QTest::newRow("active refused queued and parked") << Step([](QuorAgent *t) {
        t->setIdle();
        t->inQueue = t->parked = true;
    }) << Step([](QuorAgent *t) { t->setActive(); }) << 2
                                                      << "str_available"
                                                      << "bg_avail"
                                                      << "" << kWhite << "free parked inQueue" << false;
    QTest::newRow("hold") << idle << Step([](QuorAgent *t) { t->setHold(); }) << 6 << "str_hold"
                          << "bg_hold"
                          << "" << kWhite << "free" << true;
    QTest::newRow("forwarded shows the number") << Step([](QuorAgent *t) {
        t->setIdle();
        t->fwdNumber = QStringLiteral("200");
    }) << Step([](QuorAgent *t) { t->setForwarded(); })
                                                << 8 << "str_fwd"
                                                << "bg_fwd"
                                                << "200" << kOrange << "free" << true;
    QTest::newRow("unparked") << Step([](QuorAgent *t) {
        t->setIdle();
        t->parked = true;
        t->peerText = QStringLiteral("701");
    }) << Step([](QuorAgent *t) { t->setUnparked(); })
                              << 5 << "str_calling"
                              << "bg_active"
                              << "" << kWhite << "free" << true;
    QTest::newRow("forward on") << idle << Step([](QuorAgent *t) {
        t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFU"));
    }) << 8 << "str_fwd"
                                << "bg_fwd"
                                << "200" << kOrange << "free forward" << true;
    QTest::newRow("forward off") << forwardOn << Step([](QuorAgent *t) { t->setFwdState(false, QString(), QString()); })
                                 << 2 << "str_available"
                                 << "bg_avail"
                                 << "" << kWhite << "free" << true;
    QTest::newRow("forward refused before idle")
        << none << Step([](QuorAgent *t) { t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFU")); }) << 0
        << "str_available"
        << "bg_avail"
        << "" << kWhite << "" << false;
    QTest::newRow("forward refused under dnd")
        << dndOn << Step([](QuorAgent *t) { t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFU")); }) << 7
        << "str_dnd"
        << "bg_dnd"
        << "" << kWhite << "free dnd" << false;
    QTest::newRow("dnd on") << idle << Step([](QuorAgent *t) { t->setDndState(true); }) << 7 << "str_dnd"
                            << "bg_dnd"
                            << "" << kWhite << "free dnd" << true;
    QTest::newRow("dnd refused under forward, pictures too")
        << forwardOn << Step([](QuorAgent *t) { t->setDndState(true); }) << 8 << "str_fwd"
        << "bg_fwd"
        << "200" << kOrange << "free forward" << false;
    QTest::newRow("dnd off") << dndOn << Step([](QuorAgent *t) { t->setDndState(false); }) << 2 << "str_available"
                             << "bg_avail"
                             << "" << kWhite << "free" << true;
}

void TestQuorAgent::setters()
{
    QFETCH(Step, prepare);
    QFETCH(Step, act);
    QFETCH(int, state);
    QFETCH(QString, strip);
    QFETCH(QString, background);
    QFETCH(QString, phoneText);
    QFETCH(QColor, phoneColour);
    QFETCH(QString, flags);
    QFETCH(bool, announced);

    QuorAgent *t = tile();
    prepare(t);
    QSignalSpy info(t, &QuorAgent::updateInfoState);
    act(t);
    QCOMPARE(int(t->state), state);
    QCOMPARE(stripOf(t), strip);
    QCOMPARE(backgroundOf(t), background);
    QCOMPARE(t->label_phone->text(), phoneText);
    QCOMPARE(::phoneColour(t), phoneColour);
    QCOMPARE(flagsOf(t), flags);
    QCOMPARE(info.size(), announced ? 1 : 0);
    if (announced)
        QCOMPARE(info.at(0), (QVariantList { QVariant::fromValue(TAgentState(state)), t->peerText }));
}

void TestQuorAgent::peerLabel_data()
{
    QTest::addColumn<bool>("privacy");
    QTest::addColumn<bool>("parked");
    QTest::addColumn<QString>("peerText");
    QTest::addColumn<QString>("shown");
    QTest::newRow("plain") << false << false << "Bob Miller"
                           << "Bob Miller";
    QTest::newRow("masked") << true << false << "Bob Miller"
                            << "xxxxxxx";
    QTest::newRow("masked, nothing") << true << false << ""
                                     << "";
    QTest::newRow("parked") << false << true << "701"
                            << "Parked to: 701";
    QTest::newRow("parked, masked") << true << true << "701"
                                    << "xxxxxxx";
    QTest::newRow("parked, nothing keeps the label") << false << true << ""
                                                     << "before";
}

void TestQuorAgent::peerLabel()
{
    QFETCH(bool, privacy);
    QFETCH(bool, parked);
    QFETCH(QString, peerText);
    QFETCH(QString, shown);
    QuorAgent *t = tile();
    t->label_phone->setText(QStringLiteral("before"));
    t->setState(parked ? AgentParked : AgentInCall);
    t->peerText = peerText;
    t->setPrivacy(privacy);
    QCOMPARE(t->label_phone->text(), shown);
    if (privacy && !parked) {
        t->setPrivacy(false);
        QCOMPARE(t->label_phone->text(), peerText);
    }
}

void TestQuorAgent::detailsAndFields()
{
    QuorAgent *t = tile(QStringLiteral("101"), QStringLiteral("SIP"));
    // Every shared picture is there (a missing resource loads as null).
    const AgentImages *im = QuorAgent::images;
    for (const QPixmap *p : { &im->str_no_avail, &im->bg_no_avail, &im->str_available, &im->bg_avail, &im->str_queue,
             &im->bg_queue, &im->bg_active, &im->str_calling, &im->bg_ringing, &im->str_ringing, &im->str_ring,
             &im->str_hold, &im->bg_hold, &im->str_offhook, &im->bg_offhook, &im->str_dnd, &im->bg_dnd, &im->str_fwd,
             &im->bg_fwd, &im->str_parked, &im->dragGhost })
        QVERIFY(!p->isNull());
    for (const QIcon *i : { &im->call, &im->callHover, &im->blindTransfer, &im->blindTransferHover, &im->sendToVm,
             &im->sendToVmHover, &im->sendToVmWaiting })
        QVERIFY(!i->isNull());
    QCOMPARE(t->label_channel->text(), QStringLiteral("101"));
    QCOMPARE(t->button_user->text(), QStringLiteral("101"));
    QCOMPARE(t->number, QStringLiteral("101"));
    QVERIFY(!t->free);

    t->setCallerIdName(QStringLiteral("Anna Weber"));
    t->setCallerIdNum(QStringLiteral("4930101"));
    t->setContext(QStringLiteral("from-internal"));
    t->setCodec(QStringLiteral("ulaw,alaw"));
    t->setMailbox(QString());
    t->setGroupName(QStringLiteral("Sales"));
    QCOMPARE(t->button_user->text(), QStringLiteral("Anna Weber"));
    QCOMPARE(t->mailbox, QStringLiteral("101"));
    QCOMPARE(t->button_user->toolTip(),
        QStringLiteral("CallerIDName: Anna Weber \nCallerIDNum: 4930101 \nExtension: 101 \nType: SIP \n"
                       "Context: from-internal\nCodec: ulaw,alaw \nMailbox: 101\nGroup: Sales"));

    // A parking space shows after its "Parked:" prefix, even under privacy;
    // while parked it is only kept.
    t->setPrivacy(true);
    t->setParkSlot(QStringLiteral("Parked:701"));
    QCOMPARE(t->parkSlot, QStringLiteral("701"));
    QCOMPARE(t->label_phone->text(), QStringLiteral("701"));
    t->setState(AgentParked);
    t->peerText.clear();
    t->label_phone->clear();
    t->setParkSlot(QStringLiteral("702"));
    QCOMPARE(t->parkSlot, QStringLiteral("702"));
    QVERIFY(t->label_phone->text().isEmpty());

    // The forward families are always the three last given.
    t->addFwdFamilies(QStringLiteral("CFU"), QStringLiteral("CFB"), QStringLiteral("CFNA"));
    t->addFwdFamilies(QStringLiteral("CFU"), QStringLiteral("CFB"), QStringLiteral("CFNA"));
    QCOMPARE(t->fwdFamilies, (QStringList { "CFU", "CFB", "CFNA" }));
    t->addFwdFamilies(QStringLiteral("FWD"), QStringLiteral("CFB"), QStringLiteral("NOANS"));
    QCOMPARE(t->fwdFamilies, (QStringList { "FWD", "CFB", "NOANS" }));
}

void TestQuorAgent::voicemailCount()
{
    QuorAgent *t = tile();
    QSignalSpy counts(t, &QuorAgent::updateVm);
    const qint64 normal = t->sendVmButton->normalIcon().cacheKey();

    t->setVmCount(3);
    QCOMPARE(t->sendVmButton->toolTip(), QStringLiteral("3 new messages"));
    QCOMPARE(t->sendVmButton->normalIcon().cacheKey(), QuorAgent::images->sendToVmWaiting.cacheKey());
    t->setVmCount(1);
    QCOMPARE(t->sendVmButton->toolTip(), QStringLiteral("1 new message"));
    QCOMPARE(counts.size(), 2);
    QCOMPARE(counts.at(0).at(0).toInt(), 3);

    t->setVmCount(0);
    QCOMPARE(t->vmCount, 0);
    QCOMPARE(counts.size(), 2);
    QCOMPARE(t->sendVmButton->toolTip(), QStringLiteral("1 new message"));
    QVERIFY(t->sendVmButton->normalIcon().cacheKey() != QuorAgent::images->sendToVmWaiting.cacheKey());
    QVERIFY(normal != 0);
}

// ---------------------------------------------------------------- channels

void TestQuorAgent::setChannel_data()
{
    QTest::addColumn<QString>("channelState");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("strip");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("direction");
    QTest::newRow("ring: calling out") << "Ring" << 4 << "str_ringing"
                                       << "bg_ringing"
                                       << "OUT";
    QTest::newRow("ringing: state 4 too") << "Ringing" << 4 << "str_ringing"
                                          << "bg_ringing"
                                          << "IN";
    QTest::newRow("up: nothing shown") << "Up" << 2 << "str_available"
                                       << "bg_avail"
                                       << "";
}

void TestQuorAgent::setChannel()
{
    QFETCH(QString, channelState);
    QFETCH(int, state);
    QFETCH(QString, strip);
    QFETCH(QString, background);
    QFETCH(QString, direction);

    QuorAgent *t = tile();
    t->setIdle();
    QSignalSpy info(t, &QuorAgent::updateInfoState);
    QVERIFY(
        t->setChannel(record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"), QString(), QString(), channelState)));
    QCOMPARE(int(t->state), state);
    QCOMPARE(stripOf(t), strip);
    QCOMPARE(backgroundOf(t), background);
    QCOMPARE(t->direction, direction);
    // Stored only: the label shows the direction with its next change.
    QVERIFY(t->label_direction->text().isEmpty());
    QCOMPARE(info.size(), 1);

    // One record at a time.
    Channel *second = record(QStringLiteral("1.2"), QStringLiteral("SIP/101-2"));
    QVERIFY(!t->setChannel(second));
    QCOMPARE(t->channel.data(), m_channels.first());
}

void TestQuorAgent::channelStates_data()
{
    QTest::addColumn<QString>("channelState");
    QTest::addColumn<Step>("prepare");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("strip");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("direction");
    QTest::addColumn<QColor>("directionColour");
    QTest::addColumn<bool>("announced");

    const Step none = [](QuorAgent *) {};
    const QColor plain(215, 215, 215);
    QTest::newRow("ring") << "Ring" << none << 4 << "str_ringing"
                          << "bg_active"
                          << "OUT" << QColor(203, 0, 0) << true;
    QTest::newRow("ringing") << "Ringing" << none << 3 << "str_ring"
                             << "bg_ringing"
                             << "IN" << QColor(0, 255, 0) << true;
    QTest::newRow("hold") << "Hold" << none << 6 << "str_hold"
                          << "bg_hold"
                          << "" << plain << true;
    QTest::newRow("unhold") << "Unhold" << none << 5 << "str_calling"
                            << "bg_active"
                            << "" << plain << true;
    QTest::newRow("offhook") << "Offhook" << none << 9 << "str_offhook"
                             << "bg_offhook"
                             << "UP" << plain << true;
    QTest::newRow("up changes nothing") << "Up" << none << 2 << "str_available"
                                        << "bg_avail"
                                        << "" << plain << true;
    QTest::newRow("queued ignores states")
        << "Hold" << Step([](QuorAgent *t) { t->inQueue = true; }) << 2 << "str_available"
        << "bg_avail"
        << "" << plain << false;
    QTest::newRow("parked ignores states")
        << "Hold" << Step([](QuorAgent *t) { t->setState(AgentParked); }) << 10 << "str_available"
        << "bg_avail"
        << "" << plain << false;
}

void TestQuorAgent::channelStates()
{
    QFETCH(QString, channelState);
    QFETCH(Step, prepare);
    QFETCH(int, state);
    QFETCH(QString, strip);
    QFETCH(QString, background);
    QFETCH(QString, direction);
    QFETCH(QColor, directionColour);
    QFETCH(bool, announced);

    QuorAgent *t = tile();
    t->setIdle();
    Channel *ch = record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"));
    QVERIFY(t->setChannel(ch));
    prepare(t);
    QSignalSpy info(t, &QuorAgent::updateInfoState);
    ch->setState(channelState);
    QCOMPARE(int(t->state), state);
    QCOMPARE(stripOf(t), strip);
    QCOMPARE(backgroundOf(t), background);
    QCOMPARE(t->label_direction->text(), direction);
    QCOMPARE(::directionColour(t), directionColour);
    QCOMPARE(info.size(), announced ? 1 : 0);
}

void TestQuorAgent::queueAndPark()
{
    QuorAgent *t = tile();
    t->setIdle();
    Channel *ch = record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"));
    QVERIFY(t->setChannel(ch));

    t->setQueueName(QStringLiteral("support"));
    ch->joinQueue(QStringLiteral("support"));
    QCOMPARE(int(t->state), int(AgentInQueue));
    QVERIFY(t->inQueue);
    QCOMPARE(t->label_phone->text(), QStringLiteral("support"));
    QCOMPARE(t->label_direction->text(), QStringLiteral("OUT"));
    QCOMPARE(stripOf(t), QStringLiteral("str_queue"));
    QCOMPARE(backgroundOf(t), QStringLiteral("bg_queue"));
    // In the queue the other party's text is the queue's name.
    t->fwdNumber = QStringLiteral("x");
    t->setPeerText(QStringLiteral("Queue:sales"));
    QCOMPARE(t->queue, QStringLiteral("sales"));
    t->fwdNumber.clear();

    ch->leaveQueue();
    QCOMPARE(int(t->state), int(AgentInCall));
    QVERIFY(!t->inQueue);
    QVERIFY(t->label_phone->text().isEmpty());
    QCOMPARE(stripOf(t), QStringLiteral("str_calling"));

    t->setParkSlot(QStringLiteral("701"));
    ch->park(QStringLiteral("701"));
    QCOMPARE(int(t->state), int(AgentParked));
    QVERIFY(t->parked);
    QCOMPARE(t->label_phone->text(), QStringLiteral("Parked to: 701"));
    QCOMPARE(::phoneColour(t), kParked);
    QCOMPARE(stripOf(t), QStringLiteral("str_parked"));
    QCOMPARE(backgroundOf(t), QStringLiteral("bg_hold"));
    // Hold on a parked tile changes nothing.
    ch->setState(QStringLiteral("Hold"));
    QCOMPARE(int(t->state), int(AgentParked));

    t->setUnparked();
    QCOMPARE(::phoneColour(t), kWhite);
    QVERIFY(!t->parked);
}

void TestQuorAgent::link_data()
{
    QTest::addColumn<QString>("otherName");
    QTest::addColumn<QString>("peerBefore");
    QTest::addColumn<QString>("fwdNumber");
    QTest::addColumn<QString>("shown");
    QTest::newRow("the other party's name") << "Bob Miller"
                                            << ""
                                            << ""
                                            << "Bob Miller";
    QTest::newRow("no name: the number") << ""
                                         << ""
                                         << ""
                                         << "5551234";
    QTest::newRow("first text of the call stays") << "Bob Miller"
                                                  << "Carol"
                                                  << ""
                                                  << "Carol";
    QTest::newRow("unknown caller: the number") << "Bob Miller"
                                                << "unknown"
                                                << "200"
                                                << "5551234";
    QTest::newRow("Unknown is not unknown") << "Bob Miller"
                                            << "Unknown"
                                            << "200"
                                            << "Bob Miller";
}

void TestQuorAgent::link()
{
    QFETCH(QString, otherName);
    QFETCH(QString, peerBefore);
    QFETCH(QString, fwdNumber);
    QFETCH(QString, shown);

    QuorAgent *t = tile();
    t->setIdle();
    Channel *own = record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"));
    Channel *other = record(QStringLiteral("1.2"), QStringLiteral("SIP/102-1"), QStringLiteral("5551234"), otherName);
    QVERIFY(t->setChannel(own));
    t->peerText = peerBefore;
    t->updatePeerLabel();
    t->fwdNumber = fwdNumber;
    QSignalSpy info(t, &QuorAgent::updateInfoState);

    // The record names the other party second when it links itself...
    own->link(QStringLiteral("1.2"));
    QCOMPARE(t->linkedChannel.data(), other);
    QCOMPARE(t->label_phone->text(), shown);
    QCOMPARE(stripOf(t), QStringLiteral("str_calling"));
    QCOMPARE(backgroundOf(t), QStringLiteral("bg_active"));
    QCOMPARE(int(t->state), int(AgentIdle));
    QCOMPARE(info.size(), 1);

    // ...and the tile finds it from either argument order.
    own->unlink();
    QVERIFY(t->linkedChannel.isNull());
    emit own->linkEvent(QStringLiteral("1.2"), QStringLiteral("1.1"));
    QCOMPARE(t->linkedChannel.data(), other);
    emit own->linkEvent(QStringLiteral("1.1"), QStringLiteral("9.9"));
    QVERIFY(t->linkedChannel.isNull());

    QSignalSpy times(t, &QuorAgent::timeoutAgent);
    emit own->timeoutEvent(QStringLiteral("00:07"));
    QCOMPARE(t->label_time->text(), QStringLiteral("00:07"));
    QCOMPARE(times.size(), 1);
}

void TestQuorAgent::hangup_data()
{
    QTest::addColumn<QString>("tech");
    QTest::addColumn<Step>("prepare");
    QTest::addColumn<QString>("waiting"); // a second channel of the extension, or empty
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("strip");
    QTest::addColumn<QString>("phoneText");
    QTest::addColumn<bool>("rebound");
    QTest::addColumn<bool>("free");

    const Step none = [](QuorAgent *) {};
    QTest::newRow("back to idle") << "SIP" << none << "" << 2 << "str_available"
                                  << "" << false << true;
    QTest::newRow("back to forward") << "SIP" << Step([](QuorAgent *t) {
        t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFU"));
    }) << "" << 8 << "str_fwd"
                                     << "200" << false << true;
    QTest::newRow("back to dnd") << "SIP" << Step([](QuorAgent *t) { t->setDndState(true); }) << "" << 7 << "str_dnd"
                                 << "" << false << true;
    QTest::newRow("parked stays parked") << "SIP" << Step([](QuorAgent *t) { t->channel->park(QStringLiteral("701")); })
                                         << "" << 10 << "str_parked"
                                         << "" << false << true;
    QTest::newRow("a waiting second call") << "SIP" << none << "SIP/101-2" << 2 << "str_calling"
                                           << "5550002" << true << false;
    QTest::newRow("a waiting IAX2 call on an IAX tile") << "IAX" << none << "IAX2/101-2" << 2 << "str_calling"
                                                        << "5550002" << true << false;
    QTest::newRow("a waiting DAHDI call on a Zap tile") << "Zap" << none << "DAHDI/101-2" << 2 << "str_calling"
                                                        << "5550002" << true << false;
    QTest::newRow("another technology's call does not wait here")
        << "SIP" << none << "IAX2/101-2" << 2 << "str_available"
        << "" << false << true;
}

void TestQuorAgent::hangup()
{
    QFETCH(QString, tech);
    QFETCH(Step, prepare);
    QFETCH(QString, waiting);
    QFETCH(int, state);
    QFETCH(QString, strip);
    QFETCH(QString, phoneText);
    QFETCH(bool, rebound);
    QFETCH(bool, free);

    QuorAgent *t = tile(QStringLiteral("101"), tech);
    t->setIdle();
    const QString ownName = (tech == QLatin1String("IAX")          ? QStringLiteral("IAX2/")
                                    : tech == QLatin1String("Zap") ? QStringLiteral("DAHDI/")
                                                                   : QStringLiteral("SIP/"))
        + QStringLiteral("101-1");
    Channel *own = record(QStringLiteral("1.1"), ownName, QStringLiteral("101"), QString());
    QVERIFY(t->setChannel(own));
    prepare(t);
    own->link(QStringLiteral("9.1"));
    Channel *second = nullptr;
    if (!waiting.isEmpty()) {
        record(QStringLiteral("9.2"), QStringLiteral("SIP/300-1"), QStringLiteral("5550002"));
        second = record(QStringLiteral("1.2"), waiting, QStringLiteral("101"));
        second->linkedTo = QStringLiteral("9.2");
    }
    t->label_time->setText(QStringLiteral("00:42"));

    own->hangup();
    QCOMPARE(int(t->state), state);
    QCOMPARE(stripOf(t), strip);
    QCOMPARE(t->label_phone->text(), phoneText);
    QCOMPARE(t->free, free);
    QVERIFY(t->label_time->text().isEmpty());
    QCOMPARE(t->channel.data(), rebound ? second : nullptr);
    QVERIFY(!t->inQueue && !t->parked);
    // The record that hung up drives the tile no more.
    own->setState(QStringLiteral("Ringing"));
    QCOMPARE(int(t->state), state);
    if (rebound) {
        QCOMPARE(t->linkedChannel.data(), m_channels.at(m_channels.size() - 2));
        second->setState(QStringLiteral("Hold"));
        QCOMPARE(int(t->state), int(AgentHold));
    }
}

void TestQuorAgent::deletedRecordIsForgotten()
{
    QuorAgent *t = tile();
    t->setIdle();
    Channel *own = record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"));
    Channel *other = record(QStringLiteral("1.2"), QStringLiteral("SIP/102-1"), QStringLiteral("102"));
    QVERIFY(t->setChannel(own));
    own->link(QStringLiteral("1.2"));
    QCOMPARE(t->linkedChannel.data(), other);

    // The panel may destroy records without a hangup (a lost connection).
    m_channels.removeAll(own);
    m_channels.removeAll(other);
    delete own;
    delete other;
    QVERIFY(t->channel.isNull());
    QVERIFY(t->linkedChannel.isNull());
    QVERIFY(t->setChannel(record(QStringLiteral("2.1"), QStringLiteral("SIP/101-2"))));
}

void TestQuorAgent::pairsWithAnsweredCalls()
{
    TQuorPhone *phone = m_fixture->phone();
    QuorAgent *out = tile(QStringLiteral("300"));
    QuorAgent *in = tile(QStringLiteral("401"));
    QuorAgent *anonymous = tile(QStringLiteral("402"));
    QuorAgent *unbound = tile(QStringLiteral("403"));
    QVERIFY(out->setChannel(record(QStringLiteral("1.1"), QStringLiteral("SIP/300-1"))));
    QVERIFY(in->setChannel(record(
        QStringLiteral("1.2"), QStringLiteral("SIP/401-1"), QStringLiteral("5551234"), QStringLiteral("Alice"))));
    QVERIFY(anonymous->setChannel(record(
        QStringLiteral("1.3"), QStringLiteral("SIP/402-1"), QStringLiteral("5551234"), QStringLiteral("<Unknown>"))));

    // An outgoing call pairs by the dialled number.
    TQuorCall *call = m_fixture->talkTo(QStringLiteral("300"));
    QVERIFY(call);
    QCOMPARE(out->currentCall, call);
    QCOMPARE(out->liveCurrentCall(), call);
    QVERIFY(!in->currentCall && !unbound->currentCall);

    // An incoming call pairs by caller number and name, never as "<Unknown>".
    TQuorCall *incoming = m_fixture->answerCallFrom(QStringLiteral("5551234"), QStringLiteral("Alice"));
    QVERIFY(incoming);
    QCOMPARE(in->currentCall, incoming);
    QVERIFY(!anonymous->currentCall);
    emit phone->signalSendCall(nullptr);
    QCOMPARE(in->currentCall, incoming);

    // The phone deletes its record when the call ends: the tile's pointer is
    // no call any more.
    m_fixture->pbx()->hangup(m_fixture->pbx()->latest(QStringLiteral("call-in"))->localNo);
    QTRY_VERIFY_WITH_TIMEOUT(!phone->isOwnCall(call), 10000);
    QVERIFY(out->currentCall);
    QCOMPARE(out->liveCurrentCall(), nullptr);
    m_fixture->pbx()->hangup(m_fixture->pbx()->latest(QStringLiteral("call-out"))->localNo);
    QTRY_VERIFY_WITH_TIMEOUT(phone->currentCalls().isEmpty(), 10000);
}

// ---------------------------------------------------------------- screenshot

void TestQuorAgent::screenshot()
{
    if (qEnvironmentVariableIsEmpty("QUOR_SCREENSHOT_DIR"))
        QSKIP("set QUOR_SCREENSHOT_DIR to write the picture of the twelve states");

    QWidget panel;
    panel.setStyleSheet(QStringLiteral("QWidget#panel { background-color: rgb(48, 48, 48); }"));
    panel.setObjectName(QStringLiteral("panel"));
    panel.resize(4 * 137 + 10, 3 * 58 + 10);

    struct Shot
    {
        QString extension;
        QString name;
        Step show;
    };
    const QList<Shot> shots {
        { "100", "Reception", [](QuorAgent *) {} },
        { "101", "Anna Weber", [](QuorAgent *t) { t->setUnavailable(); } },
        { "102", "Tom Becker", [](QuorAgent *t) { t->setIdle(); } },
        { "103", "Lena Fischer",
            [this](QuorAgent *t) {
                t->setIdle();
                Channel *ch = record(QStringLiteral("3.1"), QStringLiteral("SIP/103-1"));
                t->setChannel(ch);
                ch->setState(QStringLiteral("Ringing"));
                t->setPeerText(QStringLiteral("+49 30 5551234"));
            } },
        { "104", "Maximilian Hoffmann",
            [this](QuorAgent *t) {
                t->setIdle();
                Channel *ch = record(QStringLiteral("4.1"), QStringLiteral("SIP/104-1"));
                t->setChannel(ch);
                ch->setState(QStringLiteral("Ring"));
                t->setPeerText(QStringLiteral("2204"));
            } },
        { "105", "Mia Schulz",
            [this](QuorAgent *t) {
                t->setIdle();
                Channel *ch = record(QStringLiteral("5.1"), QStringLiteral("SIP/105-1"));
                record(QStringLiteral("5.2"), QStringLiteral("SIP/110-1"), QStringLiteral("110"),
                    QStringLiteral("Paul Hahn"));
                t->setChannel(ch);
                ch->setState(QStringLiteral("Ringing"));
                ch->link(QStringLiteral("5.2"));
                emit ch->timeoutEvent(QStringLiteral("04:17"));
                t->setActive();
            } },
        { "106", "Felix Braun",
            [this](QuorAgent *t) {
                t->setIdle();
                Channel *ch = record(QStringLiteral("6.1"), QStringLiteral("SIP/106-1"));
                t->setChannel(ch);
                t->setPeerText(QStringLiteral("Clara Neumann"));
                emit ch->timeoutEvent(QStringLiteral("12:48"));
                ch->setState(QStringLiteral("Hold"));
            } },
        { "107", "Sophie Koch",
            [](QuorAgent *t) {
                t->setIdle();
                t->setDndState(true);
            } },
        { "108", "Lukas Richter",
            [](QuorAgent *t) {
                t->setIdle();
                t->setFwdState(true, QStringLiteral("0171 5550123"), QStringLiteral("CFU"));
            } },
        { "109", "Emma Klein",
            [this](QuorAgent *t) {
                t->setIdle();
                Channel *ch = record(QStringLiteral("9.1"), QStringLiteral("SIP/109-1"));
                t->setChannel(ch);
                ch->setState(QStringLiteral("Offhook"));
            } },
        { "111", "Noah Wagner",
            [this](QuorAgent *t) {
                t->setIdle();
                Channel *ch = record(QStringLiteral("11.1"), QStringLiteral("SIP/111-1"));
                t->setChannel(ch);
                t->setParkSlot(QStringLiteral("701"));
                ch->park(QStringLiteral("701"));
                emit ch->timeoutEvent(QStringLiteral("01:05"));
            } },
        { "112", "Hannah Schmitt",
            [this](QuorAgent *t) {
                t->setIdle();
                Channel *ch = record(QStringLiteral("12.1"), QStringLiteral("SIP/112-1"));
                t->setChannel(ch);
                t->setQueueName(QStringLiteral("support"));
                ch->joinQueue(QStringLiteral("support"));
                t->setVmCount(2);
            } },
    };
    for (int i = 0; i < shots.size(); ++i) {
        QuorAgent *t = tile(shots.at(i).extension);
        t->setParent(&panel);
        t->setCallerIdName(shots.at(i).name);
        shots.at(i).show(t);
        t->move(5 + (i % 4) * 137, 5 + (i / 4) * 58);
    }
    QVERIFY(!saveWidgetShot(&panel, QStringLiteral("extension-tiles")).isEmpty());
    for (QuorAgent *t : std::as_const(m_tiles))
        t->setParent(nullptr);
}

QTEST_MAIN(TestQuorAgent)
#include "tst_quoragent.moc"
