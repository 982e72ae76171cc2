// The queue and parked windows of the real main window, its phone registered
// with the loopback PBX: their rows, Take, Send and Hang up, and calls of the
// phone dropped on "Parked". The records behind the rows: tst_routing.

#include <QMenu>
#include <QMimeData>
#include <QTableWidget>

#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "mainwindow/ACPark.h"
#include "mainwindow/ACQueue.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/MenuRunner.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "testsupport/FakePbx.h"
#include "testsupport/LoopbackCalls.h"
#include "testsupport/ManagerFixture.h"

namespace {

// The text of a plain-text label; a label that reads markup is marked.
QString shown(const QLabel *label)
{
    return (label->textFormat() == Qt::PlainText ? "" : "rich text: ") + label->text();
}

QString redirect(const QString &channel, const QString &exten, const QString &context)
{
    return QString("Action: Redirect|Channel: %1|Exten: %2|Priority: 1|Context: %3|ActionID: redirectCall")
        .arg(channel, exten, context);
}

} // namespace

class TestCallWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void rowsShowTheCall();
    void commands_data();
    void commands();
    void dropOnParked();

private:
    CallWindow *window(const QString &name) const
    {
        return name == "queue" ? static_cast<CallWindow *>(m_f->manager->queueWindow()) : m_f->manager->parkedWindow();
    }
    // A new call listed in the named window; returns its channel.
    QString listCall(const QString &name, const QString &space = "701", const QString &callerId = "300");
    bool hangUpAll() { return LoopbackCalls::hangUpAll(m_f->phone->calls(), m_pbx.get(), &m_dialogues); }

    std::unique_ptr<FakePbx> m_pbx;
    std::unique_ptr<ManagerFixture> m_f;
    QList<quint16> m_dialogues;
    int m_calls = 0;
};

void TestCallWindows::initTestCase()
{
    m_pbx = std::make_unique<FakePbx>();
    m_pbx->addUser("201", "s3cret");
    m_f = std::make_unique<ManagerFixture>();
    // The own peer is not among them: its context stays unknown at first.
    m_f->setPeers("SIP 102 Bruno");
    QVERIFY(m_f->startLoggedIn({ { "agent/server", "127.0.0.1" }, { "agent/port", QString::number(m_pbx->port()) },
        { "agent/uname", "201" }, { "agent/passwd", TQuorSettings::scramblePassword("s3cret") },
        { "codecs/ulaw", "yes" }, { "codecs/default", "ulaw" } }));
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->regAcks() >= 1, 10000);
    m_f->manager->resize(900, 620);
    m_f->manager->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_f->manager.get()));
}

void TestCallWindows::init()
{
    m_f->sync();
    m_f->takeSent();
    m_f->boxes.clear();
    m_pbx->clearReceived();
}

QString TestCallWindows::listCall(const QString &name, const QString &space, const QString &callerId)
{
    const QString n = QString::number(++m_calls);
    const QString channel = "SIP/3" + n + "-0a1b";
    m_f->push("Event: Newchannel|Channel: " + channel + "|State: Ring|CallerID: 300|Uniqueid: 17." + n);
    if (name == "queue")
        m_f->push("Event: Join|Channel: " + channel + "|CallerID: " + callerId + "|Queue: sales|Uniqueid: 17." + n);
    else
        m_f->push(
            "Event: ParkedCall|Exten: " + space + "|Channel: " + channel + "|From: SIP/101-0c0d|CallerID: " + callerId);
    m_f->takeSent();
    return channel;
}

