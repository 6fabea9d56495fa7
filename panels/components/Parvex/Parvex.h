// Parvex: shows, in control "LevelMimic" of panel "1", the text of the source
// that a router currently feeds to one destination.
//
// Settings from the hosting panel (type-3 events, "name=value"):
//   driverid    router device number; changes only the device in use
//   destid      destination number; with a device of 1..999 set first, and a
//               destination of 1..database size that differs from the current
//               one, registers for reports on it, polls it and polls again on
//               timer 1 every 10000 units until a report names a new source
//               or a new text
//   statesheet  passed on to the control at once
//   unusedtext  text for the control while no pair is set (put at once only
//               while device or destination is below 1)
// Questions: "_events" is answered "notify=*"; every other text gets no answer.
#ifndef PARVEX_H
#define PARVEX_H

#include "vesk_script_helper.h"

class Parvex : public vesk_script_helper {
public:
    // Opens the panel: PS '1' '{path}/mimic.vesk_ui' (or without the path when
    // it is empty). Nothing else is sent.
    Parvex(vesk_client_callback* hostLink, const char* panelFolder);
    // Sends RU {device} when device and destination are both 1 or more; the
    // base then sends "AS".
    ~Parvex() override;

    // Control events are ignored.
    void buttonCallback(ButtonNotify& event) override;
    // A report for the current device and destination that differs from the
    // last one shown in its source or its text: shows its text and stops timer
    // 1. Always returns 0.
    int revertiveCallback(RevertiveNotify& event) override;
    // Settings and questions (see the header comment). The answer is "notify=*"
    // for "_events" and empty for everything else.
    vesk_string parentCallback(ParentNotify& event) override;
    // Timer 1 polls the destination while a pair is set and stops itself
    // otherwise; any other timer is stopped.
    void timerCallback(int timer) override;

    // Stores `device` as the device in use whatever the outcome, then sets up
    // the pair unless `destination` equals the current one, is below 1, the
    // device is outside 1..999, or `destination` exceeds the device's database
    // 1 size (tests in that order; the configuration is read only by the last).
    // Setting up sends RU {previous device} (when that was 1..999),
    // RR/RP {device} {destination} {destination} and ET 1 10000. Returns true
    // when a pair was set up; a refusal sends nothing.
    bool setDeviceDestination(int device, int destination);

    int device() const { return deviceNumber; }
    int destination() const { return destinationNumber; }
    int shownSource() const { return lastSource; }

private:
    vesk_string driverIdText;
    vesk_string destIdText;
    vesk_string stateSheetText;
    vesk_string idleText;
    int deviceNumber;
    int destinationNumber;
    int lastSource;
    // The text last put on the control with lastSource; empty until then.
    vesk_string lastText;
};

#endif  // PARVEX_H
