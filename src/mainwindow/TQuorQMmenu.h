#pragma once

#include <QUrl>
#include <QWidget>

#include "ui_QuorManager.h"

class CPushButton;

// The row of picture buttons in the main window's "Menu" toolbar: Phone,
// Extensions, Groups and Help on the left, the exit button on the right. It
// only announces the clicks; the main window toggles the phone dock, switches
// its central page, opens the help or quits, and sets the cells' background
// pictures and tooltips itself.
class TQuorQMmenu : public QWidget, public Ui::QuorManager
{
    Q_OBJECT

public:
    TQuorQMmenu();

    CPushButton *exitButton = nullptr;
    CPushButton *phoneButton = nullptr;
    CPushButton *extensionsButton = nullptr;
    CPushButton *groupsButton = nullptr;
    CPushButton *helpButton = nullptr;

signals:
    void signalexit();
    void signalshowPhone();
    void signalshowEditGroups();
    void signalshowExtensions();
    void signalshowHelp(QUrl url);

public slots:
    // Asks for the main help page.
    void showHelp();
    void exit();
    void showPhone();
    void showEditGroups();
    void showExtensions();

private:
    void setupButtons();
};
