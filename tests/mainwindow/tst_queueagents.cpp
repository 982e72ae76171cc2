// Queues, members and the user's queue-agent login and pause through the real
// main window and its agent page, against a fake PBX that answers QueueStatus
// and confirms QueueAdd, QueuePause and QueueRemove with the member events.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <ctime>

#include "ManagerFixture.h"
#include "mainwindow/Agent.h"
#include "mainwindow/Queue.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/PhoneMessages.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/WidgetShot.h"

namespace {

using Events = QList<QStringList>;

QByteArray wire(const QStringList &lines)
{
    return lines.join(QLatin1String("\r\n")).toLatin1() + "\r\n\r\n";
}

QStringList event(const char *name, const QStringList &fields)
{
    return QStringList { QLatin1String("Event: ") + QLatin1String(name) } + fields;
}

QStringList member(const char *name, const QString &queue, const QString &location, const QString &memberName,
    const QString &paused = QStringLiteral("0"))
{
    return event(name,
        { "Queue: " + queue, "Location: " + location, "MemberName: " + memberName, "Membership: dynamic", "Penalty: 0",
            "CallsTaken: 0", "LastCall: 0", "Status: 1", "Paused: " + paused });
}

QStringList removed(const QString &queue, const QString &location, const QString &memberName)
{
    return event("QueueMemberRemoved", { "Queue: " + queue, "Location: " + location, "MemberName: " + memberName });
}

QStringList paused(const QString &queue, const QString &location, const QString &value)
{
    return event("QueueMemberPaused", { "Queue: " + queue, "Location: " + location, "Paused: " + value });
}

QStringList params(const QString &queue, const QString &calls = QStringLiteral("0"))
{
    return event("QueueParams", { "Queue: " + queue, "Max: 0", "Calls: " + calls, "Holdtime: 12", "Weight: 0" });
}

const QStringList kComplete { QStringLiteral("Event: QueueStatusComplete") };
const QString kOwn = QStringLiteral("IAX2/101");
const QString kLoggedOut = QStringLiteral(":/ui/images/phone_agent_out.png");
const QString kAtWork = QStringLiteral(":/ui/images/a_login.png");
const QString kPaused = QStringLiteral(":/ui/images/a_login_p.png");

bool shows(const QLabel *label, const QString &picture)
{
    return label->pixmap().toImage() == QImage(picture).convertToFormat(label->pixmap().toImage().format());
}

QAction *agentAction(TQuorManager *window)
{
    const QList<QAction *> actions = window->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    for (QAction *action : actions) {
        if (action->shortcut() == QKeySequence(QStringLiteral("Ctrl+A")))
            return action;
    }
    return nullptr;
}

// The texts of a combo's or a list's entries.
QStringList texts(const QAbstractItemModel *model)
{
    QStringList out;
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, 0).data().toString();
    return out;
}

// The PBX's side: its queue status, and the member events that confirm an
// agent's actions (the member list of the status stays as scripted).
void answerQueues(ManagerFixture &f, const Events &status)
{
    f.ami.addResponder(QStringLiteral("QueueStatus"), [status](const QStringList &action) {
        const QString id = FakeAmiServer::valueOf(action, QStringLiteral("ActionID"));
        QByteArray out
            = "Response: Success\r\nActionID: " + id.toLatin1() + "\r\nMessage: Queue status will follow\r\n\r\n";
        for (const QStringList &event : status)
            out += wire(event + QStringList { QStringLiteral("ActionID: ") + id });
        return out + wire(kComplete);
    });
    const auto v = [](const QStringList &a, const char *key) { return FakeAmiServer::valueOf(a, QLatin1String(key)); };
    f.ami.addResponder(QStringLiteral("QueueAdd"), [v](const QStringList &a) {
        return "Response: Success\r\nMessage: Added interface to queue\r\n\r\n"
            + wire(member("QueueMemberAdded", v(a, "Queue"), v(a, "Interface"), v(a, "MemberName")));
    });
    f.ami.addResponder(QStringLiteral("QueuePause"), [v](const QStringList &a) {
        return "Response: Success\r\nMessage: Interface paused successfully\r\n\r\n"
            + wire(paused(v(a, "Queue"), v(a, "Interface"), v(a, "Paused") == QLatin1String("true") ? "1" : "0"));
    });
    f.ami.addResponder(QStringLiteral("QueueRemove"), [v](const QStringList &a) {
        return "Response: Success\r\nMessage: Removed interface from queue\r\n\r\n"
            + wire(removed(v(a, "Queue"), v(a, "Interface"), QStringLiteral("501")));
    });
}

} // namespace

