// vesk_script_helper: see vesk_script_helper.h for every contract.
#include "vesk_script_helper.h"

#include "vesk_platform.h"

// Names the library in the built module. Nothing reads it; it must stay in the
// initialised, writable data as plain characters, so it is a non-const array
// with external linkage (the Windows link keeps it with /include).
extern "C" {
#if defined(__GNUC__) && !defined(_WIN32)
__attribute__((used, visibility("hidden")))
#endif
char vesk_script_helper_signature[] =
    "VESK_SIG,name=vesk_script_helper,type=LIB,version=4.8.6.0,date=16/06/2017,author=Parvex developers";
}

// ---- Small text helpers that never allocate ----

// Writes the decimal text of `value` at `out` as "%d" does; returns the
// characters written. `out` must have room for 11 characters. Every timer and
// poll command passes through here, so it does no more than that.
static int format_decimal(char* out, int value) {
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    char digits[10];
    char* const end = digits + sizeof digits;
    char* first = end;
    do {
        *--first = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    char* at = out;
    if (value < 0) *at++ = '-';
    while (first != end) *at++ = *first++;
    return static_cast<int>(at - out);
}

// The same zero-filled after the sign to at least `width` characters, as
// "%0*d" does. `out` must have room for 11 + width characters.
static int format_zero_filled(char* out, int value, int width) {
    char plain[11];
    const int length = format_decimal(plain, value);
    const int sign = value < 0 ? 1 : 0;
    int written = 0;
    if (sign) out[written++] = '-';
    for (int pad = length; pad < width; ++pad) out[written++] = '0';
    for (int i = sign; i < length; ++i) out[written++] = plain[i];
    return written;
}

// Appends `text` at `*at` within `out` of `size` bytes; false (and nothing
// past the room) when it does not fit with its terminating zero.
static bool append_text(char* out, size_t size, size_t* at, const char* text) {
    size_t length = vesk_strlen(text);
    if (*at + length + 1 > size) return false;
    vesk_memcpy(out + *at, text, length + 1);
    *at += length;
    return true;
}

// Fills the markers %1..%9 of `format` as successive vesk_string::arg calls
// with `values` would (the lowest marker present takes the first value, the
// next lowest the second, ...), except that text inserted for one marker is
// never taken for a marker itself: values reach the result unchanged.
static vesk_string fill_markers(const vesk_string& format, const vesk_string* const* values, int count) {
    if (!format.ok()) return format;
    const char* text = format.c_str();
    const unsigned length = format.length();
    bool present[10] = {};
    for (unsigned i = 0; i + 1 < length; ++i)
        if (text[i] == '%' && text[i + 1] >= '1' && text[i + 1] <= '9') present[text[i + 1] - '0'] = true;
    int slot[10] = {};
    int next = 0;
    for (int digit = 1; digit <= 9; ++digit) slot[digit] = present[digit] && next < count ? next++ : -1;

    vesk_string result;
    unsigned start = 0;
    for (unsigned i = 0; i + 1 < length; ++i) {
        if (text[i] != '%' || text[i + 1] < '1' || text[i + 1] > '9') continue;
        const int index = slot[text[i + 1] - '0'];
        if (index < 0) continue;
        result.append(text + start, i - start);
        result += *values[index];
        start = i + 2;
        ++i;
    }
    result.append(text + start, length - start);
    return result;
}

// ---- Lifecycle ----

vesk_script_helper::vesk_script_helper(vesk_client_callback* hostLink, const char* panelFolder)
    : host(hostLink), path(), alarmHandling(false) {
    path = panelFolder;
}

vesk_script_helper::~vesk_script_helper() { send("AS"); }

void* vesk_script_helper::operator new(size_t size) noexcept { return vesk_mem_alloc(size); }

void vesk_script_helper::operator delete(void* block) { vesk_mem_free(block); }

// ---- Dispatch ----

char* vesk_script_helper::callback(void* data, int type) {
    // Router reports come first and fastest: most are for other destinations.
    if (type == VESK_EVENT_REVERTIVE) {
        if (data) {
            RevertiveNotify event(static_cast<const RevertiveRecord*>(data));
            revertiveCallback(event);
        }
        return nullptr;
    }
    switch (type) {
    case VESK_EVENT_CONTROL: {
        if (!data) return nullptr;
        ButtonNotify event(static_cast<const ButtonRecord*>(data));
        if (alarmHandling && divertAlarm(event)) return nullptr;
        buttonCallback(event);
        return nullptr;
    }
    case VESK_EVENT_TEXT:
        return answerText(static_cast<const char*>(data));
    case VESK_EVENT_TIMER:
        timerCallback(static_cast<int32_t>(reinterpret_cast<intptr_t>(data)));
        return nullptr;
    case VESK_EVENT_RELEASE:
        vesk_mem_free(data);
        return nullptr;
    case VESK_EVENT_RECORD: {
        void* cell = data;
        recordCallback(&cell);
        return nullptr;
    }
    case VESK_EVENT_VALUE: {
        uint32_t cell = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data));
        valueCallback(&cell);
        return nullptr;
    }
    default:
        return nullptr;
    }
}

