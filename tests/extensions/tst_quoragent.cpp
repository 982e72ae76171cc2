// The extension tile's states and display, and how it follows its channel
// records: binding, channel states, queue and park, link, hangup and the
// pairing with the phone's own calls.

#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "PhoneFixture.h"
#include "TileTestSupport.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/QuorAgent.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/WidgetShot.h"

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
    m_tiles << new QuorAgent(m_fixture->phone(), extension, &m_channels, tech);
    return m_tiles.last();
}

Channel *TestQuorAgent::record(const QString &uniqueid, const QString &name, const QString &callerId,
    const QString &callerIdName, const QString &state)
{
    m_channels << new Channel(uniqueid, name, callerId, callerIdName, state);
    return m_channels.last();
}

// ---------------------------------------------------------------- states and display

void TestQuorAgent::setters_data()
{
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<QString>("act");
    QTest::addColumn<QString>("look");
    QTest::addColumn<bool>("announced");
    const auto row = [](const char *name, const QString &prepare, const QString &act, const QString &look,
                         const bool &announced) { QTest::newRow(name) << prepare << act << look << announced; };
    const QString avail = QStringLiteral("str_available/bg_avail");
    row("unavailable clears every flag", "idle;set:dnd forward parked inQueue;peer:Bob", "unavailable",
        "1 str_no_avail/bg_no_avail \"\" white dir \"\" plain | ", true);
    row("idle leaves dnd and forward", "set:dnd forward", "idle",
        "2 " + avail + " \"\" white dir \"\" plain | free dnd forward", true);
    row("active", "idle", "active", "5 str_calling/bg_active \"\" white dir \"\" plain | free", true);
    row("active refused while parked", "idle;state:10", "active", "10 " + avail + " \"\" white dir \"\" plain | free",
        false);
    row("active refused queued and parked", "idle;set:parked inQueue", "active",
        "2 " + avail + " \"\" white dir \"\" plain | free parked inQueue", false);
    row("hold", "idle", "hold", "6 str_hold/bg_hold \"\" white dir \"\" plain | free", true);
    row("forwarded shows the number", "idle;fwdNumber:200", "forwarded",
        "8 str_fwd/bg_fwd \"200\" orange dir \"\" plain | free", true);
    row("unparked", "idle;set:parked;peer:701", "unparked", "5 str_calling/bg_active \"\" white dir \"\" plain | free",
        true);
    row("forward on", "idle", "fwd:200", "8 str_fwd/bg_fwd \"200\" orange dir \"\" plain | free forward", true);
    row("forward off", "idle;fwd:200", "nofwd", "2 " + avail + " \"\" white dir \"\" plain | free", true);
    row("forward refused before idle", "", "fwd:200", "0 " + avail + " \"\" white dir \"\" plain | ", false);
    row("forward refused under dnd", "idle;dnd", "fwd:200", "7 str_dnd/bg_dnd \"\" white dir \"\" plain | free dnd",
        false);
    row("dnd on", "idle", "dnd", "7 str_dnd/bg_dnd \"\" white dir \"\" plain | free dnd", true);
    row("dnd refused under forward, pictures too", "idle;fwd:200", "dnd",
        "8 str_fwd/bg_fwd \"200\" orange dir \"\" plain | free forward", false);
    row("dnd off", "idle;dnd", "nodnd", "2 " + avail + " \"\" white dir \"\" plain | free", true);
}

void TestQuorAgent::setters()
{
    QFETCH(QString, prepare);
    QFETCH(QString, act);
    QFETCH(QString, look);
    QFETCH(bool, announced);
    QuorAgent *t = tile();
    runSteps(t, prepare);
    QSignalSpy info(t, &QuorAgent::updateInfoState);
    runSteps(t, act);
    QCOMPARE(lookOf(t), look);
    QCOMPARE(info.size(), announced ? 1 : 0);
    if (announced)
        QCOMPARE(info.at(0), (QVariantList { QVariant::fromValue(t->state), t->peerText }));
}

void TestQuorAgent::peerLabel_data()
{
    QTest::addColumn<bool>("privacy");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("peer");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char *name, const bool &privacy, const int &state, const QString &peer,
                         const QString &shown) { QTest::newRow(name) << privacy << state << peer << shown; };
    row("plain", false, 5, "Bob Miller", "Bob Miller");
    row("masked", true, 5, "Bob Miller", "xxxxxxx");
    row("masked, nothing", true, 5, "", "");
    row("parked", false, 10, "701", "Parked to: 701");
    row("parked, masked", true, 10, "701", "xxxxxxx");
    row("parked, nothing keeps the label", false, 10, "", "before");
}

