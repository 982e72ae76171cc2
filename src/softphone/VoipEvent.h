#pragma once

// The one thing that crosses from the IAX2 engine's thread to the GUI thread:
// a copy of an engine event, or of an engine log line, posted to the
// QuorIaxClient that owns the engine.

#include <QEvent>

#include <string>

#include "iax2/Iax2Engine.h"

class VoipEvent : public QEvent
{
public:
    // QEvent::User, 1000.
    static constexpr QEvent::Type kType = QEvent::User;

    explicit VoipEvent(iax2::EngineEvent event)
        : QEvent(kType)
        , m_event(std::move(event))
    {
    }

    // A line for the program log only.
    static VoipEvent *logLine(int level, const std::string &line)
    {
        auto *e = new VoipEvent(iax2::TextEvent { level, line });
        e->m_logOnly = true;
        return e;
    }

    const iax2::EngineEvent &engineEvent() const { return m_event; }
    bool isLogLine() const { return m_logOnly; }

private:
    iax2::EngineEvent m_event;
    bool m_logOnly = false;
};
