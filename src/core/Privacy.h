#pragma once

#include <QString>

// The one rule by which the program hides callers' numbers while privacy is on.
//
// A number is a run that starts with a digit or "+" and goes on through digits
// and the separators " -./()" (a trailing separator is not part of it). In every
// number all digits but the last three become 'x'; separators, "+" and every
// other character stay, so names and the layout of the text remain readable.
// Examples: "5551234" -> "xxxx234", "John +49 30 1234567" -> "John +xx xx xxxx567",
// "sip:201@pbx" -> "sip:201@pbx" (three digits or fewer are shown as they are).
namespace Privacy {

QString maskNumbers(const QString &text);

} // namespace Privacy
