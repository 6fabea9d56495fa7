#include "os/os.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "vesk_platform.h"

bool stdinIsTerminal() { return isatty(STDIN_FILENO) != 0; }
bool stdoutIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

bool stdinIsPipe() {
    struct stat info;
    return fstat(STDIN_FILENO, &info) == 0 && (S_ISFIFO(info.st_mode) || S_ISSOCK(info.st_mode));
}

bool stdinHasInput() {
    pollfd input = {STDIN_FILENO, POLLIN, 0};
    return ::poll(&input, 1, 0) > 0;
}

bool stdoutIsStderr() {
    struct stat out, err;
    return fstat(STDOUT_FILENO, &out) == 0 && fstat(STDERR_FILENO, &err) == 0 && out.st_dev == err.st_dev &&
           out.st_ino == err.st_ino;
}

void useBinaryStdio() {}

const char* unreadableStdinReason() {
    struct stat info;
    if (fstat(STDIN_FILENO, &info) == 0 &&
        (S_ISDIR(info.st_mode) || S_ISBLK(info.st_mode) || (S_ISCHR(info.st_mode) && !isatty(STDIN_FILENO))))
        return "standard input is neither a terminal, a pipe nor a regular file";
    return nullptr;
}

void setEnvironment(const char* name, const std::optional<std::string>& value) {
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
}

std::string nativeAbsolutePath(const std::string& path) {
    std::string p = std::filesystem::absolute(std::filesystem::path(path)).lexically_normal().string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string openablePath(const std::string& componentPath) {
    std::string local = componentPath;
    for (char& c : local)
        if (c == '\\') c = '/';
    return local;
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }

unsigned long readProfileString(const char* section, const char* key, char* out, unsigned long size,
                                const std::string& path) {
    return vesk_profile_read(section, key, "", out, size, path.c_str());
}

bool reuseListeningAddress() { return true; }
