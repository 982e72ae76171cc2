// What a user does with a tile: the AMI texts of DND and forward, the refusal
// boxes, calls and transfers through a phone on a loopback PBX, and drag and
// drop. Drops run inside real drags (the minimal platform has a drag loop; the
// offscreen one returns from every drag at once), so that they come from this
// process as they would in use.

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QMenu>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "PhoneFixture.h"
#include "TileTestSupport.h"
#include "ami/AmiAction.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/QuorAgent.h"
#include "extensions/RefusalBox.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"

namespace {

QString put(const QString &family, const QString &key)
{
    return QStringLiteral("Action: command\r\nCommand: database put %1 %2 YES\r\n\r\n").arg(family, key);
}

QString del(const QString &family, const QString &key)
{
    return QStringLiteral("Action: command\r\nCommand: database del %1 %2\r\n\r\n").arg(family, key);
}

QString userEvent(const QString &family, const QString &key)
{
    return QStringLiteral("Action: UserEvent\r\nAct: %1\r\nUser: %2\r\n\r\n").arg(family, key);
}

QMimeData *mime(const QString &format, const QByteArray &payload)
{
    auto *data = new QMimeData;
    data->setData(format, payload);
    return data;
}

} // namespace

class TestQuorAgentActions : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void actionValue_data();
    void actionValue();
    void databaseTexts_data();
    void databaseTexts();
    void refusals_data();
    void refusals();
    void menuFollowsTheState();
    void callsAndTransfers();

    void tilePayloadBothWays_data();
    void tilePayloadBothWays();
    void dragEnter_data();
    void dragEnter();
    void callDrops();
    void removedInItsOwnLoops();

private:
    QuorAgent *tile(const QString &extension = QStringLiteral("101"));
    QStringList sent() const;
    // Runs a real drag from the source; during() runs inside the drag's
    // loop, then Escape ends it.
    void duringDrag(QMimeData *data, const std::function<void()> &during);
    // Drag enter and drop as the drag manager delivers them; true when the
    // drop was accepted.
    static bool dropOn(QWidget *target, const QMimeData *data);
    void endDrag() { QTest::keyClick(m_window->windowHandle(), Qt::Key_Escape); }
    void moveWithButtonHeld(QWidget *w, const QPoint &at);

    std::unique_ptr<PhoneFixture> m_fixture;
    std::unique_ptr<QSignalSpy> m_commands;
    std::unique_ptr<QWidget> m_window; // the drags' source and key target
    QList<Channel *> m_channels;
    QList<QPointer<QuorAgent>> m_tiles;
    QStringList m_boxes;
};

void TestQuorAgentActions::initTestCase()
{
    m_fixture = std::make_unique<PhoneFixture>();
    QVERIFY(m_fixture->start());
    m_window = std::make_unique<QWidget>();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    RefusalBox::setHandler(
        [this](QWidget *, const QString &title, const QString &text) { m_boxes << title + QLatin1Char('|') + text; });
}

void TestQuorAgentActions::cleanupTestCase()
{
    RefusalBox::setHandler(nullptr);
    m_window.reset();
    m_fixture.reset();
}

void TestQuorAgentActions::init()
{
    m_commands = std::make_unique<QSignalSpy>(m_fixture->phone(), &TQuorPhone::signalExtCmd);
    m_boxes.clear();
    m_fixture->pbx()->clearReceived();
}

void TestQuorAgentActions::cleanup()
{
    for (const QPointer<QuorAgent> &t : std::as_const(m_tiles))
        delete t.data();
    m_tiles.clear();
    qDeleteAll(m_channels);
    m_channels.clear();
    QVERIFY(m_fixture->hangUpAll());
}

QuorAgent *TestQuorAgentActions::tile(const QString &extension)
{
    auto *t = new QuorAgent(m_fixture->phone(), extension, &m_channels, QStringLiteral("SIP"));
    t->setDndFamily(QStringLiteral("DND"));
    m_tiles << t;
    return t;
}

