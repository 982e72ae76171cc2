#pragma once

#include <QString>
#include <QStringList>

// Events of the newer PBX releases (1.6) in the shape of the older ones (1.2
// and 1.4), which the receivers read: a bridge event becomes a link or an
// unlink, a hold event with "Status: Off" an unhold, and a key the older shape
// carries is added from the newer key where the message lacks it.
namespace AmiEventShape {

// Rewrites event (the value of the message's "Event" line) and message in
// place; false when the event has no older counterpart and is to be dropped.
bool toOlderShape(QString &event, QStringList &message);

} // namespace AmiEventShape
