#include "iax2/Frame.h"

namespace iax2 {

namespace {

void putU16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
}

void putU32(std::vector<uint8_t> &out, uint32_t v)
{
    putU16(out, uint16_t(v >> 16));
    putU16(out, uint16_t(v));
}

uint16_t getU16(const uint8_t *p)
{
    return uint16_t((p[0] << 8) | p[1]);
}

uint32_t getU32(const uint8_t *p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

void setError(std::string *error, const char *text)
{
    if (error)
        *error = text;
}

} // namespace

std::optional<IeList> IeList::parse(const uint8_t *data, size_t size)
{
    IeList list;
    size_t pos = 0;
    while (pos < size) {
        if (size - pos < 2)
            return std::nullopt;
        const uint8_t id = data[pos];
        const size_t len = data[pos + 1];
        pos += 2;
        if (len > size - pos)
            return std::nullopt;
        list.m_elements.push_back({ id, std::vector<uint8_t>(data + pos, data + pos + len) });
        pos += len;
    }
    return list;
}

IeList &IeList::addBytes(uint8_t id, const uint8_t *data, size_t size)
{
    if (size > 255)
        size = 255;
    Element e;
    e.id = id;
    if (size)
        e.data.assign(data, data + size);
    m_elements.push_back(std::move(e));
    return *this;
}

IeList &IeList::addString(uint8_t id, const std::string &value)
{
    return addBytes(id, reinterpret_cast<const uint8_t *>(value.data()), value.size());
}

IeList &IeList::addU8(uint8_t id, uint8_t value)
{
    return addBytes(id, &value, 1);
}

IeList &IeList::addU16(uint8_t id, uint16_t value)
{
    const uint8_t b[2] = { uint8_t(value >> 8), uint8_t(value) };
    return addBytes(id, b, 2);
}

IeList &IeList::addU32(uint8_t id, uint32_t value)
{
    const uint8_t b[4] = { uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value) };
    return addBytes(id, b, 4);
}

const IeList::Element *IeList::find(uint8_t id) const
{
    for (const Element &e : m_elements) {
        if (e.id == id)
            return &e;
    }
    return nullptr;
}

std::string IeList::string(uint8_t id) const
{
    const Element *e = find(id);
    return e ? std::string(e->data.begin(), e->data.end()) : std::string();
}

std::optional<uint8_t> IeList::u8(uint8_t id) const
{
    const Element *e = find(id);
    if (!e || e->data.size() != 1)
        return std::nullopt;
    return e->data[0];
}

std::optional<uint16_t> IeList::u16(uint8_t id) const
{
    const Element *e = find(id);
    if (!e || e->data.size() != 2)
        return std::nullopt;
    return getU16(e->data.data());
}

std::optional<uint32_t> IeList::u32(uint8_t id) const
{
    const Element *e = find(id);
    if (!e || e->data.size() != 4)
        return std::nullopt;
    return getU32(e->data.data());
}

void IeList::appendTo(std::vector<uint8_t> &out) const
{
    for (const Element &e : m_elements) {
        out.push_back(e.id);
        out.push_back(uint8_t(e.data.size()));
        out.insert(out.end(), e.data.begin(), e.data.end());
    }
}

bool FullFrame::isUnsequenced() const
{
    if (type != FrameType::Iax)
        return false;
    return subclass == Cmd::Ack || subclass == Cmd::Inval || subclass == Cmd::Vnak || subclass == Cmd::TxCnt
        || subclass == Cmd::TxAcc;
}

DatagramKind classify(const uint8_t *data, size_t size)
{
    if (size < kMiniHeaderSize || size > kMaxDatagram)
        return DatagramKind::Malformed;
    if (data[0] & 0x80)
        return size >= kFullHeaderSize ? DatagramKind::Full : DatagramKind::Malformed;
    if (data[0] == 0 && data[1] == 0)
        return DatagramKind::Meta;
    return DatagramKind::Mini;
}

