#pragma once

#include <QList>
#include <QMetaType>
#include <QString>

class ManagerFixture;

// Scenarios of the panel and the main window written as data: what a PBX
// sends over the manager connection, what the user does, and what the program
// must send back and show. One scenario per block of a ".ami" file:
//
//   # a comment; lines before the first "==" apply to every scenario of the file
//   == the scenario's name
//   @ peers SIP 101 Alice|IAX 104 Dan     the PBX's peers (ManagerFixture::setPeers)
//   @ version 1.6.2.0                     the PBX's version; "@ driver dahdi|Zap|none"
//   @ set agent/uname=101                 a settings key before the start (escapes as in "<" lines)
//   @ db DND/102=YES                      an AstDB entry of the PBX before the start
//   @ box 102=102\r@default               the voicemail box the PBX gives a peer (escapes apply)
//   < Event: Newchannel|Channel: ...      a message from the PBX, lines joined by "|"
//   < call                                a call from SIP 101 to SIP 102 up to its link
//   < db:DND/102=YES                      the PBX's AstDB changes (no message)
//   ! tile 102 dnd                        a user action (see PbxScenario.cpp)
//   > Action: DBGet|Family: DND|...       the actions sent since the last check, in order;
//   > -                                   "-" alone: none; "..." last: more may follow
//   = 102=3 Alice @u2 | rec:u2=Ringing    what the tiles, records and docks show (view())
//   ? labelAcCallsN.text=4                a property of a named widget or action; "items"
//                                         of a list or combo box, "hidden" of a widget;
//                                         "settings:NAME" names a widget of the settings;
//                                         "tile:102.button_user" a child of a tile,
//                                         "tile:IAX/104.vmPrefix" a field of the tile (propertyOf)
//   ? rec:1.2=SIP/102-b|101|Alice|1.1     the record of a Uniqueid: name, caller id and name,
//                                         linked-to ("(none)" for no record)
//
// In "<", ">" and "@ box" lines "\r", "\n", "\0", "\|" and "\\" stand for themselves;
// the actions sent are compared with those escapes applied. The values of
// "@ set", of the "!" commands and of "?" take the same escapes.
struct PbxScenario
{
    QString file;
    int line = 0;
    QString name;
    struct Step
    {
        int line;
        char kind;
        QString text;
    };
    QList<Step> setup;
    QList<Step> steps;
};
Q_DECLARE_METATYPE(PbxScenario)

namespace Scenarios {

// Every scenario of the file; an unreadable file or line fails the test.
QList<PbxScenario> read(const QString &path);
// Adds one data row per scenario of the file (column "scenario").
void addRows(const QString &fileName);
// Runs the scenario of the current data row on a fresh main window.
void runCurrent();

// Every tile that shows more than an idle extension, in the panel's order, as
// "ext=state" (other technologies than SIP as "IAX/104=...") followed by what
// differs from an idle tile: the phone text, "dir:" the direction text,
// "name:" a name strip other than the peer's name, "@" the bound and ">" the
// linked record, "busy" for a tile beyond state 1 that may not be called,
// "dnd", "fwd:family:number", "vm:" the count, "pic:" a picture other than the
// state's own; then "rec:" the panel's records with their states, "q:" the
// queue rows and "p:" the parked rows, " | " between the parts.
QString view(const ManagerFixture &f);

} // namespace Scenarios
