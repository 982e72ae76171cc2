#include "softphone/QuorIaxClient.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "core/Logger.h"
#include "softphone/VoipEvent.h"

#include "iax2/media/PortAudioDevice.h"

#include <variant>

using iax2::EngineEvent;

namespace {

TMessageType messageType(int textType)
{
    switch (textType) {
    case iax2::TextWarning:
        return MessageWarning;
    case iax2::TextError:
        return MessageError;
    default:
        return MessageStatus;
    }
}

Logger::Level logLevel(int textType)
{
    switch (textType) {
    case iax2::TextWarning:
        return Logger::Warning;
    case iax2::TextError:
        return Logger::Error;
    default:
        return Logger::Info;
    }
}

} // namespace

QuorIaxClient::QuorIaxClient(QObject *parent)
    : QuorIaxClient(Options(), parent)
{
}

QuorIaxClient::QuorIaxClient(Options options, QObject *parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    qRegisterMetaType<TMessageType>("TMessageType");
    qRegisterMetaType<QuorIaxClient::RegistrationResult>("QuorIaxClient::RegistrationResult");

    iax2::AudioDevice *audio = m_options.audio;
    if (!audio && m_options.useSoundCard) {
        auto card = std::make_unique<iax2::PortAudioDevice>();
        // What the sound system said while it probed the devices, and later
        // (then on the engine's thread: the logger is thread-safe).
        card->setLogHandler([](const std::string &line) {
            Logger::info(QStringLiteral("Sound: ") + Logger::escaped(QString::fromLocal8Bit(line.c_str())));
        });
        if (card->isInitialized()) {
            // Reported on whichever thread touched the device: post, never emit.
            card->setErrorHandler([this](const std::string &text) {
                QCoreApplication::postEvent(this, new VoipEvent(iax2::TextEvent { iax2::TextError, text }));
            });
            audio = card.get();
            m_soundCard = std::move(card);
        } else {
            postText(iax2::TextError, tr("The sound system could not be started; calls have no sound"));
        }
    }

    m_engine = std::make_unique<iax2::Iax2Engine>(m_options.engine, audio);
    m_engine->setEventCallback(
        [this](const EngineEvent &event) { QCoreApplication::postEvent(this, new VoipEvent(event)); });
    m_engine->setLogCallback([this](int level, const std::string &line) {
        QCoreApplication::postEvent(this, VoipEvent::logLine(level, line));
    });
    m_engine->setFormats(iax2::FormatUlaw, iax2::FormatUlaw | iax2::FormatAlaw);
    m_allowed = m_engine->allowedFormats();
    m_preferred = m_engine->preferredFormat();

    if (!m_engine->isOpen()) {
        // Posted, so the phone hears of it once it has connected its slots.
        postText(iax2::TextError,
            tr("The softphone cannot open its network port: %1").arg(QString::fromStdString(m_engine->error())));
        return;
    }
    m_engine->start();
}

QuorIaxClient::~QuorIaxClient()
{
    if (m_engine) {
        // A callback that is running finishes before stop() returns; none starts after.
        m_engine->setEventCallback(nullptr);
        m_engine->setLogCallback(nullptr);
        m_engine->stop();
        m_engine.reset();
    }
    m_soundCard.reset();
}

bool QuorIaxClient::isOpen() const
{
    return m_engine && m_engine->isOpen();
}

QString QuorIaxClient::errorText() const
{
    return m_engine ? QString::fromStdString(m_engine->error()) : QString();
}

quint16 QuorIaxClient::localPort() const
{
    return m_engine ? m_engine->localPort() : 0;
}

bool QuorIaxClient::isRunning() const
{
    return m_engine && m_engine->isRunning();
}

// ---------------------------------------------------------------- settings

