// The phone window driven against the loopback fake PBX: the incoming-call
// policy, the logs, dialling rules, transfers, parking, the voicemail login,
// click-to-dial and the call actions.

#include <QAction>
#include <QDir>
#include <QDockWidget>
#include <QFile>
#include <QMainWindow>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include "softphone/ClickToDialServer.h"
#include "testsupport/FakePbx.h"
#include "core/Paths.h"
#include "core/TQuorCall.h"
#include "core/TQuorTable.h"
#include "core/TQuorTableScroll.h"
#include "core/XmlReader.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

// RFC 5456 numbers the checks below look for.
enum : int { TypeDtmf = 1, TypeControl = 4, TypeIax = 6 };
enum : int { CtlAnswer = 4, CtlBusy = 5 };
enum : int { IaxHangup = 5, IaxReject = 6, IaxRegRel = 17, IaxQuelch = 0x1c, IaxUnquelch = 0x1d, IaxTransfer = 0x22 };
enum : int { IeCalledNumber = 1 };

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");

using Keys = QList<QPair<QString, QString>>; // "section/key", value

} // namespace

class TestTQuorPhone : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void registersAndNamesUser();
    void incomingPolicy_data();
    void incomingPolicy();
    void busyWhileTalking();
    void ringAnswerAndLogs();
    void callNumberChecks();
    void callExtensionRules();
    void blindTransfer();
    void attendedTransfer_data();
    void attendedTransfer();
    void staleRecordsRefused();
    void parkCall();
    void voiceMailAutoLogin();
    void voiceMailCountTexts();
    void messagesAndPages();
    void clickToDial_data();
    void clickToDial();
    void callActionsWithoutShell();
    void quitOrder();
    void screenshot();

private:
    void makePhone(const Keys &keys = {});
    void setKey(const QString &path, const QString &value);
    // An incoming call from the fake PBX; returns the PBX's dialogue number.
    quint16 ringPhone(const QString &number = QStringLiteral("5551234"), const QString &name = QStringLiteral("Alice"));
    // An outgoing call answered by the far end; returns the phone's record.
    TQuorCall *talkTo(const QString &number);
    QStringList transferTargets() const;
    QString lastMessage() const;
    int countMessages(const QString &text) const;

    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<FakePbx> m_pbx;
    std::unique_ptr<TQuorSettings> m_settings;
    std::unique_ptr<TQuorPhone> m_phone;
    QList<int> m_exits;
};

void TestTQuorPhone::init()
{
    m_data = std::make_unique<TestDataDir>();
    QVERIFY(m_data->isValid());
    m_pbx = std::make_unique<FakePbx>();
    m_pbx->addUser(kUser, kSecret);
    m_exits.clear();
}

void TestTQuorPhone::cleanup()
{
    m_phone.reset();
    m_settings.reset();
    m_pbx.reset();
    m_data.reset();
}

void TestTQuorPhone::setKey(const QString &path, const QString &value)
{
    const QString section = path.section(QLatin1Char('/'), 0, 0);
    const QString key = path.section(QLatin1Char('/'), 1);
    XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
    xml.createRoot(QStringLiteral("quorer"));
    xml.addValue(key, value, section);
    xml.setValue(key, value, section);
    QVERIFY(xml.save());
}

void TestTQuorPhone::makePhone(const Keys &keys)
{
    // The settings read the file when they are created: write it first.
    setKey(QStringLiteral("agent/server"), QStringLiteral("127.0.0.1"));
    setKey(QStringLiteral("agent/port"), QString::number(m_pbx->port()));
    setKey(QStringLiteral("agent/uname"), kUser);
    setKey(QStringLiteral("agent/passwd"), TQuorSettings::scramblePassword(kSecret));
    setKey(QStringLiteral("codecs/ulaw"), QStringLiteral("yes"));
    setKey(QStringLiteral("codecs/alaw"), QStringLiteral("yes"));
    setKey(QStringLiteral("codecs/default"), QStringLiteral("ulaw"));
    for (const auto &k : keys)
        setKey(k.first, k.second);

    m_settings = std::make_unique<TQuorSettings>();

    TQuorPhone::Options options;
    options.voip.engine.bindAddress = "127.0.0.1";
    options.voip.engine.port = 0;
    options.voip.useSoundCard = false;
    options.voip.engine.attendedTransferTimeoutMs = 300;
    options.clickToDialPort = 0;
    m_phone = std::make_unique<TQuorPhone>(m_settings.get(), options);
    m_phone->setExitFunction([this](int status) { m_exits.append(status); });
    m_phone->setMessageHideDelay(100);
    m_phone->setVoiceMailLoginDelay(100);
    m_phone->setTransferFailDelay(300);
    QVERIFY(m_phone->voip()->isOpen());
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->regAcks() >= 1, 5000);
}

