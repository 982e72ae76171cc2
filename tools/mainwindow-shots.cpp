// Writes screenshots of the whole application in use, to look at after
// changing the main window, its strip, docks or pictures:
//   xvfb-run -a -s "-screen 0 1440x960x24" build/dev/bin/mainwindow-shots [directory]
// The program's windows run against the tests' loopback PBXs (IAX2 for the
// phone, a scripted manager port for the panel) in a temporary data directory:
// three groups of tiles, calls up, one ringing, one held, one parked, one on
// DND, one forwarded. Writes quor-manager.png (the main window),
// quor-manager-menu.png (the screen with the Phone menu open), dock-queues.png
// and dock-parked.png with callers in them, and agent-page-logged-in.png and
// agent-page-paused.png (the phone's agent page in a queue).

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTest>

#include <cstdio>

#include "core/Paths.h"
#include "extensions/QuorExtensions.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakeAmiServer.h"
#include "testsupport/FakePbx.h"
#include "testsupport/LoopbackPhone.h"
#include "testsupport/PbxModel.h"
#include "testsupport/SettingsFile.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

struct Person
{
    const char *tech;
    const char *ext;
    const char *name;
};

const Person kPeople[] = { { "SIP", "101", "Anna Roth" }, { "SIP", "102", "Tom Becker" },
    { "SIP", "103", "Lena Fischer" }, { "SIP", "104", "Marco Ricci" }, { "SIP", "105", "Sara Lind" },
    { "IAX", "301", "Mia Schulz" }, { "IAX", "302", "Felix Braun" }, { "SIP", "106", "Jonas Weber" },
    { "Zap", "1", "Front door" }, { "Zap", "2", "Lobby" }, { "SIP", "107", "Eva Novak" },
    { "SIP", "108", "Paul Meyer" }, { "IAX", "201", "Operator" } };

const char *const kGroups[][2]
    = { { "Sales", "101 102 103 104 105" }, { "Support", "301 302 106" }, { "Reception", "1 2 107 108" } };

QByteArray groupsFile()
{
    QByteArray out = "<!DOCTYPE xmlreader>\n<groups>\n";
    for (const auto &group : kGroups) {
        out += QByteArray("<group><name>") + group[0]
            + "</name><desc></desc><visible>yes</visible><expanded>yes</expanded><sort>cust</sort>\n";
        int position = 0;
        for (const QByteArray &ext : QByteArray(group[1]).split(' ')) {
            for (const Person &p : kPeople) {
                if (ext == p.ext)
                    out += QByteArray("<extension><tech>") + p.tech + "</tech><chan>" + ext + "</chan><uname>" + p.name
                        + "</uname><ci>" + QByteArray::number(++position) + "</ci></extension>\n";
            }
        }
        out += "</group>\n";
    }
    return out + "</groups>\n";
}

