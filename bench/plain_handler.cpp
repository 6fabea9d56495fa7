// Plain C handling of the compared events: see plain_handler.h.
#include "plain_handler.h"

#include <stdlib.h>
#include <string.h>


// Copies `text` into `out` of `room` bytes, cut to fit.
static void store(char* out, size_t room, const char* text) {
    size_t length = strlen(text);
    if (length >= room) length = room - 1;
    memcpy(out, text, length);
    out[length] = '\0';
}

PlainHandler::PlainHandler(vesk_client_callback* host)
    : host_(host), device_(-1), destination_(-1), lastSource_(-1) {
    lastText_[0] = '\0';
    stateSheet_[0] = '\0';
    store(idle_, sizeof idle_, "unknown");
}

char* PlainHandler::callback(void* data, int type) {
    switch (type) {
    case 1:
        if (data) report(static_cast<const RevertiveRecord*>(data));
        return nullptr;
    case 3:
        return text(static_cast<const char*>(data));
    case 5:
        free(data);
        return nullptr;
    default:
        return nullptr;
    }
}

void PlainHandler::report(const RevertiveRecord* record) {
    if (record->device != device_ || record->index != destination_) return;
    if (record->info == lastSource_ && strcmp(record->text, lastText_) == 0) return;
    put("text", record->text, "1", "LevelMimic");
    lastSource_ = record->info;
    store(lastText_, sizeof lastText_, record->text);
    stopTimer(1);
}

void PlainHandler::put(const char* param, const char* value, const char* panel, const char* control) {
    const char* const pieces[] = {"TP '", param, "=", value, "' '", panel, "' '", control, "'"};
    char command[4 * kTextRoom + 16];
    size_t at = 0;
    for (const char* piece : pieces) {
        const size_t length = strlen(piece);
        if (length >= kTextRoom) return;
        memcpy(command + at, piece, length);
        at += length;
    }
    command[at] = '\0';
    host_->callback(command, VESK_CALL_COMMAND);
}

void PlainHandler::stopTimer(int timer) {
    char digits[12];
    int count = 0;
    unsigned magnitude = timer < 0 ? 0u - static_cast<unsigned>(timer) : static_cast<unsigned>(timer);
    do {
        digits[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    char command[16] = "ET ";
    size_t at = 3;
    if (timer < 0) command[at++] = '-';
    while (count > 0) command[at++] = digits[--count];
    command[at] = '\0';
    host_->callback(command, VESK_CALL_COMMAND);
}

char* PlainHandler::text(const char* text) {
    if (!text || !*text) return nullptr;
    // The parser's one copy, split in place: command, sub-parts, value.
    const size_t length = strlen(text);
    char* buffer = static_cast<char*>(malloc(length + 1));
    if (!buffer) return nullptr;
    memcpy(buffer, text, length + 1);
    const char* subs[32];
    int count = 0;
    const char* value = "";
    for (char* p = buffer; *p && count < 32; ++p) {
        if (*p == '.') {
            *p = '\0';
            subs[count++] = p + 1;
        } else if (*p == '=') {
            *p = '\0';
            value = p + 1;
            break;
        }
    }
    (void)subs;

    char* answer = nullptr;
    if (strcmp(buffer, "return") == 0 || strcmp(buffer, "instance") == 0) {
        // answered with nothing, as the component does
    } else if (strcmp(buffer, "driverid") == 0) {
        device_ = atoi(value);
    } else if (strcmp(buffer, "destid") == 0) {
        destination_ = atoi(value);
    } else if (strcmp(buffer, "statesheet") == 0) {
        store(stateSheet_, sizeof stateSheet_, value);
        put("statesheet", stateSheet_, "1", "LevelMimic");
    } else if (strcmp(buffer, "unusedtext") == 0) {
        store(idle_, sizeof idle_, value);
        if (device_ < 1 || destination_ < 1) put("text", idle_, "1", "LevelMimic");
    } else if (strcmp(buffer, "_events") == 0) {
        answer = static_cast<char*>(malloc(sizeof "notify=*"));
        if (answer) memcpy(answer, "notify=*", sizeof "notify=*");
    }
    free(buffer);
    return answer;
}