quint16 TestTQuorPhone::ringPhone(const QString &number, const QString &name)
{
    const int before = int(m_phone->currentCalls().size());
    const quint16 dialogue = m_pbx->callEngine(m_phone->voip()->localPort(), kUser, number, name);
    [&] { QTRY_COMPARE_WITH_TIMEOUT(int(m_phone->currentCalls().size()), before + 1, 5000); }();
    return dialogue;
}

TQuorCall *TestTQuorPhone::talkTo(const QString &number)
{
    m_phone->callNumber(number);
    TQuorCall *call = nullptr;
    [&] {
        QTRY_VERIFY_WITH_TIMEOUT(
            m_pbx->latest(QStringLiteral("call-in")) && m_pbx->latest(QStringLiteral("call-in"))->called == number,
            5000);
        FakePbx::Dialogue *d = m_pbx->latest(QStringLiteral("call-in"));
        QTRY_VERIFY_WITH_TIMEOUT(d->remoteNo != 0, 5000);
        m_pbx->sendControl(d->localNo, CtlAnswer);
        QTRY_VERIFY_WITH_TIMEOUT(m_phone->talkingCall() && m_phone->talkingCall()->number == number, 5000);
        call = m_phone->talkingCall();
    }();
    return call;
}

QStringList TestTQuorPhone::transferTargets() const
{
    QStringList targets;
    for (const FakePbx::Frame &f : m_pbx->received()) {
        if (f.type == TypeIax && f.subclass == IaxTransfer)
            targets << QString::fromUtf8(f.ies.value(IeCalledNumber));
    }
    return targets;
}

QString TestTQuorPhone::lastMessage() const
{
    const QList<TQuorTableRow *> rows = m_phone->messagesTable()->rows();
    return rows.isEmpty() ? QString() : rows.first()->text();
}

int TestTQuorPhone::countMessages(const QString &text) const
{
    int n = 0;
    for (const TQuorTableRow *row : m_phone->messagesTable()->rows())
        n += row->text() == text ? 1 : 0;
    return n;
}

// ---------------------------------------------------------------- tests

void TestTQuorPhone::registersAndNamesUser()
{
    makePhone();
    QTRY_COMPARE(
        m_phone->labelIaxLamp->property("lampImage").toString(), QStringLiteral(":/ui/images/phone_lamp_green.png"));
    QCOMPARE(m_phone->accountUser(), kUser);

    // Every user-settings change names the user again, and registers again.
    QSignalSpy names(m_phone.get(), &TQuorPhone::signalPhoneUserName);
    const int acks = m_pbx->regAcks();
    emit m_settings->signalUserSettingsChanged();
    QCOMPARE(names.size(), 1);
    QCOMPARE(names.at(0).at(0).toString(), kUser);
    QTRY_VERIFY(m_pbx->regAcks() > acks);
    QTRY_COMPARE(names.size(), 2);
    QCOMPARE(names.at(1).at(0).toString(), kUser);

    // The settings panel lives inside the phone.
    QVERIFY(m_phone->frameSettings->isAncestorOf(m_settings.get()));
    QCOMPARE(m_settings->pos(), QPoint(0, 0));
}

void TestTQuorPhone::incomingPolicy_data()
{
    QTest::addColumn<Keys>("keys");
    QTest::addColumn<QString>("transferTo"); // empty: no transfer expected
    QTest::addColumn<bool>("rejected");

    const QString yes = QStringLiteral("yes");
    QTest::newRow("dnd rejects") << Keys { { QStringLiteral("options/dnd"), yes } } << QString() << true;
    QTest::newRow("forward to number") << Keys { { QStringLiteral("options/forward"), yes },
        { QStringLiteral("options/fwd_num"), QStringLiteral("300") } }
                                       << QStringLiteral("300") << false;
    QTest::newRow("forward to own mailbox") << Keys { { QStringLiteral("options/forward"), yes },
        { QStringLiteral("options/forward_vm"), yes }, { QStringLiteral("options/vm_preffix"), QStringLiteral("*") } }
                                            << QStringLiteral("*201") << false;
    QTest::newRow("forward to voicemail user") << Keys { { QStringLiteral("options/forward"), yes },
        { QStringLiteral("options/forward_vm"), yes }, { QStringLiteral("options/vm_preffix"), QStringLiteral("*") },
        { QStringLiteral("options/vm_user"), QStringLiteral("800") } }
                                               << QStringLiteral("*800") << false;
}

