// vesk_script_helper: the base of every script component.
//
// It keeps the link to the host, dispatches host events to the handler
// operations a component overrides, builds the text commands a component sends,
// acknowledges alarms across a panel and reads a device's database size.
//
// Lifecycle (one thread, the host's):
//   1. The module's export allocates the component with `new` (which returns
//      null instead of throwing) and constructs it; this base part keeps `host`
//      and a copy of `path` and sends nothing.
//   2. The host calls callback() with events until it deletes the component.
//   3. The host deletes it through the virtual destructor; this base part's
//      destructor sends "AS", always the component's last command, and the
//      memory goes back to the module's own allocator.
//
// The order of the virtual operations below is binary interface with the host:
// slot 0 destructor, slot 1 callback, then the handlers.
#ifndef VESK_SCRIPT_HELPER_H
#define VESK_SCRIPT_HELPER_H

#include <stddef.h>
#include <stdint.h>

#include "vesk_client_callback.h"
#include "vesk_parsed_command.h"
#include "vesk_platform.h"  // vesk_strlen, for textPutChars below
#include "vesk_string.h"

// Marks the module's entry points: C linkage, __cdecl, undecorated, and the
// only symbols the module exports.
#if defined(_WIN32)
#define VESK_EXPORT extern "C" __declspec(dllexport)
#define VESK_CDECL __cdecl
#else
#define VESK_EXPORT extern "C" __attribute__((visibility("default")))
#define VESK_CDECL
#endif

class vesk_script_helper : public vesk_client_callback {
public:
    // Keeps `hostLink` as `host` (null allowed: then nothing is ever sent) and a
    // copy of `panelFolder` as `path` (null reads as empty). Sends nothing.
    // alarmHandling starts false.
    vesk_script_helper(vesk_client_callback* hostLink, const char* panelFolder);

    // Sends "AS" (type 0) when there is a host; its reply is ignored and never
    // handed back. Runs after the derived destructor, so "AS" is always last.
    ~vesk_script_helper() override;

    // Components live in the module's own heap: `new` gives null instead of
    // throwing when memory runs out, and the host's delete, through the virtual
    // destructor, returns the block to the same heap.
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block);

    // The event dispatcher; see vesk_event for the types:
    //   1 revertiveCallback, 2 alarm diversion or buttonCallback,
    //   3 parentCallback over the parsed text: a non-empty answer is returned as
    //     a heap copy (null if it cannot be allocated), an empty one as null,
    //   4 timerCallback with the data word as a signed number,
    //   5 frees text returned for an earlier type 3 (null is ignored),
    //   6 recordCallback, 7 valueCallback, each with the address of a cell
    //     holding the data word; any other type does nothing.
    // A null record for types 1 and 2 is ignored. Returns null except for an
    // answered type 3.
    char* callback(void* data, int type) override;

    virtual void buttonCallback(ButtonNotify& event) = 0;
    // The result is ignored by the dispatcher.
    virtual int revertiveCallback(RevertiveNotify& event) = 0;
    // The answer goes back to the host as text when not empty.
    virtual vesk_string parentCallback(ParentNotify& event) = 0;
    virtual void valueCallback(uint32_t* value);
    virtual void timerCallback(int timer) = 0;
    virtual void recordCallback(void** record);

    // ---- Commands to the host ----
    // Each builds one command text and hands it to the host's callback with
    // type 0. With no host nothing is sent. A command whose text could not be
    // built (no memory) is not sent either.

    // PS '{panel}' '{path}/{file}' (or '{file}' when path is empty), then
    // ' '{extra}'' when extra is not empty. True when the host replied non-null
    // or there is no host; false when it replied null or the command could not
    // be built. The reply is never handed back.
    bool panelShow(const vesk_string& panel, const vesk_string& file, const vesk_string& extra);

    // TP '{param}={value}' '{panel}' '{control}'. False only when the command
    // could not be built (no memory); the host's reply is ignored.
    // Every host command has this one public form, over vesk_string: an
    // overload beside it (say over four `const char*`) would make the usual
    // mixes of literals and vesk_string, as in
    //   textPut("button", event.id() + ":" + event.value(), "9", "probe"),
    // ambiguous in every component. Faster forms are protected and named apart.
    bool textPut(const vesk_string& param, const vesk_string& value, const vesk_string& panel,
                 const vesk_string& control);

    // TG '{panel}' '{control}' '{param}'. `result` is always overwritten: the
    // whole reply for param "all", else the part after '=' when the part before
    // it equals param exactly; otherwise empty, and a mismatch is written to the
    // debugger output. A non-null reply is handed back once (type 5) after it is
    // copied. Returns `result`.
    vesk_string& textGet(const vesk_string& param, const vesk_string& panel, const vesk_string& control,
                         vesk_string& result);

    // XI '{panel}' '{selector}'. The comma-separated reply as a list (empty with
    // no host or a null reply); the reply is handed back once after the list is
    // built.
    vesk_stringlist controlsGet(const vesk_string& panel, const vesk_string& selector);

    // RR {device} {first} {last}, with " 'ADD'" when add is true.
    void routerRegister(int device, int first, int last, bool add);
    // RU {device}
    void routerUnregister(int device);
    // RP {device} {first} {last}
    void routerPoll(int device, int first, int last);
    // ET {timer} {interval}, or ET {timer} when interval is 0.
    void timerStart(int timer, int interval);
    // ET {timer}
    void timerStop(int timer);

    // Fills %1..%9 of `format` with the nine texts in turn and writes the result
    // to the debugger output, with or without a host.
    void debug(const vesk_string& format, const vesk_string& a1, const vesk_string& a2, const vesk_string& a3,
               const vesk_string& a4, const vesk_string& a5, const vesk_string& a6, const vesk_string& a7,
               const vesk_string& a8, const vesk_string& a9);

    // Passes alarm state `state` to every control the host lists for "alm_" on
    // panel "1": TP 'alarm={state}' for each, then per the state's code ("ack"
    // is 4, a one-character text its toInt, anything else none): with code 4 the
    // control's value is read and set to 4 unless it is 0, 2, 3, 4 or 5; with
    // another code the value is set to it.
    void alarmAcknowledge(const vesk_string& state);

    // Size of database `database` of router device `device` as the site's
    // configuration records it: key DatabaseSize_{database} in section
    // "Database" of {QX_ROOT}\{QX_SYSTEM}\config\system\dev_{device:03}.ini.
    // 0 when either variable is unset, the path does not fit 259 characters,
    // or the file, section, key or a leading number is missing. The value is
    // converted like vesk_string::toInt, saturating at the 32-bit limits.
    // Allocates nothing.
    int databaseSize(int device, int database);

