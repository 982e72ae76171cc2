#pragma once

#include <QList>
#include <QMetaMethod>
#include <QObject>
#include <QStringList>

#include "ami/ManagerSocket.h"

// Records every emission of a ManagerSocket in order: the signal's name, its
// text arguments flattened into lines and, for peersCount, the type.
struct Emission
{
    QByteArray name;
    QStringList lines;
    QString type;
};
Q_DECLARE_METATYPE(Emission)
Q_DECLARE_METATYPE(QList<Emission>)

// Readable form for comparisons in tests.
inline QString describe(const Emission &e)
{
    QString text = QString::fromLatin1(e.name) + u'(';
    for (const QString &line : e.lines) {
        QString shown = line;
        shown.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
        text += u'"' + shown + QStringLiteral("\" ");
    }
    return text + e.type + u')';
}

inline QStringList describe(const QList<Emission> &list)
{
    QStringList out;
    for (const Emission &e : list)
        out << describe(e);
    return out;
}

// Connects to every signal the class declares, read from its meta-object, so
// a signal added later is recorded too. One receiving method serves them all,
// the way QSignalSpy receives: the sender's signal index names the signal.
class SignalRecorder : public QObject
{
public:
    explicit SignalRecorder(ManagerSocket *socket)
    {
        const QMetaObject &mo = ManagerSocket::staticMetaObject;
        for (int i = mo.methodOffset(); i < mo.methodCount(); ++i) {
            if (mo.method(i).methodType() == QMetaMethod::Signal)
                QMetaObject::connect(socket, i, this, QObject::staticMetaObject.methodCount(), Qt::DirectConnection);
        }
    }

    QList<QByteArray> names() const
    {
        QList<QByteArray> out;
        for (const Emission &e : emissions)
            out << e.name;
        return out;
    }

    QList<Emission> emissions;

    int qt_metacall(QMetaObject::Call call, int id, void **args) override
    {
        id = QObject::qt_metacall(call, id, args);
        if (id < 0 || call != QMetaObject::InvokeMetaMethod)
            return id;
        const QMetaMethod signal = sender()->metaObject()->method(senderSignalIndex());
        Emission e { signal.name(), {}, {} };
        for (int p = 0; p < signal.parameterCount(); ++p) {
            const int type = signal.parameterType(p);
            if (type == QMetaType::QStringList)
                e.lines += *static_cast<const QStringList *>(args[p + 1]);
            else if (type == QMetaType::Bool)
                e.lines << QString::fromLatin1(*static_cast<const bool *>(args[p + 1]) ? "true" : "false");
            else if (p > 0 && signal.parameterType(0) == QMetaType::QStringList)
                e.type = *static_cast<const QString *>(args[p + 1]);
            else
                e.lines << *static_cast<const QString *>(args[p + 1]);
        }
        emissions.append(e);
        return -1;
    }
};
