#pragma once

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QSignalSpy>
#include <QStringList>
#include <QTableWidget>
#include <QTest>

#include <memory>

#include "extensions/QuorExtensions.h"
#include "mainwindow/TQuorManager.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/AmiSync.h"
#include "testsupport/FakeAmiServer.h"
#include "testsupport/PbxModel.h"
#include "testsupport/SettingsFile.h"
#include "testsupport/TestDataDir.h"

// The real main window with its phone (loopback engine, no sound card) and
// settings in a private data directory, its manager connection pointed at a
// fake AMI server on loopback. Message boxes are caught, not run. Messages
// and actions are written compactly: their lines joined by "|".
class ManagerFixture
{
public:
    ManagerFixture();

    // Peers of the PBX model as "SIP 101 Alice|IAX 104 Dan".
    void setPeers(const QString &peers);
    // Writes the settings (the fake server's port plus keys) and builds
    // settings, phone and main window.
    void start(const SettingKeys &keys = {});
    // Lets the server answer as the PBX model, starts and waits until
    // discovery is done; what was sent so far is taken.
    bool startLoggedIn(const SettingKeys &keys = {});
    // Unlocks the settings and opens the page of the button.
    void openPage(const char *button);
    // The PBX model answers every query; "database put/del" change its AstDB
    // and a UserEvent comes back as an event.
    void answerAsPbx();
    // Waits until the window has handled everything the server sent before;
    // without a connection it handles only the events pending.
    void sync();
    // Waits for the login, then until a round trip brings no new request;
    // false when it never comes.
    bool settle();
    void push(const QString &message);
    // Pushes each message: "call" stands for a call from SIP 101 to SIP 102
    // up to its link (1.1, 1.2); "db:family/key=value" writes the PBX's AstDB.
    void run(const QStringList &events);
    // The actions received since the last call, without pings.
    QStringList takeSent();
    bool waitLoggedIn(int timeoutMs = 5000);
    // The ActionIDs of the actions received so far, in order ("" for none).
    QStringList actionIds() const;
    // The window's action with this text, status tip or shortcut.
    QAction *action(const QString &name) const;
    // Every tile that shows more than an idle extension, in the panel's order:
    // "ext=state peer @bound >linked dnd fwd:family:number vm:count" (others
    // than SIP as "IAX/104=..."); then the phone's count when shown and the
    // panel's records, " | " between them.
    QString shown() const;
    // The hidden items of a call window's rows, "|" between a row's items and
    // "!" after a row that shows no call.
    static QStringList rowKeys(const QTableWidget *table);

    TestDataDir data;
    FakeAmiServer ami;
    std::unique_ptr<TQuorSettings> settings;
    std::unique_ptr<TQuorPhone> phone;
    std::unique_ptr<TQuorManager> manager;
    PbxModel pbx;
    // The texts of the message boxes shown, by any fixture.
    static inline QStringList boxes;

private:
    std::unique_ptr<AmiSync> m_sync;
    qsizetype m_sentCount = 0;
};

// The help window's web engine needs its attribute before the application.
#define QUOR_MAINWINDOW_TEST_MAIN(TestObject)                                                                          \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                                    \
        QApplication app(argc, argv);                                                                                  \
        TestObject test;                                                                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
