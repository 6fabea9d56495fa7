/*
 * msvc_host: loads Parvex.dll the way the panel application does and checks
 * the module's binary contract under Wine.
 *
 * The panel application is built by Microsoft's compiler. It sees a component
 * as a pointer to a table of two __thiscall slots, 0 the scalar deleting
 * destructor (this, flags) and 1 callback (this, data, type), and offers the
 * same two slots on its own object. g++ lays out C++ classes differently (two
 * destructor slots), so this host is C, and both tables are written out by
 * hand here. The records handed to the component are C structs with the
 * application's layout.
 *
 * Each test case prints its name, every command the host receives, and a
 * PASS or FAIL line; the run ends with the line "N passed, M failed" and exits
 * with 0 only when nothing failed. A crash inside the module fails the running
 * case and every case after it.
 */
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

/* ---- Records the application hands to a component ---------------------- */

enum { kReportTextRoom = 256 };

/* Router report, event type 1. The text is stored in the record itself. */
typedef struct RevertiveRecord {
    int32_t device;
    int32_t reserved; /* the application's own; a component never reads it */
    int32_t index;
    int32_t info;
    char text[kReportTextRoom];
} RevertiveRecord;

_Static_assert(offsetof(RevertiveRecord, device) == 0, "device at 0");
_Static_assert(offsetof(RevertiveRecord, reserved) == 4, "reserved word at 4");
_Static_assert(offsetof(RevertiveRecord, index) == 8, "index at 8");
_Static_assert(offsetof(RevertiveRecord, info) == 12, "info at 12");
_Static_assert(offsetof(RevertiveRecord, text) == 16, "text characters at 16");

/* A command text split by the application: command.sub.sub=value. */
typedef struct ParsedCommand {
    const char* command;
    const char* subs[32];
    const char* value;
    int32_t count;
    uint8_t hasValue;
    char* buffer;
} ParsedCommand;

_Static_assert(offsetof(ParsedCommand, subs) == 4, "subs at 4");
_Static_assert(offsetof(ParsedCommand, value) == 132, "value at 132");
_Static_assert(offsetof(ParsedCommand, count) == 136, "count at 136");
_Static_assert(offsetof(ParsedCommand, hasValue) == 140, "hasValue at 140");
_Static_assert(offsetof(ParsedCommand, buffer) == 144, "buffer at 144");
_Static_assert(sizeof(ParsedCommand) == 148, "148-byte parsed command");

/* Panel control event, event type 2. */
typedef struct ButtonRecord {
    int32_t reserved[3];
    const char* id;
    ParsedCommand* command;
} ButtonRecord;

_Static_assert(offsetof(ButtonRecord, id) == 12, "control id at 12");
_Static_assert(offsetof(ButtonRecord, command) == 16, "parsed command at 16");

/* ---- The two-slot interface, MSVC layout ------------------------------- */

enum {
    kCommand = 0,
    kReport = 1,
    kControl = 2,
    kText = 3,
    kTimer = 4,
    kRelease = 5,
    kRecord = 6,
    kValue = 7
};

typedef void*(__attribute__((thiscall)) * DestructorSlot)(void* self, unsigned flags);
typedef char*(__attribute__((thiscall)) * CallbackSlot)(void* self, void* data, int type);

typedef struct CallbackTable {
    DestructorSlot destroy; /* slot 0: scalar deleting destructor */
    CallbackSlot callback;  /* slot 1 */
} CallbackTable;

/* A component as the application sees it: only the table pointer. */
typedef struct Component {
    const CallbackTable* table;
} Component;

typedef Component*(__cdecl* LoadFn)(void* host, const char* path);

static LoadFn g_load;
static char g_folder[MAX_PATH]; /* the exe's folder: panel path and DLL home */

/* ---- Test bookkeeping -------------------------------------------------- */

static int g_case_failures;

static void failf(int line, const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("    FAILED (msvc_host.c:%d): ", line);
    vprintf(format, args);
    printf("\n");
    va_end(args);
    ++g_case_failures;
}

#define EXPECT(cond, ...)                                \
    do {                                                 \
        if (!(cond)) failf(__LINE__, __VA_ARGS__);       \
    } while (0)

/* Calls into the host that break the protocol: a `this` that is no host of
 * ours, a call type other than a command, a reply handed back although no
 * reply of ours is ever to be handed back, an attempt to delete a host. */
static int g_protocol_errors;

static void protocol_error(const char* format, ...) {
    va_list args;
    va_start(args, format);
    printf("    PROTOCOL ERROR: ");
    vprintf(format, args);
    printf("\n");
    va_end(args);
    ++g_protocol_errors;
}

/* ---- The host object --------------------------------------------------- */

enum { kMaxCommands = 32, kMaxCommandText = 512, kMaxHosts = 4 };

