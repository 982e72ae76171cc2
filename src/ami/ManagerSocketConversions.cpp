// The conversions of CLI command output (peer tables, show-peer answers, driver
// status, AstDB misses, showkey) into messages of the AMI's key-and-value form.

#include "ami/ManagerSocket.h"

#include "ami/AmiText.h"

using namespace Qt::StringLiterals;
using namespace AmiText;

namespace {

// Every CR, LF and blank removed: CLI labels such as "Caller ID name" become
// the keys the conversions look for.
QString normalised(const QString &line)
{
    QString out;
    out.reserve(line.size());
    for (const QChar c : line) {
        if (c != u'\r' && c != u'\n' && c != u' ')
            out.append(c);
    }
    return out;
}

QString nameBeforeSlash(QStringView field)
{
    const qsizetype slash = field.indexOf(u'/');
    return (slash < 0 ? field : field.left(slash)).toString();
}

// "192.168.1.10Port4569": the port follows the last "Port" that has something
// before it, the address precedes the first "Port" that has something after it.
QString portOf(const QString &value)
{
    const qsizetype at = value.lastIndexOf(u"Port");
    return at >= 1 ? value.mid(at + 4) : value;
}

QString addressOf(const QString &value)
{
    const qsizetype at = value.indexOf(u"Port");
    return (at >= 0 && at + 4 < value.size()) ? value.left(at) : value;
}

} // namespace

// ---------------------------------------------------------------------------
// Peer tables

void ManagerSocket::readSipPeers(QStringList message)
{
    scanSipIax(message, true, true);
}

void ManagerSocket::countSipPeers(QStringList message)
{
    scanSipIax(message, true, false);
}

void ManagerSocket::readIaxPeers(QStringList message)
{
    scanSipIax(message, false, true);
}

void ManagerSocket::countIaxPeers(QStringList message)
{
    scanSipIax(message, false, false);
}

void ManagerSocket::readZapChannels(QStringList message)
{
    scanChannelTable(message, false);
}

void ManagerSocket::readDgvChannels(QStringList message)
{
    scanChannelTable(message, true);
}

// Rows are the lines after the first header line, less the summary line and
// the "END COMMAND" line, that split into more than two fields.
void ManagerSocket::scanSipIax(const QStringList &message, bool sip, bool emitPeers)
{
    int &count = sip ? sipCount : iaxCount;
    QString &countText = sip ? sipCountText : iaxCountText;
    count = 0;
    countText = u"0"_s;

    const QString header = sip ? u"Name/username"_s : u"Name/Username"_s;
    const QString summary = sip ? u"sip peers"_s : u"iax2 peers"_s;
    const QString channelType = sip ? u"Channeltype: SIP"_s : u"Channeltype: IAX"_s;

    bool headerSeen = false;
    bool splitThisLine = false;
    Fields fields;
    for (const QString &line : message) {
        if (line.contains(header))
            headerSeen = true;
        if (line.contains(u"END COMMAND"))
            splitThisLine = false;
        if (line.contains(summary)) {
            const QStringView digits = leadingDigits(line);
            if (!digits.isEmpty())
                countText = digits.toString();
            splitThisLine = headerSeen;
            continue;
        }
        if (splitThisLine) {
            splitAtWhitespace(line, fields);
            if (fields.size() > 2) {
                const QStringView address = fields.at(1);
                bool counts = !address.contains(u"Unspecified");
                if (sip && counts) {
                    for (const QStringView field : std::as_const(fields)) {
                        if (field == u"UNREACHABLE") {
                            counts = false;
                            break;
                        }
                    }
                }
                if (counts)
                    ++count;
                if (emitPeers) {
                    emit PeerEntry({ u"Event: PeerEntry"_s, channelType,
                        u"ObjectName: "_s + nameBeforeSlash(fields.at(0)), u"IPaddress: "_s + address.toString() });
                }
            }
        }
        splitThisLine = headerSeen;
    }

    QStringList closing;
    if (emitPeers)
        closing << u"Event: PeerlistComplete"_s;
    else
        closing << (sip ? u"Event: SipCount"_s : u"Event: IaxCount"_s);
    closing << u"ListItems: "_s + countText << u"ListAvail: "_s + QString::number(count);
    emit peersCount(closing, sip ? u"SIP"_s : u"IAX"_s);
}

