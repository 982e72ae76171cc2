#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QWidget>

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
// nearly every AMI event; each handler takes its own copy of the message.
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
    void status(QStringList message);

    // --- discovery ---
    void peerEntry(QStringList message);
    void addPeer(QStringList message);
    void peerResponse(QStringList message);
    void requestIaxPeer(QStringList message);
    // The technology is accepted for the main window's call and not read.
    bool peersCount(QStringList message, QString technology = QString());
    int insertAgentSorted(QuorAgent *tile);
    bool findAgent(QString tech, QString name);
    void updateExtGrid();

    // --- AMI texts ---
    void redirectCall(QString channel, QString exten);
    void checkFwd(QString ext, QString family);
    void checkDnd(QString extension);

    // --- channel tracking ---
    void newChannel(QStringList message);
    void rename(QStringList message);
    void newCallerId(QStringList message);
    void newExten(QStringList message);
    void link(QStringList message);
    void linkChannels(QList<QuorAgent *> agents, QStringList message);
    void unlink(QStringList message);
    void dial(QStringList message);
    void hangup(QStringList message);
    void newState(QStringList message);
    void mailBoxStatus(QStringList message);

    // --- AstDB, voicemail and DND ---
    void mailBoxCount(QStringList message);
    void dbCidName(QStringList message);
    void dbDnd(QStringList message);
    void dbFwd(QStringList message);
    void keyFilter(QStringList message);
    void zapDnd(QStringList message);

    // --- queues, hold and parking ---
    void join(QStringList message);
    void leave(QStringList message);
    void hold(QStringList message);
    void unhold(QStringList message);
    void parkedCall(QStringList message);
    void unParkedCall(QStringList message);

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
    QHash<QString, Channel *> m_records; // by Uniqueid
    QHash<Channel *, quint64> m_sequence; // creation order, which is the list order
    quint64 m_nextSequence = 0;
    QSet<Channel *> m_hangingUp;
    QMenu *m_menu = nullptr;
};
