// The phone window against the loopback fake PBX: the logs, dialling rules,
// transfers, voicemail, messages and the quit order.

#include <QDir>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTest>

#include "PhoneFixture.h"
#include "core/Logger.h"
#include "core/TQuorCall.h"
#include "iax2/Frame.h"
#include "softphone/CallActions.h"
#include "softphone/ClickToDialServer.h"
#include "testsupport/LoopbackCalls.h"

namespace {

// The frames the checks look for, as the engine names them.
constexpr int kDtmf = int(iax2::FrameType::DtmfEnd);
constexpr int kControl = int(iax2::FrameType::Control);
constexpr int kIax = int(iax2::FrameType::Iax);

using Keys = SettingKeys;

Keys yes(const QString &key)
{
    return { { key, QStringLiteral("yes") } };
}

} // namespace

class TestTQuorPhone : public QObject, public PhoneFixture
{
    Q_OBJECT

private slots:
    void init()
    {
        startPbx();
        Logger::setProgramLog(QStringLiteral("quorer.log"));
    }

    void cleanup() { stopPhone(); }

    void firstStart()
    {
        // No account yet, and a settings file that cannot be read.
        QVERIFY(QDir().mkpath(m_data->path()));
        m_data->write(QStringLiteral("quorer.xml"), "<quorer><agent>");
        makePhone({}, false);
        // The reason it is not registered stays in view until newer messages come.
        const QString reason = QStringLiteral("No PBX server or user name set: the phone is not registered");
        QCOMPARE(m_phone->labelMessage->text(), reason);
        QTRY_VERIFY(m_phone->messagesTable()->rows().size() > 1);
        QCOMPARE(m_phone->labelMessage->text(), lastMessage());
        CallActionSettings actions;
        actions.actOut = true;
        actions.appOut = QStringLiteral("/nonexistent/quor-test/outgoing-app");
        m_phone->callActions()->setSettings(actions);
        m_phone->callActions()->outgoing(QStringLiteral("300"));
        QCOMPARE(countMessages(lastMessage()), 1);
        // What the layers below said reaches the log once, not again from the phone.
        QFile file(Logger::programLogPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString log = QString::fromUtf8(file.readAll());
        for (const QString &text : { reason, QStringLiteral("The settings file could not be read"), actions.appOut })
            QVERIFY2(log.count(text) == 1, qPrintable(log));
    }

    // The options that steer the incoming-call policy reach the calls.
    void policyOptions()
    {
        makePhone(yes("options/dnd") + yes("options/busy") + yes("options/forward") + yes("options/forward_vm")
            + Keys { { "options/fwd_num", "300" }, { "options/vm_preffix", "*" }, { "options/vm_user", "800" } });
        const PhoneCalls::Settings &s = m_phone->calls()->settings();
        QVERIFY(s.dnd && s.busy && s.forward && s.forwardToVm);
        QCOMPARE(QStringList({ s.forwardNumber, s.vmPrefix, s.vmUser }), QStringList({ "300", "*", "800" }));
    }

    void ringAnswerAndLogs()
    {
        makePhone(yes("actions/act_crm") + yes("actions/act_a1")
            + Keys { { "actions/opt_ActCRM", "http://crm.invalid/?n=" } });
        QSignalSpy tray(m_phone.get(), &TQuorPhone::signalMessageCalls);
        QSignalSpy sent(m_phone.get(), &TQuorPhone::signalSendCall);
        QStringList crm;
        m_phone->callActions()->setUrlOpener([&crm](const QUrl &url) {
            crm << url.toString();
            return true;
        });
        // Rung and not answered: a missed call; the actions set to run while it
        // rings get the caller's number.
        quint16 dialogue = ringPhone();
        QCOMPARE(m_phone->currentPage(), m_phone->frameActivity);
        QCOMPARE(tray.size(), 1);
        QCOMPARE(crm, QStringList { QStringLiteral("http://crm.invalid/?n=5551234") });
        m_pbx->hangup(dialogue);
        QTRY_COMPARE(m_phone->currentCalls().size(), 0);
        QVERIFY(m_phone->missedTable()->rows().first()->text().contains(QStringLiteral("Alice")));

        // Answered with the call button: talking, announced, then filed as answered.
        dialogue = ringPhone(QStringLiteral("5552222"), QStringLiteral("Carol"));
        m_phone->control();
        QTRY_VERIFY(m_phone->talkingCall());
        QCOMPARE(m_pbx->count(kControl, iax2::Ctl::Answer), 1);
        QCOMPARE(sent.size(), 1);
        QCOMPARE(crm.size(), 2);
        m_pbx->hangup(dialogue);
        QTRY_COMPARE(rows(m_phone->answeredTable()), 1);
    }

    void callNumberChecks()
    {
        makePhone();
        const QList<QPair<QString, QString>> refused { { "   ", "Enter a number to call" },
            { kUser, "You cannot call your own number" },
            { "300\r\n400", "The number contains characters that cannot be dialled" } };
        for (const auto &[number, message] : refused) {
            m_phone->callNumber(number);
            QCOMPARE(lastMessage(), message);
        }
        QCOMPARE(m_phone->currentCalls().size(), 0);
        // callExtension: a blank number meets the same check, our own extension
        // does nothing, and while our outgoing call is being set up another
        // request is ignored.
        for (const QString &number : { QString(), QStringLiteral("  ") }) {
            m_phone->labelMessage->clear();
            m_phone->callExtension(number);
            QCOMPARE(m_phone->labelMessage->text(), QStringLiteral("Enter a number to call"));
        }
        for (const QString &number : { kUser, QStringLiteral("300"), QStringLiteral("301") })
            m_phone->callExtension(number);
        QCOMPARE(m_phone->currentCalls().size(), 1);
        // The first NEW on the wire is the call to 300: nothing went out before it.
        QTRY_COMPARE(m_pbx->count(kIax, iax2::Cmd::New), 1);
        QCOMPARE(m_pbx->latest(QStringLiteral("call-in"))->called, QStringLiteral("300"));
        for (int i = 1; i < TQuorPhone::kMaxCalls; ++i)
            m_phone->callNumber(QStringLiteral("30%1").arg(i));
        QCOMPARE(rows(m_phone->activityTable()), TQuorPhone::kMaxCalls);
        m_phone->callNumber(QStringLiteral("399"));
        QCOMPARE(lastMessage(), QStringLiteral("Too many calls: end one before placing another"));
        QCOMPARE(m_phone->currentCalls().size(), TQuorPhone::kMaxCalls);
    }

    // A tile's call while our own outgoing call is still being set up does
    // nothing at all, whichever step of the set-up it meets; a call ringing
    // here or one on hold does not stop it.
    void callExtensionWhileSettingUp_data()
    {
        QTest::addColumn<QString>("current"); // the phone's call when the tile asks
        QTest::addColumn<bool>("placed");
        QTest::newRow("outgoing, dialling") << "dialling" << false;
        QTest::newRow("outgoing, accepted by the PBX") << "accepted" << false;
        QTest::newRow("outgoing, ringing") << "ringing" << false;
        QTest::newRow("incoming, ringing here") << "incoming" << true;
        QTest::newRow("outgoing, held") << "held" << true;
    }

    void callExtensionWhileSettingUp()
    {
        QFETCH(QString, current);
        QFETCH(bool, placed);
        makePhone();
        const QHash<QString, int> setUp { { "dialling", CallDialling }, { "accepted", CallAccepted },
            { "ringing", CallRinging } };
        TQuorCall *call = nullptr;
        bool asked = false;
        const auto ask = [this, &asked] {
            asked = true;
            m_phone->callExtension(QStringLiteral("301"));
        };
        QObject context;
        if (setUp.contains(current)) {
            // The PBX accepts and rings at once: the request goes out the moment
            // the call reaches the step, the accepted one lasting no longer.
            const int step = setUp.value(current);
            m_phone->callNumber(QStringLiteral("300"));
            call = m_phone->currentCalls().value(0);
            QVERIFY(call && call->state == CallDialling);
            const auto askAtStep = [&, step] {
                if (!asked && call->state == step)
                    ask();
            };
            connect(m_phone->calls(), &PhoneCalls::signalStateChanged, &context, askAtStep);
            askAtStep();
        } else if (current == QLatin1String("incoming")) {
            QVERIFY(ringPhone());
            call = m_phone->currentCalls().first();
            ask();
        } else {
            call = talkTo(QStringLiteral("300"));
            QVERIFY(call);
            m_phone->holdResume();
            ask();
        }
        const int stateAfter = current == QLatin1String("held") ? CallHeld : CallRinging;
        QTRY_COMPARE(call->state, stateAfter);
        QVERIFY(asked);
        const int dialledBefore = current == QLatin1String("incoming") ? 0 : 1;
        QTRY_COMPARE(m_pbx->count(kIax, iax2::Cmd::New), dialledBefore + int(placed));
        QTest::qWait(100); // anything else the request sent is on the wire by now
        QCOMPARE(m_pbx->count(kIax, iax2::Cmd::New), dialledBefore + int(placed));
        QCOMPARE(m_pbx->latest(QStringLiteral("call-in"))->called, placed ? QStringLiteral("301") : "300");
        QCOMPARE(m_phone->currentCalls().size(), 1 + int(placed));
        // The call that was there is left as it was.
        QCOMPARE(call->state, stateAfter);
        QCOMPARE(m_pbx->count(kIax, iax2::Cmd::Quelch), current == QLatin1String("held") ? 1 : 0);
        QCOMPARE(m_pbx->count(kIax, iax2::Cmd::Hangup) + m_pbx->count(kIax, iax2::Cmd::Reject)
                + m_pbx->count(kControl, iax2::Ctl::Answer),
            0);
    }

    // The conversation is held only for a call that was really placed; the
    // address book dials from the keypad page and stays there.
    void dialWhileTalking_data()
    {
        QTest::addColumn<QString>("from"); // "extension" (a tile), "contacts" (slotCall), "typed"
        QTest::addColumn<QString>("number");
        QTest::addColumn<bool>("placed");
        const QString bad = QStringLiteral("301") + QChar(1); // refused by callNumber's checks
        QTest::newRow("tile") << "extension"
                              << "301" << true;
        QTest::newRow("address book") << "contacts"
                                      << "301" << true;
        QTest::newRow("tile, refused") << "extension" << bad << false;
        QTest::newRow("address book, refused") << "contacts" << bad << false;
        QTest::newRow("typed, refused below") << "typed"
                                              << "301" << false;
    }

    void dialWhileTalking()
    {
        QFETCH(QString, from);
        QFETCH(QString, number);
        QFETCH(bool, placed);
        makePhone();
        TQuorCall *talking = talkTo(QStringLiteral("300"));
        QVERIFY(talking);
        m_phone->showMessages();
        if (from == QLatin1String("extension")) {
            m_phone->callExtension(number);
        } else if (from == QLatin1String("contacts")) {
            m_phone->slotCall(number);
        } else {
            m_phone->voip()->applyCodecs(0, 0); // the layer refuses every call
            m_phone->callNumber(number);
        }
        QCOMPARE(m_phone->currentCalls().size(), placed ? 2 : 1);
        QCOMPARE(talking->state, int(placed ? CallHeld : CallTalking));
        QCOMPARE(m_phone->currentPage(),
            from == QLatin1String("contacts") ? m_phone->frameKeypad
                : placed                      ? m_phone->frameActivity
                                              : m_phone->frameMessages);
        if (placed) {
            QCOMPARE(m_phone->activityTable()->rowOf(talking)->kind(), int(RowHeld2));
            QTRY_COMPARE(m_pbx->count(kIax, iax2::Cmd::Quelch), 1);
        }
    }

    // The activity row says what the call is: a held call that rang here looks
    // unlike a held dialled one, a call being transferred is kept as it was.
    void rowKinds()
    {
        makePhone();
        const quint16 dialogue = ringPhone();
        TQuorCall *in = m_phone->currentCalls().first();
        auto kind = [this, in] { return m_phone->activityTable()->rowOf(in)->kind(); };
        QCOMPARE(kind(), int(RowIncomingRinging));
        m_phone->control();
        QTRY_COMPARE(kind(), int(RowTalking));
        m_phone->holdResume();
        QCOMPARE(kind(), int(RowHeld));
        m_phone->holdResume();
        QCOMPARE(kind(), int(RowTalking));
        m_phone->transferTalkingCallTo(QStringLiteral("400"));
        QCOMPARE(kind(), int(RowTalking));
        m_pbx->hangup(dialogue);
        QTRY_COMPARE(rows(m_phone->answeredTable()), 1);
        QCOMPARE(rows(m_phone->activityTable()), 0);
    }

    // Parking is the parked-calls window's (tst_callwindows).
    void blindTransfer()
    {
        makePhone();
        TQuorCall *a = talkTo(QStringLiteral("300"));
        QVERIFY(a);
        m_phone->transferTalkingCallTo(QStringLiteral("  "));
        QCOMPARE(lastMessage(), QStringLiteral("No valid number to transfer the call to"));
        m_phone->transferTalkingCallTo(QStringLiteral("400"));
        QTRY_COMPARE(transferTargets(), QStringList { QStringLiteral("400") });
        QCOMPARE(a->state, int(CallTransferring));
        m_pbx->hangup(m_pbx->latest(QStringLiteral("call-in"))->localNo);
        QTRY_COMPARE(rows(m_phone->dialedTable()), 1);
    }

    void voiceMailAutoLogin()
    {
        makePhone({ { "options/vm_number", "*97" },
            { "options/vm_passwd", TQuorSettings::scramblePassword(QStringLiteral("1234")) } });
        m_phone->callVM();
        QCOMPARE(m_phone->currentCalls().size(), 1);
        // Until the password has gone out no other call is placed.
        m_phone->callNumber(QStringLiteral("300"));
        QCOMPARE(lastMessage(), QStringLiteral("Voicemail check in progress"));
        QCOMPARE(m_phone->currentCalls().size(), 1);
        auto tones = [this] {
            QString digits;
            for (const FakePbx::Frame &f : m_pbx->received())
                digits += f.type == kDtmf ? QString(QChar(char(f.subclass))) : QString();
            return digits;
        };
        QTRY_COMPARE(tones(), QStringLiteral("1234#"));
        QCOMPARE(m_pbx->latest(QStringLiteral("call-in"))->called, QStringLiteral("*97"));
        m_phone->callNumber(QStringLiteral("300"));
        QCOMPARE(m_phone->currentCalls().size(), 2);
        // The mailbox count, for this phone's box only.
        m_phone->setVoiceMailCount(kUser, 1);
        m_phone->setVoiceMailCount(QStringLiteral("202"), 0);
        QVERIFY(m_phone->labelMesNum->isVisibleTo(m_phone.get()));
        m_phone->setVoiceMailCount(kUser, 0);
        QVERIFY(!m_phone->labelMesNum->isVisibleTo(m_phone.get()));
    }

    void messages()
    {
        makePhone();
        // The main window's texts stay in view with the settings panel up, and
        // are still there after it closes.
        m_phone->getMenu(QStringLiteral("settings"));
        QCOMPARE(m_phone->currentPage(), m_phone->frameSettings);
        QVERIFY(m_phone->messageLabel()->isVisibleTo(m_phone.get()));
        m_phone->showMessage(QStringLiteral("Saved"), MessageStatus);
        QCOMPARE(m_settings->messageLabel()->text(), QStringLiteral("Saved"));
        m_phone->messageLabel()->setText(QStringLiteral("Manager connected"));
        m_phone->getMenu(QStringLiteral("kb"));
        QCOMPARE(m_phone->currentPage(), m_phone->frameKeypad);
        QCOMPARE(m_phone->labelMessage->text(), QStringLiteral("Manager connected"));
        // A refused registration says why, once: a REGREJ's cause, or a
        // challenge of our answer to the first one.
        const std::pair<FakePbx::RegistrarFault, const char *> refusals[] = {
            { FakePbx::RegistrarFault::Rejecting, "Registration rejected: Registration Refused" },
            { FakePbx::RegistrarFault::Rechallenging, "Registration rejected: authentication failed" }
        };
        for (const auto &[fault, text] : refusals) {
            m_pbx->setRegistrarFault(fault);
            m_phone->voip()->registerAccount();
            const QString rejected = QLatin1String(text);
            QTRY_COMPARE(m_phone->labelMessage->text(), rejected);
            QCOMPARE(countMessages(rejected), 1);
        }
    }

    void clickToDialAndQuit()
    {
        makePhone();
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, m_phone->clickToDial()->port());
        QVERIFY(client.waitForConnected(2000));
        client.write("call:5551234\n");
        QTRY_VERIFY(m_pbx->latest(QStringLiteral("call-in")));
        QCOMPARE(m_pbx->latest(QStringLiteral("call-in"))->called, QStringLiteral("5551234"));
        QCOMPARE(m_phone->currentCalls().size(), 1);
        // The engine says goodbye to the PBX before the process is ended.
        m_phone->beforeQuit();
        QCOMPARE(m_exits, QList<int> { 0 });
        QVERIFY(m_phone->voip()->isShutDown());
        QCOMPARE(m_pbx->count(kIax, iax2::Cmd::Hangup), 1);
        QVERIFY(!m_phone->clickToDial()->isListening());
    }

private:
    // The phone, registered before a test starts unless there is no account.
    void makePhone(const Keys &keys = {}, bool account = true)
    {
        TQuorPhone::Options options = loopbackPhoneOptions();
        options.clickToDialPort = 0;
        startPhone(Keys { { "codecs/ulaw", "yes" }, { "codecs/default", "ulaw" } } + keys, options, account);
        m_phone->setMessageHideDelay(60000);
        m_phone->setVoiceMailLoginDelay(100);
    }

