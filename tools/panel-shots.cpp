// Writes a screenshot of the extensions panel in use, to look at after
// changing the tiles, the groups or their pictures:
//   QT_QPA_PLATFORM=offscreen build/dev/bin/panel-shots [directory]
// Forty tiles in three groups, discovered by the main window from the tests'
// loopback PBX, with calls up, one ringing, one off hook, one parked, one
// held, one on DND and one forwarded. The picture goes to the directory
// (default: the current one) as extensions-panel.png.

#include <QApplication>
#include <QTest>

#include <cstdio>

#include "extensions/Channel.h"
#include "extensions/QuorExtensions.h"
#include "mainwindow/TQuorManager.h"
#include "testsupport/ManagerFixture.h"
#include "testsupport/WidgetShot.h"

namespace {

const char *const kNames[] = { "Anna Berg", "Ben Cole", "Cara Diaz", "Dirk Epp", "Ella Fox", "Finn Gray", "Gina Hale",
    "Hugo Iver", "Ines Jung", "Jan Kurz", "Kim Lang", "Lea Moor", "Max Nagel", "Nina Ott", "Olaf Pohl", "Pia Quast",
    "Rolf Sand", "Sara Thal", "Timo Ulm", "Uta Voss", "Vera Wahl", "Willi Xander", "Yara Zell", "Zeno Abt", "Alma Bock",
    "Bodo Carl", "Cleo Dahl", "Dana Eck", "Emil Falk", "Frida Gut", "Gero Holm", "Hanna Isen", "Ivo Jost", "Jule Kiel",
    "Kai Lenz", "Lina Mohr", "Mats Nies", "Nele Orth", "Otto Pape", "Paula Rau" };
constexpr int kTiles = 40;
constexpr int kPerGroup = 14;

QString ext(int i)
{
    return QString::number(200 + i);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    useShotDirFromArguments(argc, argv);

    QByteArray groups = "<!DOCTYPE xmlreader>\n<groups>\n";
    PbxModel model;
    const char *groupNames[] = { "Reception", "Sales", "Support" };
    for (int g = 0; g < 3; ++g) {
        groups += QByteArray("<group><name>") + groupNames[g]
            + "</name><desc></desc><visible>yes</visible><expanded>yes</expanded><sort>num</sort>\n";
        for (int i = g * kPerGroup; i < qMin(kTiles, (g + 1) * kPerGroup); ++i) {
            groups += "<extension><tech>SIP</tech><chan>" + ext(i).toLatin1() + "</chan><uname>" + kNames[i]
                + "</uname><ci></ci></extension>\n";
            model.peers << PbxModel::peer(QStringLiteral("SIP"), ext(i), QLatin1String(kNames[i]));
        }
        groups += "</group>\n";
    }
    model.peers[9].reachable = false;
    model.peers[33].reachable = false;
    model.db.insert(QStringLiteral("DND/207"), QStringLiteral("YES"));
    model.db.insert(QStringLiteral("CF/224"), QStringLiteral("5550123"));
    model.voicemail.insert(QStringLiteral("215@default"), 3);

    ManagerFixture f;
    f.data.write(QStringLiteral("extgroups.xml"), groups + "</groups>\n");
    f.pbx = model;
    if (!f.startLoggedIn()) {
        std::fprintf(stderr, "panel-shots: the panel did not log in\n");
        return 1;
    }

    const auto push = [&f](const QStringList &lines) {
        f.ami.sendMessage(lines);
        f.sync();
    };
    qint64 now = 0;
    Channel::setClock([&now] { return now; });
    // A call from tile a to tile b, ringing at b; linked unless told not to.
    const auto call = [&](int a, int b, const QString &id, bool linked = true) {
        const QString ca = QStringLiteral("SIP/%1-%2a").arg(ext(a), id);
        const QString cb = QStringLiteral("SIP/%1-%2b").arg(ext(b), id);
        push({ "Event: Newchannel", "Channel: " + ca, "State: Ring", "CallerID: " + ext(a),
            QStringLiteral("CallerIDName: ") + QLatin1String(kNames[a]), "Uniqueid: " + id + ".1" });
        push({ "Event: Newexten", "Channel: " + ca, "Extension: " + ext(b), "Priority: 1", "Uniqueid: " + id + ".1" });
        push({ "Event: Newchannel", "Channel: " + cb, "State: Down", "CallerID: " + ext(b),
            QStringLiteral("CallerIDName: ") + QLatin1String(kNames[b]), "Uniqueid: " + id + ".2" });
        push({ "Event: Newstate", "Channel: " + cb, "State: Ringing", "CallerID: " + ext(a),
            QStringLiteral("CallerIDName: ") + QLatin1String(kNames[a]), "Uniqueid: " + id + ".2" });
        if (linked)
            push({ "Event: Link", "Channel1: " + ca, "Channel2: " + cb, "Uniqueid1: " + id + ".1",
                "Uniqueid2: " + id + ".2", "CallerID1: " + ext(a), "CallerID2: " + ext(b) });
        return cb;
    };
    call(1, 16, QStringLiteral("c1"));
    call(3, 30, QStringLiteral("c2"));
    call(18, 5, QStringLiteral("c3"));
    now = 83000;
    QuorExtensions *panel = f.manager->extensions();
    for (Channel *c : std::as_const(*panel->channels))
        c->timeout();
    call(12, 26, QStringLiteral("r1"), false);
    push({ "Event: Newchannel", "Channel: SIP/221-x", "State: Rsrvd", "Uniqueid: off.1" });
    const QString parked = call(35, 20, QStringLiteral("p1"));
    push({ "Event: ParkedCall", "Exten: 701", "Channel: " + parked, "CallerID: 220", "CallerIDName: Timo Ulm" });
    push({ "Event: Hold", "Uniqueid: c3.1" });

    // Out of the window, at the size of a panel beside the docks.
    panel->setParent(nullptr);
    panel->resize(600, 636);
    panel->show();
    if (!QTest::qWaitForWindowExposed(panel))
        return 1;
    const bool written = printWidgetShot(panel, QStringLiteral("extensions-panel"));
    Channel::setClock(nullptr);
    return written ? 0 : 1;
}
