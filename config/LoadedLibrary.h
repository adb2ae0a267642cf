#pragma once

#include <string>

namespace tarovex::config {

// A shared library opened when first needed instead of at program start. Libraries that
// bring dozens of their own (sound servers, codecs, TLS) would otherwise be linked into
// every start, used or not. It stays loaded for the process's life: its threads may outlive
// any one user.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const char* soname);
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // Sets `f` to the library's function `name`; false, with error() saying so, if the
    // library is not loaded or lacks it.
    template <typename F> bool resolve(F*& f, const char* name) {
        f = reinterpret_cast<F*>(symbol(name));
        return f != nullptr;
    }
    bool isLoaded() const { return handle_ != nullptr; }
    // Why the library or a function could not be had; empty while all went well.
    const std::string& error() const { return error_; }

private:
    void* symbol(const char* name);

    void* handle_ = nullptr;
    std::string soname_;
    std::string error_;
};

} // namespace tarovex::config
