#pragma once

#include <QDomDocument>
#include <QFile>
#include <QTest>

#include "core/Paths.h"
#include "testsupport/TestDataDir.h"

using namespace Qt::StringLiterals;

// Every key of a settings file as "section/key=value", in document order.
inline QStringList entries(const QString &path = Paths::dataFile(u"quorer.xml"_s))
{
    QDomDocument doc;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !doc.setContent(&file))
        return { u"<unreadable>"_s };
    QStringList list;
    for (QDomElement s = doc.documentElement().firstChildElement(); !s.isNull(); s = s.nextSiblingElement()) {
        for (QDomElement k = s.firstChildElement(); !k.isNull(); k = k.nextSiblingElement())
            list << s.tagName() + u'/' + k.tagName() + u'=' + k.text();
    }
    return list;
}

// The text of key in section of the data directory's "quorer.xml"; null when missing.
inline QString stored(const char *section, const char *key)
{
    const QString prefix = QLatin1String(section) + u'/' + QLatin1String(key) + u'=';
    for (const QString &e : entries()) {
        if (e.startsWith(prefix))
            return e.mid(prefix.size());
    }
    return {};
}

inline void writeSettings(const TestDataDir &dir, const QByteArray &sections)
{
    dir.write(u"quorer.xml"_s, "<!DOCTYPE xmlreader>\n<quorer>" + sections + "</quorer>\n");
}

// The panel's helpers; the store's test builds without widgets.
#ifdef QT_WIDGETS_LIB
#include <QAbstractButton>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include "core/QuorTypes.h"
#include "settings/TQuorSettings.h"

// What the settings tell the user, in order, as "text" or "text (error)".
class MessageLog : public QObject
{
public:
    explicit MessageLog(TQuorSettings *settings)
    {
        connect(settings, &TQuorSettings::signalShowMessage, this, [this](const QString &text, TMessageType type) {
            texts << (type == MessageError ? text + u" (error)"_s : text);
        });
    }
    QStringList texts;
};

// Catches the error boxes instead of running them modally: their titles.
struct ErrorBoxCatcher
{
    ErrorBoxCatcher()
    {
        TQuorSettings::setErrorBoxHandler([this](const QString &title, const QString &) { titles << title; });
    }
    ~ErrorBoxCatcher() { TQuorSettings::setErrorBoxHandler({}); }
    QStringList titles;
};

const QString kShippedPassword = u"fendro"_s;

// Plays the phone window: hosts the panel, loads the model, unlocks it, listens.
struct Panel
{
    explicit Panel(const std::vector<iax2::AudioDeviceInfo> &devices = {}, bool unlocked = true)
    {
        settings.setAudioDeviceTable(devices);
        settings.loadAll();
        settings.show();
        if (!QTest::qWaitForWindowExposed(&settings))
            qWarning("the panel was not shown");
        if (unlocked)
            unlock();
    }

    template<typename T = QWidget>
    T *w(const char *name)
    {
        T *widget = settings.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no widget %s", name);
        return widget;
    }
    void release(const char *name) { QTest::mouseClick(w<QPushButton>(name), Qt::LeftButton); }
    void key(int k) { QTest::keyClick(&settings, Qt::Key(k)); }
    void check(const char *name, bool on) { w<QAbstractButton>(name)->setChecked(on); }
    bool checked(const char *name) { return w<QAbstractButton>(name)->isChecked(); }
    bool visible(const char *name) { return w(name)->isVisible(); }
    void type(const char *name, const QString &text) { w<QLineEdit>(name)->setText(text); }
    QString text(const char *name) { return w<QLineEdit>(name)->text(); }
    int page() const { return settings.currentPage(); }
    void unlock(const QString &password = kShippedPassword)
    {
        release("buttonAdmin");
        type("editLockPassword", password);
        QTest::keyClick(w("editLockPassword"), Qt::Key_Return);
    }

    TQuorSettings settings;
    MessageLog log { &settings };
};
#endif