void ManagerSocket::scanChannelTable(const QStringList &message, bool dgv)
{
    const QString header = dgv ? u"Chan Group"_s : u"Chan Extension"_s;
    const QString channelType = dgv ? u"Channeltype: DGV"_s : u"Channeltype: Zap"_s;

    int count = 0;
    bool headerSeen = false;
    bool splitThisLine = false;
    Fields fields;
    for (const QString &line : message) {
        if (line.contains(header))
            headerSeen = true;
        if (line.contains(u"END COMMAND"))
            splitThisLine = false;
        if (splitThisLine) {
            splitAtWhitespace(line, fields);
            if (fields.size() > 2) {
                QStringView name;
                if (fields.at(0).isEmpty())
                    name = fields.at(1);
                else if (!dgv)
                    name = fields.at(0);
                else if (fields.size() > 5)
                    name = fields.at(5);
                // A DGV row too short to hold its name field yields nothing.
                if (!name.isNull() && name != u"pseudo") {
                    emit PeerEntry({ u"Event: PeerEntry"_s, channelType, u"ObjectName: "_s + name.toString(),
                        u"IPaddress: 127.0.0.1"_s });
                    ++count;
                }
            }
        }
        splitThisLine = headerSeen;
    }

    emit peersCount(
        { u"Event: PeerlistComplete"_s, u"ListItems: "_s + QString::number(count) }, dgv ? u"DGV"_s : u"Zap"_s);
}

// ---------------------------------------------------------------------------
// Show-peer answers

void ManagerSocket::readIaxPeer(QStringList message)
{
    QStringList record;
    QString key;
    QString value;
    for (const QString &line : std::as_const(message)) {
        QString norm = normalised(line);
        norm.replace(u"*Name"_s, u"Name"_s);
        if (!keyAndValue(norm, &key, &value))
            continue;
        if (key == u"ActionID") {
            record << u"ActionID: "_s + value;
        } else if (key == u"Mailbox") {
            record << u"VoiceMailbox: "_s + value;
        } else if (key == u"Context") {
            record << u"Context: "_s + value;
        } else if (key == u"Name") {
            record << u"ObjectName: "_s + value;
        } else if (key == u"Callerid") {
            record << u"Callerid: "_s + value;
        } else if (key == u"Secret") {
            record << (value.contains(u"Set") ? u"SecretExist: Y"_s : u"SecretExist: N"_s);
        } else if (key == u"Addr->IP") {
            QString address = addressOf(value);
            if (address.contains(u"(Unspecified)"))
                address.clear();
            record << u"Address-IP: "_s + address << u"Adress-Port: "_s + portOf(value);
        } else if (key == u"Defaddr->IP") {
            record << u"Default-addr-IP: "_s + addressOf(value) << u"Default-addr-port: "_s + portOf(value);
        } else if (key == u"Codecs") {
            record << u"Codecs: "_s + value.replace(u"("_s, u" ("_s);
        } else if (key == u"CodecOrder") {
            value.remove(u'(');
            value.remove(u')');
            value.replace(u'|', u',');
            record << u"CodecOrder: "_s + value;
        } else if (key == u"Status") {
            record << u"Status: "_s + value;
        }
    }
    if (record.isEmpty())
        return;
    record << u"Response: Success"_s << u"ChanObjectType: peer"_s << u"Channeltype: IAX"_s << u"\r\n\r\n"_s;
    emit IaxPeer(record);
}

void ManagerSocket::readZapChannel(QStringList message)
{
    readCardChannel(message, u"Channeltype: Zap"_s);
}

void ManagerSocket::readDgvPeer(QStringList message)
{
    readCardChannel(message, u"Channeltype: Dgv"_s);
}

