// The extension info popup: each state's look, the texts and refusals of its
// keys, drops of the phone's calls (inside real drags of this process, on the
// minimal platform), opening and moving it, and building it late.

#include <QDrag>
#include <QMimeData>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

#include "PhoneFixture.h"
#include "core/CPushButton.h"
#include "core/TQuorCall.h"
#include "extensions/QuorAgent.h"
#include "extensions/QuorAgentInfo.h"
#include "extensions/RefusalBox.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"

namespace {

const QColor kGrey(76, 76, 76), kOrange(200, 80, 0), kGreen(0, 90, 0), kRed(203, 0, 0), kPlain;

// Steps "state/text/direction", separated by blanks, as the tile emits them.
void play(QuorAgent *t, const QString &steps)
{
    for (const QString &step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList f = step.split(QLatin1Char('/'));
        t->setStatusText(f.value(2));
        emit t->updateInfoState(TAgentState(f.at(0).toInt()), f.value(1));
    }
}

// The names of a label's picture: "str_ring" under images/, "ringing" under
// images/agentinfo/ (agentinfo_ringing.png).
bool shows(const QLabel *label, const QString &name)
{
    const QString path = name.startsWith(QLatin1String("str_")) ? name : QStringLiteral("agentinfo/agentinfo_") + name;
    const auto image = [](const QPixmap &p) { return p.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied); };
    const QPixmap wanted(QStringLiteral(":/ui/images/%1.png").arg(path));
    return !wanted.isNull() && image(label->pixmap()) == image(wanted);
}

QColor colourOf(QLabel *label)
{
    label->ensurePolished();
    return label->palette().color(QPalette::WindowText);
}

// The database change and its notice for extension 101; no value: a removal.
QStringList change(const QString &family, const QString &value = QString())
{
    return { value.isNull() ? QStringLiteral("Action: command\r\nCommand: database del %1 101\r\n\r\n").arg(family)
                            : QStringLiteral("Action: command\r\nCommand: database put %1 101 %2\r\n\r\n").arg(family, value),
        QStringLiteral("Action: UserEvent\r\nAct: %1\r\nUser: 101\r\n\r\n").arg(family) };
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
    void timerMessagesAndCalls();
    void keys_data();
    void keys();
    void drops_data();
    void drops();
    void openCloseAndMove();
    void builtLateShowsTheSame_data();
    void builtLateShowsTheSame();
    void tileRemovedDuringRefusal();

private:
    // Tile 101 with families CF, CFB, CFU; it reports CFB as its forward
    // family while the popup's combo starts on "All" (CF).
    QuorAgent *tile(bool built = true);
    QStringList sent() const;
    void recordBoxes();

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
    recordBoxes();
}

