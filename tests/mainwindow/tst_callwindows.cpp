// The queue and parked windows through the real main window: Take, Send and
// Hang up from the buttons, the context menu and the keys, with the texts
// they send to a fake AMI server; calls of the phone (registered with the
// engine tests' loopback PBX) dropped on "Parked"; and, with
// QUOR_SCREENSHOT_DIR set, pictures of both docks with calls in them.

#include <QDockWidget>
#include <QMenu>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include "CallEvents.h"
#include "ManagerFixture.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "mainwindow/ACPark.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/LoopbackCalls.h"
#include "testsupport/WidgetShot.h"

using namespace CallEvents;

namespace {

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");
const QString kAgent = QStringLiteral("SIP/101-0c0d");

QString redirect(const QString &channel, const QString &exten, const QString &context)
{
    return QStringLiteral("Action: Redirect\r\nChannel: %1\r\nExten: %2\r\nPriority: 1\r\nContext: %3\r\n"
                          "ActionID: redirectCall\r\n\r\n")
        .arg(channel, exten, context);
}

QString hangupText(const QString &channel)
{
    return QStringLiteral("Action: Hangup\r\nChannel: %1\r\n\r\n").arg(channel);
}

} // namespace

class TestCallWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void commands_data();
    void commands();
    void dropOnParked_data();
    void dropOnParked();
    void tableTakesNoDrops();
    void screenshots();
    void ownContextLearnt();

private:
    CallWindow *window(const QString &name) const;
    // A new call listed in the named window; returns its channel.
    QString listCall(const QString &name, const QString &space = QStringLiteral("701"));
    void chooseFromMenu(CallWindow *w, QAction *action);
    bool hangUpAll() { return LoopbackCalls::hangUpAll(m_f->phone.get(), m_pbx.get(), &m_dialogues); }

    std::unique_ptr<FakePbx> m_pbx;
    std::unique_ptr<ManagerFixture> m_f;
    QList<quint16> m_dialogues;
    int m_calls = 0;
};

void TestCallWindows::initTestCase()
{
    m_pbx = std::make_unique<FakePbx>();
    m_pbx->addUser(kUser, kSecret);
    m_f = std::make_unique<ManagerFixture>();
    // The own peer is not among them: its context stays unknown at first.
    m_f->pbx.peers = { PbxModel::peer(QStringLiteral("SIP"), QStringLiteral("102"), QStringLiteral("Bruno")) };
    m_f->answerAsPbx();
    m_f->start({ { QStringLiteral("agent/server"), QStringLiteral("127.0.0.1") },
        { QStringLiteral("agent/port"), QString::number(m_pbx->port()) }, { QStringLiteral("agent/uname"), kUser },
        { QStringLiteral("agent/passwd"), TQuorSettings::scramblePassword(kSecret) },
        { QStringLiteral("codecs/ulaw"), QStringLiteral("yes") },
        { QStringLiteral("codecs/default"), QStringLiteral("ulaw") } });
    QVERIFY(m_f->settle());
    QTRY_VERIFY_WITH_TIMEOUT(m_pbx->regAcks() >= 1, 10000);
    m_f->manager->resize(900, 620);
    m_f->manager->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_f->manager.get()));
}

void TestCallWindows::cleanupTestCase()
{
    m_f.reset();
    m_pbx.reset();
}

void TestCallWindows::init()
{
    m_f->sync();
    m_f->takeSent();
    m_f->boxes.clear();
    m_pbx->clearReceived();
}

CallWindow *TestCallWindows::window(const QString &name) const
{
    if (name == QLatin1String("queue"))
        return m_f->manager->queueWindow();
    return m_f->manager->parkedWindow();
}

QString TestCallWindows::listCall(const QString &name, const QString &space)
{
    const int n = ++m_calls;
    const QString channel = QStringLiteral("SIP/3%1-0a1b").arg(n, 2, 10, QLatin1Char('0'));
    const QString uid = QStringLiteral("17.%1").arg(n);
    m_f->push(newchannel(channel, uid, QStringLiteral("Ring")));
    if (name == QLatin1String("queue"))
        m_f->push(join(channel, uid, QStringLiteral("sales")));
    else
        m_f->push(parked(channel, space, kAgent));
    m_f->takeSent();
    return channel;
}

