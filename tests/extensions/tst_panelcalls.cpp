// The panel following calls over loopback: channel records from Newchannel to
// Hangup, renames and caller ids, queues, hold and parking, events split over
// writes, and a connection lost in the middle of a message.

#include <QPointer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "PanelFixture.h"
#include "ami/ManagerSocket.h"
#include "extensions/Channel.h"
#include "extensions/QuorAgent.h"
#include "extensions/QuorExtensions.h"
#include "testsupport/FakeAmiServer.h"

using Events = QList<QStringList>;

namespace {

QStringList newChannel(const QString &channel, const QString &uniqueid, const QString &state,
    const QString &callerId = QString(), const QString &name = QString())
{
    return { "Event: Newchannel", "Channel: " + channel, "State: " + state, "CallerID: " + callerId,
        "CallerIDName: " + name, "Uniqueid: " + uniqueid };
}

QStringList link(const char *event, const QString &c1, const QString &c2, const QString &u1, const QString &u2)
{
    return { QStringLiteral("Event: ") + QLatin1String(event), "Channel1: " + c1, "Channel2: " + c2, "Uniqueid1: " + u1,
        "Uniqueid2: " + u2, "CallerID1: " + ManagerSocket::extFromChannel(c1),
        "CallerID2: " + ManagerSocket::extFromChannel(c2) };
}

QStringList hangup(const QString &channel, const QString &uniqueid)
{
    return { "Event: Hangup", "Channel: " + channel, "Uniqueid: " + uniqueid, "Cause: 16" };
}

// A call from SIP 101 to SIP 102, as a 1.4 PBX reports it up to the link.
Events callUp()
{
    return { newChannel("SIP/101-a", "1.1", "Ring", "101", "Alice"),
        { "Event: Newexten", "Channel: SIP/101-a", "Extension: 102", "Priority: 1", "Uniqueid: 1.1" },
        newChannel("SIP/102-b", "1.2", "Down", "102", "Bob"),
        { "Event: Dial", "Source: SIP/101-a", "Destination: SIP/102-b", "CallerID: 101", "CallerIDName: Alice",
            "SrcUniqueID: 1.1", "DestUniqueID: 1.2" },
        { "Event: Newstate", "Channel: SIP/102-b", "State: Ringing", "CallerID: 101", "CallerIDName: Alice",
            "Uniqueid: 1.2" },
        { "Event: Newstate", "Channel: SIP/102-b", "State: Up", "CallerID: 101", "CallerIDName: Alice",
            "Uniqueid: 1.2" },
        link("Link", "SIP/101-a", "SIP/102-b", "1.1", "1.2") };
}

QStringList mailboxCount(const QString &box)
{
    return { "Action: MailBoxCount\r\nMailBox: " + box + "\r\nActionID: MailBoxCount\r\n\r\n" };
}

QString shown(const QuorAgent *t)
{
    return QStringLiteral("%1 %2").arg(int(t->state)).arg(t->label_phone->text());
}

} // namespace

class TestPanelCalls : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void callBetweenTiles();
    void waitingCallIsBound();
    void records_data();
    void records();
    void queueHoldPark_data();
    void queueHoldPark();
    void eventSplitOverTwoWrites();
    void dropInMidMessage();
    void hangupInsideItsOwnHangup();

private:
    void pushAll(const Events &events);
    QuorAgent *tile(const char *ext) const { return m_f->tile(QLatin1String(ext)); }
    std::unique_ptr<PanelFixture> m_f;
};

void TestPanelCalls::init()
{
    m_f = std::make_unique<PanelFixture>();
    m_f->pbx.peers = { PbxModel::peer("SIP", "101", "Alice"), PbxModel::peer("SIP", "102", "Bob"),
        PbxModel::peer("SIP", "103", "Cleo"), PbxModel::peer("IAX", "104", "Dan") };
    QVERIFY(m_f->login());
    m_f->takeSent();
}

void TestPanelCalls::cleanup()
{
    Channel::setClock(nullptr);
    m_f.reset();
}

void TestPanelCalls::pushAll(const Events &events)
{
    for (const QStringList &event : events)
        m_f->push(event);
}

