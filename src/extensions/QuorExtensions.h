#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <utility>

#include "ami/AmiMessage.h"
#include "extensions/RecordIndex.h"
#include "extensions/TileIndex.h"
#include "ui_QuorExtensionsBase.h"

class Channel;
class QAction;
class QMenu;
class QScrollArea;
class QuorAgent;
class TGridLayout;
class TQuorGroupsEdit;
class TQuorPhone;
class TQuorSettings;

// The busy-lamp panel: one tile per PBX peer, laid out by groups on a grid,
// and the list of every live channel of the PBX. The main window hands it
// nearly every AMI event; each handler reads the fields of the message and
// keeps no reference to it.
// Every AMI text it sends (ami/AmiAction.h) leaves through AsteriskCommand().
class QuorExtensions : public QWidget, public Ui::QuorExtensionsBase
{
    Q_OBJECT

public:
    QuorExtensions(TQuorPhone *phone, TQuorSettings *settings, TQuorGroupsEdit *groupsEdit);
    ~QuorExtensions() override;

    // --- options and connection cycle ---
    void setPrivacy(bool on);
    void setUseFreePBX(bool on);
    // Removes every tile and every channel record, empties the grid and the
    // expected peer count: the state of a lost connection is never reused.
    void removeAgents();
    void setDriver(QString driver);
    void setAsteriskVersion(QString version);
    void extensionStatus(QString ext, QString status);

    // Each event handler reads a message split once into its fields; the
    // QStringList forms split it and hand it on.
    void status(QStringList message) { status(AmiMessage(std::move(message))); }
    void status(const AmiMessage &message);

    // --- discovery ---
    void peerEntry(QStringList message) { peerEntry(AmiMessage(std::move(message))); }
    void peerEntry(const AmiMessage &message);
    void addPeer(QStringList message) { addPeer(AmiMessage(std::move(message))); }
    void addPeer(const AmiMessage &message);
    void peerResponse(QStringList message) { peerResponse(AmiMessage(std::move(message))); }
    void peerResponse(const AmiMessage &message);
    void requestIaxPeer(QStringList message) { requestIaxPeer(AmiMessage(std::move(message))); }
    void requestIaxPeer(const AmiMessage &message);
    // Each closing list sets its technology's share of expectedPeers; lists
    // without a technology add to it.
    bool peersCount(QStringList message, QString technology = QString())
    {
        return peersCount(AmiMessage(std::move(message)), std::move(technology));
    }
    bool peersCount(const AmiMessage &message, QString technology = QString());
    int insertAgentSorted(QuorAgent *tile);
    bool findAgent(QString tech, QString name);
    void updateExtGrid();

    // --- AMI texts ---
    void redirectCall(QString channel, QString exten);
    void checkFwd(QString ext, QString family);
    void checkDnd(QString extension);

    // --- channel tracking ---
    void newChannel(QStringList message) { newChannel(AmiMessage(std::move(message))); }
    void newChannel(const AmiMessage &message);
    void rename(QStringList message) { rename(AmiMessage(std::move(message))); }
    void rename(const AmiMessage &message);
    void newCallerId(QStringList message) { newCallerId(AmiMessage(std::move(message))); }
    void newCallerId(const AmiMessage &message);
    void newExten(QStringList message) { newExten(AmiMessage(std::move(message))); }
    void newExten(const AmiMessage &message);
    void link(QStringList message) { link(AmiMessage(std::move(message))); }
    void link(const AmiMessage &message);
    void linkChannels(QList<QuorAgent *> agents, QStringList message)
    {
        linkChannels(std::move(agents), AmiMessage(std::move(message)));
    }
    void linkChannels(QList<QuorAgent *> agents, const AmiMessage &message);
    void unlink(QStringList message) { unlink(AmiMessage(std::move(message))); }
    void unlink(const AmiMessage &message);
    void dial(QStringList message) { dial(AmiMessage(std::move(message))); }
    void dial(const AmiMessage &message);
    void hangup(QStringList message) { hangup(AmiMessage(std::move(message))); }
    void hangup(const AmiMessage &message);
    void newState(QStringList message) { newState(AmiMessage(std::move(message))); }
    void newState(const AmiMessage &message);
    void mailBoxStatus(QStringList message) { mailBoxStatus(AmiMessage(std::move(message))); }
    void mailBoxStatus(const AmiMessage &message);