void TestQuorAgent::peerLabel()
{
    QFETCH(bool, privacy);
    QFETCH(int, state);
    QFETCH(QString, peer);
    QFETCH(QString, shown);
    QuorAgent *t = tile();
    t->label_phone->setText(QStringLiteral("before"));
    t->setState(TAgentState(state));
    t->peerText = peer;
    t->setPrivacy(privacy);
    QCOMPARE(t->label_phone->text(), shown);
    t->setPrivacy(false);
    if (state != AgentParked)
        QCOMPARE(t->label_phone->text(), peer);
}

void TestQuorAgent::detailsAndFields()
{
    QuorAgent *t = tile(QStringLiteral("101"), QStringLiteral("SIP"));
    const AgentImages *im = QuorAgent::images;
    for (const QIcon *i : { &im->call, &im->callHover, &im->blindTransfer, &im->blindTransferHover, &im->sendToVm,
             &im->sendToVmHover, &im->sendToVmWaiting })
        QVERIFY(!i->isNull());
    QVERIFY(!im->dragGhost.isNull() && !im->str_parked.isNull() && !im->bg_fwd.isNull());
    QCOMPARE(t->button_user->text(), QStringLiteral("101"));
    QCOMPARE(t->label_channel->text(), QStringLiteral("101"));

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
    const auto waiting
        = [t] { return t->sendVmButton->normalIcon().cacheKey() == QuorAgent::images->sendToVmWaiting.cacheKey(); };
    t->setVmCount(3);
    QCOMPARE(t->sendVmButton->toolTip(), QStringLiteral("3 new messages"));
    QVERIFY(waiting());
    t->setVmCount(1);
    QCOMPARE(t->sendVmButton->toolTip(), QStringLiteral("1 new message"));
    t->setVmCount(0);
    QVERIFY(!waiting());
    QCOMPARE(t->sendVmButton->toolTip(), QStringLiteral("1 new message"));
    QCOMPARE(counts.size(), 2);
    QCOMPARE(counts.at(0).at(0).toInt(), 3);
}

// ---------------------------------------------------------------- channels

void TestQuorAgent::setChannel_data()
{
    QTest::addColumn<QString>("channelState");
    QTest::addColumn<QString>("look");
    QTest::addColumn<QString>("direction");
    const auto row = [](const char *name, const QString &channelState, const QString &look, const QString &direction) {
        QTest::newRow(name) << channelState << look << direction;
    };
    row("ring: calling out", "Ring", "4 str_ringing/bg_ringing \"\" white dir \"\" plain | free", "OUT");
    row("ringing: state 4 too", "Ringing", "4 str_ringing/bg_ringing \"\" white dir \"\" plain | free", "IN");
    row("up: nothing shown", "Up", "2 str_available/bg_avail \"\" white dir \"\" plain | free", "");
}

void TestQuorAgent::setChannel()
{
    QFETCH(QString, channelState);
    QFETCH(QString, look);
    QFETCH(QString, direction);
    QuorAgent *t = tile();
    t->setIdle();
    QSignalSpy info(t, &QuorAgent::updateInfoState);
    Channel *first = record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"), QString(), QString(), channelState);
    QVERIFY(t->setChannel(first));
    // The direction is stored only: the label shows it with its next change.
    QCOMPARE(lookOf(t), look);
    QCOMPARE(t->direction, direction);
    QCOMPARE(info.size(), 1);
    QVERIFY(!t->setChannel(record(QStringLiteral("1.2"), QStringLiteral("SIP/101-2"))));
    QCOMPARE(t->channel.data(), first);
}