void TestTQuorPhone::incomingPolicy()
{
    QFETCH(Keys, keys);
    QFETCH(QString, transferTo);
    QFETCH(bool, rejected);

    makePhone(keys);
    QSignalSpy tray(m_phone.get(), &TQuorPhone::signalMessageCalls);
    // Not ringPhone(): these calls may be gone again before it looks.
    const quint16 dialogue
        = m_pbx->callEngine(m_phone->voip()->localPort(), kUser, QStringLiteral("5551234"), QStringLiteral("Alice"));

    if (rejected)
        QTRY_COMPARE(m_pbx->count(TypeIax, IaxReject), 1);
    if (!transferTo.isEmpty()) {
        QTRY_COMPARE(transferTargets(), QStringList { transferTo });
        QCOMPARE(m_pbx->count(TypeControl, CtlAnswer), 1);
        // The PBX takes the call away once it has passed it on.
        m_pbx->hangup(dialogue);
    }
    // None of these rings here or shows a row; each is filed as missed.
    QCOMPARE(m_phone->activityTable()->rows().size(), 0);
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);
    QCOMPARE(tray.size(), 0);
    QCOMPARE(m_phone->missedTable()->rows().size(), 1);
    QCOMPARE(m_phone->missedTable()->rows().first()->kind(), int(RowMissed));
    QCOMPARE(m_phone->answeredTable()->rows().size(), 0);
}

void TestTQuorPhone::busyWhileTalking()
{
    makePhone({ { QStringLiteral("options/busy"), QStringLiteral("yes") } });
    // With no call up the busy option lets the call ring.
    ringPhone();
    QCOMPARE(m_phone->activityTable()->rows().size(), 1);
    m_phone->control();
    QTRY_VERIFY(m_phone->talkingCall());

    ringPhone(QStringLiteral("5559999"), QStringLiteral("Bob"));
    QTRY_COMPARE(m_pbx->count(TypeControl, CtlBusy), 1);
    QCOMPARE(m_phone->activityTable()->rows().size(), 1);
    QVERIFY(m_phone->talkingCall());
    QCOMPARE(m_phone->talkingCall()->number, QStringLiteral("5551234"));
}

void TestTQuorPhone::ringAnswerAndLogs()
{
    makePhone();
    QSignalSpy tray(m_phone.get(), &TQuorPhone::signalMessageCalls);
    QSignalSpy sent(m_phone.get(), &TQuorPhone::signalSendCall);

    // Rung and not answered: a missed call.
    quint16 dialogue = ringPhone();
    QCOMPARE(m_phone->activityTable()->rows().size(), 1);
    QCOMPARE(m_phone->activityTable()->rows().first()->kind(), int(RowIncomingRinging));
    QCOMPARE(m_phone->currentPage(), m_phone->frameActivity);
    QCOMPARE(tray.size(), 1);
    QCOMPARE(tray.at(0).at(0).toString(), QStringLiteral("Incoming Call"));
    QVERIFY(tray.at(0).at(1).toString().contains(QStringLiteral("5551234")));
    m_pbx->hangup(dialogue);
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);
    QCOMPARE(m_phone->activityTable()->rows().size(), 0);
    QCOMPARE(m_phone->missedTable()->rows().size(), 1);
    QVERIFY(m_phone->missedTable()->rows().first()->text().contains(QStringLiteral("Alice")));

    // Answered with the call button: talking, announced, then filed as answered.
    dialogue = ringPhone(QStringLiteral("5552222"), QStringLiteral("Carol"));
    m_phone->control();
    QTRY_COMPARE(m_pbx->count(TypeControl, CtlAnswer), 1);
    QTRY_VERIFY(m_phone->talkingCall());
    QCOMPARE(m_phone->activityTable()->rows().first()->kind(), int(RowTalking));
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent.at(0).at(0).value<TQuorCall *>(), m_phone->talkingCall());

    // Hold is a quelch, resume an unquelch; keys pressed while talking go out as tones.
    TQuorCall *carol = m_phone->talkingCall();
    m_phone->holdResume();
    QCOMPARE(carol->state, int(CallHeld));
    QCOMPARE(m_phone->activityTable()->rowOf(carol)->kind(), int(RowHeld));
    QTRY_COMPARE(m_pbx->count(TypeIax, IaxQuelch), 1);
    m_phone->holdResume();
    QCOMPARE(carol->state, int(CallTalking));
    QTRY_COMPARE(m_pbx->count(TypeIax, IaxUnquelch), 1);
    QTest::mouseClick(m_phone->buttonKey5, Qt::LeftButton);
    QTRY_COMPARE(m_pbx->count(TypeDtmf, '5'), 1);
    QVERIFY(m_phone->editDial->text().isEmpty());

    m_pbx->hangup(dialogue);
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);
    QCOMPARE(m_phone->answeredTable()->rows().size(), 1);
    QCOMPARE(m_phone->answeredTable()->rows().first()->kind(), int(RowAnswered));
    QCOMPARE(m_phone->missedTable()->rows().size(), 1);

    // Dialled and hung up here: the dialed log.
    TQuorCall *out = talkTo(QStringLiteral("300"));
    QVERIFY(out);
    QCOMPARE(sent.size(), 2);
    m_phone->hangupCurrent();
    QTRY_COMPARE(m_pbx->count(TypeIax, IaxHangup), 1);
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);
    QCOMPARE(m_phone->dialedTable()->rows().size(), 1);
    QCOMPARE(m_phone->dialedTable()->rows().first()->kind(), int(RowDialled));

    // While privacy is on the balloon masks the number as the lists do.
    m_phone->slotPrivacySettingsChanged(true);
    tray.clear();
    dialogue = ringPhone(QStringLiteral("5553333"), QStringLiteral("Dave"));
    QCOMPARE(tray.size(), 1);
    QCOMPARE(tray.at(0).at(1).toString(), QStringLiteral("Dave xxxx333"));
    m_pbx->hangup(dialogue);
    QTRY_COMPARE(m_phone->missedTable()->rows().size(), 2);

    // With the tray option off no balloon is asked for.
    m_settings->toggleTrayIcon();
    QCOMPARE(m_phone->trayAction()->text(), QStringLiteral("Enable Tray messages"));
    tray.clear();
    dialogue = ringPhone(QStringLiteral("5554444"));
    QCOMPARE(tray.size(), 0);
    m_pbx->hangup(dialogue);
    QTRY_COMPARE(m_phone->missedTable()->rows().size(), 3);
}

