#pragma once

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "extensions/AgentImages.h"
#include "extensions/Channel.h"
#include "extensions/SafeRemoval.h"
#include "extensions/TAgentState.h"
#include "ui_QuorAgentBase.h"

class QAction;
class QMenu;
class CPushButton;
class DialogEnableCf;
class QuorAgentInfo;
class RecordIndex;
class TQuorCall;
class TQuorPhone;

// The busy-lamp tile of one PBX peer. The panel's handlers switch it between
// the states of TAgentState; once bound to a Channel it follows that record's
// signals by itself. Its buttons, menu and drops call the extension, transfer
// the phone's calls and write DND and forward into the PBX's database.
//
// A tile is removed with removeSafely(), never deleted directly: it may be
// inside one of its own nested event loops (a drag, its menu, a refusal box).
class QuorAgent : public QWidget, public Ui::QuorAgentBase
{
    Q_OBJECT

public:
    QuorAgent(TQuorPhone *phone, QString name, QList<Channel *> *channels, QString tech);
    ~QuorAgent() override;

    // --- fields ---
    void setStatusText(const QString &text);
    void setQueueName(const QString &text);
    void showExtension();
    void setCustomIndex(const QString &text);
    void setDndFamily(const QString &text);
    QString getContext() const { return context; }
    QString getMailbox() const { return mailbox; }
    void setMailbox(const QString &text);
    void setGroupName(const QString &text);
    void setCodec(const QString &text);
    void setContext(const QString &text);
    void setCallerIdNum(const QString &text);
    void setCallerIdName(const QString &text);
    // The three forward families last given (all, busy, no answer).
    void addFwdFamilies(const QString &all, const QString &busy, const QString &noAnswer);
    void setPrivacy(bool on);
    // The panel's records by extension: a hangup looks there for the next
    // waiting call of the tile's extension instead of walking every record.
    void setRecordIndex(const RecordIndex *index) { m_recordIndex = index; }

    // --- states ---
    void setState(TAgentState value);
    void setUnavailable();
    void setIdle();
    void setActive();
    void setHold();
    void setForwarded();
    void setUnparked();
    void setParkSlot(QString slot);
    void setFwdState(bool on, const QString &number, const QString &family);
    void setDndState(bool on);
    void setVmCount(int n);
    void updatePeerLabel();
    void updateToolTip();
    void updateInfo();
    // The peer's details as the tooltip and the info popup show them.
    QString detailsText() const;

    // --- channels ---
    bool setChannel(Channel *ch);
    void setPeerText(QString s);
    // The phone's call paired with the bound channel, or nullptr once that
    // call has ended (the phone deletes its records).
    TQuorCall *liveCurrentCall() const;

    // --- actions ---
    // Hands an AMI action text to the phone, which passes it to the manager.
    void sendCommand(const QString &text);
    void updateActions();
    // Runs the drop handling for an event that reached the info popup.
    void drop(QDropEvent *event);

    // Takes the tile out of use at once (hidden, unbound, its signals
    // disconnected) and deletes it now, or after its own nested loop returns.
    void removeSafely();
    bool isRemoved() const { return m_removal.pending(); }

    // The picture set shared by all tiles; made by the first tile.
    static AgentImages *images;

    int vmCount = 0;
    QPointer<Channel> channel;
    QString queue;
    bool hasMailbox = false;
    QString callerIdName;
    QString number;
    QString context;
    QString codec;
    QString extension;
    QString group;
    QString tech;
    QString mailbox;
    QString vmPrefix;
    QString fwdNumber;
    QString fwdFamily;
    QStringList fwdFamilies;
    QString parkSlot;
    QString dndFamily;
    QString customIndex;
    QString direction;
    QPoint dragOrigin;
    bool free = false;
    bool inQueue = false;
    bool parked = false;
    bool dnd = false;
    bool forward = false;
    QList<Channel *> *channels = nullptr;
    QPointer<Channel> linkedChannel;
    CPushButton *callButton = nullptr;
    CPushButton *blindTransferButton = nullptr;
    CPushButton *sendVmButton = nullptr;
    TQuorPhone *phone = nullptr;
    TQuorCall *currentCall = nullptr;
    bool privacy = false;
    QString peerText;
    QuorAgentInfo *info = nullptr;
    QPointer<DialogEnableCf> cfDialog;
    TAgentState state = AgentInit;
    QAction *actionCall = nullptr;
    QAction *actionBlindTransfer = nullptr;
    QAction *actionSendToVm = nullptr;
    QAction *actionDnd = nullptr;
    QAction *actionFwd = nullptr;
    QAction *actionLeaveMessage = nullptr;

public slots:
    void slotCall();
    void slotSendToVoiceMail();
    void slotBlindTransfer();
    void slotLeaveMessageToVm();
    void enableDND();
    void enableFWD();
    void slotSendCall(TQuorCall *call);

signals:
    void newExtPosition(QString, QString, QString, QString);
    void updateInfoState(TAgentState, QString);
    void timeoutAgent(QString);
    void updateVm(int);

private slots:
    void createContextMenu(const QPoint &position);
    void extInfo();

    void stateChangedEvent();
    void timeoutEvent(QString text);
    void unlinkEvent();
    void linkEvent(QString uniqueid, QString uniqueid2);
    void joinQueueEvent();
    void park();
    void leaveQueue();
    void hangupEvent(QString uniqueid);

protected:
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    enum class PhoneLook { White, Forward, Parked };
    enum class DirectionLook { Plain, Out, In };

    void createActions();
    void initLabels();
    void setupButtons();
    void bindChannel(Channel *ch);
    void unbindChannel();
    void showPictures(const QPixmap &strip, const QPixmap &background);
    void setPhoneLook(PhoneLook look);
    void setDirectionLook(DirectionLook look);
    void announceState();
    void startDrag();
    // Shows a refusal box, then sets the checkable actions back.
    void refuse(const QString &title, const QString &text);
    // Writes the extension's key in the family (value YES) or removes it, then
    // sends the UserEvent that announces it.
    void changeDatabase(bool put, const QString &family);
    // The phone's call a drop offers: only from a drag of this process, only a
    // live call of this tile's phone.
    TQuorCall *droppedCall(const QDropEvent *event) const;

    SafeRemoval m_removal { this };
    const RecordIndex *m_recordIndex = nullptr;
    QPointer<QMenu> m_menu;
    PhoneLook m_phoneLook = PhoneLook::White;
    DirectionLook m_directionLook = DirectionLook::Plain;
};
