#include "fuzz_support.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

void FuzzFail(const std::string& message, const std::string& text) {
    fprintf(stderr, "\nfuzz check failed: %s\n  text: %s\n", message.c_str(), Escaped(text).c_str());
    abort();
}

std::string Escaped(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c < 0x20 || c > 0x7e || c == '"' || c == '\\') {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

bool ParseCanonicalInt(const std::string& text, int64_t* value) {
    size_t at = 0;
    bool negative = false;
    if (at < text.size() && text[at] == '-') {
        negative = true;
        ++at;
    }
    if (at == text.size() || text.size() - at > 10) return false;
    if (text[at] == '0' && (text.size() - at > 1 || negative)) return false;
    int64_t magnitude = 0;
    for (; at < text.size(); ++at) {
        if (text[at] < '0' || text[at] > '9') return false;
        magnitude = magnitude * 10 + (text[at] - '0');
    }
    const int64_t result = negative ? -magnitude : magnitude;
    if (result < INT32_MIN || result > INT32_MAX) return false;
    *value = result;
    return true;
}

// Splits "CODE a b c" at single blanks.
static std::vector<std::string> Words(const std::string& command) {
    std::vector<std::string> words;
    size_t start = 0;
    for (size_t i = 0; i <= command.size(); ++i) {
        if (i == command.size() || command[i] == ' ') {
            words.push_back(command.substr(start, i - start));
            start = i + 1;
        }
    }
    return words;
}

static bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

static bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

CheckingHost::CheckingHost(const std::string& path)
    : acceptValue([](const std::string&, const std::string&) { return true; }), path_(path) {}

char* CheckingHost::callback(void* data, int type) {
    if (type != VESK_CALL_COMMAND) FuzzFail("host called with type " + std::to_string(type), "");
    if (!data) FuzzFail("command without text", "");
    const std::string command(static_cast<const char*>(data));
    if (closed_) FuzzFail("command after AS", command);
    commands.push_back(command);
    check(command);
    return StartsWith(command, "PS ") ? psReply_ : nullptr;
}

void CheckingHost::check(const std::string& command) {
    if (!pending_.empty()) {
        if (command != pending_) FuzzFail("expected " + pending_ + " next", command);
        pending_.clear();
        if (StartsWith(command, "RP ")) pending_ = "ET 1 10000";
        return;
    }
    if (command == "AS") {
        closed_ = true;
        return;
    }
    if (StartsWith(command, "PS ")) {
        const std::string expected = "PS '1' '" + (path_.empty() ? "" : path_ + "/") + "mimic.vesk_ui'";
        if (command != expected) FuzzFail("malformed panel command", command);
        return;
    }
    if (StartsWith(command, "TP '")) {
        const std::string tail = "' '1' 'LevelMimic'";
        if (!EndsWith(command, tail)) FuzzFail("TP to another control", command);
        const std::string assignment = command.substr(4, command.size() - 4 - tail.size());
        std::string param;
        if (StartsWith(assignment, "text="))
            param = "text";
        else if (StartsWith(assignment, "statesheet="))
            param = "statesheet";
        else
            FuzzFail("TP of an unknown parameter", command);
        if (!acceptValue(param, assignment.substr(param.size() + 1)))
            FuzzFail("TP value that no input gave", command);
        return;
    }
    const std::vector<std::string> words = Words(command);
    std::vector<int64_t> numbers;
    for (size_t i = 1; i < words.size(); ++i) {
        int64_t number;
        if (!ParseCanonicalInt(words[i], &number)) FuzzFail("number not in canonical decimal", command);
        numbers.push_back(number);
    }
    const std::string& code = words[0];
    if (code == "RR" || code == "RP") {
        if (numbers.size() != 3) FuzzFail("router command needs three numbers", command);
        if (numbers[1] < 1 || numbers[1] != numbers[2]) FuzzFail("destination range is not one destination", command);
        if (numbers[0] < 1 || (code == "RR" && numbers[0] > 999)) FuzzFail("device out of range", command);
        if (code == "RR") pending_ = "RP" + command.substr(2);
        return;
    }
    if (code == "RU") {
        if (numbers.size() != 1 || numbers[0] < 1) FuzzFail("malformed unregister", command);
        return;
    }
    if (code == "ET") {
        if (numbers.size() == 1) return;
        if (numbers.size() == 2 && numbers[0] == 1 && numbers[1] == 10000) return;
        FuzzFail("malformed timer command", command);
    }
    FuzzFail("unknown command", command);
}

static std::string site_root;

static void RemoveSite() {
    if (site_root.empty()) return;
    for (int device : {5, 7, 999}) {
        char name[64];
        snprintf(name, sizeof name, "/main/config/system/dev_%03d.ini", device);
        unlink((site_root + name).c_str());
    }
    rmdir((site_root + "/main/config/system").c_str());
    rmdir((site_root + "/main/config").c_str());
    rmdir((site_root + "/main").c_str());
    rmdir(site_root.c_str());
}

int SiteDatabaseSize(int device) {
    switch (device) {
    case 5: return 64;
    case 7: return 20;
    case 999: return 10;
    default: return 0;
    }
}

void EnsureSite() {
    if (!site_root.empty()) return;
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vesk-fuzz-site-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!mkdtemp(buffer.data())) FuzzFail("cannot make a site folder", pattern);
    site_root = buffer.data();
    atexit(RemoveSite);
    std::string dir = site_root + "/main";
    mkdir(dir.c_str(), 0755);
    dir += "/config";
    mkdir(dir.c_str(), 0755);
    dir += "/system";
    mkdir(dir.c_str(), 0755);
    for (int device : {5, 7, 999}) {
        char name[64];
        snprintf(name, sizeof name, "/dev_%03d.ini", device);
        FILE* file = fopen((dir + name).c_str(), "w");
        if (!file) FuzzFail("cannot write a device file", dir + name);
        fprintf(file, "[Database]\nDatabaseSize_1=%d\n", SiteDatabaseSize(device));
        fclose(file);
    }
    setenv("QX_ROOT", site_root.c_str(), 1);
    setenv("QX_SYSTEM", "main", 1);
}
