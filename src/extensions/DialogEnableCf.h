#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "extensions/SafeRemoval.h"
#include "ui_DialogEnableCf.h"

class QuorAgent;

// Asks for the forward type and destination when forwarding is switched on
// from a tile's menu, then writes the forward entry into the PBX's database
// and announces it through the tile. It deletes itself when closed.
class DialogEnableCf : public QDialog, public Ui::DialogEnableCf
{
    Q_OBJECT

public:
    explicit DialogEnableCf(QuorAgent *agent);

    void setUser(const QString &user, const QString &fwdFamily, const QString &fwdNumber);

    // The tile is going away: forget it and close, now or once the
    // refusal box has closed.
    void tileRemoved();

    // Esc and the close control refresh the tile's actions as Cancel does.
    void reject() override;

    // The tile that opened the dialog; null once it is gone.
    QPointer<QuorAgent> agent;
    QString user;
    QString fwdNumber;
    QString fwdFamily;
    QString fwdType;
    QStringList fwdTypes;
    QStringList fwdFamilies;

private slots:
    void enableFWD();
    void setFwdFamily(int index);
    void closeDialog();

private:
    void loadFwdFamilies();

    SafeRemoval m_removal { this };
};
