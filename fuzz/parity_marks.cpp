// Bytes as the terminal driver marks them: decoding them in pieces, split anywhere, gives
// what decoding them at once gives.
#include "Tarolink/ParityMarkDecoder.h"

#include <cstdlib>

using Tarolink::ParityMarkDecoder;
using Tarolink::ReceivedByte;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t step = data[0] % 7 + 1;
    ++data;
    --size;
    std::vector<ReceivedByte> whole, pieces;
    ParityMarkDecoder once, split;
    once.decode(data, size, whole);
    for (std::size_t at = 0; at < size; at += step)
        split.decode(data + at, std::min(step, size - at), pieces);
    if (whole != pieces || once.pending() != split.pending() || whole.size() > size)
        std::abort();
    return 0;
}
