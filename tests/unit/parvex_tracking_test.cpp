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

std::vector<std::string> Concat(std::vector<std::string> first, const std::vector<std::string>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

// The usual site with the pair 5/12 set.
struct PairedRig : Rig {
    PairedRig() : Rig(WriteDevices5And7) { SetPair(*component, 5, 12); }
};

// The one place that spells the set-up sequence out; other tests take it
// from PairCommands.
TEST(ParvexTracking, NormalStart) {
    Rig rig(WriteDevices5And7);
    vesk_client_callback& c = *rig.component;
    EXPECT_TRUE(SameCommands(rig.host.commands, {"PS '1' 'mimic.vesk_ui'"})) << "step: create";

    rig.step("step: driverid=5", [&] { Send(c, "driverid=5"); }, {});
    rig.step("step: destid=12", [&] { Send(c, "destid=12"); }, {"RU 5", "RR 5 12 12", "RP 5 12 12", "ET 1 10000"});
    rig.step("step: timer 1 twice", [&] { Timer(c, 1); Timer(c, 1); }, {"RP 5 12 12", "RP 5 12 12"});
    rig.step("step: report 5/12 info 3", [&] { Report(c, 5, 12, 3, "CAM 3"); },
             {"TP 'text=CAM 3' '1' 'LevelMimic'", "ET 1"});
    rig.step("step: repeated and foreign reports", [&] {
        Report(c, 5, 12, 3, "CAM 3");
        Report(c, 5, 13, 5, "CAM 5");
        Report(c, 6, 12, 5, "CAM 5");
    }, {});
    rig.step("step: report 5/12 info 4", [&] { Report(c, 5, 12, 4, "VT 1"); },
             {"TP 'text=VT 1' '1' 'LevelMimic'", "ET 1"});
    rig.step("step: delete", [&] { rig.component.reset(); }, {"RU 5", "AS"});
}

// Destination first: refused without a device, and only a later destination
// setting sets up the pair.
TEST(ParvexTracking, DestinationBeforeDevice) {
    Rig rig(WriteDevices5And7);
    vesk_client_callback& c = *rig.component;

    rig.step("step: destid=12, driverid=5", [&] { Send(c, "destid=12"); Send(c, "driverid=5"); }, {});
    rig.step("step: timer 1 without a pair", [&] { Timer(c, 1); }, {"ET 1"});
    rig.step("step: unusedtext=Spare", [&] { Send(c, "unusedtext=Spare"); }, {ShowCommand("Spare")});
    rig.step("step: destid=12 again", [&] { Send(c, "destid=12"); }, PairCommands(5, 5, 12));
}

TEST(ParvexTracking, ChangingTheDevice) {
    PairedRig rig;
    vesk_client_callback& c = *rig.component;

    rig.step("step: driverid=7", [&] { Send(c, "driverid=7"); }, {});
    rig.step("step: timer 1", [&] { Timer(c, 1); }, {"RP 7 12 12"});
    rig.step("step: report from the old device", [&] { Report(c, 5, 12, 3, "CAM 3"); }, {});
    rig.step("step: destid=12 (current destination)", [&] { Send(c, "destid=12"); }, {});
    rig.step("step: destid=20", [&] { Send(c, "destid=20"); }, PairCommands(7, 7, 20));
    rig.step("step: report 7/20, delete", [&] {
        Report(c, 7, 20, 2, "VT 2");
        rig.component.reset();
    }, {ShowCommand("VT 2"), "ET 1", "RU 7", "AS"});
}

// After a device change the reports of the new device for the same
// destination number are taken, although nothing was registered for them.
TEST(ParvexTracking, ChangedDeviceTakesItsReports) {
    PairedRig rig;
    Send(*rig.component, "driverid=7");
    rig.step("step: report 7/12", [&] { Report(*rig.component, 7, 12, 3, "CAM 3"); }, {ShowCommand("CAM 3"), "ET 1"});
}

TEST(ParvexTracking, ChangingTheDestination) {
    PairedRig rig;
    vesk_client_callback& c = *rig.component;
    Report(c, 5, 12, 4, "CAM 4");

    rig.step("step: destid=13", [&] { Send(c, "destid=13"); }, PairCommands(5, 5, 13));
    rig.step("step: report with the source already shown, then timer 1 twice", [&] {
        Report(c, 5, 13, 4, "CAM 4");
        Timer(c, 1);
        Timer(c, 1);
    }, {"RP 5 13 13", "RP 5 13 13"});
    rig.step("step: report for the old destination", [&] { Report(c, 5, 12, 9, "CAM 9"); }, {});
    rig.step("step: report 5/13 info 9", [&] { Report(c, 5, 13, 9, "CAM 9"); }, {ShowCommand("CAM 9"), "ET 1"});
}

// A pair on another device with the same destination number needs a different
// destination setting first.
TEST(ParvexTracking, SameDestinationOnAnotherDevice) {
    PairedRig rig;
    vesk_client_callback& c = *rig.component;

    rig.step("step: driverid=7, destid=12", [&] { Send(c, "driverid=7"); Send(c, "destid=12"); }, {});
    rig.step("step: destid=13, destid=12", [&] { Send(c, "destid=13"); Send(c, "destid=12"); },
             Concat(PairCommands(7, 7, 13), PairCommands(7, 7, 12)));
}

// Every refusal sends nothing, and leaves the pair that was set (checked by the
// timer, which still polls it, and by the unregister at the end).
TEST(ParvexTracking, RefusedDestinationKeepsThePair) {
    for (const char* setting :
         {"destid=12", "destid=0", "destid=-1", "destid=-2147483648", "destid=65", "destid=2147483647"}) {
        PairedRig rig;
        rig.step("input: " + Printable(setting), [&] { Send(*rig.component, setting); }, {});
        rig.step("after: " + Printable(setting), [&] {
            Timer(*rig.component, 1);
            rig.component.reset();
        }, {"RP 5 12 12", "RU 5", "AS"});
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
        Rig rig([&](SiteFolder& site) {
            if (c.fileSize >= 0 && c.device >= 0 && c.device <= 9999) site.writeDeviceSize(c.device, c.fileSize);
        });
        Send(*rig.component, "driverid=" + std::to_string(c.device));
        rig.step("device " + std::to_string(c.device) + ", destination " + std::to_string(c.destination) +
                     ", size " + std::to_string(c.fileSize),
                 [&] { Send(*rig.component, "destid=" + std::to_string(c.destination)); },
                 c.taken ? PairCommands(c.device, c.device, c.destination) : std::vector<std::string>{});
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
        PairedRig rig;
        const std::string message = "input: " + Printable(c.setting);
        rig.step(message, [&] { Send(*rig.component, c.setting); Send(*rig.component, "destid=13"); }, {});
        rig.step(message, [&] {
            Timer(*rig.component, 1);
            rig.component.reset();
        }, c.timerAndDelete);
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
        PairedRig rig;
        rig.step("settings: " + ListOf(c.settings), [&] {
            for (const std::string& text : c.settings) Send(*rig.component, text);
        }, c.expected);
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
        Rig rig(WriteDevices5And7);
        if (c.pair) SetPair(*rig.component, 5, 12);
        rig.step("timer " + std::to_string(c.timer) + (c.pair ? " with" : " without") + " a pair",
                 [&] { Timer(*rig.component, c.timer); }, c.expected);
    }
}

TEST(ParvexTracking, ReportsForOtherPairsDropped) {
    struct Case {
        int device;
        int index;
    };
    const Case cases[] = {{5, 13}, {6, 12}, {12, 5}, {5, 11}, {4, 12}, {0, 12}, {5, 0}, {-1, -1}, {5, -1}};
    for (const Case& c : cases) {
        PairedRig rig;
        const std::string report = "report " + std::to_string(c.device) + "/" + std::to_string(c.index);
        rig.step(report, [&] { Report(*rig.component, c.device, c.index, 3, "CAM 3"); }, {});
        rig.step("after " + report, [&] {
            Timer(*rig.component, 1);
            Report(*rig.component, 5, 12, 3, "CAM 3");
        }, {"RP 5 12 12", ShowCommand("CAM 3"), "ET 1"});
    }
}

// A report is dropped only when both its source and its text equal what the
// control shows; a repeat drops without stopping the timer.
TEST(ParvexTracking, OnlyAnIdenticalRepeatIsDropped) {
    PairedRig rig;
    vesk_client_callback& c = *rig.component;
    rig.step("step: reports 3, 3 again, timer 1, 4, 3", [&] {
        Report(c, 5, 12, 3, "CAM 3");
        Report(c, 5, 12, 3, "CAM 3");
        Timer(c, 1);
        Report(c, 5, 12, 4, "CAM 4");
        Report(c, 5, 12, 3, "CAM 3");
    }, {ShowCommand("CAM 3"), "ET 1", "RP 5 12 12", ShowCommand("CAM 4"), "ET 1", ShowCommand("CAM 3"), "ET 1"});
    rig.step("step: rename of the shown source, then its repeat", [&] {
        Report(c, 5, 12, 3, "CAM 3 renamed");
        Report(c, 5, 12, 3, "CAM 3 renamed");
    }, {ShowCommand("CAM 3 renamed"), "ET 1"});
    rig.step("step: a prefix of the shown text, then an empty text", [&] {
        Report(c, 5, 12, 3, "CAM 3");
        Report(c, 5, 12, 3, "");
    }, {ShowCommand("CAM 3"), "ET 1", ShowCommand(""), "ET 1"});
}

// The same source number on the router the panel moved to names another
// source: it is shown and polling stops.
TEST(ParvexTracking, SameSourceNumberOnAnotherRouterIsShown) {
    PairedRig rig;
    vesk_client_callback& c = *rig.component;
    Report(c, 5, 12, 3, "CAM 3");
    rig.step("step: driverid=7, destid=4", [&] { Send(c, "driverid=7"); Send(c, "destid=4"); },
             PairCommands(7, 7, 4));
    rig.step("step: report 7/4 info 3 \"STUDIO C\"", [&] { Report(c, 7, 4, 3, "STUDIO C"); },
             {ShowCommand("STUDIO C"), "ET 1"});
}

// Before any report the control shows no text: a first report whose source is
// -1 is shown when it carries text, and dropped when it carries none.
TEST(ParvexTracking, FirstReportWithSourceMinusOne) {
    struct Case {
        const char* text;
        std::vector<std::string> expected;
    };
    const Case cases[] = {{"CAM 3", {ShowCommand("CAM 3"), "ET 1"}}, {"", {}}};
    for (const Case& c : cases) {
        PairedRig rig;
        rig.step("report 5/12 info -1 text " + Printable(c.text), [&] { Report(*rig.component, 5, 12, -1, c.text); },
                 c.expected);
    }
}

// A source number is shown whatever its value, the very first report
// included.
TEST(ParvexTracking, AnySourceNumberIsShown) {
    for (int info : {0, 1, 2, 1000, INT_MAX, INT_MIN, -2}) {
        PairedRig rig;
        rig.step("info " + std::to_string(info), [&] { Report(*rig.component, 5, 12, info, "SRC"); },
                 {ShowCommand("SRC"), "ET 1"});
    }
}

// Setting up a new pair restarts polling even while showing, and the shown
// source survives it.
TEST(ParvexTracking, NewPairRestartsPolling) {
    PairedRig rig;
    vesk_client_callback& c = *rig.component;
    Report(c, 5, 12, 3, "CAM 3");
    Send(c, "destid=14");
    Send(c, "destid=12");

    rig.step("step: report 3, timer 1, report 8", [&] {
        Report(c, 5, 12, 3, "CAM 3");
        Timer(c, 1);
        Report(c, 5, 12, 8, "CAM 8");
    }, {"RP 5 12 12", ShowCommand("CAM 8"), "ET 1"});
}

}  // namespace