    // An incoming call from the fake PBX; returns the PBX's dialogue number.
    quint16 ringPhone(const QString &number = QStringLiteral("5551234"), const QString &name = QStringLiteral("Alice"))
    {
        const int before = int(m_phone->currentCalls().size());
        const quint16 dialogue = m_pbx->callEngine(m_phone->voip()->localPort(), kUser, number, name);
        return QTest::qWaitFor([&] { return m_phone->currentCalls().size() == before + 1; }, 5000) ? dialogue : 0;
    }

    // An outgoing call answered by the far end; the phone's record, or nullptr.
    TQuorCall *talkTo(const QString &number)
    {
        QList<quint16> dialogues;
        return LoopbackCalls::talkTo(m_phone->calls(), m_pbx.get(), number, &dialogues);
    }

    QStringList transferTargets() const { return LoopbackCalls::transferTargets(*m_pbx); }

    int countMessages(const QString &text) const
    {
        const QList<TQuorTableRow *> list = m_phone->messagesTable()->rows();
        return int(
            std::count_if(list.cbegin(), list.cend(), [&](const TQuorTableRow *r) { return r->text() == text; }));
    }

    int rows(const TQuorTable *table) const { return int(table->rows().size()); }
};

QTEST_MAIN(TestTQuorPhone)
#include "tst_tquorphone.moc"
