// The user's own DND and forward through the AstDB (feature codes on 1.2), and
// queue-agent login and pause confirmed by member events, through the window.

#include <QComboBox>
#include <QPushButton>

#include <ctime>

#include "core/Paths.h"
#include "core/TQuorCall.h"
#include "core/XmlReader.h"
#include "mainwindow/Agent.h"
#include "mainwindow/Queue.h"
#include "softphone/PhoneMessages.h"
#include "testsupport/ManagerFixture.h"

struct Own
{
    QString version;
    QStringList options; // "key=value" of the options section
    QStringList db; // the PBX's "family/key=value"
    QString trigger; // "dnd", "fwd", "busy type", or a message the PBX sends
    QStringList sent;
    QStringList after; // "key=value" of the options section
    QStringList dialled {}; // feature codes the phone dialled
};
Q_DECLARE_METATYPE(Own)

namespace {

const QString kOwn = "IAX2/101";

QString member(const char *event, const QString &queue, const QString &location, const QString &name,
    const QString &paused = "0", const QString &lastCall = "0")
{
    return QString("Event: %1|Queue: %2|Location: %3|MemberName: %4|Membership: dynamic|Penalty: 0|CallsTaken: 0|"
                   "LastCall: %5|Status: 1|Paused: %6")
        .arg(event, queue, location, name, lastCall, paused);
}

QByteArray wire(const QString &message)
{
    return message.toLatin1().replace('|', "\r\n") + "\r\n\r\n";
}

// The user 101 as agent 501, penalty 3, with "options/key=value"
// settings; the PBX holds "family/key=value" entries, reports the queues
// "sales" (with another member) and "support", and confirms the agent's
// actions with member events. The agent page is open.
std::unique_ptr<ManagerFixture> loggedIn(
    const QString &version = "1.4.21", const QStringList &options = {}, const QStringList &db = {})
{
    auto f = std::make_unique<ManagerFixture>();
    f->pbx.version = version;
    f->setPeers("SIP 101 Me|SIP 102 Bruno");
    for (const QString &entry : db)
        f->pbx.db.insert(entry.section('=', 0, 0), entry.section('=', 1));
    f->ami.addResponder("QueueStatus", [](const QStringList &action) {
        const QString id = "|ActionID: " + FakeAmiServer::valueOf(action, "ActionID");
        QByteArray out = wire("Response: Success|Message: Queue status will follow" + id);
        for (const char *queue : { "sales", "support" })
            out += wire(QString("Event: QueueParams|Queue: %1|Max: 0|Calls: 0|Holdtime: 12|Weight: 0").arg(queue) + id);
        return out + wire(member("QueueMember", "sales", "SIP/201", "") + id) + wire("Event: QueueStatusComplete" + id);
    });
    const auto v = [](const QStringList &a, const char *key) { return FakeAmiServer::valueOf(a, key); };
    f->ami.addResponder("QueueAdd", [v](const QStringList &a) {
        return wire("Response: Success") + wire(member("QueueMemberAdded", v(a, "Queue"), kOwn, v(a, "MemberName")));
    });
    f->ami.addResponder("QueuePause", [v](const QStringList &a) {
        return wire("Response: Success")
            + wire("Event: QueueMemberPaused|Queue: " + v(a, "Queue")
                + "|Location: IAX2/101|Paused: " + (v(a, "Paused") == "true" ? "1" : "0"));
    });
    f->ami.addResponder("QueueRemove", [v](const QStringList &a) {
        return wire("Response: Success")
            + wire("Event: QueueMemberRemoved|Queue: " + v(a, "Queue") + "|Location: IAX2/101|MemberName: 501");
    });
    SettingKeys keys { { "agent/uname", "101" }, { "agentLogin/agentid", "501" }, { "agentLogin/penalty", "3" } };
    for (const QString &pair : options)
        keys.append({ "options/" + pair.section('=', 0, 0), pair.section('=', 1) });
    f->answerAsPbx();
    f->start(keys);
    f->phone->slotAgentLogin();
    if (!f->settle())
        qWarning("not logged in");
    f->takeSent();
    return f;
}

// The texts of a combo's entries.
QStringList texts(const QAbstractItemModel *model)
{
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, 0).data().toString();
    return out;
}

