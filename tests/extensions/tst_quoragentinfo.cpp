// The extension info popup: what it shows in each state, the AMI texts and
// refusals of its buttons, drops of the phone's calls, opening and moving it,
// and that a popup built late shows what one built at once shows. Drops run
// inside real drags of this process (minimal platform), as in use.

#include <QDrag>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "PhoneFixture.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/QuorAgent.h"
#include "extensions/QuorAgentInfo.h"
#include "extensions/RefusalBox.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"

using Prepare = std::function<void(QuorAgent *)>;
Q_DECLARE_METATYPE(Prepare)

namespace {

// The tile passes through these states, emitting what the popup follows.
Prepare states(const QList<std::tuple<TAgentState, QString, QString>> &steps)
{
    return [steps](QuorAgent *t) {
        for (const auto &[state, text, direction] : steps) {
            t->setStatusText(direction);
            emit t->updateInfoState(state, text);
        }
    };
}

QString pictureOf(const QLabel *label)
{
    const AgentInfoImages *im = QuorAgentInfo::images;
    const QList<QPair<const char *, const QPixmap *>> all { { "strNoAvail", &im->strNoAvail },
        { "bgUnavailable", &im->bgUnavailable }, { "strAvailable", &im->strAvailable },
        { "bgAvailable", &im->bgAvailable }, { "strQueue", &im->strQueue }, { "bgQueue", &im->bgQueue },
        { "bgActive", &im->bgActive }, { "strCalling", &im->strCalling }, { "bgRinging", &im->bgRinging },
        { "strRinging", &im->strRinging }, { "strRing", &im->strRing }, { "strHold", &im->strHold },
        { "bgHold", &im->bgHold }, { "strOffhook", &im->strOffhook }, { "bgOffhook", &im->bgOffhook },
        { "strDnd", &im->strDnd }, { "bgDnd", &im->bgDnd }, { "strFwd", &im->strFwd }, { "bgFwd", &im->bgFwd },
        { "strParked", &im->strParked }, { "bgParked", &im->bgParked } };
    for (const auto &p : all) {
        if (p.second->cacheKey() == label->pixmap().cacheKey())
            return QLatin1String(p.first);
    }
    return QStringLiteral("form");
}

QColor colourOf(QLabel *label)
{
    label->ensurePolished();
    return label->palette().color(QPalette::WindowText);
}

const QColor kGrey(76, 76, 76);
const QColor kOrange(200, 80, 0);
const QColor kGreen(0, 90, 0);
const QColor kRed(203, 0, 0);

QString put(const QString &family, const QString &value)
{
    return QStringLiteral("Action: command\r\nCommand: database put %1 101 %2\r\n\r\n").arg(family, value);
}

QString del(const QString &family)
{
    return QStringLiteral("Action: command\r\nCommand: database del %1 101\r\n\r\n").arg(family);
}

QString notice(const QString &family)
{
    return QStringLiteral("Action: UserEvent\r\nAct: %1\r\nUser: 101\r\n\r\n").arg(family);
}

} // namespace

class TestQuorAgentInfo : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void display_data();
    void display();
    void timerAndMessages();
    void buttons_data();
    void buttons();
    void tileActions();
    void drops_data();
    void drops();
    void openCloseAndMove();
    void builtLateShowsTheSame_data();
    void builtLateShowsTheSame();
    void tileRemovedDuringRefusal();

private:
    QuorAgent *tile(const QString &extension = QStringLiteral("101"));
    QStringList sent() const;

    std::unique_ptr<PhoneFixture> m_fixture;
    std::unique_ptr<QSignalSpy> m_commands;
    std::unique_ptr<QWidget> m_dragSource;
    QList<QPointer<QuorAgent>> m_tiles;
    QList<Channel *> m_channels;
    QStringList m_boxes;
};

void TestQuorAgentInfo::initTestCase()
{
    m_fixture = std::make_unique<PhoneFixture>();
    QVERIFY(m_fixture->start());
    m_dragSource = std::make_unique<QWidget>();
    m_dragSource->show();
    RefusalBox::setHandler([this](QWidget *, const QString &title, const QString &text) {
        m_boxes << title + QLatin1Char('|') + text;
    });
}

