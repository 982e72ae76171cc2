#include "mainwindow/TQuorQMmenu.h"

#include "core/CPushButton.h"
#include "mainwindow/HelpLinks.h"

namespace {

const char kCaptionStyle[] = "font: 10px \"Lucida Grande\", \"Arial\", \"Helvetica\", \"Sans-Serif\", \"Sans Serif\";\n"
                             "border-image: none;";

} // namespace

TQuorQMmenu::TQuorQMmenu()
{
    setupUi(this);
    for (QLabel *caption : { labelButton_Phone, labelButton_Extension, labelButton_Group, labelButton_Help })
        caption->setStyleSheet(QLatin1String(kCaptionStyle));
    setupButtons();
}

void TQuorQMmenu::setupButtons()
{
    const QIcon cellHover(QStringLiteral(":/ui/images/btn_ext_h.png"));
    struct Replacement
    {
        QPushButton *designed;
        CPushButton **button;
        void (TQuorQMmenu::*slot)();
        QIcon hover;
    };
    const Replacement replacements[] = {
        { buttonShutDown, &exitButton, &TQuorQMmenu::exit, QIcon(QStringLiteral(":/ui/images/shutdown_h.png")) },
        { buttonPhone, &phoneButton, &TQuorQMmenu::showPhone, cellHover },
        { buttonExtensions, &extensionsButton, &TQuorQMmenu::showExtensions, cellHover },
        { buttonGroups, &groupsButton, &TQuorQMmenu::showEditGroups, cellHover },
        { buttonHelp, &helpButton, &TQuorQMmenu::showHelp, cellHover },
    };
    for (const Replacement &r : replacements) {
        CPushButton *button = CPushButton::replace(r.designed);
        *r.button = button;
        connect(button, &QPushButton::clicked, this, r.slot);
        button->setHoverIcon(r.hover);
    }
    // The form's pointers would dangle: the designed buttons are gone.
    buttonShutDown = buttonPhone = buttonExtensions = buttonGroups = buttonHelp = nullptr;
}

void TQuorQMmenu::showHelp()
{
    emit signalshowHelp(HelpLinks::mainPage());
}

void TQuorQMmenu::exit()
{
    emit signalexit();
}

void TQuorQMmenu::showPhone()
{
    emit signalshowPhone();
}

void TQuorQMmenu::showEditGroups()
{
    emit signalshowEditGroups();
}

void TQuorQMmenu::showExtensions()
{
    emit signalshowExtensions();
}