// A row names its caller (as plain text), queue or space and parker, and its
// clock runs and wraps after a day; a repeated Join shows the new queue in the
// same row.
void TestCallWindows::rowsShowTheCall()
{
    const QString channel = listCall("queue", "", "\"Anna\" <300>");
    m_f->push("Event: ParkedCall|Exten: 701|Channel: " + channel + "|From: SIP/101-0c0d|CallerID: <b>0612</b>");
    const ActiveCall *call = m_f->manager->activeCalls.constLast();
    QVERIFY(call->queueRow && call->parkRow);
    QCOMPARE(shown(call->queueRow->label_source), "\"Anna\" <300>");
    QCOMPARE(shown(call->queueRow->label_destination), "sales");
    QCOMPARE(shown(call->parkRow->label_destination) + ' ' + shown(call->parkRow->label_user), "701 101");
    QCOMPARE(shown(call->parkRow->label_source), "<b>0612</b>");
    QTRY_VERIFY_WITH_TIMEOUT(call->parkRow->label_qtime->text() > "00:00:00", 3000);
    QCOMPARE(CallRow::clockText(25 * 3600 * 1000), "01:00:00");
    m_f->push("Event: Join|Channel: " + channel + "|CallerID: 300|Queue: support|Uniqueid: " + call->uniqueid);
    QCOMPARE(shown(call->queueRow->label_destination), "support");
}

void TestCallWindows::commands_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("command"); // what the user does
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("setup"); // "", "no row", "renamed", "no space", "learnt" (own context), "gone"
    QTest::addColumn<QString>("sent"); // %1: the call's channel; "" for nothing
    QTest::addColumn<bool>("rowStays");
    QTest::addColumn<QString>("dialled"); // what the phone dialled; null for nothing

    const QString send = redirect("%1", "102", "from-internal");
    const QString hang = "Action: Hangup|Channel: %1";
    for (const char *name : { "queue", "parked" }) {
        const bool queue = QByteArray(name) == "queue";
        const auto row = [name](const char *what, const char *command, const char *destination, const char *setup,
                             const QString &sent, bool stays, const QString &dial = QString()) {
            QTest::addRow("%s: %s", name, what) << name << command << destination << setup << sent << stays << dial;
        };
        for (const char *command : { "take button", "take menu", "Alt+T" })
            row(command, command, "", "", queue ? redirect("%1", "201", "") : "", false, queue ? QString() : "701");
        row("send button", "send button", "102", "", send, false);
        for (const char *command : { "hang button", "hang menu", "Alt+H" })
            row(command, command, "", "", hang, false);
        row("Alt+Shift+H does nothing", "Alt+Shift+H", "", "", "", true);
        row("line breaks in the destination", "send button", "10\r\n2", "", send, false);
        row("empty destination asks", "send button", "", "", "", true);
        row("no row", "take button", "", "no row", "", true);
        // A queue row is keyed by the uniqueid that a rename replaces; a
        // parked row follows the channel's new name.
        if (queue)
            row("hang without a record", "hang button", "", "renamed", "", true);
        else
            row("hang after a rename", "hang button", "", "renamed", "Action: Hangup|Channel: %1<1>", false);
        for (const char *command : { "take menu", "hang menu" })
            row(qPrintable(QString(command) + ", the call ends meanwhile"), command, "", "gone", "", false);
        if (!queue)
            row("take an empty space", "take button", "", "no space", "", false);
    }
    // The learnt context is kept: these rows come last.
    for (const char *command : { "take button", "take menu", "Alt+T" })
        QTest::addRow("queue: %s, context learnt", command)
            << "queue" << command << ""
            << "learnt" << redirect("%1", "201", "from-office") << false << QString();
}

