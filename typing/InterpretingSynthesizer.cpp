#include "typing/InterpretingSynthesizer.h"

#include <chrono>
#include <thread>

namespace tarovex::typing {

InterpretingSynthesizer::InterpretingSynthesizer(config::ConfigHelper::KeyboardType keyboard,
                                                 std::unique_ptr<KeyOutput> output)
    : interpreter_(keyboard), output_(std::move(output)) {}

void InterpretingSynthesizer::press(int code) {
    type(interpreter_.press(code));
}

void InterpretingSynthesizer::release(int code) {
    type(interpreter_.release(code));
}

void InterpretingSynthesizer::typeKeysym(std::uint32_t keysym) {
    type({TypedKey{KeysymKey{keysym}}});
}

void InterpretingSynthesizer::delay(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Every key is tried; the first failure is passed on once the rest is typed.
void InterpretingSynthesizer::type(const std::vector<TypedKey>& keys) {
    std::exception_ptr failure;
    for (const TypedKey& key : keys) {
        try {
            output_->type(key);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace tarovex::typing
