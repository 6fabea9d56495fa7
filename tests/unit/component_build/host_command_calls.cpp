// A component written the way any component author writes one against the
// base layer, built in the native tree (g++) and the DLL tree (clang for the
// MSVC ABI, freestanding) as part of their normal builds. It is never run:
// its job is to stop compiling when the base layer's public operations stop
// accepting the argument mixes components use.
//
// Each host command is called from a handler (the usual place) with literals,
// vesk_string values, notification texts and results of `+`, in the mixes a
// component author writes; the public ones are also called from outside the
// class, through a component pointer. An overload added beside the vesk_string
// operations (for example one taking four `const char*`) makes calls such as
//   textPut("button", event.id() + ":" + event.value(), "9", "probe")
// ambiguous, and this file then fails to build in both trees.
#include "vesk_script_helper.h"

class HostCommandCalls : public vesk_script_helper {
public:
    HostCommandCalls(vesk_client_callback* hostLink, const char* panelFolder);
    void buttonCallback(ButtonNotify& event) override;
    int revertiveCallback(RevertiveNotify& event) override;
    vesk_string parentCallback(ParentNotify& event) override;
    void timerCallback(int timer) override;

private:
    void putMixes(ButtonNotify& event);
    int readMixes(ButtonNotify& event);
    void alarmMixes(ButtonNotify& event, int level);

    vesk_string panel;
    vesk_string shown;
};

HostCommandCalls::HostCommandCalls(vesk_client_callback* hostLink, const char* panelFolder)
    : vesk_script_helper(hostLink, panelFolder), panel("9"), shown() {
    panelShow("9", "probe.vesk_ui", "");
    panelShow(panel, vesk_string("probe") + ".vesk_ui", vesk_string());
    panelShow(vesk_string("9"), "probe.vesk_ui", panel + "," + path);
}

// Control events. The calls are spread over small functions, as a component
// author would: each vesk_string temporary takes about 300 bytes of stack, and
// a frame over 4 KiB would need the MSVC stack probe, which the module lacks.
void HostCommandCalls::buttonCallback(ButtonNotify& event) {
    putMixes(event);
    const int level = readMixes(event);
    alarmMixes(event, level);
}

// Every textPut mix of literals, vesk_string and `+`.
void HostCommandCalls::putMixes(ButtonNotify& event) {
    const vesk_string id = event.id();
    textPut("button", event.id() + ":" + event.value(), "9", "probe");
    textPut("text", event.value(), "9", "probe");
    textPut("text", id, panel, "probe");
    textPut(event.command(), "pressed", panel, id);
    textPut("text", "pressed", "9", id + "_label");
    textPut(vesk_string("text"), vesk_string("x"), vesk_string("9"), vesk_string("probe"));
    textPut("text", "pressed", "9", "probe");
    textPut("text", "", "9", "probe");
    textPut("text", vesk_string(7, 0, 0, 10), panel, "probe");
    textPut("text", shown.arg(id), panel, "probe");
}

// textGet and controlsGet with the same mixes; returns a level read back.
int HostCommandCalls::readMixes(ButtonNotify& event) {
    const vesk_string id = event.id();
    vesk_string reply;
    textGet("value", "9", "probe", reply);
    textGet("value", panel, id, reply);
    textGet(event.command(), panel + "", "probe_" + id, reply);
    const int level = textGet("level", "9", id, reply).toInt();

    vesk_stringlist controls = controlsGet("9", "alm_");
    controls = controlsGet(panel, id + "_");
    controls = controlsGet(vesk_string("9"), "btn");
    for (vesk_stringlistIterator it = controls.begin(); it != controls.end(); ++it)
        textPut("value", vesk_string(level, 0, 0, 10), "9", *it);
    return level;
}

// alarmAcknowledge and debug with the same mixes.
void HostCommandCalls::alarmMixes(ButtonNotify& event, int level) {
    const vesk_string id = event.id();
    alarmAcknowledge("ack");
    alarmAcknowledge(event.value());
    alarmAcknowledge(vesk_string(4, 0, 0, 10));
    debug("%1 pressed (%2)", id, event.value(), "", "", "", "", "", "", "");
    debug(vesk_string("level %1"), vesk_string(level, 0, 0, 10), id + "!", panel, shown, "", "", "", "", "");
}

// Router reports: the numeric commands with numbers from events and texts.
int HostCommandCalls::revertiveCallback(RevertiveNotify& event) {
    if (event.text() == shown) return 0;
    shown = event.text();
    textPut("text", event.text(), panel, "probe");
    textPut("text", "source " + vesk_string(event.info(), 0, 0, 10), "9", "probe");
    routerUnregister(event.device());
    routerRegister(event.device(), event.index(), event.index(), true);
    routerRegister(5, 1, databaseSize(5, 1), false);
    routerPoll(event.device(), 1, vesk_string("12").toInt());
    return 0;
}

vesk_string HostCommandCalls::parentCallback(ParentNotify& event) {
    if (event.command() == "panel") panel = event.value();
    if (event.command() == "show") textPut("text", event.value(), panel, "probe");
    if (event.command() == "_events") return "notify=*";
    return event.command() + "=" + event.value();
}

void HostCommandCalls::timerCallback(int timer) {
    if (timer == 1) {
        timerStart(2, 500);
        routerPoll(5, 12, 12);
    } else {
        timerStop(timer);
    }
}

// A host-side helper of the kind component modules keep beside their class:
// the public commands called through a component pointer.
static void greet(HostCommandCalls* component, const vesk_string& who) {
    component->textPut("text", "hello " + who, "9", "probe");
    component->textPut("text", who, vesk_string("9"), "probe");
    component->panelShow("9", who + ".vesk_ui", "");
    component->timerStart(1, 0);
    component->debug("greeted %1", who, "", "", "", "", "", "", "", "");
}

VESK_EXPORT vesk_client_callback* VESK_CDECL load_vesk_client_script(vesk_client_callback* host, const char* path) {
    HostCommandCalls* component = new HostCommandCalls(host, path);
    if (component) greet(component, vesk_string(path));
    return component;
}
