// The call records behind the queue and parked windows, driven by PBX events
// through the real main window and a fake AMI server: which records exist,
// which rows the two windows list, and what the last event made the window
// send.

#include <QSet>
#include <QTest>

#include "CallEvents.h"
#include "ManagerFixture.h"
#include "mainwindow/ACPark.h"
#include "mainwindow/ACQueue.h"
#include "mainwindow/ActiveCall.h"
#include "mainwindow/QuorParked.h"
#include "mainwindow/QuorQueue.h"
#include "mainwindow/TQuorManager.h"

using namespace CallEvents;

namespace {

const QString kShowChannels
    = QStringLiteral("Action: command\r\nCommand: show channels\r\nActionID: showChannels\r\n\r\n");
const QString kCaller = QStringLiteral("SIP/300-0a1b");
const QString kAgent = QStringLiteral("SIP/101-0c0d");

// Each record as "channel uniqueid phase callerId".
QStringList records(const TQuorManager *window)
{
    QStringList out;
    for (const ActiveCall *call : window->activeCalls)
        out << QStringLiteral("%1 %2 %3 %4").arg(call->channel, call->uniqueid).arg(call->phase).arg(call->callerId);
    return out;
}

std::unique_ptr<ManagerFixture> loggedIn()
{
    auto f = std::make_unique<ManagerFixture>();
    f->answerAsPbx();
    f->start();
    if (!f->settle())
        qWarning("not logged in");
    f->takeSent();
    return f;
}

} // namespace

class TestCallRecords : public QObject
{
    Q_OBJECT

private slots:
    void events_data();
    void events();
    void rowsShowTheCall();
    void recordsSurviveADrop();
    void clockText_data();
    void clockText();
};