void TestTQuorPhone::callNumberChecks()
{
    makePhone();
    m_phone->callNumber(QStringLiteral("   "));
    QCOMPARE(lastMessage(), QStringLiteral("Enter a number to call"));
    m_phone->callNumber(kUser);
    QCOMPARE(lastMessage(), QStringLiteral("You cannot call your own number"));
    m_phone->callNumber(QStringLiteral("300\r\n400"));
    QCOMPARE(lastMessage(), QStringLiteral("The number contains characters that cannot be dialled"));
    QCOMPARE(m_phone->currentCalls().size(), 0);

    for (int i = 0; i < TQuorPhone::MaxCalls; ++i)
        m_phone->callNumber(QStringLiteral("30%1").arg(i));
    QCOMPARE(m_phone->currentCalls().size(), TQuorPhone::MaxCalls);
    QCOMPARE(m_phone->activityTable()->rows().size(), TQuorPhone::MaxCalls);
    m_phone->callNumber(QStringLiteral("399"));
    QCOMPARE(lastMessage(), QStringLiteral("Too many calls: end one before placing another"));
    QCOMPARE(m_phone->currentCalls().size(), TQuorPhone::MaxCalls);
}

void TestTQuorPhone::callExtensionRules()
{
    makePhone();
    // Our own extension: nothing at all.
    m_phone->callExtension(kUser);
    QCOMPARE(m_phone->currentCalls().size(), 0);

    // While our outgoing call is being set up, another request is ignored.
    m_phone->callExtension(QStringLiteral("300"));
    QCOMPARE(m_phone->currentCalls().size(), 1);
    TQuorCall *first = m_phone->currentCalls().first();
    QTRY_COMPARE(first->state, int(CallRinging));
    m_phone->callExtension(QStringLiteral("301"));
    QCOMPARE(m_phone->currentCalls().size(), 1);

    // Once it talks, the talking call is held first.
    FakePbx::Dialogue *d = m_pbx->latest(QStringLiteral("call-in"));
    m_pbx->sendControl(d->localNo, CtlAnswer);
    QTRY_COMPARE(first->state, int(CallTalking));
    m_phone->callExtension(QStringLiteral("301"));
    QCOMPARE(m_phone->currentCalls().size(), 2);
    QCOMPARE(first->state, int(CallHeld));
    QCOMPARE(m_phone->activityTable()->rowOf(first)->kind(), int(RowHeld2));
    QTRY_COMPARE(m_pbx->count(TypeIax, IaxQuelch), 1);
}

void TestTQuorPhone::blindTransfer()
{
    makePhone();
    // Nothing talking: nothing to transfer, and nothing said.
    const int messages = int(m_phone->messagesTable()->rows().size());
    m_phone->transferTalkingCallTo(QStringLiteral("400"));
    QCOMPARE(m_phone->messagesTable()->rows().size(), messages);

    TQuorCall *a = talkTo(QStringLiteral("300"));
    QVERIFY(a);
    m_phone->transferTalkingCallTo(QStringLiteral("  "));
    QCOMPARE(lastMessage(), QStringLiteral("No valid number to transfer the call to"));
    m_phone->transferTalkingCallTo(QStringLiteral("400"));
    QTRY_COMPARE(transferTargets(), QStringList { QStringLiteral("400") });
    QCOMPARE(a->state, int(CallTransferring));
    m_pbx->hangup(m_pbx->latest(QStringLiteral("call-in"))->localNo);
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);
    QCOMPARE(m_phone->dialedTable()->rows().size(), 1);
}