void QuorIaxClient::applyAccount(const TVoipAccount &account)
{
    if (m_shuttingDown || !m_engine)
        return;
    m_engine->setCallerId(account.callerIdName().toStdString(), account.callerIdNumber().toStdString());
    const bool standing = m_account.registrationState() == TVoipAccount::Registering
        || m_account.registrationState() == TVoipAccount::Registered;
    if (account.sameRegistration(m_account) && standing) {
        const int id = m_account.m_registrationId;
        const TVoipAccount::RegistrationState state = m_account.m_state;
        m_account = account;
        m_account.m_registrationId = id;
        m_account.m_state = state;
        return;
    }
    unregisterAccount();
    m_account = account;
    m_account.m_registrationId = -1;
    m_account.m_state = TVoipAccount::Unregistered;
    registerAccount();
}

void QuorIaxClient::applyAudioDevices(int input, int output, int ring, bool ringInBoth, bool muteRing)
{
    m_ringInBoth = ringInBoth;
    m_muteRing = muteRing;
    if (!m_engine)
        return;
    m_engine->setRingOptions(ringInBoth, muteRing);
    // The sound card names the missing device itself, through its error texts.
    if (!m_engine->selectAudioDevices(input, output, ring) && !m_soundCard)
        message(tr("A chosen sound device is not available"), MessageWarning);
}

void QuorIaxClient::applyFilters(int mask)
{
    if (m_engine)
        m_engine->setFilters(mask);
}

void QuorIaxClient::applyCodecs(int allowed, int preferred)
{
    if (!m_engine)
        return;
    // The engine masks what it cannot offer (iLBC) and says so through its
    // text events, so the rule and its messages live in one place.
    m_engine->setFormats(uint32_t(preferred), uint32_t(allowed));
    m_allowed = m_engine->allowedFormats();
    m_preferred = m_engine->preferredFormat();
}

void QuorIaxClient::applySpeex(int decodeEnhance, float quality, int cbr, int vbr, int abr, int complexity)
{
    if (!m_engine)
        return;
    iax2::SpeexSettings s;
    s.decodeEnhance = decodeEnhance;
    s.quality = quality;
    s.cbr = cbr;
    s.vbr = vbr;
    s.abr = abr;
    s.complexity = complexity;
    m_engine->setSpeexSettings(s);
}

std::vector<iax2::AudioDeviceInfo> QuorIaxClient::audioDevices() const
{
    return m_engine ? m_engine->audioDevices() : std::vector<iax2::AudioDeviceInfo>();
}

// ---------------------------------------------------------------- registration

void QuorIaxClient::registerAccount()
{
    if (m_shuttingDown || !m_engine)
        return;
    unregisterAccount();
    if (!m_account.isComplete()) {
        message(tr("No PBX server or user name set: the phone is not registered"), MessageWarning);
        return;
    }
    const int id = m_engine->registerAccount(m_account.toEngineAccount());
    if (id < 0) {
        message(tr("The phone cannot register: no room for another registration"), MessageError);
        return;
    }
    m_account.m_registrationId = id;
    m_account.m_state = TVoipAccount::Registering;
    Logger::info(
        QStringLiteral("Registering %1 at %2:%3").arg(m_account.user(), m_account.server()).arg(m_account.port()));
}

void QuorIaxClient::unregisterAccount()
{
    if (m_account.m_registrationId < 0)
        return;
    if (m_engine)
        m_engine->unregisterAccount(m_account.m_registrationId);
    Logger::info(QStringLiteral("Releasing the registration of %1 at %2").arg(m_account.user(), m_account.server()));
    m_account.m_registrationId = -1;
    m_account.m_state = TVoipAccount::Unregistered;
}

// ---------------------------------------------------------------- calls

int QuorIaxClient::dial(const QString &number)
{
    if (m_shuttingDown || !m_engine)
        return -1;
    const QString target = number.trimmed();
    if (target.isEmpty())
        return -1;
    if (m_account.server().isEmpty()) {
        message(tr("No PBX server set: the call cannot be placed"), MessageError);
        return -1;
    }
    // An empty capability would only be refused by the PBX with a less clear cause.
    if (!m_allowed) {
        message(tr("No usable codec is allowed: the call cannot be placed"), MessageError);
        return -1;
    }
    const int call = m_engine->dial(m_account.toEngineAccount(), target.toStdString());
    if (call < 0)
        Logger::warning(QStringLiteral("No free line for a call to %1").arg(target));
    return call;
}