void TestQuorAgentInfo::cleanup()
{
    for (const QPointer<QuorAgent> &t : std::as_const(m_tiles))
        delete t.data();
    m_tiles.clear();
    m_boxes.clear();
    QVERIFY(m_fixture->hangUpAll());
    m_fixture->pbx()->clearReceived();
}

QuorAgent *TestQuorAgentInfo::tile(const QString &extension)
{
    auto *t = new QuorAgent(m_fixture->phone(), extension, &m_channels, QStringLiteral("SIP"));
    m_tiles << t;
    t->addFwdFamilies(QStringLiteral("CF"), QStringLiteral("CFB"), QStringLiteral("CFU"));
    t->setDndFamily(QStringLiteral("DND"));
    t->setCallerIdName(QStringLiteral("Anna"));
    t->info->buildForm();
    t->updateInfo();
    m_commands = std::make_unique<QSignalSpy>(m_fixture->phone(), &TQuorPhone::signalExtCmd);
    return t;
}

QStringList TestQuorAgentInfo::sent() const
{
    QStringList texts;
    for (const QList<QVariant> &args : std::as_const(*m_commands))
        texts << args.at(0).toString();
    return texts;
}

// ---------------------------------------------------------------- display

void TestQuorAgentInfo::display_data()
{
    QTest::addColumn<Prepare>("prepare");
    QTest::addColumn<QString>("strip");
    QTest::addColumn<QString>("background");
    QTest::addColumn<QString>("cid");
    QTest::addColumn<QColor>("cidColour");
    QTest::addColumn<QColor>("directionColour"); // invalid: not set by the state
    QTest::addColumn<TAgentState>("switchedOn"); // the state whose button reads "Disable"

    const QColor none;
    QTest::newRow("unavailable") << states({ { AgentUnavailable, "", "" } }) << "strNoAvail"
                       << "bgUnavailable"
                       << "" << kGrey << none << AgentInit;
    QTest::newRow("ringing in") << states({ { AgentRingIn, "Marco", "IN" } }) << "strRing"
                      << "bgRinging"
                      << "Marco" << kGrey << kGreen << AgentInit;
    QTest::newRow("calling out") << states({ { AgentCallOut, "200", "OUT" } }) << "strRinging"
                       << "bgActive"
                       << "200" << kGrey << kRed << AgentInit;
    QTest::newRow("talking, called in") << states({ { AgentInCall, "Marco", "IN" } }) << "strCalling"
                              << "bgActive"
                              << "Marco" << kGrey << kGreen << AgentInit;
    QTest::newRow("talking, called out") << states({ { AgentInCall, "Marco", "OUT" } }) << "strCalling"
                               << "bgActive"
                               << "Marco" << kGrey << kRed << AgentInit;
    QTest::newRow("hold keeps the colour") << states({ { AgentRingIn, "Marco", "IN" }, { AgentHold, "Marco", "" } })
                                 << "strHold"
                                 << "bgHold"
                                 << "Marco" << kGrey << kGreen << AgentInit;
    QTest::newRow("dnd") << states({ { AgentDnd, "", "" } }) << "strDnd"
               << "bgDnd"
               << "" << kGrey << none << AgentDnd;
    QTest::newRow("forwarded") << states({ { AgentForward, "200", "" } }) << "strFwd"
                     << "bgFwd"
                     << "Forwarding to: 200" << kOrange << none << AgentForward;
    QTest::newRow("off hook") << states({ { AgentOffHook, "", "UP" } }) << "strOffhook"
                    << "bgOffhook"
                    << "" << kGrey << none << AgentInit;
    QTest::newRow("parked") << states({ { AgentParked, "701", "" } }) << "strParked"
                  << "bgParked"
                  << "Parked to: 701" << kOrange << none << AgentInit;
    QTest::newRow("in a queue") << states({ { AgentInQueue, "Sales", "OUT" } }) << "strQueue"
                      << "bgQueue"
                      << "Queue Sales" << kGrey << none << AgentInit;
    QTest::newRow("init keeps the pictures") << states({ { AgentForward, "200", "" }, { AgentInit, "x", "" } }) << "strFwd"
                                   << "bgFwd"
                                   << "x" << kGrey << none << AgentInit;
    QTest::newRow("unknown state keeps the pictures") << states({ { AgentDnd, "", "" }, { TAgentState(12), "y", "" } })
                                            << "strDnd"
                                            << "bgDnd"
                                            << "y" << kGrey << none << AgentInit;
}

