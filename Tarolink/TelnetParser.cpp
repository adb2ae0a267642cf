#include "Tarolink/TelnetParser.h"

namespace Tarolink {

void TelnetParser::command(std::uint8_t byte) {
    if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
        verb_ = byte;
        state_ = State::Verb;
    } else if (byte == SB) {
        state_ = State::SbOption;
    } else {
        state_ = State::Data; // NOP, GA, a stray SE, ...: nothing to act on
    }
}

void TelnetParser::feed(const std::uint8_t* bytes, std::size_t count, Handler& handler) {
    std::size_t i = 0;
    while (i < count) {
        const std::uint8_t b = bytes[i];
        switch (state_) {
        case State::Data: {
            // Hand over the whole run up to the next IAC at once.
            std::size_t end = i;
            while (end < count && bytes[end] != IAC)
                ++end;
            if (end > i)
                handler.data(bytes + i, end - i);
            if (end < count)
                state_ = State::Iac;
            i = end + 1;
            continue;
        }
        case State::Iac:
            if (b == IAC) {
                state_ = State::Data;
                handler.data(&b, 1);
            } else {
                command(b);
            }
            break;
        case State::Verb:
            state_ = State::Data;
            handler.command(verb_, b);
            break;
        case State::SbOption:
            sbOption_ = b;
            sbLength_ = 0;
            sbOverflow_ = false;
            state_ = State::Sb;
            break;
        case State::Sb:
            if (b == IAC) {
                state_ = State::SbIac;
            } else if (sbLength_ < sb_.size()) {
                sb_[sbLength_++] = b;
            } else {
                sbOverflow_ = true;
            }
            break;
        case State::SbIac:
            if (b == IAC) {
                state_ = State::Sb;
                if (sbLength_ < sb_.size())
                    sb_[sbLength_++] = b;
                else
                    sbOverflow_ = true;
            } else if (b == SE) {
                state_ = State::Data;
                if (!sbOverflow_)
                    handler.subnegotiation(sbOption_, sb_.data(), sbLength_);
            } else {
                // An unterminated subnegotiation: dropped, and the byte read as a command.
                command(b);
            }
            break;
        }
        ++i;
    }
}

} // namespace Tarolink
