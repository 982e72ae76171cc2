// A tile's, its popup's and its forward dialog's actions, over a loopback PBX.

#include <QAction>
#include <QApplication>
#include <QDrag>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "TileTestSupport.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/DialogEnableCf.h"
#include "extensions/DragRunner.h"
#include "extensions/RefusalBox.h"
#include "softphone/PhoneFixture.h"
#include "testsupport/LoopbackCalls.h"

namespace {

// An AstDB change ("put CF 101 200") and the UserEvent that announces it.
QStringList announced(const QString &change)
{
    const QString family = change.section(QLatin1Char(' '), 1, 1);
    return { QStringLiteral("Action: command\r\nCommand: database %1\r\n\r\n").arg(change),
        QStringLiteral("Action: UserEvent\r\nAct: %1\r\nUser: 101\r\n\r\n").arg(family) };
}

const char *const kDndRefused = "Do Not Disturb|Please Disable the forwarding\n before to enable the DND.";
const char *const kFwdRefused = "Call Forwarding|Please Disable the DND\n before to enable the forwarding.";
const char *const kNoNumber = "Call Forwarding|Call Forwarding:\nPlease fill the Destination Number.";

} // namespace

// The phone, registered as 201 with a fake PBX on loopback.
class TestQuorAgentActions : public QObject, public PhoneFixture
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void texts_data();
    void texts();
    void menuFollowsTheState();
    void callsAndTransfers();
    void pairingAndAttendedTransfer();
    void drops_data();
    void drops();
    void goneOrClosed_data();
    void goneOrClosed();

private:
    TQuorCall *talkTo(const QString &number)
    {
        return LoopbackCalls::talkTo(m_phone->calls(), m_pbx.get(), number, &m_dialogues);
    }
    bool hangUpAll() { return LoopbackCalls::hangUpAll(m_phone->calls(), m_pbx.get(), &m_dialogues); }
    QStringList transferTargets() const { return LoopbackCalls::transferTargets(*m_pbx); }
    QStringList sent() const;
    // Runs during() inside a drag of this process.
    void duringDrag(QMimeData *data, const std::function<void()> &during);
    // Drag enter, then the drop if accepted; returns whether it was.
    static bool dropOn(QWidget *target, const QMimeData *data);

    QList<quint16> m_dialogues;
    std::unique_ptr<QSignalSpy> m_commands;
    TileSet m_set;
    QStringList m_boxes;
};

void TestQuorAgentActions::initTestCase()
{
    startPbx();
    startPhone({ { "codecs/ulaw", "yes" }, { "codecs/default", "ulaw" } }, loopbackPhoneOptions());
    m_set.phone = m_phone.get();
}

void TestQuorAgentActions::cleanupTestCase()
{
    RefusalBox::setHandler(nullptr);
    stopPhone();
}

void TestQuorAgentActions::init()
{
    RefusalBox::setHandler(
        [this](QWidget *, const QString &title, const QString &text) { m_boxes << title + QLatin1Char('|') + text; });
    m_commands = std::make_unique<QSignalSpy>(m_phone.get(), &TQuorPhone::signalExtCmd);
    m_boxes.clear();
    m_pbx->clearReceived();
}

void TestQuorAgentActions::cleanup()
{
    DragRunner::set(nullptr);
    m_set.clear();
    QVERIFY(hangUpAll());
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
    auto *drag = new QDrag(this);
    drag->setMimeData(data);
    DragRunner::set([&](QDrag *) { during(); });
    DragRunner::exec(drag, Qt::MoveAction | Qt::CopyAction);
    DragRunner::set(nullptr);
}

