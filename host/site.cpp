#include "site.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

static const char kRootVariable[] = "QX_ROOT";
static const char kSystemVariable[] = "QX_SYSTEM";

void setEnvironment(const char* name, const std::optional<std::string>& value) {
#if defined(_WIN32)
    // _putenv changes both the process environment, which the module reads,
    // and the C runtime's copy; "NAME=" removes the variable, so an empty
    // value cannot be set here.
    std::string assignment = std::string(name) + "=" + (value ? *value : "");
    _putenv(assignment.c_str());
#else
    if (value)
        setenv(name, value->c_str(), 1);
    else
        unsetenv(name);
#endif
}

Site::Site() { none(); }

Site::~Site() { none(); }

void Site::release() {
    if (temporary_ && !root_.empty()) {
        std::error_code ignored;
        fs::remove_all(fs::path(root_), ignored);
    }
    root_.clear();
    system_.clear();
    temporary_ = false;
}

void Site::none() {
    release();
    setEnvironment(kRootVariable, std::nullopt);
    setEnvironment(kSystemVariable, std::nullopt);
}

std::string Site::platformPath(const std::string& path) {
#if defined(_WIN32)
    std::string p = path;
    for (char& c : p)
        if (c == '/') c = '\\';
    if (!p.empty() && p[0] == '\\' && (p.size() < 2 || p[1] != '\\')) p = "Z:" + p;
    char full[MAX_PATH * 4];
    DWORD n = GetFullPathNameA(p.c_str(), sizeof full, full, nullptr);
    if (n > 0 && n < sizeof full) p.assign(full, n);
    while (p.size() > 3 && p.back() == '\\') p.pop_back();
    return p;
#else
    std::string p = fs::absolute(fs::path(path)).lexically_normal().string();
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
#endif
}

bool Site::use(const std::string& folder, const std::string& system, std::string& error) {
    std::error_code ec;
    if (!fs::is_directory(fs::path(folder), ec)) {
        error = "site folder not found";
        return false;
    }
    release();
    root_ = platformPath(folder);
    system_ = system;
    setEnvironment(kRootVariable, root_);
    setEnvironment(kSystemVariable, system_);
    return true;
}

bool Site::makeTemporary(const std::string& system, std::string& error) {
    release();
    std::error_code ec;
    fs::path base = fs::temp_directory_path(ec);
    if (ec) {
        error = "no temporary folder";
        return false;
    }
#if defined(_WIN32)
    unsigned long pid = GetCurrentProcessId();
#else
    unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = base / ("vesk-site-" + std::to_string(pid) + "-" + std::to_string(++counter));
        if (fs::create_directory(candidate, ec) && !ec) {
            root_ = platformPath(candidate.string());
            system_ = system;
            temporary_ = true;
            setEnvironment(kRootVariable, root_);
            setEnvironment(kSystemVariable, system_);
            return true;
        }
    }
    error = "cannot make a temporary site folder";
    return false;
}

std::string Site::deviceFileName(int device) {
    char name[32];
    std::snprintf(name, sizeof name, "dev_%03d.ini", device);
    return name;
}

std::string Site::configFolder() const {
    return (fs::path(root_) / system_ / "config" / "system").string();
}

bool Site::writeDevice(int device, const std::string& content, std::string& error) {
    if (!temporary_) {
        error = "the site is not writable (use \"site temp\" for files the script writes)";
        return false;
    }
    std::error_code ec;
    fs::create_directories(fs::path(configFolder()), ec);
    std::ofstream out(fs::path(configFolder()) / deviceFileName(device), std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    if (!out) {
        error = "cannot write " + deviceFileName(device);
        return false;
    }
    return true;
}

bool Site::removeDevice(int device, std::string& error) {
    if (!temporary_) {
        error = "the site is not writable (use \"site temp\" for files the script writes)";
        return false;
    }
    std::error_code ec;
    fs::remove(fs::path(configFolder()) / deviceFileName(device), ec);
    return true;
}

static std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return "";
    return text.substr(begin, text.find_last_not_of(" \t\r") + 1 - begin);
}

static bool sameWord(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return i == a.size() && !b[i];
}

std::optional<int> Site::databaseSize(int device) const {
    if (root_.empty()) return std::nullopt;
    std::ifstream in(fs::path(configFolder()) / deviceFileName(device), std::ios::binary);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (!line.empty() && line[0] == '[') {
            inSection = line.back() == ']' && sameWord(trimmed(line.substr(1, line.size() - 2)), "Database");
            continue;
        }
        size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos || !sameWord(trimmed(line.substr(0, equals)), "DatabaseSize_1"))
            continue;
        std::string value = trimmed(line.substr(equals + 1));
        long long n = 0;
        size_t i = value.size() && value[0] == '-' ? 1 : 0;
        for (; i < value.size() && value[i] >= '0' && value[i] <= '9' && n < 1000000000; ++i) n = n * 10 + (value[i] - '0');
        return static_cast<int>(value.size() && value[0] == '-' ? -n : n);
    }
    return std::nullopt;
}
