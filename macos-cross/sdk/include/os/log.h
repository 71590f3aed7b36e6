/*
 * Unified-logging declarations for the macOS cross-compile check (`make macos-check`), written
 * from Apple's public documentation. They declare only what Gatewarden's macOS code uses.
 * os_log is a macro over clang's os_log builtins, as in the SDK, so that the compiler checks each
 * format string and its arguments the way Apple's clang does (a "%{public}s" given anything but a
 * C string is an error under -Werror) and lays out the record the way libSystem receives it.
 * Nothing but that check uses these declarations: the product is built on macOS against Apple's
 * SDK. libSystem itself exports _os_log_impl, _os_log_default and os_log_type_enabled.
 */
#ifndef GATEWARDEN_MACOS_SDK_OS_LOG_H
#define GATEWARDEN_MACOS_SDK_OS_LOG_H

#include <stdbool.h>
#include <stdint.h>

#if defined(__cplusplus)
extern "C" {
#endif

/* The image that a record comes from; the linker defines it for every executable and library. */
extern void* __dso_handle;

/* A log object; in C and C++ code, an opaque pointer. */
typedef struct os_log_s* os_log_t;

/* The levels of a record, with the values the logging system stores. */
typedef enum : uint8_t {
    OS_LOG_TYPE_DEFAULT = 0x00,
    OS_LOG_TYPE_INFO = 0x01,
    OS_LOG_TYPE_DEBUG = 0x02,
    OS_LOG_TYPE_ERROR = 0x10,
    OS_LOG_TYPE_FAULT = 0x11
} os_log_type_t;

/* The shared default log. */
extern struct os_log_s _os_log_default;
#define OS_LOG_DEFAULT ((os_log_t)(&_os_log_default))

bool os_log_type_enabled(os_log_t oslog, os_log_type_t type);

/* Receives a record that __builtin_os_log_format laid out; called only through the macros below. */
void _os_log_impl(void* dso, os_log_t log, os_log_type_t type, const char* format, uint8_t* buf, uint32_t size);

#if defined(__cplusplus)
}
#endif

/* The format string goes to its own section, where the log tools find it; the record holds only
 * the arguments. The buffer's size is a constant the compiler works out from the format. */
#define os_log_with_type(log, type, format, ...)                                                                \
    __extension__({                                                                                             \
        os_log_t _os_log_target = (log);                                                                        \
        os_log_type_t _os_log_level = (type);                                                                   \
        if (os_log_type_enabled(_os_log_target, _os_log_level)) {                                               \
            __attribute__((section("__TEXT,__oslogstring,cstring_literals"))) static const char _os_log_fmt[] = \
                format;                                                                                         \
            uint8_t _os_log_buf[__builtin_os_log_format_buffer_size(format, ##__VA_ARGS__)];                    \
            _os_log_impl(&__dso_handle, _os_log_target, _os_log_level, _os_log_fmt,                             \
                         (uint8_t*)__builtin_os_log_format(_os_log_buf, format, ##__VA_ARGS__),                 \
                         (uint32_t)sizeof(_os_log_buf));                                                        \
        }                                                                                                       \
    })

/* A record at the default level. */
#define os_log(log, format, ...) os_log_with_type(log, OS_LOG_TYPE_DEFAULT, format, ##__VA_ARGS__)

#endif
