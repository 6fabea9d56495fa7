// POSIX stand-ins for the platform layer: see vesk_platform.h. The profile
// reader is in vesk_profile_posix.cpp.
#include "vesk_platform.h"

#include <stdlib.h>
#include <string.h>

static vesk_alloc_gate alloc_gate = nullptr;
static void* alloc_gate_context = nullptr;
static vesk_debug_sink debug_sink = nullptr;
static void* debug_sink_context = nullptr;

void* vesk_mem_alloc(size_t size) {
    if (alloc_gate && !alloc_gate(size, alloc_gate_context)) return nullptr;
    return malloc(size ? size : 1);
}

void vesk_mem_free(void* block) { free(block); }

bool vesk_env_get(const char* name, char* out, size_t size) {
    if (!out || size == 0) return false;
    out[0] = '\0';
    const char* value = name ? getenv(name) : nullptr;
    if (!value) return false;
    size_t length = strlen(value);
    if (length >= size) return false;
    memcpy(out, value, length + 1);
    return true;
}

void vesk_debug_output(const char* text) {
    if (text && debug_sink) debug_sink(text, debug_sink_context);
}

void vesk_platform_set_debug_sink(vesk_debug_sink sink, void* context) {
    debug_sink = sink;
    debug_sink_context = context;
}

void vesk_platform_set_alloc_gate(vesk_alloc_gate gate, void* context) {
    alloc_gate = gate;
    alloc_gate_context = context;
}