void TestQuorAgentInfo::display()
{
    QFETCH(Prepare, prepare);
    QFETCH(QString, strip);
    QFETCH(QString, background);
    QFETCH(QString, cid);
    QFETCH(QColor, cidColour);
    QFETCH(QColor, directionColour);
    QFETCH(TAgentState, switchedOn);

    QuorAgentInfo *info = tile()->info;
    const QColor plainDirection = colourOf(info->label_direction);
    emit info->agent->timeoutAgent(QStringLiteral("00:00:09"));
    prepare(info->agent);
    QCOMPARE(pictureOf(info->label_status), strip);
    QCOMPARE(pictureOf(info->label_bt_bg), background);
    QCOMPARE(info->label_cid->text(), cid);
    QCOMPARE(colourOf(info->label_cid), cidColour);
    QCOMPARE(colourOf(info->label_direction), directionColour.isValid() ? directionColour : plainDirection);
    QCOMPARE(info->labelTimer->text(), QString());
    QCOMPARE(info->dndButton->toolTip(),
        switchedOn == AgentDnd ? "Disable DND on this extension" : "Enable DND on this extension");
    QCOMPARE(info->fwdButton->toolTip(),
        switchedOn == AgentForward ? "Disable call forwarding on this extension"
                                   : "Enable call forwarding on this extension");
    QCOMPARE(info->Edit_fwd->isEnabled(), switchedOn != AgentForward);
    QCOMPARE(info->comboFwdFamily->isEnabled(), switchedOn != AgentForward);
    if (switchedOn == AgentForward)
        QCOMPARE(info->Edit_fwd->text(), QStringLiteral("200"));
}

void TestQuorAgentInfo::timerAndMessages()
{
    QuorAgent *t = tile();
    QuorAgentInfo *info = t->info;
    emit t->timeoutAgent(QStringLiteral("00:01:05"));
    QCOMPARE(info->labelTimer->text(), QStringLiteral("00:01:05"));
    t->setActive();
    QCOMPARE(info->labelTimer->text(), QString());

    const QList<QPair<int, QString>> counts { { 1, "1 new message" }, { 2, "2 new messages" }, { 0, "" },
        { 3, "3 new messages" }, { -1, "" } };
    for (const auto &[count, text] : counts) {
        QMetaObject::invokeMethod(info, "updateMessages", Q_ARG(int, count));
        QCOMPARE(info->labelMessage->isVisibleTo(info), count > 0);
        QCOMPARE(info->label_mail->isVisibleTo(info), count > 0);
        if (count > 0)
            QCOMPARE(info->labelMessage->text(), text);
    }
    // The tile's own count reaches it.
    t->setVmCount(4);
    QCOMPARE(info->labelMessage->text(), QStringLiteral("4 new messages"));
}

// ---------------------------------------------------------------- buttons

