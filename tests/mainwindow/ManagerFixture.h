#pragma once

#include <QApplication>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

#include "PbxModel.h"
#include "testsupport/AmiSync.h"
#include "testsupport/FakeAmiServer.h"
#include "testsupport/SettingsFile.h"
#include "testsupport/TestDataDir.h"

class TQuorManager;
class TQuorPhone;
class TQuorSettings;

// The real main window with its phone (loopback engine, no sound card) and
// settings in a private data directory, its manager connection pointed at a
// fake AMI server on loopback. Message boxes are caught, not run.
class ManagerFixture
{
public:
    using Keys = SettingKeys;

    ManagerFixture();
    ~ManagerFixture();

    // Writes the settings (manager user "quor", secret "lavo", the fake
    // server's port, plus keys) and builds settings, phone and main window.
    void start(const Keys &keys = {});
    // Unlocks the settings, sets one widget of the Manager page (a line edit's
    // text, or a check box: "yes" checks it) and applies the page.
    void applyManagerPage(const QString &widget, const QString &value);

    // Lets the fake server answer every query as the PBX model says.
    void answerAsPbx();
    // Waits until the window has handled everything the server sent before.
    void sync();
    // Logs in through the model and waits until every answer has been handled
    // and no more is asked.
    bool settle();
    // Sends the lines as one event and waits until the window has had it.
    void push(const QStringList &event);
    // The texts received from the window since the last call, one per action,
    // without the fixture's own.
    QStringList takeSent();

    // Waits for a successful login answer to reach the window.
    bool waitLoggedIn(int timeoutMs = 5000);
    // The ActionIDs of the actions received so far, in order ("" for none).
    QStringList actionIds() const;
    // How many actions carried this ActionID.
    int countId(const QString &id) const;

    TestDataDir data;
    FakeAmiServer ami;
    std::unique_ptr<TQuorSettings> settings;
    std::unique_ptr<TQuorPhone> phone;
    std::unique_ptr<TQuorManager> manager;
    QList<int> exits;
    QStringList boxes; // texts of the message boxes shown
    PbxModel pbx;

private:
    std::unique_ptr<AmiSync> m_sync;
    qsizetype m_sentCount = 0;
};

// The help window's web engine needs its attribute before the application.
#define QUOR_MAINWINDOW_TEST_MAIN(TestObject)                                                                         \
    int main(int argc, char *argv[])                                                                                   \
    {                                                                                                                  \
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);                                                    \
        QApplication app(argc, argv);                                                                                  \
        TestObject test;                                                                                               \
        QTEST_SET_MAIN_SOURCE_PATH                                                                                     \
        return QTest::qExec(&test, argc, argv);                                                                        \
    }
