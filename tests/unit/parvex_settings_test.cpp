// Parvex settings and questions from the hosting panel, and how a device's
// configuration file decides which destinations it takes.

#include <stdlib.h>
#include <sys/stat.h>

#include <climits>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "parvex_test_driver.h"
#include "test_support.h"

namespace {

using namespace parvex_test;

const char kStateSheetRed[] = "TP 'statesheet=red' '1' 'LevelMimic'";

// ---- Answers and immediate commands ----

struct SettingCase {
    const char* text;
    std::optional<std::string> answer;
    std::vector<std::string> commands;
};

TEST(ParvexSettings, FreshComponentAnswersAndSendsPerSetting) {
    const SettingCase cases[] = {
        {"_events", "notify=*", {}},
        {"_events=1", "notify=*", {}},
        {"_events.sub", "notify=*", {}},
        {"_EVENTS", std::nullopt, {}},
        {"_commands", std::nullopt, {}},
        {"return=all", std::nullopt, {}},
        {"return=other", std::nullopt, {}},
        {"return", std::nullopt, {}},
        {"instance", std::nullopt, {}},
        {"instance=2", std::nullopt, {}},
        {"unknown=1", std::nullopt, {}},
        {"Driverid=5", std::nullopt, {}},
        {"", std::nullopt, {}},
        {"=5", std::nullopt, {}},
        {"driverid=5", std::nullopt, {}},
        {"destid=12", std::nullopt, {}},
        {"statesheet=red", std::nullopt, {kStateSheetRed}},
        {"statesheet", std::nullopt, {"TP 'statesheet=' '1' 'LevelMimic'"}},
        {"unusedtext=Spare", std::nullopt, {ShowCommand("Spare")}},
        {"unusedtext", std::nullopt, {ShowCommand("")}},
        {"unusedtext=a=b 'c'", std::nullopt, {ShowCommand("a=b 'c'")}},
        {"unusedtext.x.y=Spare", std::nullopt, {ShowCommand("Spare")}},
    };
    for (const SettingCase& c : cases) {
        Rig rig(WriteDevice5);
        auto& [site, host, component] = rig;
        host.clear();

        const std::optional<std::string> answer = Send(*component, c.text);

        EXPECT_EQ(answer, c.answer) << "input: " << Printable(c.text) << " answer: " << PrintableAnswer(answer);
        EXPECT_TRUE(SameCommands(host.commands, c.commands)) << "input: " << Printable(c.text);
        EXPECT_EQ(host.calls.size(), host.commands.size()) << "input: " << Printable(c.text);
    }
}

// Questions and unknown commands leave a running pair as it was.
TEST(ParvexSettings, QuestionsLeavePairUnchanged) {
    const char* const questions[] = {"_events", "_commands", "return=all", "return=x", "instance",
                                     "unknown=3", "", "_events=destid"};
    for (const char* question : questions) {
        Rig rig(WriteDevice5);
        SetPair(*rig.component, 5, 12);
        const std::string input = "input: " + Printable(question);
        rig.step(input, [&] { Send(*rig.component, question); }, {});

        // No clear here: the check covers the whole session.
        Timer(*rig.component, 1);
        Send(*rig.component, "unusedtext=Idle");
        rig.component.reset();
        EXPECT_TRUE(SameCommands(rig.host.commands, {"RP 5 12 12", "RU 5", "AS"})) << input;
    }
}

TEST(ParvexSettings, StateSheetIsSentWhateverThePairState) {
    struct Case {
        const char* name;
        std::vector<std::string> before;
    };
    const Case cases[] = {
        {"fresh", {}},
        {"device only", {"driverid=5"}},
        {"pair set", {"driverid=5", "destid=12"}},
        {"device changed to 0", {"driverid=5", "destid=12", "driverid=0"}},
    };
    for (const Case& c : cases) {
        Rig rig(WriteDevice5);
        for (const std::string& text : c.before) Send(*rig.component, text);
        rig.step(std::string("case: ") + c.name, [&] {
            Send(*rig.component, "statesheet=red");
            Send(*rig.component, "statesheet=red");
        }, {kStateSheetRed, kStateSheetRed});
    }
}

TEST(ParvexSettings, UnusedTextShownOnlyWhileDeviceOrDestinationBelowOne) {
    struct Case {
        std::vector<std::string> before;
        bool shown;
    };
    const Case cases[] = {
        {{}, true},
        {{"driverid=5"}, true},
        {{"destid=12"}, true},
        {{"destid=12", "driverid=5"}, true},
        {{"driverid=5", "destid=65"}, true},
        {{"driverid=5", "destid=12"}, false},
        {{"driverid=5", "destid=12", "driverid=0"}, true},
        {{"driverid=5", "destid=12", "driverid=-4"}, true},
        {{"driverid=5", "destid=12", "driverid=abc"}, true},
        {{"driverid=5", "destid=12", "driverid"}, true},
        {{"driverid=5", "destid=12", "driverid=1000"}, false},
        {{"driverid=5", "destid=12", "destid=0"}, false},
    };
    for (const Case& c : cases) {
        Rig rig(WriteDevice5);
        for (const std::string& text : c.before) Send(*rig.component, text);
        rig.step("after: " + ListOf(c.before), [&] { Send(*rig.component, "unusedtext=Idle"); },
                 c.shown ? std::vector<std::string>{ShowCommand("Idle")} : std::vector<std::string>{});
    }
}

// Sub-parts of a command path are not read: a dotted setting behaves exactly as
// the plain one over a whole session.
TEST(ParvexSettings, DottedSettingActsAsPlainOne) {
    struct Case {
        const char* dotted;
        const char* plain;
    };
    const Case cases[] = {
        {"driverid.a.b=5", "driverid=5"},
        {"driverid.x=5", "driverid=5"},
        {"destid.a=12", "destid=12"},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<std::string>> sessions;
        for (const char* variant : {c.plain, c.dotted}) {
            Rig rig(WriteDevice5);
            auto& [site, host, component] = rig;
            const bool device = std::string(c.plain).rfind("driverid", 0) == 0;
            Send(*component, device ? variant : "driverid=5");
            Send(*component, device ? "destid=12" : variant);
            Timer(*component, 1);
            component.reset();
            sessions.push_back(host.commands);
        }
        ASSERT_GT(sessions[0].size(), 3u) << "plain session too short for: " << Printable(c.plain);
        EXPECT_TRUE(SameCommands(sessions[1], sessions[0])) << "input: " << Printable(c.dotted);
    }
}

// ---- Numbers in settings ----

struct NumberCase {
    const char* text;
    int taken;  // the number acted on; 0 when the setting is refused
};

TEST(ParvexSettings, DestinationTextReadByItsLeadingNumber) {
    const NumberCase cases[] = {
        {"destid=12", 12},    {"destid=abc", 0},   {"destid=12abc", 12}, {"destid= 12", 12},
        {"destid=\t12", 12},  {"destid=+12", 12},  {"destid=012", 12},   {"destid=-12", 0},
        {"destid=0x10", 0},   {"destid=", 0},      {"destid", 0},        {"destid=12.5", 12},
        {"destid=12=3", 12},  {"destid=1 2", 1},   {"destid=99999999999", 0},
        {"destid=-99999999999", 0},
    };
    for (const NumberCase& c : cases) {
        Rig rig(WriteDevice5);
        Send(*rig.component, "driverid=5");
        rig.step("input: " + Printable(c.text), [&] { Send(*rig.component, c.text); },
                 c.taken ? PairCommands(5, 5, c.taken) : std::vector<std::string>{});
    }
}

TEST(ParvexSettings, DeviceTextReadByItsLeadingNumber) {
    const NumberCase cases[] = {
        {"driverid=5", 5},   {"driverid= 7", 7},  {"driverid=7abc", 7}, {"driverid=+5", 5},
        {"driverid=005", 5}, {"driverid=5.0", 5}, {"driverid=abc", 0},  {"driverid=-5", 0},
        {"driverid=", 0},    {"driverid", 0},     {"driverid=99999999999", 0},
    };
    for (const NumberCase& c : cases) {
        Rig rig(WriteDevices5And7);
        Send(*rig.component, c.text);
        rig.step("input: " + Printable(c.text), [&] { Send(*rig.component, "destid=12"); },
                 c.taken ? PairCommands(c.taken, c.taken, 12) : std::vector<std::string>{});
    }
}

// A setting that is refused still replaces the number it names: a device of 0
// stops the polling and leaves nothing to unregister.
TEST(ParvexSettings, DeviceWithoutValueEndsPolling) {
    Rig rig(WriteDevice5);
    SetPair(*rig.component, 5, 12);
    rig.step("step: driverid, timer 1, delete", [&] {
        Send(*rig.component, "driverid");
        Timer(*rig.component, 1);
        rig.component.reset();
    }, {"ET 1", "AS"});
}

// ---- Database size from the device's configuration file ----

// Sets device 5 on a new component, then checks that destination `size` is
// taken and `size` + 1 refused (for a size of 0 or less: that 1 is refused).
void ExpectDatabaseSize(int device, int size, const std::string& context) {
    RecordingHost host;
    auto component = Create(&host);
    Send(*component, "driverid=" + std::to_string(device));
    host.clear();

    if (size < 1) {
        Send(*component, "destid=1");
        EXPECT_TRUE(SameCommands(host.commands, {})) << context << " destid=1";
        return;
    }
    if (size < INT_MAX) {
        Send(*component, "destid=" + std::to_string(size + 1));
        EXPECT_TRUE(SameCommands(host.commands, {})) << context << " destid=" << size + 1;
        host.clear();
    }
    Send(*component, "destid=" + std::to_string(size));
    EXPECT_TRUE(SameCommands(host.commands, PairCommands(device, device, size))) << context << " destid=" << size;
}

// `text` as UTF-16LE with its byte-order mark.
std::string Utf16Le(const std::string& text) {
    std::string out = "\xFF\xFE";
    for (char c : text) {
        out += c;
        out += '\0';
    }
    return out;
}

TEST(ParvexDatabaseSize, ReadFromManyFileShapes) {
    struct Case {
        std::string content;
        int size;
    };
    const Case cases[] = {
        {"[Database]\nDatabaseSize_1=64\n", 64},
        {"[Database]\r\nDatabaseSize_1=64\r\n", 64},
        {"[Database]\rDatabaseSize_1=64\r", 64},
        {"\xEF\xBB\xBF[Database]\nDatabaseSize_1=64\n", 64},
        {"[Database]\nDatabaseSize_1 = 64\n", 64},
        {"[Database]\n  DatabaseSize_1\t=\t64  \n", 64},
        {"[database]\ndatabasesize_1=64\n", 64},
        {"[DATABASE]\nDATABASESIZE_1=64\n", 64},
        {"[Database]\nDatabaseSize_1=\"64\"\n", 64},
        {"[Database]\nDatabaseSize_1='64'\n", 64},
        {"[Database]\nDatabaseSize_1=64 ; comment\n", 64},
        {"[Database]\nDatabaseSize_1=64", 64},
        {"[Database]\nDatabaseSize_1=0064\n", 64},
        {"[Database]\nDatabaseSize_1=+64\n", 64},
        {"[Database]\nDatabaseSize_10=99\nDatabaseSize_1=64\n", 64},
        {"[Database]\nDatabaseSize_1=64\nDatabaseSize_1=128\n", 64},
        {"; site file\n[Database]\n;DatabaseSize_1=10\nDatabaseSize_1=64\n", 64},
        {"[Info]\nName=Router\n[Database]\nDatabaseSize_2=10\nDatabaseSize_1=64\n[Other]\nDatabaseSize_1=9\n", 64},
        {Utf16Le("[Database]\r\nDatabaseSize_1=64\r\n"), 64},
        {"[Database]\nDatabaseSize_1=1\n", 1},
        {"DatabaseSize_1=64\n", 0},
        {"[Other]\nDatabaseSize_1=64\n[Database]\nDatabaseSize_2=64\n", 0},
        {"[Database]\nDatabaseSize_2=64\nName=Router\n", 0},
        {"[Database]\nDatabaseSize=64\nDatabaseSize_12=64\n", 0},
        {"", 0},
        {"[Database]\n", 0},
        {"[Database]\nDatabaseSize_1=\n", 0},
        {"[Database]\nDatabaseSize_1=abc\n", 0},
        {"[Database]\nDatabaseSize_1=0\n", 0},
        {"[Database]\nDatabaseSize_1=-5\n", 0},
        {"[Database]\nDatabaseSize_1\n", 0},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        site.writeDevice(5, c.content);
        ExpectDatabaseSize(5, c.size, "file: " + Printable(c.content));
    }
}

// Sizes beyond the 32-bit range saturate; they never wrap round to a small
// number (4294967338 would wrap to 42).
TEST(ParvexDatabaseSize, HugeSizeSaturates) {
    const char* const values[] = {"4294967338", "2147483648", "99999999999999999999"};
    for (const char* value : values) {
        SiteFolder site;
        site.writeDevice(5, std::string("[Database]\nDatabaseSize_1=") + value + "\n");
        ExpectDatabaseSize(5, INT_MAX, std::string("size: ") + value);

        RecordingHost host;
        auto component = Create(&host);
        Send(*component, "driverid=5");
        host.clear();
        Send(*component, "destid=43");
        EXPECT_TRUE(SameCommands(host.commands, PairCommands(5, 5, 43))) << "size: " << value;
    }
}

TEST(ParvexDatabaseSize, SizeNegativeBeyondRangeRefusesAll) {
    SiteFolder site;
    site.writeDevice(5, "[Database]\nDatabaseSize_1=-4294967338\n");
    ExpectDatabaseSize(5, 0, "size: -4294967338");
}

TEST(ParvexDatabaseSize, EachDeviceReadsItsOwnFile) {
    SiteFolder site;
    site.writeDeviceSize(5, 20);
    site.writeDeviceSize(7, 40);
    site.writeDeviceSize(999, 30);
    ExpectDatabaseSize(5, 20, "device 5");
    ExpectDatabaseSize(7, 40, "device 7");
    ExpectDatabaseSize(999, 30, "device 999");
    ExpectDatabaseSize(6, 0, "device 6 (no file)");
}

// The file name carries the device zero-filled to three digits: a file named
// without the zeros is not the device's.
TEST(ParvexDatabaseSize, FileNameIsZeroFilled) {
    struct Case {
        int device;
        const char* file;
        int size;
    };
    const Case cases[] = {
        {7, "dev_007.ini", 64}, {7, "dev_7.ini", 0},    {7, "dev_0007.ini", 0},
        {42, "dev_042.ini", 64}, {42, "dev_42.ini", 0}, {123, "dev_123.ini", 64},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        std::ofstream(site.root() + "/main/config/system/" + c.file) << "[Database]\nDatabaseSize_1=64\n";
        ExpectDatabaseSize(c.device, c.size, std::string("file: ") + c.file);
    }
}

// A four-digit device is outside 1..999 and refused even with a file of its own.
TEST(ParvexDatabaseSize, FourDigitDeviceNeverTaken) {
    for (int device : {1000, 1234, 9999}) {
        SiteFolder site;
        site.writeDeviceSize(device, 64);
        ExpectDatabaseSize(device, 0, "device " + std::to_string(device));
    }
}

TEST(ParvexDatabaseSize, MissingEnvironmentRefusesAll) {
    for (const char* name : {"QX_ROOT", "QX_SYSTEM"}) {
        SiteFolder site;
        site.writeDeviceSize(5, 64);
        unsetenv(name);
        ExpectDatabaseSize(5, 0, std::string("unset: ") + name);
    }
}

// The file is read afresh at each destination setting.
TEST(ParvexDatabaseSize, FileReadAtEachDestinationSetting) {
    struct Case {
        const char* name;
        int sizeBefore;  // -1: no file yet
        std::vector<std::string> before;
        int destination;
        int sizeAfter;
        const char* whenBefore;
        const char* whenAfter;
    };
    const Case cases[] = {
        {"file written later is read", -1, {"driverid=5"}, 12, 64, "before the file exists",
         "after the file was written"},
        {"file changed later is read", 10, {"driverid=5", "destid=10"}, 11, 11, "size 10", "size 11"},
    };
    for (const Case& c : cases) {
        Rig rig([&](SiteFolder& site) {
            if (c.sizeBefore >= 0) site.writeDeviceSize(5, c.sizeBefore);
        });
        for (const std::string& text : c.before) Send(*rig.component, text);
        const std::string setting = "destid=" + std::to_string(c.destination);
        rig.step(std::string(c.name) + ": " + c.whenBefore, [&] { Send(*rig.component, setting); }, {});

        // No clear: the refused setting must have sent nothing either.
        rig.site.writeDeviceSize(5, c.sizeAfter);
        Send(*rig.component, setting);
        EXPECT_TRUE(SameCommands(rig.host.commands, PairCommands(5, 5, c.destination)))
            << c.name << ": " << c.whenAfter;
    }
}

// The full path {QX_ROOT}\{QX_SYSTEM}\config\system\dev_005.ini fits in 259
// characters; one more and the size reads 0 although the file exists.
TEST(ParvexDatabaseSize, PathLimit) {
    for (int extra : {0, 1}) {
        SiteFolder site;
        const std::string tail = "\\config\\system\\dev_005.ini";
        const size_t systemLength = 259 - site.root().size() - 1 - tail.size() + extra;
        const std::string system(systemLength, 's');
        std::string dir = site.root() + "/" + system;
        for (const char* part : {"", "/config", "/config/system"}) mkdir((dir + part).c_str(), 0755);
        std::ofstream(dir + "/config/system/dev_005.ini") << "[Database]\nDatabaseSize_1=64\n";
        setenv("QX_SYSTEM", system.c_str(), 1);
        ASSERT_EQ(site.root().size() + 1 + system.size() + tail.size(), 259u + extra);

        ExpectDatabaseSize(5, extra ? 0 : 64, "path length " + std::to_string(259 + extra));
    }
}

}  // namespace