bool TestQuorAgentActions::dropOn(QWidget *target, const QMimeData *data)
{
    QDragEnterEvent enter(QPoint(60, 30), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(60, 30), Qt::MoveAction | Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return true;
}

void TestQuorAgentActions::texts_data()
{
    QTest::addColumn<QString>("key"); // "menu dnd", "menu fwd", "popup dnd", "popup fwd" or "dialog"
    QTest::addColumn<QString>("steps");
    QTest::addColumn<int>("type"); // chosen in the popup's or the dialog's combo; -1 none
    QTest::addColumn<QString>("number");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("box");
    const QStringList none;
    addCase("menu: dnd off", "menu dnd", "idle;dnd", -1, "", announced("del DND 101"), "");
    addCase("menu: forward off where it is held", "menu fwd", "idle;fwd:200", -1, "", announced("del CFB 101"), "");
    addCase("menu: dnd refused while forwarded", "menu dnd", "idle;fwd:200", -1, "", none, kDndRefused);
    addCase("menu: forward refused under dnd", "menu fwd", "idle;dnd", -1, "", none, kFwdRefused);
    addCase("popup: dnd on when unavailable", "popup dnd", "unavailable", -1, "", announced("put DND 101 YES"), "");
    addCase("popup: dnd off", "popup dnd", "idle;dnd", -1, "", announced("del DND 101"), "");
    addCase("popup: dnd on in a call", "popup dnd", "idle;active", -1, "", announced("put DND 101 YES"), "");
    addCase("popup: dnd refused while forwarded", "popup dnd", "idle;fwd:200", -1, "", none, kDndRefused);
    addCase("popup: forward refused under dnd", "popup fwd", "idle;dnd", -1, "200", none, kFwdRefused);
    addCase("popup: forward on, busy", "popup fwd", "idle", 1, "200", announced("put CFB 101 200"), "");
    addCase("popup: forward on, no answer", "popup fwd", "idle", 2, "200", announced("put CFU 101 200"), "");
    // The type shown, not the family the tile last held.
    addCase("popup: starts on All", "popup fwd", "idle;nofwd;details", -1, "200", announced("put CF 101 200"), "");
    addCase("popup: blanks sent as typed", "popup fwd", "idle", -1, "  ", announced("put CF 101   "), "");
    addCase("popup: line breaks and NUL removed", "popup fwd", "idle", -1,
        QStringLiteral("2\r\n0") + QChar(0) + QStringLiteral("0\nAction: Originate"),
        announced("put CF 101 200Action: Originate"), "");
    addCase("popup: refused, line breaks only", "popup fwd", "idle", -1, "\r\n", none, kNoNumber);
    // Not under the family of the combo's first type, but where the tile holds it.
    addCase("popup: forward off where it is held", "popup fwd", "idle;fwd:200", -1, "", announced("del CFB 101"), "");
    // The dialog starts on "All" whatever family the tile last held.
    addCase("dialog: all calls", "dialog", "idle;nofwd", -1, "200", announced("put CF 101 200"), "");
    addCase("dialog: busy", "dialog", "idle", 1, "200", announced("put CFB 101 200"), "");
    addCase("dialog: no answer", "dialog", "idle", 2, "200", announced("put CFU 101 200"), "");
    addCase("dialog: line breaks removed", "dialog", "idle", -1, "200\r\nAction: Originate",
        announced("put CF 101 200Action: Originate"), "");
    addCase("dialog: NUL removed", "dialog", "idle", -1, QStringLiteral("20") + QChar(0) + QStringLiteral("0"),
        announced("put CF 101 200"), "");
    addCase("dialog: blanks sent as typed", "dialog", "idle", -1, "  ", announced("put CF 101   "), "");
    addCase("dialog: refused, nothing typed", "dialog", "idle", 1, "", none, kNoNumber);
    addCase("dialog: refused, line breaks only", "dialog", "idle", 1, "\r\n", none, kNoNumber);
}

void TestQuorAgentActions::texts()
{
    QFETCH(QString, key);
    QFETCH(QString, steps);
    QFETCH(int, type);
    QFETCH(QString, number);
    QFETCH(QStringList, texts);
    QFETCH(QString, box);
    QuorAgent *t = m_set.tile();
    t->setCallerIdNum(QStringLiteral("4930101")); // actions name the extension
    QuorAgentInfo *info = t->info;
    info->buildForm();
    m_set.run(t, steps);
    const int state = t->state;
    QPointer<DialogEnableCf> dialog;
    if (key.startsWith(QLatin1String("menu"))) {
        (key.endsWith(QLatin1String("dnd")) ? t->actionDnd : t->actionFwd)->trigger();
    } else {
        QComboBox *combo = info->comboFwdFamily;
        QLineEdit *edit = info->Edit_fwd;
        QAbstractButton *button = key.endsWith(QLatin1String("dnd")) ? info->dndButton : info->fwdButton;
        if (key == QLatin1String("dialog")) {
            t->actionFwd->trigger();
            dialog = t->cfDialog;
            QVERIFY(dialog && dialog->isVisible() && dialog->Edit_fwd->text().isEmpty());
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Enable Call Forwarding"));
            combo = dialog->comboFwdFamily;
            edit = dialog->Edit_fwd;
            button = dialog->buttonBox->button(QDialogButtonBox::Ok);
        }
        if (type >= 0) {
            combo->setCurrentIndex(type);
            emit combo->activated(type);
        }
        edit->setText(number);
        button->click();
    }
    QCOMPARE(sent(), texts);
    QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList { box });
    // The picture follows the PBX, not the click; a refusal unchecks the menu.
    QCOMPARE(int(t->state), state);
    if (!box.isEmpty()) {
        QCOMPARE(t->actionDnd->isChecked(), state == AgentDnd);
        QCOMPARE(t->actionFwd->isChecked(), state == AgentForward);
    }
    // The dialog closes once it has sent, and stays open after a refusal.
    if (key == QLatin1String("dialog"))
        QTRY_COMPARE(dialog.isNull(), box.isEmpty());
}