    // --- AstDB, voicemail and DND ---
    void mailBoxCount(QStringList message) { mailBoxCount(AmiMessage(std::move(message))); }
    void mailBoxCount(const AmiMessage &message);
    void dbCidName(QStringList message) { dbCidName(AmiMessage(std::move(message))); }
    void dbCidName(const AmiMessage &message);
    void dbDnd(QStringList message) { dbDnd(AmiMessage(std::move(message))); }
    void dbDnd(const AmiMessage &message);
    void dbFwd(QStringList message) { dbFwd(AmiMessage(std::move(message))); }
    void dbFwd(const AmiMessage &message);
    void keyFilter(QStringList message) { keyFilter(AmiMessage(std::move(message))); }
    void keyFilter(const AmiMessage &message);
    void zapDnd(QStringList message) { zapDnd(AmiMessage(std::move(message))); }
    void zapDnd(const AmiMessage &message);

    // --- queues, hold and parking ---
    void join(QStringList message) { join(AmiMessage(std::move(message))); }
    void join(const AmiMessage &message);
    void leave(QStringList message) { leave(AmiMessage(std::move(message))); }
    void leave(const AmiMessage &message);
    void hold(QStringList message) { hold(AmiMessage(std::move(message))); }
    void hold(const AmiMessage &message);
    void unhold(QStringList message) { unhold(AmiMessage(std::move(message))); }
    void unhold(const AmiMessage &message);
    void parkedCall(QStringList message) { parkedCall(AmiMessage(std::move(message))); }
    void parkedCall(const AmiMessage &message);
    void unParkedCall(QStringList message) { unParkedCall(AmiMessage(std::move(message))); }
    void unParkedCall(const AmiMessage &message);

    QString dndFamily;
    QString fwdFamilyAll;
    QString fwdFamilyBusy;
    QString fwdFamilyNoAnswer;
    bool newAsterisk = false;
    bool zapDriver = false;
    bool dahdiDriver = false;
    bool dummyDriver = false;
    bool noDriver = false;
    QScrollArea *scrollArea = nullptr;
    QAction *phoneAction = nullptr;
    QAction *menuAction = nullptr;
    TGridLayout *grid = nullptr; // owned
    QList<Channel *> *channels = nullptr; // owned, with its records
    TQuorSettings *settings = nullptr;
    TQuorPhone *phone = nullptr;
    TQuorGroupsEdit *groupsEdit = nullptr;
    QList<QuorAgent *> tiles;
    int expectedPeers = 0;
    bool privacy = false;
    bool useFreePBX = false;
    QString cidName;

signals:
    void AsteriskCommand(QString);
    void transfer(QString user, QString channel);
    void countDone();
    void ShowPhone();
    void ShowMenu();

public slots:
    void slotUpdateExtGrid();

private slots:
    void transferCall(QString channel, QString exten);
    void originateCall(QString from, QString to, QString tech);
    void transferAgent(QString channel);
    void slotPhoneUserName(QString user);
    void slotPhoneOptionsChanged();
    void showPhone();
    void showMenu();

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;

private:
    void createActions();
    void send(const QString &text) { emit AsteriskCommand(text); }
    QString phoneDndFamily() const;
    void readFwdFamilies();
    // The forward families that are set; an empty one names no family.
    QStringList fwdFamilies() const;

    // The record of a Uniqueid (there is at most one), or nullptr.
    Channel *recordOf(const QString &uniqueid) const;
    // Whether record a comes before record b in the channel list.
    bool before(Channel *a, Channel *b) const;
    // The first record of that name, or nullptr.
    Channel *recordNamed(const QString &name) const;
    void addRecord(Channel *record);
    // Takes a record out of use; it is deleted now unless its own hangup
    // signal is still being delivered.
    void disposeRecord(Channel *record);

    // The first tile of a channel's extension and technology, or nullptr.
    QuorAgent *tileOf(const QString &ext, const QString &channelTech) const;
    // The tiles of two extensions, in list order.
    QList<QuorAgent *> tilesOf(const QString &a, const QString &b) const;
    void setPartnersHeld(const QString &uniqueid, bool held);

    TileIndex m_index;
    // channels by extension and in creation order (the list order), kept in
    // step with the list.
    RecordIndex m_recordIndex;
    QHash<QString, Channel *> m_records; // by Uniqueid
    QSet<Channel *> m_hangingUp;
    // The last closing list's total of each technology, and under "" the sum
    // of the lists that name none: expectedPeers is their sum.
    QHash<QString, qint64> m_listedPeers;
    QMenu *m_menu = nullptr;
};
