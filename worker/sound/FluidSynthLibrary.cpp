#include "worker/sound/FluidSynthLibrary.h"

#include "config/LoadedLibrary.h"

namespace tarovex::worker {

const FluidSynthLibrary* fluidSynth(std::string* why) {
    struct Loaded {
        config::LoadedLibrary library{TAROVEX_FLUIDSYNTH_SONAME};
        FluidSynthLibrary functions;
        bool complete = true;
        Loaded() {
#define TAROVEX_FLUIDSYNTH_RESOLVE(name) complete = library.resolve(functions.name, #name) && complete;
            TAROVEX_FLUIDSYNTH_FUNCTIONS(TAROVEX_FLUIDSYNTH_RESOLVE)
#undef TAROVEX_FLUIDSYNTH_RESOLVE
        }
    };
    static const Loaded loaded;
    if (loaded.complete)
        return &loaded.functions;
    if (why)
        *why = loaded.library.error();
    return nullptr;
}

} // namespace tarovex::worker
