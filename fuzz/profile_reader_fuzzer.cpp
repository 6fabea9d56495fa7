// Fuzzes the Linux profile reader. Input layout:
//   byte 0  section name length (mod 24)     byte 1  key name length (mod 24)
//   byte 2  room for the value: 0, 1..39, or 256 (from 200 on)
//   byte 3  bit 0: null fallback; bit 1: the path written with backslashes
//   then the section name bytes, the key name bytes, and the file's content.
// Names end at their first zero byte. Checks: the value never runs past its
// room, always ends in a zero where the count says, is a piece of the file (or
// a prefix of the fallback), and a cut value is the start of the whole one.
#include <fcntl.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "fuzz_support.h"
#include "vesk_platform.h"

// The file lives in memory (a memfd) and is reached by its /proc path, so
// rewriting it for every input costs no disk.
static int file_fd = -1;

static std::string ProfilePath() {
    if (file_fd < 0) {
        file_fd = memfd_create("vesk-fuzz-profile", 0);
        if (file_fd < 0) FuzzFail("cannot make an in-memory file", "");
    }
    return "/proc/self/fd/" + std::to_string(file_fd);
}

static void WriteProfile(const std::string& content) {
    if (ftruncate(file_fd, 0) != 0 ||
        pwrite(file_fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size()))
        FuzzFail("cannot write the profile file", "");
}

static std::string Take(const uint8_t* data, size_t size, size_t* at, size_t count) {
    count = std::min(count, size - *at);
    std::string piece(reinterpret_cast<const char*>(data) + *at, count);
    *at += count;
    return piece.c_str();  // up to the first zero byte
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    size_t at = 4;
    const std::string section = Take(data, size, &at, data[0] % 24);
    const std::string key = Take(data, size, &at, data[1] % 24);
    const unsigned long room = data[2] == 0 ? 0 : data[2] >= 200 ? 256 : data[2] % 40;
    const char* fallback = (data[3] & 1) ? nullptr : "fallback value";
    const std::string content(reinterpret_cast<const char*>(data) + at, size - at);

    std::string given = ProfilePath();
    WriteProfile(content);
    if (data[3] & 2) std::replace(given.begin(), given.end(), '/', '\\');

    const std::string what = "section " + Escaped(section) + ", key " + Escaped(key) + ", room " + std::to_string(room);
    // Exactly `room` bytes, so that AddressSanitizer sees any write past them.
    char* out = static_cast<char*>(malloc(room ? room : 1));
    out[0] = 'X';
    const unsigned long copied = vesk_profile_read(section.c_str(), key.c_str(), fallback, out, room, given.c_str());
    if (room == 0) {
        if (copied != 0 || out[0] != 'X') FuzzFail("wrote into no room", what);
        free(out);
        return 0;
    }
    if (copied >= room) FuzzFail("count " + std::to_string(copied) + " leaves no room for the zero", what);
    if (out[copied] != '\0' || strlen(out) != copied) FuzzFail("value not ended where the count says", what);
    const std::string value(out, copied);
    free(out);

    const std::string fallbackText = fallback ? fallback : "";
    const bool fromFallback = fallbackText.compare(0, value.size(), value) == 0;
    const bool wide = content.size() >= 2 && ((static_cast<unsigned char>(content[0]) == 0xFF &&
                                               static_cast<unsigned char>(content[1]) == 0xFE) ||
                                              (static_cast<unsigned char>(content[0]) == 0xFE &&
                                               static_cast<unsigned char>(content[1]) == 0xFF));
    if (!fromFallback && !wide && content.find(value) == std::string::npos)
        FuzzFail("value " + Escaped(value) + " is in neither the file nor the fallback", what);

    char whole[4096];
    const unsigned long full = vesk_profile_read(section.c_str(), key.c_str(), fallback, whole, sizeof whole, given.c_str());
    if (full < copied || std::string(whole, copied) != value)
        FuzzFail("cut value " + Escaped(value) + " is not the start of " + Escaped(whole), what);
    if (full > copied && copied != room - 1) FuzzFail("value cut although it fitted", what);
    return 0;
}
