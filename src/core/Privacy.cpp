#include "core/Privacy.h"

namespace {

bool isSeparator(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('-') || c == QLatin1Char('.') || c == QLatin1Char('/')
        || c == QLatin1Char('(') || c == QLatin1Char(')');
}

} // namespace

namespace Privacy {

QString maskNumbers(const QString &text)
{
    QString out = text;
    const int size = int(out.size());
    int i = 0;
    while (i < size) {
        const QChar c = out.at(i);
        if (!c.isDigit() && c != QLatin1Char('+')) {
            ++i;
            continue;
        }
        // Extend the number over digits and separators; it ends after its last digit.
        int end = i;
        int lastDigitEnd = c.isDigit() ? i + 1 : i;
        for (end = i + 1; end < size; ++end) {
            const QChar d = out.at(end);
            if (d.isDigit())
                lastDigitEnd = end + 1;
            else if (!isSeparator(d))
                break;
        }
        int keep = 3;
        for (int k = lastDigitEnd - 1; k >= i; --k) {
            if (!out.at(k).isDigit())
                continue;
            if (keep > 0)
                --keep;
            else
                out[k] = QLatin1Char('x');
        }
        i = lastDigitEnd > i ? lastDigitEnd : i + 1;
    }
    return out;
}

} // namespace Privacy