void TestQuorAgentInfo::buttons_data()
{
    QTest::addColumn<Prepare>("prepare");
    QTest::addColumn<bool>("forwardButton");
    QTest::addColumn<int>("type"); // chosen in the combo; -1 none
    QTest::addColumn<QString>("number");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("box");

    const Prepare idle = [](QuorAgent *t) { t->setIdle(); };
    const QStringList none;
    QTest::newRow("dnd on, idle") << idle << false << -1 << "" << QStringList { put("DND", "YES"), notice("DND") }
                                  << "";
    QTest::newRow("dnd on, unavailable") << Prepare([](QuorAgent *t) { t->setUnavailable(); }) << false << -1 << ""
                                         << QStringList { put("DND", "YES"), notice("DND") } << "";
    QTest::newRow("dnd on, in a call") << Prepare([](QuorAgent *t) { t->setActive(); }) << false << -1 << ""
                                       << QStringList { put("DND", "YES"), notice("DND") } << "";
    QTest::newRow("dnd off") << Prepare([](QuorAgent *t) {
        t->setIdle();
        t->setDndState(true);
    }) << false << -1 << ""
                             << QStringList { del("DND"), notice("DND") } << "";
    QTest::newRow("dnd refused while forwarded") << Prepare([](QuorAgent *t) {
        t->setIdle();
        t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CF"));
    }) << false << -1 << ""
                                                 << none
                                                 << "Do Not Disturb|Please Disable the forwarding\n before to enable "
                                                    "the DND.";
    QTest::newRow("forward refused under dnd") << Prepare([](QuorAgent *t) {
        t->setIdle();
        t->setDndState(true);
    }) << true << -1 << "200"
                                               << none
                                               << "Call Forwarding|Please Disable the DND\n before to enable the "
                                                  "forwarding.";
    QTest::newRow("forward on for all calls") << idle << true << -1 << "200"
                                              << QStringList { put("CF", "200"), notice("CF") } << "";
    QTest::newRow("forward on when busy") << idle << true << 1 << "200"
                                          << QStringList { put("CFB", "200"), notice("CFB") } << "";
    QTest::newRow("forward on with no answer") << idle << true << 2 << "200"
                                               << QStringList { put("CFU", "200"), notice("CFU") } << "";
    QTest::newRow("blanks sent as typed") << idle << true << -1 << "   "
                                          << QStringList { put("CF", "   "), notice("CF") } << "";
    QTest::newRow("line breaks removed") << idle << true << -1 << "200\r\nAction: Originate"
                                         << QStringList { put("CF", "200Action: Originate"), notice("CF") } << "";
    const QString noNumber = QStringLiteral("Call Forwarding|Call Forwarding:\nPlease fill the Destination Number.");
    QTest::newRow("forward refused without number") << idle << true << -1 << "" << none << noNumber;
    QTest::newRow("forward refused with line breaks only") << idle << true << -1 << "\r\n" << none << noNumber;
    // Removed under the family the PBX holds it in, whatever the combo showed;
    // the locked combo shows that type.
    QTest::newRow("forward off under the tile's family") << Prepare([](QuorAgent *t) {
        t->setIdle();
        t->setFwdState(true, QStringLiteral("200"), QStringLiteral("CFB"));
        QCOMPARE(t->info->comboFwdFamily->currentText(), QStringLiteral("Busy"));
    }) << true << 2 << ""
                                                         << QStringList { del("CFB"), notice("CFB") } << "";
}

void TestQuorAgentInfo::buttons()
{
    QFETCH(Prepare, prepare);
    QFETCH(bool, forwardButton);
    QFETCH(int, type);
    QFETCH(QString, number);
    QFETCH(QStringList, texts);
    QFETCH(QString, box);

    QuorAgent *t = tile();
    QuorAgentInfo *info = t->info;
    prepare(t);
    if (type >= 0) {
        info->comboFwdFamily->setCurrentIndex(type);
        emit info->comboFwdFamily->activated(type);
    }
    info->Edit_fwd->setText(number);
    const TAgentState state = t->state;
    (forwardButton ? info->fwdButton : info->dndButton)->click();
    QCOMPARE(sent(), texts);
    QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList { box });
    QCOMPARE(info->state, state); // the PBX's answer changes it, not the click
}

void TestQuorAgentInfo::tileActions()
{
    TQuorPhone *phone = m_fixture->phone();
    QuorAgent *t = tile(QStringLiteral("105"));
    t->vmPrefix = QStringLiteral("*");
    t->setIdle();
    t->info->callButton->click();
    QTRY_VERIFY(!phone->currentCalls().isEmpty());
    QCOMPARE(phone->currentCalls().last()->dialled, QStringLiteral("105"));
    QVERIFY(m_fixture->hangUpAll());
    t->info->msgButton->click();
    QTRY_VERIFY(!phone->currentCalls().isEmpty());
    QCOMPARE(phone->currentCalls().last()->dialled, QStringLiteral("*105"));
    QVERIFY(m_fixture->hangUpAll());

    QVERIFY(m_fixture->talkTo(QStringLiteral("300")));
    t->info->blindTransferButton->click();
    QTRY_COMPARE(m_fixture->transferTargets(), QStringList { QStringLiteral("105") });
    QVERIFY(m_fixture->hangUpAll());
    QVERIFY(m_fixture->talkTo(QStringLiteral("301")));
    t->info->sendVmButton->click();
    QTRY_COMPARE(m_fixture->transferTargets().size(), 2);
    QCOMPARE(m_fixture->transferTargets().last(), QStringLiteral("*105"));
}

