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
        engine.blindTransferTimeoutMs = 1000;
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

    // Only a held call onto a talking one is joined: any other pair is refused
    // with the message, nothing goes to the PBX and both calls stay as they were.
    void attendedTransferRefused_data()
    {
        QTest::addColumn<bool>("bothHeld");
        QTest::addColumn<bool>("newerFirst");
        QTest::newRow("two held calls") << true << false;
        QTest::newRow("two held calls, the newer first") << true << true;
        QTest::newRow("the talking call first, the held one second") << false << true;
    }

    void attendedTransferRefused()
    {
        QFETCH(bool, bothHeld);
        QFETCH(bool, newerFirst);
        m_rig->pbx.setTransferMode(FakePbx::TransferMode::Join);
        TQuorCall *older = talkTo(QStringLiteral("301"));
        QVERIFY(older && m_calls->hold(older));
        TQuorCall *newer = talkTo(QStringLiteral("302"));
        QVERIFY(newer && (!bothHeld || m_calls->hold(newer)));
        const QList<int> states { older->state, newer->state };
        QSignalSpy said(m_calls.get(), &PhoneCalls::signalShowMessage);

        newerFirst ? m_calls->attendedTransfer(newer, older) : m_calls->attendedTransfer(older, newer);
        QCOMPARE(said.size(), 1);
        QCOMPARE(said.first().first().toString(), QStringLiteral("Unable to transfer the call"));
        QCOMPARE(QList<int>({ older->state, newer->state }), states);
        QTest::qWait(150); // a transfer request would have reached the PBX by now
        QCOMPARE(iax(iax2::Cmd::TxReq), 0);
        QCOMPARE(m_calls->calls().size(), 2);

        // The refusal left nothing pending: the right pair is joined at once.
        QVERIFY(!bothHeld || m_calls->resume(newer));
        m_calls->attendedTransfer(older, newer);
        QTRY_COMPARE(m_calls->calls().size(), 0);
        QCOMPARE(said.size(), 1);
    }

    // What the policy says, and where it falls through to ringing here.
    void policyMessages_data()
    {
        QTest::addColumn<PhoneCalls::Settings>("settings");
        QTest::addColumn<QString>("before"); // "held" a call on hold, "ringing" a dialled call not answered yet
        QTest::addColumn<bool>("privacy");
        QTest::addColumn<QString>("said"); // the phone's word to the PBX on the new call, "" when it rings here
        QTest::addColumn<QString>("message");
        PhoneCalls::Settings dnd, busy, forward, noNumber, noPrefix;
        dnd.dnd = true;
        busy.busy = true;
        forward.forward = noNumber.forward = noPrefix.forward = noPrefix.forwardToVm = true;
        forward.forwardNumber = QStringLiteral("300");
        noPrefix.vmUser = QStringLiteral("800");
        QTest::newRow("do not disturb") << dnd << "" << false << "r201"
                                        << "Call from Bob 5551234 rejected: do not disturb";
        QTest::newRow("do not disturb, numbers masked") << dnd << "" << true << "r201"
                                                        << "Call from Bob xxxx234 rejected: do not disturb";
        QTest::newRow("busy with a call on hold") << busy << "held" << false << "b201"
                                                  << "Call from Bob 5551234 refused: busy";
        QTest::newRow("busy, the dialled call not answered yet: rung") << busy << "ringing" << false << ""
                                                                       << "";
        QTest::newRow("forwarded") << forward << "" << false << "a201 t201"
                                   << "Call from Bob 5551234 forwarded to 300";
        QTest::newRow("forward without a number: rung") << noNumber << "" << false << ""
                                                        << "Cannot forward the call: no forward number set";
        QTest::newRow("forward to voicemail without a prefix: rung")
            << noPrefix << "" << false << ""
            << "Cannot forward to voicemail: no voicemail prefix or mailbox set";
    }

    void policyMessages()
    {
        QFETCH(PhoneCalls::Settings, settings);
        QFETCH(QString, before);
        QFETCH(bool, privacy);
        QFETCH(QString, said);
        QFETCH(QString, message);
        if (before == QLatin1String("held")) {
            TQuorCall *call = talkTo(QStringLiteral("400"));
            QVERIFY(call && m_calls->hold(call));
            QTRY_COMPARE(wordsToPbx(), QStringList { "q400" });
        } else if (before == QLatin1String("ringing")) {
            m_calls->dial(QStringLiteral("400"));
            QTRY_VERIFY(!m_calls->calls().isEmpty() && m_calls->calls().first()->state == CallRinging);
        }
        m_calls->setSettings(settings);
        m_calls->setPrivacy(privacy);
        m_rig->pbx.clearReceived();
        QSignalSpy listed(m_calls.get(), &PhoneCalls::signalListed);
        QSignalSpy messages(m_calls.get(), &PhoneCalls::signalShowMessage);
        m_rig->callIn(m_voip->localPort());
        if (said.isEmpty())
            QTRY_COMPARE(listed.size(), 1);
        else
            QTRY_COMPARE(wordsToPbx().join(QLatin1Char(' ')), said);
        QTest::qWait(100); // nothing more may follow
        QCOMPARE(wordsToPbx().join(QLatin1Char(' ')), said);
        QCOMPARE(listed.size(), said.isEmpty() ? 1 : 0);
        QCOMPARE(messages.isEmpty() ? QString() : messages.last().first().toString(), message);
    }

    // A forward the PBX does not carry out hands the caller to the user, behind
    // the conversation if there is one, and the call is filed as answered.
    void forwardLeftWithUs_data()
    {
        QTest::addColumn<bool>("callUp");
        QTest::newRow("nothing else up") << false;
        QTest::newRow("behind a conversation") << true;
    }

    void forwardLeftWithUs()
    {
        QFETCH(bool, callUp);
        PhoneCalls::Settings forward;
        forward.forward = true;
        forward.forwardNumber = QStringLiteral("300");
        m_calls->setSettings(forward);
        TQuorCall *conversation = callUp ? talkTo(QStringLiteral("400")) : nullptr;
        QVERIFY(!callUp || conversation);
        QSignalSpy listed(m_calls.get(), &PhoneCalls::signalListed);
        QSignalSpy messages(m_calls.get(), &PhoneCalls::signalShowMessage);
        QSignalSpy ended(m_calls.get(), &PhoneCalls::signalCallEnded);
        const quint16 dialogue = m_rig->callIn(m_voip->localPort());
        QTRY_COMPARE(transferTargets(), QStringList { "300" });
        // The sound device stays with the conversation, or goes to the caller.
        if (callUp)
            QCOMPARE(m_voip->selectedCall(), conversation->callNo);
        QTRY_COMPARE_WITH_TIMEOUT(listed.size(), 1, 5000);
        TQuorCall *call = listed.first().first().value<TQuorCall *>();
        QCOMPARE(call->state, int(callUp ? CallHeld : CallTalking));
        QCOMPARE(m_voip->selectedCall(), callUp ? conversation->callNo : call->callNo);
        QCOMPARE(messages.last().first().toString(), QStringLiteral("Unable to forward the call from Bob 5551234"));
        QCOMPARE(wordsToPbx().filter(QStringLiteral("201")),
            QStringList({ "a201", "t201" }) + QStringList(callUp ? 1 : 0, "q201"));
        m_rig->pbx.hangup(dialogue);
        QTRY_COMPARE(ended.size(), 1);
        QCOMPARE(ended.first().at(1).toInt(), int(RowAnswered));
    }

    // Answering holds the conversation; ending a call that rings here rejects
    // it, any other is hung up; a hold or resume that changes nothing sends
    // nothing; a double click brings a held call back behind the talking one;
    // the hold button acts on the talking call, else on the newest; a blind
    // transfer the PBX leaves with us puts the call back as it was.
    void callControl()
    {
        QSignalSpy messages(m_calls.get(), &PhoneCalls::signalShowMessage);
        m_calls->transferTalkingCallTo(QStringLiteral("400")); // nobody talks: nothing
        TQuorCall *a = talkTo(QStringLiteral("301"));
        QVERIFY(a);
        QSignalSpy listed(m_calls.get(), &PhoneCalls::signalListed);
        m_rig->callIn(m_voip->localPort());
        QTRY_COMPARE(listed.size(), 1);
        TQuorCall *in = m_calls->calls().last();
        QVERIFY(m_calls->answer(in));
        QTRY_COMPARE(in->state, int(CallTalking));
        m_calls->hangup(in);
        QTRY_COMPARE(m_calls->calls().size(), 1);
        m_rig->callIn(m_voip->localPort());
        QTRY_COMPARE(listed.size(), 2);
        m_calls->hangup(m_calls->calls().last());
        QTRY_COMPARE(m_calls->calls().size(), 1);

        QVERIFY(!m_calls->hold(a)); // already held by the answer
        TQuorCall *b = talkTo(QStringLiteral("302"));
        QVERIFY(b && !m_calls->resume(b));
        m_calls->activate(a);
        QCOMPARE(QList<int>({ a->state, b->state }), QList<int>({ CallTalking, CallHeld }));
        m_calls->holdResume();
        QVERIFY(!m_calls->sendDtmf(QLatin1Char('5'))); // nobody talks: the keypad keeps the digit
        m_calls->holdResume();
        QVERIFY(m_calls->sendDtmf(QLatin1Char('6')));
        QCOMPARE(QList<int>({ a->state, b->state }), QList<int>({ CallHeld, CallTalking }));
        m_calls->transferTalkingCallTo(QStringLiteral(" "));
        m_calls->transferTalkingCallTo(QStringLiteral("400"));
        QCOMPARE(b->state, int(CallTransferring));
        QTRY_COMPARE_WITH_TIMEOUT(b->state, int(CallTalking), 3000);
        QCOMPARE(wordsToPbx(),
            QStringList({ "q301", "a201", "h201", "r201", "q302", "u301", "q301", "u302", "d302", "t302" }));
        QVERIFY(m_rig->pbx.last(int(iax2::FrameType::Iax), iax2::Cmd::Quelch)->ies.contains(iax2::Ie::MusicOnHold));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages.first().first().toString(), QStringLiteral("No valid number to transfer the call to"));
    }

    // The call button answers the ringing call the user selected, else the first.
    void ringingCallChoice()
    {
        TQuorCall *selected = nullptr;
        m_calls->setSelection([&selected] { return selected; });
        QSignalSpy listed(m_calls.get(), &PhoneCalls::signalListed);
        m_rig->pbx.callEngine(m_voip->localPort(), QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("One"));
        QTRY_COMPARE(listed.size(), 1);
        m_rig->pbx.callEngine(m_voip->localPort(), QStringLiteral("B"), QStringLiteral("2"), QStringLiteral("Two"));
        QTRY_COMPARE(listed.size(), 2);
        QCOMPARE(m_calls->ringingCall(), m_calls->calls().first());
        selected = m_calls->calls().last();
        QVERIFY(m_calls->answer(m_calls->ringingCall()));
        QTRY_COMPARE(wordsToPbx(), QStringList { "aB" });
        m_calls->setSelection({});
    }

