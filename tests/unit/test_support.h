// Shared test doubles: a host that records what a component sends, a site
// folder with device configuration files, and a capture of debugger output.
#ifndef VESK_TEST_SUPPORT_H
#define VESK_TEST_SUPPORT_H

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "vesk_client_callback.h"

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

// Quotes a text for failure messages (control characters escaped).
std::string Printable(const std::string& text);

#endif  // VESK_TEST_SUPPORT_H
