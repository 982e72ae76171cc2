#include "PhoneFixture.h"

#include <QTest>

#include "core/Paths.h"
#include "core/TQuorCall.h"
#include "core/XmlReader.h"
#include "settings/TQuorSettings.h"
#include "softphone/TQuorPhone.h"
#include "testsupport/FakePbx.h"
#include "testsupport/LoopbackCalls.h"
#include "testsupport/TestDataDir.h"

namespace {

const QString kUser = QStringLiteral("201");
const QString kSecret = QStringLiteral("s3cret");

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
    return LoopbackCalls::talkTo(m_phone.get(), m_pbx.get(), number, &m_dialogues);
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
    return LoopbackCalls::hangUpAll(m_phone.get(), m_pbx.get(), &m_dialogues);
}

QStringList PhoneFixture::transferTargets() const
{
    return LoopbackCalls::transferTargets(*m_pbx);
}
