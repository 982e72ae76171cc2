#include "PhoneFixture.h"

#include <QTest>

#include "core/Paths.h"
#include "core/TQuorCall.h"
#include "core/XmlReader.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/TestDataDir.h"

namespace {

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");
constexpr int kAnswer = 4;
constexpr int kIaxFrame = 6;
constexpr int kIaxTransfer = 0x22;
constexpr int kCalledNumber = 1;

void setKey(XmlReader &xml, const QString &section, const QString &key, const QString &value)
{
    xml.addValue(key, value, section);
    xml.setValue(key, value, section);
}

} // namespace

PhoneFixture::PhoneFixture()
    : m_data(std::make_unique<TestDataDir>())
    , m_pbx(std::make_unique<FakePbx>())
{
    m_pbx->addUser(kUser, kSecret);
}

PhoneFixture::~PhoneFixture()
{
    m_phone.reset();
    m_settings.reset();
    m_pbx.reset();
    m_data.reset();
}

bool PhoneFixture::start()
{
    {
        XmlReader xml(Paths::dataFile(QStringLiteral("quorer.xml")));
        xml.createRoot(QStringLiteral("quorer"));
        const QString agent = QStringLiteral("agent");
        setKey(xml, agent, QStringLiteral("server"), QStringLiteral("127.0.0.1"));
        setKey(xml, agent, QStringLiteral("port"), QString::number(m_pbx->port()));
        setKey(xml, agent, QStringLiteral("uname"), kUser);
        setKey(xml, agent, QStringLiteral("passwd"), TQuorSettings::scramblePassword(kSecret));
        setKey(xml, QStringLiteral("codecs"), QStringLiteral("ulaw"), QStringLiteral("yes"));
        setKey(xml, QStringLiteral("codecs"), QStringLiteral("default"), QStringLiteral("ulaw"));
        if (!xml.save())
            return false;
    }
    m_settings = std::make_unique<TQuorSettings>();
    TQuorPhone::Options options;
    options.voip.engine.bindAddress = "127.0.0.1";
    options.voip.engine.port = 0;
    options.voip.useSoundCard = false;
    options.clickToDialPort = -1;
    m_phone = std::make_unique<TQuorPhone>(m_settings.get(), options);
    m_phone->setExitFunction([](int) {});
    return QTest::qWaitFor([this] { return m_pbx->regAcks() >= 1; }, 10000);
}

TQuorCall *PhoneFixture::talkTo(const QString &number)
{
    const FakePbx::Dialogue *previous = m_pbx->latest(QStringLiteral("call-in"));
    const quint16 before = previous ? previous->localNo : 0;
    m_phone->callNumber(number);
    const auto dialled = [&] {
        const FakePbx::Dialogue *d = m_pbx->latest(QStringLiteral("call-in"));
        return d && d->localNo != before && d->called == number && d->remoteNo != 0;
    };
    if (!QTest::qWaitFor(dialled, 10000))
        return nullptr;
    m_dialogues << m_pbx->latest(QStringLiteral("call-in"))->localNo;
    m_pbx->sendControl(m_dialogues.last(), kAnswer);
    const auto talking = [&] { return m_phone->talkingCall() && m_phone->talkingCall()->dialled == number; };
    return QTest::qWaitFor(talking, 10000) ? m_phone->talkingCall() : nullptr;
}

TQuorCall *PhoneFixture::answerCallFrom(const QString &number, const QString &name)
{
    const qsizetype before = m_phone->currentCalls().size();
    m_dialogues << m_pbx->callEngine(m_phone->voip()->localPort(), kUser, number, name);
    if (!QTest::qWaitFor([&] { return m_phone->currentCalls().size() == before + 1; }, 10000))
        return nullptr;
    TQuorCall *call = m_phone->currentCalls().last();
    m_phone->control();
    if (!QTest::qWaitFor([&] { return m_phone->isOwnCall(call) && call->state == CallTalking; }, 10000))
        return nullptr;
    return call;
}

bool PhoneFixture::hangUpAll()
{
    for (quint16 dialogue : std::as_const(m_dialogues)) {
        const FakePbx::Dialogue *d = m_pbx->dialogue(dialogue);
        if (d && !d->hungUp)
            m_pbx->hangup(dialogue);
    }
    m_dialogues.clear();
    // Calls the PBX never answered end from the phone's side.
    for (int tries = 0; tries < 10 && !m_phone->currentCalls().isEmpty(); ++tries) {
        const qsizetype before = m_phone->currentCalls().size();
        m_phone->hangupCurrent();
        if (!QTest::qWaitFor([&] { return m_phone->currentCalls().size() < before; }, 2000))
            break;
    }
    return QTest::qWaitFor([this] { return m_phone->currentCalls().isEmpty(); }, 10000);
}

QStringList PhoneFixture::transferTargets() const
{
    QStringList targets;
    for (const FakePbx::Frame &f : m_pbx->received()) {
        if (f.type == kIaxFrame && f.subclass == kIaxTransfer)
            targets << QString::fromUtf8(f.ies.value(kCalledNumber));
    }
    return targets;
}
