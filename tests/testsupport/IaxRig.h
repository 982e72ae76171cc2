#pragma once

// The loopback rig of the IAX2 tests: the fake PBX (user "alice", secret
// "wonder"), an in-memory sound card, and the engine with its probe.

#include "iax2/Iax2Engine.h"
#include "iax2/MemoryAudioDevice.h"
#include "testsupport/EngineProbe.h"
#include "testsupport/FakePbx.h"
#include "testsupport/SignalTools.h"

#include <memory>

// Any free port on 127.0.0.1, retransmission in tens of milliseconds.
iax2::Iax2Engine::Config loopbackConfig(int callSlots = 2);

struct IaxRig
{
    FakePbx pbx;
    iax2::MemoryAudioDevice audio;
    std::unique_ptr<iax2::Iax2Engine> engine;
    std::unique_ptr<EngineProbe> probe;

    explicit IaxRig(iax2::Iax2Engine::Config config = loopbackConfig(), bool withEngine = true);
    // The engine's thread calls into the probe: the engine stops first.
    ~IaxRig();

    iax2::Account account(const char *secret = "wonder") const;
    // Registers the account; its id once accepted, else -1.
    int registered();
    // The PBX calls the engine at port; returns the PBX's call number.
    quint16 callIn(quint16 port, quint32 format = 4, const QString &number = QStringLiteral("5551234"),
        const QString &name = QStringLiteral("Bob"));
    // The engine's number of the first call that rang here (-1 on time-out).
    int ringing() const;
    // A call answered here or by the PBX: the engine's call number (-1 on time-out).
    int answeredCall(quint32 format, FakePbx::Dialogue **dialogue, const QString &number = QStringLiteral("5551234"));
    int dialledCall(FakePbx::Dialogue **dialogue, const std::string &number = "300");
};
