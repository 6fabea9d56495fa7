// The yardstick for the component's per-event cost: the same events handled
// the way a plain C programmer would, with stack buffers, strcmp, and a
// command built by one strlen and one memcpy per piece (numbers by hand, not
// sprintf), sending the same commands to the same host.
//
// It covers the events the benchmark compares (router reports, the settings
// "statesheet" and "unusedtext", the question "_events" and the hand-back of
// its answer) with the component's rules: a report for the pair is shown when
// its source or its text differs from the one shown (TP, then ET 1), a text
// event is parsed from one heap copy of the text as ParsedCommand does, stored
// settings are copied, and an answer is a heap copy handed back with type 5.
// "driverid" and "destid" only store their numbers: they set up the pair for
// the measured events, and the site's configuration is not consulted.
#ifndef PLAIN_HANDLER_H
#define PLAIN_HANDLER_H

#include "vesk_client_callback.h"

class PlainHandler : public vesk_client_callback {
  public:
    // `host` receives the commands; it must outlive the handler.
    explicit PlainHandler(vesk_client_callback* host);
    char* callback(void* data, int type) override;

  private:
    enum { kTextRoom = 288 };  // a stored setting or shown text, zero included

    void report(const RevertiveRecord* record);
    char* text(const char* text);
    // TP '{param}={value}' '{panel}' '{control}', built on the stack.
    void put(const char* param, const char* value, const char* panel, const char* control);
    // ET {timer}, built on the stack.
    void stopTimer(int timer);

    vesk_client_callback* host_;
    int device_;
    int destination_;
    int lastSource_;
    char lastText_[kTextRoom];
    char stateSheet_[kTextRoom];
    char idle_[kTextRoom];
};

#endif  // PLAIN_HANDLER_H