QStringList TestQuorAgentActions::sent() const
{
    QStringList texts;
    for (const QList<QVariant> &args : std::as_const(*m_commands))
        texts << args.at(0).toString();
    return texts;
}

void TestQuorAgentActions::duringDrag(QMimeData *data, const std::function<void()> &during)
{
    auto *drag = new QDrag(m_window.get());
    drag->setMimeData(data);
    bool ran = false;
    QTimer::singleShot(0, this, [&] {
        during();
        ran = true;
        endDrag();
    });
    drag->exec(Qt::MoveAction | Qt::CopyAction);
    QVERIFY2(ran, "the platform ran no drag loop");
}

bool TestQuorAgentActions::dropOn(QWidget *target, const QMimeData *data)
{
    QDragEnterEvent enter(QPoint(60, 30), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(60, 30), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

void TestQuorAgentActions::moveWithButtonHeld(QWidget *w, const QPoint &at)
{
    QMouseEvent move(
        QEvent::MouseMove, QPointF(at), w->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
}

// ---------------------------------------------------------------- AMI texts

void TestQuorAgentActions::actionValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("safe");
    const auto row
        = [](const char *name, const QString &value, const QString &safe) { QTest::newRow(name) << value << safe; };
    row("plain, blanks kept", " 0171 555 ", " 0171 555 ");
    row("line feed", "101\nAction: Originate", "101Action: Originate");
    row("carriage return and line feed", "CFU\r\n\r\nAction: Logoff", "CFUAction: Logoff");
    row("nul and tab",
        QString::fromUtf16(u"1\0"
                           "0\t1",
            5),
        "101");
    row("beyond ascii kept", "Büro", "Büro");
}

void TestQuorAgentActions::actionValue()
{
    QFETCH(QString, value);
    QFETCH(QString, safe);
    QCOMPARE(AmiAction::value(value), safe);
}

void TestQuorAgentActions::databaseTexts_data()
{
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("texts");
    const auto row = [](const char *name, const QString &extension, const QString &steps, const QString &action,
                         const QStringList &texts) { QTest::newRow(name) << extension << steps << action << texts; };
    row("dnd on", "101", "idle", "dnd", QStringList { put("DND", "101"), userEvent("DND", "101") });
    row("dnd off", "101", "idle;dnd", "dnd", QStringList { del("DND", "101"), userEvent("DND", "101") });
    row("dnd put in a call too", "101", "active", "dnd", QStringList { put("DND", "101"), userEvent("DND", "101") });
    row("forward off", "101", "idle;fwd:200", "fwd", QStringList { del("CFU", "101"), userEvent("CFU", "101") });
    row("forward on is the dialog's", "101", "idle", "fwd", QStringList {});
    row("line breaks removed", "10\r\n1", "idle", "dnd", QStringList { put("DND", "101"), userEvent("DND", "101") });
}

void TestQuorAgentActions::databaseTexts()
{
    QFETCH(QString, extension);
    QFETCH(QString, steps);
    QFETCH(QString, action);
    QFETCH(QStringList, texts);
    QuorAgent *t = tile(extension);
    runSteps(t, steps);
    if (extension.contains(QLatin1Char('\n')))
        t->setDndFamily(QStringLiteral("D\nND"));
    const int state = t->state;
    (action == QLatin1String("dnd") ? t->actionDnd : t->actionFwd)->trigger();
    QCOMPARE(sent(), texts);
    // The picture follows the PBX's answer, not the click.
    QCOMPARE(int(t->state), state);
    QVERIFY(m_boxes.isEmpty());
}

void TestQuorAgentActions::refusals_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("box");
    const auto row
        = [](const char *name, const QString &steps, const QString &box) { QTest::newRow(name) << steps << box; };
    row("dnd while forwarded", "idle;fwd:200",
        "Do Not Disturb|Please Disable the forwarding\n before to enable the DND.");
    row("forward under dnd", "idle;dnd", "Call Forwarding|Please Disable the DND\n before to enable the forwarding.");
}

void TestQuorAgentActions::refusals()
{
    QFETCH(QString, steps);
    QFETCH(QString, box);
    QuorAgent *t = tile();
    runSteps(t, steps);
    const bool forwarded = t->state == AgentForward;
    // The state's own action reads as its switch-off; the other is refused.
    QVERIFY((forwarded ? t->actionFwd : t->actionDnd)->isChecked());
    QCOMPARE(t->actionFwd->text(), forwarded ? QStringLiteral("&Disable Forward") : QStringLiteral("&Enable Forward"));
    QCOMPARE(t->actionDnd->text(), forwarded ? QStringLiteral("&Enable DND") : QStringLiteral("&Disable DND"));
    QAction *refused = forwarded ? t->actionDnd : t->actionFwd;
    refused->trigger();
    QCOMPARE(m_boxes, QStringList { box });
    QVERIFY(sent().isEmpty());
    QVERIFY(!refused->isChecked());
}

void TestQuorAgentActions::menuFollowsTheState()
{
    // Forward found at discovery: the state changed without the actions.
    QuorAgent *t = tile();
    runSteps(t, "idle;fwdNumber:200;forwarded");
    QVERIFY(!t->actionFwd->isChecked());
    QStringList shown;
    QTimer::singleShot(0, this, [&] {
        if (auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget())) {
            for (const QAction *a : menu->actions())
                shown << (a->isSeparator() ? QStringLiteral("-") : a->text() + (a->isChecked() ? "*" : ""));
            menu->close();
        }
    });
    emit t->callButton->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(shown,
        (QStringList { "&Call", "-", "&Blind Transfer", "&Send to Voicemail", "-", "&Enable DND", "&Disable Forward*",
            "-", "&Leave a Message" }));
}

