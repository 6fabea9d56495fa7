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

// Byte-for-byte equality of two zero-terminated texts.
static bool same_text(const char* left, const char* right) {
    while (*left && *left == *right) {
        ++left;
        ++right;
    }
    return *left == *right;
}

// Settings are read straight from the parsed text: every text event passes
// through here, and a copy per keyword would cost more than the work itself.
// Everything but "_events" is answered with the empty text; for "return=all"
// and "_commands" that is their one empty entry joined.
vesk_string Parvex::parentCallback(ParentNotify& event) {
    const char* command = event.commandChars();
    if (same_text(command, "driverid")) {
        driverIdText = event.valueChars();
        // A value that could not be stored is not acted on.
        if (driverIdText.ok()) setDeviceDestination(driverIdText.toInt(), destinationNumber);
    } else if (same_text(command, "destid")) {
        destIdText = event.valueChars();
        if (destIdText.ok()) setDeviceDestination(deviceNumber, destIdText.toInt());
    } else if (same_text(command, "statesheet")) {
        stateSheetText = event.valueChars();
        if (stateSheetText.ok()) textPutChars("statesheet", stateSheetText.c_str(), kPanel, kControl);
    } else if (same_text(command, "unusedtext")) {
        idleText = event.valueChars();
        if (idleText.ok() && (deviceNumber < 1 || destinationNumber < 1))
            textPutChars("text", idleText.c_str(), kPanel, kControl);
    } else if (same_text(command, "_events")) {
        return vesk_string("notify=*");
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
    const char* text = event.textChars();
    if (source == lastSource && lastText == text) return 0;
    // Without memory for the command the report is left unshown: neither source
    // nor text is remembered, polling goes on and the next report is taken.
    if (!textPutChars("text", text, kPanel, kControl)) return 0;
    lastSource = source;
    lastText = text;
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
