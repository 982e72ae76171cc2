// Writes screenshots of the phone window in use, to look at after changing its
// form, images or style sheet:
//   QT_QPA_PLATFORM=offscreen build/dev/bin/phone-shots [directory]
// The phone runs against the loopback fake PBX of the tests in a temporary
// data directory; the pictures go to the directory (default: the current one).

#include <QApplication>
#include <QDockWidget>
#include <QFile>
#include <QMainWindow>
#include <QTest>

#include <cstdio>
#include <functional>

#include "core/Paths.h"
#include "core/XmlReader.h"
#include "iax2/Frame.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/TestDataDir.h"
#include "testsupport/WidgetShot.h"

namespace {

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");

bool waitFor(const std::function<bool()> &done)
{
    return QTest::qWaitFor(done, 5000);
}

void writeSettings(quint16 pbxPort)
{
    XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
    xml.createRoot(QStringLiteral("quorer"));
    const QList<QStringList> keys { { QStringLiteral("agent"), QStringLiteral("server"), QStringLiteral("127.0.0.1") },
        { QStringLiteral("agent"), QStringLiteral("port"), QString::number(pbxPort) },
        { QStringLiteral("agent"), QStringLiteral("uname"), kUser },
        { QStringLiteral("agent"), QStringLiteral("passwd"), TQuorSettings::scramblePassword(kSecret) },
        { QStringLiteral("codecs"), QStringLiteral("ulaw"), QStringLiteral("yes") },
        { QStringLiteral("codecs"), QStringLiteral("default"), QStringLiteral("ulaw") } };
    for (const QStringList &k : keys)
        xml.addValue(k.at(1), k.at(2), k.at(0));
    xml.save();
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    useShotDirFromArguments(argc, argv);

    TestDataDir data;
    FakePbx pbx;
    pbx.addUser(kUser, kSecret);
    writeSettings(pbx.port());
    TQuorSettings settings;
    TQuorPhone::Options options;
    options.voip.engine.bindAddress = "127.0.0.1";
    options.voip.engine.port = 0;
    options.voip.useSoundCard = false;
    options.clickToDialPort = -1;
    TQuorPhone phone(&settings, options);
    phone.setMessageHideDelay(600000);
    if (!waitFor([&] { return pbx.regAcks() >= 1; })) {
        std::fprintf(stderr, "the phone did not register at the fake PBX\n");
        return 1;
    }

    // A phone in use: lamps lit, figures from the panel, a missed call, a
    // conversation and a second call ringing.
    phone.slotManagerRegistered(true);
    phone.labelAsterisk->setText(QStringLiteral("Asterisk 1.6.2"));
    phone.labelExtN->setText(QStringLiteral("24"));
    phone.labelExAvailN->setText(QStringLiteral("17"));
    phone.labelAcCallsN->setText(QStringLiteral("3"));
    phone.setVoiceMailCount(kUser, 2);
    phone.setAgentLoggedIn(true);
    const quint16 port = phone.voip()->localPort();
    const quint16 missed = pbx.callEngine(port, kUser, QStringLiteral("5550100"), QStringLiteral("Dana Scott"));
    waitFor([&] { return phone.currentCalls().size() == 1; });
    pbx.hangup(missed);
    waitFor([&] { return phone.currentCalls().isEmpty(); });
    phone.callNumber(QStringLiteral("300"));
    waitFor([&] { return pbx.latest(QStringLiteral("call-in")) && pbx.latest(QStringLiteral("call-in"))->remoteNo; });
    pbx.sendControl(pbx.latest(QStringLiteral("call-in"))->localNo, iax2::Ctl::Answer);
    waitFor([&] { return phone.talkingCall() != nullptr; });
    pbx.callEngine(port, kUser, QStringLiteral("5550199"), QStringLiteral("Erin Hale"));
    waitFor([&] { return phone.currentCalls().size() == 2; });
    phone.showMessage(QStringLiteral("Call from Erin Hale"), MessageStatus);
    phone.show();

    printWidgetShot(&phone, QStringLiteral("phone-activity"));
    phone.MshowMissing();
    printWidgetShot(&phone, QStringLiteral("phone-missed"));
    phone.showKeypad();
    phone.editDial->setText(QStringLiteral("5550142"));
    phone.showVolume();
    printWidgetShot(&phone, QStringLiteral("phone-keypad"));
    phone.showVolume();
    phone.showSettings();
    printWidgetShot(&phone, QStringLiteral("phone-settings"));

    // As the main window holds it: a dock on the left, under the program's style sheet.
    QMainWindow window;
    QFile css(QStringLiteral(":/ui/css/app.css"));
    if (css.open(QIODevice::ReadOnly))
        window.setStyleSheet(QString::fromUtf8(css.readAll()));
    auto *dock = new QDockWidget(QStringLiteral("Phone"), &window);
    dock->setWidget(&phone);
    window.addDockWidget(Qt::LeftDockWidgetArea, dock);
    window.setCentralWidget(new QWidget);
    window.resize(700, 600);
    phone.setMainWindow(&window);
    phone.showActivity();
    window.show();
    printWidgetShot(&window, QStringLiteral("phone-in-window"));
    dock->setWidget(nullptr);
    phone.setParent(nullptr);

    phone.setExitFunction([](int) {});
    phone.beforeQuit();
    return 0;
}
