// The module's only door to the operating system.
//
// Everything the component needs from outside its own code passes through the
// handful of functions below: heap memory, the process environment, the
// profile (ini) reader and the debugger output. Two implementations exist:
//
//   vesk_platform_win32.cpp  the real Windows and C-runtime functions; built
//                            freestanding for the shipped DLL (no SDK headers,
//                            no C++ runtime), so it also supplies the module's
//                            operator new/delete and _purecall.
//   vesk_platform_posix.cpp  stand-ins for Linux, where the unit tests, the
//                            fuzzers and the host emulator run; the profile
//                            reader lives in vesk_profile_posix.cpp.
//
// Invariants:
//   - No other file includes <windows.h> or names a Windows function.
//   - Nothing here keeps state that a component can observe, except the
//     test hooks at the end of this header (POSIX build only).
//   - Every function is safe to call with the arguments its contract allows
//     and never aborts the process: failures are returned, not raised.
#ifndef VESK_PLATFORM_H
#define VESK_PLATFORM_H

#include <stddef.h>

// Byte and text helpers. The freestanding build has no C headers, so the
// compiler's built-ins stand in (they become calls into msvcrt where not
// inlined); Microsoft's compiler has no such built-ins and uses <string.h>.
#if defined(_MSC_VER) && !defined(__clang__)
#include <string.h>
#define vesk_memcpy memcpy
#define vesk_memmove memmove
#define vesk_memcmp memcmp
#define vesk_strlen strlen
#else
#define vesk_memcpy __builtin_memcpy
#define vesk_memmove __builtin_memmove
#define vesk_memcmp __builtin_memcmp
#define vesk_strlen __builtin_strlen
#endif

// Heap memory for everything the module allocates. Returns null when no memory
// could be obtained (never throws, never aborts). A zero size still returns a
// distinct block that vesk_mem_free accepts.
void* vesk_mem_alloc(size_t size);

// Returns a block from vesk_mem_alloc to the heap. Null is ignored.
void vesk_mem_free(void* block);

// Copies the value of environment variable `name`, as the process has it at
// the time of the call, into `out` (room for `size` bytes, terminating zero
// included) and returns true. Returns false, with `out` empty, when the
// variable is not set or its value needs more than `size` bytes (or `name` is
// null). A variable set to the empty text is set. `out` may be null only when
// `size` is 0. Allocates nothing.
bool vesk_env_get(const char* name, char* out, size_t size);

// Reads one key of one section of an ini-style file, as Windows'
// GetPrivateProfileStringA does: copies the key's value, or `fallback` when the
// file, the section or the key is missing, into `out` (room for `size` bytes,
// terminating zero included), cut to fit, and returns the number of characters
// copied, terminating zero not counted. `out` always ends in a zero when size is
// at least 1; size 0 copies nothing and returns 0. `fallback` may be null (read
// as empty). Backslashes in `path` are folder separators on every platform.
unsigned long vesk_profile_read(const char* section, const char* key, const char* fallback,
                                char* out, unsigned long size, const char* path);

// Writes `text` to the debugger output as it stands: no prefix, no line end.
// A null text writes nothing.
void vesk_debug_output(const char* text);

#if !defined(_WIN32)
// ---- Test hooks (POSIX build only; never part of the shipped module) ----

// Receives every text written by vesk_debug_output while installed.
typedef void (*vesk_debug_sink)(const char* text, void* context);

// Installs `sink` (null: back to the default, which discards the text). The
// hook is process-wide and not thread-safe, like the rest of the module.
void vesk_platform_set_debug_sink(vesk_debug_sink sink, void* context);

// Decides whether the next vesk_mem_alloc may succeed; return 0 to make it
// fail. Null (the default) lets every allocation through.
typedef int (*vesk_alloc_gate)(size_t size, void* context);
void vesk_platform_set_alloc_gate(vesk_alloc_gate gate, void* context);
#endif

#endif  // VESK_PLATFORM_H