void TestQuorAgentActions::menuFollowsTheState()
{
    // Forward found at discovery, without the actions: the menu follows.
    QuorAgent *t = m_set.tile();
    m_set.run(t, QStringLiteral("idle;fwdNumber:200;forwarded"));
    QString shown;
    QTimer::singleShot(0, this, [&] {
        shown = t->actionFwd->text() + QLatin1Char(t->actionFwd->isChecked() ? '*' : ' ');
        QApplication::activePopupWidget()->close();
    });
    emit t->callButton->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(shown, QStringLiteral("&Disable Forward*"));
}

void TestQuorAgentActions::callsAndTransfers()
{
    TQuorPhone *phone = m_phone.get();
    const auto dialled
        = [phone] { return phone->currentCalls().isEmpty() ? QString() : phone->currentCalls().last()->dialled; };
    // The buttons lie over the name strip's foot (y 14-15): a click there
    // calls or transfers; above it, it opens the popup.
    const auto clickAt = [](QuorAgent *tile, QPoint at) {
        QWidget *hit = tile->childAt(at);
        QVERIFY(hit);
        QTest::mouseClick(hit, Qt::LeftButton, {}, hit->mapFrom(tile, at));
    };
    QuorAgent *t = m_set.tile(QStringLiteral("105"));
    QCOMPARE(t->childAt(60, 5), t->button_user);
    t->setIdle();
    clickAt(t, QPoint(60, 15));
    QTRY_COMPARE(dialled(), QStringLiteral("105"));
    QVERIFY(hangUpAll());
    QVERIFY(!t->info->isVisible());

    // Blind transfers only when free; to voicemail by the mailbox before "@".
    t = m_set.tile(QStringLiteral("102"));
    t->setCallerIdNum(QStringLiteral("4930102"));
    t->info->buildForm();
    QStringList targets;
    const auto transfer = [&](const std::function<void()> &press, const QString &target) {
        QVERIFY(talkTo(QStringLiteral("300")));
        press();
        if (!target.isEmpty())
            targets << target;
        QTRY_COMPARE(transferTargets(), targets);
        QVERIFY(hangUpAll());
    };
    transfer([t] { t->slotBlindTransfer(); }, QString());
    t->setIdle();
    transfer([&] { clickAt(t, QPoint(10, 14)); }, QStringLiteral("4930102"));
    t->vmPrefix = QStringLiteral("9");
    t->mailbox = QStringLiteral("2102@default");
    t->setUnavailable();
    transfer([&] { clickAt(t, QPoint(120, 15)); }, QStringLiteral("92102"));
    // The popup's buttons are the tile's; without a mailbox, the voicemail
    // of the number; bound to a channel, no call.
    t->setIdle();
    transfer([t] { t->info->blindTransferButton->click(); }, QStringLiteral("4930102"));
    t->mailbox.clear();
    transfer([t] { t->info->sendVmButton->click(); }, QStringLiteral("94930102"));
    for (CPushButton *button : { t->info->callButton, t->info->msgButton }) {
        button->click();
        QTRY_COMPARE(dialled(), QLatin1String(button == t->info->callButton ? "4930102" : "9102"));
        QVERIFY(hangUpAll());
    }
    QVERIFY(m_set.bind(t));
    t->info->callButton->click();
    QVERIFY(phone->currentCalls().isEmpty());
    QVERIFY(!t->info->isVisible());
}