char* vesk_script_helper::answerText(const char* text) {
    ParsedCommand parsed(text);
    ParentNotify event(&parsed);
    vesk_string answer = parentCallback(event);
    if (answer.length() == 0) return nullptr;
    size_t size = static_cast<size_t>(answer.length()) + 1;
    char* copy = static_cast<char*>(vesk_mem_alloc(size));
    if (copy) vesk_memcpy(copy, answer.c_str(), size);
    return copy;
}

void vesk_script_helper::valueCallback(uint32_t*) {}

void vesk_script_helper::recordCallback(void**) {}

bool vesk_script_helper::divertAlarm(ButtonNotify& event) {
    vesk_string id = event.id();
    if (id == "ActionAll") {
        if (event.command() != "alarm") return false;
        alarmAcknowledge(event.value());
        return true;
    }
    if (id == "AckAll") {
        alarmAcknowledge(vesk_string(4, 0, 0, 10));
        return true;
    }
    return false;
}

// ---- Commands ----

char* vesk_script_helper::send(const char* text) {
    if (!host) return nullptr;
    return host->callback(const_cast<char*>(text), VESK_CALL_COMMAND);
}

char* vesk_script_helper::send(const vesk_string& text) {
    if (!text.ok()) return nullptr;
    return send(text.c_str());
}

bool vesk_script_helper::panelShow(const vesk_string& panel, const vesk_string& file, const vesk_string& extra) {
    vesk_string text = "PS '" + panel + "' '";
    // A path that could not be stored fails the text rather than dropping out.
    if (path.length() != 0 || !path.ok()) text += path + "/";
    text += file + "'";
    if (extra.length() != 0) text += " '" + extra + "'";
    if (!host) return true;
    if (!text.ok()) return false;
    return send(text) != nullptr;
}

bool vesk_script_helper::textPut(const vesk_string& param, const vesk_string& value, const vesk_string& panel,
                                 const vesk_string& control) {
    // A text that failed to build would send a half command: send none.
    if (!param.ok() || !value.ok() || !panel.ok() || !control.ok()) return false;
    return textPutChars(param.c_str(), value.c_str(), panel.c_str(), control.c_str());
}

// A report's text and the rest of a TP fit here, as in a vesk_string's own
// room; longer commands take the heap.
enum { kTextCommandRoom = vesk_string::kInlineCapacity + 1 };

// Copies the `count` bytes at `text` to `out`; returns the place after them.
static char* put_bytes(char* out, const char* text, size_t count) {
    vesk_memcpy(out, text, count);
    return out + count;
}

bool vesk_script_helper::sendTextPut(const char* const* texts, const size_t* lengths) {
    // This is the path of every report shown. The frame's pieces have fixed
    // lengths and are stored as constants; every byte is copied once, straight
    // into the command.
    size_t total = sizeof "TP '=' '' ''" - 1;
    for (int i = 0; i < 4; ++i) {
        // Texts cross the boundary as 32-bit lengths, as in vesk_string; the
        // test is written so that the sum cannot wrap.
        if (lengths[i] >= 0x7fffffffu - total) return false;
        total += lengths[i];
    }
    char local[kTextCommandRoom];
    char* text = local;
    if (total >= sizeof local) {
        text = static_cast<char*>(vesk_mem_alloc(total + 1));
        if (!text) return false;
    }
    char* at = put_bytes(text, "TP '", 4);
    at = put_bytes(at, texts[0], lengths[0]);
    *at++ = '=';
    at = put_bytes(at, texts[1], lengths[1]);
    at = put_bytes(at, "' '", 3);
    at = put_bytes(at, texts[2], lengths[2]);
    at = put_bytes(at, "' '", 3);
    at = put_bytes(at, texts[3], lengths[3]);
    *at++ = '\'';
    *at = '\0';
    send(text);
    if (text != local) vesk_mem_free(text);
    return true;
}

vesk_string& vesk_script_helper::textGet(const vesk_string& param, const vesk_string& panel,
                                         const vesk_string& control, vesk_string& result) {
    char* reply = send("TG '" + panel + "' '" + control + "' '" + param + "'");
    if (!reply) {
        result = "";
        return result;
    }
    vesk_string copy(reply);
    host->callback(reply, VESK_EVENT_RELEASE);
    if (param == "all") {
        result = copy;
        return result;
    }
    vesk_string name;
    vesk_string value;
    copy.split('=', name, value);
    if (name == param.c_str()) {
        result = value;
        return result;
    }
    const vesk_string none;
    debug("textGet: value returned \"%1\" was not the value requested \"%2\" (value returned was \"%3\" "
          "from control \"%4\", on panel \"%5\")",
          name, param, copy, control, panel, none, none, none, none);
    result = "";
    return result;
}

vesk_stringlist vesk_script_helper::controlsGet(const vesk_string& panel, const vesk_string& selector) {
    const vesk_string* const values[] = {&panel, &selector};
    char* reply = send(fill_markers(vesk_string("XI '%1' '%2'"), values, 2));
    if (!reply) return vesk_stringlist();
    vesk_stringlist list(vesk_string(reply), ',');
    host->callback(reply, VESK_EVENT_RELEASE);
    return list;
}