private:
    TQuorCall *talkTo(const QString &number)
    {
        return LoopbackCalls::talkTo(m_calls.get(), &m_rig->pbx, number, &m_dialogues);
    }
    int control(int subclass) const { return m_rig->pbx.count(int(iax2::FrameType::Control), subclass); }
    int iax(int subclass) const { return m_rig->pbx.count(int(iax2::FrameType::Iax), subclass); }
    QStringList transferTargets() const { return LoopbackCalls::transferTargets(m_rig->pbx); }
    // The phone's words to the PBX about its calls, in order: q/u hold and resume,
    // a answer, b busy, d a tone, h hang-up, r reject, t transfer, each followed by the
    // number the call was placed to ("201" for the PBX's calls to the phone).
    QStringList wordsToPbx() const
    {
        using namespace iax2;
        const QMap<QPair<int, int>, QChar> letters { { { int(FrameType::Iax), Cmd::Quelch }, QLatin1Char('q') },
            { { int(FrameType::Iax), Cmd::Unquelch }, QLatin1Char('u') },
            { { int(FrameType::Control), Ctl::Answer }, QLatin1Char('a') },
            { { int(FrameType::Control), Ctl::Busy }, QLatin1Char('b') },
            { { int(FrameType::Iax), Cmd::Hangup }, QLatin1Char('h') },
            { { int(FrameType::Iax), Cmd::Reject }, QLatin1Char('r') },
            { { int(FrameType::Iax), Cmd::Transfer }, QLatin1Char('t') } };
        QStringList out;
        for (const FakePbx::Frame &f : m_rig->pbx.received()) {
            const QChar letter
                = f.type == int(FrameType::DtmfEnd) ? QLatin1Char('d') : letters.value({ f.type, int(f.subclass) });
            if (!f.mini && !letter.isNull() && m_rig->pbx.dialogue(f.dest))
                out << letter + m_rig->pbx.dialogue(f.dest)->called;
        }
        return out;
    }

    std::unique_ptr<IaxRig> m_rig;
    std::unique_ptr<QuorIaxClient> m_voip;
    std::unique_ptr<PhoneCalls> m_calls;
    QList<quint16> m_dialogues;
};

QTEST_GUILESS_MAIN(TestPhoneCalls)
#include "tst_phonecalls.moc"
