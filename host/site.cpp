#include "site.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "text.h"

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

bool Site::plainFolderName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find_first_of(std::string("/\\:\0", 4)) == std::string::npos;
}

bool Site::makeTemporary(const std::string& system, std::string& error) {
    if (!plainFolderName(system)) {
        error = "expected one folder name for the system of a temporary site, not " + quoteText(system);
        return false;
    }
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

std::vector<int> Site::deviceFiles() const {
    std::vector<int> devices;
    if (root_.empty()) return devices;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(configFolder()), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        int device = 0;
        char tail = 0;
        if (std::sscanf(name.c_str(), "dev_%d.ini%c", &device, &tail) == 1 && name == deviceFileName(device))
            devices.push_back(device);
    }
    std::sort(devices.begin(), devices.end());
    return devices;
}
