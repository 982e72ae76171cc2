#pragma once

// IAX2 wire format (RFC 5456): full and mini frames and information elements.
// Parsing never trusts a length from the wire: every field is checked against
// the datagram it came in.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace iax2 {

constexpr size_t kFullHeaderSize = 12;
constexpr size_t kMiniHeaderSize = 4;
// Larger datagrams are not IAX2 voice or signalling; they are dropped unread.
constexpr size_t kMaxDatagram = 4096;
constexpr uint16_t kMaxCallNumber = 0x7fff;

enum class FrameType : uint8_t {
    DtmfEnd = 0x01,
    Voice = 0x02,
    Video = 0x03,
    Control = 0x04,
    Null = 0x05,
    Iax = 0x06,
    Text = 0x07,
    Image = 0x08,
    Html = 0x09,
    ComfortNoise = 0x0a,
    DtmfBegin = 0x0c,
};

// Subclasses of IAX frames.
namespace Cmd {
enum : uint8_t {
    New = 0x01,
    Ping = 0x02,
    Pong = 0x03,
    Ack = 0x04,
    Hangup = 0x05,
    Reject = 0x06,
    Accept = 0x07,
    AuthReq = 0x08,
    AuthRep = 0x09,
    Inval = 0x0a,
    LagRq = 0x0b,
    LagRp = 0x0c,
    RegReq = 0x0d,
    RegAuth = 0x0e,
    RegAck = 0x0f,
    RegRej = 0x10,
    RegRel = 0x11,
    Vnak = 0x12,
    TxReq = 0x16,
    TxCnt = 0x17,
    TxAcc = 0x18,
    TxReady = 0x19,
    TxRel = 0x1a,
    TxRej = 0x1b,
    Quelch = 0x1c,
    Unquelch = 0x1d,
    Poke = 0x1e,
    Unsupport = 0x21,
    Transfer = 0x22,
    CallToken = 0x28,
};
} // namespace Cmd

// Subclasses of control frames.
namespace Ctl {
enum : uint8_t {
    Hangup = 0x01,
    Ringing = 0x03,
    Answer = 0x04,
    Busy = 0x05,
    Congestion = 0x08,
    Progress = 0x0e,
    Proceeding = 0x0f,
    Hold = 0x10,
    Unhold = 0x11,
};
} // namespace Ctl

namespace Ie {
enum : uint8_t {
    CalledNumber = 0x01,
    CallingNumber = 0x02,
    CallingAni = 0x03,
    CallingName = 0x04,
    CalledContext = 0x05,
    Username = 0x06,
    Password = 0x07,
    Capability = 0x08,
    Format = 0x09,
    Language = 0x0a,
    Version = 0x0b,
    Dnid = 0x0d,
    AuthMethods = 0x0e,
    Challenge = 0x0f,
    Md5Result = 0x10,
    RsaResult = 0x11,
    ApparentAddr = 0x12,
    Refresh = 0x13,
    CallNo = 0x15,
    Cause = 0x16,
    IaxUnknown = 0x17,
    MsgCount = 0x18,
    MusicOnHold = 0x1a,
    TransferId = 0x1b,
    DateTime = 0x1f,
    CauseCode = 0x2a,
    CallToken = 0x36,
};
} // namespace Ie

namespace Auth {
enum : uint16_t { Plaintext = 0x0001, Md5 = 0x0002, Rsa = 0x0004 };
}

// Information elements of an IAX frame, in wire order.
class IeList
{
public:
    struct Element
    {
        uint8_t id = 0;
        std::vector<uint8_t> data;
    };

    // Returns nothing when an element runs past the end of the payload.
    static std::optional<IeList> parse(const uint8_t *data, size_t size);

    IeList &addBytes(uint8_t id, const uint8_t *data, size_t size);
    // Strings longer than 255 bytes are cut: an element's length is one byte.
    IeList &addString(uint8_t id, const std::string &value);
    IeList &addU8(uint8_t id, uint8_t value);
    IeList &addU16(uint8_t id, uint16_t value);
    IeList &addU32(uint8_t id, uint32_t value);
    IeList &addEmpty(uint8_t id) { return addBytes(id, nullptr, 0); }

    const Element *find(uint8_t id) const;
    bool has(uint8_t id) const { return find(id) != nullptr; }
    std::string string(uint8_t id) const;
    std::optional<uint8_t> u8(uint8_t id) const;
    std::optional<uint16_t> u16(uint8_t id) const;
    std::optional<uint32_t> u32(uint8_t id) const;

    const std::vector<Element> &elements() const { return m_elements; }
    void appendTo(std::vector<uint8_t> &out) const;

private:
    std::vector<Element> m_elements;
};

struct FullFrame
{
    uint16_t sourceCall = 0;
    uint16_t destCall = 0;
    bool retransmitted = false;
    uint32_t timestamp = 0;
    uint8_t oseqno = 0;
    uint8_t iseqno = 0;
    FrameType type = FrameType::Iax;
    uint32_t subclass = 0;
    std::vector<uint8_t> payload;

    bool isIax(uint8_t command) const { return type == FrameType::Iax && subclass == command; }
    // Frames that neither take a sequence number nor are acknowledged.
    bool isUnsequenced() const;
};

struct MiniFrame
{
    uint16_t sourceCall = 0;
    uint16_t timestamp = 0;
    std::vector<uint8_t> payload;
};

enum class DatagramKind { Full, Mini, Meta, Malformed };

// Tells what a datagram holds before it is parsed (meta frames start with
// sixteen zero bits and are not handled here).
DatagramKind classify(const uint8_t *data, size_t size);

// Parse failures leave a short reason in error.
bool parseFullFrame(const uint8_t *data, size_t size, FullFrame &frame, std::string *error = nullptr);
bool parseMiniFrame(const uint8_t *data, size_t size, MiniFrame &frame, std::string *error = nullptr);

void encodeFullFrame(const FullFrame &frame, std::vector<uint8_t> &out);
void encodeMiniFrame(const MiniFrame &frame, std::vector<uint8_t> &out);

// The one-byte subclass field: values of 128 and above must be a power of two
// and travel as 0x80 | log2(value).
std::optional<uint8_t> encodeSubclass(uint32_t value);
std::optional<uint32_t> decodeSubclass(uint8_t wire);

// A mini frame carries the low 16 bits of its timestamp: the full value is
// the one nearest to the last timestamp seen, so both a wrap and a late,
// reordered frame from before it come out right.
uint32_t expandMiniTimestamp(uint32_t last, uint16_t low);

// Voice goes in a full frame first, after a format change, and whenever the
// upper 16 bits of the timestamp change (the receiver cannot see that in a
// mini frame).
inline bool needsFullVoiceFrame(bool first, bool formatChanged, uint32_t previous, uint32_t ts)
{
    return first || formatChanged || (previous >> 16) != (ts >> 16);
}

// Sets the retransmission flag in an already encoded full frame.
void markRetransmitted(std::vector<uint8_t> &bytes);

} // namespace iax2