protected:
    // textPut from zero-terminated texts (null reads as empty), for components
    // that hold the texts already: nothing is copied into a vesk_string, and a
    // command that fits a vesk_string's inline room takes no heap. False only
    // when the command could not be built (no memory); the reply is ignored.
    // Named apart from textPut so that it never joins textPut's overload set.
    // Inline so that texts known when compiling (literals) are measured then.
    bool textPutChars(const char* param, const char* value, const char* panel, const char* control) {
        const char* const texts[] = {param ? param : "", value ? value : "", panel ? panel : "",
                                     control ? control : ""};
        const size_t lengths[] = {vesk_strlen(texts[0]), vesk_strlen(texts[1]), vesk_strlen(texts[2]),
                                  vesk_strlen(texts[3])};
        return sendTextPut(texts, lengths);
    }

    vesk_client_callback* host;
    vesk_string path;
    bool alarmHandling;

private:
    // Hands `text` to the host as a command; returns the reply (null without a
    // host).
    char* send(const char* text);
    // Same for a built text: not sent when it could not be built.
    char* send(const vesk_string& text);
    // Sends TP '{texts[0]}={texts[1]}' '{texts[2]}' '{texts[3]}', each text
    // given with its length; the rest of the contract is textPutChars'.
    bool sendTextPut(const char* const* texts, const size_t* lengths);
    // The text-event steps: parse, ask parentCallback, copy a non-empty answer.
    // Kept out of line so that the other events' path stays small.
#if defined(__GNUC__) || defined(__clang__)
    __attribute__((noinline))
#endif
    char* answerText(const char* text);
    // Takes a control event that the alarm handling wants; true when taken.
    bool divertAlarm(ButtonNotify& event);
    // Formats "{code} {n0} {n1} ..." (`code` of two letters, numbers in decimal)
    // plus `tail`, and sends it.
    void sendNumbers(const char* code, const int* numbers, int count, const char* tail);
    // Formats "{code} {number}" the same way, and sends it.
    void sendNumber(const char* code, int number);
};

#endif  // VESK_SCRIPT_HELPER_H
