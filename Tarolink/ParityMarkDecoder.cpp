#include "Tarolink/ParityMarkDecoder.h"

namespace Tarolink {

void ParityMarkDecoder::decode(const std::uint8_t* data, std::size_t size, std::vector<ReceivedByte>& out) {
    for (std::size_t i = 0; i < size; ++i) {
        const std::uint8_t b = data[i];
        switch (state_) {
        case State::Plain:
            if (b == 0xFF)
                state_ = State::AfterFF;
            else
                out.push_back({b, ReceivedByte::Mark::None});
            break;
        case State::AfterFF:
            if (b == 0x00) {
                state_ = State::AfterFF00;
            } else if (b == 0xFF) {
                out.push_back({0xFF, ReceivedByte::Mark::None});
                state_ = State::Plain;
            } else {
                // The line discipline never sends this; keep both bytes rather than lose one.
                out.push_back({0xFF, ReceivedByte::Mark::None});
                out.push_back({b, ReceivedByte::Mark::None});
                state_ = State::Plain;
            }
            break;
        case State::AfterFF00:
            out.push_back({b, b == 0x00 ? ReceivedByte::Mark::ZeroError : ReceivedByte::Mark::Error});
            state_ = State::Plain;
            break;
        }
    }
}

} // namespace Tarolink