void ManagerSocket::readCardChannel(const QStringList &message, const QString &channelType)
{
    QStringList record;
    QString callerNumber;
    QString key;
    QString value;
    for (const QString &line : message) {
        if (!keyAndValue(normalised(line), &key, &value))
            continue;
        if (key == u"ActionID") {
            record << u"ActionID: "_s + value;
        } else if (key == u"Context") {
            record << u"Context: "_s + value;
        } else if (key == u"Channel") {
            record << u"ObjectName: "_s + value;
        } else if (key == u"CallerID") {
            callerNumber = value;
        } else if (key == u"CallerIDname") {
            record << u"Callerid: \""_s + value + u"\" <"_s + callerNumber + u">"_s;
        } else if (key == u"Defaultlaw") {
            record << u"Codecs: "_s + value << u"CodecOrder: "_s + value;
        }
    }
    if (!record.isEmpty()) {
        record << u"VoiceMailbox: not set"_s << u"SecretExist: N"_s << u"Address-IP: 127.0.0.1"_s
               << u"Adress-Port: 1234"_s << u"Default-addr-IP: 0.0.0.0"_s << u"Default-addr-port: 1234"_s
               << u"Response: Success"_s << channelType << u"\r\n\r\n"_s;
    }
    emit IaxPeer(record);
}

// ---------------------------------------------------------------------------
// Driver status, AstDB miss, showkey

void ManagerSocket::readDriverStatus(QStringList message, QString driverWord)
{
    if (message.isEmpty())
        return;

    bool headerSeen = false;
    bool splitThisLine = false;
    Fields fields;
    for (const QString &line : std::as_const(message)) {
        if (line.contains(u"Description"))
            headerSeen = true;
        if (line.contains(u"END COMMAND"))
            splitThisLine = false;
        if (line.contains(u"No such command 'dahdi'") || line.contains(u"No such command 'zap'")) {
            driver = u"none"_s;
            emit zapStatus({ u"Event: zapStatus"_s, u"Driver: none"_s });
            return;
        }
        if (splitThisLine) {
            splitAtWhitespace(line, fields);
            if (fields.size() > 2) {
                const QString device = techFromChannel(fields.at(0).toString());
                const bool dahdi = driverWord == u"dahdi";
                const QString other = dahdi ? u"Zap"_s : u"dahdi"_s;
                if (driver == other || driver == u"dummy")
                    return;
                if (device == (dahdi ? u"DAHDI_DUMMY" : u"ZTDUMMY")) {
                    driver = u"dummy"_s;
                    emit zapStatus({ u"Event: zapStatus"_s, u"Driver: dummy"_s });
                } else {
                    driver = dahdi ? u"dahdi"_s : u"Zap"_s;
                    emit zapStatus({ u"Event: zapStatus"_s, u"Driver: "_s + driver, u"ObjectName: "_s + device });
                }
                return;
            }
        }
        splitThisLine = headerSeen;
    }
}

void ManagerSocket::readDbError(QStringList message)
{
    QStringList result;
    QString key;
    QString value;
    for (const QString &line : std::as_const(message)) {
        if (line.contains(u"DBGet"))
            break;
        if (keyAndValue(normalised(line), &key, &value) && key == u"ActionID")
            result << u"Key: "_s + extFromChannel(value) << u"Option: "_s + optionFromActionId(value);
    }
    emit DBerror(result);
}

void ManagerSocket::readShowKey(QStringList message)
{
    // The lines appended here cannot name an ActionID, so scanning the
    // original lines is the whole scan.
    const qsizetype original = message.size();
    QString key;
    QString value;
    for (qsizetype i = 0; i < original; ++i) {
        QString copy = message.at(i);
        copy.remove(u' ');
        if (keyAndValue(copy, &key, &value) && key == u"ActionID")
            message << u"Key: "_s + extFromChannel(value) << u"Option: "_s + optionFromActionId(value);
    }
    emit showkey(message);
}