// The agent page and the phone: "caption|pause tip|listed lines|menu
// text|agent picture|phone logged in|message", "!" after an error message.
QString agentState(const ManagerFixture &f)
{
    const TQuorSettings *s = f.settings.get();
    const QImage shown = f.phone->labelAlogin->pixmap().toImage();
    QString picture;
    for (const char *name : { "phone_agent_out", "a_login", "a_login_p" }) {
        if (shown == QImage(QString(":/ui/images/%1.png").arg(name)).convertToFormat(shown.format()))
            picture = name;
    }
    const QLabel *message = f.phone->labelMessage;
    const bool error = !message->text().isEmpty() && message->styleSheet() == PhoneMessages::styleSheet(MessageError);
    return QStringList { s->labelButtonAgent->text(), s->buttonPause->toolTip(),
        texts(s->tableAgents->model()).join(','), f.action("Ctrl+A")->text(), picture,
        f.phone->agentLoggedIn() ? "in" : "out", message->text() + (error ? "!" : "") }
        .join('|');
}

} // namespace

class TestOwnDndQueues : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void ownDndForward_data();
    void ownDndForward();
    void peerBackKeepsDnd();
    void queueChoice();
    void loginPauseLogout();
    void memberEvents_data();
    void memberEvents();
};

void TestOwnDndQueues::initTestCase()
{
    // LastCall is Unix time shown in local time: central Europe here, spelt
    // out so that no time-zone database is needed.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
}

void TestOwnDndQueues::ownDndForward_data()
{
    QTest::addColumn<Own>("c");
    const auto row = [](const char *name, const Own &c) { QTest::newRow(name) << c; };
    const QString v14 = "1.4.21";
    const QString put = "Action: command|Command: database put %1 101 %2";
    const QString del = "Action: command|Command: database del %1 101";
    // A put or del, the UserEvent after it and the read-back its echo asks for.
    const auto written = [](const QString &text, const QString &family, const char *option) {
        return QStringList { text, "Action: UserEvent|Act: " + family + "|User: 101",
            QString("Action: DBGet|Family: %1|Key: 101|ActionID: DBcheck/101-%2").arg(family, option) };
    };
    const QStringList forwarding { "forward=yes", "fwd_num=200" };
    const QStringList both { "dnd=yes", "forward=yes", "fwd_num=200" };
    const QStringList bothDb { "DND/101=YES", "CF/101=200" };
    row("1.4: DND on", { v14, {}, {}, "dnd", written(put.arg("DND", "YES"), "DND", "dnd"), { "dnd=yes" } });
    row("1.2: DND on dials the feature code", { "1.2.40", {}, {}, "dnd", {}, { "dnd=yes" }, { "*78" } });
    row("1.2: DND off dials the feature code",
        { "1.2.40", { "dnd=yes", "dnd_num=*79" }, { "DND/101=YES" }, "dnd", {}, { "dnd=no" }, { "*79" } });
    row("forward on", { v14, { "fwd_num=200" }, {}, "fwd", written(put.arg("CF", "200"), "CF", "fwd"), forwarding });
    row("1.6: DND off while forwarding",
        { "1.6.2.0", both, bothDb, "dnd", written(del.arg("DND"), "DND", "dnd"), { "dnd=no", "forward=yes" } });
    row("forward off while DND is on, no number", { v14, { "dnd=yes", "forward=yes", "fwd_num=" },
        { "DND/101=YES", "CF/101=" }, "fwd", written(del.arg("CF"), "CF", "fwd"), { "forward=no", "dnd=yes" } });
    row("forward type changed while forwarding: the entry moves",
        { v14, forwarding, { "CF/101=200" }, "busy type",
            QStringList { del.arg("CF") } + written(put.arg("CFB", "200"), "CFB", "fwd"),
            { "forward=yes", "asterisk_fwd_busy=yes" } });

    // Answers for the own key and another's.
    const QString missing = "Response: Error|ActionID: DBcheck/%1-%2|Message: Database entry not found";
    row("own DND missing", { v14, { "dnd=yes" }, { "DND/101=YES" }, missing.arg("101", "dnd"), {}, { "dnd=no" } });
    row("another's DND missing",
        { v14, { "dnd=yes" }, { "DND/101=YES" }, missing.arg("102", "dnd"), {}, { "dnd=yes" } });
    row("own forward entry under busy: the entry of the old type goes",
        { v14, {}, {}, "Event: DBGetResponse|Family: CFB|Key: 101|Val: 300", { del.arg("CF") },
            { "forward=yes", "fwd_num=300", "asterisk_fwd_busy=yes", "asterisk_fwd_all=no" } });
    // A blank no-answer family takes neither a miss (no Family) nor the sync marks (UserEvents without Act).
    row("blank family: own DND missing",
        { v14, { "ast_fwd_fam_3=" }, {}, missing.arg("101", "dnd"), {}, { "forward=no" } });
}

