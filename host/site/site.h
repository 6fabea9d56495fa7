// The site a component reads its device configuration from: a folder named by
// QX_ROOT, a system below it named by QX_SYSTEM, and the device files
// {root}/{system}/config/system/dev_NNN.ini.
//
// The process environment is the module's too (on Windows both sides use the
// same C runtime), so setting a site sets the two variables, as platform paths
// the module can open: absolute, and on Windows with a drive letter (a path
// from '/' is taken as Wine's Z: drive).
#ifndef VESK_HOST_SITE_SITE_H
#define VESK_HOST_SITE_SITE_H

#include <optional>
#include <string>
#include <vector>

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
    // site changes or ends. False with `error` set when it cannot be made, or
    // when `system` is not one plain folder name (the files are written below
    // it, so a path, "." or ".." would write outside the folder); nothing is
    // made then.
    bool makeTemporary(const std::string& system, std::string& error);

    bool writable() const { return temporary_; }
    // QX_ROOT and QX_SYSTEM as set; empty when unset.
    const std::string& root() const { return root_; }
    const std::string& system() const { return system_; }
    // The devices that have a dev_NNN.ini in the system's config folder,
    // lowest first.
    std::vector<int> deviceFiles() const;
    // Writes dev_NNN.ini of `device` with `content` as it stands (temporary
    // sites only). False with `error` set otherwise.
    bool writeDevice(int device, const std::string& content, std::string& error);
    bool removeDevice(int device, std::string& error);

    // One folder name, the same on Linux and Windows: not empty, no
    // separator, no drive letter or stream (':'), no zero byte, not "." or "..".
    static bool plainFolderName(const std::string& name);
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

#endif  // VESK_HOST_SITE_SITE_H
