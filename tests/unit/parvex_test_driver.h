// Drives a Parvex component the way the host does: created through the
// module's export, fed events through callback(), ended by delete through the
// vesk_client_callback pointer. Shared by the parvex_*_test executables.
#ifndef PARVEX_TEST_DRIVER_H
#define PARVEX_TEST_DRIVER_H

#include <gtest/gtest.h>

#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Parvex_export.h"
#include "test_support.h"

namespace parvex_test {

// Ends a component as the host does.
struct HostDelete {
    void operator()(vesk_client_callback* component) const { delete component; }
};
using Component = std::unique_ptr<vesk_client_callback, HostDelete>;

inline Component Create(vesk_client_callback* host, const char* path = "") {
    return Component(load_vesk_client_script(host, path));
}

// Type-3 text from the hosting panel. A non-null answer is copied and handed
// back (type 5) at once; the copy is returned, nullopt for a null answer.
inline std::optional<std::string> Send(vesk_client_callback& component, const char* text) {
    char* answer = component.callback(const_cast<char*>(text), VESK_EVENT_TEXT);
    if (!answer) return std::nullopt;
    std::string copy(answer);
    component.callback(answer, VESK_EVENT_RELEASE);
    return copy;
}

inline std::optional<std::string> Send(vesk_client_callback& component, const std::string& text) {
    return Send(component, text.c_str());
}

// Router report. The text follows the record's four numbers with exactly the
// room it needs (never less than the record itself), so a long text runs past
// the record's nominal 256 bytes as a host may let it.
inline void Report(vesk_client_callback& component, int device, int index, int info, const std::string& text) {
    const size_t bytes = std::max(sizeof(RevertiveRecord), offsetof(RevertiveRecord, text) + text.size() + 1);
    std::vector<int32_t> words((bytes + sizeof(int32_t) - 1) / sizeof(int32_t), 0);
    RevertiveRecord* record = reinterpret_cast<RevertiveRecord*>(words.data());
    record->device = device;
    record->reserved = 0x5a5a5a5a;
    record->index = index;
    record->info = info;
    std::memcpy(reinterpret_cast<char*>(words.data()) + offsetof(RevertiveRecord, text), text.c_str(),
                text.size() + 1);
    component.callback(record, VESK_EVENT_REVERTIVE);
}

// Timer event: the timer number is the data word itself.
inline void Timer(vesk_client_callback& component, int timer) {
    component.callback(reinterpret_cast<void*>(static_cast<intptr_t>(timer)), VESK_EVENT_TIMER);
}

// Sets device then destination, the order in which a pair is taken.
inline void SetPair(vesk_client_callback& component, int device, int destination) {
    Send(component, "driverid=" + std::to_string(device));
    Send(component, "destid=" + std::to_string(destination));
}

// The commands a pair set-up sends, with `previous` the device in use before.
inline std::vector<std::string> PairCommands(int previous, int device, int destination) {
    const std::string numbers = std::to_string(device) + " " + std::to_string(destination) + " " +
                                std::to_string(destination);
    std::vector<std::string> out;
    if (previous >= 1 && previous <= 999) out.push_back("RU " + std::to_string(previous));
    out.push_back("RR " + numbers);
    out.push_back("RP " + numbers);
    out.push_back("ET 1 10000");
    return out;
}

inline std::string ShowCommand(const std::string& text) { return "TP 'text=" + text + "' '1' 'LevelMimic'"; }

inline std::string ListOf(const std::vector<std::string>& items) {
    if (items.empty()) return "{}";
    std::string out = "{";
    for (const std::string& item : items) out += "\n    " + Printable(item);
    return out + "\n  }";
}

// Whole-vector comparison of command texts that prints both lists on failure.
inline ::testing::AssertionResult SameCommands(const std::vector<std::string>& actual,
                                               const std::vector<std::string>& expected) {
    if (actual == expected) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "commands sent:\n  " << ListOf(actual) << "\nexpected:\n  "
                                         << ListOf(expected);
}

// Device 5 with 64 destinations: the site most tests need.
inline void WriteDevice5(SiteFolder& site) { site.writeDeviceSize(5, 64); }

// Devices 5 and 7 with 64 destinations each.
inline void WriteDevices5And7(SiteFolder& site) {
    site.writeDeviceSize(5, 64);
    site.writeDeviceSize(7, 64);
}

// The usual set-up: a site folder (filled by `writeSite` when given), a
// recording host and a component on it, made in that order.
struct Rig {
    SiteFolder site;
    RecordingHost host;
    Component component;

    explicit Rig(const std::function<void(SiteFolder&)>& writeSite = nullptr) {
        if (writeSite) writeSite(site);
        component = Create(&host);
    }

    // Clears the host, runs `action` and checks what it sent; `message` names
    // the step on failure.
    template <class Action>
    void step(const std::string& message, Action action, const std::vector<std::string>& expected) {
        host.clear();
        action();
        EXPECT_TRUE(SameCommands(host.commands, expected)) << message;
    }
};

// An answer for failure messages: quoted text, or null.
inline std::string PrintableAnswer(const std::optional<std::string>& text) {
    return text ? Printable(*text) : std::string("null");
}

}  // namespace parvex_test

#endif  // PARVEX_TEST_DRIVER_H
