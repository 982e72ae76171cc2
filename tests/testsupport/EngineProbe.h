#pragma once

// Collects an engine's events (made on its thread) for a test to inspect on
// the test thread.

#include "iax2/Iax2Engine.h"

#include <QList>
#include <QMutex>
#include <QStringList>

class EngineProbe
{
public:
    explicit EngineProbe(iax2::Iax2Engine &engine);

    // The events of one type, in order.
    template<class T>
    QList<T> all() const
    {
        QMutexLocker lock(&m_mutex);
        QList<T> out;
        for (const iax2::EngineEvent &e : m_events) {
            if (const T *t = std::get_if<T>(&e))
                out << *t;
        }
        return out;
    }
    template<class T>
    int count() const
    {
        return int(all<T>().size());
    }
    // One word per event of a call, in order: "incoming", "held by peer"...
    QStringList callEvents(int callNo) const;
    int registrations(iax2::RegistrationReply reply) const;
    QString texts() const; // joined by new lines
    QStringList logs() const;
    int incomingCall() const; // the first one seen, or -1
    void clear();

private:
    mutable QMutex m_mutex;
    QList<iax2::EngineEvent> m_events;
    QStringList m_logs;
};

// The middle of a recording, past any start-up edge.
template<typename V>
V middle(const V &v, int count)
{
    if (int(v.size()) <= count)
        return v;
    const auto start = v.begin() + (int(v.size()) - count) / 2;
    return V(start, start + count);
}