void TestCallWindows::chooseFromMenu(CallWindow *w, QAction *action)
{
    bool chosen = false;
    QTimer::singleShot(0, this, [&] {
        auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (!menu)
            return;
        menu->setActiveAction(action);
        QTest::keyClick(menu, Qt::Key_Return);
        chosen = true;
    });
    emit w->table->customContextMenuRequested(QPoint(10, 10));
    QVERIFY2(chosen, "no context menu ran");
}

void TestCallWindows::commands_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("command"); // what the user does
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("setup"); // "", "no row", "renamed", "no space"
    QTest::addColumn<QString>("sent"); // %1: the call's channel; "" for nothing
    QTest::addColumn<bool>("rowStays");
    QTest::addColumn<QString>("dialled"); // what the phone dialled; null for nothing

    const QString take = redirect(QStringLiteral("%1"), kUser, QString());
    const QString send = redirect(QStringLiteral("%1"), QStringLiteral("102"), QStringLiteral("from-internal"));
    const QString hang = hangupText(QStringLiteral("%1"));
    const QString none;
    for (const char *name : { "queue", "parked" }) {
        const bool queue = QLatin1String(name) == QLatin1String("queue");
        const QString takeSent = queue ? take : QString();
        const QString dialled = queue ? QString() : QStringLiteral("701");
        const auto row = [name](const char *what, const QString &command, const QString &destination,
                             const QString &setup, const QString &sent, bool stays, const QString &dial) {
            QTest::addRow("%s: %s", name, what)
                << QString::fromLatin1(name) << command << destination << setup << sent << stays << dial;
        };
        row("take button", "take button", "", "", takeSent, false, dialled);
        row("take menu", "take menu", "", "", takeSent, false, dialled);
        row("Alt+T", "Alt+T", "", "", takeSent, false, dialled);
        row("send button", "send button", "102", "", send, false, QString());
        row("hang button", "hang button", "", "", hang, false, QString());
        row("hang menu", "hang menu", "", "", hang, false, QString());
        row("Alt+H", "Alt+H", "", "", hang, false, QString());
        row("Alt+Shift+H does nothing", "Alt+Shift+H", "", "", none, true, QString());
        row("H alone does nothing", "H", "", "", none, true, QString());
        row("one blank is a destination", "send button", " ", "",
            redirect(QStringLiteral("%1"), QStringLiteral(" "), QString()), false, QString());
        row("line breaks in the destination", "send button", "10\r\n2", "", send, false, QString());
        row("empty destination asks", "send button", "", "", none, true, QString());
        for (const char *command : { "take button", "send button", "hang button" })
            row(qPrintable(QStringLiteral("no row: ") + command), command, "", "no row", none, true, QString());
        row("send without a record", "send button", "102", "renamed", none, true, QString());
        row("hang without a record", "hang button", "", "renamed", none, true, QString());
        if (queue)
            row("take without a record", "take button", "", "renamed", none, true, QString());
        else
            row("take an empty space", "take button", "", "no space", none, false, QString());
    }
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

    CallWindow *w = window(name);
    const QString channel = listCall(name, setup == QLatin1String("no space") ? QString() : QStringLiteral("701"));
    const QStringList before = keys(w->table);
    if (setup == QLatin1String("renamed"))
        m_f->push(rename(channel, channel + QLatin1String("<1>"), QStringLiteral("17.99"), QString()));
    m_f->takeSent();
    if (setup == QLatin1String("no row"))
        w->table->setCurrentCell(-1, -1);
    else
        w->table->selectRow(w->table->rowCount() - 1);
    w->findChild<QLineEdit *>(QStringLiteral("lineEdit_ext"))->setText(destination);
    const qsizetype calls = m_f->phone->currentCalls().size();

    if (command == QLatin1String("take button"))
        w->takeButton->click();
    else if (command == QLatin1String("send button"))
        w->sendButton->click();
    else if (command == QLatin1String("hang button"))
        w->hangButton->click();
    else if (command == QLatin1String("take menu"))
        chooseFromMenu(w, w->takeAction);
    else if (command == QLatin1String("hang menu"))
        chooseFromMenu(w, w->hangupAction);
    else
        QTest::keySequence(w->table, QKeySequence(command));
    m_f->sync();

    QCOMPARE(m_f->takeSent(), sent.isEmpty() ? QStringList() : QStringList { sent.arg(channel) });
    QCOMPARE(keys(w->table) == before, rowStays);
    if (!rowStays)
        QCOMPARE(keys(w->table).size(), before.size() - 1);
    const bool asked = command == QLatin1String("send button") && destination.isEmpty() && setup.isEmpty();
    QCOMPARE(m_f->boxes, asked ? QStringList { "Pease fill the Destination Field." } : QStringList());
    if (dialled.isNull()) {
        QCOMPARE(m_f->phone->currentCalls().size(), calls);
    } else {
        QTRY_VERIFY(
            m_pbx->latest(QStringLiteral("call-in")) && m_pbx->latest(QStringLiteral("call-in"))->called == dialled);
        QVERIFY(hangUpAll());
    }
}

