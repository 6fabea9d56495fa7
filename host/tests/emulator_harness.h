// The emulator driven alone, with a fake component and a panel folder of the
// test's own: helpers shared by the emulator's test files.
#ifndef VESK_HOST_TESTS_EMULATOR_HARNESS_H
#define VESK_HOST_TESTS_EMULATOR_HARNESS_H

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "core/components.h"
#include "core/emulator.h"
#include "fake_module.h"
#include "live_support.h"
#include "module/records.h"
#include "base/text.h"

namespace emulator_test {

namespace fs = std::filesystem;


// Changes on a simulated device, delivered as a statement's would be.
inline void simulatedRoute(Components& site, int device, int destination, int source) {
    std::string why;
    ASSERT_TRUE(site.backends().simulated(device)->route(destination, source, why)) << why;
    site.takeBackendEvents();
}

inline void simulatedRename(Components& site, int device, int source, const std::string& name) {
    std::string why;
    ASSERT_TRUE(site.backends().simulated(device)->rename(source, name, why)) << why;
    site.takeBackendEvents();
}

// A folder holding a small panel file "p.vesk_ui" with panel "1".
class PanelFolder {
public:
    PanelFolder() {
        static int counter = 0;
        path_ = fs::temp_directory_path() / ("vesk-host-test-" + std::to_string(::getpid()) + "-" +
                                             std::to_string(++counter));
        fs::create_directories(path_);
        std::ofstream(path_ / "p.vesk_ui") << "panel 1\ncontrol LevelMimic text\ntext = idle\nstatesheet =\n"
                                              "control alm_1 lamp\nvalue = 1\ncontrol alm_2 lamp\n";
    }
    ~PanelFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    std::string path() const { return path_.string(); }

private:
    fs::path path_;
};

// The unnamed component of a site of its own.
struct Harness {
    explicit Harness(FakeBehaviour behaviour)
        : module(std::move(behaviour)), transcript(out, false), site(transcript), emulator(site.slot("")) {
        emulator.setModule(&module);
        emulator.setPanelFolder(panels.path());
    }
    std::string text() const { return out.str(); }

    PanelFolder panels;
    FakeModule module;
    std::ostringstream out;
    Transcript transcript;
    Components site;
    Emulator& emulator;
};

// Opens the panel on creation and sends `commands` on every text event,
// handing back each reply when `handBack` says so.
inline FakeBehaviour sendsOnText(std::vector<std::string> commands, int handBacks = 1) {
    FakeBehaviour b;
    b.onCreate = [](HostEndpoint& host) { FakeModule::command(host, "PS '1' 'p.vesk_ui'"); };
    b.onEvent = [commands, handBacks](HostEndpoint& host, void*, int type) -> char* {
        if (type != 3) return nullptr;
        for (const std::string& c : commands) {
            char* reply = FakeModule::command(host, c);
            if (reply && c.compare(0, 2, "PS") != 0)
                for (int i = 0; i < handBacks; ++i) host.onCall(reply, 5);
        }
        return nullptr;
    };
    return b;
}


}  // namespace emulator_test

#endif  // VESK_HOST_TESTS_EMULATOR_HARNESS_H
