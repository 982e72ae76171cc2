#include "testsupport/PcapWriter.h"

#include <QList>
#include <QSaveFile>
#include <QtEndian>

namespace {

void le32(QByteArray &out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

void le16(QByteArray &out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void be16(QByteArray &out, quint16 v)
{
    char b[2];
    qToBigEndian(v, b);
    out.append(b, 2);
}

quint16 ipChecksum(const QByteArray &header)
{
    quint32 sum = 0;
    for (int i = 0; i + 1 < header.size(); i += 2)
        sum += (quint32(quint8(header[i])) << 8) | quint8(header[i + 1]);
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return quint16(~sum);
}

} // namespace

bool PcapWriter::write(const QString &path, const QList<PcapPacket> &packets)
{
    QByteArray out;
    le32(out, 0xa1b2c3d4); // microsecond timestamps, written little-endian
    le16(out, 2);
    le16(out, 4);
    le32(out, 0);
    le32(out, 0);
    le32(out, 65535);
    le32(out, 228); // LINKTYPE_IPV4
    quint16 id = 1;
    for (const PcapPacket &p : packets) {
        QByteArray ip;
        ip.append(char(0x45));
        ip.append(char(0));
        be16(ip, quint16(20 + 8 + p.payload.size()));
        be16(ip, id++);
        be16(ip, 0x4000);
        ip.append(char(64));
        ip.append(char(17));
        be16(ip, 0);
        ip.append("\x7f\x00\x00\x01\x7f\x00\x00\x01", 8);
        const quint16 sum = ipChecksum(ip);
        ip[10] = char(sum >> 8);
        ip[11] = char(sum & 0xff);
        be16(ip, p.sourcePort);
        be16(ip, p.destPort);
        be16(ip, quint16(8 + p.payload.size()));
        be16(ip, 0); // no UDP checksum, as IPv4 allows
        ip.append(p.payload);

        le32(out, quint32(p.usec / 1000000));
        le32(out, quint32(p.usec % 1000000));
        le32(out, quint32(ip.size()));
        le32(out, quint32(ip.size()));
        out.append(ip);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(out);
    return file.commit();
}
