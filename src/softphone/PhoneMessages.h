#pragma once

#include <QColor>

#include "core/QuorTypes.h"

// How a message of a given TMessageType is shown in the phone window: the kind
// of row it gets in the message table and the colour of the message line.
namespace PhoneMessages {

// Errors are filed like missed calls (red rows); status and warnings as
// information rows. Unknown types are treated as status.
TRowType rowType(int messageType);

// Status dark green, warning yellow, error red.
QColor colour(int messageType);

// A style sheet for the message label ("color: #rrggbb;").
QString styleSheet(int messageType);

// How long a message stays in the message line.
constexpr int kHideAfterMs = 7000;

} // namespace PhoneMessages
