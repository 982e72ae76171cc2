#pragma once

#include "softphone/TQuorPhone.h"

// A phone for tests, tools and benchmarks: its engine on a free loopback port,
// no sound card and no click-to-dial port.
inline TQuorPhone::Options loopbackPhoneOptions()
{
    TQuorPhone::Options options;
    options.voip.engine.bindAddress = "127.0.0.1";
    options.voip.engine.port = 0;
    options.voip.useSoundCard = false;
    options.clickToDialPort = -1;
    return options;
}
