#pragma once

#include <QPixmap>

// The pictures of the info popups' states, loaded once by the first popup and
// shared by all of them: small strips (str*) as the tiles show them and the
// popup's large backgrounds (bg*).
struct AgentInfoImages
{
    AgentInfoImages();

    QPixmap strNoAvail;
    QPixmap bgUnavailable;
    QPixmap strAvailable;
    QPixmap bgAvailable;
    QPixmap strQueue;
    QPixmap bgQueue;
    QPixmap bgActive;
    QPixmap strCalling;
    QPixmap bgRinging;
    QPixmap strRinging;
    QPixmap strRing;
    QPixmap strHold;
    QPixmap bgHold;
    QPixmap strOffhook;
    QPixmap bgOffhook;
    QPixmap strDnd;
    QPixmap bgDnd;
    QPixmap strFwd;
    QPixmap bgFwd;
    QPixmap strParked;
    QPixmap bgParked;
};
