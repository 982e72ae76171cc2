#pragma once

#include <QApplication>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

#include "testsupport/FakeAmiServer.h"
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
    using Keys = QList<QPair<QString, QString>>; // "section/key", value

    ManagerFixture();
    ~ManagerFixture();

    // Writes the settings (manager user "quor", secret "lavo", the fake
    // server's port, plus keys) and builds settings, phone and main window.
    void start(const Keys &keys = {});
    // Unlocks the settings, sets one widget of the Manager page (a line edit's
    // text, or a check box: "yes" checks it) and applies the page.
    void applyManagerPage(const QString &widget, const QString &value);
    void writeKeys(const Keys &keys);

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
