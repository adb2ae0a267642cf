#pragma once

#include <mosquitto.h>

#include <string>

namespace tarovex::journal {

// The libmosquitto functions the publisher calls, from the library loaded when publishing
// starts: linked, it and its TLS libraries would be loaded at every program start.
#define TAROVEX_MOSQUITTO_FUNCTIONS(X) \
    X(mosquitto_connack_string) \
    X(mosquitto_connect_async) \
    X(mosquitto_connect_callback_set) \
    X(mosquitto_destroy) \
    X(mosquitto_disconnect) \
    X(mosquitto_disconnect_callback_set) \
    X(mosquitto_lib_init) \
    X(mosquitto_log_callback_set) \
    X(mosquitto_loop_start) \
    X(mosquitto_loop_stop) \
    X(mosquitto_new) \
    X(mosquitto_publish) \
    X(mosquitto_publish_callback_set) \
    X(mosquitto_reconnect_delay_set) \
    X(mosquitto_strerror) \
    X(mosquitto_tls_set) \
    X(mosquitto_username_pw_set) \
    X(mosquitto_will_set)

struct MosquittoLibrary {
#define TAROVEX_MOSQUITTO_MEMBER(name) decltype(&::name) name = nullptr;
    TAROVEX_MOSQUITTO_FUNCTIONS(TAROVEX_MOSQUITTO_MEMBER)
#undef TAROVEX_MOSQUITTO_MEMBER
};

// The library, loaded by the first call; nullptr, with `why` set, when it or one of its
// functions cannot be had. Thread-safe.
const MosquittoLibrary* mosquittoLibrary(std::string* why = nullptr);

} // namespace tarovex::journal