// The longest command is "RR" and three 11-character numbers, each after a
// blank, and " 'ADD'": 44 characters and the terminating zero.
enum { kNumberCommandRoom = 48 };

void vesk_script_helper::sendNumbers(const char* code, const int* numbers, int count, const char* tail) {
    char text[kNumberCommandRoom];
    // Written by hand: timer and poll commands are sent at every timer event.
    text[0] = code[0];
    text[1] = code[1];
    size_t at = 2;
    for (int i = 0; i < count; ++i) {
        text[at++] = ' ';
        at += static_cast<size_t>(format_decimal(text + at, numbers[i]));
    }
    text[at] = '\0';
    if (*tail) append_text(text, sizeof text, &at, tail);
    send(text);
}

// Two letters, a blank, the 11 characters of the longest number and the zero.
enum { kOneNumberCommandRoom = 16 };

void vesk_script_helper::sendNumber(const char* code, int number) {
    // Straight-line, without sendNumbers' loop and tail: ET {timer} goes with
    // every report shown.
    char text[kOneNumberCommandRoom];
    text[0] = code[0];
    text[1] = code[1];
    text[2] = ' ';
    text[3 + format_decimal(text + 3, number)] = '\0';
    send(text);
}

void vesk_script_helper::routerRegister(int device, int first, int last, bool add) {
    const int numbers[] = {device, first, last};
    sendNumbers("RR", numbers, 3, add ? " 'ADD'" : "");
}

void vesk_script_helper::routerUnregister(int device) { sendNumber("RU", device); }

void vesk_script_helper::routerPoll(int device, int first, int last) {
    const int numbers[] = {device, first, last};
    sendNumbers("RP", numbers, 3, "");
}

void vesk_script_helper::timerStart(int timer, int interval) {
    if (interval == 0) {
        sendNumber("ET", timer);
        return;
    }
    const int numbers[] = {timer, interval};
    sendNumbers("ET", numbers, 2, "");
}

void vesk_script_helper::timerStop(int timer) { sendNumber("ET", timer); }

void vesk_script_helper::debug(const vesk_string& format, const vesk_string& a1, const vesk_string& a2,
                               const vesk_string& a3, const vesk_string& a4, const vesk_string& a5,
                               const vesk_string& a6, const vesk_string& a7, const vesk_string& a8,
                               const vesk_string& a9) {
    const vesk_string* const values[] = {&a1, &a2, &a3, &a4, &a5, &a6, &a7, &a8, &a9};
    const vesk_string text = fill_markers(format, values, 9);
    if (text.ok()) vesk_debug_output(text.c_str());
}

// ---- Alarm acknowledgement ----

void vesk_script_helper::alarmAcknowledge(const vesk_string& state) {
    int code = -1;
    if (state == "ack")
        code = 4;
    else if (state.length() == 1)
        code = state.toInt();

    const vesk_string panel(1, 0, 0, 10);
    const vesk_string alarm("alarm");
    const vesk_string valueParam("value");
    const vesk_string acknowledged(4, 0, 0, 10);
    vesk_string current;
    vesk_stringlist controls = controlsGet(panel, vesk_string("alm_"));
    for (vesk_stringlistIterator it = controls.begin(); it != controls.end(); ++it) {
        const vesk_string& control = *it;
        textPut(alarm, state, panel, control);
        if (code == 4) {
            int value = textGet(valueParam, panel, control, current).toInt();
            if (value == 1 || value < 0 || value > 5) textPut(valueParam, acknowledged, panel, control);
        } else if (code != -1) {
            textPut(valueParam, vesk_string(code, 0, 0, 10), panel, control);
        }
    }
}

// ---- Device database size ----

int vesk_script_helper::databaseSize(int device, int database) {
    // A value that cannot fit the path reads as unset: 0 either way.
    char root[260];
    char system[260];
    if (!vesk_env_get("QX_ROOT", root, sizeof root) || !vesk_env_get("QX_SYSTEM", system, sizeof system))
        return 0;

    char key[256];
    size_t key_length = 0;
    append_text(key, sizeof key, &key_length, "DatabaseSize_");
    key_length += static_cast<size_t>(format_decimal(key + key_length, database));
    key[key_length] = '\0';

    char file[256];
    size_t file_length = 0;
    append_text(file, sizeof file, &file_length, "dev_");
    file_length += static_cast<size_t>(format_zero_filled(file + file_length, device, 3));
    file[file_length] = '\0';
    append_text(file, sizeof file, &file_length, ".ini");

    char full[260];
    size_t at = 0;
    if (!append_text(full, sizeof full, &at, root) || !append_text(full, sizeof full, &at, "\\") ||
        !append_text(full, sizeof full, &at, system) ||
        !append_text(full, sizeof full, &at, "\\config\\system\\") || !append_text(full, sizeof full, &at, file))
        return 0;

    char value[256];
    if (vesk_profile_read("Database", key, "0", value, sizeof value, full) == 0) return 0;
    return vesk_text_to_int(value);
}