typedef struct Host {
    const CallbackTable* table; /* first, as the component expects */
    const char* name;
    int quiet; /* set: commands are recorded but not printed */
    int count; /* commands received since the last check */
    char commands[kMaxCommands][kMaxCommandText];
} Host;

static Host* g_hosts[kMaxHosts];
static int g_total_host_calls;

/* Replies are the host's; a component must not hand any of them back. */
static char g_reply[] = "1";

static Host* find_host(void* self) {
    for (int i = 0; i < kMaxHosts; ++i)
        if (g_hosts[i] && g_hosts[i] == self) return g_hosts[i];
    return NULL;
}

static void* __attribute__((thiscall)) host_destroy(void* self, unsigned flags) {
    ++g_total_host_calls;
    protocol_error("the component called the host's destructor (this %p, flags %u)", self, flags);
    return self;
}

static char* __attribute__((thiscall)) host_callback(void* self, void* data, int type) {
    ++g_total_host_calls;
    Host* host = find_host(self);
    if (!host) {
        protocol_error("host callback with this=%p, which is no live host (type %d)", self, type);
        return NULL;
    }
    if (type == kRelease) {
        protocol_error("host %s: reply %p handed back, but only TG and XI replies are handed back", host->name,
                       data);
        return NULL;
    }
    if (type != kCommand) {
        protocol_error("host %s: call type %d, expected 0 for a command", host->name, type);
        return NULL;
    }
    const char* text = (const char*)data;
    if (!text) {
        protocol_error("host %s: null command text", host->name);
        return NULL;
    }
    if (!host->quiet) printf("      %s <- %s\n", host->name, text);
    if (host->count < kMaxCommands) {
        snprintf(host->commands[host->count], kMaxCommandText, "%s", text);
    }
    ++host->count;
    return g_reply;
}

static const CallbackTable kHostTable = {host_destroy, host_callback};

static void host_open(Host* host, const char* name) {
    memset(host, 0, sizeof *host);
    host->table = &kHostTable;
    host->name = name;
    for (int i = 0; i < kMaxHosts; ++i) {
        if (!g_hosts[i]) {
            g_hosts[i] = host;
            return;
        }
    }
}

static void host_close(Host* host) {
    for (int i = 0; i < kMaxHosts; ++i)
        if (g_hosts[i] == host) g_hosts[i] = NULL;
}

/* Compares the commands the host received since the last check with `want`,
 * then forgets them. `after` names what was done to cause them. */
static void expect_commands_at(int line, Host* host, const char* after, const char* const* want, int wanted) {
    int same = host->count == wanted;
    for (int i = 0; same && i < wanted; ++i) same = strcmp(host->commands[i], want[i]) == 0;
    if (!same) {
        failf(line, "after %s: host %s expected %d command(s), got %d", after, host->name, wanted, host->count);
        for (int i = 0; i < wanted; ++i) printf("      expected: %s\n", want[i]);
        for (int i = 0; i < host->count && i < kMaxCommands; ++i) printf("      got:      %s\n", host->commands[i]);
    }
    host->count = 0;
}

#define COMMAND_LIST(...) ((const char* const[]){__VA_ARGS__})
#define EXPECT_COMMANDS(host, after, ...)                                       \
    expect_commands_at(__LINE__, host, after, COMMAND_LIST(__VA_ARGS__),        \
                       (int)(sizeof COMMAND_LIST(__VA_ARGS__) / sizeof(const char*)))
#define EXPECT_NO_COMMANDS(host, after) expect_commands_at(__LINE__, host, after, NULL, 0)

/* ---- Driving a component ----------------------------------------------- */

static Component* create_at(int line, Host* host, const char* path) {
    Component* component = g_load(host, path);
    if (!component) failf(line, "load_vesk_client_script(host %s, \"%s\") returned null", host ? host->name : "null",
                          path);
    return component;
}
#define CREATE(host, path) create_at(__LINE__, host, path)

static char* call(Component* component, void* data, int type) {
    return component->table->callback(component, data, type);
}

static void destroy(Component* component) {
    if (component) component->table->destroy(component, 1);
}

/* A text event that must be answered with no text. */
static void setting_at(int line, Component* component, const char* text) {
    char* answer = call(component, (void*)text, kText);
    if (answer) {
        failf(line, "text event \"%s\" answered \"%s\", expected no answer", text, answer);
        call(component, answer, kRelease);
    }
}
#define SETTING(component, text) setting_at(__LINE__, component, text)

static void timer_at(int line, Component* component, int timer) {
    char* answer = call(component, (void*)(intptr_t)timer, kTimer);
    if (answer) failf(line, "timer event %d returned %p, expected null", timer, (void*)answer);
}
#define TIMER(component, timer) timer_at(__LINE__, component, timer)