void TestCallRecords::events_data()
{
    QTest::addColumn<QList<QStringList>>("events");
    QTest::addColumn<QStringList>("records");
    QTest::addColumn<QStringList>("queueKeys");
    QTest::addColumn<QStringList>("parkKeys");
    QTest::addColumn<QStringList>("lastSent");

    const QStringList caller = newchannel(kCaller, "u1", "Ring");
    const QStringList queued = join(kCaller, "u1", "sales");
    const QStringList parkedCall = parked(kCaller, "701", kAgent);
    const QString ring = kCaller + " u1 20 300";
    const QString inQueue = kCaller + " u1 50 300";
    const QString inPark = kCaller + " u1 60 0612";
    const QStringList none;
    const QString channelKey = kCaller + "|701";

    QTest::newRow("ringing, idle and other states")
        << QList<QStringList> { newchannel("SIP/1-1", "a", "Ringing"), newchannel("SIP/2-2", "b", "Down"),
               newchannel("SIP/3-3", "c", "Up"), newchannel("SIP/4-4", "d", "ring") }
        << QStringList { "SIP/1-1 a 30 300", "SIP/2-2 b 70 300" } << none << none << none;
    QTest::newRow("caller number when no caller id")
        << QList<QStringList> { newchannel(kCaller, "u1", "Ring", "", "0123") }
        << QStringList { kCaller + " u1 20 0123" } << none << none << none;
    QTest::newRow("join") << QList<QStringList> { caller, queued } << QStringList { inQueue } << QStringList { "u1" }
                          << none << none;
    QTest::newRow("repeated join keeps one row")
        << QList<QStringList> { caller, queued, join(kCaller, "u1", "support") } << QStringList { inQueue }
        << QStringList { "u1" } << none << none;
    QTest::newRow("join of a channel with two records")
        << QList<QStringList> { caller, caller, queued } << QStringList { inQueue, inQueue }
        << QStringList { "u1", "u1" } << none << none;
    QTest::newRow("join of a channel without record") << QList<QStringList> { caller, join("SIP/999-1", "u9", "sales") }
                                                      << QStringList { ring } << none << none << none;
    QTest::newRow("link, caller on side 1")
        << QList<QStringList> { caller, queued, bridge("Link", kCaller, "u1", kAgent, "u2") } << QStringList { inQueue }
        << none << none << QStringList { kShowChannels };
    QTest::newRow("link, caller on side 2")
        << QList<QStringList> { caller, queued, bridge("Link", kAgent, "u2", kCaller, "u1") } << QStringList { inQueue }
        << none << none << QStringList { kShowChannels };
    QTest::newRow("link of other channels")
        << QList<QStringList> { caller, queued, bridge("Link", kAgent, "u2", "SIP/102-1", "u3") }
        << QStringList { inQueue } << QStringList { "u1" } << none << QStringList { kShowChannels };
    QTest::newRow("join after the row left makes a new one")
        << QList<QStringList> { caller, queued, bridge("Link", kCaller, "u1", kAgent, "u2"), queued }
        << QStringList { inQueue } << QStringList { "u1" } << none << none;
    QTest::newRow("unlink removes nothing")
        << QList<QStringList> { caller, queued, newchannel("SIP/5-5", "", "Ring"), parkedCall,
               bridge("Unlink", kCaller, "u1", kAgent, "u2") }
        << QStringList { kCaller + " u1 60 0612", "SIP/5-5  20 300" } << QStringList { "u1" }
        << QStringList { channelKey } << QStringList { kShowChannels, kShowChannels, kShowChannels };
    QTest::newRow("hangup clears both windows")
        << QList<QStringList> { caller, queued, parkedCall, newchannel(kAgent, "u2", "Ring"), hangup(kCaller, "u1") }
        << QStringList { kAgent + " u2 20 300" } << none << none << QStringList { kShowChannels };
    QTest::newRow("hangup without uniqueid ends nothing")
        << QList<QStringList> { newchannel(kCaller, "", "Ring"), hangup(kCaller, QString()) }
        << QStringList { kCaller + "  20 300" } << none << none << QStringList { kShowChannels };
    QTest::newRow("one hangup ends duplicate records") << QList<QStringList> { caller, caller, hangup(kCaller, "u1") }
                                                       << none << none << none << QStringList { kShowChannels };
    QTest::newRow("parked") << QList<QStringList> { caller, parkedCall } << QStringList { inPark } << none
                            << QStringList { channelKey } << none;
    QTest::newRow("parked again keeps one row")
        << QList<QStringList> { caller, parkedCall, parked(kCaller, "702", kAgent) } << QStringList { inPark } << none
        << QStringList { kCaller + "|702" } << none;
    QTest::newRow("parked without record") << QList<QStringList> { caller, parked("SIP/999-1", "701", kAgent) }
                                           << QStringList { ring } << none << none << none;
    QTest::newRow("unparked") << QList<QStringList> { caller, parkedCall, leftPark("UnParkedCall", kCaller) }
                              << QStringList { kCaller + " u1 40 0612" } << none << none << none;
    QTest::newRow("unparked while queued keeps the phase")
        << QList<QStringList> { caller, parkedCall, queued, leftPark("UnParkedCall", kCaller) }
        << QStringList { kCaller + " u1 50 0612" } << QStringList { "u1" } << none << none;
    QTest::newRow("given up") << QList<QStringList> { caller, parkedCall, leftPark("ParkedCallGiveUp", kCaller) }
                              << QStringList { inPark } << none << none << none;
    QTest::newRow("timed out as an async goto")
        << QList<QStringList> { caller, parkedCall, leftPark("ParkedCallTimeOut", "AsyncGoto/" + kCaller + "<ZOMBIE>") }
        << QStringList { inPark } << none << none << none;
    QTest::newRow("rename") << QList<QStringList> { caller, rename(kCaller, "SIP/300-0e0f", "u7", "") }
                            << QStringList { "SIP/300-0e0f u7 20 300" } << none << none << none;
    QTest::newRow("rename with a new uniqueid")
        << QList<QStringList> { caller, rename(kCaller, "SIP/300-0e0f", "u7", "u8") } << QStringList { ring } << none
        << none << none;
    QTest::newRow("masquerade rename") << QList<QStringList> { caller, rename(kCaller, "SIP/300-0e0f<MASQ>", "u7", "") }
                                       << QStringList { ring } << none << none << none;
}

