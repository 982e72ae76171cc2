#pragma once

#include <QMetaType>

// The state of an extension tile. The numbers are shared with the info popup
// and the panel's handlers.
enum TAgentState {
    AgentInit = 0,
    AgentUnavailable = 1,
    AgentIdle = 2,
    AgentRingIn = 3,
    AgentCallOut = 4,
    AgentInCall = 5,
    AgentHold = 6,
    AgentDnd = 7,
    AgentForward = 8,
    AgentOffHook = 9,
    AgentParked = 10,
    AgentInQueue = 11
};

Q_DECLARE_METATYPE(TAgentState)