/* The reserved word holds a value a component must not mistake for anything. */
static void report_at(int line, Component* component, int device, int index, int info, const char* text) {
    RevertiveRecord record;
    memset(&record, 0, sizeof record);
    record.device = device;
    record.reserved = 0x5a5a5a5a;
    record.index = index;
    record.info = info;
    snprintf(record.text, sizeof record.text, "%s", text);
    char* answer = call(component, &record, kReport);
    if (answer)
        failf(line, "report device %d index %d info %d \"%s\" returned %p, expected null", device, index, info, text,
              (void*)answer);
}
#define REPORT(component, device, index, info, text) report_at(__LINE__, component, device, index, info, text)

/* ---- Calls with the stack pointer watched ------------------------------ */

/* Calls `fn` with ECX = `self` and the stack words `first` and `second`
 * (pushed right to left, as MSVC does) and tells how far ESP moved across the
 * call: 0 when the callee popped both words (__thiscall with two arguments),
 * -4 when it popped one (__thiscall with one argument; `second` is a spare),
 * -8 when it popped none (__cdecl). */
static uint32_t call_watching_stack(const void* fn, void* self, uint32_t first, uint32_t second, int32_t* moved) {
    uint32_t result;
    uint32_t delta;
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %%eax\n\t"
        "pushl %%edi\n\t"
        "call *%%ebx\n\t"
        "movl %%esp, %%edx\n\t"
        "subl %%esi, %%edx\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(result), "=&d"(delta), "+c"(self)
        : "b"(fn), "D"(first), "0"(second)
        : "esi", "memory", "cc");
    *moved = (int32_t)delta;
    return result;
}

/* ---- Site folder ------------------------------------------------------- */

static char g_site_root[MAX_PATH];
static char g_site_dirs[4][MAX_PATH];
static char g_site_file[MAX_PATH];

static int write_text_file(const char* path, const char* text) {
    FILE* file = fopen(path, "wb");
    if (!file) return 0;
    int ok = fputs(text, file) >= 0;
    return fclose(file) == 0 && ok;
}

/* QX_ROOT and QX_SYSTEM naming the site, set with _putenv. */
static int set_site_environment(void) {
    static char root_setting[MAX_PATH + 16];
    snprintf(root_setting, sizeof root_setting, "QX_ROOT=%s", g_site_root);
    return _putenv(root_setting) == 0 && _putenv("QX_SYSTEM=main") == 0;
}

/* <temp>\parvex-site-<pid>\main\config\system\dev_005.ini with database 1 of
 * device 5 sized 64; QX_ROOT and QX_SYSTEM name it, set with _putenv (which
 * sets both the process environment and msvcrt's copy of it). */
static int make_site(void) {
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return 0;
    snprintf(g_site_root, sizeof g_site_root, "%sparvex-site-%lu", temp, (unsigned long)GetCurrentProcessId());
    snprintf(g_site_dirs[0], MAX_PATH, "%s", g_site_root);
    snprintf(g_site_dirs[1], MAX_PATH, "%s\\main", g_site_root);
    snprintf(g_site_dirs[2], MAX_PATH, "%s\\main\\config", g_site_root);
    snprintf(g_site_dirs[3], MAX_PATH, "%s\\main\\config\\system", g_site_root);
    for (int i = 0; i < 4; ++i)
        if (!CreateDirectoryA(g_site_dirs[i], NULL) && GetLastError() != ERROR_ALREADY_EXISTS) return 0;
    snprintf(g_site_file, sizeof g_site_file, "%s\\dev_005.ini", g_site_dirs[3]);
    if (!write_text_file(g_site_file, "[Database]\r\nDatabaseSize_1=64\r\n")) return 0;

    if (!set_site_environment()) return 0;
    printf("site: %s (QX_SYSTEM=main, dev_005.ini: DatabaseSize_1=64)\n", g_site_root);
    return 1;
}

static void remove_site(void) {
    if (g_site_file[0]) DeleteFileA(g_site_file);
    for (int i = 3; i >= 0; --i)
        if (g_site_dirs[i][0]) RemoveDirectoryA(g_site_dirs[i]);
}

/* ---- Test cases -------------------------------------------------------- */

static void expected_panel_command(char* out, size_t size, const char* path) {
    snprintf(out, size, "PS '1' '%s/mimic.vesk_ui'", path);
}

static void test_export_returns_component(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    EXPECT(component == NULL || component->table != NULL, "component from path \"%s\" has a null table", g_folder);
    host.count = 0;
    destroy(component);
    host_close(&host);
}

static void test_creation_sends_only_panel_command(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    char want[MAX_PATH + 64];
    expected_panel_command(want, sizeof want, g_folder);
    EXPECT_COMMANDS(&host, "creation", want);

    /* The panel file is where the command says it is. */
    char panel_file[MAX_PATH + 32];
    snprintf(panel_file, sizeof panel_file, "%s/mimic.vesk_ui", g_folder);
    FILE* file = fopen(panel_file, "rb");
    EXPECT(file != NULL, "panel file %s is missing", panel_file);
    if (file) fclose(file);

    destroy(component);
    host_close(&host);
}