void TestTQuorPhone::attendedTransfer_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("joined");

    QTest::newRow("joined") << int(FakePbx::TransferMode::Join) << true;
    QTest::newRow("refused") << int(FakePbx::TransferMode::Reject) << false;
    QTest::newRow("no answer") << int(FakePbx::TransferMode::Ignore) << false;
}

void TestTQuorPhone::attendedTransfer()
{
    QFETCH(int, mode);
    QFETCH(bool, joined);

    m_pbx->setTransferMode(FakePbx::TransferMode(mode));
    makePhone();
    m_phone->MtransferInternal();
    QCOMPARE(lastMessage(), QStringLiteral("Unable to transfer the call"));

    TQuorCall *held = talkTo(QStringLiteral("301"));
    QVERIFY(held);
    m_phone->holdResume();
    QCOMPARE(held->state, int(CallHeld));
    TQuorCall *talking = talkTo(QStringLiteral("302"));
    QVERIFY(talking);
    QCOMPARE(held->state, int(CallHeld));

    // The wrong way round is refused; a missing call is ignored.
    const int before = int(m_phone->messagesTable()->rows().size());
    m_phone->attendedTransfer(talking, held);
    QCOMPARE(lastMessage(), QStringLiteral("Unable to transfer the call"));
    m_phone->attendedTransfer(nullptr, talking);
    QCOMPARE(m_phone->messagesTable()->rows().size(), before + 1);
    QCOMPARE(held->state, int(CallHeld));

    m_phone->MtransferInternal();
    QCOMPARE(held->state, int(CallTransferring));
    QCOMPARE(talking->state, int(CallTransferring));
    if (joined) {
        // The PBX took both calls: each is filed, and nothing failed.
        QTRY_COMPARE(m_phone->currentCalls().size(), 0);
        QCOMPARE(m_phone->dialedTable()->rows().size(), 2);
        QTest::qWait(400);
        QCOMPARE(countMessages(QStringLiteral("Unable to transfer the call")), 2);
    } else {
        // Both calls are as they were, and the failure is said once.
        const int said = countMessages(QStringLiteral("Unable to transfer the call"));
        QTRY_COMPARE(held->state, int(CallHeld));
        QCOMPARE(talking->state, int(CallTalking));
        QCOMPARE(countMessages(QStringLiteral("Unable to transfer the call")), said + 1);
        QTest::qWait(400);
        QCOMPARE(countMessages(QStringLiteral("Unable to transfer the call")), said + 1);
        QCOMPARE(m_phone->currentCalls().size(), 2);
    }
}

void TestTQuorPhone::staleRecordsRefused()
{
    makePhone();
    TQuorCall *talking = talkTo(QStringLiteral("300"));
    QVERIFY(talking);

    // A record the phone does not hold (another list's, or a tile's copy).
    TQuorCall stranger;
    stranger.state = CallHeld;
    m_phone->attendedTransfer(&stranger, talking);
    QCOMPARE(lastMessage(), QStringLiteral("Unable to transfer the call"));

    // A record that was deleted when its call ended.
    TQuorCall *gone = talkTo(QStringLiteral("301"));
    QVERIFY(gone);
    m_pbx->hangup(m_pbx->latest(QStringLiteral("call-in"))->localNo);
    QTRY_COMPARE(m_phone->currentCalls().size(), 1);
    QVERIFY(!m_phone->isOwnCall(gone));
    m_phone->attendedTransfer(gone, talking);
    QCOMPARE(lastMessage(), QStringLiteral("Unable to transfer the call"));
    QVERIFY(transferTargets().isEmpty());
}

void TestTQuorPhone::parkCall()
{
    makePhone({ { QStringLiteral("options/parking_lot"), QStringLiteral("700") } });
    TQuorCall *call = talkTo(QStringLiteral("300"));
    QVERIFY(call);
    const int messages = int(m_phone->messagesTable()->rows().size());
    m_phone->parkCall(call->callNo + 1);
    QCOMPARE(m_phone->messagesTable()->rows().size(), messages);
    m_phone->parkCall(call->callNo);
    QTRY_COMPARE(transferTargets(), QStringList { QStringLiteral("700") });
}