// ---------------------------------------------------------------- drops

void TestQuorAgentInfo::drops_data()
{
    QTest::addColumn<Prepare>("prepare");
    QTest::addColumn<QString>("payload"); // "live", "ended" call or a tile
    QTest::addColumn<bool>("inDrag");
    QTest::addColumn<bool>("accepted");

    const Prepare idle = [](QuorAgent *t) { t->setIdle(); };
    QTest::newRow("live call on an idle extension") << idle << "live" << true << true;
    QTest::newRow("live call on an extension in a call") << Prepare([](QuorAgent *t) { t->setActive(); }) << "live"
                                                         << true << true;
    QTest::newRow("unavailable") << Prepare([](QuorAgent *t) { t->setUnavailable(); }) << "live" << true << false;
    QTest::newRow("dnd") << Prepare([](QuorAgent *t) {
        t->setIdle();
        t->setDndState(true);
    }) << "live" << true << false;
    QTest::newRow("a tile") << idle << "tile" << true << false;
    QTest::newRow("an ended call") << idle << "ended" << true << false;
    QTest::newRow("from another application") << idle << "live" << false << false;
}

void TestQuorAgentInfo::drops()
{
    QFETCH(Prepare, prepare);
    QFETCH(QString, payload);
    QFETCH(bool, inDrag);
    QFETCH(bool, accepted);

    TQuorCall *talking = m_fixture->talkTo(QStringLiteral("300"));
    QVERIFY(talking);
    QuorAgent *t = tile(QStringLiteral("104"));
    prepare(t);
    QMimeData *data = nullptr;
    if (payload == QLatin1String("tile")) {
        data = new QMimeData;
        data->setData(QStringLiteral("txt/ext"), "102,Sales");
    } else if (payload == QLatin1String("ended")) {
        auto *ended = new TQuorCall;
        data = ended->toMimeData();
        delete ended;
    } else {
        data = talking->toMimeData();
    }
    bool entered = false;
    const auto dropOnPopup = [&] {
        QDragEnterEvent enter(QPoint(200, 70), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(t->info, &enter);
        entered = enter.isAccepted();
        if (entered) {
            QDropEvent drop(QPointF(200, 70), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(t->info, &drop);
        }
    };
    if (inDrag) {
        auto *drag = new QDrag(m_dragSource.get());
        drag->setMimeData(data);
        QTimer::singleShot(0, this, [&] {
            dropOnPopup();
            QTest::keyClick(m_dragSource->windowHandle(), Qt::Key_Escape);
        });
        drag->exec(Qt::MoveAction);
    } else {
        dropOnPopup();
        delete data;
    }
    QCOMPARE(entered, accepted);
    // The tile handles the drop: a talking call goes blind to an idle extension.
    if (accepted && t->state == AgentIdle)
        QTRY_COMPARE(m_fixture->transferTargets(), QStringList { QStringLiteral("104") });
}

// ---------------------------------------------------------------- window

void TestQuorAgentInfo::openCloseAndMove()
{
    QuorAgent *t = tile();
    t->setContext(QStringLiteral("from-internal"));
    t->updateInfo();
    QuorAgentInfo *info = t->info;
    t->button_user->click();
    QVERIFY(info->isVisible());
    QCOMPARE(info->windowTitle(), QStringLiteral("Extension 101"));
    QVERIFY(info->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
    QVERIFY(qAbs(info->windowOpacity() - 0.97) < 0.005); // kept in eight bits
    QCOMPARE(info->minimumSize(), QSize(400, 300));
    QCOMPARE(info->maximumSize(), QSize(400, 300));
    QVERIFY(!info->mask().isEmpty());
    QVERIFY(info->mask().boundingRect().width() > 390);
    QCOMPARE(info->label_user->text(), QStringLiteral("101"));
    QCOMPARE(info->label_name->text(), QStringLiteral("Anna"));
    QCOMPARE(info->label_info->text(), t->detailsText());
    QVERIFY(info->label_info->text().contains(QStringLiteral("Context: from-internal")));

    // Dragged by the background with the left button only.
    const QPoint start = info->pos();
    const auto mouse = [info](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint global) {
        QMouseEvent event(type, QPointF(info->mapFromGlobal(global)), QPointF(global), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(info, &event);
    };
    const QPoint grip = info->mapToGlobal(QPoint(200, 20));
    mouse(QEvent::MouseButtonPress, Qt::RightButton, Qt::RightButton, grip);
    mouse(QEvent::MouseMove, Qt::NoButton, Qt::RightButton, grip + QPoint(50, 40));
    QCOMPARE(info->pos(), start);
    mouse(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, grip);
    mouse(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, grip + QPoint(50, 40));
    QTRY_COMPARE(info->pos(), start + QPoint(50, 40));

    // Closed, it goes on following the tile and opens where it was left.
    info->quitButton->click();
    QVERIFY(info->isHidden());
    t->setIdle();
    t->button_user->click();
    QVERIFY(info->isVisible());
    QCOMPARE(info->pos(), start + QPoint(50, 40));
    QCOMPARE(pictureOf(info->label_bt_bg), QStringLiteral("bgAvailable"));
}

void TestQuorAgentInfo::builtLateShowsTheSame_data()
{
    QTest::addColumn<Prepare>("prepare");
    QTest::newRow("never updated") << Prepare([](QuorAgent *) {});
    QTest::newRow("in a call") << Prepare([](QuorAgent *t) {
        t->setIdle();
        t->setStatusText(QStringLiteral("IN"));
        t->setPeerText(QStringLiteral("Marco"));
        t->setActive();
        emit t->timeoutAgent(QStringLiteral("00:00:05"));
        t->setVmCount(2);
    });
    QTest::newRow("forwarded, then free again") << Prepare([](QuorAgent *t) {
        t->setIdle();
        t->setStatusText(QStringLiteral("OUT"));
        emit t->updateInfoState(AgentCallOut, QStringLiteral("200"));
        t->setFwdState(true, QStringLiteral("300"), QStringLiteral("CFU"));
        t->setFwdState(false, QString(), QStringLiteral("CFU"));
    });
}

void TestQuorAgentInfo::builtLateShowsTheSame()
{
    QFETCH(Prepare, prepare);
    const auto look = [](QuorAgentInfo *i) {
        return QStringList { pictureOf(i->label_status), pictureOf(i->label_bt_bg), i->label_user->text(),
            i->label_name->text(), i->label_info->text(), i->labelTimer->text(), i->label_cid->text(),
            i->label_cid->styleSheet(), i->label_direction->text(), i->label_direction->styleSheet(),
            i->labelMessage->text(), QString::number(i->labelMessage->isVisibleTo(i)), i->dndButton->toolTip(),
            i->fwdButton->toolTip(), i->Edit_fwd->text(), QString::number(i->Edit_fwd->isEnabled()),
            i->comboFwdFamily->currentText(), QString::number(i->comboFwdFamily->isEnabled()) };
    };
    QuorAgent *early = tile(QStringLiteral("101"));
    auto *late = new QuorAgent(m_fixture->phone(), QStringLiteral("101"), &m_channels, QStringLiteral("SIP"));
    m_tiles << late;
    late->addFwdFamilies(QStringLiteral("CF"), QStringLiteral("CFB"), QStringLiteral("CFU"));
    late->setDndFamily(QStringLiteral("DND"));
    late->setCallerIdName(QStringLiteral("Anna"));
    late->updateInfo();
    prepare(early);
    prepare(late);
    QVERIFY(!late->info->isFormBuilt());
    late->button_user->click();
    QCOMPARE(look(late->info), look(early->info));
}

void TestQuorAgentInfo::tileRemovedDuringRefusal()
{
    QuorAgent *t = tile();
    t->setIdle();
    t->setDndState(true);
    QPointer<QuorAgentInfo> info(t->info);
    RefusalBox::setHandler([t](QWidget *, const QString &, const QString &) { delete t; });
    info->fwdButton->click();
    RefusalBox::setHandler([this](QWidget *, const QString &title, const QString &text) {
        m_boxes << title + QLatin1Char('|') + text;
    });
    QVERIFY(sent().isEmpty());
    QTRY_VERIFY(info.isNull());
}

QTEST_MAIN(TestQuorAgentInfo)
#include "tst_quoragentinfo.moc"
