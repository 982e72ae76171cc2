#pragma once

#include <QDomDocument>
#include <QFile>
#include <QLineEdit>
#include <QList>
#include <QPair>
#include <QPushButton>
#include <QSignalSpy>
#include <QStringList>
#include <QTest>

#include "core/Paths.h"
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

// The text of key in section of the data directory's "quorer.xml".
inline QString stored(const QString &section, const QString &key)
{
    return xmlValue(readXml(Paths::dataFile(QStringLiteral("quorer.xml"))), section, key);
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

const QString kShippedPassword = QStringLiteral("fendro");

// Plays the phone window: hosts the panel, loads the model, listens.
struct Panel
{
    explicit Panel(const std::vector<iax2::AudioDeviceInfo> &devices = {})
    {
        settings.setAudioDeviceTable(devices);
        settings.loadAll();
        settings.show();
        if (!QTest::qWaitForWindowExposed(&settings))
            qWarning("the panel was not shown");
    }

    template<typename T>
    T *w(const char *name)
    {
        T *widget = settings.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }

    void release(const char *name) { QTest::mouseClick(w<QPushButton>(name), Qt::LeftButton); }
    void key(int k) { QTest::keyClick(&settings, Qt::Key(k)); }
    QString caption() { return w<QLabel>("labelCaption")->text(); }
    void check(const char *name, bool on) { w<QAbstractButton>(name)->setChecked(on); }
    void type(const char *name, const QString &text) { w<QLineEdit>(name)->setText(text); }
    QString text(const char *name) { return w<QLineEdit>(name)->text(); }

    void unlock(const QString &password = kShippedPassword)
    {
        release("buttonAdmin");
        // Return in the edit reaches the panel.
        QLineEdit *edit = w<QLineEdit>("editLockPassword");
        edit->setText(password);
        QTest::keyClick(edit, Qt::Key_Return);
    }

    TQuorSettings settings;
    MessageLog log { &settings };
};
