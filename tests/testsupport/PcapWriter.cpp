#include "testsupport/PcapWriter.h"

#include <QSaveFile>
#include <QtEndian>

namespace {

template<typename T>
void put(QByteArray &out, T v, bool bigEndian)
{
    char b[sizeof(T)];
    bigEndian ? qToBigEndian(v, b) : qToLittleEndian(v, b);
    out.append(b, sizeof(T));
}

} // namespace

bool PcapWriter::write(const QString &path, const QList<PcapPacket> &packets)
{
    QByteArray out;
    // Microsecond timestamps, version 2.4, snap length 65535, LINKTYPE_IPV4.
    for (quint32 v : { 0xa1b2c3d4u, 0x00040002u, 0u, 0u, 65535u, 228u })
        put<quint32>(out, v, false);
    quint16 id = 1;
    for (const PcapPacket &p : packets) {
        QByteArray ip;
        for (quint16 v : { quint16(0x4500), quint16(28 + p.payload.size()), id++, quint16(0x4000), quint16(0x4011),
                 quint16(0), quint16(0x7f00), quint16(1), quint16(0x7f00), quint16(1) })
            put(ip, v, true);
        quint32 sum = 0;
        for (int i = 0; i < 20; i += 2)
            sum += (quint32(quint8(ip[i])) << 8) | quint8(ip[i + 1]);
        while (sum >> 16)
            sum = (sum & 0xffff) + (sum >> 16);
        qToBigEndian(quint16(~sum), ip.data() + 10);
        // UDP without a checksum, as IPv4 allows.
        for (quint16 v : { p.sourcePort, p.destPort, quint16(8 + p.payload.size()), quint16(0) })
            put(ip, v, true);
        ip.append(p.payload);
        for (quint32 v :
            { quint32(p.usec / 1000000), quint32(p.usec % 1000000), quint32(ip.size()), quint32(ip.size()) })
            put(out, v, false);
        out.append(ip);
    }
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.commit();
}
