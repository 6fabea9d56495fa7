// The two-way interface between the host panel application and a component,
// and the records the host hands over with events.
//
// Host and component are built separately (the real host by Microsoft's
// compiler), so everything in this file is binary interface: the order of the
// virtual operations, the record layouts and the event numbers must not change.
#ifndef VESK_CLIENT_CALLBACK_H
#define VESK_CLIENT_CALLBACK_H

#include <stddef.h>
#include <stdint.h>

// Implemented by both sides. The host calls the component's callback to
// deliver events; the component calls the host's callback to send commands.
// Virtual slots, in order: 0 destructor, 1 callback.
class vesk_client_callback {
public:
    virtual ~vesk_client_callback() {}

    // Component side: `type` is an event (vesk_event) and `data` its payload;
    // the result is null, or for a text event heap text that the host hands
    // back with VESK_EVENT_RELEASE after use.
    // Host side: `type` is VESK_CALL_COMMAND with `data` a zero-terminated
    // command, valid during the call; the result is the host's reply or null.
    // A TG or XI reply is handed back once with VESK_EVENT_RELEASE.
    virtual char* callback(void* data, int type) = 0;
};

// Values of `type` in callback.
enum vesk_event {
    VESK_CALL_COMMAND = 0,    // component to host: data is a command text
    VESK_EVENT_REVERTIVE = 1, // data: RevertiveRecord*
    VESK_EVENT_CONTROL = 2,   // data: ButtonRecord*
    VESK_EVENT_TEXT = 3,      // data: zero-terminated text from the hosting panel, or null
    VESK_EVENT_TIMER = 4,     // data: the timer number itself, not an address
    VESK_EVENT_RELEASE = 5,   // data: text handed back to the side that allocated it
    VESK_EVENT_RECORD = 6,    // data: an address, passed on unread
    VESK_EVENT_VALUE = 7      // data: a 32-bit word, passed on unread
};

// Router report (VESK_EVENT_REVERTIVE). The text is stored in the record
// itself from offset 16; how much room it has is the host's choice, and the
// component reads only up to its terminating zero.
struct RevertiveRecord {
    int32_t device;     // router device number
    int32_t reserved;   // host's own; never read by a component
    int32_t index;      // destination number on that device
    int32_t info;       // number of the source now routed to it
    char text[256];     // zero-terminated description of that source
};

struct ParsedCommand;

// Panel control event (VESK_EVENT_CONTROL).
struct ButtonRecord {
    int32_t reserved[3];      // host's own; never read by a component
    const char* id;           // name of the control that raised the event
    ParsedCommand* command;   // the event's command text, split by the host
};

#if defined(__i386__) || defined(_M_IX86)
static_assert(sizeof(RevertiveRecord) == 16 + 256, "revertive record layout");
static_assert(offsetof(ButtonRecord, id) == 12 && offsetof(ButtonRecord, command) == 16,
              "control-event record layout");
#endif

#endif  // VESK_CLIENT_CALLBACK_H