void TestTQuorPhone::voiceMailAutoLogin()
{
    makePhone({ { QStringLiteral("options/vm_number"), QStringLiteral("*97") },
        { QStringLiteral("options/vm_passwd"), TQuorSettings::scramblePassword(QStringLiteral("1234")) } });
    m_phone->callVM();
    QCOMPARE(m_phone->currentCalls().size(), 1);
    // Until the password has gone out no other call is placed.
    m_phone->callNumber(QStringLiteral("300"));
    QCOMPARE(lastMessage(), QStringLiteral("Voicemail check in progress"));
    QCOMPARE(m_phone->currentCalls().size(), 1);

    auto tones = [this] {
        QString digits;
        for (const FakePbx::Frame &f : m_pbx->received()) {
            if (f.type == TypeDtmf)
                digits += QChar(char(f.subclass));
        }
        return digits;
    };
    QTRY_COMPARE(tones(), QStringLiteral("1234#"));
    QCOMPARE(m_pbx->latest(QStringLiteral("call-in"))->called, QStringLiteral("*97"));
    m_phone->callNumber(QStringLiteral("300"));
    QCOMPARE(m_phone->currentCalls().size(), 2);
}

void TestTQuorPhone::voiceMailCountTexts()
{
    makePhone();
    QLabel *icon = m_phone->labelVoiceMail;
    QLabel *count = m_phone->labelMesNum;
    QVERIFY(!icon->isVisibleTo(m_phone.get()));

    m_phone->setVoiceMailCount(kUser, 1);
    QVERIFY(icon->isVisibleTo(m_phone.get()));
    QCOMPARE(icon->toolTip(), QStringLiteral("1 new message"));
    QCOMPARE(count->text(), QStringLiteral("1"));

    m_phone->setVoiceMailCount(kUser, 12);
    QCOMPARE(icon->toolTip(), QStringLiteral("12 new messages"));
    QCOMPARE(count->text(), QStringLiteral("12"));

    // Another extension's box changes nothing.
    m_phone->setVoiceMailCount(QStringLiteral("202"), 0);
    QVERIFY(icon->isVisibleTo(m_phone.get()));
    QCOMPARE(count->text(), QStringLiteral("12"));

    m_phone->setVoiceMailCount(kUser, 0);
    QVERIFY(!icon->isVisibleTo(m_phone.get()));
    QVERIFY(!count->isVisibleTo(m_phone.get()));
}

