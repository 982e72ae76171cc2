#include "testsupport/EngineProbe.h"

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

QStringList EngineProbe::callEvents(int callNo) const
{
    QMutexLocker lock(&m_mutex);
    QStringList out;
    auto word = [&](int call, const QString &text) {
        if (call == callNo)
            out << text;
    };
    for (const EngineEvent &event : m_events) {
        std::visit(Overloaded {
                       [&](const IncomingCallEvent &e) { word(e.callNo, QStringLiteral("incoming")); },
                       [&](const CallAcceptedEvent &e) { word(e.callNo, QStringLiteral("accepted")); },
                       [&](const RingingOutEvent &e) { word(e.callNo, QStringLiteral("ringing")); },
                       [&](const AnsweredEvent &e) { word(e.callNo, QStringLiteral("answered")); },
                       [&](const HoldEvent &e) {
                           word(e.callNo,
                               QLatin1String(e.held ? "held" : "resumed") + QLatin1String(e.byPeer ? " by peer" : ""));
                       },
                       [&](const TransferEvent &e) {
                           word(e.callNo, QLatin1String(e.ok ? "transferred" : "transfer failed"));
                       },
                       [&](const CallEndedEvent &e) { word(e.callNo, QStringLiteral("ended")); },
                       [](const auto &) {},
                   },
            event);
    }
    return out;
}

int EngineProbe::registrations(RegistrationReply reply) const
{
    const QList<RegistrationEvent> events = all<RegistrationEvent>();
    return int(std::count_if(events.cbegin(), events.cend(), [reply](const auto &e) { return e.reply == reply; }));
}

QString EngineProbe::texts() const
{
    QStringList out;
    for (const TextEvent &e : all<TextEvent>())
        out << QString::fromStdString(e.text);
    return out.join(QLatin1Char('\n'));
}

QStringList EngineProbe::logs() const
{
    QMutexLocker lock(&m_mutex);
    return m_logs;
}

int EngineProbe::incomingCall() const
{
    const QList<IncomingCallEvent> calls = all<IncomingCallEvent>();
    return calls.isEmpty() ? -1 : calls.first().callNo;
}

void EngineProbe::clear()
{
    QMutexLocker lock(&m_mutex);
    m_events.clear();
    m_logs.clear();
}