void TestQuorAgentInfo::recordBoxes()
{
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

QuorAgent *TestQuorAgentInfo::tile(bool built)
{
    auto *t = new QuorAgent(m_fixture->phone(), QStringLiteral("101"), &m_channels, QStringLiteral("SIP"));
    m_tiles << t;
    t->addFwdFamilies(QStringLiteral("CF"), QStringLiteral("CFB"), QStringLiteral("CFU"));
    t->fwdFamily = QStringLiteral("CFB");
    t->setDndFamily(QStringLiteral("DND"));
    t->setCallerIdName(QStringLiteral("Anna"));
    if (built)
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

void TestQuorAgentInfo::display_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("pictures");
    QTest::addColumn<QString>("cid");
    QTest::addColumn<QColor>("cidColour");
    QTest::addColumn<QColor>("direction"); // kPlain: the style sheet's
    QTest::addColumn<int>("switchedOn"); // the state whose key reads "Disable"
    const auto row = [](const char *name, const char *steps, const char *pictures, const char *cid, QColor cidColour,
                         QColor direction, int on) {
        QTest::newRow(name) << steps << pictures << cid << cidColour << direction << on;
    };
    row("unavailable", "1", "str_no_avail unavailable", "", kGrey, kPlain, 0);
    row("ringing in", "3/Marco/IN", "str_ring ringing", "Marco", kGrey, kGreen, 0);
    row("calling out", "4/200/OUT", "str_ringing active", "200", kGrey, kRed, 0);
    row("talking, called in", "5/Marco/IN", "str_calling active", "Marco", kGrey, kGreen, 0);
    row("talking, called out", "5/Marco/OUT", "str_calling active", "Marco", kGrey, kRed, 0);
    row("hold keeps the colour", "3/Marco/IN 6/Marco", "str_hold hold", "Marco", kGrey, kGreen, 0);
    row("dnd", "7", "str_dnd dnd", "", kGrey, kPlain, 7);
    row("forwarded", "8/200", "str_fwd fwd", "Forwarding to: 200", kOrange, kPlain, 8);
    row("off hook", "9//UP", "str_offhook offhook", "", kGrey, kPlain, 0);
    row("parked", "10/701", "str_parked parked", "Parked to: 701", kOrange, kPlain, 0);
    row("in a queue", "11/Sales/OUT", "str_queue queue", "Queue Sales", kGrey, kPlain, 0);
    row("init keeps the pictures", "8/200 0/x", "str_fwd fwd", "x", kGrey, kPlain, 0);
    row("unknown state too", "7 12/y", "str_dnd dnd", "y", kGrey, kPlain, 0);
}

void TestQuorAgentInfo::display()
{
    QFETCH(QString, steps);
    QFETCH(QString, pictures);
    QFETCH(QString, cid);
    QFETCH(QColor, cidColour);
    QFETCH(QColor, direction);
    QFETCH(int, switchedOn);

    QuorAgentInfo *info = tile()->info;
    const QColor plain = colourOf(info->label_direction);
    emit info->agent->timeoutAgent(QStringLiteral("00:00:09"));
    play(info->agent, steps);
    QVERIFY(shows(info->label_status, pictures.section(QLatin1Char(' '), 0, 0)));
    QVERIFY(shows(info->label_bt_bg, pictures.section(QLatin1Char(' '), 1, 1)));
    QCOMPARE(info->label_cid->text(), cid);
    QCOMPARE(colourOf(info->label_cid), cidColour);
    QCOMPARE(colourOf(info->label_direction), direction.isValid() ? direction : plain);
    QVERIFY(info->labelTimer->text().isEmpty());
    QCOMPARE(info->dndButton->toolTip(), QString(switchedOn == 7 ? "Disable" : "Enable") + " DND on this extension");
    QCOMPARE(info->fwdButton->toolTip(),
        QString(switchedOn == 8 ? "Disable" : "Enable") + " call forwarding on this extension");
    QCOMPARE((QList<bool> { info->Edit_fwd->isEnabled(), info->comboFwdFamily->isEnabled() }),
        QList<bool>(2, switchedOn != 8));
    if (switchedOn == 8)
        QCOMPARE(info->Edit_fwd->text(), QStringLiteral("200"));
}

void TestQuorAgentInfo::timerMessagesAndCalls()
{
    QuorAgent *t = tile();
    QuorAgentInfo *info = t->info;
    emit t->timeoutAgent(QStringLiteral("00:01:05"));
    QCOMPARE(info->labelTimer->text(), QStringLiteral("00:01:05"));
    for (const auto &[count, text] : QList<QPair<int, QString>> { { 1, "1 new message" }, { 2, "2 new messages" },
             { 0, "" }, { 3, "3 new messages" }, { -1, "" } }) {
        QMetaObject::invokeMethod(info, "updateMessages", Q_ARG(int, count));
        QCOMPARE(info->labelMessage->isVisibleTo(info) && info->label_mail->isVisibleTo(info), count > 0);
        if (count > 0)
            QCOMPARE(info->labelMessage->text(), text);
    }
    // The call area and the message key act through the tile.
    t->vmPrefix = QStringLiteral("*");
    t->setIdle();
    for (const auto &[key, dialled] :
        QList<std::pair<CPushButton *, QString>> { { info->callButton, "101" }, { info->msgButton, "*101" } }) {
        key->click();
        QTRY_VERIFY(!m_fixture->phone()->currentCalls().isEmpty());
        QCOMPARE(m_fixture->phone()->currentCalls().last()->dialled, dialled);
        QVERIFY(m_fixture->hangUpAll());
    }
}

void TestQuorAgentInfo::keys_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("forward");
    QTest::addColumn<int>("type"); // chosen in the combo; -1 none
    QTest::addColumn<QString>("number");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("box");
    const auto row = [](const char *name, const char *steps, bool forward, int type, const QString &number,
                         const QStringList &texts, const QString &box = QString()) {
        QTest::newRow(name) << steps << forward << type << number << texts << box;
    };
    const QString noNumber = QStringLiteral("Call Forwarding|Call Forwarding:\nPlease fill the Destination Number.");
    row("dnd on when idle", "2", false, -1, "", change("DND", "YES"));
    row("dnd on when unavailable", "1", false, -1, "", change("DND", "YES"));
    row("dnd on in a call", "5", false, -1, "", change("DND", "YES"));
    row("dnd off", "7", false, -1, "", change("DND"));
    row("dnd refused while forwarded", "8/200", false, -1, "", {},
        "Do Not Disturb|Please Disable the forwarding\n before to enable the DND.");
    row("forward refused under dnd", "7", true, -1, "200", {},
        "Call Forwarding|Please Disable the DND\n before to enable the forwarding.");
    row("forward on, all calls", "2", true, -1, "200", change("CF", "200"));
    row("forward on, busy", "2", true, 1, "200", change("CFB", "200"));
    row("forward on, no answer", "2", true, 2, "200", change("CFU", "200"));
    row("blanks sent as typed", "2", true, -1, "   ", change("CF", "   "));
    row("line breaks removed", "2", true, -1, "200\r\nAction: Originate",
        change("CF", "200Action: Originate"));
    row("forward refused without number", "2", true, -1, "", {}, noNumber);
    row("forward refused, line breaks only", "2", true, -1, "\r\n", {}, noNumber);
    // Not under the combo's family (All) but where the tile reports it.
    row("forward off under the tile's family", "8/200", true, 2, "", change("CFB"));
}

