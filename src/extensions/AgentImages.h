#pragma once

#include <QIcon>
#include <QPixmap>

// The pictures every tile shows, loaded once by the first tile and shared by
// all of them; a new tile and a state change only point the tile's labels at
// these.
struct AgentImages
{
    AgentImages();

    QPixmap str_no_avail;
    QPixmap bg_no_avail;
    QPixmap str_available;
    QPixmap bg_avail;
    QPixmap str_queue;
    QPixmap bg_queue;
    QPixmap bg_active;
    QPixmap str_calling;
    QPixmap bg_ringing;
    QPixmap str_ringing;
    QPixmap str_ring;
    QPixmap str_hold;
    QPixmap bg_hold;
    QPixmap str_offhook;
    QPixmap bg_offhook;
    QPixmap str_dnd;
    QPixmap bg_dnd;
    QPixmap str_fwd;
    QPixmap bg_fwd;
    QPixmap str_parked;

    // The buttons' faces, shared: an icon read from a file per tile would
    // decode its picture for every tile.
    QIcon call;
    QIcon callHover;
    QIcon blindTransfer;
    QIcon blindTransferHover;
    QIcon sendToVm;
    QIcon sendToVmHover;
    QIcon sendToVmWaiting;
    QPixmap dragGhost;
    // The tile's face under its labels.
    QPixmap frame;
};