void TestQuorAgentActions::callsAndTransfers()
{
    TQuorPhone *phone = m_fixture->phone();
    const auto dialled = [phone](const QString &number) {
        for (const TQuorCall *call : phone->currentCalls()) {
            if (call->dialled == number)
                return true;
        }
        return false;
    };
    // Not free before idle, busy with a channel, no voicemail prefix: nothing.
    QuorAgent *t = tile(QStringLiteral("104"));
    t->slotCall();
    t->slotLeaveMessageToVm();
    t->setIdle();
    m_channels << new Channel(QStringLiteral("1.1"), QStringLiteral("SIP/104-1"), QString(), QString(), QString());
    QVERIFY(t->setChannel(m_channels.last()));
    t->slotCall();
    QVERIFY(phone->currentCalls().isEmpty());
    QuorAgent *free = tile(QStringLiteral("105"));
    free->setIdle();
    free->callButton->click();
    QTRY_VERIFY(dialled(QStringLiteral("105")));
    QVERIFY(m_fixture->hangUpAll());
    free->vmPrefix = QStringLiteral("*");
    free->actionLeaveMessage->trigger();
    QTRY_VERIFY(dialled(QStringLiteral("*105")));
    QVERIFY(m_fixture->hangUpAll());

    // Transfers of the talking call: blind when free; to voicemail by the
    // mailbox before its "@", else the number, free or not.
    QuorAgent *v = tile(QStringLiteral("102"));
    v->setCallerIdNum(QStringLiteral("4930102"));
    QVERIFY(m_fixture->talkTo(QStringLiteral("300")));
    v->slotBlindTransfer();
    v->slotSendToVoiceMail();
    v->setIdle();
    v->blindTransferButton->click();
    QTRY_COMPARE(m_fixture->transferTargets(), QStringList { "4930102" });
    v->vmPrefix = QStringLiteral("9");
    v->setUnavailable();
    for (const QString &box : { QStringLiteral("2102@default"), QStringLiteral("@default") }) {
        QVERIFY(m_fixture->hangUpAll());
        QVERIFY(m_fixture->talkTo(QStringLiteral("301")));
        v->mailbox = box;
        v->sendVmButton->click();
    }
    QTRY_COMPARE(m_fixture->transferTargets(), (QStringList { "4930102", "92102", "94930102" }));
}