bool QuorIaxClient::answer(int call)
{
    return m_engine && !m_shuttingDown && m_engine->answer(call);
}

void QuorIaxClient::selectCall(int call)
{
    if (m_engine)
        m_engine->selectCall(call);
}

int QuorIaxClient::selectedCall() const
{
    return m_engine ? m_engine->selectedCall() : -1;
}

void QuorIaxClient::reject(int call)
{
    if (m_engine)
        m_engine->reject(call);
}

void QuorIaxClient::sendBusy(int call)
{
    if (m_engine)
        m_engine->sendBusy(call);
}

void QuorIaxClient::hangup(int call)
{
    if (m_engine)
        m_engine->hangup(call);
}

void QuorIaxClient::hangupAll()
{
    if (m_engine)
        m_engine->hangupAll();
}

bool QuorIaxClient::hold(int call)
{
    return m_engine && m_engine->quelch(call, true);
}

bool QuorIaxClient::resume(int call)
{
    return m_engine && m_engine->unquelch(call);
}

bool QuorIaxClient::sendDtmf(QChar digit, int call)
{
    if (!m_engine || digit.unicode() > 0x7f)
        return false;
    return m_engine->sendDtmf(char(digit.unicode()), call);
}

bool QuorIaxClient::blindTransfer(int call, const QString &number)
{
    if (m_shuttingDown || !m_engine)
        return false;
    const QString target = number.trimmed();
    return !target.isEmpty() && m_engine->blindTransfer(call, target.toStdString());
}

bool QuorIaxClient::attendedTransfer(int heldCall, int talkingCall)
{
    return !m_shuttingDown && m_engine && m_engine->attendedTransfer(heldCall, talkingCall);
}

int QuorIaxClient::callSlots() const
{
    return m_engine ? m_engine->callSlots() : 0;
}

int QuorIaxClient::callState(int call) const
{
    return m_engine ? m_engine->callState(call) : iax2::CallFree;
}

void QuorIaxClient::setMute(bool mute)
{
    if (m_engine)
        m_engine->setMicMute(mute);
}

bool QuorIaxClient::isMuted() const
{
    return m_engine && m_engine->micMute();
}

void QuorIaxClient::setInputLevel(float level)
{
    if (m_engine)
        m_engine->setInputLevel(level);
}

void QuorIaxClient::setOutputLevel(float level)
{
    if (m_engine)
        m_engine->setOutputLevel(level);
}

float QuorIaxClient::inputLevel() const
{
    return m_engine ? m_engine->inputLevel() : 0.0f;
}

float QuorIaxClient::outputLevel() const
{
    return m_engine ? m_engine->outputLevel() : 0.0f;
}

// ---------------------------------------------------------------- quitting

void QuorIaxClient::shutdown()
{
    if (m_shuttingDown)
        return;
    m_shuttingDown = true;
    if (m_engine && m_engine->isRunning()) {
        // Release and hang up while the engine can still carry them to the PBX.
        unregisterAccount();
        m_engine->hangupAll();
        QEventLoop wait;
        QTimer::singleShot(kShutdownWaitMs, &wait, &QEventLoop::quit);
        wait.exec(QEventLoop::ExcludeUserInputEvents);
    }
    if (m_engine) {
        m_engine->stop();
        m_engine->setEventCallback(nullptr);
        m_engine->setLogCallback(nullptr);
        // The engine's last words (the hang-ups) are queued: deliver them before it goes.
        QCoreApplication::sendPostedEvents(this, VoipEvent::kType);
        m_engine.reset();
    }
    m_soundCard.reset();
    m_shutDown = true;
    Logger::info(QStringLiteral("Softphone engine stopped"));
}