static void test_normal_start_sequence(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    if (!component) goto done;
    host.count = 0;

    SETTING(component, "driverid=5");
    EXPECT_NO_COMMANDS(&host, "text event driverid=5");
    SETTING(component, "destid=12");
    EXPECT_COMMANDS(&host, "text event destid=12 with device 5 (database size 64)", "RU 5", "RR 5 12 12",
                    "RP 5 12 12", "ET 1 10000");

    TIMER(component, 1);
    EXPECT_COMMANDS(&host, "timer 1 while waiting", "RP 5 12 12");
    TIMER(component, 1);
    EXPECT_COMMANDS(&host, "second timer 1 while waiting", "RP 5 12 12");

    REPORT(component, 5, 12, 3, "CAM 3");
    EXPECT_COMMANDS(&host, "report device 5 index 12 info 3 \"CAM 3\"", "TP 'text=CAM 3' '1' 'LevelMimic'", "ET 1");
    REPORT(component, 5, 12, 3, "CAM 3");
    EXPECT_NO_COMMANDS(&host, "repeated report device 5 index 12 info 3");
    REPORT(component, 5, 13, 4, "VT 1");
    EXPECT_NO_COMMANDS(&host, "report device 5 index 13 info 4");
    REPORT(component, 6, 12, 4, "VT 1");
    EXPECT_NO_COMMANDS(&host, "report device 6 index 12 info 4");
    REPORT(component, 5, 12, 4, "VT 1");
    EXPECT_COMMANDS(&host, "report device 5 index 12 info 4 \"VT 1\"", "TP 'text=VT 1' '1' 'LevelMimic'", "ET 1");

    destroy(component);
    EXPECT_COMMANDS(&host, "deletion with device 5 destination 12 set", "RU 5", "AS");
done:
    host_close(&host);
}

/* Words at the wrong offsets would match here: the reserved word holds the
 * destination, and the text runs far past any pointer-sized field. */
static void test_report_record_layout(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    if (!component) goto done;
    SETTING(component, "driverid=5");
    SETTING(component, "destid=12");
    host.count = 0;

    RevertiveRecord record;
    memset(&record, 0, sizeof record);
    record.device = 5;
    record.reserved = 12;
    record.index = 99;
    record.info = 3;
    strcpy(record.text, "WRONG");
    EXPECT(call(component, &record, kReport) == NULL, "report with index 99 returned non-null");
    EXPECT_NO_COMMANDS(&host, "report device 5 reserved 12 index 99 (index read from the reserved word?)");

    char long_text[201];
    memset(long_text, 'x', 200);
    long_text[200] = '\0';
    memcpy(long_text, "SRC-", 4);
    memset(&record, 0, sizeof record);
    record.device = 5;
    record.reserved = 99;
    record.index = 12;
    record.info = 8;
    memcpy(record.text, long_text, sizeof long_text);
    EXPECT(call(component, &record, kReport) == NULL, "report with a 200-character text returned non-null");
    char want[300];
    snprintf(want, sizeof want, "TP 'text=%s' '1' 'LevelMimic'", long_text);
    EXPECT_COMMANDS(&host, "report device 5 index 12 info 8 with a 200-character text at offset 16", want, "ET 1");

    destroy(component);
done:
    host_close(&host);
}

static void test_questions_and_answers(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    if (!component) goto done;
    host.count = 0;

    char* first = call(component, (void*)"_events", kText);
    char* second = call(component, (void*)"_events", kText);
    EXPECT(first && strcmp(first, "notify=*") == 0, "text event _events answered \"%s\", expected \"notify=*\"",
           first ? first : "(null)");
    EXPECT(second && strcmp(second, "notify=*") == 0,
           "second text event _events answered \"%s\", expected \"notify=*\"", second ? second : "(null)");
    EXPECT(!first || first != second, "two _events answers held at once share the address %p", (void*)first);
    if (first) EXPECT(call(component, first, kRelease) == NULL, "handing back the _events answer returned non-null");
    if (second) EXPECT(call(component, second, kRelease) == NULL, "handing back the _events answer returned non-null");
    EXPECT(call(component, NULL, kRelease) == NULL, "handing back null returned non-null");

    static const char* const kSilent[] = {"_commands", "return=all", "return=x", "instance", "colour=red", ""};
    for (size_t i = 0; i < sizeof kSilent / sizeof kSilent[0]; ++i) SETTING(component, kSilent[i]);
    char* answer = call(component, NULL, kText);
    EXPECT(answer == NULL, "text event with null data answered \"%s\"", answer ? answer : "");
    EXPECT_NO_COMMANDS(&host, "questions _events, _commands, return, instance, an unknown setting and null text");

    destroy(component);
done:
    host_close(&host);
}