class TestQueueAgents : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void queueStatusFillsTheChoice();
    void loginPauseLogout();
    void noQueueTaken();
    void memberEvents_data();
    void memberEvents();
    void controlCharactersStayOut();
    void screenshot();

private:
    std::unique_ptr<ManagerFixture> loggedIn(const QString &agentId = QStringLiteral("501"), bool queues = true);
};

void TestQueueAgents::initTestCase()
{
    // LastCall is Unix time shown in local time: central Europe here, spelt
    // out so that no time-zone database is needed.
    qputenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
    tzset();
}

std::unique_ptr<ManagerFixture> TestQueueAgents::loggedIn(const QString &agentId, bool queues)
{
    auto f = std::make_unique<ManagerFixture>();
    answerQueues(*f,
        queues ? Events { params(QStringLiteral("sales")), params(QStringLiteral("support")),
            member("QueueMember", QStringLiteral("sales"), QStringLiteral("SIP/201"), QString()) }
               : Events {});
    f->answerAsPbx();
    f->start(
        { { QStringLiteral("agent/uname"), QStringLiteral("101") }, { QStringLiteral("agentLogin/agentid"), agentId },
            { QStringLiteral("agentLogin/penalty"), QStringLiteral("3") } });
    f->phone->slotAgentLogin();
    if (!f->settle())
        qWarning("not logged in");
    f->takeSent();
    return f;
}

void TestQueueAgents::queueStatusFillsTheChoice()
{
    auto f = loggedIn();
    TQuorSettings *s = f->settings.get();
    QCOMPARE(f->manager->queues.size(), 2);
    QCOMPARE(texts(s->comboQueues->model()), (QStringList { "", "sales", "support" }));
    QCOMPARE(s->comboQueues->currentText(), QString());
    QCOMPARE(s->labelButtonAgent->text(), QStringLiteral("Select\na Queue"));
    // Filling the list chooses nothing: the button asks for a queue and joins none.
    s->buttonAgent->click();
    QVERIFY(f->settle());
    QCOMPARE(f->takeSent(), QStringList());
    QCOMPARE(f->phone->labelMessage->text(), QStringLiteral("Please, select a Queue "));

    s->comboQueues->setCurrentText(QStringLiteral("support"));
    QCOMPARE(s->labelButtonAgent->text(), QStringLiteral("connect to\nsupport"));
    QCOMPARE(s->buttonAgent->toolTip(), QStringLiteral("connect to support"));

    // A second report updates the same records and keeps the chosen queue.
    f->push(params(QStringLiteral("support"), QStringLiteral("4")));
    f->push(kComplete);
    QCOMPARE(f->manager->queues.size(), 2);
    QCOMPARE(f->manager->queues.at(1)->calls, QStringLiteral("4"));
    QCOMPARE(texts(s->comboQueues->model()), (QStringList { "sales", "support" }));
    QCOMPARE(s->comboQueues->currentText(), QStringLiteral("support"));
    QCOMPARE(s->labelButtonAgent->text(), QStringLiteral("connect to\nsupport"));
}

