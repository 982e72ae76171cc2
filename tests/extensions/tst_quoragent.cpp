// The channel record, the extension tile following its records, its popup.

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "TileTestSupport.h"
#include "core/CPushButton.h"

namespace {

const QColor kGrey(76, 76, 76), kOrange(200, 80, 0), kGreen(0, 90, 0), kRed(203, 0, 0), kPlain;

// Steps "state/text/direction", separated by blanks, as the tile tells its popup.
void play(QuorAgent *t, const QString &steps)
{
    for (const QString &step : steps.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList f = step.split(QLatin1Char('/'));
        t->setStatusText(f.value(2));
        emit t->updateInfoState(TAgentState(f.at(0).toInt()), f.value(1));
    }
}

// Whether a popup label shows "str_ring" (images/) or "ringing" (agentinfo_).
bool shows(const QLabel *label, const QString &name)
{
    const QString path = name.startsWith(QLatin1String("str_")) ? name : QStringLiteral("agentinfo/agentinfo_") + name;
    const auto image
        = [](const QPixmap &p) { return p.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied); };
    const QPixmap wanted(QStringLiteral(":/ui/images/%1.png").arg(path));
    return !wanted.isNull() && image(label->pixmap()) == image(wanted);
}

// What a popup shows, in one list.
QStringList popupLook(QuorAgentInfo *i)
{
    return { QString::number(i->label_status->pixmap().cacheKey()),
        QString::number(i->label_bt_bg->pixmap().cacheKey()), i->label_user->text(), i->label_name->text(),
        i->label_info->text(), i->labelTimer->text(), i->label_cid->text(), i->label_cid->styleSheet(),
        i->label_direction->text(), i->label_direction->styleSheet(), i->labelMessage->text(),
        QString::number(i->labelMessage->isVisibleTo(i)), i->dndButton->toolTip(), i->fwdButton->toolTip(),
        i->Edit_fwd->text(), QString::number(i->Edit_fwd->isEnabled()), i->comboFwdFamily->currentText(),
        QString::number(i->comboFwdFamily->isEnabled()) };
}

} // namespace

class TestQuorAgent : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        Channel::setClock([this] { return m_now; });
    }
    void cleanup()
    {
        m_set.clear();
        Channel::setClock(nullptr);
    }
    void channelCallTime_data();
    void channelCallTime();
    void channelLinkRestartsAndUnlinkKeepsTicking();
    void channelQueueAndRename();
    void channelBelongsTo_data();
    void channelBelongsTo();
    void tile_data();
    void tile();
    void parkSlotAndVoicemail();
    void popup_data();
    void popup();
    void popupWindow_data();
    void popupWindow();

private:
    // Tile 101 reporting its forward under CFB, with its popup built or not.
    QuorAgent *popupTile(bool built);

    TileSet m_set;
    qint64 m_now = 1000000; // the records' clock
};

void TestQuorAgent::channelCallTime_data()
{
    QTest::addColumn<qint64>("elapsed");
    QTest::addColumn<QString>("text");
    addCase("at the link", qint64(0), "00:00");
    addCase("seven minutes five", qint64(425000), "07:05");
    addCase("last second below an hour", qint64(3599999), "59:59");
    addCase("one hour", qint64(3600000), "01:00:00");
}

void TestQuorAgent::channelCallTime()
{
    QFETCH(qint64, elapsed);
    QFETCH(QString, text);
    Channel ch(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"), QString(), QString(), QStringLiteral("Up"));
    QSignalSpy ticks(&ch, &Channel::timeoutEvent);
    ch.link(QStringLiteral("1.2"));
    m_now += elapsed;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), text);
}

void TestQuorAgent::channelLinkRestartsAndUnlinkKeepsTicking()
{
    Channel ch(QStringLiteral("1.1"), QStringLiteral("SIP/101-1"), QString(), QString(), QStringLiteral("Up"));
    QSignalSpy links(&ch, &Channel::linkEvent);
    QSignalSpy ticks(&ch, &Channel::timeoutEvent);
    ch.link(QStringLiteral("1.2"));
    // A coarse timer may fire early and show the same second twice.
    QCOMPARE(ch.durationTimer->timerType(), Qt::PreciseTimer);
    m_now += 5000;
    // A second link counts from zero again and names the new peer.
    ch.link(QStringLiteral("1.3"));
    m_now += 1000;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), QStringLiteral("00:01"));
    QCOMPARE(links.last(), (QVariantList { QStringLiteral("1.1"), QStringLiteral("1.3") }));

    // The clock runs on until the hangup.
    ch.unlink();
    QVERIFY(!ch.linked && ch.linkedTo.isEmpty() && ch.durationTimer->isActive());
    m_now += 2000;
    ch.timeout();
    QCOMPARE(ticks.last().at(0).toString(), QStringLiteral("00:03"));
}