static void test_unused_text_and_state_sheet(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    if (!component) goto done;
    host.count = 0;

    SETTING(component, "unusedtext=Spare");
    EXPECT_COMMANDS(&host, "text event unusedtext=Spare with no destination", "TP 'text=Spare' '1' 'LevelMimic'");
    SETTING(component, "statesheet=alert");
    EXPECT_COMMANDS(&host, "text event statesheet=alert with no destination",
                    "TP 'statesheet=alert' '1' 'LevelMimic'");

    SETTING(component, "driverid=5");
    SETTING(component, "destid=12");
    host.count = 0;
    SETTING(component, "unusedtext=Idle");
    EXPECT_NO_COMMANDS(&host, "text event unusedtext=Idle with device 5 destination 12 set");
    SETTING(component, "statesheet=calm");
    EXPECT_COMMANDS(&host, "text event statesheet=calm with device 5 destination 12 set",
                    "TP 'statesheet=calm' '1' 'LevelMimic'");

    destroy(component);
done:
    host_close(&host);
}

static void test_destination_limits(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    if (!component) goto done;
    SETTING(component, "driverid=5");
    host.count = 0;

    SETTING(component, "destid=65");
    EXPECT_NO_COMMANDS(&host, "text event destid=65 with device 5 (database size 64)");
    SETTING(component, "destid=64");
    EXPECT_COMMANDS(&host, "text event destid=64 with device 5 (database size 64)", "RU 5", "RR 5 64 64",
                    "RP 5 64 64", "ET 1 10000");
    SETTING(component, "destid=64");
    EXPECT_NO_COMMANDS(&host, "repeated text event destid=64");

    /* No configuration file for device 6: database size 0. */
    SETTING(component, "driverid=6");
    SETTING(component, "destid=3");
    EXPECT_NO_COMMANDS(&host, "text event destid=3 with device 6 (no configuration file)");

    destroy(component);
    EXPECT_COMMANDS(&host, "deletion with device 6 stored over destination 64", "RU 6", "AS");
done:
    host_close(&host);
}

static void test_other_event_types(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    if (!component) goto done;
    host.count = 0;

    static const int kUnknown[] = {0, 8, -1};
    for (size_t i = 0; i < sizeof kUnknown / sizeof kUnknown[0]; ++i) {
        char* answer = call(component, (void*)"driverid=5", kUnknown[i]);
        EXPECT(answer == NULL, "event type %d returned %p, expected null", kUnknown[i], (void*)answer);
    }
    EXPECT_NO_COMMANDS(&host, "events of types 0, 8 and -1");

    /* Alarm handling is off: even AckAll goes to the component, which ignores
     * control events. */
    char command_text[] = "alarm";
    char value_text[] = "ack";
    ParsedCommand parsed;
    memset(&parsed, 0, sizeof parsed);
    parsed.command = command_text;
    for (int i = 0; i < 32; ++i) parsed.subs[i] = "";
    parsed.value = value_text;
    parsed.hasValue = 1;
    static const char* const kControls[] = {"ActionAll", "AckAll", "Button1"};
    for (size_t i = 0; i < sizeof kControls / sizeof kControls[0]; ++i) {
        ButtonRecord record = {{0, 0, 0}, kControls[i], &parsed};
        char* answer = call(component, &record, kControl);
        EXPECT(answer == NULL, "control event from %s returned %p, expected null", kControls[i], (void*)answer);
    }
    EXPECT_NO_COMMANDS(&host, "control events alarm=ack from ActionAll, AckAll and Button1");

    int word = 42;
    EXPECT(call(component, &word, kRecord) == NULL, "record event returned non-null");
    EXPECT(call(component, (void*)(intptr_t)42, kValue) == NULL, "value event 42 returned non-null");
    EXPECT_NO_COMMANDS(&host, "record and value events");

    TIMER(component, 2);
    EXPECT_COMMANDS(&host, "timer 2", "ET 2");
    TIMER(component, 1);
    EXPECT_COMMANDS(&host, "timer 1 with no destination", "ET 1");

    destroy(component);
done:
    host_close(&host);
}

static void test_deletion_order(void) {
    Host host;
    host_open(&host, "A");
    Component* component = CREATE(&host, g_folder);
    host.count = 0;
    destroy(component);
    EXPECT_COMMANDS(&host, "deletion of a component with no destination", "AS");

    component = CREATE(&host, g_folder);
    if (!component) goto done;
    SETTING(component, "driverid=5");
    SETTING(component, "destid=12");
    host.count = 0;
    destroy(component);
    EXPECT_COMMANDS(&host, "deletion with device 5 destination 12 set", "RU 5", "AS");
done:
    host_close(&host);
}

