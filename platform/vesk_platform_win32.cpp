// Windows implementation of the platform layer: see vesk_platform.h.
//
// The shipped DLL is built freestanding with clang for the MSVC ABI and no
// Microsoft SDK, so the few Windows and C-runtime functions used are declared
// here by hand and imported from kernel32.dll and msvcrt.dll (import libraries
// made from platform/win32/*.def). The module has no CRT start-up code, so this
// file also supplies what the compiler expects of a C++ runtime: operator
// new/delete over the C runtime's heap and _purecall. Nothing here needs a
// static constructor.
#include "vesk_platform.h"

#if defined(VESK_HAVE_WINDOWS_H) || (defined(_MSC_VER) && !defined(__clang__))
#include <stdlib.h>
#include <windows.h>
#else
extern "C" {
__declspec(dllimport) void* __cdecl malloc(size_t size);
__declspec(dllimport) void __cdecl free(void* block);
__declspec(dllimport) unsigned long __stdcall GetEnvironmentVariableA(const char* name, char* out,
                                                                      unsigned long size);
__declspec(dllimport) unsigned long __stdcall GetLastError(void);
__declspec(dllimport) void __stdcall SetLastError(unsigned long code);
__declspec(dllimport) unsigned long __stdcall GetPrivateProfileStringA(const char* section, const char* key,
                                                                       const char* fallback, char* out,
                                                                       unsigned long size, const char* path);
__declspec(dllimport) void __stdcall OutputDebugStringA(const char* text);
}
#endif

void* vesk_mem_alloc(size_t size) { return malloc(size ? size : 1); }

void vesk_mem_free(void* block) { free(block); }

// kernel32, not the C runtime's getenv: msvcrt.dll keeps its own copy of the
// environment, taken when it started, and a host built on another runtime
// changes only the process's block, which this reads.
bool vesk_env_get(const char* name, char* out, size_t size) {
    if (!out || size == 0) return false;
    out[0] = '\0';
    if (!name) return false;
    // 0 means unset (ERROR_ENVVAR_NOT_FOUND) or set to the empty text (no
    // error); success does not clear the last error, so clear it first. The
    // host's own last error is put back: reading a setting must not change it.
    const unsigned long hostError = GetLastError();
    SetLastError(0);
    unsigned long length = GetEnvironmentVariableA(name, out, static_cast<unsigned long>(size));
    bool set = length != 0 || GetLastError() == 0;
    // Too small: the result is the size needed, terminating zero included.
    if (length >= size) set = false;
    if (!set || length == 0) out[0] = '\0';
    SetLastError(hostError);
    return set;
}

unsigned long vesk_profile_read(const char* section, const char* key, const char* fallback, char* out,
                                unsigned long size, const char* path) {
    if (!out || size == 0) return 0;
    // Null section or key would switch Windows into its enumeration modes.
    if (!section || !key) {
        section = "";
        key = "";
    }
    return GetPrivateProfileStringA(section, key, fallback ? fallback : "", out, size, path ? path : "");
}

void vesk_debug_output(const char* text) {
    if (text) OutputDebugStringA(text);
}

#if defined(VESK_FREESTANDING)
// The C++ runtime pieces the compiler refers to. Allocation failure gives null;
// nothing here throws.
void* operator new(size_t size) { return vesk_mem_alloc(size); }
void* operator new[](size_t size) { return vesk_mem_alloc(size); }
void operator delete(void* block) noexcept { vesk_mem_free(block); }
void operator delete[](void* block) noexcept { vesk_mem_free(block); }
void operator delete(void* block, size_t) noexcept { vesk_mem_free(block); }
void operator delete[](void* block, size_t) noexcept { vesk_mem_free(block); }

// Called when a pure virtual operation is reached during construction or
// destruction; the component never does that, so there is nothing to recover.
extern "C" int __cdecl _purecall() { return 0; }
#endif
