#include "testsupport/EngineProbe.h"

#include <cmath>

using namespace iax2;

EngineProbe::EngineProbe(Iax2Engine &engine)
{
    engine.setEventCallback([this](const EngineEvent &e) {
        QMutexLocker lock(&m_mutex);
        m_events.append(e);
    });
    engine.setLogCallback([this](int, const std::string &line) {
        QMutexLocker lock(&m_mutex);
        m_logs.append(QString::fromStdString(line));
    });
}

QList<EngineEvent> EngineProbe::events() const
{
    QMutexLocker lock(&m_mutex);
    return m_events;
}

EngineEvent EngineProbe::lastState(int callNo) const
{
    QMutexLocker lock(&m_mutex);
    for (int i = m_events.size() - 1; i >= 0; --i) {
        if (m_events[i].type == EngineEvent::Type::CallState && m_events[i].callNo == callNo)
            return m_events[i];
    }
    EngineEvent none;
    none.state = -1;
    return none;
}

bool EngineProbe::sawState(int callNo, int bits) const
{
    QMutexLocker lock(&m_mutex);
    for (const EngineEvent &e : m_events) {
        if (e.type == EngineEvent::Type::CallState && e.callNo == callNo && (e.state & bits) == bits)
            return true;
    }
    return false;
}

int EngineProbe::registrations(RegistrationReply reply) const
{
    QMutexLocker lock(&m_mutex);
    int n = 0;
    for (const EngineEvent &e : m_events)
        n += (e.type == EngineEvent::Type::Registration && e.reply == reply) ? 1 : 0;
    return n;
}

QStringList EngineProbe::texts() const
{
    QMutexLocker lock(&m_mutex);
    QStringList out;
    for (const EngineEvent &e : m_events) {
        if (e.type == EngineEvent::Type::Text)
            out << QString::fromStdString(e.text);
    }
    return out;
}

QStringList EngineProbe::logs() const
{
    QMutexLocker lock(&m_mutex);
    return m_logs;
}

int EngineProbe::incomingCall() const
{
    QMutexLocker lock(&m_mutex);
    for (const EngineEvent &e : m_events) {
        if (e.type == EngineEvent::Type::CallState && (e.state & CallRinging) && !(e.state & CallOutgoing))
            return e.callNo;
    }
    return -1;
}

void EngineProbe::clear()
{
    QMutexLocker lock(&m_mutex);
    m_events.clear();
    m_logs.clear();
}

namespace {

template<typename Samples>
double share(const Samples &samples, double hz)
{
    const int n = int(samples.size());
    if (n == 0)
        return 0;
    const double coeff = 2 * std::cos(2 * M_PI * hz / 8000.0);
    double s1 = 0, s2 = 0, energy = 0;
    for (int i = 0; i < n; ++i) {
        const double x = samples[i];
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
        energy += x * x;
    }
    if (energy <= 0)
        return 0;
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    // A pure tone puts n/2 times its energy into the Goertzel power.
    return power / (energy * n / 2.0);
}

} // namespace

double toneShare(const QVector<qint16> &samples, double hz)
{
    return share(samples, hz);
}

double toneShare(const std::vector<int16_t> &samples, double hz)
{
    return share(samples, hz);
}

std::vector<int16_t> makeTone(double hz, int samples, double amplitude)
{
    std::vector<int16_t> out(static_cast<size_t>(samples));
    for (int i = 0; i < samples; ++i)
        out[size_t(i)] = int16_t(amplitude * std::sin(2 * M_PI * hz * i / 8000.0));
    return out;
}
