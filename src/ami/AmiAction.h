#pragma once

#include <QString>

// Building AMI action texts from values that come from the PBX, the settings
// file or the user.
namespace AmiAction {

// The value with every control character below 0x20 removed (CR, LF and NUL
// among them), so that it cannot end a line of the action or add one; blanks
// are kept. Every value inserted into an action text goes through this.
inline QString value(const QString &text)
{
    qsizetype i = 0;
    while (i < text.size() && text.at(i).unicode() >= 0x20)
        ++i;
    if (i == text.size())
        return text;
    QString out = text.left(i);
    for (; i < text.size(); ++i) {
        if (text.at(i).unicode() >= 0x20)
            out += text.at(i);
    }
    return out;
}

} // namespace AmiAction
