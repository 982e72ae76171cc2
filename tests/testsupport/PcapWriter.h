#pragma once

// Writes UDP datagrams on 127.0.0.1 into a pcap file (link type raw IPv4,
// synthetic IP and UDP headers), so a dissector can check the wire format
// without capture rights.

#include <QByteArray>
#include <QList>
#include <QString>

struct PcapPacket
{
    quint16 sourcePort = 0;
    quint16 destPort = 0;
    qint64 usec = 0;
    QByteArray payload;
};

class PcapWriter
{
public:
    // Returns false when the file cannot be written.
    static bool write(const QString &path, const QList<PcapPacket> &packets);
};