void TestQuorAgent::channelStates_data()
{
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<QString>("channelState");
    QTest::addColumn<QString>("look");
    const auto row = [](const char *name, const QString &prepare, const QString &channelState, const QString &look) {
        QTest::newRow(name) << prepare << channelState << look;
    };
    row("ring", "", "Ring", "4 str_ringing/bg_active \"\" white dir \"OUT\" red | free");
    row("ringing", "", "Ringing", "3 str_ring/bg_ringing \"\" white dir \"IN\" green | free");
    row("hold", "", "Hold", "6 str_hold/bg_hold \"\" white dir \"\" plain | free");
    row("unhold", "", "Unhold", "5 str_calling/bg_active \"\" white dir \"\" plain | free");
    row("offhook", "", "Offhook", "9 str_offhook/bg_offhook \"\" white dir \"UP\" plain | free");
    row("up changes nothing", "", "Up", "2 str_available/bg_avail \"\" white dir \"\" plain | free");
    row("queued ignores states", "set:inQueue", "Hold",
        "2 str_available/bg_avail \"\" white dir \"\" plain | free inQueue");
    row("parked ignores states", "state:10", "Hold", "10 str_available/bg_avail \"\" white dir \"\" plain | free");
}

void TestQuorAgent::channelStates()
{
    QFETCH(QString, prepare);
    QFETCH(QString, channelState);
    QFETCH(QString, look);
    QuorAgent *t = tile();
    t->setIdle();
    Channel *ch = record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"));
    QVERIFY(t->setChannel(ch));
    runSteps(t, prepare);
    QSignalSpy info(t, &QuorAgent::updateInfoState);
    ch->setState(channelState);
    QCOMPARE(lookOf(t), look);
    QCOMPARE(info.size(), prepare.isEmpty() ? 1 : 0);
}

void TestQuorAgent::queueAndPark()
{
    QuorAgent *t = tile();
    t->setIdle();
    Channel *ch = record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"));
    QVERIFY(t->setChannel(ch));
    t->setQueueName(QStringLiteral("support"));
    ch->joinQueue(QStringLiteral("support"));
    QCOMPARE(lookOf(t), QStringLiteral("11 str_queue/bg_queue \"support\" white dir \"OUT\" plain | free inQueue"));
    // Queued, the other party's text names the queue.
    t->fwdNumber = QStringLiteral("x");
    t->setPeerText(QStringLiteral("Queue:sales"));
    QCOMPARE(t->queue, QStringLiteral("sales"));
    t->fwdNumber.clear();
    ch->leaveQueue();
    QCOMPARE(lookOf(t), QStringLiteral("5 str_calling/bg_active \"\" white dir \"OUT\" plain | free"));

    t->setParkSlot(QStringLiteral("701"));
    ch->park(QStringLiteral("701"));
    QCOMPARE(lookOf(t), QStringLiteral("10 str_parked/bg_hold \"Parked to: 701\" parked dir \"\" plain | free parked"));
    ch->setState(QStringLiteral("Hold"));
    QCOMPARE(int(t->state), int(AgentParked));
    t->setUnparked();
    QCOMPARE(lookOf(t), QStringLiteral("5 str_calling/bg_active \"\" white dir \"\" plain | free"));
}

void TestQuorAgent::link_data()
{
    QTest::addColumn<QString>("otherName");
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<QString>("shown");
    const auto row = [](const char *name, const QString &otherName, const QString &prepare, const QString &shown) {
        QTest::newRow(name) << otherName << prepare << shown;
    };
    row("the other party's name", "Bob Miller", "", "Bob Miller");
    row("no name: the number", "", "", "5551234");
    row("first text of the call stays", "Bob Miller", "peer:Carol", "Carol");
    row("unknown caller: the number", "Bob Miller", "peer:unknown;fwdNumber:200", "5551234");
    row("Unknown is not unknown", "Bob Miller", "peer:Unknown;fwdNumber:200", "Bob Miller");
}