// The PBX's answers come while the agent page is open: the own state is
// stored without moving the page or showing an option sub-form over it.
void TestOwnDndQueues::ownDndForward()
{
    QFETCH(Own, c);
    auto f = loggedIn(c.version, c.options, c.db);
    TQuorSettings *s = f->settings.get();
    const bool answer = c.trigger.contains(':');
    if (answer) {
        f->push(c.trigger);
    } else if (c.trigger == "busy type") {
        f->openPage("buttonOptions");
        s->Box_busy->setChecked(true);
        s->settingsApply();
    } else {
        f->action(c.trigger == "dnd" ? "Set Do Not Disturb" : "Set Forwarding")->trigger();
    }
    QVERIFY(f->settle());
    QCOMPARE(f->takeSent(), c.sent);
    for (const QString &pair : std::as_const(c.after)) {
        const QString key = pair.section('=', 0, 0);
        QCOMPARE(XmlReader(Paths::dataFile("quorer.xml")).getValue(key, "options"), pair.section('=', 1));
    }
    QStringList dialled;
    for (const TQuorCall *call : f->phone->currentCalls())
        dialled << call->dialled;
    QCOMPARE(dialled + f->boxes, c.dialled);
    if (answer) {
        QCOMPARE(s->currentPage(), int(PageAgent));
        QVERIFY(s->frameAgent->isVisibleTo(s) && !s->frameOptDND->isVisibleTo(s) && !s->frameOptFWD->isVisibleTo(s));
    }
}

// Unreachable clears a tile's DND; registered again, it shows the DND the PBX
// still holds.
void TestOwnDndQueues::peerBackKeepsDnd()
{
    auto f = loggedIn("1.4.21", {}, { "DND/102=YES" });
    const QStringList asked { "Action: command|Command: database showkey 102|ActionID: showkey/102-fwd",
        "Action: DBGet|Family: DND|Key: 102|ActionID: DBcheck/102-dnd",
        "Action: Command|Command: sip show peers|ActionID: SIPCount" };
    for (const auto &[status, shown] : { std::pair { "Unreachable", "102=1" }, { "Registered", "102=7 dnd" } }) {
        f->push(QString("Event: PeerStatus|Peer: SIP/102|PeerStatus: ") + status);
        QVERIFY(f->settle());
        QCOMPARE(f->takeSent(), asked);
        QCOMPARE(f->shown(), shown);
    }
}

// Filling the list chooses nothing: the button asks for a queue and joins
// none, not even the queue of the last member the status listed.
void TestOwnDndQueues::queueChoice()
{
    auto f = loggedIn();
    TQuorSettings *s = f->settings.get();
    QCOMPARE(texts(s->comboQueues->model()), (QStringList { "", "sales", "support" }));
    s->buttonAgent->click();
    QVERIFY(f->settle());
    QCOMPARE(f->takeSent(), QStringList());
    QCOMPARE(agentState(*f), "Select\na Queue|Pause||Agent Login|phone_agent_out|out|Please, select a Queue !");

    s->comboQueues->setCurrentText("support");
    s->buttonAgent->click();
    QVERIFY(f->settle());
    QCOMPARE(f->takeSent().value(0),
        "Action: QueueAdd|Queue: support|Interface: IAX2/101|MemberName: 501|Penalty: 3|Paused: no");
}

