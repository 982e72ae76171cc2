// The phone's calls without their window, against the loopback fake PBX: the
// incoming-call policy in its order, the logs the calls go to, attended transfer.

#include <QSignalSpy>
#include <QTest>

#include "softphone/QuorIaxClient.h"
#include "testsupport/IaxRig.h"
#include "testsupport/LoopbackCalls.h"

Q_DECLARE_METATYPE(PhoneCalls::Settings)

class TestPhoneCalls : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_rig = std::make_unique<IaxRig>(loopbackConfig(), false);
        iax2::Iax2Engine::Config engine = loopbackConfig(PhoneCalls::kMaxCalls);
        engine.attendedTransferTimeoutMs = 300;
        m_voip = std::make_unique<QuorIaxClient>(QuorIaxClient::Options { engine, &m_rig->audio, false });
        m_voip->applyCodecs(4, 4);
        m_voip->applyAccount(TVoipAccount(QStringLiteral("127.0.0.1"), m_rig->pbx.port(), QStringLiteral("alice"),
            QStringLiteral("wonder"), QString(), QString()));
        m_calls = std::make_unique<PhoneCalls>(m_voip.get());
        m_calls->setTransferFailDelay(300);
        QTRY_COMPARE(m_voip->account().registrationState(), TVoipAccount::Registered);
    }

    void cleanup()
    {
        m_calls.reset();
        m_voip.reset();
        m_rig.reset();
        m_dialogues.clear();
    }

    void incoming_data()
    {
        QTest::addColumn<PhoneCalls::Settings>("settings");
        QTest::addColumn<bool>("callUp"); // a conversation is going on when the call comes
        QTest::addColumn<QString>("outcome"); // "reject", "busy", the forward target, or what the user did
        PhoneCalls::Settings toMailbox, busy;
        toMailbox.forward = toMailbox.forwardToVm = true;
        toMailbox.vmPrefix = QStringLiteral("*");
        PhoneCalls::Settings toUser = toMailbox;
        toUser.vmUser = QStringLiteral("800");
        busy.busy = true;
        PhoneCalls::Settings forward = busy;
        forward.forward = true;
        forward.forwardNumber = QStringLiteral("300");
        PhoneCalls::Settings dnd = forward;
        dnd.dnd = true;
        QTest::newRow("forward to own mailbox") << toMailbox << false << "*alice";
        QTest::newRow("forward to voicemail user") << toUser << false << "*800";
        QTest::newRow("busy while talking") << busy << true << "busy";
        QTest::newRow("forward comes before busy") << forward << true << "300";
        QTest::newRow("dnd comes before forward") << dnd << false << "reject";
        QTest::newRow("busy, nothing up: rung, not answered") << busy << false << "rung";
        QTest::newRow("answered here") << PhoneCalls::Settings() << true << "answered";
        // The call is filed by what the engine says of it.
        QTest::newRow("answer lost to the hang-up") << PhoneCalls::Settings() << false << "lost";
    }

    // What the policy refused or passed on stays out of the list and is filed
    // as missed; the conversation goes on and is filed as dialled.
    void incoming()
    {
        QFETCH(PhoneCalls::Settings, settings);
        QFETCH(bool, callUp);
        QFETCH(QString, outcome);
        m_calls->setSettings(settings);
        QVERIFY(!callUp || talkTo(QStringLiteral("400")));
        QSignalSpy listed(m_calls.get(), &PhoneCalls::signalListed);
        QSignalSpy ended(m_calls.get(), &PhoneCalls::signalCallEnded);
        const quint16 dialogue = m_rig->callIn(m_voip->localPort());
        const bool forwarded = outcome.front().isDigit() || outcome.front() == QLatin1Char('*');
        const bool rings = !forwarded && outcome != QLatin1String("reject") && outcome != QLatin1String("busy");
        const bool answered = outcome == QLatin1String("answered") || outcome == QLatin1String("lost");
        if (!rings) {
            QTRY_VERIFY(forwarded ? transferTargets() == QStringList { outcome }
                                  : iax(iax2::Cmd::Reject) + control(iax2::Ctl::Busy) == 1);
        } else {
            QTRY_COMPARE(listed.size(), 1);
            TQuorCall *call = m_calls->calls().last();
            QVERIFY(!answered || m_calls->answer(call));
            QTRY_COMPARE(control(iax2::Ctl::Answer), answered ? 1 : 0);
            QTRY_VERIFY(outcome != QLatin1String("answered") || m_calls->talkingCall() == call);
            if (outcome == QLatin1String("lost"))
                emit m_voip->signalHungUp(call->callNo, false);
        }
        m_rig->pbx.hangup(dialogue);
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(ended.first().at(1).toInt(), int(outcome == QLatin1String("answered") ? RowAnswered : RowMissed));
        QCOMPARE(iax(iax2::Cmd::Reject), outcome == QLatin1String("reject") ? 1 : 0);
        QCOMPARE(control(iax2::Ctl::Busy), outcome == QLatin1String("busy") ? 1 : 0);
        QCOMPARE(control(iax2::Ctl::Answer), forwarded || answered ? 1 : 0);
        QCOMPARE(transferTargets().isEmpty(), !forwarded);
        QCOMPARE(listed.size(), rings ? 1 : 0);
        if (callUp) {
            QVERIFY(outcome == QLatin1String("answered") ? m_calls->heldCall() : m_calls->talkingCall());
            m_rig->pbx.hangup(m_dialogues.first());
            QTRY_COMPARE(ended.size(), 2);
            QCOMPARE(ended.last().at(1).toInt(), int(RowDialled));
        }
    }

    void attendedTransfer_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("joined");
        QTest::newRow("joined") << int(FakePbx::TransferMode::Join) << true;
        QTest::newRow("refused") << int(FakePbx::TransferMode::Reject) << false;
        QTest::newRow("no answer") << int(FakePbx::TransferMode::Ignore) << false;
    }

    void attendedTransfer()
    {
        QFETCH(int, mode);
        QFETCH(bool, joined);
        m_rig->pbx.setTransferMode(FakePbx::TransferMode(mode));
        TQuorCall *held = talkTo(QStringLiteral("301"));
        QVERIFY(held && m_calls->hold(held));
        TQuorCall *talking = talkTo(QStringLiteral("302"));
        QVERIFY(talking);
        QSignalSpy said(m_calls.get(), &PhoneCalls::signalShowMessage);

        // Refused: the wrong way round and a record the phone does not hold (a
        // tile's copy); a missing call is ignored.
        TQuorCall stranger;
        stranger.state = CallHeld;
        stranger.callNo = held->callNo;
        m_calls->attendedTransfer(talking, held);
        m_calls->attendedTransfer(&stranger, talking);
        m_calls->attendedTransfer(nullptr, talking);
        QCOMPARE(said.size(), 2);
        QCOMPARE(held->state, int(CallHeld));
        QCOMPARE(talking->state, int(CallTalking));

        m_calls->transferHeldToTalking();
        QCOMPARE(held->state, int(CallTransferring));
        QCOMPARE(talking->state, int(CallTransferring));
        if (joined) {
            // The PBX took both calls, and nothing failed.
            QTRY_COMPARE(m_calls->calls().size(), 0);
        } else {
            // Both calls are as they were, and the failure is said once.
            QTRY_COMPARE(held->state, int(CallHeld));
            QCOMPARE(talking->state, int(CallTalking));
        }
        QTest::qWait(400); // past the phone's own limit: no second word
        QCOMPARE(said.size(), joined ? 2 : 3);
        for (const QList<QVariant> &message : std::as_const(said))
            QCOMPARE(message.first().toString(), QStringLiteral("Unable to transfer the call"));
    }

private:
    TQuorCall *talkTo(const QString &number)
    {
        return LoopbackCalls::talkTo(m_calls.get(), &m_rig->pbx, number, &m_dialogues);
    }
    int control(int subclass) const { return m_rig->pbx.count(int(iax2::FrameType::Control), subclass); }
    int iax(int subclass) const { return m_rig->pbx.count(int(iax2::FrameType::Iax), subclass); }
    QStringList transferTargets() const { return LoopbackCalls::transferTargets(m_rig->pbx); }

    std::unique_ptr<IaxRig> m_rig;
    std::unique_ptr<QuorIaxClient> m_voip;
    std::unique_ptr<PhoneCalls> m_calls;
    QList<quint16> m_dialogues;
};

QTEST_GUILESS_MAIN(TestPhoneCalls)
#include "tst_phonecalls.moc"