void TestQuorAgentInfo::keys()
{
    QFETCH(QString, steps);
    QFETCH(bool, forward);
    QFETCH(int, type);
    QFETCH(QString, number);
    QFETCH(QStringList, texts);
    QFETCH(QString, box);

    QuorAgentInfo *info = tile()->info;
    play(info->agent, steps);
    if (info->state == AgentForward)
        QCOMPARE(info->comboFwdFamily->currentText(), QStringLiteral("Busy"));
    if (type >= 0) {
        info->comboFwdFamily->setCurrentIndex(type);
        emit info->comboFwdFamily->activated(type);
    }
    info->Edit_fwd->setText(number);
    (forward ? info->fwdButton : info->dndButton)->click();
    QCOMPARE(sent(), texts);
    QCOMPARE(m_boxes, box.isEmpty() ? QStringList() : QStringList { box });
}

void TestQuorAgentInfo::drops_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("payload"); // a "live" or "ended" call, or a "tile"
    QTest::addColumn<bool>("inDrag");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("live call on an idle extension") << "2" << "live" << true << true;
    QTest::newRow("live call on an extension in a call") << "5" << "live" << true << true;
    QTest::newRow("unavailable") << "1" << "live" << true << false;
    QTest::newRow("dnd") << "7" << "live" << true << false;
    QTest::newRow("a tile") << "2" << "tile" << true << false;
    QTest::newRow("an ended call") << "2" << "ended" << true << false;
    QTest::newRow("from another application") << "2" << "live" << false << false;
}