void TestCallWindows::dropOnParked_data()
{
    QTest::addColumn<QString>("payload");
    QTest::addColumn<bool>("parked");
    QTest::newRow("a live call of the phone") << "live" << true;
    QTest::newRow("from another process") << "foreign" << false;
    QTest::newRow("forged serial") << "forged" << false;
    QTest::newRow("zero") << "zero" << false;
    QTest::newRow("a record that is not the phone's call") << "stranger" << false;
    QTest::newRow("a call that ended during the drag") << "ended" << false;
    QTest::newRow("no call format") << "text" << false;
}

void TestCallWindows::dropOnParked()
{
    QFETCH(QString, payload);
    QFETCH(bool, parked);

    TQuorCall *call = LoopbackCalls::talkTo(m_f->phone.get(), m_pbx.get(), QStringLiteral("300"), &m_dialogues);
    QVERIFY(call);
    TQuorCall stranger;
    stranger.callNo = call->callNo;
    std::unique_ptr<QMimeData> data(payload == QLatin1String("stranger") ? stranger.toMimeData() : call->toMimeData());
    if (payload == QLatin1String("foreign")) {
        data->setData(QLatin1String(TQuorCall::mimeType()), "140737488355328");
        data->setData(QLatin1String(TQuorCall::serialMimeType()), "1");
    } else if (payload == QLatin1String("forged")) {
        data->setData(QLatin1String(TQuorCall::serialMimeType()), QByteArray::number(call->serial() + 1));
    } else if (payload == QLatin1String("zero")) {
        data->setData(QLatin1String(TQuorCall::mimeType()), "0");
    } else if (payload == QLatin1String("text")) {
        data = std::make_unique<QMimeData>();
        data->setText(QStringLiteral("102"));
    } else if (payload == QLatin1String("ended")) {
        QVERIFY(hangUpAll());
    }

    QuorParked *target = m_f->manager->parkedWindow();
    const QPoint at(20, 20);
    QDragEnterEvent enter(at, Qt::MoveAction | Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QCOMPARE(enter.isAccepted(), parked);
    QDropEvent drop(at, Qt::MoveAction | Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    QCOMPARE(drop.isAccepted(), parked);
    if (parked)
        QTRY_COMPARE(LoopbackCalls::transferTargets(*m_pbx), QStringList { "70" });
    m_f->sync();
    QCOMPARE(LoopbackCalls::transferTargets(*m_pbx), parked ? QStringList { "70" } : QStringList());
    QVERIFY(hangUpAll());
}

// The rows' own drag data dropped back on the list changes no row.
void TestCallWindows::tableTakesNoDrops()
{
    for (const char *name : { "queue", "parked" }) {
        CallWindow *w = window(QLatin1String(name));
        listCall(QLatin1String(name));
        const QStringList before = keys(w->table);
        const QModelIndexList cells { w->table->model()->index(0, 0), w->table->model()->index(0, 1) };
        std::unique_ptr<QMimeData> own(w->table->model()->mimeData(cells));
        QVERIFY(own);
        for (const QPoint &at : { QPoint(5, 5), QPoint(5, 200) }) {
            QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, own.get(), Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(w->table->viewport(), &enter);
            QDropEvent drop(at, Qt::CopyAction, own.get(), Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(w->table->viewport(), &drop);
            QVERIFY(!drop.isAccepted());
        }
        QCOMPARE(keys(w->table), before);
        for (int row = 0; row < w->table->rowCount(); ++row)
            QVERIFY(w->table->cellWidget(row, 0));
    }
}

// A tool, not a test: the two docks with calls in them.
void TestCallWindows::screenshots()
{
    if (qEnvironmentVariableIsEmpty("QUOR_SCREENSHOT_DIR"))
        QSKIP("set QUOR_SCREENSHOT_DIR to write the pictures of the queue and parked docks");
    for (auto *w : { window(QStringLiteral("queue")), window(QStringLiteral("parked")) }) {
        while (w->table->rowCount())
            w->table->removeRow(0);
    }
    const struct
    {
        const char *caller;
        const char *queue;
    } queued[] = { { "0612345678", "sales" }, { "\"Anna\" <304>", "support" }, { "0049301234", "sales" } };
    for (const auto &q : queued) {
        const QString channel = QStringLiteral("SIP/trunk-%1").arg(++m_calls);
        const QString uid = QStringLiteral("42.%1").arg(m_calls);
        m_f->push(newchannel(channel, uid, QStringLiteral("Ring")));
        m_f->push(join(channel, uid, QLatin1String(q.queue), QLatin1String(q.caller)));
    }
    const struct
    {
        const char *space;
        const char *from;
        const char *caller;
    } parkedCalls[] = { { "701", "SIP/101-0c0d", "0612345678" }, { "702", "IAX2/201-7", "0221987654" } };
    for (const auto &p : parkedCalls) {
        const QString channel = QStringLiteral("SIP/trunk-%1").arg(++m_calls);
        m_f->push(newchannel(channel, QStringLiteral("43.%1").arg(m_calls), QStringLiteral("Ring")));
        m_f->push(parked(channel, QLatin1String(p.space), QLatin1String(p.from), QLatin1String(p.caller)));
    }
    window(QStringLiteral("queue"))->table->selectRow(1);
    window(QStringLiteral("queue"))
        ->findChild<QLineEdit *>(QStringLiteral("lineEdit_ext"))
        ->setText(QStringLiteral("102"));
    QTRY_COMPARE_WITH_TIMEOUT(
        m_f->manager->activeCalls.constLast()->parkRow->label_qtime->text(), QStringLiteral("00:00:02"), 4000);
    for (const char *name : { "Queues", "Parked" }) {
        auto *dock = m_f->manager->findChild<QDockWidget *>(QLatin1String(name));
        QVERIFY(dock);
        QVERIFY(!saveWidgetShot(dock, QStringLiteral("dock-") + QString::fromLatin1(name).toLower()).isEmpty());
    }
    QVERIFY(!saveWidgetShot(m_f->manager.get(), QStringLiteral("main-window-calls")).isEmpty());
}

// Take redirects to the own extension in the own context once the PBX has
// named it.
void TestCallWindows::ownContextLearnt()
{
    QuorQueue *queue = m_f->manager->queueWindow();
    for (const char *context : { "", "from-office" }) {
        if (*context) {
            m_f->ami.sendRaw("Response: Success\r\nActionID: SIPShowPeer\r\nChanneltype: SIP\r\nObjectName: 201\r\n"
                             "Context: from-office\r\nCallerid: \"Me\" <201>\r\nStatus: OK (3 ms)\r\n\r\n");
        }
        const QString channel = listCall(QStringLiteral("queue"));
        queue->table->selectRow(queue->table->rowCount() - 1);
        queue->takeQueue();
        m_f->sync();
        QCOMPARE(m_f->takeSent().filter(QStringLiteral("redirectCall")),
            QStringList { redirect(channel, kUser, QLatin1String(context)) });
    }
}

QUOR_MAINWINDOW_TEST_MAIN(TestCallWindows)
#include "tst_callwindows.moc"
