#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

#include "extensions/AgentInfoImages.h"
#include "extensions/SafeRemoval.h"
#include "extensions/TAgentState.h"
#include "ui_QuorAgentInfo.h"

class CPushButton;
class QuorAgent;

// The detail window of one extension tile: state, caller, call time, voicemail
// count and details, with the tile's actions as buttons. It mirrors its tile
// through the tile's signals and acts through the tile; DND and forward go to
// the PBX's database, and the new state comes back through the tile.
//
// Every tile has one, so the window's widgets are built only when it is first
// opened (buildForm); until then it keeps what it would show and puts it into
// the widgets then.
class QuorAgentInfo : public QWidget, public Ui::QuorAgentInfo
{
    Q_OBJECT

public:
    explicit QuorAgentInfo(QuorAgent *agent);
    ~QuorAgentInfo() override;

    void setInfo(TAgentState state, const QString &ext, const QString &dndFamily, const QString &fwdFamily,
        const QString &fwdNumber, const QString &stateText);
    // The tile's caller-ID name and details text (label_name, label_info).
    void setNameText(const QString &text);
    void setDetailsText(const QString &text);

    // Builds the widgets once; the form's members are valid from then on.
    void buildForm();
    bool isFormBuilt() const { return m_built; }

    // Deletes the popup now, or hides it and deletes it once its refusal box
    // has closed; the tile calls this when it goes away.
    void removeSafely();

    // The picture set shared by all popups; made by the first one.
    static AgentInfoImages *images;

    QPointer<QuorAgent> agent;
    QString ext;
    QString dndFamily;
    QString fwdNumber;
    QString fwdFamily;
    QString fwdType;
    QString parkedTo;
    QStringList fwdTypes;
    QStringList fwdFamilies;
    QString stateText;
    QString direction;
    QPoint dragPosition;
    CPushButton *callButton = nullptr;
    CPushButton *blindTransferButton = nullptr;
    CPushButton *sendVmButton = nullptr;
    CPushButton *dndButton = nullptr;
    CPushButton *fwdButton = nullptr;
    CPushButton *msgButton = nullptr;
    CPushButton *quitButton = nullptr;
    TAgentState state = AgentInit;
    int vmCount = 0;

private slots:
    void enableDND();
    void enableFWD();
    void leaveMessage();
    void updateMessages(int count);
    void setFwdFamily(int index);
    void stateChanged(TAgentState state, QString text);
    void timeoutEvent(QString text);
    void slotCall();
    void slotSendToVoiceMail();
    void slotBlindTransfer();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    enum class TextLook { Unset, Grey, Orange, Green, Red };

    void createButtons();
    void loadFwdFamilies();
    void updateDisplay(TAgentState shown);
    // Writes what the last updates decided into the widgets.
    void showDisplay();
    void showMessages();
    void refuse(const QString &title, const QString &text);
    bool usable() const { return agent && !m_removal.pending(); }

    SafeRemoval m_removal { this };
    bool m_built = false;
    bool m_displayed = false; // an update has run since construction
    bool m_infoSet = false; // setInfo has run: label_user shows ext
    const QPixmap *m_strip = nullptr; // nullptr: the form's picture
    const QPixmap *m_background = nullptr;
    TextLook m_cidLook = TextLook::Unset;
    TextLook m_directionLook = TextLook::Unset;
    QString m_cidText;
    QString m_timerText;
    QString m_editText; // Edit_fwd before the form exists
    std::optional<QString> m_nameText; // unset: the form's placeholder
    std::optional<QString> m_detailsText;
    // The looks last written, so that a state change parses no style sheet
    // the label already has.
    TextLook m_shownCidLook = TextLook::Unset;
    TextLook m_shownDirectionLook = TextLook::Unset;
};
