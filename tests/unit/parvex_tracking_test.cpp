// Parvex following one router destination: set-up of the pair, router reports,
// the polling timer and the refusals, as whole command sequences.

#include <climits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "parvex_test_driver.h"
#include "test_support.h"

namespace {

using namespace parvex_test;

// Devices 5 and 7 with 64 destinations each.
void WriteSite(SiteFolder& site) {
    site.writeDeviceSize(5, 64);
    site.writeDeviceSize(7, 64);
}

TEST(ParvexTracking, NormalStart) {
    SiteFolder site;
    WriteSite(site);
    RecordingHost host;
    auto component = Create(&host);
    EXPECT_TRUE(SameCommands(host.commands, {"PS '1' 'mimic.vesk_ui'"})) << "step: create";

    host.clear();
    Send(*component, "driverid=5");
    EXPECT_TRUE(SameCommands(host.commands, {})) << "step: driverid=5";

    host.clear();
    Send(*component, "destid=12");
    EXPECT_TRUE(SameCommands(host.commands, {"RU 5", "RR 5 12 12", "RP 5 12 12", "ET 1 10000"}))
        << "step: destid=12";

    host.clear();
    Timer(*component, 1);
    Timer(*component, 1);
    EXPECT_TRUE(SameCommands(host.commands, {"RP 5 12 12", "RP 5 12 12"})) << "step: timer 1 twice";

    host.clear();
    Report(*component, 5, 12, 3, "CAM 3");
    EXPECT_TRUE(SameCommands(host.commands, {"TP 'text=CAM 3' '1' 'LevelMimic'", "ET 1"}))
        << "step: report 5/12 info 3";

    host.clear();
    Report(*component, 5, 12, 3, "CAM 3");
    Report(*component, 5, 13, 5, "CAM 5");
    Report(*component, 6, 12, 5, "CAM 5");
    EXPECT_TRUE(SameCommands(host.commands, {})) << "step: repeated and foreign reports";

    host.clear();
    Report(*component, 5, 12, 4, "VT 1");
    EXPECT_TRUE(SameCommands(host.commands, {"TP 'text=VT 1' '1' 'LevelMimic'", "ET 1"}))
        << "step: report 5/12 info 4";

    host.clear();
    component.reset();
    EXPECT_TRUE(SameCommands(host.commands, {"RU 5", "AS"})) << "step: delete";
}

// Destination first: refused without a device, and only a later destination
// setting sets up the pair.
TEST(ParvexTracking, DestinationBeforeDevice) {
    SiteFolder site;
    WriteSite(site);
    RecordingHost host;
    auto component = Create(&host);
    host.clear();

    Send(*component, "destid=12");
    Send(*component, "driverid=5");
    EXPECT_TRUE(SameCommands(host.commands, {})) << "step: destid=12, driverid=5";

    host.clear();
    Timer(*component, 1);
    EXPECT_TRUE(SameCommands(host.commands, {"ET 1"})) << "step: timer 1 without a pair";

    host.clear();
    Send(*component, "unusedtext=Spare");
    EXPECT_TRUE(SameCommands(host.commands, {ShowCommand("Spare")})) << "step: unusedtext=Spare";

    host.clear();
    Send(*component, "destid=12");
    EXPECT_TRUE(SameCommands(host.commands, {"RU 5", "RR 5 12 12", "RP 5 12 12", "ET 1 10000"}))
        << "step: destid=12 again";
}

TEST(ParvexTracking, ChangingTheDevice) {
    SiteFolder site;
    WriteSite(site);
    RecordingHost host;
    auto component = Create(&host);
    SetPair(*component, 5, 12);
    host.clear();

    Send(*component, "driverid=7");
    EXPECT_TRUE(SameCommands(host.commands, {})) << "step: driverid=7";

    host.clear();
    Timer(*component, 1);
    EXPECT_TRUE(SameCommands(host.commands, {"RP 7 12 12"})) << "step: timer 1";

    host.clear();
    Report(*component, 5, 12, 3, "CAM 3");
    EXPECT_TRUE(SameCommands(host.commands, {})) << "step: report from the old device";

    host.clear();
    Send(*component, "destid=12");
    EXPECT_TRUE(SameCommands(host.commands, {})) << "step: destid=12 (current destination)";

    host.clear();
    Send(*component, "destid=20");
    EXPECT_TRUE(SameCommands(host.commands, {"RU 7", "RR 7 20 20", "RP 7 20 20", "ET 1 10000"}))
        << "step: destid=20";

    host.clear();
    Report(*component, 7, 20, 2, "VT 2");
    component.reset();
    EXPECT_TRUE(SameCommands(host.commands, {ShowCommand("VT 2"), "ET 1", "RU 7", "AS"}))
        << "step: report 7/20, delete";
}

// After a device change the reports of the new device for the same
// destination number are taken, although nothing was registered for them.
TEST(ParvexTracking, ChangedDeviceTakesItsReports) {
    SiteFolder site;
    WriteSite(site);
    RecordingHost host;
    auto component = Create(&host);
    SetPair(*component, 5, 12);
    Send(*component, "driverid=7");
    host.clear();

    Report(*component, 7, 12, 3, "CAM 3");

    EXPECT_TRUE(SameCommands(host.commands, {ShowCommand("CAM 3"), "ET 1"}));
}

TEST(ParvexTracking, ChangingTheDestination) {
    SiteFolder site;
    WriteSite(site);
    RecordingHost host;
    auto component = Create(&host);
    SetPair(*component, 5, 12);
    Report(*component, 5, 12, 4, "CAM 4");
    host.clear();

    Send(*component, "destid=13");
    EXPECT_TRUE(SameCommands(host.commands, {"RU 5", "RR 5 13 13", "RP 5 13 13", "ET 1 10000"}))
        << "step: destid=13";

    host.clear();
    Report(*component, 5, 13, 4, "CAM 4");
    Timer(*component, 1);
    Timer(*component, 1);
    EXPECT_TRUE(SameCommands(host.commands, {"RP 5 13 13", "RP 5 13 13"}))
        << "step: report with the source already shown, then timer 1 twice";

    host.clear();
    Report(*component, 5, 12, 9, "CAM 9");
    EXPECT_TRUE(SameCommands(host.commands, {})) << "step: report for the old destination";

    host.clear();
    Report(*component, 5, 13, 9, "CAM 9");
    EXPECT_TRUE(SameCommands(host.commands, {ShowCommand("CAM 9"), "ET 1"})) << "step: report 5/13 info 9";
}

// A pair on another device with the same destination number needs a different
// destination setting first.
TEST(ParvexTracking, SameDestinationOnAnotherDevice) {
    SiteFolder site;
    WriteSite(site);
    RecordingHost host;
    auto component = Create(&host);
    SetPair(*component, 5, 12);
    host.clear();

    Send(*component, "driverid=7");
    Send(*component, "destid=12");
    EXPECT_TRUE(SameCommands(host.commands, {})) << "step: driverid=7, destid=12";

    host.clear();
    Send(*component, "destid=13");
    Send(*component, "destid=12");
    EXPECT_TRUE(SameCommands(host.commands, {"RU 7", "RR 7 13 13", "RP 7 13 13", "ET 1 10000", "RU 7",
                                             "RR 7 12 12", "RP 7 12 12", "ET 1 10000"}))
        << "step: destid=13, destid=12";
}

// Every refusal sends nothing, and leaves the pair that was set (checked by the
// timer, which still polls it, and by the unregister at the end).
TEST(ParvexTracking, RefusedDestinationKeepsThePair) {
    struct Case {
        const char* setting;
    };
    const Case cases[] = {
        {"destid=12"}, {"destid=0"}, {"destid=-1"}, {"destid=-2147483648"}, {"destid=65"},
        {"destid=2147483647"},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        WriteSite(site);
        RecordingHost host;
        auto component = Create(&host);
        SetPair(*component, 5, 12);
        host.clear();

        Send(*component, c.setting);
        EXPECT_TRUE(SameCommands(host.commands, {})) << "input: " << Printable(c.setting);

        host.clear();
        Timer(*component, 1);
        component.reset();
        EXPECT_TRUE(SameCommands(host.commands, {"RP 5 12 12", "RU 5", "AS"})) << "after: " << Printable(c.setting);
    }
}

// Bounds of the pair on a new component: device 1..999, destination 1..size.
TEST(ParvexTracking, PairBounds) {
    struct Case {
        int device;
        int destination;
        int fileSize;  // database size written for the device; -1: no file
        bool taken;
    };
    const Case cases[] = {
        {5, 1, 64, true},     {5, 64, 64, true},    {5, 65, 64, false},  {5, 0, 64, false},
        {5, -1, 64, false},   {1, 12, 64, true},    {999, 12, 64, true}, {0, 12, 64, false},
        {-1, 12, 64, false},  {-5, 12, 64, false},  {1000, 12, 64, false},
        {INT_MAX, 12, 64, false}, {INT_MIN, 12, 64, false},
        {5, 1, 0, false},     {5, 1, -1, false},    {5, 1, 1, true},     {5, 2, 1, false},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        if (c.fileSize >= 0 && c.device >= 0 && c.device <= 9999) site.writeDeviceSize(c.device, c.fileSize);
        RecordingHost host;
        auto component = Create(&host);
        Send(*component, "driverid=" + std::to_string(c.device));
        host.clear();

        Send(*component, "destid=" + std::to_string(c.destination));

        const std::vector<std::string> expected =
            c.taken ? PairCommands(c.device, c.device, c.destination) : std::vector<std::string>{};
        EXPECT_TRUE(SameCommands(host.commands, expected))
            << "device " << c.device << ", destination " << c.destination << ", size " << c.fileSize;
    }
}

// An out-of-range device stored by a refused setting is still the one the
// timer polls and the destructor unregisters.
TEST(ParvexTracking, DeviceOutOfRangeWithPairSet) {
    struct Case {
        const char* setting;
        std::vector<std::string> timerAndDelete;
    };
    const Case cases[] = {
        {"driverid=1000", {"RP 1000 12 12", "RU 1000", "AS"}},
        {"driverid=2147483647", {"RP 2147483647 12 12", "RU 2147483647", "AS"}},
        {"driverid=0", {"ET 1", "AS"}},
        {"driverid=-3", {"ET 1", "AS"}},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        WriteSite(site);
        RecordingHost host;
        auto component = Create(&host);
        SetPair(*component, 5, 12);
        host.clear();

        Send(*component, c.setting);
        Send(*component, "destid=13");
        EXPECT_TRUE(SameCommands(host.commands, {})) << "input: " << Printable(c.setting);

        host.clear();
        Timer(*component, 1);
        component.reset();
        EXPECT_TRUE(SameCommands(host.commands, c.timerAndDelete)) << "input: " << Printable(c.setting);
    }
}

// A refused device is what the next pair unregisters only when it is in range.
TEST(ParvexTracking, NextPairUnregistersOnlyAValidPreviousDevice) {
    struct Case {
        std::vector<std::string> settings;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {{"driverid=1000", "driverid=7", "destid=20"}, PairCommands(7, 7, 20)},
        {{"driverid=0", "destid=20", "driverid=5", "destid=20"}, PairCommands(5, 5, 20)},
        {{"driverid=1000", "destid=20"}, {}},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        WriteSite(site);
        RecordingHost host;
        auto component = Create(&host);
        SetPair(*component, 5, 12);
        host.clear();

        for (const std::string& text : c.settings) Send(*component, text);

        EXPECT_TRUE(SameCommands(host.commands, c.expected)) << "settings: " << ListOf(c.settings);
    }
}

TEST(ParvexTracking, TimerEvents) {
    struct Case {
        bool pair;
        int timer;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {false, 1, {"ET 1"}},
        {false, 2, {"ET 2"}},
        {false, 0, {"ET 0"}},
        {false, -1, {"ET -1"}},
        {false, INT_MAX, {"ET 2147483647"}},
        {false, INT_MIN, {"ET -2147483648"}},
        {true, 1, {"RP 5 12 12"}},
        {true, 2, {"ET 2"}},
        {true, 10000, {"ET 10000"}},
    };
    for (const Case& c : cases) {
        SiteFolder site;
        WriteSite(site);
        RecordingHost host;
        auto component = Create(&host);
        if (c.pair) SetPair(*component, 5, 12);
        host.clear();

        Timer(*component, c.timer);

        EXPECT_TRUE(SameCommands(host.commands, c.expected)) << "timer " << c.timer << (c.pair ? " with" : " without")
                                                             << " a pair";
    }
}

TEST(ParvexTracking, ReportsForOtherPairsDropped) {
    struct Case {
        int device;
        int index;
    };
    const Case cases[] = {{5, 13}, {6, 12}, {12, 5}, {5, 11}, {4, 12}, {0, 12}, {5, 0}, {-1, -1}, {5, -1}};
    for (const Case& c : cases) {
        SiteFolder site;
        WriteSite(site);
        RecordingHost host;
        auto component = Create(&host);
        SetPair(*component, 5, 12);
        host.clear();

        Report(*component, c.device, c.index, 3, "CAM 3");
        EXPECT_TRUE(SameCommands(host.commands, {})) << "report " << c.device << "/" << c.index;

        host.clear();
        Timer(*component, 1);
        Report(*component, 5, 12, 3, "CAM 3");
        EXPECT_TRUE(SameCommands(host.commands, {"RP 5 12 12", ShowCommand("CAM 3"), "ET 1"}))
            << "after report " << c.device << "/" << c.index;
    }
}

// Only a change of source is shown; the text of a repeated source is not.
TEST(ParvexTracking, RepeatedSourceDropped) {
    SiteFolder site;
    WriteSite(site);
    RecordingHost host;
    auto component = Create(&host);
    SetPair(*component, 5, 12);
    host.clear();

    Report(*component, 5, 12, 3, "CAM 3");
    Report(*component, 5, 12, 3, "CAM 3 renamed");
    Report(*component, 5, 12, 4, "CAM 4");
    Report(*component, 5, 12, 3, "CAM 3 again");
    Report(*component, 5, 12, 3, "CAM 3 again");

    EXPECT_TRUE(SameCommands(host.commands, {ShowCommand("CAM 3"), "ET 1", ShowCommand("CAM 4"), "ET 1",
                                             ShowCommand("CAM 3 again"), "ET 1"}));
}

// A source number is shown whatever its value, the very first report
// included.
TEST(ParvexTracking, AnySourceNumberIsShown) {
    for (int info : {0, 1, 2, 1000, INT_MAX, INT_MIN, -2}) {
        SiteFolder site;
        WriteSite(site);
        RecordingHost host;
        auto component = Create(&host);
        SetPair(*component, 5, 12);
        host.clear();

        Report(*component, 5, 12, info, "SRC");

        EXPECT_TRUE(SameCommands(host.commands, {ShowCommand("SRC"), "ET 1"})) << "info " << info;
    }
}

// Setting up a new pair restarts polling even while showing, and the shown
// source survives it.
TEST(ParvexTracking, NewPairRestartsPolling) {
    SiteFolder site;
    WriteSite(site);
    RecordingHost host;
    auto component = Create(&host);
    SetPair(*component, 5, 12);
    Report(*component, 5, 12, 3, "CAM 3");
    Send(*component, "destid=14");
    Send(*component, "destid=12");
    host.clear();

    Report(*component, 5, 12, 3, "CAM 3");
    Timer(*component, 1);
    Report(*component, 5, 12, 8, "CAM 8");

    EXPECT_TRUE(SameCommands(host.commands, {"RP 5 12 12", ShowCommand("CAM 8"), "ET 1"}));
}

}  // namespace