void TestPanelCalls::callBetweenTiles()
{
    qint64 now = 0;
    Channel::setClock([&now] { return now; });
    pushAll(callUp());
    QCOMPARE(shown(tile("101")), QStringLiteral("4 Bob"));
    QCOMPARE(shown(tile("102")), QStringLiteral("3 Alice"));
    QCOMPARE(tile("101")->linkedChannel.data(), m_f->record("1.2"));
    now = 65000;
    m_f->record("1.1")->timeout();
    QCOMPARE(tile("101")->label_time->text(), QStringLiteral("01:05"));

    // Unlink leaves both bound; each Hangup frees its tile and asks for the
    // voicemail count of its extension.
    m_f->push(link("Unlink", "SIP/101-a", "SIP/102-b", "1.1", "1.2"));
    QVERIFY(tile("101")->channel && !tile("101")->linkedChannel);
    m_f->takeSent();
    m_f->push(hangup("SIP/101-a", "1.1"));
    m_f->push(hangup("SIP/102-b", "1.2"));
    QStringList counts = m_f->takeSent().filter(QStringLiteral("MailBoxCount"));
    QCOMPARE(counts, mailboxCount("101@default") + mailboxCount("102@default"));
    QCOMPARE(shown(tile("101")), QStringLiteral("2 "));
    QCOMPARE(shown(tile("102")), QStringLiteral("2 "));
    QVERIFY(m_f->panel()->channels->isEmpty());
}

void TestPanelCalls::waitingCallIsBound()
{
    m_f->push(newChannel("SIP/101-a", "1.1", "Up"));
    m_f->push(newChannel("SIP/101-c", "1.3", "Ringing", "300", "Caller"));
    QCOMPARE(tile("101")->channel.data(), m_f->record("1.1"));
    m_f->push(hangup("SIP/101-a", "1.1"));
    QCOMPARE(tile("101")->channel.data(), m_f->record("1.3"));
    QVERIFY(!m_f->record("1.1"));
}

void TestPanelCalls::records_data()
{
    QTest::addColumn<bool>("newAsterisk");
    QTest::addColumn<Events>("events");
    QTest::addColumn<QString>("record"); // name|callerId|callerIdName of 1.2

    const QStringList second = newChannel("SIP/103-b", "1.2", "Up", "555", "Caller");
    QTest::newRow("rename") << false
                            << Events { second,
                                   { "Event: Rename", "Oldname: SIP/103-b", "Newname: SIP/104-x", "Uniqueid: 1.2" } }
                            << "SIP/104-x|555|Caller";
    QTest::newRow("zombie rename") << false
                                   << Events { second,
                                          { "Event: Rename", "Newname: SIP/103-b<ZOMBIE>", "Uniqueid: 1.2" } }
                                   << "SIP/103-b|555|Caller";
    QTest::newRow("masquerade takes the other caller id")
        << true
        << Events { newChannel("SIP/101-a", "1.1", "Up", "101", "Alice"), second,
               { "Event: Rename", "Oldname: SIP/103-b", "Newname: SIP/101-a", "Uniqueid: 1.2" } }
        << "SIP/103-b|101|Alice";
    QTest::newRow("unknown caller name is the tile's")
        << false
        << Events { second,
               { "Event: Newcallerid", "Channel: SIP/103-b", "CallerID: 556", "CallerIDName: <Unknown>",
                   "Uniqueid: 1.2" } }
        << "SIP/103-b|556|Cleo";
    QTest::newRow("async goto and parked names")
        << false
        << Events { newChannel("AsyncGoto/SIP/103-b<ZOMBIE>", "1.2", "Up", "1", "A"),
               newChannel("Parked/SIP/103-b", "1.2", "Up", "2", "B") }
        << "SIP/103-b|1|A";
}

void TestPanelCalls::records()
{
    QFETCH(bool, newAsterisk);
    QFETCH(Events, events);
    QFETCH(QString, record);
    m_f->panel()->newAsterisk = newAsterisk;
    pushAll(events);
    const Channel *r = m_f->record(QStringLiteral("1.2"));
    QVERIFY(r);
    QCOMPARE(QStringList({ r->name, r->callerId, r->callerIdName }).join(QLatin1Char('|')), record);
}

