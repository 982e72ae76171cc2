#pragma once

#include <QString>

// Channel names as the PBX reports a moved or parked leg, taken back to the
// channel they stand for. The splitters of a name into technology and
// extension are ManagerSocket::techFromChannel and extFromChannel.
namespace ChannelName {

// "AsyncGoto/SIP/102-0c0d<ZOMBIE>" gives SIP/102-0c0d: the text after the
// first "/", cut before its first "<". Any name without "AsyncGoto" stays
// whole.
QString unwrapAsyncGoto(const QString &channel);
// The same, and also "Parked/SIP/101-0a1b" (or "Parking/...") gives the text
// after the first "/".
QString clean(const QString &channel);

} // namespace ChannelName
