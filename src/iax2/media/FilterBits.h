#pragma once

namespace iax2 {

// Filter bits as the settings hand them over; the engine and the filters take
// the same mask unchanged.
enum FilterBits : int {
    FilterDenoise = 1,
    FilterAgc = 2,
    FilterEchoCancel = 4,
    FilterEcho = FilterEchoCancel,
    FilterAnalogAgc = 8,
    FilterComfortNoise = 16,
};

} // namespace iax2