void TestQuorAgent::channelQueueAndRename()
{
    Channel ch(QStringLiteral("1.1"), QStringLiteral("SIP/101-0a1b"), QString(), QString(), QStringLiteral("Up"));
    // Receivers of the join still see the queue the channel was in before.
    QStringList seen;
    connect(&ch, &Channel::joinQueueEvent, this, [&] { seen << ch.queue; });
    ch.joinQueue(QStringLiteral("support"));
    ch.joinQueue(QStringLiteral("sales"));
    QCOMPARE(seen, (QStringList { QString(), QStringLiteral("support") }));
    QVERIFY(ch.inQueue && ch.queue == QLatin1String("sales"));

    QSignalSpy renames(&ch, &Channel::renameEvent);
    ch.rename(QStringLiteral("IAX2/202-3"));
    QCOMPARE(ch.ext + QLatin1Char(' ') + ch.tech, QStringLiteral("202 IAX2"));
    QCOMPARE(renames, QList<QVariantList> { { QStringLiteral("1.1") } });
}

void TestQuorAgent::channelBelongsTo_data()
{
    QTest::addColumn<QString>("channelName");
    QTest::addColumn<QString>("tileExtension");
    QTest::addColumn<QString>("tileTech");
    QTest::addColumn<bool>("matches");
    addCase("sip", "SIP/101-0a1b", "101", "SIP", true);
    addCase("iax2 channel, iax tile", "IAX2/202-3", "202", "IAX", true);
    addCase("dahdi channel, zap tile", "DAHDI/1-1", "1", "Zap", true);
    addCase("other extension", "SIP/101-0a1b", "102", "SIP", false);
    addCase("sip is not iax's", "SIP/101-3", "101", "IAX", false);
    addCase("iax2 in lower case is no iax tile's", "iax2/202-3", "202", "IAX", false);
}

void TestQuorAgent::channelBelongsTo()
{
    QFETCH(QString, channelName);
    QFETCH(QString, tileExtension);
    QFETCH(QString, tileTech);
    QFETCH(bool, matches);
    Channel ch(QStringLiteral("1.1"), channelName, QString(), QString(), QString());
    QCOMPARE(ch.belongsTo(tileExtension, tileTech), matches);
}