void TestCallWindows::commands()
{
    QFETCH(QString, name);
    QFETCH(QString, command);
    QFETCH(QString, destination);
    QFETCH(QString, setup);
    QFETCH(QString, sent);
    QFETCH(bool, rowStays);
    QFETCH(QString, dialled);

    if (setup == "learnt")
        m_f->push("Response: Success|ActionID: SIPShowPeer|Channeltype: SIP|ObjectName: 201|Context: from-office|"
                  "Callerid: \"Me\" <201>|Status: OK (3 ms)");
    CallWindow *w = window(name);
    if (setup == "gone")
        listCall(name); // where the current row moves to
    const QString channel = listCall(name, setup == "no space" ? "" : "701");
    const int rows = w->table->rowCount();
    if (setup == "renamed")
        m_f->push("Event: Rename|Oldname: " + channel + "|Newname: " + channel + "<1>|Uniqueid: 17.99");
    m_f->takeSent();
    if (setup == "no row")
        w->table->setCurrentCell(-1, -1);
    else
        w->table->selectRow(rows - 1);
    w->findChild<QLineEdit *>("lineEdit_ext")->setText(destination);
    const qsizetype calls = m_f->phone->currentCalls().size();

    if (command.endsWith("button")) {
        (command.startsWith("take")          ? w->takeButton
                : command.startsWith("send") ? w->sendButton
                                             : w->hangButton)
            ->click();
    } else if (command.endsWith("menu")) {
        bool chosen = false;
        MenuRunner::set([&](QMenu *menu) {
            if (setup == "gone")
                m_f->push(QString("Event: Hangup|Channel: %1|Uniqueid: 17.%2").arg(channel).arg(m_calls));
            m_f->takeSent();
            menu->actions().at(command.startsWith("take") ? 0 : 1)->trigger();
            chosen = true;
        });
        emit w->table->customContextMenuRequested(QPoint(10, 10));
        MenuRunner::set({});
        QVERIFY2(chosen, "no context menu ran");
    } else {
        QTest::keySequence(w->table, QKeySequence(command));
    }
    m_f->sync();

    QCOMPARE(m_f->takeSent(), sent.isEmpty() ? QStringList() : QStringList { sent.arg(channel) });
    QCOMPARE(w->table->rowCount(), rows - (rowStays ? 0 : 1));
    const bool asked = command == "send button" && destination.isEmpty() && setup.isEmpty();
    QCOMPARE(m_f->boxes, asked ? QStringList { "Pease fill the Destination Field." } : QStringList());
    if (dialled.isNull()) {
        QCOMPARE(m_f->phone->currentCalls().size(), calls);
    } else {
        QTRY_VERIFY(m_pbx->latest("call-in") && m_pbx->latest("call-in")->called == dialled);
        QVERIFY(hangUpAll());
    }
}

// Only a live call of this phone is parked: a payload from another process,
// with a forged serial, of no call, of a record that is not the phone's call,
// without a call, or of a call that ended during the drag is refused.
void TestCallWindows::dropOnParked()
{
    TQuorCall *call = LoopbackCalls::talkTo(m_f->phone->calls(), m_pbx.get(), "300", &m_dialogues);
    QVERIFY(call);
    const auto dropped = [this](QMimeData *data) {
        QDragEnterEvent enter({ 20, 20 }, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_f->manager->parkedWindow(), &enter);
        QDropEvent drop({ 20, 20 }, Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(m_f->manager->parkedWindow(), &drop);
        m_f->sync();
        return enter.isAccepted() || drop.isAccepted() || !LoopbackCalls::transferTargets(*m_pbx).isEmpty();
    };
    TQuorCall stranger;
    stranger.callNo = call->callNo;
    using Payload = std::unique_ptr<QMimeData>;
    const Payload payloads[] = { Payload(call->toMimeData()), Payload(call->toMimeData()), Payload(call->toMimeData()),
        Payload(stranger.toMimeData()), std::make_unique<QMimeData>() };
    payloads[0]->setData(TQuorCall::mimeType(), "140737488355328");
    payloads[2]->setData(TQuorCall::mimeType(), "0");
    payloads[1]->setData(TQuorCall::serialMimeType(), QByteArray::number(call->serial() + 1));
    payloads[4]->setText("102");
    for (const auto &payload : payloads)
        QVERIFY(!dropped(payload.get()));
    const std::unique_ptr<QMimeData> live(call->toMimeData());
    QVERIFY(dropped(live.get()));
    QTRY_COMPARE(LoopbackCalls::transferTargets(*m_pbx), QStringList { "70" });
    QVERIFY(hangUpAll());
    m_pbx->clearReceived();
    QVERIFY(!dropped(live.get()));
}

QUOR_MAINWINDOW_TEST_MAIN(TestCallWindows)
#include "tst_callwindows.moc"
