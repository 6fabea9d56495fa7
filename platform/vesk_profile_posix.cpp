// Linux stand-in for GetPrivateProfileStringA (contract in vesk_platform.h).
//
// Each call reads the whole file into one buffer and scans it once; nothing is
// cached. Windows lists the section or key names when `section` or `key` is
// null; that is not supported here: a null name finds nothing and the fallback
// is copied.

#include "vesk_platform.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

// Larger files are treated as unreadable.
#define PROFILE_MAX_FILE_SIZE (16u * 1024u * 1024u)

static int is_blank(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' ||
           c == 0x1A;
}

static int is_line_end(char c) {
    return c == '\r' || c == '\n';
}

static void trim(const char** begin, const char** end) {
    while (*begin < *end && is_blank((unsigned char)**begin))
        ++*begin;
    while (*end > *begin && is_blank((unsigned char)(*end)[-1]))
        --*end;
}

static int ascii_lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

static int same_name(const char* a, const char* a_end, const char* b, const char* b_end) {
    if (a_end - a != b_end - b)
        return 0;
    for (; a < a_end; ++a, ++b) {
        if (ascii_lower((unsigned char)*a) != ascii_lower((unsigned char)*b))
            return 0;
    }
    return 1;
}

// memmove: the caller may pass its output buffer as the fallback.
static unsigned long copy_out(const char* text, size_t length, char* out, unsigned long size) {
    size_t room = (size_t)(size - 1);
    size_t n = length < room ? length : room;
    memmove(out, text, n);
    out[n] = '\0';
    return (unsigned long)n;
}

// Returns the file's bytes in a malloc'd block (caller frees), or null when the
// file cannot be opened, is not a regular file, or is too large.
static char* load_file(const char* path, size_t* length) {
    size_t path_length = strlen(path);
    char* local_path = (char*)malloc(path_length + 1);
    if (!local_path)
        return NULL;
    for (size_t i = 0; i < path_length; ++i)
        local_path[i] = path[i] == '\\' ? '/' : path[i];
    local_path[path_length] = '\0';

    FILE* file = fopen(local_path, "rb");
    free(local_path);
    if (!file)
        return NULL;

    char* data = NULL;
    struct stat info;
    if (fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= 0 &&
        (unsigned long long)info.st_size <= PROFILE_MAX_FILE_SIZE) {
        size_t capacity = (size_t)info.st_size;
        // +1 so an empty file still gets a block.
        data = (char*)malloc(capacity + 1);
        if (data) {
            // A file that changed since fstat is read only up to its old size.
            *length = fread(data, 1, capacity, file);
            if (ferror(file)) {
                free(data);
                data = NULL;
            }
        }
    }
    fclose(file);
    return data;
}

// Narrows the UTF-16 code units in data[0..n) in place to 8-bit text, one byte
// per unit: ASCII as it stands, any other unit '?'. `high` is the offset of a
// unit's high byte: 1 little-endian, 0 big-endian. A stray odd byte at the end
// is dropped. Returns the number of characters.
static size_t narrow_utf16(char* data, size_t n, int high) {
    const unsigned char* bytes = (const unsigned char*)data;
    size_t units = n / 2;
    for (size_t i = 0; i < units; ++i) {
        unsigned unit = (unsigned)bytes[2 * i + high] << 8 | bytes[2 * i + 1 - high];
        data[i] = unit < 0x80 ? (char)unit : '?';
    }
    return units;
}

// Skips a UTF-8 byte-order mark, or narrows UTF-16 with its mark (FF FE
// little-endian, FE FF big-endian) in place to 8-bit text. As on Windows, the
// first two bytes alone decide: FE FF before 8-bit text turns it into UTF-16
// units that match nothing. Returns where the text starts.
static const char* decode_text(char* data, size_t* length) {
    const unsigned char* bytes = (const unsigned char*)data;
    size_t n = *length;
    if (n >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        *length = n - 3;
        return data + 3;
    }
    if (n >= 2 && ((bytes[0] == 0xFF && bytes[1] == 0xFE) || (bytes[0] == 0xFE && bytes[1] == 0xFF))) {
        int high = bytes[0] == 0xFF ? 1 : 0;
        *length = narrow_utf16(data + 2, n - 2, high);
        return data + 2;
    }
    return data;
}

// Ends [*begin, *end) at its first zero byte. Windows keeps each name and value
// as a zero-terminated text, so a zero cuts it, but only after the line, its
// '=' and its ']' were found and blanks were trimmed.
static void cut_at_zero(const char* begin, const char** end) {
    const char* zero = (const char*)memchr(begin, '\0', (size_t)(*end - begin));
    if (zero)
        *end = zero;
}

// Finds `key` in the first section named `section`. Returns the start of the
// value (quotes removed) and sets *value_end; returns null when the key is
// missing or its first line has no '=' (Windows then gives the fallback).
static const char* find_value(const char* text, size_t length, const char* section,
                              const char* section_end, const char* key, const char* key_end,
                              const char** value_end) {
    const char* p = text;
    const char* end = text + length;
    int in_section = 0;
    while (p < end) {
        const char* line = p;
        while (p < end && !is_line_end(*p))
            ++p;
        const char* line_end = p;
        while (p < end && is_line_end(*p))
            ++p;

        trim(&line, &line_end);
        if (line == line_end)
            continue;

        if (*line == '[') {
            const char* close = line_end;
            while (close > line && close[-1] != ']')
                --close;
            if (close > line + 1) {
                if (in_section)
                    return NULL;
                const char* name = line + 1;
                const char* name_end = close - 1;
                trim(&name, &name_end);
                cut_at_zero(name, &name_end);
                in_section = same_name(name, name_end, section, section_end);
                continue;
            }
        }
        if (!in_section)
            continue;

        const char* equals = (const char*)memchr(line, '=', (size_t)(line_end - line));
        const char* name = line;
        const char* name_end = equals ? equals : line_end;
        trim(&name, &name_end);
        cut_at_zero(name, &name_end);
        if (!same_name(name, name_end, key, key_end))
            continue;
        if (!equals)
            return NULL;

        const char* value = equals + 1;
        trim(&value, &line_end);
        cut_at_zero(value, &line_end);
        if (line_end - value >= 2 && (*value == '"' || *value == '\'') &&
            line_end[-1] == *value) {
            ++value;
            --line_end;
        }
        *value_end = line_end;
        return value;
    }
    return NULL;
}

unsigned long vesk_profile_read(const char* section, const char* key, const char* fallback,
                                char* out, unsigned long size, const char* path) {
    if (!out || size == 0)
        return 0;

    if (section && key && path) {
        size_t length = 0;
        char* data = load_file(path, &length);
        if (data) {
            const char* text = decode_text(data, &length);
            const char* section_end = section + strlen(section);
            const char* key_end = key + strlen(key);
            trim(&section, &section_end);
            trim(&key, &key_end);
            const char* value_end = NULL;
            const char* value =
                find_value(text, length, section, section_end, key, key_end, &value_end);
            if (value) {
                unsigned long copied = copy_out(value, (size_t)(value_end - value), out, size);
                free(data);
                return copied;
            }
            free(data);
        }
    }

    if (!fallback)
        fallback = "";
    return copy_out(fallback, strlen(fallback), out, size);
}
