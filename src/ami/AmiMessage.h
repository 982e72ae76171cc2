#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <QVarLengthArray>

// One AMI message read by key. The lines are split into key and rest once, at
// construction; each look-up then compares keys only. Cheap to hand on by
// const reference: a router splits a message once and every handler reads the
// same fields.
//
// value(key) is the value ManagerSocket::getValue gives, quirks included: the
// first line that starts with key + ":", its text after the first ": " up to
// the next ": ", the whole line when it holds no ": ", "" when no line has the
// key.
class AmiMessage
{
public:
    AmiMessage() = default;
    explicit AmiMessage(QStringList lines);

    QString value(QStringView key) const;
    const QStringList &lines() const { return m_lines; }

    // The look-up without splitting, for a single key of a message.
    static QString valueIn(QStringView key, const QStringList &lines);
    // Whether the line starts with key + ":".
    static bool lineHasKey(const QString &line, QStringView key)
    {
        return line.size() > key.size() && line.at(key.size()) == u':' && line.startsWith(key);
    }

private:
    // The value of a line that starts with a key of keySize characters and ":".
    static QString valueAfterKey(const QString &line, qsizetype keySize);

    QStringList m_lines;
    // Per line, the position of its first ':' (the length of its key), or -1.
    QVarLengthArray<qsizetype, 24> m_keySizes;
};