static void test_null_host(void) {
    int calls_before = g_total_host_calls;
    Component* component = CREATE(NULL, g_folder);
    if (!component) return;
    SETTING(component, "driverid=5");
    SETTING(component, "destid=12");
    SETTING(component, "unusedtext=Spare");
    SETTING(component, "statesheet=alert");
    TIMER(component, 1);
    TIMER(component, 2);
    REPORT(component, 5, 12, 3, "CAM 3");
    char* answer = call(component, (void*)"_events", kText);
    EXPECT(answer && strcmp(answer, "notify=*") == 0, "_events with no host answered \"%s\", expected \"notify=*\"",
           answer ? answer : "(null)");
    if (answer) call(component, answer, kRelease);
    destroy(component);
    EXPECT(g_total_host_calls == calls_before, "a component on a null host made %d call(s) to a host",
           g_total_host_calls - calls_before);
}

static void test_components_are_independent(void) {
    Host first_host;
    Host second_host;
    host_open(&first_host, "A");
    host_open(&second_host, "B");
    char other_path[MAX_PATH + 16];
    snprintf(other_path, sizeof other_path, "%s\\other", g_folder);

    Component* first = CREATE(&first_host, g_folder);
    Component* second = CREATE(&second_host, other_path);
    if (!first || !second) goto done;
    EXPECT(first != second, "two export calls returned the same object %p", (void*)first);
    char want[MAX_PATH + 64];
    expected_panel_command(want, sizeof want, g_folder);
    EXPECT_COMMANDS(&first_host, "creation of the first component", want);
    expected_panel_command(want, sizeof want, other_path);
    EXPECT_COMMANDS(&second_host, "creation of the second component", want);

    SETTING(first, "driverid=5");
    SETTING(first, "destid=12");
    EXPECT_COMMANDS(&first_host, "first: destid=12 on device 5", "RU 5", "RR 5 12 12", "RP 5 12 12", "ET 1 10000");
    EXPECT_NO_COMMANDS(&second_host, "first: destid=12 on device 5");

    SETTING(second, "driverid=5");
    SETTING(second, "destid=20");
    EXPECT_COMMANDS(&second_host, "second: destid=20 on device 5", "RU 5", "RR 5 20 20", "RP 5 20 20", "ET 1 10000");
    EXPECT_NO_COMMANDS(&first_host, "second: destid=20 on device 5");

    REPORT(second, 5, 12, 3, "CAM 3");
    EXPECT_NO_COMMANDS(&second_host, "report for destination 12 to the second component (following 20)");
    REPORT(first, 5, 12, 3, "CAM 3");
    EXPECT_COMMANDS(&first_host, "report for destination 12 to the first component",
                    "TP 'text=CAM 3' '1' 'LevelMimic'", "ET 1");
    EXPECT_NO_COMMANDS(&second_host, "report for destination 12 to the first component");

    destroy(first);
    first = NULL;
    EXPECT_COMMANDS(&first_host, "deletion of the first component", "RU 5", "AS");
    EXPECT_NO_COMMANDS(&second_host, "deletion of the first component");

    TIMER(second, 1);
    EXPECT_COMMANDS(&second_host, "timer 1 to the second component after the first was deleted", "RP 5 20 20");
    REPORT(second, 5, 20, 3, "CAM 3");
    EXPECT_COMMANDS(&second_host, "report for destination 20 to the second component",
                    "TP 'text=CAM 3' '1' 'LevelMimic'", "ET 1");

done:
    destroy(first);
    destroy(second);
    second_host.count = 0;
    host_close(&first_host);
    host_close(&second_host);
}

static void test_calling_conventions(void) {
    Host host;
    host_open(&host, "A");
    int32_t moved = 0;
    Component* component =
        (Component*)(uintptr_t)call_watching_stack((const void*)g_load, NULL, (uint32_t)(uintptr_t)&host,
                                                   (uint32_t)(uintptr_t)g_folder, &moved);
    EXPECT(moved == -8, "load_vesk_client_script moved ESP by %d, expected -8 (__cdecl: the caller pops)", moved);
    if (!component) {
        failf(__LINE__, "load_vesk_client_script(host A, \"%s\") returned null", g_folder);
        goto done;
    }

    call_watching_stack((const void*)component->table->callback, component, (uint32_t)(uintptr_t) "driverid=5",
                        kText, &moved);
    EXPECT(moved == 0, "callback(\"driverid=5\", 3) moved ESP by %d, expected 0 (__thiscall pops both words)",
           moved);
    call_watching_stack((const void*)component->table->callback, component, 1, kTimer, &moved);
    EXPECT(moved == 0, "callback(1, 4) moved ESP by %d, expected 0 (__thiscall pops both words)", moved);
    host.count = 0;
    call_watching_stack((const void*)component->table->destroy, component, 1, 0, &moved);
    EXPECT(moved == -4, "destructor(flags 1) moved ESP by %d, expected -4 (__thiscall pops its one word)", moved);
    EXPECT_COMMANDS(&host, "deletion through slot 0 with flags 1", "AS");
done:
    host_close(&host);
}

