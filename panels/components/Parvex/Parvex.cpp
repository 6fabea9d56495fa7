// Parvex: see Parvex.h.
#include "Parvex.h"

static const char kPanel[] = "1";
static const char kControl[] = "LevelMimic";
enum { kPollTimer = 1, kPollInterval = 10000, kFirstDevice = 1, kLastDevice = 999, kDestinationDatabase = 1 };

static bool valid_device(int device) { return device >= kFirstDevice && device <= kLastDevice; }

Parvex::Parvex(vesk_client_callback* hostLink, const char* panelFolder)
    : vesk_script_helper(hostLink, panelFolder),
      driverIdText(),
      destIdText(),
      stateSheetText(),
      idleText("unknown"),
      deviceNumber(-1),
      destinationNumber(-1),
      lastSource(-1),
      lastText() {
    panelShow(vesk_string(kPanel), vesk_string("mimic.vesk_ui"), vesk_string());
}

Parvex::~Parvex() {
    if (deviceNumber >= 1 && destinationNumber >= 1) routerUnregister(deviceNumber);
}

void Parvex::buttonCallback(ButtonNotify&) {}

vesk_string Parvex::parentCallback(ParentNotify& event) {
    const vesk_string command = event.command();
    if (command == "return") {
        vesk_stringlist reply;
        if (event.value() == "all") reply << vesk_string();
        return reply.toString('\n');
    }
    if (command == "instance") return vesk_string();
    if (command == "driverid") {
        driverIdText = event.value();
        // A value that could not be stored is not acted on.
        if (driverIdText.ok()) setDeviceDestination(driverIdText.toInt(), destinationNumber);
        return vesk_string();
    }
    if (command == "destid") {
        destIdText = event.value();
        if (destIdText.ok()) setDeviceDestination(deviceNumber, destIdText.toInt());
        return vesk_string();
    }
    if (command == "statesheet") {
        stateSheetText = event.value();
        textPut(vesk_string("statesheet"), stateSheetText, vesk_string(kPanel), vesk_string(kControl));
        return vesk_string();
    }
    if (command == "unusedtext") {
        idleText = event.value();
        if (deviceNumber < 1 || destinationNumber < 1)
            textPut(vesk_string("text"), idleText, vesk_string(kPanel), vesk_string(kControl));
        return vesk_string();
    }
    if (command == "_events") {
        vesk_stringlist reply;
        reply << vesk_string("notify=*");
        return reply.toString('\n');
    }
    if (command == "_commands") {
        vesk_stringlist reply;
        reply << vesk_string();
        return reply.toString('\n');
    }
    return vesk_string();
}

bool Parvex::setDeviceDestination(int device, int destination) {
    const int previousDevice = deviceNumber;
    deviceNumber = device;
    if (destination == destinationNumber) return false;
    if (destination < 1) return false;
    if (!valid_device(device)) return false;
    if (destination > databaseSize(device, kDestinationDatabase)) return false;

    destinationNumber = destination;
    if (valid_device(previousDevice)) routerUnregister(previousDevice);
    routerRegister(deviceNumber, destinationNumber, destinationNumber, false);
    routerPoll(deviceNumber, destinationNumber, destinationNumber);
    timerStart(kPollTimer, kPollInterval);
    return true;
}

int Parvex::revertiveCallback(RevertiveNotify& event) {
    if (event.device() != deviceNumber || event.index() != destinationNumber) return 0;
    const int source = event.info();
    // The text counts too: a renamed source, or the same source number on
    // another router, must not leave the old name on the control.
    if (source == lastSource && lastText == event.textChars()) return 0;
    // Without memory for the command the report is left unshown: neither source
    // nor text is remembered, polling goes on and the next report is taken.
    if (!textPut(vesk_string("text"), event.text(), vesk_string(kPanel), vesk_string(kControl))) return 0;
    lastSource = source;
    lastText = event.textChars();
    timerStop(kPollTimer);
    return 0;
}

void Parvex::timerCallback(int timer) {
    if (timer != kPollTimer) {
        timerStop(timer);
        return;
    }
    if (deviceNumber > 0 && destinationNumber > 0)
        routerPoll(deviceNumber, destinationNumber, destinationNumber);
    else
        timerStop(kPollTimer);
}
