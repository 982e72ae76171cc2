// The user's own DND and forward through the real main window against a fake
// PBX that keeps an AstDB: the texts written, the UserEvent echo and the
// read-back that leaves "quorer.xml" as the PBX's database holds it.

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>

#include "ManagerFixture.h"
#include "core/Paths.h"
#include "core/TQuorCall.h"
#include "core/XmlReader.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"

namespace {

using Keys = ManagerFixture::Keys;

QString put(const QString &family, const QString &value)
{
    return QStringLiteral("Action: command\r\nCommand: database put %1 101 %2\r\n\r\n").arg(family, value);
}

QString del(const QString &family)
{
    return QStringLiteral("Action: command\r\nCommand: database del %1 101\r\n\r\n").arg(family);
}

QString userEvent(const QString &family)
{
    return QStringLiteral("Action: UserEvent\r\nAct: %1\r\nUser: 101\r\n\r\n").arg(family);
}

QString dbGet(const QString &family, const char *option)
{
    return QStringLiteral("Action: DBGet\r\nFamily: %1\r\nKey: 101\r\nActionID: DBcheck/101-%2\r\n\r\n")
        .arg(family, QLatin1String(option));
}

// "options/key=value" pairs as settings keys.
Keys keysOf(const QStringList &pairs)
{
    Keys keys { { QStringLiteral("agent/uname"), QStringLiteral("101") } };
    for (const QString &pair : pairs)
        keys.append(
            { QStringLiteral("options/") + pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1) });
    return keys;
}

QString stored(const QString &key)
{
    return XmlReader(Paths::dataFile(QStringLiteral("quorer.xml"))).getValue(key, QStringLiteral("options"));
}

// The PBX's side of AstDB: a put or del changes its database unless it
// refuses, and a UserEvent comes back to every client as an event.
void keepDatabase(ManagerFixture &f, const bool &accept)
{
    f.ami.addResponder(QStringLiteral("Command"), [&f, &accept](const QStringList &action) {
        const QStringList words = FakeAmiServer::valueOf(action, QStringLiteral("Command")).split(QLatin1Char(' '));
        if (words.size() < 4 || words.at(0) != QLatin1String("database")
            || (words.at(1) != QLatin1String("put") && words.at(1) != QLatin1String("del")))
            return f.pbx.answer(action);
        const QString path = words.at(2) + QLatin1Char('/') + words.at(3);
        if (accept && words.at(1) == QLatin1String("put"))
            f.pbx.db.insert(path, words.mid(4).join(QLatin1Char(' ')));
        else if (accept)
            f.pbx.db.remove(path);
        return PbxModel::follows({}, accept ? "Updated database successfully\n" : "Failed to update database\n");
    });
    f.ami.addResponder(QStringLiteral("UserEvent"), [](const QStringList &action) {
        return "Response: Success\r\n\r\nEvent: UserEvent\r\nPrivilege: user,all\r\nUserEvent: \r\nAct: "
            + FakeAmiServer::valueOf(action, QStringLiteral("Act")).toLatin1()
            + "\r\nUser: " + FakeAmiServer::valueOf(action, QStringLiteral("User")).toLatin1() + "\r\n\r\n";
    });
}

QAction *actionWithTip(TQuorManager *window, const QString &tip)
{
    const QList<QAction *> actions = window->findChildren<QAction *>(QString(), Qt::FindDirectChildrenOnly);
    for (QAction *action : actions) {
        if (action->statusTip() == tip)
            return action;
    }
    return nullptr;
}

void openOptionsPage(TQuorSettings *settings)
{
    settings->buttonAdmin->click();
    settings->editLockPassword->setText(QStringLiteral("fendro"));
    settings->settingsApply();
    settings->buttonOptions->click();
}

} // namespace

class TestOwnDndForward : public QObject
{
    Q_OBJECT

private slots:
    void toggles_data();
    void toggles();
    void answers_data();
    void answers();

private:
    std::unique_ptr<ManagerFixture> loggedIn(const QString &version, const QStringList &options, const QStringList &db);
    bool m_accept = true;
};