void TestTQuorPhone::messagesAndPages()
{
    makePhone();
    const int before = int(m_phone->messagesTable()->rows().size());
    m_phone->showMessage(QStringLiteral("Disk on fire"), MessageError, QStringLiteral("detail for the log"));
    m_phone->showMessage(QStringLiteral("Careful"), MessageWarning);
    QCOMPARE(m_phone->messagesTable()->rows().size(), before + 2);
    QCOMPARE(m_phone->messagesTable()->rows().at(0)->kind(), int(RowInformation));
    QCOMPARE(m_phone->messagesTable()->rows().at(1)->kind(), int(RowMissed));
    QCOMPARE(m_phone->labelMessage->text(), QStringLiteral("Careful"));
    QTRY_VERIFY(m_phone->labelMessage->text().isEmpty());

    // The list keeps its newest rows; the records of dropped rows are freed.
    for (int i = 0; i < TQuorPhone::LogRowLimit + 20; ++i)
        m_phone->showMessage(QStringLiteral("note %1").arg(i), MessageStatus);
    QCOMPARE(m_phone->messagesTable()->rows().size(), TQuorPhone::LogRowLimit);
    QCOMPARE(lastMessage(), QStringLiteral("note %1").arg(TQuorPhone::LogRowLimit + 19));

    // While the settings panel is shown, its label is the message label.
    m_phone->getMenu(QStringLiteral("settings"));
    QCOMPARE(m_phone->currentPage(), m_phone->frameSettings);
    QVERIFY(m_settings->isVisibleTo(m_phone.get()));
    QCOMPARE(m_phone->messageLabel(), m_settings->messageLabel());
    m_phone->setMessageHideDelay(60000);
    m_phone->showMessage(QStringLiteral("Saved"), MessageStatus);
    QCOMPARE(m_settings->messageLabel()->text(), QStringLiteral("Saved"));
    m_phone->getMenu(QStringLiteral("kb"));
    QCOMPARE(m_phone->currentPage(), m_phone->frameKeypad);
    QCOMPARE(m_phone->messageLabel(), m_phone->labelMessage);
    QCOMPARE(m_phone->labelMessage->text(), QStringLiteral("Saved"));
    QVERIFY(!m_phone->frameSettings->isVisibleTo(m_phone.get()));

    // The agent button opens the settings panel on its agent page.
    m_phone->slotAgentLogin();
    QCOMPARE(m_phone->currentPage(), m_phone->frameSettings);
    QVERIFY(m_settings->frameAgent->isVisibleTo(m_settings.get()));
    QVERIFY(!m_settings->frameSelect->isVisibleTo(m_settings.get()));
    QCOMPARE(m_settings->currentPage(), int(PageAgent));
    QCOMPARE(m_settings->labelCaption->text(), QStringLiteral("Agent Login"));
    QCOMPARE(m_settings->labelButtonAgent->text(), QStringLiteral("Select a Queue"));
    QCOMPARE(m_settings->buttonAgent->toolTip(), QStringLiteral("Select a Queue"));
    m_phone->setAgentLoggedIn(true);
    QVERIFY(m_phone->labelAgent->isVisibleTo(m_phone.get()));
    m_phone->setAgentLoggedIn(false);
    QVERIFY(!m_phone->labelAgent->isVisibleTo(m_phone.get()));

    const QList<QPair<QString, QWidget *>> pages { { QStringLiteral("incoming"), m_phone->frameActivity },
        { QStringLiteral("missed"), m_phone->frameMissed }, { QStringLiteral("log"), m_phone->frameMessages },
        { QStringLiteral("bogus"), m_phone->frameMessages } };
    for (const auto &page : pages) {
        m_phone->getMenu(page.first);
        QCOMPARE(m_phone->currentPage(), page.second);
    }

    // The dial display: keys append, lclear only on the keypad page.
    m_phone->showKeypad();
    QTest::mouseClick(m_phone->buttonKey7, Qt::LeftButton);
    QTest::mouseClick(m_phone->buttonKeyStar, Qt::LeftButton);
    QCOMPARE(m_phone->editDial->text(), QStringLiteral("7*"));
    m_phone->showActivity();
    m_phone->lclear();
    QCOMPARE(m_phone->editDial->text(), QStringLiteral("7*"));
    m_phone->showKeypad();
    m_phone->lclear();
    QVERIFY(m_phone->editDial->text().isEmpty());

    // Privacy reaches every list; AMI texts pass through unchanged.
    m_phone->slotPrivacySettingsChanged(true);
    QVERIFY(m_phone->missedTable()->privacy() && m_phone->activityTable()->privacy());
    QSignalSpy ext(m_phone.get(), &TQuorPhone::signalExtCmd);
    m_phone->slotExtCmd(QStringLiteral("Action: Ping\r\n\r\n"));
    QCOMPARE(ext.size(), 1);
    QCOMPARE(ext.at(0).at(0).toString(), QStringLiteral("Action: Ping\r\n\r\n"));

    // The option texts follow the settings.
    QSignalSpy labels(m_phone.get(), &TQuorPhone::signalsetupLablel);
    QCOMPARE(m_phone->dndAction()->text(), QStringLiteral("Enable DND"));
    m_phone->slotSetDND();
    QCOMPARE(m_phone->dndAction()->text(), QStringLiteral("Disable DND"));
    QVERIFY(labels.size() >= 1);
    QCOMPARE(m_phone->labelDndLamp->property("lampImage").toString(), QStringLiteral(":/ui/images/phone_lamp_red.png"));
}

void TestTQuorPhone::clickToDial_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("dialled"); // empty: refused

    QTest::newRow("number") << QByteArray("call:5551234\n") << QStringLiteral("5551234");
    QTest::newRow("feature code") << QByteArray("call:*97#\r\n") << QStringLiteral("*97#");
    QTest::newRow("shell text") << QByteArray("call:555;reboot\n") << QString();
    QTest::newRow("no prefix") << QByteArray("5551234\n") << QString();
    QTest::newRow("injected line") << QByteArray("call:555\r\nAction: Hangup\n") << QString();
    QTest::newRow("oversized") << QByteArray("call:") + QByteArray(400, '5') + "\n" << QString();
}

void TestTQuorPhone::clickToDial()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, dialled);

    makePhone();
    QVERIFY(m_phone->clickToDial()->isListening());
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, m_phone->clickToDial()->port());
    QVERIFY(client.waitForConnected(2000));
    client.write(request);
    QTRY_COMPARE(client.state(), QAbstractSocket::UnconnectedState);
    if (dialled.isEmpty()) {
        QTest::qWait(20);
        QCOMPARE(m_phone->currentCalls().size(), 0);
    } else {
        QTRY_COMPARE(m_phone->currentCalls().size(), 1);
        QCOMPARE(m_phone->currentCalls().first()->number, dialled);
        QTRY_VERIFY(m_pbx->latest(QStringLiteral("call-in")));
        QTRY_COMPARE(m_pbx->latest(QStringLiteral("call-in"))->called, dialled);
    }
}

