#include "ami/AmiMessage.h"

#include <utility>

AmiMessage::AmiMessage(QStringList lines)
    : m_lines(std::move(lines))
{
    m_keySizes.reserve(m_lines.size());
    for (const QString &line : std::as_const(m_lines))
        m_keySizes.append(line.indexOf(u':'));
}

QString AmiMessage::value(QStringView key) const
{
    // A key that holds a colon is not what a line's first colon ends.
    if (key.contains(u':'))
        return valueIn(key, m_lines);
    const qsizetype k = key.size();
    for (qsizetype i = 0; i < m_keySizes.size(); ++i) {
        if (m_keySizes[i] == k && QStringView(m_lines.at(i)).left(k) == key)
            return valueAfterKey(m_lines.at(i), k);
    }
    return QString();
}

QString AmiMessage::valueIn(QStringView key, const QStringList &lines)
{
    for (const QString &line : lines) {
        if (lineHasKey(line, key))
            return valueAfterKey(line, key.size());
    }
    return QString();
}

QString AmiMessage::valueAfterKey(const QString &line, qsizetype keySize)
{
    const qsizetype k = keySize;
    // A key is a name without ": ", so the line's first ": " is at the key's
    // colon or after it.
    const qsizetype sep = line.size() > k + 1 && line.at(k + 1) == u' ' ? k : line.indexOf(u": ", k + 1);
    if (sep < 0)
        return line;
    const qsizetype start = sep + 2;
    const qsizetype next = line.indexOf(u": ", start);
    return line.mid(start, next < 0 ? -1 : next - start);
}
