#pragma once

#include "config/ConfigHelper.h"
#include "typing/KeyOutput.h"
#include "typing/KeySequenceInterpreter.h"
#include "typing/KeySynthesizer.h"

#include <memory>

namespace tarovex::typing {

// Key synthesis for desktops that do not read Windows key sequences: the stream goes
// through the interpreter of the declared keyboard, and each completed sequence is typed
// by the output on the layout the desktop actually uses.
class InterpretingSynthesizer : public KeySynthesizer {
public:
    InterpretingSynthesizer(config::ConfigHelper::KeyboardType keyboard, std::unique_ptr<KeyOutput> output);

    // The interpreter's refusals (std::invalid_argument) and the output's failures
    // (CannotTypeError, std::runtime_error) pass through.
    void press(int code) override;
    void release(int code) override;
    void typeKeysym(std::uint32_t keysym) override;
    // Straight to the output: a shortcut types no character the interpreter could know.
    void pressShortcut(const Shortcut& shortcut) override { output_->pressShortcut(shortcut); }
    void delay(int ms) override;
    std::optional<std::string> cannotType(char32_t c) override { return output_->cannotType(c); }
    std::optional<bool> keysHeld() override { return output_->keysHeld(); }
    std::optional<KeyTarget> target() override { return output_->target(); }

private:
    void type(const std::vector<TypedKey>& keys);

    KeySequenceInterpreter interpreter_;
    std::unique_ptr<KeyOutput> output_;
};

} // namespace tarovex::typing
