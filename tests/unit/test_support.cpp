#include "test_support.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "vesk_platform.h"

RecordingHost::~RecordingHost() {
    for (char* reply : outstanding_) delete[] reply;
}

void RecordingHost::replyTo(const std::string& prefix, std::optional<std::string> reply) {
    replies_[prefix] = std::move(reply);
}

char* RecordingHost::callback(void* data, int type) {
    if (type == VESK_EVENT_RELEASE) {
        char* text = static_cast<char*>(data);
        calls.push_back("back:" + std::string(text ? text : ""));
        for (auto it = outstanding_.begin(); it != outstanding_.end(); ++it) {
            if (*it == text) {
                delete[] text;
                outstanding_.erase(it);
                return nullptr;
            }
        }
        ++strayHandBacks;
        return nullptr;
    }
    if (type != VESK_CALL_COMMAND) {
        calls.push_back("type" + std::to_string(type));
        return nullptr;
    }
    std::string text = data ? static_cast<const char*>(data) : "";
    commands.push_back(text);
    calls.push_back("cmd:" + text);

    std::optional<std::string> reply;
    size_t best = 0;
    bool matched = false;
    for (const auto& [prefix, value] : replies_) {
        if (text.compare(0, prefix.size(), prefix) == 0 && (!matched || prefix.size() > best)) {
            best = prefix.size();
            reply = value;
            matched = true;
        }
    }
    if (!matched && text.compare(0, 2, "PS") == 0) reply = "1";
    if (!reply) return nullptr;
    char* copy = new char[reply->size() + 1];
    std::memcpy(copy, reply->c_str(), reply->size() + 1);
    // PS replies are never handed back by the component; keep them out of the
    // books so that only TG and XI replies are checked.
    if (text.compare(0, 2, "PS") == 0) {
        kept_.emplace_back(copy);
        return copy;
    }
    outstanding_.push_back(copy);
    return copy;
}

static std::optional<std::string> env_value(const char* name) {
    const char* value = getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

SiteFolder::SiteFolder() : oldRoot_(env_value("QX_ROOT")), oldSystem_(env_value("QX_SYSTEM")) {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-site-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data())) root_ = buffer.data();
    std::string dir = root_ + "/main";
    mkdir(dir.c_str(), 0755);
    dir += "/config";
    mkdir(dir.c_str(), 0755);
    dir += "/system";
    mkdir(dir.c_str(), 0755);
    setenv("QX_ROOT", root_.c_str(), 1);
    setenv("QX_SYSTEM", "main", 1);
}

SiteFolder::~SiteFolder() {
    if (oldRoot_) setenv("QX_ROOT", oldRoot_->c_str(), 1); else unsetenv("QX_ROOT");
    if (oldSystem_) setenv("QX_SYSTEM", oldSystem_->c_str(), 1); else unsetenv("QX_SYSTEM");
    if (!root_.empty()) {
        std::string command = "rm -rf '" + root_ + "'";
        if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", root_.c_str());
    }
}

void SiteFolder::writeDevice(int device, const std::string& content) {
    char name[64];
    std::snprintf(name, sizeof name, "/main/config/system/dev_%03d.ini", device);
    std::ofstream(root_ + name, std::ios::binary) << content;
}

void SiteFolder::writeDeviceSize(int device, int size) {
    writeDevice(device, "[Database]\nDatabaseSize_1=" + std::to_string(size) + "\n");
}

static void collect(const char* text, void* context) {
    static_cast<DebugCapture*>(context)->texts.push_back(text);
}

DebugCapture::DebugCapture() { vesk_platform_set_debug_sink(collect, this); }
DebugCapture::~DebugCapture() { vesk_platform_set_debug_sink(nullptr, nullptr); }

std::string Printable(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else if (c == '\t') out += "\\t";
        else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string joined;
    for (const std::string& line : lines) joined += (joined.empty() ? "" : " | ") + Printable(line);
    return "[" + joined + "]";
}

AllocGate::AllocGate(int refuseAt, bool onlyThatOne) : refuseAt_(refuseAt), onlyThatOne_(onlyThatOne) {
    vesk_platform_set_alloc_gate(&Decide, this);
}

AllocGate::~AllocGate() { vesk_platform_set_alloc_gate(nullptr, nullptr); }

int AllocGate::Decide(size_t size, void* context) {
    AllocGate& gate = *static_cast<AllocGate*>(context);
    if (!gate.armed) return 1;
    ++gate.calls;
    gate.sizes.push_back(size);
    const bool refuse = gate.refuseAt_ > 0 && (gate.onlyThatOne_ ? gate.calls == gate.refuseAt_
                                                                  : gate.calls >= gate.refuseAt_);
    if (refuse) ++gate.refused;
    return refuse ? 0 : 1;
}

RevertiveRecord MakeRecord(int device, int index, int info, const std::string& text) {
    RevertiveRecord record;
    std::memset(&record, 0, sizeof record);
    record.device = device;
    record.index = index;
    record.info = info;
    std::memcpy(record.text, text.data(), std::min(text.size(), sizeof record.text - 1));
    return record;
}
