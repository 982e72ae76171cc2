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
    Account a;
    a.host = "127.0.0.1";
    a.port = pbx.port();
    a.user = "alice";
    a.secret = secret;
    return a;
}

quint16 IaxRig::callIn(quint16 port, quint32 format, const QString &number, const QString &name)
{
    return pbx.callEngine(port, QStringLiteral("201"), number, name, format, format);
}

int IaxRig::answeredCall(quint32 format, FakePbx::Dialogue **dialogue, const QString &number)
{
    probe->clear();
    const quint16 pbxCall = callIn(engine->localPort(), format, number);
    if (!QTest::qWaitFor([this] { return probe->incomingCall() >= 0; }, 3000))
        return -1;
    const int call = probe->incomingCall();
    if (!engine->answer(call))
        return -1;
    *dialogue = pbx.dialogue(pbxCall);
    return call;
}
