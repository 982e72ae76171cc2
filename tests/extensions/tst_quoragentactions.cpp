// What a user does with a tile: the AMI texts of DND and forward, the refusal
// boxes, calls and transfers through a phone on a loopback PBX, and drag and
// drop. Drops run inside real drags (the minimal platform has a drag loop; the
// offscreen one returns from every drag at once), so that they come from this
// process as they would in use.

#include <QAction>
#include <QDrag>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "PhoneFixture.h"
#include "ami/AmiAction.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/DragData.h"
#include "extensions/QuorAgent.h"
#include "extensions/RefusalBox.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"

using Step = std::function<void(QuorAgent *)>;
Q_DECLARE_METATYPE(Step)

namespace {

struct Box
{
    QString title;
    QString text;
};

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

QMimeData *callData(const TQuorCall *call)
{
    auto *data = new QMimeData;
    data->setData(QLatin1String(TQuorCall::mimeType()), call->dragPayload());
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
    void callConditions();
    void transfers();

    void tilePayloadBothWays_data();
    void tilePayloadBothWays();
    void dragEnter_data();
    void dragEnter();
    void callDrops();
    void removedDuringItsOwnDrag();
    void removedDuringRefusal();

private:
    QuorAgent *tile(const QString &extension = QStringLiteral("101"));
    QStringList sent() const;
    // Runs a real drag from the source; during() runs inside the drag's loop,
    // then Escape ends it.
    void duringDrag(QObject *source, QMimeData *data, const std::function<void()> &during);
    // Drag enter and drop on the tile as the drag manager delivers them;
    // returns whether the drop was accepted.
    bool dropOn(QuorAgent *t, const QMimeData *data);
    void endDrag();

    std::unique_ptr<PhoneFixture> m_fixture;
    std::unique_ptr<QSignalSpy> m_commands;
    std::unique_ptr<QWidget> m_window; // the drags' source and key target
    QList<Channel *> m_channels;
    QList<QPointer<QuorAgent>> m_tiles;
    QList<Box> m_boxes;
};

void TestQuorAgentActions::initTestCase()
{
    m_fixture = std::make_unique<PhoneFixture>();
    QVERIFY(m_fixture->start());
    m_window = std::make_unique<QWidget>();
    m_window->resize(100, 100);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    RefusalBox::setHandler([this](QWidget *, const QString &title, const QString &text) {
        m_boxes << Box { title, text };
    });
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

void TestQuorAgentActions::endDrag()
{
    QTest::keyClick(m_window->windowHandle(), Qt::Key_Escape);
}

void TestQuorAgentActions::duringDrag(QObject *source, QMimeData *data, const std::function<void()> &during)
{
    auto *drag = new QDrag(source);
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

bool TestQuorAgentActions::dropOn(QuorAgent *t, const QMimeData *data)
{
    QDragEnterEvent enter(QPoint(60, 30), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(t, &enter);
    QDropEvent drop(QPointF(60, 30), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(t, &drop);
    return drop.isAccepted();
}

// ---------------------------------------------------------------- AMI texts

void TestQuorAgentActions::actionValue_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("safe");
    QTest::newRow("plain") << "DND"
                           << "DND";
    QTest::newRow("blanks kept") << " 0171 555 "
                                 << " 0171 555 ";
    QTest::newRow("line feed") << "101\nAction: Originate"
                               << "101Action: Originate";
    QTest::newRow("carriage return and line feed") << "CFU\r\n\r\nAction: Logoff"
                                                   << "CFUAction: Logoff";
    QTest::newRow("nul and tab") << QString::fromUtf16(u"1\0"
                                                       "0\t1",
        5) << "101";
    QTest::newRow("beyond ascii kept") << "Büro"
                                       << "Büro";
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
    QTest::addColumn<Step>("prepare");
    QTest::addColumn<bool>("forwardAction");
    QTest::addColumn<QStringList>("texts");

    const Step idle = [](QuorAgent *t) { t->setIdle(); };
    QTest::newRow("dnd on") << "101" << idle << false << QStringList { put("DND", "101"), userEvent("DND", "101") };
    QTest::newRow("dnd off") << "101" << Step([](QuorAgent *t) {
        t->setIdle();
        t->setDndState(true);
    }) << false << QStringList { del("DND", "101"), userEvent("DND", "101") };
    QTest::newRow("dnd put in a call too") << "101" << Step([](QuorAgent *t) { t->setActive(); }) << false
                                           << QStringList { put("DND", "101"), userEvent("DND", "101") };
    QTest::newRow("forward off") << "101" << Step([](QuorAgent *t) {
        t->setIdle();
        t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFB"));
    }) << true << QStringList { del("CFB", "101"), userEvent("CFB", "101") };
    QTest::newRow("forward on leaves it to the dialog") << "101" << idle << true << QStringList {};
    QTest::newRow("line breaks in the values are removed") << "10\r\n1" << Step([](QuorAgent *t) {
        t->setIdle();
        t->setDndFamily(QStringLiteral("DND\nAction: Logoff"));
    }) << false << QStringList { put("DNDAction: Logoff", "101"), userEvent("DNDAction: Logoff", "101") };
}

void TestQuorAgentActions::databaseTexts()
{
    QFETCH(QString, extension);
    QFETCH(Step, prepare);
    QFETCH(bool, forwardAction);
    QFETCH(QStringList, texts);

    QuorAgent *t = tile(extension);
    t->setDndFamily(QStringLiteral("DND"));
    prepare(t);
    const int state = t->state;
    (forwardAction ? t->actionFwd : t->actionDnd)->trigger();
    QCOMPARE(sent(), texts);
    // The picture follows the PBX's answer, not the click.
    QCOMPARE(int(t->state), state);
    QVERIFY(m_boxes.isEmpty());
}

void TestQuorAgentActions::refusals_data()
{
    QTest::addColumn<bool>("forwardOn");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::newRow("dnd while forwarded") << true << "Do Not Disturb"
                                         << "Please Disable the forwarding\n before to enable the DND.";
    QTest::newRow("forward under dnd") << false << "Call Forwarding"
                                       << "Please Disable the DND\n before to enable the forwarding.";
}

void TestQuorAgentActions::refusals()
{
    QFETCH(bool, forwardOn);
    QFETCH(QString, title);
    QFETCH(QString, text);

    QuorAgent *t = tile();
    t->setDndFamily(QStringLiteral("DND"));
    t->setIdle();
    if (forwardOn)
        t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFU"));
    else
        t->setDndState(true);
    // The state's own action reads as its switch-off.
    QAction *own = forwardOn ? t->actionFwd : t->actionDnd;
    QVERIFY(own->isChecked());
    QCOMPARE(own->text(), forwardOn ? QStringLiteral("&Disable Forward") : QStringLiteral("&Disable DND"));

    QAction *refused = forwardOn ? t->actionDnd : t->actionFwd;
    refused->trigger();
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes.at(0).title, title);
    QCOMPARE(m_boxes.at(0).text, text);
    QVERIFY(sent().isEmpty());
    QVERIFY(!refused->isChecked());
    QCOMPARE(refused->text(), forwardOn ? QStringLiteral("&Enable DND") : QStringLiteral("&Enable Forward"));
}

// ---------------------------------------------------------------- calls and transfers

void TestQuorAgentActions::callConditions()
{
    TQuorPhone *phone = m_fixture->phone();
    const auto dialled = [phone](const QString &number) {
        for (const TQuorCall *call : phone->currentCalls()) {
            if (call->dialled == number)
                return true;
        }
        return false;
    };

    QuorAgent *t = tile(QStringLiteral("104"));
    t->slotCall(); // not idle yet: not free
    t->vmPrefix.clear();
    t->slotLeaveMessageToVm();
    t->setIdle();
    m_channels << new Channel(QStringLiteral("1.1"), QStringLiteral("SIP/104-1"), QString(), QString(), QString());
    QVERIFY(t->setChannel(m_channels.last()));
    t->slotCall(); // busy with a channel
    QVERIFY(phone->currentCalls().isEmpty());

    QuorAgent *free = tile(QStringLiteral("105"));
    free->setIdle();
    free->callButton->click();
    QTRY_VERIFY(dialled(QStringLiteral("105")));
    QVERIFY(m_fixture->hangUpAll());

    free->vmPrefix = QStringLiteral("*");
    free->actionLeaveMessage->trigger();
    QTRY_VERIFY(dialled(QStringLiteral("*105")));
}

void TestQuorAgentActions::transfers()
{
    QuorAgent *t = tile(QStringLiteral("102"));
    t->setCallerIdNum(QStringLiteral("4930102"));

    // Nothing talks: nothing to transfer. Not free: no blind transfer.
    QVERIFY(m_fixture->talkTo(QStringLiteral("300")));
    t->slotBlindTransfer();
    t->slotSendToVoiceMail(); // no voicemail prefix
    t->setIdle();
    t->blindTransferButton->click();
    QTRY_COMPARE(m_fixture->transferTargets(), QStringList { QStringLiteral("4930102") });

    // To voicemail: the mailbox before its "@", else the number; no check of free.
    t->vmPrefix = QStringLiteral("9");
    t->setMailbox(QStringLiteral("2102@default"));
    t->setUnavailable();
    QVERIFY(m_fixture->hangUpAll());
    QVERIFY(m_fixture->talkTo(QStringLiteral("301")));
    t->sendVmButton->click();
    QTRY_COMPARE(m_fixture->transferTargets().size(), 2);
    QCOMPARE(m_fixture->transferTargets().last(), QStringLiteral("92102"));

    t->mailbox = QStringLiteral("@default");
    QVERIFY(m_fixture->hangUpAll());
    QVERIFY(m_fixture->talkTo(QStringLiteral("302")));
    t->actionSendToVm->trigger();
    QTRY_COMPARE(m_fixture->transferTargets().size(), 3);
    QCOMPARE(m_fixture->transferTargets().last(), QStringLiteral("94930102"));
}

// ---------------------------------------------------------------- drag and drop

void TestQuorAgentActions::tilePayloadBothWays_data()
{
    QTest::addColumn<QString>("group");
    QTest::newRow("plain group") << "Sales";
    QTest::newRow("group with a comma and umlaut") << "Büro, Nord";
}

void TestQuorAgentActions::tilePayloadBothWays()
{
    QFETCH(QString, group);
    QuorAgent *source = tile(QStringLiteral("102"));
    source->setGroupName(group);
    source->show();
    QuorAgent *target = tile(QStringLiteral("105"));
    target->setGroupName(QStringLiteral("Support"));
    QSignalSpy moves(target, &QuorAgent::newExtPosition);

    // The tile's own drag: started by a move with the left button held far
    // enough from its corner.
    QByteArray payload;
    bool dropped = false;
    QTimer::singleShot(0, this, [&] {
        if (auto *drag = source->findChild<QDrag *>()) {
            payload = drag->mimeData()->data(QStringLiteral("txt/ext"));
            dropped = dropOn(target, drag->mimeData());
        }
        endDrag();
    });
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 30), source->mapToGlobal(QPointF(60, 30)), Qt::NoButton,
        Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(source, &move);
    QCOMPARE(payload, QByteArray("102,") + group.toUtf8());
    QVERIFY(dropped);
    QCOMPARE(moves.size(), 1);
    QCOMPARE(moves.at(0), (QVariantList { "102", group, "105", "Support" }));

    // Payloads from elsewhere: read up to a NUL; without a comma both are empty.
    auto *data = new QMimeData;
    data->setData(QStringLiteral("txt/ext"), QByteArray("103,") + group.toUtf8() + QByteArray("\0junk", 5));
    auto *bare = new QMimeData;
    bare->setData(QStringLiteral("txt/ext"), "103");
    duringDrag(m_window.get(), data, [&] { dropOn(target, data); });
    duringDrag(m_window.get(), bare, [&] { dropOn(target, bare); });
    QCOMPARE(moves.size(), 3);
    QCOMPARE(moves.at(1), (QVariantList { "103", group, "105", "Support" }));
    QCOMPARE(moves.at(2), (QVariantList { "", "", "105", "Support" }));

    // A move without the left button, or too near the corner, drags nothing.
    const qsizetype drags = source->findChildren<QDrag *>().size();
    QMouseEvent near(QEvent::MouseMove, QPointF(2, 2), source->mapToGlobal(QPointF(2, 2)), Qt::NoButton, Qt::LeftButton,
        Qt::NoModifier);
    QMouseEvent hover(QEvent::MouseMove, QPointF(60, 30), source->mapToGlobal(QPointF(60, 30)), Qt::NoButton,
        Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(source, &near);
    QCoreApplication::sendEvent(source, &hover);
    QCOMPARE(source->findChildren<QDrag *>().size(), drags);
}

void TestQuorAgentActions::dragEnter_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<bool>("free");
    QTest::addColumn<bool>("inDrag");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("a tile, busy or not") << "txt/ext" << false << true << true;
    QTest::newRow("a live call on a free tile") << "phone/call" << true << true << true;
    QTest::newRow("a live call on a busy tile") << "phone/call" << false << true << false;
    QTest::newRow("a call from another application") << "phone/call" << true << false << false;
    QTest::newRow("anything else") << "text/plain" << true << true << false;
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
    auto *data = new QMimeData;
    data->setData(format, format == QLatin1String("phone/call") ? call->dragPayload() : QByteArray("102,Sales"));
    bool result = false;
    const auto enter = [&] {
        QDragEnterEvent event(QPoint(60, 30), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(t, &event);
        result = event.isAccepted();
    };
    if (inDrag) {
        duringDrag(m_window.get(), data, enter);
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

    // A talking call dropped on an idle tile is handed over blind.
    TQuorCall *talking = m_fixture->talkTo(QStringLiteral("300"));
    QVERIFY(talking);
    // ...but not from another application, which may name any address.
    {
        QScopedPointer<QMimeData> foreign(callData(talking));
        QDropEvent event(QPointF(60, 30), Qt::MoveAction, foreign.get(), Qt::LeftButton, Qt::NoModifier);
        idle->drop(&event);
        QVERIFY(!event.isAccepted());
        QCOMPARE(talking->state, int(CallTalking));
    }
    QMimeData *data = callData(talking);
    duringDrag(m_window.get(), data, [&] { dropOn(idle, data); });
    QTRY_COMPARE(m_fixture->transferTargets(), QStringList { QStringLiteral("101") });
    QVERIFY(m_fixture->hangUpAll());

    // A held call dropped on the tile whose channel is paired with the phone's
    // talking call is joined to it.
    TQuorCall *held = m_fixture->talkTo(QStringLiteral("301"));
    QVERIFY(held);
    phone->holdResume();
    QCOMPARE(held->state, int(CallHeld));
    TQuorCall *partner = m_fixture->talkTo(QStringLiteral("302"));
    QVERIFY(partner);
    QCOMPARE(paired->currentCall, partner);

    // Records that are no live call of this phone are ignored.
    auto *stranger = new TQuorCall;
    stranger->state = CallHeld;
    const QByteArray strangerPayload = stranger->dragPayload();
    auto *gone = new TQuorCall;
    const QByteArray gonePayload = gone->dragPayload();
    delete gone;
    for (const QByteArray &payload : { strangerPayload, gonePayload, QByteArray("0"), QByteArray("x1") }) {
        auto *bogus = new QMimeData;
        bogus->setData(QStringLiteral("phone/call"), payload);
        bool accepted = true;
        duringDrag(m_window.get(), bogus, [&] { accepted = dropOn(paired, bogus); });
        QVERIFY(!accepted);
    }
    delete stranger;
    QCOMPARE(held->state, int(CallHeld));
    QCOMPARE(partner->state, int(CallTalking));

    data = callData(held);
    bool accepted = false;
    duringDrag(m_window.get(), data, [&] { accepted = dropOn(paired, data); });
    QVERIFY(accepted);
    QCOMPARE(held->state, int(CallTransferring));
    QCOMPARE(partner->state, int(CallTransferring));
}

void TestQuorAgentActions::removedDuringItsOwnDrag()
{
    QuorAgent *t = tile(QStringLiteral("102"));
    t->show();
    QPointer<QuorAgent> watch(t);
    bool hiddenButAlive = false;
    QTimer::singleShot(0, this, [&] {
        t->removeSafely();
        hiddenButAlive = watch && t->isHidden() && t->isRemoved();
        // Out of use: a drop on it does nothing.
        QSignalSpy moves(t, &QuorAgent::newExtPosition);
        QMimeData data;
        data.setData(QStringLiteral("txt/ext"), "105,Sales");
        QDropEvent drop(QPointF(5, 5), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
        t->drop(&drop);
        hiddenButAlive = hiddenButAlive && moves.isEmpty();
        endDrag();
    });
    QMouseEvent move(QEvent::MouseMove, QPointF(60, 30), t->mapToGlobal(QPointF(60, 30)), Qt::NoButton, Qt::LeftButton,
        Qt::NoModifier);
    QCoreApplication::sendEvent(t, &move);
    QVERIFY(hiddenButAlive);
    QVERIFY(watch);
    QTRY_VERIFY(watch.isNull());

    // Outside a loop of its own the tile goes at once.
    QPointer<QuorAgent> other(tile(QStringLiteral("103")));
    other->removeSafely();
    QVERIFY(other.isNull());
}

void TestQuorAgentActions::removedDuringRefusal()
{
    QuorAgent *t = tile();
    t->setIdle();
    t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFU"));
    QPointer<QuorAgent> watch(t);
    RefusalBox::setHandler([&](QWidget *, const QString &, const QString &) { t->removeSafely(); });
    t->enableDND();
    RefusalBox::setHandler([this](QWidget *, const QString &title, const QString &text) {
        m_boxes << Box { title, text };
    });
    QVERIFY(watch);
    QTRY_VERIFY(watch.isNull());
}

QTEST_MAIN(TestQuorAgentActions)
#include "tst_quoragentactions.moc"