void TestQuorAgentActions::pairingAndAttendedTransfer()
{
    QuorAgent *out = m_set.tile(QStringLiteral("302"));
    QuorAgent *in = m_set.tile(QStringLiteral("401"));
    QuorAgent *anonymous = m_set.tile(QStringLiteral("402"));
    out->setIdle();
    QVERIFY(m_set.bind(out));
    QVERIFY(in->setChannel(m_set.record(
        QStringLiteral("1.2"), QStringLiteral("SIP/401-1"), QStringLiteral("5551234"), QStringLiteral("Alice"))));
    QVERIFY(anonymous->setChannel(m_set.record(
        QStringLiteral("1.3"), QStringLiteral("SIP/402-1"), QStringLiteral("5551234"), QStringLiteral("<Unknown>"))));

    // A held call dropped on the tile paired with the talking call joins it.
    TQuorCall *held = talkTo(QStringLiteral("301"));
    QVERIFY(held);
    m_phone->holdResume();
    TQuorCall *partner = talkTo(QStringLiteral("302"));
    QVERIFY(partner);
    QCOMPARE(out->liveCurrentCall(), partner);
    QMimeData *data = held->toMimeData();
    duringDrag(data, [&] { QVERIFY(dropOn(out, data)); });
    QCOMPARE(held->state, int(CallTransferring));
    QCOMPARE(partner->state, int(CallTransferring));

    // Incoming ones by caller number and name, never as "<Unknown>".
    m_dialogues << m_pbx->callEngine(m_phone->voip()->localPort(), "201", "5551234", "Alice");
    QTRY_COMPARE_WITH_TIMEOUT(m_phone->currentCalls().size(), 3, 10000);
    TQuorCall *incoming = m_phone->currentCalls().last();
    m_phone->control();
    QTRY_VERIFY_WITH_TIMEOUT(m_phone->isOwnCall(incoming) && incoming->state == CallTalking, 10000);
    QCOMPARE(in->currentCall, incoming);
    QVERIFY(!anonymous->currentCall);
    // A caller without a name is not paired with a record that has none either.
    m_dialogues << m_pbx->callEngine(m_phone->voip()->localPort(), "201", "5551234", "<Unknown>");
    QTRY_COMPARE_WITH_TIMEOUT(m_phone->currentCalls().size(), 4, 10000);
    TQuorCall *nameless = m_phone->currentCalls().last();
    m_phone->control();
    QTRY_VERIFY_WITH_TIMEOUT(m_phone->isOwnCall(nameless) && nameless->state == CallTalking, 10000);
    QCOMPARE(nameless->name, QStringLiteral("<Unknown>"));
    QVERIFY(!anonymous->currentCall);

    // The ended call is deleted by the phone: the tile's pointer is no call.
    QVERIFY(hangUpAll());
    QVERIFY(out->currentCall);
    QCOMPARE(out->liveCurrentCall(), nullptr);
}

void TestQuorAgentActions::drops_data()
{
    QTest::addColumn<bool>("popup"); // dropped on the tile's popup, else on the tile
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("live"); // the phone's talking call, else one not of the phone
    QTest::addColumn<bool>("inDrag"); // false: from another application
    QTest::addColumn<bool>("accepted");
    addCase("tile: a live call, free", false, "idle", true, true, true);
    addCase("tile: from another application", false, "idle", true, false, false);
    addCase("tile: a call not of the phone", false, "idle", false, true, false);
    addCase("tile: a live call, unavailable", false, "unavailable", true, true, false);
    addCase("popup: a live call, in a call", true, "idle;active", true, true, true);
    addCase("popup: from another application", true, "idle", true, false, false);
    addCase("popup: a live call, free", true, "idle", true, true, true);
    addCase("popup: a live call, ringing", true, "idle;bind:Up;chan:Ringing", true, true, false);
    addCase("popup: a live call, forwarded", true, "idle;fwd:200", true, true, false);
}

void TestQuorAgentActions::drops()
{
    QFETCH(bool, popup);
    QFETCH(QString, steps);
    QFETCH(bool, live);
    QFETCH(bool, inDrag);
    QFETCH(bool, accepted);
    TQuorCall *talking = talkTo(QStringLiteral("300"));
    QVERIFY(talking);
    QuorAgent *t = m_set.tile();
    m_set.run(t, steps);
    TQuorCall foreign;
    QMimeData *data = (live ? talking : &foreign)->toMimeData();
    QWidget *target = popup ? static_cast<QWidget *>(t->info) : t;
    bool entered = false;
    if (inDrag) {
        duringDrag(data, [&] { entered = dropOn(target, data); });
    } else {
        entered = dropOn(target, data);
        delete data;
    }
    QCOMPARE(entered, accepted);
    // The tile takes the drop: a talking call goes blind to a free extension.
    if (accepted && t->state == AgentIdle)
        QTRY_COMPARE(transferTargets(), QStringList { QStringLiteral("101") });
}

