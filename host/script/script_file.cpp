#include "script/script_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>


#include "os/os.h"
#include "script/scenario.h"

namespace fs = std::filesystem;

// Reads `in` to its end, stopping at the first line longer than the limit.
static ScriptRead readAll(std::FILE* in) {
    ScriptRead out;
    char buffer[8192];
    size_t lineLength = 0;
    int line = 1;
    while (true) {
        size_t n = std::fread(buffer, 1, sizeof buffer, in);
        for (size_t i = 0; i < n; ++i) {
            if (buffer[i] == '\n') {
                ++line;
                lineLength = 0;
            } else if (++lineLength > kMaxLineBytes + 1) {  // + 1: a "\r" before "\n"
                out.error = overlongLine();
                out.line = line;
                return out;
            }
        }
        out.content.append(buffer, n);
        if (n < sizeof buffer) break;
    }
    if (std::ferror(in)) {
        out.error = std::strerror(errno);
        return out;
    }
    out.ok = true;
    return out;
}

ScriptRead readScriptFile(const std::string& path) {
    ScriptRead out;
    std::error_code ec;
    fs::file_status status = fs::status(fs::path(path), ec);
    if (ec) {
        out.error = ec.message();
        return out;
    }
    if (fs::is_directory(status)) {
        out.error = std::make_error_code(std::errc::is_a_directory).message();
        return out;
    }
    // A device or a pipe may never end.
    if (!fs::is_regular_file(status)) {
        out.error = "not a regular file";
        return out;
    }
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in) {
        out.error = std::strerror(errno);
        return out;
    }
    out = readAll(in);
    std::fclose(in);
    return out;
}

ScriptRead readScriptInput() {
    if (const char* why = unreadableStdinReason()) {
        ScriptRead out;
        out.error = why;
        return out;
    }
    return readAll(stdin);
}