void TestQuorAgent::tile_data()
{
    QTest::addColumn<QString>("steps"); // before and after "|"
    QTest::addColumn<QString>("look");
    QTest::addColumn<int>("announced"); // state announcements after "|"
    const QString avail = QStringLiteral("str_available/bg_avail");
    const QString idle = QStringLiteral("2 str_available/bg_avail \"\" \"\" | free");
    const QString idleBound = idle + QStringLiteral(" bound:1.1");
    // The setters and their guards.
    addCase("unavailable clears every flag", "idle;set:dnd forward parked inQueue;peer:Bob|unavailable",
        "1 str_no_avail/bg_no_avail \"\" \"\" |", 1);
    addCase("idle leaves dnd and forward", "set:dnd forward|idle", idle + " dnd forward", 1);
    addCase("active refused queued and parked", "idle;set:parked inQueue|active", idle + " parked inQueue:", 0);
    addCase("unparked", "idle;set:parked;peer:701|unparked", "5 str_calling/bg_active \"\" \"\" | free", 1);
    addCase("forward off", "idle;fwd:200|nofwd", idle, 1);
    addCase("forward refused before idle", "|fwd:200", "0 " + avail + " \"\" \"\" |", 0);
    addCase("forward refused under dnd", "idle;dnd|fwd:200", "7 str_dnd/bg_dnd \"\" \"\" | free dnd", 0);
    addCase("dnd refused under forward", "idle;fwd:200|dnd", "8 str_fwd/bg_fwd \"200\" \"\" | free forward", 0);
    addCase("dnd off", "idle;dnd|nodnd", idle, 1);
    addCase("other party masked", "idle;privacy|peer:Bob", "2 " + avail + " \"xxxxxxx\" \"\" | free", 0);
    addCase("parked: the space", "idle;state:10|peer:701", "10 " + avail + " \"Parked to: 701\" \"\" | free", 0);
    // Binding: state 4 while ringing; a second record is not taken.
    addCase("bound ringing", "idle|bind:Ring", "4 str_ringing/bg_ringing \"\" \"\" (OUT) | free bound:1.1", 1);
    addCase("bound up", "idle|bind:Up", idleBound, 1);
    addCase("a second record", "idle;bind:Up|bind:Ringing", idleBound, 0);
    // The bound record's states.
    addCase("ring", "idle;bind:Up|chan:Ring", "4 str_ringing/bg_active \"\" \"OUT\" | free bound:1.1", 1);
    addCase("ringing", "idle;bind:Up|chan:Ringing", "3 str_ring/bg_ringing \"\" \"IN\" | free bound:1.1", 1);
    addCase("on hold", "idle;bind:Up|chan:Hold", "6 str_hold/bg_hold \"\" \"\" | free bound:1.1", 1);
    addCase("offhook", "idle;bind:Up|chan:Offhook", "9 str_offhook/bg_offhook \"\" \"UP\" | free bound:1.1", 1);
    addCase("queued ignores states", "idle;bind:Up;set:inQueue|chan:Hold", idle + " inQueue: bound:1.1", 0);
    // Queue and park; queued, the other party's text names the queue.
    addCase("queued", "idle;bind:Up|join:support",
        "11 str_queue/bg_queue \"support\" \"OUT\" | free inQueue:support bound:1.1", 1);
    addCase(
        "queue left", "idle;bind:Up;join:support|leave", "5 str_calling/bg_active \"\" \"OUT\" | free bound:1.1", 1);
    addCase(
        "parked", "idle;bind:Up|park:701", "10 str_parked/bg_hold \"Parked to: 701\" \"\" | free parked bound:1.1", 1);
    // Linked: the other party's name, else its number; the first text stays.
    const QString linked = QStringLiteral("2 str_calling/bg_active \"%1\" \"\" | free bound:1.1 linked:1.2");
    addCase("linked", "idle;bind:Up;other:5551234,Bob|link", linked.arg("Bob"), 1);
    addCase("linked, named the other way round", "idle;bind:Up;other:5551234,Bob|linkBack", linked.arg("Bob"), 1);
    addCase("linked, first text stays", "idle;bind:Up;other:5551234,Bob;peer:Carol|link", linked.arg("Carol"), 1);
    addCase("linked, unknown caller", "idle;bind:Up;other:5551234,Bob;peer:unknown;fwdNumber:200|link",
        linked.arg("5551234"), 1);
    addCase("linked to no record", "idle;bind:Up|link", idleBound, 0);
    // Hangup: back to idle, forward or parked; a waiting record takes the tile.
    addCase("call time shown", "idle;bind:Up|tick:07:05", "2 " + avail + " \"\" \"\" 07:05 | free bound:1.1", 0);
    addCase("hangup", "idle;bind:Up;tick:00:42|hangup", idle, 1);
    addCase("hangup, forwarded", "idle;bind:Up;fwd:200|hangup", "8 str_fwd/bg_fwd \"200\" \"\" | free forward", 1);
    addCase(
        "hangup, parked", "idle;bind:Up;park:701|hangup", "10 str_parked/bg_hold \"Parked to: 701\" \"\" | free", 0);
    const QString second = QStringLiteral("6 str_hold/bg_hold \"5550002\" \"\" | bound:1.2 linked:9.2");
    addCase("dnd after a bound and a waiting call", "idle;dnd;bind:Up;waiting:SIP/101-2|drop:1.1;drop:1.2",
        "7 str_dnd/bg_dnd \"\" \"\" | free dnd", 1);
    addCase("forward after a bound and a waiting call", "idle;fwd:200;bind:Up;waiting:SIP/101-2|drop:1.1;drop:1.2",
        "8 str_fwd/bg_fwd \"200\" \"\" | free forward", 1);
    addCase("hangup, an IAX2 call waiting",
        "tech:IAX;idle;bind:Up;waiting:IAX2/101-2;tick:00:42|hangup;chan:Ringing;chan2:Hold", second, 1);
    // Records the panel destroys without a hangup are forgotten.
    addCase("records gone", "idle;bind:Up;other:5551234,Bob;link|gone;bind:Ringing",
        "4 str_ringing/bg_ringing \"Bob\" \"\" (IN) | free bound:1.1", 1);
}

void TestQuorAgent::tile()
{
    QFETCH(QString, steps);
    QFETCH(QString, look);
    QFETCH(int, announced);
    QuorAgent *t = m_set.tile();
    m_set.run(t, steps.section(QLatin1Char('|'), 0, 0));
    QSignalSpy info(t, &QuorAgent::updateInfoState);
    m_set.run(t, steps.section(QLatin1Char('|'), 1));
    QCOMPARE(lookOf(t), look);
    QCOMPARE(info.size(), announced);
    if (announced)
        QCOMPARE(info.last(), (QVariantList { QVariant::fromValue(t->state), t->peerText }));
    // The menu offers the switch-off of the state it shows.
    QCOMPARE(t->actionFwd->isChecked(), t->state == AgentForward && t->forward);
    QCOMPARE(t->actionDnd->isChecked(), t->state == AgentDnd);
}