// ---------------------------------------------------------------- drag and drop

void TestQuorAgentActions::tilePayloadBothWays_data()
{
    QTest::addColumn<QString>("group");
    const auto row = [](const char *name, const QString &group) { QTest::newRow(name) << group; };
    row("plain group", "Sales");
    row("group with a comma and umlaut", "Büro, Nord");
}

void TestQuorAgentActions::tilePayloadBothWays()
{
    QFETCH(QString, group);
    QuorAgent *source = tile(QStringLiteral("102"));
    source->setGroupName(group);
    QuorAgent *target = tile(QStringLiteral("105"));
    target->setGroupName(QStringLiteral("Support"));
    QSignalSpy moves(target, &QuorAgent::newExtPosition);

    // The tile's own drag: a move with the left button held, far enough from
    // its corner.
    QByteArray payload;
    QTimer::singleShot(0, this, [&] {
        if (auto *drag = source->findChild<QDrag *>()) {
            payload = drag->mimeData()->data(QStringLiteral("txt/ext"));
            dropOn(target, drag->mimeData());
        }
        endDrag();
    });
    moveWithButtonHeld(source, QPoint(60, 30));
    QCOMPARE(payload, QByteArray("102,") + group.toUtf8());
    const qsizetype drags = source->findChildren<QDrag *>().size();
    moveWithButtonHeld(source, QPoint(2, 2));
    QCOMPARE(source->findChildren<QDrag *>().size(), drags);

    // Payloads from elsewhere: read up to a NUL; without a comma both are empty.
    QMimeData *data = mime("txt/ext", QByteArray("103,") + group.toUtf8() + QByteArray("\0junk", 5));
    duringDrag(data, [&] { dropOn(target, data); });
    QMimeData *bare = mime("txt/ext", "103");
    duringDrag(bare, [&] { dropOn(target, bare); });
    QCOMPARE(moves.size(), 3);
    QCOMPARE(moves.at(0), (QVariantList { "102", group, "105", "Support" }));
    QCOMPARE(moves.at(1), (QVariantList { "103", group, "105", "Support" }));
    QCOMPARE(moves.at(2), (QVariantList { "", "", "105", "Support" }));
}

void TestQuorAgentActions::dragEnter_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("free");
    QTest::addColumn<bool>("inDrag");
    QTest::addColumn<bool>("accepted");
    const auto row = [](const char *name, const QString &format, const bool &free, const bool &inDrag,
                         const bool &accepted) { QTest::newRow(name) << format << free << inDrag << accepted; };
    row("a tile, busy or not", "txt/ext", false, true, true);
    row("a live call on a free tile", "phone/call", true, true, true);
    row("a live call on a busy tile", "phone/call", false, true, false);
    row("a call from another application", "phone/call", true, false, false);
    row("anything else", "text/plain", true, true, false);
}