void TestPanelCalls::queueHoldPark_data()
{
    QTest::addColumn<Events>("events");
    QTest::addColumn<QString>("tile101");
    QTest::addColumn<QString>("tile102");

    const QStringList park { "Event: ParkedCall", "Exten: 701", "Channel: AsyncGoto/SIP/102-b<ZOMBIE>", "CallerID: 102",
        "CallerIDName: Bob" };
    const auto parkEnd = [](const char *event, const char *space) {
        return QStringList { QStringLiteral("Event: ") + QLatin1String(event),
            QStringLiteral("Exten: ") + QLatin1String(space), "Channel: SIP/102-b", "From: SIP/103-c", "CallerID: 102",
            "CallerIDName: " };
    };
    QTest::newRow("queue join") << Events { { "Event: Join", "Channel: SIP/101-a", "Queue: sales", "Uniqueid: 1.1" } }
                                << "11 sales"
                                << "3 Alice";
    QTest::newRow("queue leave") << Events { { "Event: Join", "Channel: SIP/101-a", "Queue: sales", "Uniqueid: 1.1" },
        { "Event: Leave", "Channel: SIP/101-a", "Queue: sales", "Uniqueid: 1.1" } }
                                 << "5 "
                                 << "3 Alice";
    QTest::newRow("hold changes the other party") << Events { { "Event: Hold", "Uniqueid: 1.1" } } << "4 Bob"
                                                  << "6 Alice";
    QTest::newRow("unhold") << Events { { "Event: Hold", "Uniqueid: 1.1" }, { "Event: Unhold", "Uniqueid: 1.1" } }
                            << "4 Bob"
                            << "5 Alice";
    QTest::newRow("parked") << Events { park } << "4 Bob"
                            << "10 Parked to: 701";
    QTest::newRow("unparked") << Events { park, parkEnd("UnParkedCall", "701") } << "4 Bob"
                              << "5 ";
    QTest::newRow("give up") << Events { park, parkEnd("ParkedCallGiveUp", "701") } << "4 Bob"
                             << "5 ";
    QTest::newRow("timeout of another space") << Events { park, parkEnd("ParkedCallTimeOut", "702") } << "4 Bob"
                                              << "10 Parked to: 701";
}

void TestPanelCalls::queueHoldPark()
{
    QFETCH(Events, events);
    QFETCH(QString, tile101);
    QFETCH(QString, tile102);
    pushAll(callUp());
    pushAll(events);
    QCOMPARE(shown(tile("101")), tile101);
    QCOMPARE(shown(tile("102")), tile102);
}

void TestPanelCalls::eventSplitOverTwoWrites()
{
    const QByteArray event = "Event: Newchannel\r\nChannel: IAX2/104-7\r\nState: Ringing\r\nUniqueid: 2.1\r\n\r\n";
    QSignalSpy read(m_f->socket(), &QIODevice::readyRead);
    m_f->server()->sendRaw(event.left(30));
    QVERIFY(read.wait());
    QVERIFY(!m_f->record(QStringLiteral("2.1")));
    m_f->pushRaw(event.mid(30));
    QCOMPARE(m_f->tile(QStringLiteral("104"), QStringLiteral("IAX"))->channel.data(), m_f->record("2.1"));
}

void TestPanelCalls::dropInMidMessage()
{
    pushAll(callUp());
    m_f->server()->sendRaw("Event: Hangup\r\nChannel: SIP/101-a\r\nUniq");
    QVERIFY(m_f->drop());
    QVERIFY(m_f->panel()->tiles.isEmpty());
    QVERIFY(m_f->panel()->channels->isEmpty());

    QVERIFY(m_f->login());
    m_f->push(hangup("SIP/102-b", "1.2"));
    for (const QuorAgent *t : std::as_const(m_f->panel()->tiles))
        QCOMPARE(int(t->state), int(AgentIdle));
    QVERIFY(m_f->panel()->channels->isEmpty());

    // A second login on the same connection starts over as well.
    m_f->push(newChannel("SIP/101-a", "3.1", "Up"));
    QSignalSpy done(m_f->panel(), &QuorExtensions::countDone);
    m_f->push({ "Response: Success", "ActionID: logIn", "Message: Authentication accepted" });
    QVERIFY(done.wait());
    QVERIFY(m_f->panel()->channels->isEmpty());
    QTRY_COMPARE(m_f->panel()->tiles.size(), 4);
}

void TestPanelCalls::hangupInsideItsOwnHangup()
{
    // A Hangup handled while the same record's hangup is being delivered (a
    // nested event loop in a receiver) leaves the record to the outer one.
    pushAll(callUp());
    QuorExtensions *panel = m_f->panel();
    QPointer<Channel> record = m_f->record(QStringLiteral("1.1"));
    int nested = 0;
    connect(record, &Channel::hangupEvent, panel, [&] {
        ++nested;
        panel->hangup(hangup("SIP/101-a", "1.1"));
        // The partner's tile holds the record as its link: a hold walk must
        // not follow it to a tile without a channel.
        tile("102")->channel = nullptr;
        panel->hold({ "Event: Hold", "Uniqueid: 1.1" });
    });
    m_f->push(hangup("SIP/101-a", "1.1"));
    QCOMPARE(nested, 1);
    QVERIFY(!record);
    QVERIFY(!m_f->record(QStringLiteral("1.1")));
}

QTEST_MAIN(TestPanelCalls)
#include "tst_panelcalls.moc"