void TestTQuorPhone::callActionsWithoutShell()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath(QStringLiteral("args"));
    const QString script = dir.filePath(QStringLiteral("record.sh"));
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\0' \"$a\"; done > '" + out.toUtf8() + ".tmp'\nmv '"
        + out.toUtf8() + ".tmp' '" + out.toUtf8() + "'\n");
    file.close();
    QVERIFY(file.setPermissions(file.permissions() | QFile::ExeOwner));

    makePhone({ { QStringLiteral("actions/act_in"), QStringLiteral("yes") },
        { QStringLiteral("actions/act_a1"), QStringLiteral("yes") }, { QStringLiteral("actions/opt_AppIn"), script },
        { QStringLiteral("actions/opt_ScrIn"), QStringLiteral("my script; rm -rf ~") } });
    // The caller id comes from the network: shell text must arrive as one argument.
    const QString hostile = QStringLiteral("555$(touch pwned)`id`");
    ringPhone(hostile, QStringLiteral("Mallory"));
    QTRY_VERIFY(QFile::exists(out));
    QFile args(out);
    QVERIFY(args.open(QIODevice::ReadOnly));
    const QList<QByteArray> parts = args.readAll().split('\0');
    QCOMPARE(parts.size(), 3);
    QCOMPARE(QString::fromUtf8(parts.at(0)), QStringLiteral("my script; rm -rf ~"));
    QCOMPARE(QString::fromUtf8(parts.at(1)), hostile);
    QVERIFY(!QFile::exists(QDir::current().filePath(QStringLiteral("pwned"))));
}

void TestTQuorPhone::quitOrder()
{
    makePhone();
    TQuorCall *call = talkTo(QStringLiteral("300"));
    QVERIFY(call);
    m_phone->beforeQuit();
    // The engine said goodbye to the PBX before the process was ended.
    QCOMPARE(m_exits, QList<int> { 0 });
    QVERIFY(m_phone->voip()->isShutDown());
    QVERIFY(!m_phone->voip()->isRunning());
    QCOMPARE(m_pbx->count(TypeIax, IaxHangup), 1);
    QVERIFY(m_pbx->count(TypeIax, IaxRegRel) >= 1);
    QVERIFY(!m_phone->clickToDial()->isListening());
}

void TestTQuorPhone::screenshot()
{
    makePhone({ { QStringLiteral("options/forward"), QStringLiteral("no") } });
    m_phone->slotManagerRegistered(true);
    m_phone->labelAsterisk->setText(QStringLiteral("Asterisk 1.6.2"));
    m_phone->labelExtN->setText(QStringLiteral("24"));
    m_phone->labelExAvailN->setText(QStringLiteral("17"));
    m_phone->labelAcCallsN->setText(QStringLiteral("3"));
    m_phone->setVoiceMailCount(kUser, 2);
    m_phone->setAgentLoggedIn(true);

    const quint16 missed = ringPhone(QStringLiteral("5550100"), QStringLiteral("Dana Scott"));
    m_pbx->hangup(missed);
    QTRY_COMPARE(m_phone->currentCalls().size(), 0);
    talkTo(QStringLiteral("300"));
    ringPhone(QStringLiteral("5550199"), QStringLiteral("Erin Hale"));
    m_phone->showMessage(QStringLiteral("Call from Erin Hale"), MessageStatus);
    m_phone->show();
    QTest::qWait(50);

    const QString activity = saveWidgetShot(m_phone.get(), QStringLiteral("phone-activity"));
    QVERIFY(!activity.isEmpty());
    m_phone->MshowMissing();
    QVERIFY(!saveWidgetShot(m_phone.get(), QStringLiteral("phone-missed")).isEmpty());
    m_phone->showKeypad();
    m_phone->editDial->setText(QStringLiteral("5550142"));
    m_phone->showVolume();
    QVERIFY(!saveWidgetShot(m_phone.get(), QStringLiteral("phone-keypad")).isEmpty());
    m_phone->showVolume();
    m_phone->showSettings();
    QVERIFY(!saveWidgetShot(m_phone.get(), QStringLiteral("phone-settings")).isEmpty());

    // As the main window holds it: a dock on the left, under the program's style sheet.
    QMainWindow window;
    QFile css(QStringLiteral(":/ui/css/app.css"));
    QVERIFY(css.open(QIODevice::ReadOnly));
    window.setStyleSheet(QString::fromUtf8(css.readAll()));
    auto *dock = new QDockWidget(QStringLiteral("Phone"), &window);
    dock->setWidget(m_phone.get());
    window.addDockWidget(Qt::LeftDockWidgetArea, dock);
    window.setCentralWidget(new QWidget);
    window.resize(700, 600);
    m_phone->setMainWindow(&window);
    m_phone->showActivity();
    window.show();
    QTest::qWait(50);
    QCOMPARE(m_phone->size(), QSize(302, 552));
    QVERIFY(!saveWidgetShot(&window, QStringLiteral("phone-in-window")).isEmpty());
    dock->setWidget(nullptr);
    m_phone->setParent(nullptr);
    qInfo("screenshots next to %s", qPrintable(activity));
}

QTEST_MAIN(TestTQuorPhone)
#include "tst_tquorphone.moc"
