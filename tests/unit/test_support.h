// Shared test doubles: a host that records what a component sends, a site
// folder with device configuration files, and a capture of debugger output.
#ifndef VESK_TEST_SUPPORT_H
#define VESK_TEST_SUPPORT_H

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vesk_client_callback.h"
#include "vesk_script_helper.h"
#include "vesk_string.h"

// Records every call a component makes on its host. Replies are set per
// command prefix; every non-null reply is a fresh heap text whose hand-back
// (type 5) is checked.
class RecordingHost : public vesk_client_callback {
public:
    ~RecordingHost() override;
    char* callback(void* data, int type) override;

    // Commands starting with `prefix` get `reply` (nullopt: a null reply). The
    // longest matching prefix wins; unmatched commands get a null reply, except
    // "PS", which gets "1" unless set otherwise.
    void replyTo(const std::string& prefix, std::optional<std::string> reply);

    // Type-0 texts in order.
    std::vector<std::string> commands;
    // Every call in order, as "cmd:<text>" or "back:<text>" (type 5) or
    // "type<N>" for anything else.
    std::vector<std::string> calls;
    // Replies handed out and not yet handed back.
    int outstandingReplies() const { return static_cast<int>(outstanding_.size()); }
    // Hand-backs of texts that were not outstanding (twice, or never given).
    int strayHandBacks = 0;

    void clear() {
        commands.clear();
        calls.clear();
    }

private:
    std::map<std::string, std::optional<std::string>> replies_;
    std::vector<char*> outstanding_;
    std::vector<std::unique_ptr<char[]>> kept_;  // PS replies, never handed back
};

// A temporary site: QX_ROOT and QX_SYSTEM point at it while it lives (their
// previous values come back afterwards).
class SiteFolder {
public:
    SiteFolder();
    ~SiteFolder();
    // Writes config/system/dev_NNN.ini with `content` as it stands.
    void writeDevice(int device, const std::string& content);
    // Writes dev_NNN.ini with section Database and DatabaseSize_1=size.
    void writeDeviceSize(int device, int size);
    std::string root() const { return root_; }

private:
    std::string root_;
    std::optional<std::string> oldRoot_;
    std::optional<std::string> oldSystem_;
};

// Collects vesk_debug_output texts while it lives.
class DebugCapture {
public:
    DebugCapture();
    ~DebugCapture();
    std::vector<std::string> texts;
};

// Stands between the module and its allocator while it lives. While armed it
// counts each allocation, keeps its size and refuses the `refuseAt`-th
// (1-based; 0 refuses none) and, unless `onlyThatOne`, every one after it.
// Disarmed, it lets everything through uncounted.
class AllocGate {
public:
    explicit AllocGate(int refuseAt = 0, bool onlyThatOne = false);
    ~AllocGate();
    AllocGate(const AllocGate&) = delete;
    AllocGate& operator=(const AllocGate&) = delete;

    bool armed = true;
    int calls = 0;
    int refused = 0;
    std::vector<size_t> sizes;

private:
    static int Decide(size_t size, void* context);
    int refuseAt_;
    bool onlyThatOne_;
};

// A component with empty handlers, for exercising its commands.
class QuietComponent : public vesk_script_helper {
public:
    explicit QuietComponent(vesk_client_callback* hostLink = nullptr, const char* panelFolder = "")
        : vesk_script_helper(hostLink, panelFolder) {}
    void buttonCallback(ButtonNotify&) override {}
    int revertiveCallback(RevertiveNotify&) override { return 0; }
    vesk_string parentCallback(ParentNotify&) override { return vesk_string(); }
    void timerCallback(int) override {}
};

// A zeroed router report record; the text is cut to the record's room.
RevertiveRecord MakeRecord(int device, int index, int info, const std::string& text);

// A number passed as an event's data word.
inline void* Word(intptr_t value) { return reinterpret_cast<void*>(value); }

inline std::string Str(const vesk_string& text) { return std::string(text.c_str(), text.length()); }
inline vesk_string V(const std::string& text) { return vesk_string(text.c_str()); }

// Quotes a text for failure messages (control characters escaped).
std::string Printable(const std::string& text);

// Texts for failure messages: "[a | b]", each one quoted.
std::string Joined(const std::vector<std::string>& lines);

#endif  // VESK_TEST_SUPPORT_H