/* A host on a runtime other than msvcrt.dll changes only the process
 * environment, after the component exists; the next destid must see it.
 * Values too long for any path read as unset; an empty value is set. */
static void test_environment_set_by_the_host_process(void) {
    Host host;
    host_open(&host, "A");
    /* _putenv("NAME=") removes the variable from msvcrt's copy and the process. */
    if (_putenv("QX_ROOT=") != 0 || _putenv("QX_SYSTEM=") != 0) {
        failf(__LINE__, "could not remove QX_ROOT and QX_SYSTEM");
        goto done;
    }
    Component* component = CREATE(&host, g_folder);
    if (!component) goto done;
    SETTING(component, "driverid=5");
    host.count = 0;
    SETTING(component, "destid=12");
    EXPECT_NO_COMMANDS(&host, "text event destid=12 with QX_ROOT and QX_SYSTEM unset");

    SetEnvironmentVariableA("QX_ROOT", g_site_root);
    SetEnvironmentVariableA("QX_SYSTEM", "main");
    printf("      (SetEnvironmentVariableA only; msvcrt's getenv(\"QX_ROOT\") now gives %s)\n",
           getenv("QX_ROOT") ? "the value" : "null");
    SETTING(component, "destid=12");
    EXPECT_COMMANDS(&host, "destid=12 after SetEnvironmentVariableA set QX_ROOT and QX_SYSTEM", "RU 5",
                    "RR 5 12 12", "RP 5 12 12", "ET 1 10000");
    TIMER(component, 1);
    EXPECT_COMMANDS(&host, "timer 1 with device 5 destination 12 set", "RP 5 12 12");

    /* The site's root followed by "\." steps: names the site, but is longer
     * than any path the module reads. */
    static const size_t kLongLengths[] = {260, 4000};
    for (size_t i = 0; i < sizeof kLongLengths / sizeof kLongLengths[0]; ++i) {
        static char long_root[4096];
        size_t length = (size_t)snprintf(long_root, sizeof long_root, "%s", g_site_root);
        while (length + 2 <= kLongLengths[i]) {
            memcpy(long_root + length, "\\.", 2);
            length += 2;
        }
        if (length < kLongLengths[i]) long_root[length++] = '\\';
        long_root[length] = '\0';
        SetEnvironmentVariableA("QX_ROOT", long_root);
        char setting[32];
        snprintf(setting, sizeof setting, "destid=%d", 20 + (int)i);
        SETTING(component, setting);
        char after[64];
        snprintf(after, sizeof after, "%s with QX_ROOT of %u characters", setting, (unsigned)length);
        EXPECT_NO_COMMANDS(&host, after);
    }

    /* Empty but set: root\main + "\" + "" + "\config\system\..." names the site. */
    char main_root[MAX_PATH + 16];
    snprintf(main_root, sizeof main_root, "%s\\main", g_site_root);
    SetEnvironmentVariableA("QX_ROOT", main_root);
    SetEnvironmentVariableA("QX_SYSTEM", "");
    SETTING(component, "destid=22");
    EXPECT_COMMANDS(&host, "destid=22 with QX_SYSTEM set to the empty text", "RU 5", "RR 5 22 22", "RP 5 22 22",
                    "ET 1 10000");

    SetEnvironmentVariableA("QX_SYSTEM", NULL);
    /* Reading the variables leaves the host thread's last error as it was. */
    SetLastError(4321);
    call(component, (void*)"destid=23", kText);
    const unsigned long last_error = GetLastError();
    EXPECT_NO_COMMANDS(&host, "destid=23 after SetEnvironmentVariableA removed QX_SYSTEM");
    if (last_error != 4321) failf(__LINE__, "destid=23: the host's last error 4321 became %lu", last_error);

    destroy(component);
    host.count = 0;
done:
    if (!set_site_environment()) failf(__LINE__, "could not set QX_ROOT and QX_SYSTEM again");
    host_close(&host);
}

/* Creating and deleting many components through slot 0 must neither crash
 * nor run the module's heap dry; each still opens its panel and closes. */
static void test_repeated_creation(void) {
    enum { kRounds = 2000 };
    Host host;
    host_open(&host, "A");
    host.quiet = 1;
    printf("      (%d creations and deletions; commands not printed)\n", kRounds);
    for (int i = 0; i < kRounds; ++i) {
        Component* component = g_load(&host, g_folder);
        if (!component) {
            failf(__LINE__, "creation %d of %d returned null", i + 1, kRounds);
            break;
        }
        char* answer = call(component, (void*)"_events", kText);
        if (answer) call(component, answer, kRelease);
        destroy(component);
        int closed = host.count == 2 && strncmp(host.commands[0], "PS ", 3) == 0 &&
                     strcmp(host.commands[1], "AS") == 0;
        if (!closed) {
            failf(__LINE__, "round %d of %d: expected PS then AS, got %d command(s), first \"%s\"", i + 1, kRounds,
                  host.count, host.count ? host.commands[0] : "");
            break;
        }
        host.count = 0;
    }
    host_close(&host);
}

