#pragma once

#include <memory>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "PbxModel.h"

class Channel;
class FakeAmiServer;
class FakePbx;
class ManagerSocket;
class PanelRouter;
class QuorAgent;
class QuorExtensions;
class TestDataDir;
class TQuorGroupsEdit;
class TQuorPhone;
class TQuorSettings;

// The panel as the main window runs it, over loopback: a phone (account 201)
// and its settings, the group set, the panel, a ManagerSocket and the test
// router, logged in to a FakeAmiServer that answers as the PbxModel says.
class PanelFixture
{
public:
    struct Options
    {
        bool freePbx = false;
        QString vmPrefix = QStringLiteral("*98");
        QByteArray groupsFile; // "" leaves the group set to make its own
    };

    explicit PanelFixture(const Options &options);
    PanelFixture()
        : PanelFixture(Options())
    {
    }
    ~PanelFixture();

    // Connects and logs in, then waits until discovery has finished (every
    // peer's details, voicemail, DND and forward answers handled).
    bool login();
    // Drops the connection from the PBX's side and waits for the clean-up.
    bool drop();
    // Sends the lines as one message and waits until the panel has had it.
    void push(const QStringList &event);
    // Sends raw bytes, then waits until everything before a marker is handled.
    void pushRaw(const QByteArray &bytes);
    void sync();

    QuorAgent *tile(const QString &extension, const QString &tech = QStringLiteral("SIP")) const;
    Channel *record(const QString &uniqueid) const;
    // The texts received from the client since the last call, one per action.
    QStringList takeSent();

    PbxModel pbx;
    FakeAmiServer *server() const { return m_server.get(); }
    QuorExtensions *panel() const { return m_panel.get(); }
    TQuorGroupsEdit *groups() const { return m_groups.get(); }
    TQuorPhone *phone() const { return m_phone.get(); }
    TQuorSettings *settings() const { return m_settings.get(); }
    ManagerSocket *socket() const { return m_socket.get(); }

private:
    std::unique_ptr<TestDataDir> m_data;
    std::unique_ptr<FakePbx> m_iax;
    std::unique_ptr<FakeAmiServer> m_server;
    std::unique_ptr<TQuorSettings> m_settings;
    std::unique_ptr<TQuorPhone> m_phone;
    std::unique_ptr<TQuorGroupsEdit> m_groups;
    std::unique_ptr<QuorExtensions> m_panel;
    std::unique_ptr<ManagerSocket> m_socket;
    std::unique_ptr<PanelRouter> m_router;
    int m_mark = 0;
    int m_seen = 0;
    qsizetype m_sentCount = 0;
};
