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
        keys.append({ QStringLiteral("options/") + pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1) });
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
    QTest::addColumn<QString>("dialled");
    QTest::addColumn<QString>("box");

    const QStringList dndOn { put("DND", "YES"), userEvent("DND"), dbGet("DND", "dnd") };
    const QStringList dndOff { del("DND"), userEvent("DND"), dbGet("DND", "dnd") };
    const QStringList forwarding { "forward=yes", "fwd_num=200" };
    QTest::newRow("1.4: DND on") << "1.4.21" << QStringList {} << QStringList {} << "dnd" << true << dndOn
                                 << QStringList { "dnd=yes" } << "" << "";
    QTest::newRow("1.4: DND on, refused by the PBX")
        << "1.4.21" << QStringList {} << QStringList {} << "dnd" << false << dndOn << QStringList { "dnd=no" } << "" << "";
    QTest::newRow("1.6: DND off") << "1.6.2.0" << QStringList { "dnd=yes" } << QStringList { "DND/101=YES" } << "dnd"
                                  << true << dndOff << QStringList { "dnd=no" } << "" << "";
    QTest::newRow("DND off while forwarding")
        << "1.4.21" << QStringList { "dnd=yes", "forward=yes", "fwd_num=200" }
        << QStringList { "DND/101=YES", "CF/101=200" } << "dnd" << true << dndOff
        << QStringList { "dnd=no", "forward=yes" } << "" << "";
    QTest::newRow("1.2: DND on dials the feature code")
        << "1.2.40" << QStringList {} << QStringList {} << "dnd" << true << QStringList {}
        << QStringList { "dnd=yes" } << "*78" << "";
    QTest::newRow("1.2: DND off dials the feature code")
        << "1.2.40" << QStringList { "dnd=yes", "dnd_num=*79" } << QStringList { "DND/101=YES" } << "dnd" << true
        << QStringList {} << QStringList { "dnd=no" } << "*79" << "";
    QTest::newRow("DND sub-form applied") << "1.4.21" << QStringList {} << QStringList {} << "dnd form" << true
                                          << dndOn << QStringList { "dnd=yes" } << "" << "";
    QTest::newRow("DND sub-form ticked and unticked")
        << "1.4.21" << QStringList {} << QStringList {} << "dnd form twice" << true << QStringList {}
        << QStringList { "dnd=no" } << "" << "";
    QTest::newRow("forward on") << "1.4.21" << QStringList { "fwd_num=200" } << QStringList {} << "fwd" << true
                                << QStringList { put("CF", "200"), userEvent("CF"), dbGet("CF", "fwd") }
                                << QStringList { "forward=yes", "fwd_num=200" } << "" << "";
    QTest::newRow("forward on, number with blanks as typed")
        << "1.4.21" << QStringList { "fwd_num=200 300" } << QStringList {} << "fwd" << true
        << QStringList { put("CF", "200 300"), userEvent("CF"), dbGet("CF", "fwd") }
        << QStringList { "forward=yes", "fwd_num=200 300" } << "" << "";
    QTest::newRow("forward on, line breaks left out")
        << "1.4.21" << QStringList { "fwd_num=200\r\nAction: Logoff" } << QStringList {} << "fwd" << true
        << QStringList { put("CF", "200Action: Logoff"), userEvent("CF"), dbGet("CF", "fwd") }
        << QStringList { "forward=yes" } << "" << "";
    QTest::newRow("forward on, untouched number refused")
        << "1.4.21" << QStringList {} << QStringList {} << "fwd" << true << QStringList {}
        << QStringList { "forward=no" } << ""
        << "No forward Number entered,\n please fill the number in the forward settings";
    QTest::newRow("forward off") << "1.4.21" << forwarding << QStringList { "CF/101=200" } << "fwd" << true
                                 << QStringList { del("CF"), userEvent("CF"), dbGet("CF", "fwd") }
                                 << QStringList { "forward=no" } << "" << "";
    QTest::newRow("forward type changed: only the old entry goes")
        << "1.4.21" << forwarding << QStringList { "CF/101=200" } << "busy type" << true << QStringList { del("CF") }
        << QStringList { "forward=yes", "asterisk_fwd_busy=yes" } << "" << "";
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
    QFETCH(QString, dialled);
    QFETCH(QString, box);

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
    QCOMPARE(f->boxes, box.isEmpty() ? QStringList() : QStringList { box });

    QStringList calls;
    for (const TQuorCall *call : f->phone->currentCalls())
        calls << call->dialled;
    QCOMPARE(calls, dialled.isEmpty() ? QStringList() : QStringList { dialled });
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
    QTest::newRow("own DND entry") << none << none << entry("DND", "101", "YES") << QStringList { "dnd=yes" };
    QTest::newRow("own DND entry of any value") << none << none << entry("DND", "101", "") << QStringList { "dnd=yes" };
    QTest::newRow("own DND missing") << QStringList { "dnd=yes" } << dnd << missing("101", "dnd") << QStringList { "dnd=no" };
    QTest::newRow("another's DND entry") << none << none << entry("DND", "102", "YES") << QStringList { "dnd=no" };
    QTest::newRow("another's DND missing")
        << QStringList { "dnd=yes" } << dnd << missing("102", "dnd") << QStringList { "dnd=yes" };
    QTest::newRow("own forward entry under busy")
        << none << none << entry("CFB", "101", "300")
        << QStringList { "forward=yes", "fwd_num=300", "asterisk_fwd_busy=yes", "asterisk_fwd_all=no" };
    QTest::newRow("own forward missing") << forwarding << forward << missing("101", "fwd") << QStringList { "forward=no" };
    QTest::newRow("another's forward entry")
        << none << none << entry("CF", "102", "300") << QStringList { "forward=no" };
    QTest::newRow("another's forward missing") << forwarding << forward << missing("102", "fwd") << QStringList { "forward=yes" };
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