void TestQuorAgentActions::dragEnter()
{
    QFETCH(QString, format);
    QFETCH(bool, free);
    QFETCH(bool, inDrag);
    QFETCH(bool, accepted);
    TQuorCall *call = m_fixture->talkTo(QStringLiteral("300"));
    QVERIFY(call);
    QuorAgent *t = tile();
    if (free)
        t->setIdle();
    QMimeData *data = format == QLatin1String("phone/call") ? call->toMimeData() : mime(format, "102,Sales");
    bool result = false;
    const auto enter = [&] {
        QDragEnterEvent event(QPoint(60, 30), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(t, &event);
        result = event.isAccepted();
    };
    if (inDrag) {
        duringDrag(data, enter);
    } else {
        enter();
        delete data;
    }
    QCOMPARE(result, accepted);
}

void TestQuorAgentActions::callDrops()
{
    TQuorPhone *phone = m_fixture->phone();
    QuorAgent *idle = tile(QStringLiteral("101"));
    idle->setIdle();
    QuorAgent *paired = tile(QStringLiteral("302"));
    paired->setIdle();
    m_channels << new Channel(QStringLiteral("1.1"), QStringLiteral("SIP/302-1"), QString(), QString(), QString());
    QVERIFY(paired->setChannel(m_channels.last()));

    // A talking call dropped on an idle tile is handed over blind, but not
    // from another application, which may name any address.
    TQuorCall *talking = m_fixture->talkTo(QStringLiteral("300"));
    QVERIFY(talking);
    QScopedPointer<QMimeData> foreign(talking->toMimeData());
    QDropEvent event(QPointF(60, 30), Qt::MoveAction, foreign.get(), Qt::LeftButton, Qt::NoModifier);
    idle->drop(&event);
    QVERIFY(!event.isAccepted());
    QMimeData *data = talking->toMimeData();
    duringDrag(data, [&] { dropOn(idle, data); });
    QTRY_COMPARE(m_fixture->transferTargets(), QStringList { "101" });
    QVERIFY(m_fixture->hangUpAll());

    // A held call dropped on the tile whose channel is paired with the
    // phone's talking call is joined to it; no other record is taken.
    TQuorCall *held = m_fixture->talkTo(QStringLiteral("301"));
    QVERIFY(held);
    phone->holdResume();
    TQuorCall *partner = m_fixture->talkTo(QStringLiteral("302"));
    QVERIFY(partner);
    QCOMPARE(paired->currentCall, partner);
    TQuorCall stranger;
    stranger.state = CallHeld;
    QMimeData *gone = std::make_unique<TQuorCall>()->toMimeData();
    for (QMimeData *bogus : { stranger.toMimeData(), gone, mime("phone/call", "0"), mime("phone/call", "x1") }) {
        bool accepted = true;
        duringDrag(bogus, [&] { accepted = dropOn(paired, bogus); });
        QVERIFY(!accepted);
    }
    QCOMPARE(held->state, int(CallHeld));
    data = held->toMimeData();
    duringDrag(data, [&] { QVERIFY(dropOn(paired, data)); });
    QCOMPARE(held->state, int(CallTransferring));
    QCOMPARE(partner->state, int(CallTransferring));
}

void TestQuorAgentActions::removedInItsOwnLoops()
{
    // Removed during its own drag: hidden and out of use at once, deleted
    // only once the drag has returned.
    QuorAgent *t = tile(QStringLiteral("102"));
    QPointer<QuorAgent> watch(t);
    bool outOfUse = false;
    QTimer::singleShot(0, this, [&] {
        t->removeSafely();
        QSignalSpy moves(t, &QuorAgent::newExtPosition);
        QScopedPointer<QMimeData> data(mime("txt/ext", "105,Sales"));
        QDropEvent drop(QPointF(5, 5), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
        t->drop(&drop);
        outOfUse = watch && t->isHidden() && t->isRemoved() && moves.isEmpty();
        endDrag();
    });
    moveWithButtonHeld(t, QPoint(60, 30));
    QVERIFY(outOfUse);
    QVERIFY(watch);
    QTRY_VERIFY(watch.isNull());

    // Removed while its refusal box is open.
    t = tile();
    runSteps(t, "idle;fwd:200");
    watch = t;
    RefusalBox::setHandler([&](QWidget *, const QString &, const QString &) { t->removeSafely(); });
    t->enableDND();
    RefusalBox::setHandler(
        [this](QWidget *, const QString &title, const QString &text) { m_boxes << title + QLatin1Char('|') + text; });
    QVERIFY(watch);
    QTRY_VERIFY(watch.isNull());

    // Outside a loop of its own it goes at once.
    watch = tile(QStringLiteral("103"));
    watch->removeSafely();
    QVERIFY(watch.isNull());
}

QTEST_MAIN(TestQuorAgentActions)
#include "tst_quoragentactions.moc"
