// Tests for databaseSize against real device configuration files in a
// temporary site folder.

#include "vesk_script_helper.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "test_support.h"
#include "vesk_platform.h"

namespace {

using Component = QuietComponent;

int Size(int device, int database) {
    Component component;
    return component.databaseSize(device, database);
}

// Creates every missing folder of `path`.
void MakeFolders(const std::string& path) {
    for (size_t at = 1; at <= path.size(); ++at) {
        if (at == path.size() || path[at] == '/') mkdir(path.substr(0, at).c_str(), 0755);
    }
}

// Writes `content` to {root}/{system}/config/system/{file}.
void WriteFile(const std::string& root, const std::string& system, const std::string& file,
               const std::string& content) {
    std::string folder = root + "/" + system + "/config/system";
    MakeFolders(folder);
    std::ofstream out(folder + "/" + file, std::ios::binary);
    out << content;
    if (!out) ADD_FAILURE() << "cannot write " << folder << "/" << file;
}

std::string SizeFile(int size) { return "[Database]\nDatabaseSize_1=" + std::to_string(size) + "\n"; }

// ---- Reading the value ----

TEST(DatabaseSize, ReadsRecordedSize) {
    SiteFolder site;
    site.writeDeviceSize(5, 24);
    EXPECT_EQ(Size(5, 1), 24);
}

TEST(DatabaseSize, ConvertsValueText) {
    struct Case {
        std::string value;
        int size;
    };
    const Case cases[] = {
        {"12", 12},
        {"0", 0},
        {"-5", -5},
        {"+12", 12},
        {"42 word", 42},
        {"12abc", 12},
        {"letters", 0},
        {"", 0},
        {"- 5", 0},
        {"2147483647", INT_MAX},
        {"2147483648", INT_MAX},
        {"4294967338", INT_MAX},
        {"-2147483648", INT_MIN},
        {"-99999999999", INT_MIN},
        {"007", 7},
        {std::string(250, '0') + "12345", 12345},
        // The value storage holds 255 characters: the last digit is cut off.
        {std::string(251, '0') + "12345", 1234},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        site.writeDevice(5, "[Database]\nDatabaseSize_1=" + c.value + "\n");
        EXPECT_EQ(Size(5, 1), c.size) << "input: value " << Printable(c.value.substr(0, 60));
    }
}

TEST(DatabaseSize, MissingFileSectionOrKeyGivesZero) {
    struct Case {
        const char* name;
        std::string content;
    };
    const Case cases[] = {
        {"other section", "[Other]\nDatabaseSize_1=24\n"},
        {"other key", "[Database]\nDatabaseSize_2=24\n"},
        {"key with leading zero", "[Database]\nDatabaseSize_01=24\n"},
        {"empty file", ""},
        {"key in later section", "[Database]\n[Other]\nDatabaseSize_1=24\n"},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        site.writeDevice(5, c.content);
        EXPECT_EQ(Size(5, 1), 0) << "input: " << c.name << " " << Printable(c.content);
    }
    SiteFolder site;
    site.writeDeviceSize(6, 24);
    EXPECT_EQ(Size(5, 1), 0) << "input: no file for device 5";
}

TEST(DatabaseSize, DatabaseNumberPicksTheKey) {
    SiteFolder site;
    site.writeDevice(5, "[Database]\nDatabaseSize_1=10\nDatabaseSize_2=20\nDatabaseSize_12=120\n"
                        "DatabaseSize_0=7\nDatabaseSize_-1=9\n");
    struct Case {
        int database;
        int size;
    };
    const Case cases[] = {{1, 10}, {2, 20}, {12, 120}, {3, 0}, {0, 7}, {-1, 9}, {21, 0}};
    for (const Case& c : cases) EXPECT_EQ(Size(5, c.database), c.size) << "input: database " << c.database;
}

// ---- File names ----

TEST(DatabaseSize, DeviceNumberNamesTheFile) {
    struct Case {
        int device;
        const char* file;
    };
    const Case cases[] = {
        {7, "dev_007.ini"},   {0, "dev_000.ini"},   {12, "dev_012.ini"},   {999, "dev_999.ini"},
        {1234, "dev_1234.ini"}, {123456, "dev_123456.ini"}, {-5, "dev_-05.ini"}, {-123, "dev_-123.ini"},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        // Decoys under names a wrong format would pick.
        for (const char* decoy : {"dev_7.ini", "dev_07.ini", "dev_234.ini", "dev_123.ini", "dev_-5.ini"})
            WriteFile(site.root(), "main", decoy, SizeFile(1));
        WriteFile(site.root(), "main", c.file, SizeFile(321));
        EXPECT_EQ(Size(c.device, 1), 321) << "input: device " << c.device << ", file " << c.file;
    }
}

// ---- The environment ----

TEST(DatabaseSize, UnsetSystemGivesZeroWithoutReadingAFile) {
    SiteFolder site;
    site.writeDeviceSize(5, 24);
    // The file that root alone would name, were the missing value read as empty.
    WriteFile(site.root(), "", "dev_005.ini", SizeFile(24));
    unsetenv("QX_SYSTEM");
    EXPECT_EQ(Size(5, 1), 0);
}

TEST(DatabaseSize, UnsetRootGivesZeroWithoutReadingAFile) {
    SiteFolder site;
    site.writeDeviceSize(5, 24);
    // With the root read as empty the path would start at "\": make the system
    // value name the real site from there.
    std::string system = site.root().substr(1) + "/main";
    ASSERT_EQ(site.root()[0], '/');
    setenv("QX_SYSTEM", system.c_str(), 1);
    unsetenv("QX_ROOT");
    EXPECT_EQ(Size(5, 1), 0);
    // The same file is readable once a root is set.
    setenv("QX_ROOT", "", 1);
    EXPECT_EQ(Size(5, 1), 24);
}

TEST(DatabaseSize, BothUnsetGivesZero) {
    SiteFolder site;
    site.writeDeviceSize(5, 24);
    unsetenv("QX_ROOT");
    unsetenv("QX_SYSTEM");
    EXPECT_EQ(Size(5, 1), 0);
}

TEST(DatabaseSize, EachCallReadsEnvironmentAndFileAfresh) {
    SiteFolder site;
    site.writeDeviceSize(5, 24);
    WriteFile(site.root(), "backup", "dev_005.ini", SizeFile(48));
    EXPECT_EQ(Size(5, 1), 24);
    setenv("QX_SYSTEM", "backup", 1);
    EXPECT_EQ(Size(5, 1), 48);
    WriteFile(site.root(), "backup", "dev_005.ini", SizeFile(96));
    EXPECT_EQ(Size(5, 1), 96);
}

TEST(DatabaseSize, RootEndingInSeparatorStillOpens) {
    for (const char* tail : {"/", "\\"}) {
        SiteFolder site;
        site.writeDeviceSize(5, 24);
        std::string root = site.root() + tail;
        setenv("QX_ROOT", root.c_str(), 1);
        EXPECT_EQ(Size(5, 1), 24) << "input: root " << Printable(root);
    }
}

TEST(DatabaseSize, BackslashesInValuesAreSeparators) {
    SiteFolder site;
    WriteFile(site.root(), "sys/one", "dev_005.ini", SizeFile(11));
    setenv("QX_SYSTEM", "sys\\one", 1);
    EXPECT_EQ(Size(5, 1), 11);
}

// ---- Path length ----

// A root below the site whose length is exactly `length` characters.
std::string RootOfLength(const std::string& site, size_t length) {
    std::string root = site;
    while (root.size() < length) {
        size_t room = length - root.size() - 1;  // after the '/'
        if (room == 0) {
            // A one-character tail cannot be a folder name after '/': lengthen
            // the previous name instead.
            root += "x";
            continue;
        }
        root += "/" + std::string(room > 200 ? 100 : room, 'r');
    }
    return root;
}

TEST(DatabaseSize, PathUpToTheLimitIsRead) {
    struct Case {
        int device;
        const char* file;
        size_t fixed;  // characters of the path besides root and system
    };
    // "\" + "\config\system\" + the file name.
    const Case cases[] = {{5, "dev_005.ini", 27}, {1234, "dev_1234.ini", 28}};
    const std::string system = "main";
    for (const Case& c : cases) {
        SiteFolder site;
        ASSERT_LT(site.root().size() + system.size() + c.fixed, 250u);
        for (size_t total : {size_t{259}, size_t{258}}) {
            std::string root = RootOfLength(site.root(), total - c.fixed - system.size());
            ASSERT_EQ(root.size() + system.size() + c.fixed, total);
            WriteFile(root, system, c.file, SizeFile(static_cast<int>(total)));
            setenv("QX_ROOT", root.c_str(), 1);
            EXPECT_EQ(Size(c.device, 1), static_cast<int>(total)) << "input: path of " << total << " characters";
        }
    }
}

TEST(DatabaseSize, PathBeyondTheLimitGivesZero) {
    struct Case {
        int device;
        const char* file;
        size_t fixed;
    };
    const Case cases[] = {{5, "dev_005.ini", 27}, {1234, "dev_1234.ini", 28}};
    const std::string system = "main";
    for (const Case& c : cases) {
        for (size_t total : {size_t{260}, size_t{261}, size_t{400}, size_t{1000}}) {
            SiteFolder site;
            std::string root = RootOfLength(site.root(), total - c.fixed - system.size());
            ASSERT_EQ(root.size() + system.size() + c.fixed, total);
            WriteFile(root, system, c.file, SizeFile(24));
            setenv("QX_ROOT", root.c_str(), 1);
            EXPECT_EQ(Size(c.device, 1), 0) << "input: path of " << total << " characters";
        }
    }
}

TEST(DatabaseSize, LongSystemCountsToo) {
    SiteFolder site;
    const size_t fixed = 27;
    std::string system = "s";
    system += "/" + std::string(259 - fixed - site.root().size() - 2, 'q');
    ASSERT_EQ(site.root().size() + system.size() + fixed, 259u);
    WriteFile(site.root(), system, "dev_005.ini", SizeFile(31));
    setenv("QX_SYSTEM", system.c_str(), 1);
    EXPECT_EQ(Size(5, 1), 31);
    std::string longer = system + "q";
    WriteFile(site.root(), longer, "dev_005.ini", SizeFile(32));
    setenv("QX_SYSTEM", longer.c_str(), 1);
    EXPECT_EQ(Size(5, 1), 0);
}

TEST(DatabaseSize, AllocatesNothing) {
    SiteFolder site;
    site.writeDeviceSize(5, 24);
    Component component;
    AllocGate gate;
    EXPECT_EQ(component.databaseSize(5, 1), 24);
    EXPECT_EQ(gate.calls, 0);
}

}  // namespace