void TestQuorAgentInfo::drops()
{
    QFETCH(QString, steps);
    QFETCH(QString, payload);
    QFETCH(bool, inDrag);
    QFETCH(bool, accepted);

    TQuorCall *talking = m_fixture->talkTo(QStringLiteral("300"));
    QVERIFY(talking);
    QuorAgent *t = tile();
    t->setIdle();
    play(t, steps);
    QMimeData *data = talking->toMimeData();
    if (payload == QLatin1String("tile")) {
        data->clear();
        data->setData(QStringLiteral("txt/ext"), "102,Sales");
    } else if (payload == QLatin1String("ended")) {
        std::unique_ptr<TQuorCall> ended(new TQuorCall);
        delete data;
        data = ended->toMimeData();
    }
    bool entered = false;
    const auto dropOnPopup = [&] {
        QDragEnterEvent enter(QPoint(200, 70), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(t->info, &enter);
        entered = enter.isAccepted();
        QDropEvent drop(QPointF(200, 70), Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        if (entered)
            QCoreApplication::sendEvent(t->info, &drop);
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
    // The tile takes the drop: a talking call goes blind to an idle extension.
    if (accepted && t->state == AgentIdle)
        QTRY_COMPARE(m_fixture->transferTargets(), QStringList { QStringLiteral("101") });
}

void TestQuorAgentInfo::openCloseAndMove()
{
    QuorAgent *t = tile(false);
    QuorAgentInfo *info = t->info;
    t->button_user->click();
    QVERIFY(info->isVisible());
    QCOMPARE(info->windowTitle(), QStringLiteral("Extension 101"));
    QVERIFY(info->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
    QVERIFY(qAbs(info->windowOpacity() - 0.97) < 0.005); // kept in eight bits
    QCOMPARE(info->maximumSize(), info->minimumSize());
    QCOMPARE(info->size(), QSize(400, 300));
    QVERIFY(info->mask().boundingRect().width() > 390);
    QCOMPARE(info->label_user->text() + info->label_name->text(), QStringLiteral("101Anna"));
    QCOMPARE(info->label_info->text(), t->detailsText());

    // Dragged by the background with the left button only.
    const QPoint start = info->pos();
    const QPoint grip = info->mapToGlobal(QPoint(200, 20));
    for (Qt::MouseButton button : { Qt::RightButton, Qt::LeftButton }) {
        // One at a time: events of the same device share their point.
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(200, 20), QPointF(grip), button, button, Qt::NoModifier);
        QCoreApplication::sendEvent(info, &press);
        QMouseEvent move(QEvent::MouseMove, QPointF(250, 60), QPointF(grip + QPoint(50, 40)), Qt::NoButton, button,
            Qt::NoModifier);
        QCoreApplication::sendEvent(info, &move);
        QTRY_COMPARE(info->pos(), button == Qt::LeftButton ? start + QPoint(50, 40) : start);
    }
    // Closed, it follows the tile on and opens where it was left.
    info->quitButton->click();
    QVERIFY(info->isHidden());
    t->setIdle();
    t->button_user->click();
    QCOMPARE(info->pos(), start + QPoint(50, 40));
    QVERIFY(shows(info->label_bt_bg, QStringLiteral("available")));
}

void TestQuorAgentInfo::builtLateShowsTheSame_data()
{
    QTest::addColumn<QString>("steps");
    QTest::newRow("never updated") << "";
    QTest::newRow("in a call") << "2 5/Marco/IN";
    QTest::newRow("forwarded, then free again") << "4/200/OUT 8/300 2";
}

void TestQuorAgentInfo::builtLateShowsTheSame()
{
    QFETCH(QString, steps);
    const auto look = [](QuorAgentInfo *i) {
        return QStringList { QString::number(i->label_status->pixmap().cacheKey()),
            QString::number(i->label_bt_bg->pixmap().cacheKey()), i->label_user->text(),
            i->label_name->text(), i->label_info->text(), i->labelTimer->text(), i->label_cid->text(),
            i->label_cid->styleSheet(), i->label_direction->text(), i->label_direction->styleSheet(),
            i->labelMessage->text(), QString::number(i->labelMessage->isVisibleTo(i)), i->dndButton->toolTip(),
            i->fwdButton->toolTip(), i->Edit_fwd->text(), QString::number(i->Edit_fwd->isEnabled()),
            i->comboFwdFamily->currentText(), QString::number(i->comboFwdFamily->isEnabled()) };
    };
    QuorAgent *early = tile();
    QuorAgent *late = tile(false);
    for (QuorAgent *t : { early, late }) {
        play(t, steps);
        if (!steps.isEmpty()) {
            emit t->timeoutAgent(QStringLiteral("00:00:05"));
            t->setVmCount(2);
        }
    }
    QVERIFY(!late->info->isFormBuilt());
    late->button_user->click();
    QCOMPARE(look(late->info), look(early->info));
}

void TestQuorAgentInfo::tileRemovedDuringRefusal()
{
    QuorAgent *t = tile();
    play(t, QStringLiteral("7"));
    QPointer<QuorAgentInfo> info(t->info);
    RefusalBox::setHandler([t](QWidget *, const QString &, const QString &) { delete t; });
    info->fwdButton->click();
    recordBoxes();
    QVERIFY(info); // not under the box that is still closing
    QTRY_VERIFY(info.isNull());
    QVERIFY(sent().isEmpty());
}

QTEST_MAIN(TestQuorAgentInfo)
#include "tst_quoragentinfo.moc"