// ---------------------------------------------------------------- engine events

void QuorIaxClient::customEvent(QEvent *event)
{
    if (event->type() != VoipEvent::kType) {
        QObject::customEvent(event);
        return;
    }
    const auto *voip = static_cast<VoipEvent *>(event);
    if (voip->isLogLine()) {
        const auto &line = std::get<iax2::TextEvent>(voip->engineEvent());
        Logger::log(logLevel(line.type), QStringLiteral("IAX2: ") + QString::fromStdString(line.text));
        return;
    }
    handleEvent(voip->engineEvent());
}

void QuorIaxClient::handleEvent(const EngineEvent &event)
{
    std::visit(iax2::Overloaded {
                   [this](const iax2::TextEvent &e) {
                       const QString text = QString::fromStdString(e.text);
                       Logger::log(logLevel(e.type), QStringLiteral("IAX2: ") + text);
                       emit signalMessage(text, messageType(e.type));
                   },
                   [this](const iax2::IncomingCallEvent &e) {
                       emit signalRingingIn(
                           e.callNo, QString::fromStdString(e.remoteName), QString::fromStdString(e.remoteNumber));
                   },
                   [this](const iax2::CallAcceptedEvent &e) { emit signalAccepted(e.callNo); },
                   [this](const iax2::RingingOutEvent &e) { emit signalRingingOut(e.callNo); },
                   [this](const iax2::AnsweredEvent &e) { emit signalAnswered(e.callNo); },
                   // The phone holds and resumes through us and keeps that state itself.
                   [](const iax2::HoldEvent &) {},
                   [this](const iax2::CallEndedEvent &e) { emit signalHungUp(e.callNo, e.wasAnswered); },
                   [this](const iax2::TransferEvent &e) { emit signalTransferResult(e.callNo, e.ok); },
                   [this](const iax2::RegistrationEvent &e) { handleRegistration(e); },
                   [this](const iax2::LevelsEvent &e) { emit signalLevels(e.input, e.output); },
                   [](const iax2::NetStatsEvent &) {},
               },
        event);
}

void QuorIaxClient::handleRegistration(const iax2::RegistrationEvent &e)
{
    // Replies to a registration we have since replaced or released are stale.
    if (e.registrationId != m_account.m_registrationId || m_account.m_registrationId < 0)
        return;
    RegistrationResult result = RegistrationAccepted;
    const QString cause = QString::fromStdString(e.cause);
    switch (e.reply) {
    case iax2::RegistrationReply::Accepted:
        // A refresh of a standing registration is no news: said at every
        // refresh, it would push the messages that matter out of the list.
        if (m_account.m_state == TVoipAccount::Registered)
            return;
        m_account.m_state = TVoipAccount::Registered;
        Logger::info(QStringLiteral("Registered at %1").arg(m_account.server()));
        break;
    case iax2::RegistrationReply::Rejected:
        m_account.m_state = TVoipAccount::Rejected;
        result = RegistrationRejected;
        Logger::warning(QStringLiteral("Registration at %1 rejected%2")
                            .arg(m_account.server(), cause.isEmpty() ? QString() : QStringLiteral(": ") + cause));
        break;
    case iax2::RegistrationReply::Timeout:
        m_account.m_state = TVoipAccount::TimedOut;
        result = RegistrationTimeout;
        Logger::warning(QStringLiteral("No answer from %1 to the registration").arg(m_account.server()));
        break;
    }
    emit signalRegistration(result, cause);
}

void QuorIaxClient::message(const QString &text, TMessageType type)
{
    Logger::log(type == MessageError ? Logger::Error : type == MessageWarning ? Logger::Warning : Logger::Info, text);
    emit signalMessage(text, type);
}

// Logged when the event is handled, like the engine's own texts.
void QuorIaxClient::postText(int type, const QString &text)
{
    QCoreApplication::postEvent(this, new VoipEvent(iax2::TextEvent { type, text.toStdString() }));
}
