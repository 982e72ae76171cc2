#include "extensions/Channel.h"

#include <QElapsedTimer>
#include <QTime>
#include <QTimer>

#include "ami/ManagerSocket.h"

namespace {

constexpr int kTickMs = 1000;

Channel::Clock &testClock()
{
    static Channel::Clock clock;
    return clock;
}

qint64 now()
{
    if (testClock())
        return testClock()();
    static QElapsedTimer monotonic;
    if (!monotonic.isValid())
        monotonic.start();
    return monotonic.elapsed();
}

} // namespace

Channel::Channel(QString uniqueid, QString name, QString callerId, QString callerIdName, QString state)
    : ext(ManagerSocket::extFromChannel(name))
    , tech(ManagerSocket::techFromChannel(name))
    , name(std::move(name))
    , state(std::move(state))
    , callerId(std::move(callerId))
    , callerIdName(std::move(callerIdName))
    , uniqueid(std::move(uniqueid))
    , created(QDateTime::currentDateTime())
    , durationTimer(new QTimer(this))
{
    // A coarse timer may fire early and show the same second twice.
    durationTimer->setTimerType(Qt::PreciseTimer);
    durationTimer->setInterval(kTickMs);
    connect(durationTimer, &QTimer::timeout, this, &Channel::timeout);
}

Channel::~Channel() = default;

void Channel::setState(QString newState)
{
    state = std::move(newState);
    emit stateChangedEvent();
}

void Channel::joinQueue(QString newQueue)
{
    inQueue = true;
    // Receivers of the signal still read the queue the channel was in before.
    emit joinQueueEvent();
    queue = std::move(newQueue);
}

void Channel::leaveQueue()
{
    queue.clear();
    inQueue = false;
    emit leaveQueueEvent();
}

void Channel::setParkedTo(QString space)
{
    parkedTo = std::move(space);
}

void Channel::park(QString space)
{
    parked = true;
    setParkedTo(std::move(space));
    emit parkEvent();
}

void Channel::unPark()
{
    parkedTo.clear();
    parked = false;
    emit unParkEvent();
}

void Channel::link(QString peer)
{
    durationTimer->start(kTickMs);
    linkTime = now();
    linkedTo = std::move(peer);
    linked = true;
    emit linkEvent(uniqueid, linkedTo);
}

void Channel::unlink()
{
    // The clock keeps running: the call time goes on until the hangup.
    linkedTo.clear();
    linked = false;
    emit unlinkEvent();
}

void Channel::hangup()
{
    emit hangupEvent(uniqueid);
}

void Channel::rename(QString newName)
{
    name = std::move(newName);
    ext = ManagerSocket::extFromChannel(name);
    tech = ManagerSocket::techFromChannel(name);
    emit renameEvent(uniqueid);
}

void Channel::timeout()
{
    emit timeoutEvent(callTimeText(linkTime < 0 ? 0 : now() - linkTime));
}

QString Channel::callTimeText(qint64 elapsedMs)
{
    const QTime time = QTime(0, 0).addMSecs(elapsedMs);
    return time.toString(time.hour() < 1 ? QStringLiteral("mm:ss") : QStringLiteral("hh:mm:ss"));
}

void Channel::setClock(Clock clock)
{
    testClock() = std::move(clock);
}

QString Channel::tileTech(const QString &channelTech)
{
    // The PBX names its channels in upper case: another spelling is no peer's.
    if (channelTech == QLatin1String("IAX2"))
        return QStringLiteral("IAX");
    if (channelTech == QLatin1String("DAHDI"))
        return QStringLiteral("Zap");
    return channelTech;
}

bool Channel::matches(
    const QString &channelExt, const QString &channelTech, const QString &tileExtension, const QString &tileTechnology)
{
    return channelExt == tileExtension && tileTech(channelTech) == tileTechnology;
}
