// The site a component reads its device configuration from: a folder named by
// QX_ROOT, a system below it named by QX_SYSTEM, and the device files
// {root}/{system}/config/system/dev_NNN.ini.
//
// The process environment is the module's too (on Windows both sides use the
// same C runtime), so setting a site sets the two variables, as platform paths
// the module can open: absolute, and on Windows with a drive letter (a path
// from '/' is taken as Wine's Z: drive).
#ifndef VESK_HOST_SITE_H
#define VESK_HOST_SITE_H

#include <optional>
#include <string>

class Site {
public:
    Site();
    // Removes a temporary site and unsets the variables.
    ~Site();
    Site(const Site&) = delete;
    Site& operator=(const Site&) = delete;

    // Both variables unset: every device has database size 0.
    void none();
    // An existing folder, used as it stands (read-only for the emulator).
    // False with `error` set when it is not a folder.
    bool use(const std::string& folder, const std::string& system, std::string& error);
    // A fresh empty folder in the temporary directory, removed again when the
    // site changes or ends. False with `error` set when it cannot be made.
    bool makeTemporary(const std::string& system, std::string& error);

    bool writable() const { return temporary_; }
    // Writes dev_NNN.ini of `device` with `content` as it stands (temporary
    // sites only). False with `error` set otherwise.
    bool writeDevice(int device, const std::string& content, std::string& error);
    bool removeDevice(int device, std::string& error);
    // DatabaseSize_1 of section [Database] in dev_NNN.ini (names in any case,
    // the value's leading digits), as the component reads it; null when there
    // is no site, no file or no such key.
    std::optional<int> databaseSize(int device) const;

    // "dev_NNN.ini": the device number zero-filled to three digits.
    static std::string deviceFileName(int device);
    // The platform's absolute form of `path` (see the header comment).
    static std::string platformPath(const std::string& path);

private:
    void release();
    std::string configFolder() const;

    std::string root_;
    std::string system_;
    bool temporary_ = false;
};

// Sets (value) or unsets (nullopt) an environment variable of the process.
void setEnvironment(const char* name, const std::optional<std::string>& value);

#endif  // VESK_HOST_SITE_H