void TestQuorAgent::parkSlotAndVoicemail()
{
    QuorAgent *t = popupTile(true);
    // A parking space shows without "Parked:", even under privacy; parked, kept.
    t->setPrivacy(true);
    t->setParkSlot(QStringLiteral("Parked:701"));
    QCOMPARE(t->parkSlot + t->label_phone->text(), QStringLiteral("701701"));
    t->setState(AgentParked);
    t->setParkSlot(QStringLiteral("702"));
    QCOMPARE(t->parkSlot + t->label_phone->text(), QStringLiteral("702701"));

    // The forward families are always the three last given.
    t->addFwdFamilies(QStringLiteral("FWD"), QStringLiteral("CFB"), QStringLiteral("NOANS"));
    QCOMPARE(t->fwdFamilies, (QStringList { "FWD", "CFB", "NOANS" }));

    // The waiting messages, on the tile and in its popup.
    QuorAgentInfo *info = t->info;
    const std::pair<int, const char *> counted[]
        = { { 3, "3 new messages" }, { 1, "1 new message" }, { 0, "1 new message" } };
    for (const auto &[count, text] : counted) {
        t->setVmCount(count);
        const qint64 icon = t->sendVmButton->normalIcon().cacheKey();
        QCOMPARE(icon == QuorAgent::images->sendToVmWaiting.cacheKey(), count > 0);
        QCOMPARE(t->sendVmButton->toolTip(), QLatin1String(text));
        QCOMPARE(info->labelMessage->text(), QLatin1String(text));
        QVERIFY(info->labelMessage->isVisibleTo(info) && info->label_mail->isVisibleTo(info));
    }
    emit t->updateVm(0);
    QVERIFY(!info->labelMessage->isVisibleTo(info) && !info->label_mail->isVisibleTo(info));
}

QuorAgent *TestQuorAgent::popupTile(bool built)
{
    QuorAgent *t = m_set.tile();
    t->fwdFamily = QStringLiteral("CFB");
    t->setCallerIdName(QStringLiteral("Anna"));
    if (built)
        t->info->buildForm();
    t->updateInfo();
    return t;
}

void TestQuorAgent::popup_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("pictures");
    QTest::addColumn<QString>("cid");
    QTest::addColumn<QColor>("cidColour");
    QTest::addColumn<QColor>("direction"); // kPlain: the style sheet's
    QTest::addColumn<int>("switchedOn"); // the state whose key reads "Disable"
    addCase("ringing in", "3/Marco/IN", "str_ring ringing", "Marco", kGrey, kGreen, 0);
    addCase("calling out", "4/200/OUT", "str_ringing active", "200", kGrey, kRed, 0);
    addCase("talking, called in", "5/Marco/IN", "str_calling active", "Marco", kGrey, kGreen, 0);
    addCase("hold keeps the colour", "5/Marco/OUT 6/Marco", "str_hold hold", "Marco", kGrey, kRed, 0);
    addCase("dnd", "7", "str_dnd dnd", "", kGrey, kPlain, 7);
    addCase("forwarded", "8/200", "str_fwd fwd", "Forwarding to: 200", kOrange, kPlain, 8);
    addCase("parked", "10/701", "str_parked parked", "Parked to: 701", kOrange, kPlain, 0);
    addCase("in a queue", "11/Sales/OUT", "str_queue queue", "Queue Sales", kGrey, kPlain, 0);
    addCase("unavailable", "1", "str_no_avail unavailable", "", kGrey, kPlain, 0);
    addCase("off hook", "9/201", "str_offhook offhook", "201", kGrey, kPlain, 0);
    addCase("init keeps the pictures", "8/200 0/x", "str_fwd fwd", "x", kGrey, kPlain, 0);
    addCase("forwarded, then free again", "4/200/OUT 8/300 2", "str_available available", "", kGrey, kRed, 0);
}