// Each step presses a button of the agent page and lets the PBX confirm it.
void TestOwnDndQueues::loginPauseLogout()
{
    auto f = loggedIn();
    TQuorSettings *s = f->settings.get();
    const QString pause = "Action: QueuePause|Queue: sales|Interface: IAX2/101|Paused: %1";
    const QString out = "connect to\nsales|Pause||Agent Login|phone_agent_out|out|";
    const QString in = "sales\nlogout|%1|501 IAX2/101 sales|Agent Logout|%2|in|Agent 501 %3";
    const struct
    {
        QPushButton *button; // null: choose "sales"
        QStringList sent;
        QString state;
    } steps[] = {
        { nullptr, {}, out },
        { s->buttonAgent, { "Action: QueueAdd|Queue: sales|Interface: IAX2/101|MemberName: 501|Penalty: 3|Paused: no" },
            in.arg("Pause", "a_login", "Logged In") },
        { s->buttonPause, { pause.arg("true") }, in.arg("Unpause", "a_login_p", "Paused") },
        { s->buttonPause, { pause.arg("false") }, in.arg("Pause", "a_login", "Unpaused") },
        { s->buttonAgent,
            { "Action: QueueRemove|Queue: sales|Interface: IAX2/101", "Action: QueueStatus|ActionID: QueueStatus" },
            out + "Agent 501 Logged Off!" },
    };
    for (const auto &step : steps) {
        f->phone->labelMessage->clear();
        if (step.button)
            step.button->click();
        else
            s->comboQueues->setCurrentText("sales");
        QVERIFY(f->settle());
        QCOMPARE(f->takeSent(), step.sent);
        QCOMPARE(agentState(*f), step.state);
    }
}

void TestOwnDndQueues::memberEvents_data()
{
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<QString>("member"); // whose record in "sales": "location=name|last call|paused"
    QTest::addColumn<int>("salesMembers");
    QTest::addColumn<QString>("state");
    const auto row = [](const char *name, const QStringList &events, const QString &member, int members,
                         const QString &state) { QTest::newRow(name) << events << member << members << state; };
    const QString other = "SIP/201=";
    const QString own = "IAX2/101=";
    const QString connect = "connect to\nsales|Pause||Agent Login|phone_agent_out|out|";
    const QString select = "Select\na Queue|Pause||Agent Login|%1|";
    const QString listed = "%1|501 IAX2/101 sales|Agent Logout|%2|%3|";
    const QString ownMember = member("QueueMember", "sales", kOwn, "501");
    const QString paused = "Event: QueueMemberPaused|Queue: %1|Location: %2|Paused: 1";
    row("LastCall as local time", { member("QueueMember", "sales", "SIP/201", "201", "0", "3600") },
        other + "201|1970-01-01 02:00:00|0", 1, connect);
    row("own member of an unannounced queue", { member("QueueMemberAdded", "ghost", kOwn, "501") }, own, 1,
        select.arg("a_login|in"));
    row("pause in an unannounced queue", { paused.arg("ghost", kOwn) }, own, 1, select.arg("phone_agent_out|out"));
}

void TestOwnDndQueues::memberEvents()
{
    QFETCH(QStringList, events);
    QFETCH(QString, member);
    QFETCH(int, salesMembers);
    QFETCH(QString, state);
    auto f = loggedIn();
    f->settings->comboQueues->setCurrentText("sales");
    f->phone->labelMessage->clear();
    for (const QString &event : std::as_const(events))
        f->push(event);
    QCOMPARE(f->manager->queues.size(), 2);
    const Queue *sales = f->manager->queues.at(0);
    const Agent *a = sales->findAgent(member.section('=', 0, 0), "sales");
    QCOMPARE(a ? a->memberName + '|' + a->lastCall + '|' + a->paused : QString(), member.section('=', 1));
    QCOMPARE(sales->agents.size(), salesMembers);
    QCOMPARE(agentState(*f), state);
}

QUOR_MAINWINDOW_TEST_MAIN(TestOwnDndQueues)
#include "tst_owndndqueues.moc"