void TestCallRecords::events()
{
    QFETCH(QList<QStringList>, events);
    QFETCH(QStringList, records);
    QFETCH(QStringList, queueKeys);
    QFETCH(QStringList, parkKeys);
    QFETCH(QStringList, lastSent);

    auto f = loggedIn();
    for (const QStringList &event : std::as_const(events)) {
        f->takeSent();
        f->push(event);
    }
    TQuorManager *w = f->manager.get();
    QCOMPARE(::records(w), records);
    QCOMPARE(keys(w->queueWindow()->table), queueKeys);
    QCOMPARE(keys(w->parkedWindow()->table), parkKeys);
    QCOMPARE(f->takeSent(), lastSent);
    // Every table row carries a row widget of its own.
    for (const QTableWidget *table : { w->queueWindow()->table, w->parkedWindow()->table }) {
        QSet<QWidget *> widgets;
        for (int row = 0; row < table->rowCount(); ++row)
            widgets.insert(table->cellWidget(row, 0));
        widgets.remove(nullptr);
        QCOMPARE(widgets.size(), table->rowCount());
    }
}

// A row names its caller, queue or space and parker, and its clock runs.
void TestCallRecords::rowsShowTheCall()
{
    auto f = loggedIn();
    f->push(newchannel(kCaller, "u1", "Ring"));
    f->push(join(kCaller, "u1", "sales", "\"Anna\" <300>"));
    f->push(parked(kCaller, "701", kAgent, "<b>0612</b>"));
    const ActiveCall *call = f->manager->activeCalls.value(0);
    QVERIFY(call && call->queueRow && call->parkRow);
    QCOMPARE(shown(call->queueRow->label_source), QStringLiteral("\"Anna\" <300>"));
    QCOMPARE(shown(call->queueRow->label_destination), QStringLiteral("sales"));
    QCOMPARE(shown(call->parkRow->label_destination), QStringLiteral("701"));
    QCOMPARE(shown(call->parkRow->label_user), QStringLiteral("101"));
    QCOMPARE(shown(call->parkRow->label_source), QStringLiteral("<b>0612</b>"));
    QCOMPARE(call->queueRow->label_qtime->text(), QStringLiteral("00:00:00"));
    QTRY_COMPARE_WITH_TIMEOUT(call->queueRow->label_qtime->text(), QStringLiteral("00:00:01"), 3000);
    QTRY_COMPARE_WITH_TIMEOUT(call->parkRow->label_qtime->text(), QStringLiteral("00:00:01"), 3000);

    // A repeated Join shows the new queue in the same row.
    f->push(join(kCaller, "u1", "support"));
    QCOMPARE(shown(call->queueRow->label_destination), QStringLiteral("support"));
    QCOMPARE(f->manager->queueWindow()->table->rowCount(), 1);
    QCOMPARE(f->manager->queueWindow()->table->cellWidget(0, 0), call->queueRow.data());
}

// Losing the PBX connection keeps the records and their rows: their
// Hangups may still come after the next login.
void TestCallRecords::recordsSurviveADrop()
{
    auto f = loggedIn();
    f->push(newchannel(kCaller, "u1", "Ring"));
    f->push(join(kCaller, "u1", "sales"));
    f->ami.dropClient();
    QTRY_VERIFY(!f->manager->isLoggedIn());
    QVERIFY(f->settle());
    QCOMPARE(::records(f->manager.get()), QStringList { kCaller + " u1 50 300" });
    QCOMPARE(keys(f->manager->queueWindow()->table), QStringList { "u1" });
    f->push(hangup(kCaller, "u1"));
    QVERIFY(f->manager->activeCalls.isEmpty());
    QCOMPARE(f->manager->queueWindow()->table->rowCount(), 0);
}

void TestCallRecords::clockText_data()
{
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<QString>("text");
    constexpr qint64 hour = 3600 * 1000;
    QTest::newRow("start") << qint64(0) << "00:00:00";
    QTest::newRow("under a second") << qint64(999) << "00:00:00";
    QTest::newRow("minutes") << qint64(61 * 1000) << "00:01:01";
    QTest::newRow("last second of a day") << qint64(24 * hour - 1000) << "23:59:59";
    QTest::newRow("a day and an hour wraps") << qint64(25 * hour) << "01:00:00";
}

void TestCallRecords::clockText()
{
    QFETCH(qint64, elapsed);
    QFETCH(QString, text);
    QCOMPARE(CallRow::clockText(elapsed), text);
}

QUOR_MAINWINDOW_TEST_MAIN(TestCallRecords)
#include "tst_callrecords.moc"
