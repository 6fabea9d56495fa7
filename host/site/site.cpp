#include "site/site.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "base/text.h"

#include "os/os.h"

namespace fs = std::filesystem;

static const char kRootVariable[] = "QX_ROOT";
static const char kSystemVariable[] = "QX_SYSTEM";

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

std::string Site::platformPath(const std::string& path) { return nativeAbsolutePath(path); }

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
    const unsigned long pid = processId();
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