std::unique_ptr<ManagerFixture> TestOwnDndForward::loggedIn(
    const QString &version, const QStringList &options, const QStringList &db)
{
    auto f = std::make_unique<ManagerFixture>();
    f->pbx.version = version;
    f->pbx.peers = { PbxModel::peer(QStringLiteral("SIP"), QStringLiteral("101"), QStringLiteral("Me")),
        PbxModel::peer(QStringLiteral("SIP"), QStringLiteral("102"), QStringLiteral("Bruno")) };
    for (const QString &entry : db)
        f->pbx.db.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    keepDatabase(*f, m_accept);
    f->answerAsPbx();
    f->start(keysOf(options));
    if (!f->settle())
        qWarning("not logged in");
    f->takeSent();
    return f;
}

void TestOwnDndForward::toggles_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("db");
    QTest::addColumn<QString>("trigger");
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("after"); // "key=value" in the options section
    QTest::addColumn<QStringList>("elsewhere"); // codes dialled, then boxes shown

    const auto row = [](const char *name, const char *version, const QStringList &options, const QStringList &db,
                         const char *trigger, bool accept, const QStringList &sent, const QStringList &after,
                         const QStringList &elsewhere = {}) {
        QTest::newRow(name) << QString::fromLatin1(version) << options << db << QString::fromLatin1(trigger) << accept
                            << sent << after << elsewhere;
    };
    const QStringList dndOn { put("DND", "YES"), userEvent("DND"), dbGet("DND", "dnd") };
    const QStringList dndOff { del("DND"), userEvent("DND"), dbGet("DND", "dnd") };
    const QStringList forwarding { "forward=yes", "fwd_num=200" };
    const QStringList noDb;
    row("1.4: DND on", "1.4.21", {}, noDb, "dnd", true, dndOn, { "dnd=yes" });
    row("1.4: DND on, refused by the PBX", "1.4.21", {}, noDb, "dnd", false, dndOn, { "dnd=no" });
    row("1.6: DND off", "1.6.2.0", { "dnd=yes" }, { "DND/101=YES" }, "dnd", true, dndOff, { "dnd=no" });
    row("DND off while forwarding", "1.4.21", { "dnd=yes", "forward=yes", "fwd_num=200" },
        { "DND/101=YES", "CF/101=200" }, "dnd", true, dndOff, { "dnd=no", "forward=yes" });
    row("1.2: DND on dials the feature code", "1.2.40", {}, noDb, "dnd", true, {}, { "dnd=yes" }, { "*78" });
    row("1.2: DND off dials the feature code", "1.2.40", { "dnd=yes", "dnd_num=*79" }, { "DND/101=YES" }, "dnd", true,
        {}, { "dnd=no" }, { "*79" });
    row("DND sub-form applied", "1.4.21", {}, noDb, "dnd form", true, dndOn, { "dnd=yes" });
    row("DND sub-form ticked and unticked", "1.4.21", {}, noDb, "dnd form twice", true, {}, { "dnd=no" });
    row("forward on", "1.4.21", { "fwd_num=200" }, noDb, "fwd", true,
        { put("CF", "200"), userEvent("CF"), dbGet("CF", "fwd") }, { "forward=yes", "fwd_num=200" });
    row("forward on, number with blanks as typed", "1.4.21", { "fwd_num=200 300" }, noDb, "fwd", true,
        { put("CF", "200 300"), userEvent("CF"), dbGet("CF", "fwd") }, { "forward=yes", "fwd_num=200 300" });
    row("forward on, line breaks left out", "1.4.21", { "fwd_num=200\r\nAction: Logoff" }, noDb, "fwd", true,
        { put("CF", "200Action: Logoff"), userEvent("CF"), dbGet("CF", "fwd") }, { "forward=yes" });
    row("forward on, untouched number refused", "1.4.21", {}, noDb, "fwd", true, {}, { "forward=no" },
        { "No forward Number entered,\n please fill the number in the forward settings" });
    row("forward off", "1.4.21", forwarding, { "CF/101=200" }, "fwd", true,
        { del("CF"), userEvent("CF"), dbGet("CF", "fwd") }, { "forward=no" });
    row("forward type changed: only the old entry goes", "1.4.21", forwarding, { "CF/101=200" }, "busy type", true,
        { del("CF") }, { "forward=yes", "asterisk_fwd_busy=yes" });
}

