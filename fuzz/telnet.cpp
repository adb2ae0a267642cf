// What a hostile RFC 2217 server may send: parsed at once and in pieces split anywhere, it
// gives the same data, answers and state; the answers stay in proportion to the input, and
// the data we would send back crosses the Telnet layer unchanged.
#include "Tarolink/ComPortClient.h"
#include "Tarolink/TelnetParser.h"

#include <cstdlib>

using Tarolink::ComPortClient;
using Tarolink::TelnetParser;

namespace {

struct Collect : TelnetParser::Handler {
    std::vector<std::uint8_t> bytes;
    void data(const std::uint8_t* b, std::size_t n) override { bytes.insert(bytes.end(), b, b + n); }
    void command(std::uint8_t, std::uint8_t) override {}
    void subnegotiation(std::uint8_t, const std::uint8_t*, std::size_t) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t step = data[0] % 13 + 1;
    ++data;
    --size;
    ComPortClient once, split;
    once.start();
    split.start();
    std::vector<std::uint8_t> wholeData, wholeReply, pieceData, pieceReply;
    once.receive(data, size, wholeData, wholeReply);
    for (std::size_t at = 0; at < size; at += step)
        split.receive(data + at, std::min(step, size - at), pieceData, pieceReply);
    if (wholeData != pieceData || wholeReply != pieceReply || once.modemState() != split.modemState() ||
        once.comPortAccepted() != split.comPortAccepted() || once.takeLineErrors() != split.takeLineErrors())
        std::abort();
    // Each answer (3 bytes) answers a command of 3 bytes at least.
    if (wholeData.size() > size || wholeReply.size() > size)
        std::abort();

    std::vector<std::uint8_t> encoded;
    once.encodeData(wholeData.data(), wholeData.size(), encoded);
    TelnetParser parser;
    Collect back;
    parser.feed(encoded.data(), encoded.size(), back);
    // Without BINARY agreed a CR goes out as CR NUL; the NUL is the only byte added.
    std::vector<std::uint8_t> textMode;
    for (std::size_t i = 0; i < back.bytes.size(); ++i) {
        textMode.push_back(back.bytes[i]);
        if (back.bytes[i] == '\r' && i + 1 < back.bytes.size() && back.bytes[i + 1] == 0)
            ++i;
    }
    if (back.bytes != wholeData && textMode != wholeData)
        std::abort();
    return 0;
}
