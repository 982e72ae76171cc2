#pragma once

#include <QDomDocument>
#include <QFile>
#include <QList>
#include <QPair>
#include <QSignalSpy>
#include <QStringList>

#include "core/QuorTypes.h"
#include "settings/TQuorSettings.h"

// The sections of "quorer.xml" in document order.
inline QStringList sectionNames(const QDomDocument &doc)
{
    QStringList names;
    for (QDomElement e = doc.documentElement().firstChildElement(); !e.isNull(); e = e.nextSiblingElement())
        names << e.tagName();
    return names;
}

inline QDomDocument readXml(const QString &path, bool *ok = nullptr)
{
    QDomDocument doc;
    QFile file(path);
    const bool parsed = file.open(QIODevice::ReadOnly) && static_cast<bool>(doc.setContent(&file));
    if (ok)
        *ok = parsed;
    return doc;
}

// The text of key in section, or a null string when it is missing.
inline QString xmlValue(const QDomDocument &doc, const QString &section, const QString &key)
{
    const QDomElement e = doc.documentElement().firstChildElement(section).firstChildElement(key);
    return e.isNull() ? QString() : e.text();
}

// Records what the settings tell the user, in order.
class MessageLog : public QObject
{
public:
    explicit MessageLog(TQuorSettings *settings)
    {
        connect(settings, &TQuorSettings::signalShowMessage, this,
            [this](const QString &text, TMessageType type) { messages.append(qMakePair(text, int(type))); });
    }
    QStringList texts() const
    {
        QStringList t;
        for (const auto &m : messages)
            t << m.first;
        return t;
    }
    QList<QPair<QString, int>> messages;
};

// Catches the error boxes instead of running them modally.
struct ErrorBoxCatcher
{
    ErrorBoxCatcher()
    {
        TQuorSettings::setErrorBoxHandler(
            [this](const QString &title, const QString &text) { boxes.append(qMakePair(title, text)); });
    }
    ~ErrorBoxCatcher() { TQuorSettings::setErrorBoxHandler({}); }
    QList<QPair<QString, QString>> boxes;
};