void TestQuorAgentActions::goneOrClosed_data()
{
    QTest::addColumn<QString>("how");
    addCase("dialog cancelled", "cancel");
    addCase("dialog escaped", "escape");
    addCase("dialog's tile removed", "removed");
    addCase("dialog's tile removed under the dialog's refusal box", "dialog box");
    addCase("tile removed in its own drag", "drag");
    addCase("tile removed under its refusal box", "tile box");
    addCase("tile removed under its popup's refusal box", "popup box");
}

void TestQuorAgentActions::goneOrClosed()
{
    // A tile and its windows go only once their own loops return.
    QFETCH(QString, how);
    const bool closed = how == QLatin1String("cancel") || how == QLatin1String("escape");
    QuorAgent *t = m_set.tile();
    t->setIdle();
    QPointer<QuorAgent> tile(t);
    QPointer<QuorAgentInfo> info(t->info);
    QPointer<DialogEnableCf> dialog;
    RefusalBox::setHandler([t](QWidget *, const QString &, const QString &) { t->removeSafely(); });
    if (closed || how == QLatin1String("removed") || how == QLatin1String("dialog box")) {
        t->actionFwd->trigger();
        dialog = t->cfDialog;
        QVERIFY(dialog && dialog->isVisible() && t->actionFwd->isChecked());
        QCOMPARE(dialog->labelWarning->text(),
            QStringLiteral("Enable Forwarding for user <b>101</b><br>Please fill "
                           "the Forwarding type <br>and the Destination Number."));
        dialog->Edit_fwd->setText(how == QLatin1String("dialog box") ? QString() : QStringLiteral("200"));
    } else {
        m_set.run(t, QStringLiteral("dnd"));
    }
    // What must still be alive right after its own loop has returned.
    const QPointer<QObject> survivor = how == QLatin1String("dialog box") ? static_cast<QObject *>(dialog)
        : how == QLatin1String("popup box")                               ? static_cast<QObject *>(info)
                                                                          : static_cast<QObject *>(t);
    if (how == QLatin1String("cancel")) {
        dialog->buttonBox->button(QDialogButtonBox::Cancel)->click();
    } else if (how == QLatin1String("escape")) {
        QTest::keyClick(dialog, Qt::Key_Escape);
    } else if (how == QLatin1String("dialog box")) {
        dialog->buttonBox->button(QDialogButtonBox::Ok)->click();
    } else if (how == QLatin1String("drag")) {
        // Hidden and out of use at once, deleted only once the drag has returned.
        t->setGroupName(QStringLiteral("Büro, Nord"));
        bool outOfUse = false;
        QByteArray payload;
        DragRunner::set([&](QDrag *drag) {
            payload = drag->mimeData()->data(QStringLiteral("txt/ext"));
            t->removeSafely();
            QSignalSpy moves(t, &QuorAgent::newExtPosition);
            QMimeData data;
            data.setData(QStringLiteral("txt/ext"), "105,Sales");
            QDropEvent drop(QPointF(5, 5), Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
            t->drop(&drop);
            outOfUse = tile && t->isHidden() && t->isRemoved() && moves.isEmpty();
        });
        QMouseEvent move(QEvent::MouseMove, QPointF(60, 30), t->mapToGlobal(QPointF(60, 30)), Qt::NoButton,
            Qt::LeftButton, Qt::NoModifier); // with the button held
        QCoreApplication::sendEvent(t, &move);
        QVERIFY(outOfUse);
        QCOMPARE(payload, QStringLiteral("101,Büro, Nord").toUtf8());
    } else if (how == QLatin1String("tile box")) {
        t->enableFWD(); // refused under DND
    } else if (how == QLatin1String("popup box")) {
        info->buildForm();
        info->fwdButton->click();
    } else {
        t->removeSafely();
        QVERIFY(tile.isNull() && info.isNull());
    }
    QVERIFY(closed || how == QLatin1String("removed") || survivor);
    QVERIFY(!dialog || dialog->isHidden());
    QVERIFY(!tile || !tile->actionFwd->isChecked());
    QVERIFY(sent().isEmpty());
    QTRY_VERIFY(dialog.isNull() && (closed || (tile.isNull() && info.isNull())));
}

QTEST_MAIN(TestQuorAgentActions)
#include "tst_quoragentactions.moc"
