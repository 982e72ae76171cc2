#include "testsupport/IaxRig.h"

#include <QTest>

using namespace iax2;

Iax2Engine::Config loopbackConfig(int callSlots)
{
    Iax2Engine::Config config;
    config.callSlots = callSlots;
    config.bindAddress = "127.0.0.1";
    config.port = 0;
    config.retransmitFirstMs = 60;
    config.retransmitMaxMs = 240;
    config.retransmitMaxSends = 8;
    return config;
}

IaxRig::IaxRig(Iax2Engine::Config config, bool withEngine)
{
    pbx.addUser(QStringLiteral("alice"), QStringLiteral("wonder"));
    if (!withEngine)
        return;
    engine = std::make_unique<Iax2Engine>(config, &audio);
    probe = std::make_unique<EngineProbe>(*engine);
    engine->start();
}

IaxRig::~IaxRig()
{
    if (engine)
        engine->stop();
}

Account IaxRig::account(const char *secret) const
{
    return Account { "127.0.0.1", pbx.port(), "alice", secret };
}

int IaxRig::registered()
{
    const int id = engine->registerAccount(account());
    const bool ok = QTest::qWaitFor([this] { return probe->registrations(RegistrationReply::Accepted) > 0; }, 5000);
    return ok ? id : -1;
}

quint16 IaxRig::callIn(quint16 port, quint32 format, const QString &number, const QString &name)
{
    return pbx.callEngine(port, QStringLiteral("201"), number, name, format, format);
}

int IaxRig::ringing() const
{
    return QTest::qWaitFor([this] { return probe->incomingCall() >= 0; }, 3000) ? probe->incomingCall() : -1;
}

int IaxRig::answeredCall(quint32 format, FakePbx::Dialogue **dialogue, const QString &number)
{
    probe->clear();
    const quint16 pbxCall = callIn(engine->localPort(), format, number);
    const int call = ringing();
    if (call < 0 || !engine->answer(call))
        return -1;
    *dialogue = pbx.dialogue(pbxCall);
    return call;
}

int IaxRig::dialledCall(FakePbx::Dialogue **dialogue, const std::string &number)
{
    const int call = engine->dial(account(), number);
    const auto reached = [&] { return pbx.latest(QStringLiteral("call-in")) && probe->count<RingingOutEvent>() > 0; };
    if (call < 0 || !QTest::qWaitFor(reached, 5000))
        return -1;
    *dialogue = pbx.latest(QStringLiteral("call-in"));
    pbx.sendControl((*dialogue)->localNo, 4); // answer
    return QTest::qWaitFor([&] { return engine->callState(call) & CallComplete; }, 5000) ? call : -1;
}
