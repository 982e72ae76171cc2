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

QStringList member(const char *event, const QString &queue, const QString &location, const QString &name,
    const QString &paused = QStringLiteral("0"))
{
    return { QLatin1String("Event: ") + QLatin1String(event), QStringLiteral("Queue: ") + queue,
        QStringLiteral("Location: ") + location, QStringLiteral("MemberName: ") + name,
        QStringLiteral("Membership: dynamic"), QStringLiteral("Penalty: 0"), QStringLiteral("CallsTaken: 0"),
        QStringLiteral("LastCall: 0"), QStringLiteral("Status: 1"), QStringLiteral("Paused: ") + paused };
}

QStringList removed(const QString &queue, const QString &location, const QString &name)
{
    return { QStringLiteral("Event: QueueMemberRemoved"), QStringLiteral("Queue: ") + queue,
        QStringLiteral("Location: ") + location, QStringLiteral("MemberName: ") + name };
}

QStringList paused(const QString &queue, const QString &location, const char *value)
{
    return { QStringLiteral("Event: QueueMemberPaused"), QStringLiteral("Queue: ") + queue,
        QStringLiteral("Location: ") + location, QStringLiteral("Paused: ") + QLatin1String(value) };
}

QStringList params(const QString &queue, const QString &calls = QStringLiteral("0"))
{
    return { QStringLiteral("Event: QueueParams"), QStringLiteral("Queue: ") + queue, QStringLiteral("Max: 0"),
        QStringLiteral("Calls: ") + calls, QStringLiteral("Holdtime: 12"), QStringLiteral("Completed: 7"),
        QStringLiteral("Abandoned: 1"), QStringLiteral("ServiceLevel: 60"), QStringLiteral("ServicelevelPerf: 85.7"),
        QStringLiteral("Weight: 0") };
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

QStringList entries(const QListWidget *list)
{
    QStringList texts;
    for (int row = 0; row < list->count(); ++row)
        texts << list->item(row)->text();
    return texts;
}

QStringList comboTexts(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

// The PBX's side: its queue status, and the member events that confirm an
// agent's actions (the member list of the status stays as scripted).
void answerQueues(ManagerFixture &f, const Events &status)
{
    f.ami.addResponder(QStringLiteral("QueueStatus"), [status](const QStringList &action) {
        const QString id = FakeAmiServer::valueOf(action, QStringLiteral("ActionID"));
        QByteArray out = "Response: Success\r\nActionID: " + id.toLatin1() + "\r\nMessage: Queue status will follow\r\n\r\n";
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

const Agent *agentIn(TQuorManager *window, const QString &queue, const QString &location)
{
    for (const Queue *q : std::as_const(window->queues)) {
        if (q->name == queue)
            return q->findAgent(location, queue);
    }
    return nullptr;
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
    // LastCall is Unix time shown in local time: one hour east of UTC here.
    qputenv("TZ", "CET");
    tzset();
}

std::unique_ptr<ManagerFixture> TestQueueAgents::loggedIn(const QString &agentId, bool queues)
{
    auto f = std::make_unique<ManagerFixture>();
    answerQueues(*f, queues ? Events { params(QStringLiteral("sales")), params(QStringLiteral("support")),
                                  member("QueueMember", QStringLiteral("sales"), QStringLiteral("SIP/201"), QString()) }
                            : Events {});
    f->answerAsPbx();
    f->start({ { QStringLiteral("agent/uname"), QStringLiteral("101") },
        { QStringLiteral("agentLogin/agentid"), agentId }, { QStringLiteral("agentLogin/penalty"), QStringLiteral("3") } });
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
    QCOMPARE(comboTexts(s->comboQueues), (QStringList { "", "sales", "support" }));
    QCOMPARE(s->comboQueues->currentText(), QString());
    QCOMPARE(s->labelButtonAgent->text(), QStringLiteral("Select\na Queue"));

    s->comboQueues->setCurrentText(QStringLiteral("support"));
    QCOMPARE(s->labelButtonAgent->text(), QStringLiteral("connect to\nsupport"));
    QCOMPARE(s->buttonAgent->toolTip(), QStringLiteral("connect to support"));

    // A second report updates the same records and keeps the chosen queue.
    f->push(params(QStringLiteral("support"), QStringLiteral("4")));
    f->push(kComplete);
    QCOMPARE(f->manager->queues.size(), 2);
    QCOMPARE(f->manager->queues.at(1)->calls, QStringLiteral("4"));
    QCOMPARE(comboTexts(s->comboQueues), (QStringList { "sales", "support" }));
    QCOMPARE(s->comboQueues->currentText(), QStringLiteral("support"));
    QCOMPARE(s->labelButtonAgent->text(), QStringLiteral("connect to\nsupport"));
}

// Each step presses a button of the agent page and lets the PBX confirm it.
void TestQueueAgents::loginPauseLogout()
{
    auto f = loggedIn();
    TQuorSettings *s = f->settings.get();
    const QString add = QStringLiteral(
        "Action: QueueAdd\r\nQueue: sales\r\nInterface: IAX2/101\r\nMemberName: 501\r\nPenalty: 3\r\nPaused: no\r\n\r\n");
    const QString pause = QStringLiteral("Action: QueuePause\r\nQueue: sales\r\nInterface: IAX2/101\r\nPaused: %1\r\n\r\n");
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
        { "pause", s->buttonPause, { pause.arg("true") }, "Agent 501 Paused", MessageStatus, "sales\nlogout",
            "Unpause", { line }, "Agent Logout", kPaused },
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
        QVERIFY2(entries(s->tableAgents) == step.entries, step.what);
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
    QTest::addColumn<QString>("location");  // whose record in "sales" to read
    QTest::addColumn<QStringList>("record"); // member name, last call, paused; empty: none
    QTest::addColumn<int>("salesMembers");
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("pauseTip");
    QTest::addColumn<bool>("phoneIn");

    const QString sales = QStringLiteral("sales");
    const QString support = QStringLiteral("support");
    const QString other = QStringLiteral("SIP/201");
    const QString ownLine = QStringLiteral("501 IAX2/101 sales");
    QStringList named = member("QueueMember", sales, QStringLiteral("SIP/301"), QString());
    named << QStringLiteral("Name: Agent/301");
    QStringList lastCall = member("QueueMember", sales, other, QStringLiteral("201"));
    lastCall.replace(7, QStringLiteral("LastCall: 3600"));
    QStringList notANumber = lastCall;
    notANumber.replace(7, QStringLiteral("LastCall: soon"));
    QStringList status = member("QueueMemberStatus", sales, kOwn, QStringLiteral("501"), QStringLiteral("1"));

    QTest::newRow("Name when MemberName is empty")
        << Events { named } << "SIP/301" << QStringList { "Agent/301", "0", "0" } << 2 << QStringList {}
        << "connect to\nsales" << "Pause" << false;
    QTest::newRow("LastCall as local time")
        << Events { lastCall } << other << QStringList { "201", "1970-01-01 02:00:00", "0" } << 1 << QStringList {}
        << "connect to\nsales" << "Pause" << false;
    QTest::newRow("LastCall not a number kept")
        << Events { notANumber } << other << QStringList { "201", "soon", "0" } << 1 << QStringList {}
        << "connect to\nsales" << "Pause" << false;
    QTest::newRow("removed member leaves the queue")
        << Events { removed(sales, other, QString()) } << other << QStringList {} << 0 << QStringList {}
        << "connect to\nsales" << "Pause" << false;
    QTest::newRow("own membership listed once")
        << Events { member("QueueMember", sales, kOwn, "501"), member("QueueMember", sales, kOwn, "501") } << kOwn
        << QStringList { "501", "0", "0" } << 2 << QStringList { ownLine } << "sales\nlogout" << "Pause" << true;
    QTest::newRow("own status: line kept, phone not told")
        << Events { status } << kOwn << QStringList { "501", "0", "1" } << 2 << QStringList { ownLine }
        << "sales\nlogout" << "Unpause" << false;
    QTest::newRow("another member's pause leaves the button")
        << Events { member("QueueMember", sales, kOwn, "501"), paused(sales, other, "1") } << other
        << QStringList { "", "0", "1" } << 2 << QStringList { ownLine } << "sales\nlogout" << "Pause" << true;
    QTest::newRow("own removal from another queue keeps the listed line")
        << Events { member("QueueMember", sales, kOwn, "501"), removed(support, kOwn, "501") } << kOwn
        << QStringList { "501", "0", "0" } << 2 << QStringList { ownLine } << "connect to\nsupport" << "Pause" << false;
    QTest::newRow("own member of an unannounced queue")
        << Events { member("QueueMemberAdded", QStringLiteral("ghost"), kOwn, "501") } << kOwn << QStringList {} << 1
        << QStringList {} << "Select\na Queue" << "Pause" << true;
    QTest::newRow("pause in an unannounced queue")
        << Events { paused(QStringLiteral("ghost"), kOwn, "1") } << kOwn << QStringList {} << 1 << QStringList {}
        << "Select\na Queue" << "Pause" << false;
    QTest::newRow("pause of an unknown member")
        << Events { paused(sales, QStringLiteral("SIP/999"), "1") } << "SIP/999" << QStringList {} << 1
        << QStringList {} << "connect to\nsales" << "Pause" << false;
}

void TestQueueAgents::memberEvents()
{
    QFETCH(Events, events);
    QFETCH(QString, location);
    QFETCH(QStringList, record);
    QFETCH(int, salesMembers);
    QFETCH(QStringList, entries);
    QFETCH(QString, label);
    QFETCH(QString, pauseTip);
    QFETCH(bool, phoneIn);

    auto f = loggedIn();
    f->settings->comboQueues->setCurrentText(QStringLiteral("sales"));
    for (const QStringList &event : std::as_const(events))
        f->push(event);
    const Agent *agent = agentIn(f->manager.get(), QStringLiteral("sales"), location);
    const QStringList fields = agent ? QStringList { agent->memberName, agent->lastCall, agent->paused } : QStringList();
    QCOMPARE(fields, record);
    QCOMPARE(f->manager->queues.size(), 2);
    QCOMPARE(f->manager->queues.at(0)->agents.size(), salesMembers);
    QCOMPARE(::entries(f->settings->tableAgents), entries);
    QCOMPARE(f->settings->labelButtonAgent->text(), label);
    QCOMPARE(f->settings->buttonPause->toolTip(), pauseTip);
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
