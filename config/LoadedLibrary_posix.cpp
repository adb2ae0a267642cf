#include "config/LoadedLibrary.h"

#include <dlfcn.h>

namespace tarovex::config {

namespace {
std::string lastError() {
    const char* e = ::dlerror();
    return e ? e : "unknown error";
}
} // namespace

LoadedLibrary::LoadedLibrary(const char* soname) : soname_(soname) {
    // Bound at once, so that a missing function is known here and not at its first call.
    handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        error_ = "the library " + soname_ + " cannot be loaded: " + lastError();
}

void* LoadedLibrary::symbol(const char* name) {
    if (!handle_)
        return nullptr;
    ::dlerror();
    void* f = ::dlsym(handle_, name);
    if (!f && error_.empty())
        error_ = "the library " + soname_ + " lacks " + name + ": " + lastError();
    return f;
}

} // namespace tarovex::config