std::optional<uint8_t> encodeSubclass(uint32_t value)
{
    if (value < 0x80)
        return uint8_t(value);
    if (value & (value - 1))
        return std::nullopt;
    uint8_t shift = 0;
    while ((1u << shift) != value)
        ++shift;
    return uint8_t(0x80 | shift);
}

std::optional<uint32_t> decodeSubclass(uint8_t wire)
{
    if (!(wire & 0x80))
        return wire;
    const uint8_t shift = wire & 0x7f;
    if (shift > 31)
        return std::nullopt;
    return 1u << shift;
}

bool parseFullFrame(const uint8_t *data, size_t size, FullFrame &frame, std::string *error)
{
    if (size < kFullHeaderSize) {
        setError(error, "full frame shorter than its header");
        return false;
    }
    if (size > kMaxDatagram) {
        setError(error, "datagram too large");
        return false;
    }
    if (!(data[0] & 0x80)) {
        setError(error, "not a full frame");
        return false;
    }
    const auto subclass = decodeSubclass(data[11]);
    if (!subclass) {
        setError(error, "subclass out of range");
        return false;
    }
    frame.sourceCall = getU16(data) & 0x7fff;
    frame.retransmitted = (data[2] & 0x80) != 0;
    frame.destCall = getU16(data + 2) & 0x7fff;
    frame.timestamp = getU32(data + 4);
    frame.oseqno = data[8];
    frame.iseqno = data[9];
    frame.type = FrameType(data[10]);
    frame.subclass = *subclass;
    frame.payload.assign(data + kFullHeaderSize, data + size);
    return true;
}

bool parseMiniFrame(const uint8_t *data, size_t size, MiniFrame &frame, std::string *error)
{
    if (size < kMiniHeaderSize) {
        setError(error, "mini frame shorter than its header");
        return false;
    }
    if (size > kMaxDatagram) {
        setError(error, "datagram too large");
        return false;
    }
    if (data[0] & 0x80) {
        setError(error, "not a mini frame");
        return false;
    }
    frame.sourceCall = getU16(data) & 0x7fff;
    if (frame.sourceCall == 0) {
        setError(error, "meta frame");
        return false;
    }
    frame.timestamp = getU16(data + 2);
    frame.payload.assign(data + kMiniHeaderSize, data + size);
    return true;
}

void encodeFullFrame(const FullFrame &frame, std::vector<uint8_t> &out)
{
    out.reserve(out.size() + kFullHeaderSize + frame.payload.size());
    putU16(out, uint16_t(0x8000 | (frame.sourceCall & 0x7fff)));
    putU16(out, uint16_t((frame.retransmitted ? 0x8000 : 0) | (frame.destCall & 0x7fff)));
    putU32(out, frame.timestamp);
    out.push_back(frame.oseqno);
    out.push_back(frame.iseqno);
    out.push_back(uint8_t(frame.type));
    out.push_back(encodeSubclass(frame.subclass).value_or(0));
    out.insert(out.end(), frame.payload.begin(), frame.payload.end());
}

void encodeMiniFrame(const MiniFrame &frame, std::vector<uint8_t> &out)
{
    putU16(out, frame.sourceCall & 0x7fff);
    putU16(out, frame.timestamp);
    out.insert(out.end(), frame.payload.begin(), frame.payload.end());
}

uint32_t expandMiniTimestamp(uint32_t last, uint16_t low)
{
    // Modulo 2^32 arithmetic, as the 32-bit timestamp itself wraps.
    const uint32_t ts = (last & 0xffff0000u) | low;
    const auto diff = int32_t(ts - last);
    if (diff < -0x8000)
        return ts + 0x10000u;
    if (diff > 0x8000)
        return ts - 0x10000u;
    return ts;
}

void markRetransmitted(std::vector<uint8_t> &bytes)
{
    if (bytes.size() >= kFullHeaderSize)
        bytes[2] |= 0x80;
}

} // namespace iax2
