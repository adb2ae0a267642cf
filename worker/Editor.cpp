#include "worker/Editor.h"

#include "config/Config.h"

namespace tarovex::worker {

using config::ConfigHelper::EditOperation;
using config::ConfigHelper::EditPosition;

Editor::Editor(EditOperation operation, EditPosition position, int numCharacters)
    : operation_(operation), position_(position), n_(numCharacters) {}

Editor::Editor(const config::Config& config)
    : Editor(config.getEditOperation(), config.getEditPosition(), config.getEditNumCharactersAsInt()) {}

QString Editor::edit(const QString& value) const {
    // A negative count (a hand-edited setting) would cut nothing sensible: leave the value.
    if (n_ <= 0 || value.isEmpty())
        return value;
    const qsizetype length = value.size();
    const qsizetype n = n_;
    if (operation_ == EditOperation::REMOVE) {
        if (length < n)
            return QString(); // everything removed
        if (position_ == EditPosition::FIRST)
            return value.sliced(n);
        if (position_ == EditPosition::LAST)
            return value.first(length - n);
    } else if (operation_ == EditOperation::KEEP) {
        if (length < n)
            return value;
        if (position_ == EditPosition::FIRST)
            return value.first(n);
        if (position_ == EditPosition::LAST)
            return value.sliced(length - n);
    }
    return value;
}

} // namespace tarovex::worker
