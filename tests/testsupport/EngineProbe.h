#pragma once

// Collects an engine's events (made on its thread) for a test to inspect on
// the test thread, plus a Goertzel tone detector for the voice checks.

#include "iax2/Iax2Engine.h"

#include <QList>
#include <QMutex>
#include <QVector>

class EngineProbe
{
public:
    explicit EngineProbe(iax2::Iax2Engine &engine);

    QList<iax2::EngineEvent> events() const;
    // The newest call-state event of a call (state -1 when none).
    iax2::EngineEvent lastState(int callNo) const;
    int stateOf(int callNo) const { return lastState(callNo).state; }
    bool sawState(int callNo, int bits) const;
    int registrations(iax2::RegistrationReply reply) const;
    QStringList texts() const;
    QStringList logs() const;
    // The first incoming call seen, or -1.
    int incomingCall() const;
    void clear();

private:
    mutable QMutex m_mutex;
    QList<iax2::EngineEvent> m_events;
    QStringList m_logs;
};

// Share of a signal's energy at one frequency (0..1).
double toneShare(const QVector<qint16> &samples, double hz);
double toneShare(const std::vector<int16_t> &samples, double hz);
std::vector<int16_t> makeTone(double hz, int samples, double amplitude = 8000);