// Each step presses a button of the agent page and lets the PBX confirm it.
void TestQueueAgents::loginPauseLogout()
{
    auto f = loggedIn();
    TQuorSettings *s = f->settings.get();
    const QString add = QStringLiteral("Action: QueueAdd\r\nQueue: sales\r\nInterface: IAX2/101\r\nMemberName: "
                                       "501\r\nPenalty: 3\r\nPaused: no\r\n\r\n");
    const QString pause
        = QStringLiteral("Action: QueuePause\r\nQueue: sales\r\nInterface: IAX2/101\r\nPaused: %1\r\n\r\n");
    const QString remove = QStringLiteral("Action: QueueRemove\r\nQueue: sales\r\nInterface: IAX2/101\r\n\r\n");
    const QString status = QStringLiteral("Action: QueueStatus\r\nActionID: QueueStatus\r\n\r\n");
    const QString line = QStringLiteral("501 IAX2/101 sales");

    struct Step
    {
        const char *what;
        QPushButton *button; // null: choose "sales"
        QStringList sent;
        QString message;
        TMessageType type;
        QString label;
        QString pauseTip;
        QStringList entries;
        QString menu;
        QString picture;
    };
    const Step steps[] = {
        { "sales chosen", nullptr, {}, {}, MessageStatus, "connect to\nsales", "Pause", {}, "Agent Login", kLoggedOut },
        { "pause while logged out", s->buttonPause, {}, {}, MessageStatus, "connect to\nsales", "Pause", {},
            "Agent Login", kLoggedOut },
        { "login", s->buttonAgent, { add }, "Agent 501 Logged In", MessageStatus, "sales\nlogout", "Pause", { line },
            "Agent Logout", kAtWork },
        { "pause", s->buttonPause, { pause.arg("true") }, "Agent 501 Paused", MessageStatus, "sales\nlogout", "Unpause",
            { line }, "Agent Logout", kPaused },
        { "unpause", s->buttonPause, { pause.arg("false") }, "Agent 501 Unpaused", MessageStatus, "sales\nlogout",
            "Pause", { line }, "Agent Logout", kAtWork },
        { "logout", s->buttonAgent, { remove, status }, "Agent 501 Logged Off", MessageError, "connect to\nsales",
            "Pause", {}, "Agent Login", kLoggedOut },
    };
    for (const Step &step : steps) {
        f->phone->labelMessage->clear();
        if (step.button)
            step.button->click();
        else
            s->comboQueues->setCurrentText(QStringLiteral("sales"));
        QVERIFY(f->settle());
        QVERIFY2(f->takeSent() == step.sent, step.what);
        QVERIFY2(f->phone->labelMessage->text() == step.message, step.what);
        if (!step.message.isEmpty())
            QVERIFY2(f->phone->labelMessage->styleSheet() == PhoneMessages::styleSheet(step.type), step.what);
        QVERIFY2(s->labelButtonAgent->text() == step.label, step.what);
        QVERIFY2(s->buttonPause->toolTip() == step.pauseTip, step.what);
        QVERIFY2(texts(s->tableAgents->model()) == step.entries, step.what);
        QVERIFY2(agentAction(f->manager.get())->text() == step.menu, step.what);
        QVERIFY2(shows(f->phone->labelAlogin, step.picture), step.what);
    }
}

// On a PBX without queues nothing is taken: login is refused, pause is silent.
void TestQueueAgents::noQueueTaken()
{
    auto f = loggedIn(QStringLiteral("501"), false);
    f->settings->buttonAgent->click();
    QCOMPARE(f->phone->labelMessage->text(), QStringLiteral("Please, select a Queue "));
    QCOMPARE(f->phone->labelMessage->styleSheet(), PhoneMessages::styleSheet(MessageError));
    f->settings->buttonPause->click();
    QVERIFY(f->settle());
    QCOMPARE(f->takeSent(), QStringList());
    QCOMPARE(f->settings->labelButtonAgent->text(), QStringLiteral("Select\na Queue"));
}

void TestQueueAgents::memberEvents_data()
{
    QTest::addColumn<Events>("events");
    QTest::addColumn<QString>("location"); // whose record in "sales" to read
    QTest::addColumn<QStringList>("record"); // member name, last call, paused; empty: none
    QTest::addColumn<int>("salesMembers");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("buttons"); // login caption, pause tooltip
    QTest::addColumn<bool>("phoneIn");

    const auto row = [](const char *name, const Events &events, const QString &location, const QStringList &record,
                         int salesMembers, const QStringList &entries, const QStringList &buttons, bool phoneIn) {
        QTest::newRow(name) << events << location << record << salesMembers << entries << buttons << phoneIn;
    };
    const QString sales = QStringLiteral("sales");
    const QString other = QStringLiteral("SIP/201");
    const QString ghost = QStringLiteral("ghost");
    const QStringList ownLine { QStringLiteral("501 IAX2/101 sales") };
    const QStringList connect { QStringLiteral("connect to\nsales"), QStringLiteral("Pause") };
    const QStringList select { QStringLiteral("Select\na Queue"), QStringLiteral("Pause") };
    const QStringList loggedIn { QStringLiteral("sales\nlogout"), QStringLiteral("Pause") };
    const QStringList ownMember = member("QueueMember", sales, kOwn, QStringLiteral("501"));
    QStringList named = member("QueueMember", sales, QStringLiteral("SIP/301"), QString());
    named << QStringLiteral("Name: Agent/301");
    QStringList lastCall = member("QueueMember", sales, other, QStringLiteral("201"));
    lastCall.replace(7, QStringLiteral("LastCall: 3600"));
    QStringList notANumber = lastCall;
    notANumber.replace(7, QStringLiteral("LastCall: soon"));

    row("Name when MemberName is empty", { named }, "SIP/301", { "Agent/301", "0", "0" }, 2, {}, connect, false);
    row("LastCall as local time", { lastCall }, other, { "201", "1970-01-01 02:00:00", "0" }, 1, {}, connect, false);
    row("LastCall not a number kept", { notANumber }, other, { "201", "soon", "0" }, 1, {}, connect, false);
    row("removed member leaves the queue", { removed(sales, other, QString()) }, other, {}, 0, {}, connect, false);
    row("own membership listed once", { ownMember, ownMember }, kOwn, { "501", "0", "0" }, 2, ownLine, loggedIn, true);
    row("own status: line kept, phone not told",
        { member("QueueMemberStatus", sales, kOwn, QStringLiteral("501"), QStringLiteral("1")) }, kOwn,
        { "501", "0", "1" }, 2, ownLine, { "sales\nlogout", "Unpause" }, false);
    row("another member's pause leaves the button", { ownMember, paused(sales, other, "1") }, other, { "", "0", "1" },
        2, ownLine, loggedIn, true);
    row("own removal from another queue keeps the listed line",
        { ownMember, removed(QStringLiteral("support"), kOwn, "501") }, kOwn, { "501", "0", "0" }, 2, ownLine,
        { "connect to\nsupport", "Pause" }, false);
    row("own member of an unannounced queue", { member("QueueMemberAdded", ghost, kOwn, "501") }, kOwn, {}, 1, {},
        select, true);
    row("pause in an unannounced queue", { paused(ghost, kOwn, "1") }, kOwn, {}, 1, {}, select, false);
    row("pause of an unknown member", { paused(sales, "SIP/999", "1") }, "SIP/999", {}, 1, {}, connect, false);
}

