#include "ami/ChannelName.h"

namespace ChannelName {

QString unwrapAsyncGoto(const QString &channel)
{
    if (!channel.contains(QLatin1String("AsyncGoto")))
        return channel;
    const QString rest = channel.mid(channel.indexOf(QLatin1Char('/')) + 1);
    const qsizetype angle = rest.indexOf(QLatin1Char('<'));
    return angle < 0 ? rest : rest.left(angle);
}

QString clean(const QString &channel)
{
    if (channel.contains(QLatin1String("AsyncGoto")))
        return unwrapAsyncGoto(channel);
    if (channel.contains(QLatin1String("Parked")) || channel.contains(QLatin1String("Parking")))
        return channel.mid(channel.indexOf(QLatin1Char('/')) + 1);
    return channel;
}

} // namespace ChannelName