/* ---- Runner ------------------------------------------------------------ */

typedef struct TestCase {
    const char* name;
    void (*run)(void);
} TestCase;

static const TestCase kCases[] = {
    {"export_returns_component", test_export_returns_component},
    {"calling_conventions", test_calling_conventions},
    {"creation_sends_only_panel_command", test_creation_sends_only_panel_command},
    {"normal_start_sequence", test_normal_start_sequence},
    {"report_record_layout", test_report_record_layout},
    {"questions_and_answers", test_questions_and_answers},
    {"unused_text_and_state_sheet", test_unused_text_and_state_sheet},
    {"destination_limits", test_destination_limits},
    {"other_event_types", test_other_event_types},
    {"deletion_order", test_deletion_order},
    {"null_host", test_null_host},
    {"components_are_independent", test_components_are_independent},
    {"repeated_creation", test_repeated_creation},
    {"environment_set_by_the_host_process", test_environment_set_by_the_host_process},
};
enum { kCaseCount = sizeof kCases / sizeof kCases[0] };

static int g_passed;
static int g_failed;
static int g_running = -1;

static void finish(void) {
    remove_site();
    printf("%d passed, %d failed\n", g_passed, g_failed);
    fflush(stdout);
}

static void fail_unrun_cases(int from, const char* why) {
    for (int i = from; i < kCaseCount; ++i) {
        printf("FAIL %s: not run (%s)\n", kCases[i].name, why);
        ++g_failed;
    }
}

static LONG WINAPI on_crash(EXCEPTION_POINTERS* info) {
    const EXCEPTION_RECORD* record = info->ExceptionRecord;
    printf("    CRASHED: exception 0x%08lx at %p\n", (unsigned long)record->ExceptionCode, record->ExceptionAddress);
    if (g_running >= 0) {
        printf("FAIL %s\n", kCases[g_running].name);
        ++g_failed;
        fail_unrun_cases(g_running + 1, "an earlier case crashed");
    }
    finish();
    ExitProcess(2);
    return EXCEPTION_EXECUTE_HANDLER;
}

static int find_module(void) {
    char exe[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, exe, sizeof exe);
    if (length == 0 || length >= sizeof exe) return 0;
    char* slash = strrchr(exe, '\\');
    if (!slash) return 0;
    *slash = '\0';
    snprintf(g_folder, sizeof g_folder, "%s", exe);

    HMODULE module = LoadLibraryA("Parvex.dll");
    if (!module) {
        printf("LoadLibraryA(\"Parvex.dll\") failed: error %lu\n", (unsigned long)GetLastError());
        return 0;
    }
    char loaded[MAX_PATH];
    char expected[MAX_PATH + 16];
    snprintf(expected, sizeof expected, "%s\\Parvex.dll", g_folder);
    length = GetModuleFileNameA(module, loaded, sizeof loaded);
    printf("module: %s\n", length ? loaded : "(unknown)");
    if (length == 0 || _stricmp(loaded, expected) != 0) {
        printf("Parvex.dll was loaded from %s, not from %s\n", loaded, expected);
        return 0;
    }
    g_load = (LoadFn)(void (*)(void))GetProcAddress(module, "load_vesk_client_script");
    if (!g_load) {
        printf("GetProcAddress(\"load_vesk_client_script\") failed: error %lu\n", (unsigned long)GetLastError());
        return 0;
    }
    return 1;
}

int main(void) {
    _setmode(_fileno(stdout), _O_BINARY);
    setvbuf(stdout, NULL, _IONBF, 0);
    SetUnhandledExceptionFilter(on_crash);

    int ready = make_site();
    if (!ready) printf("could not set up the site folder\n");
    ready = ready && find_module();
    printf("%s module_loads\n", ready ? "PASS" : "FAIL");
    if (ready)
        ++g_passed;
    else
        ++g_failed;
    if (!ready) {
        fail_unrun_cases(0, "the module did not load");
        finish();
        return 1;
    }

    for (int i = 0; i < kCaseCount; ++i) {
        g_running = i;
        g_case_failures = 0;
        g_protocol_errors = 0;
        printf("[ RUN ] %s\n", kCases[i].name);
        kCases[i].run();
        if (g_case_failures == 0 && g_protocol_errors == 0) {
            printf("PASS %s\n", kCases[i].name);
            ++g_passed;
        } else {
            printf("FAIL %s\n", kCases[i].name);
            ++g_failed;
        }
    }
    g_running = -1;
    finish();
    return g_failed == 0 ? 0 : 1;
}