void TestOwnDndForward::toggles()
{
    QFETCH(QString, version);
    QFETCH(QStringList, options);
    QFETCH(QStringList, db);
    QFETCH(QString, trigger);
    QFETCH(bool, accept);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, after);
    QFETCH(QStringList, elsewhere);

    m_accept = accept;
    auto f = loggedIn(version, options, db);
    TQuorSettings *s = f->settings.get();
    if (trigger == QLatin1String("dnd")) {
        actionWithTip(f->manager.get(), QStringLiteral("Set Do Not Disturb"))->trigger();
    } else if (trigger == QLatin1String("fwd")) {
        actionWithTip(f->manager.get(), QStringLiteral("Set Forwarding"))->trigger();
    } else if (trigger.startsWith(QLatin1String("dnd form"))) {
        openOptionsPage(s);
        s->boxDND->setChecked(true);
        s->boxDND->setChecked(!trigger.endsWith(QLatin1String("twice")));
        s->settingsApply();
    } else {
        openOptionsPage(s);
        s->Box_busy->setChecked(true);
        s->settingsApply();
    }
    QVERIFY(f->settle());
    QCOMPARE(f->takeSent(), sent);
    for (const QString &pair : std::as_const(after))
        QCOMPARE(stored(pair.section(QLatin1Char('='), 0, 0)), pair.section(QLatin1Char('='), 1));
    QStringList shown;
    for (const TQuorCall *call : f->phone->currentCalls())
        shown << call->dialled;
    QCOMPARE(shown + f->boxes, elsewhere);
}

void TestOwnDndForward::answers_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("db");
    QTest::addColumn<QStringList>("message");
    QTest::addColumn<QStringList>("after");

    const QStringList forwarding { "forward=yes", "fwd_num=200" };
    const QStringList none;
    const QStringList dnd { "DND/101=YES" };
    const QStringList forward { "CF/101=200" };
    const auto entry = [](const char *family, const char *key, const char *val) {
        return QStringList { "Event: DBGetResponse", QStringLiteral("Family: ") + QLatin1String(family),
            QStringLiteral("Key: ") + QLatin1String(key), QStringLiteral("Val: ") + QLatin1String(val) };
    };
    const auto missing = [](const char *key, const char *option) {
        return QStringList { "Response: Error",
            QStringLiteral("ActionID: DBcheck/%1-%2").arg(QLatin1String(key), QLatin1String(option)),
            "Message: Database entry not found" };
    };
    const auto row = [](const char *name, const QStringList &options, const QStringList &db, const QStringList &message,
                         const QStringList &after) { QTest::newRow(name) << options << db << message << after; };
    row("own DND entry", none, none, entry("DND", "101", "YES"), { "dnd=yes" });
    row("own DND entry of any value", none, none, entry("DND", "101", ""), { "dnd=yes" });
    row("own DND missing", { "dnd=yes" }, dnd, missing("101", "dnd"), { "dnd=no" });
    row("another's DND entry", none, none, entry("DND", "102", "YES"), { "dnd=no" });
    row("another's DND missing", { "dnd=yes" }, dnd, missing("102", "dnd"), { "dnd=yes" });
    row("own forward entry under busy", none, none, entry("CFB", "101", "300"),
        { "forward=yes", "fwd_num=300", "asterisk_fwd_busy=yes", "asterisk_fwd_all=no" });
    row("own forward missing", forwarding, forward, missing("101", "fwd"), { "forward=no" });
    row("another's forward entry", none, none, entry("CF", "102", "300"), { "forward=no" });
    row("another's forward missing", forwarding, forward, missing("102", "fwd"), { "forward=yes" });
}

// The answers come while the agent page is open: the own state is stored
// without moving the page or showing an option sub-form over it.
void TestOwnDndForward::answers()
{
    QFETCH(QStringList, options);
    QFETCH(QStringList, db);
    QFETCH(QStringList, message);
    QFETCH(QStringList, after);

    auto f = loggedIn(QStringLiteral("1.4.21"), options, db);
    f->phone->slotAgentLogin();
    f->push(message);
    for (const QString &pair : std::as_const(after))
        QCOMPARE(stored(pair.section(QLatin1Char('='), 0, 0)), pair.section(QLatin1Char('='), 1));
    QCOMPARE(f->settings->currentPage(), int(PageAgent));
    QVERIFY(f->settings->frameAgent->isVisibleTo(f->settings.get()));
    QVERIFY(!f->settings->frameOptDND->isVisibleTo(f->settings.get()));
    QVERIFY(!f->settings->frameOptFWD->isVisibleTo(f->settings.get()));
}

QUOR_MAINWINDOW_TEST_MAIN(TestOwnDndForward)
#include "tst_owndndforward.moc"
