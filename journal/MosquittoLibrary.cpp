#include "journal/MosquittoLibrary.h"

#include "config/LoadedLibrary.h"

namespace tarovex::journal {

const MosquittoLibrary* mosquittoLibrary(std::string* why) {
    struct Loaded {
        config::LoadedLibrary library{TAROVEX_MOSQUITTO_SONAME};
        MosquittoLibrary functions;
        bool complete = true;
        Loaded() {
#define TAROVEX_MOSQUITTO_RESOLVE(name) complete = library.resolve(functions.name, #name) && complete;
            TAROVEX_MOSQUITTO_FUNCTIONS(TAROVEX_MOSQUITTO_RESOLVE)
#undef TAROVEX_MOSQUITTO_RESOLVE
            if (complete)
                functions.mosquitto_lib_init();
        }
    };
    static const Loaded loaded;
    if (loaded.complete)
        return &loaded.functions;
    if (why)
        *why = loaded.library.error();
    return nullptr;
}

} // namespace tarovex::journal
