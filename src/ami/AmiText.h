#pragma once

#include <QString>
#include <QStringView>
#include <QVarLengthArray>

// Small text helpers of the AMI conversions. They stand in for the regular
// expressions "\s+" and "^\d+" (ASCII classes, as the pattern engine uses them
// by default) without compiling a pattern per line.
namespace AmiText {

using Fields = QVarLengthArray<QStringView, 16>;

inline bool isPatternSpace(QChar c)
{
    const char16_t u = c.unicode();
    return u == u' ' || (u >= u'\t' && u <= u'\r');
}

// Splits at runs of white space, keeping empty parts: a leading blank gives an
// empty first field, a trailing line feed an empty last field.
inline void splitAtWhitespace(QStringView line, Fields &out)
{
    out.clear();
    const qsizetype n = line.size();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < n) {
        if (isPatternSpace(line[i])) {
            out.append(line.mid(start, i - start));
            while (i < n && isPatternSpace(line[i]))
                ++i;
            start = i;
        } else {
            ++i;
        }
    }
    out.append(line.mid(start));
}

inline QStringView leadingDigits(QStringView line)
{
    qsizetype i = 0;
    while (i < line.size() && line[i] >= u'0' && line[i] <= u'9')
        ++i;
    return line.left(i);
}

// Key and value of a CLI "label : value" line once carriage returns, line feeds
// and blanks are gone. Usable only when the line holds exactly one ':' and no
// "Response".
inline bool keyAndValue(const QString &normalised, QString *key, QString *value)
{
    if (normalised.isEmpty() || normalised.contains(u"Response"))
        return false;
    const qsizetype colon = normalised.indexOf(u':');
    if (colon < 0 || normalised.indexOf(u':', colon + 1) >= 0)
        return false;
    *key = normalised.left(colon);
    *value = normalised.mid(colon + 1);
    return true;
}

} // namespace AmiText