void TestQuorAgent::link()
{
    QFETCH(QString, otherName);
    QFETCH(QString, prepare);
    QFETCH(QString, shown);
    QuorAgent *t = tile();
    t->setIdle();
    Channel *own = record(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"));
    Channel *other = record(QStringLiteral("1.2"), QStringLiteral("SIP/102-1"), QStringLiteral("5551234"), otherName);
    QVERIFY(t->setChannel(own));
    runSteps(t, prepare);
    QSignalSpy info(t, &QuorAgent::updateInfoState);
    own->link(QStringLiteral("1.2"));
    QCOMPARE(t->linkedChannel.data(), other);
    QCOMPARE(lookOf(t), "2 str_calling/bg_active \"" + shown + "\" white dir \"\" plain | free");
    QCOMPARE(info.size(), 1);
    // Found from either argument order; an unknown id links nothing.
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
    QTest::addColumn<QString>("own"); // the bound channel, and the tile's technology
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<QString>("waiting"); // a second channel of the extension, or empty
    QTest::addColumn<QString>("look");
    const auto row = [](const char *name, const QString &own, const QString &prepare, const QString &waiting,
                         const QString &look) { QTest::newRow(name) << own << prepare << waiting << look; };
    row("back to idle", "SIP/101-1:SIP", "", "", "2 str_available/bg_avail \"\" white dir \"\" plain | free");
    row("back to forward", "SIP/101-1:SIP", "fwd:200", "",
        "8 str_fwd/bg_fwd \"200\" orange dir \"\" plain | free forward");
    row("back to dnd", "SIP/101-1:SIP", "dnd", "", "7 str_dnd/bg_dnd \"\" white dir \"\" plain | free dnd");
    row("parked stays parked", "SIP/101-1:SIP", "park", "", "10 str_parked/bg_hold \"\" parked dir \"\" plain | free");
    row("a waiting second call", "SIP/101-1:SIP", "", "SIP/101-2",
        "2 str_calling/bg_active \"5550002\" white dir \"\" plain | ");
    row("a waiting IAX2 call, IAX tile", "IAX2/101-1:IAX", "", "IAX2/101-2",
        "2 str_calling/bg_active \"5550002\" white dir \"\" plain | ");
    row("a waiting DAHDI call, Zap tile", "DAHDI/101-1:Zap", "", "DAHDI/101-2",
        "2 str_calling/bg_active \"5550002\" white dir \"\" plain | ");
    row("another technology does not wait here", "SIP/101-1:SIP", "", "IAX2/101-2",
        "2 str_available/bg_avail \"\" white dir \"\" plain | free");
}

void TestQuorAgent::hangup()
{
    QFETCH(QString, own);
    QFETCH(QString, prepare);
    QFETCH(QString, waiting);
    QFETCH(QString, look);
    QuorAgent *t = tile(QStringLiteral("101"), own.section(QLatin1Char(':'), 1));
    t->setIdle();
    Channel *bound = record(QStringLiteral("1.1"), own.section(QLatin1Char(':'), 0, 0), QStringLiteral("101"));
    QVERIFY(t->setChannel(bound));
    if (prepare == QLatin1String("park"))
        bound->park(QStringLiteral("701"));
    else
        runSteps(t, prepare);
    bound->link(QStringLiteral("9.1"));
    Channel *second = nullptr;
    if (!waiting.isEmpty()) {
        record(QStringLiteral("9.2"), QStringLiteral("SIP/300-1"), QStringLiteral("5550002"));
        second = record(QStringLiteral("1.2"), waiting, QStringLiteral("101"));
        second->linkedTo = QStringLiteral("9.2");
    }
    t->label_time->setText(QStringLiteral("00:42"));

    bound->hangup();
    QCOMPARE(lookOf(t), look);
    QVERIFY(t->label_time->text().isEmpty());
    QCOMPARE(t->channel.data(), second && look.contains(QLatin1String("5550002")) ? second : nullptr);
    // The record that hung up drives the tile no more; the waiting one does.
    bound->setState(QStringLiteral("Ringing"));
    QVERIFY(t->state != AgentRingIn);
    if (t->channel) {
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
    m_channels.clear();
    delete own;
    delete other;
    QVERIFY(t->channel.isNull() && t->linkedChannel.isNull());
    QVERIFY(t->setChannel(record(QStringLiteral("2.1"), QStringLiteral("SIP/101-2"))));
}

void TestQuorAgent::pairsWithAnsweredCalls()
{
    QuorAgent *out = tile(QStringLiteral("300"));
    QuorAgent *in = tile(QStringLiteral("401"));
    QuorAgent *anonymous = tile(QStringLiteral("402"));
    QuorAgent *unbound = tile(QStringLiteral("403"));
    QVERIFY(out->setChannel(record(QStringLiteral("1.1"), QStringLiteral("SIP/300-1"))));
    QVERIFY(in->setChannel(record(
        QStringLiteral("1.2"), QStringLiteral("SIP/401-1"), QStringLiteral("5551234"), QStringLiteral("Alice"))));
    QVERIFY(anonymous->setChannel(record(
        QStringLiteral("1.3"), QStringLiteral("SIP/402-1"), QStringLiteral("5551234"), QStringLiteral("<Unknown>"))));

    // Outgoing calls pair by the dialled number, incoming ones by caller
    // number and name, never as "<Unknown>".
    TQuorCall *call = m_fixture->talkTo(QStringLiteral("300"));
    QVERIFY(call);
    QCOMPARE(out->liveCurrentCall(), call);
    TQuorCall *incoming = m_fixture->answerCallFrom(QStringLiteral("5551234"), QStringLiteral("Alice"));
    QVERIFY(incoming);
    QCOMPARE(in->currentCall, incoming);
    QVERIFY(!anonymous->currentCall && !unbound->currentCall);

    // The phone deletes its record when the call ends: the tile's pointer is
    // no call any more.
    QVERIFY(m_fixture->hangUpAll());
    QVERIFY(out->currentCall);
    QCOMPARE(out->liveCurrentCall(), nullptr);
}

// ---------------------------------------------------------------- screenshot

void TestQuorAgent::screenshot()
{
    if (qEnvironmentVariableIsEmpty("QUOR_SCREENSHOT_DIR"))
        QSKIP("set QUOR_SCREENSHOT_DIR to write the picture of the twelve states");
    QWidget panel;
    panel.setObjectName(QStringLiteral("panel"));
    panel.setStyleSheet(QStringLiteral("QWidget#panel { background-color: rgb(48, 48, 48); }"));
    panel.resize(4 * 137 + 10, 3 * 58 + 10);
    // Extension, name, steps, channel state (empty: no channel), other party.
    const QList<QStringList> shots { { "100", "Reception", "", "", "" }, { "101", "Anna Weber", "unavailable", "", "" },
        { "102", "Tom Becker", "idle", "", "" }, { "103", "Lena Fischer", "idle", "Ringing", "+49 30 5551234" },
        { "104", "Maximilian Hoffmann", "idle", "Ring", "2204" }, { "105", "Mia Schulz", "idle", "Up", "Paul Hahn" },
        { "106", "Felix Braun", "idle", "Hold", "Clara Neumann" }, { "107", "Sophie Koch", "idle;dnd", "", "" },
        { "108", "Lukas Richter", "idle;fwd:0171 5550123", "", "" }, { "109", "Emma Klein", "idle", "Offhook", "" },
        { "111", "Noah Wagner", "idle", "park", "" }, { "112", "Hannah Schmitt", "idle", "queue", "" } };
    for (int i = 0; i < shots.size(); ++i) {
        const QStringList &s = shots.at(i);
        QuorAgent *t = tile(s.at(0));
        t->setParent(&panel);
        t->move(5 + (i % 4) * 137, 5 + (i / 4) * 58);
        t->setCallerIdName(s.at(1));
        runSteps(t, s.at(2));
        if (s.at(3).isEmpty())
            continue;
        Channel *ch = record(s.at(0) + QStringLiteral(".1"), "SIP/" + s.at(0) + "-1");
        t->setChannel(ch);
        t->setPeerText(s.at(4));
        emit ch->timeoutEvent(
            QStringLiteral("%1:%2").arg(i % 3, 2, 10, QLatin1Char('0')).arg(i * 7 % 60, 2, 10, QLatin1Char('0')));
        if (s.at(3) == QLatin1String("park")) {
            t->setParkSlot(QStringLiteral("701"));
            ch->park(QStringLiteral("701"));
        } else if (s.at(3) == QLatin1String("queue")) {
            t->setQueueName(QStringLiteral("support"));
            ch->joinQueue(QStringLiteral("support"));
            t->setVmCount(2);
        } else if (s.at(3) == QLatin1String("Up")) {
            ch->setState(QStringLiteral("Ringing"));
            t->setActive();
        } else {
            ch->setState(s.at(3));
        }
        if (s.at(3).startsWith(QLatin1String("Ring")) || s.at(3) == QLatin1String("Offhook"))
            t->label_time->clear();
    }
    QVERIFY(!saveWidgetShot(&panel, QStringLiteral("extension-tiles")).isEmpty());
    for (QuorAgent *t : std::as_const(m_tiles))
        t->setParent(nullptr);
}

QTEST_MAIN(TestQuorAgent)
#include "tst_quoragent.moc"