bool save(const QPixmap &picture, const QString &dir, const char *name)
{
    const QString path = QDir(dir).filePath(QLatin1String(name));
    const bool ok = picture.save(path);
    std::printf("%s\n", qPrintable(ok ? path : QStringLiteral("could not write ") + path));
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const QString dir = useShotDirFromArguments(argc, argv);
    QFile css(QStringLiteral(":/ui/css/app.css"));
    if (css.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(css.readAll()));

    Paths::init();
    TestDataDir data;
    FakePbx iax;
    iax.addUser(QStringLiteral("201"), QStringLiteral("s3cret"));
    FakeAmiServer ami;
    ami.listen();
    PbxModel pbx;
    for (const Person &p : kPeople)
        pbx.peers << PbxModel::peer(QLatin1String(p.tech), QLatin1String(p.ext), QLatin1String(p.name));
    pbx.db.insert(QStringLiteral("DND/105"), QStringLiteral("YES"));
    pbx.db.insert(QStringLiteral("CF/302"), QStringLiteral("0612 55 80 14"));
    pbx.voicemail.insert(QStringLiteral("102@default"), 2);
    for (const char *action : { "Login", "Command", "SIPShowPeer", "MailBoxCount", "DBGet", "QueueStatus" })
        ami.addResponder(QLatin1String(action), [&pbx](const QStringList &a) { return pbx.answer(a); });

    data.write(QStringLiteral("extgroups.xml"), groupsFile());
    writeSettingKeys({ { QStringLiteral("agent/server"), QStringLiteral("127.0.0.1") },
        { QStringLiteral("agent/port"), QString::number(iax.port()) },
        { QStringLiteral("agent/uname"), QStringLiteral("201") },
        { QStringLiteral("agent/passwd"), TQuorSettings::scramblePassword(QStringLiteral("s3cret")) },
        { QStringLiteral("codecs/ulaw"), QStringLiteral("yes") },
        { QStringLiteral("manager/use_phone_ip"), QStringLiteral("no") },
        { QStringLiteral("manager/server"), QStringLiteral("127.0.0.1") },
        { QStringLiteral("manager/port"), QString::number(ami.port()) } });

    TQuorSettings settings;
    settings.hide();
    TQuorPhone phone(&settings, loopbackPhoneOptions());
    phone.setExitFunction([](int) {});
    TQuorManager window(&phone, &settings);
    window.setWindowTitle(QStringLiteral("Quor Manager 1.0 3"));
    window.resize(1280, 820);
    window.show();

    QuorExtensions *panel = window.extensions();
    const auto settled = [&] { return window.isLoggedIn() && panel->tiles.size() == int(std::size(kPeople)); };
    if (!QTest::qWaitFor(settled, 10000) || !QTest::qWaitFor([&] { return iax.regAcks() > 0; }, 10000)) {
        std::fprintf(stderr, "mainwindow-shots: the windows did not come up\n");
        return 1;
    }
    QTest::qWait(500);

    // Calls: an inside call, a caller from outside ringing, one held, one
    // parked, one waiting in a queue.
    const auto event = [&](const QStringList &lines) { ami.sendMessage(lines); };
    const auto leg = [&](const QString &channel, const QString &state, const QString &id, const QString &cid,
                         const QString &name) {
        event({ "Event: Newchannel", "Channel: " + channel, "State: " + state, "CallerID: " + cid,
            "CallerIDName: " + name, "Uniqueid: " + id });
    };
    leg(QStringLiteral("SIP/101-a1"), QStringLiteral("Ring"), QStringLiteral("1.1"), QStringLiteral("101"),
        QStringLiteral("Anna Roth"));
    leg(QStringLiteral("IAX2/301-b1"), QStringLiteral("Up"), QStringLiteral("1.2"), QStringLiteral("301"),
        QStringLiteral("Mia Schulz"));
    event({ "Event: Link", "Channel1: SIP/101-a1", "Channel2: IAX2/301-b1", "Uniqueid1: 1.1", "Uniqueid2: 1.2",
        "CallerID1: 101", "CallerID2: 301" });
    leg(QStringLiteral("Zap/1-1"), QStringLiteral("Ring"), QStringLiteral("2.1"), QStringLiteral("0612558014"),
        QStringLiteral("Nordwind GmbH"));
    leg(QStringLiteral("SIP/104-c1"), QStringLiteral("Ringing"), QStringLiteral("2.2"), QStringLiteral("0612558014"),
        QStringLiteral("Nordwind GmbH"));
    leg(QStringLiteral("SIP/106-d1"), QStringLiteral("Up"), QStringLiteral("3.1"), QStringLiteral("106"),
        QStringLiteral("Jonas Weber"));
    leg(QStringLiteral("SIP/102-d2"), QStringLiteral("Up"), QStringLiteral("3.2"), QStringLiteral("102"),
        QStringLiteral("Tom Becker"));
    event({ "Event: Link", "Channel1: SIP/106-d1", "Channel2: SIP/102-d2", "Uniqueid1: 3.1", "Uniqueid2: 3.2",
        "CallerID1: 106", "CallerID2: 102" });
    event({ "Event: Hold", "Channel: SIP/106-d1", "Uniqueid: 3.1" });
    // Records are kept for channels that start ringing or idle.
    leg(QStringLiteral("SIP/107-e1"), QStringLiteral("Ring"), QStringLiteral("4.1"), QStringLiteral("107"),
        QStringLiteral("Eva Novak"));
    event({ "Event: ParkedCall", "Exten: 701", "Channel: SIP/107-e1", "From: SIP/108-e2", "Timeout: 45",
        "CallerID: 107", "CallerIDName: Eva Novak" });
    leg(QStringLiteral("Zap/2-1"), QStringLiteral("Ring"), QStringLiteral("5.1"), QStringLiteral("0301234567"),
        QStringLiteral("Kurt Lange"));
    event({ "Event: Join", "Channel: Zap/2-1", "CallerID: 0301234567", "CallerIDName: Kurt Lange", "Queue: sales",
        "Position: 1", "Count: 1", "Uniqueid: 5.1" });
    leg(QStringLiteral("SIP/105-f1"), QStringLiteral("Ring"), QStringLiteral("6.1"), QStringLiteral("0711987654"),
        QStringLiteral("Petra Koch"));
    event({ "Event: Join", "Channel: SIP/105-f1", "CallerID: 0711987654", "CallerIDName: Petra Koch",
        "Queue: support", "Position: 1", "Count: 1", "Uniqueid: 6.1" });
    QTest::qWait(1500);

    bool ok = save(window.grab(), dir, "quor-manager.png");

    // The Phone menu open over the window, as the screen shows it.
    QMenuBar *bar = window.menuBar();
    QAction *phoneMenu = bar->actions().value(2);
    bar->setActiveAction(phoneMenu);
    QTest::qWait(500);
    ok = save(window.screen()->grabWindow(0), dir, "quor-manager-menu.png") && ok;
    bar->setActiveAction(nullptr);

    // Both call docks with callers in them.
    const struct
    {
        const char *caller;
        const char *queue;
    } queued[] = { { "0612345678", "sales" }, { "\"Anna\" <304>", "support" }, { "0049301234", "sales" } };
    int n = 0;
    for (const auto &q : queued) {
        const QString id = QString::number(++n);
        leg("SIP/trunk-" + id, QStringLiteral("Ring"), "5." + id, QLatin1String(q.caller), QString());
        event({ "Event: Join", "Channel: SIP/trunk-" + id, QStringLiteral("CallerID: ") + QLatin1String(q.caller),
            QStringLiteral("Queue: ") + QLatin1String(q.queue), "Uniqueid: 5." + id });
    }
    for (const char *space : { "702", "703" }) {
        const QString channel = QStringLiteral("SIP/trunk-") + QLatin1String(space);
        leg(channel, QStringLiteral("Ring"), QLatin1String(space), QStringLiteral("0221987") + QLatin1String(space),
            QString());
        event({ "Event: ParkedCall", QStringLiteral("Exten: ") + QLatin1String(space), "Channel: " + channel,
            space[2] == '2' ? "From: IAX2/201-7" : "From: SIP/104-c1", "CallerID: 0221987" + QString(space) });
    }
    QTest::qWait(2200);
    for (const char *name : { "Queues", "Parked" }) {
        const QString file = QStringLiteral("dock-%1.png").arg(QString::fromLatin1(name).toLower());
        ok = save(window.findChild<QWidget *>(QLatin1String(name))->grab(), dir, qPrintable(file)) && ok;
    }

    // The agent page inside the phone, logged in to a queue, then paused.
    for (const char *queue : { "sales", "support" })
        event({ "Event: QueueParams", QStringLiteral("Queue: ") + QLatin1String(queue), "Max: 0", "Calls: 0" });
    event({ "Event: QueueStatusComplete" });
    phone.slotAgentLogin();
    QTest::qWait(300);
    settings.comboQueues->setCurrentText(QStringLiteral("sales"));
    const QStringList member { "Queue: sales", "Location: IAX2/201", "MemberName: 201", "Membership: dynamic",
        "Penalty: 0", "CallsTaken: 0", "LastCall: 0", "Status: 1" };
    event(QStringList { "Event: QueueMemberAdded" } + member + QStringList { "Paused: 0" });
    QTest::qWait(500);
    ok = save(phone.grab(), dir, "agent-page-logged-in.png") && ok;
    event({ "Event: QueueMemberPaused", "Queue: sales", "Location: IAX2/201", "Paused: 1" });
    QTest::qWait(500);
    ok = save(phone.grab(), dir, "agent-page-paused.png") && ok;
    return ok ? 0 : 1;
}
