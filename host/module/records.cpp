#include "module/records.h"

#include <cstring>

static const char kEmpty[] = "";

SplitCommand::SplitCommand(const std::string& text) : storage_(text) {
    record_.command = kEmpty;
    for (const char*& sub : record_.subs) sub = kEmpty;
    record_.value = kEmpty;
    record_.count = 0;
    record_.hasValue = false;
    record_.buffer = nullptr;
    if (storage_.empty()) return;
    char* buffer = &storage_[0];
    record_.buffer = buffer;
    const size_t n = storage_.size();
    for (size_t i = 0; i < n && record_.count < 32; ++i) {
        if (buffer[i] == '.') {
            if (record_.command == kEmpty) record_.command = buffer;
            buffer[i] = '\0';
            record_.subs[record_.count++] = buffer + i + 1;
        } else if (buffer[i] == '=') {
            if (record_.command == kEmpty) record_.command = buffer;
            buffer[i] = '\0';
            record_.hasValue = true;
            record_.value = buffer + i + 1;
            break;
        }
    }
    if (record_.command == kEmpty) record_.command = buffer;
}

void fillRevertive(RevertiveRecord& record, int device, int index, int info, const std::string& text) {
    std::memset(&record, 0, sizeof record);
    record.device = device;
    record.index = index;
    record.info = info;
    const size_t room = sizeof record.text - 1;
    const size_t n = text.size() < room ? text.size() : room;
    std::memcpy(record.text, text.data(), n);
    record.text[n] = '\0';
}