void TestQuorAgent::popup()
{
    QFETCH(QString, steps);
    QFETCH(QString, pictures);
    QFETCH(QString, cid);
    QFETCH(QColor, cidColour);
    QFETCH(QColor, direction);
    QFETCH(int, switchedOn);
    // One popup built at once, one built when first opened: both show the same.
    QuorAgent *early = popupTile(true);
    QuorAgent *late = popupTile(false);
    QuorAgentInfo *info = early->info;
    const auto textColour = [](QLabel *l) { return l->ensurePolished(), l->palette().color(QPalette::WindowText); };
    const QColor plain = textColour(info->label_direction);
    for (QuorAgent *t : { early, late }) {
        Channel *ch = m_set.record(QStringLiteral("1.9"), QStringLiteral("SIP/101-9"));
        QVERIFY(t->setChannel(ch));
        emit ch->timeoutEvent(QStringLiteral("00:00:09"));
        if (t == early)
            QCOMPARE(info->labelTimer->text(), QStringLiteral("00:00:09"));
        play(t, steps);
        t->setVmCount(2);
    }
    QVERIFY(!late->info->isFormBuilt());
    late->button_user->click();
    QCOMPARE(popupLook(late->info), popupLook(info));

    QVERIFY(shows(info->label_status, pictures.section(QLatin1Char(' '), 0, 0)));
    QVERIFY(shows(info->label_bt_bg, pictures.section(QLatin1Char(' '), 1, 1)));
    QCOMPARE(info->label_cid->text(), cid);
    QCOMPARE(textColour(info->label_cid), cidColour);
    QCOMPARE(textColour(info->label_direction), direction.isValid() ? direction : plain);
    QVERIFY(info->labelTimer->text().isEmpty());
    QCOMPARE(info->dndButton->toolTip(), QString(switchedOn == 7 ? "Disable" : "Enable") + " DND on this extension");
    QCOMPARE(info->fwdButton->toolTip(),
        QString(switchedOn == 8 ? "Disable" : "Enable") + " call forwarding on this extension");
    // Forwarded, number and type are locked, the type where the PBX holds it.
    QCOMPARE(info->Edit_fwd->isEnabled() || info->comboFwdFamily->isEnabled(), switchedOn != 8);
    if (switchedOn == 8)
        QCOMPARE(info->Edit_fwd->text() + info->comboFwdFamily->currentText(), QStringLiteral("200Busy"));
}

void TestQuorAgent::popupWindow_data()
{
    QTest::addColumn<QString>("mouse"); // "L" or "R" pressed at, "m" moved to, points in the popup
    QTest::addColumn<QPoint>("moved");
    addCase("dragged by the background", "L300,250 m330,270", QPoint(30, 20));
    addCase("not by the right button", "R300,250 m330,270", QPoint(0, 0));
    addCase("a right press keeps the grip", "L300,250 R320,260 m330,270", QPoint(30, 20));
}

void TestQuorAgent::popupWindow()
{
    QFETCH(QString, mouse);
    QFETCH(QPoint, moved);
    QuorAgent *t = popupTile(false);
    QuorAgentInfo *info = t->info;
    t->setCallerIdNum(QStringLiteral("4930101"));
    t->button_user->click();
    // A frameless window of the background's shape and size, on top.
    QVERIFY(info->isVisible());
    QCOMPARE(info->windowTitle(), QStringLiteral("Extension 101"));
    QCOMPARE(info->label_user->text() + QLatin1Char('|') + info->label_name->text(), QStringLiteral("101|Anna"));
    QVERIFY(info->windowFlags().testFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
    QCOMPARE(info->minimumSize(), QSize(400, 300));
    QCOMPARE(info->maximumSize(), QSize(400, 300));
    const QPixmap background(QStringLiteral(":/ui/images/agentinfo/agentinfo_bg.png"));
    QCOMPARE(info->mask(), QRegion(background.mask()));
    QVERIFY(info->mask() != QRegion(info->rect()));

    const QPoint start = info->pos();
    Qt::MouseButtons held;
    for (const QString &step : mouse.split(QLatin1Char(' '))) {
        const QPoint at(step.mid(1).section(QLatin1Char(','), 0, 0).toInt(), step.section(QLatin1Char(','), 1).toInt());
        const Qt::MouseButton button = step.startsWith(QLatin1Char('L')) ? Qt::LeftButton
            : step.startsWith(QLatin1Char('R'))                          ? Qt::RightButton
                                                                         : Qt::NoButton;
        held |= button;
        QWidget *under = info->childAt(at) ? info->childAt(at) : info;
        QMouseEvent event(button == Qt::NoButton ? QEvent::MouseMove : QEvent::MouseButtonPress,
            under->mapFrom(info, at), info->mapToGlobal(at), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(under, &event);
    }
    QCOMPARE(info->pos() - start, moved);
    // Closed and opened again where it was left.
    info->quitButton->click();
    QVERIFY(info->isHidden());
    t->button_user->click();
    QVERIFY(info->isVisible());
    QCOMPARE(info->pos() - start, moved);
}

QTEST_MAIN(TestQuorAgent)
#include "tst_quoragent.moc"
