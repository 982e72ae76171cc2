// libFuzzer target for the IAX2 frame parser: any datagram must either be
// refused or parse into fields that survive a round trip, without reading
// outside the buffer (AddressSanitizer watches that).

#include "iax2/Frame.h"
#include "iax2/Sequencer.h"

#include <cstdlib>

using namespace iax2;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static Sequencer sequencer;

    switch (classify(data, size)) {
    case DatagramKind::Full: {
        FullFrame frame;
        if (!parseFullFrame(data, size, frame))
            break;
        std::vector<uint8_t> again;
        encodeFullFrame(frame, again);
        FullFrame back;
        check(parseFullFrame(again.data(), again.size(), back));
        check(back.sourceCall == frame.sourceCall && back.destCall == frame.destCall);
        check(back.timestamp == frame.timestamp && back.subclass == frame.subclass);
        check(back.payload == frame.payload && back.retransmitted == frame.retransmitted);

        if (const auto ies = IeList::parse(frame.payload.data(), frame.payload.size())) {
            std::vector<uint8_t> out;
            ies->appendTo(out);
            check(out == frame.payload);
            for (const auto &e : ies->elements()) {
                (void)ies->string(e.id);
                (void)ies->u32(e.id);
            }
        }
        sequencer.receive(frame);
        (void)sequencer.resendFrom(frame.iseqno, Sequencer::TimePoint());
        break;
    }
    case DatagramKind::Mini: {
        MiniFrame frame;
        if (!parseMiniFrame(data, size, frame))
            break;
        std::vector<uint8_t> again;
        encodeMiniFrame(frame, again);
        check(again.size() == size && std::equal(again.begin(), again.end(), data));
        break;
    }
    case DatagramKind::Meta:
    case DatagramKind::Malformed:
        break;
    }
    return 0;
}