void TestQueueAgents::memberEvents()
{
    QFETCH(Events, events);
    QFETCH(QString, location);
    QFETCH(QStringList, record);
    QFETCH(int, salesMembers);
    QFETCH(QStringList, entries);
    QFETCH(QStringList, buttons);
    QFETCH(bool, phoneIn);

    auto f = loggedIn();
    f->settings->comboQueues->setCurrentText(QStringLiteral("sales"));
    for (const QStringList &event : std::as_const(events))
        f->push(event);
    const Agent *agent = f->manager->queues.at(0)->findAgent(location, QStringLiteral("sales"));
    const QStringList fields
        = agent ? QStringList { agent->memberName, agent->lastCall, agent->paused } : QStringList();
    QCOMPARE(fields, record);
    QCOMPARE(f->manager->queues.size(), 2);
    QCOMPARE(f->manager->queues.at(0)->agents.size(), salesMembers);
    QCOMPARE(texts(f->settings->tableAgents->model()), entries);
    QCOMPARE((QStringList { f->settings->labelButtonAgent->text(), f->settings->buttonPause->toolTip() }), buttons);
    QCOMPARE(f->phone->agentLoggedIn(), phoneIn);
}

// Values from the settings file reach the actions without a line break.
void TestQueueAgents::controlCharactersStayOut()
{
    auto f = loggedIn(QStringLiteral("5\r\n01\nAction: Logoff"));
    f->settings->comboQueues->setCurrentText(QStringLiteral("sales"));
    emit f->settings->signalAgentLogin();
    QVERIFY(f->settle());
    QCOMPARE(f->takeSent().value(0),
        QStringLiteral("Action: QueueAdd\r\nQueue: sales\r\nInterface: IAX2/101\r\nMemberName: 501Action: Logoff\r\n"
                       "Penalty: 3\r\nPaused: no\r\n\r\n"));
}

// A tool: the agent page inside the phone, logged in to a queue.
void TestQueueAgents::screenshot()
{
    if (qEnvironmentVariableIsEmpty("QUOR_SCREENSHOT_DIR"))
        QSKIP("set QUOR_SCREENSHOT_DIR to write the agent page logged in to a queue");
    auto f = loggedIn();
    f->push(member("QueueMember", QStringLiteral("support"), kOwn, QStringLiteral("501")));
    f->settings->comboQueues->setCurrentText(QStringLiteral("sales"));
    f->settings->buttonAgent->click();
    QVERIFY(f->settle());
    f->phone->labelMessage->clear();
    f->phone->setMessageHideDelay(600000);
    f->manager->show();
    QVERIFY(!saveWidgetShot(f->phone.get(), QStringLiteral("agent-page-logged-in")).isEmpty());
    f->settings->buttonPause->click();
    QVERIFY(f->settle());
    QVERIFY(!saveWidgetShot(f->phone.get(), QStringLiteral("agent-page-paused")).isEmpty());
}

QUOR_MAINWINDOW_TEST_MAIN(TestQueueAgents)
#include "tst_queueagents.moc"
