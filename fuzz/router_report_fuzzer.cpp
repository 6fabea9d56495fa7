// Fuzzes router reports, timer events and the settings against a model of
// what the component promises to show and send (see Promise below). A
// component made by the module's export follows device 5, destination 12
// (database 64); the input is then read as a list of operations, each one
// byte followed by its operands:
//   0 report     device, index and info (one byte each: below 0xF0 a small or
//                current value, else four raw bytes), a length byte and that
//                many text bytes (zero bytes included: the text ends at the
//                first)
//   1 timer      one byte: below 0xF0 a timer 0..3, else four raw bytes
//   2 driverid   one byte choosing the device number and how it is written
//   3 destid     one byte choosing the destination number and how it is written
//   4 statesheet a length byte and that many value bytes (ending at a zero)
//   5 unusedtext likewise
// After each operation the commands the host received must be exactly those
// the model promises; at the end the control must show the text the model
// says, and the delete must send what the model says.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "Parvex_export.h"
#include "fuzz_support.h"

namespace {

class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool empty() const { return at_ >= size_; }
    uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    int32_t word() {
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(byte()) << (8 * i);
        return static_cast<int32_t>(value);
    }
    // A small number most of the time, the `current` one often, raw words rarely.
    int32_t number(int32_t current) {
        const uint8_t selector = byte();
        if (selector >= 0xF0) return word();
        if (selector % 2 == 0) return current;
        return static_cast<int32_t>(selector / 2 % 24) - 2;
    }
    // A length byte and up to `room` text bytes; the text ends at the first zero.
    std::string text(size_t room) {
        const size_t length = byte();
        std::string out;
        bool ended = false;
        for (size_t i = 0; i < length && i < room; ++i) {
            const char c = static_cast<char>(byte());
            ended = ended || c == '\0';
            if (!ended) out += c;
        }
        return out;
    }

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// What the component promises, written from its documented rules (the
// integrator guide's settings section), not from its code:
//   - driverid stores the device and sends nothing;
//   - destid with a device of 1..999, a destination of 1 or more, not above
//     the device's database size and other than the current one, sets up the
//     pair: RU {device}, RR d n n, RP d n n, ET 1 10000; anything else is
//     refused without a word;
//   - statesheet is passed on at once;
//   - unusedtext is shown at once only while the device or the destination is
//     below 1 (no pair set);
//   - a report for the pair's device and destination is shown and ends the
//     polling (ET 1), unless its source and text are those shown last;
//   - timer 1 polls the pair (RP), or is stopped when no pair is set; a timer
//     it never starts is stopped;
//   - deletion unregisters a set pair's device, then sends AS.
// Before any report, the control holds the panel file's empty text and no
// router source: the component counts that as source -1 shown, so a report of
// source -1 with an empty text (no router's source) changes nothing.
class Promise {
  public:
    std::vector<std::string> device(int device) {
        device_ = device;
        return {};
    }
    std::vector<std::string> destination(int destination) {
        if (device_ < 1 || device_ > 999 || destination < 1 || destination > SiteDatabaseSize(device_) ||
            destination == destination_)
            return {};
        destination_ = destination;
        return {"RU " + std::to_string(device_), "RR " + pairNumbers(), "RP " + pairNumbers(), "ET 1 10000"};
    }
    std::vector<std::string> stateSheet(const std::string& value) const {
        return {"TP 'statesheet=" + value + "' '1' 'LevelMimic'"};
    }
    std::vector<std::string> idleText(const std::string& value) {
        if (pairSet()) return {};
        return show(value);
    }
    std::vector<std::string> report(int device, int index, int source, const std::string& text) {
        if (destination_ < 1 || device != device_ || index != destination_) return {};
        if (source == shownSource_ && text == shownText_) return {};
        shownSource_ = source;
        shownText_ = text;
        std::vector<std::string> sent = show(text);
        sent.push_back("ET 1");
        return sent;
    }
    std::vector<std::string> timer(int timer) const {
        if (timer != 1) return {"ET " + std::to_string(timer)};
        if (pairSet()) return {"RP " + pairNumbers()};
        return {"ET 1"};
    }
    std::vector<std::string> deletion() const {
        if (pairSet()) return {"RU " + std::to_string(device_), "AS"};
        return {"AS"};
    }
    int device() const { return device_; }
    int destination() const { return destination_; }
    int shownSource() const { return shownSource_; }
    const std::string& controlText() const { return controlText_; }

  private:
    bool pairSet() const { return device_ >= 1 && destination_ >= 1; }
    std::string pairNumbers() const {
        return std::to_string(device_) + " " + std::to_string(destination_) + " " + std::to_string(destination_);
    }
    std::vector<std::string> show(const std::string& text) {
        controlText_ = text;
        return {"TP 'text=" + text + "' '1' 'LevelMimic'"};
    }

    int device_ = 0;        // 0: none given
    int destination_ = 0;   // 0: no pair set up yet
    int shownSource_ = -1;  // the source of the report shown last
    std::string shownText_;
    std::string controlText_;  // what the control shows
};

const int kDevices[] = {5, 7, 999, 1000, 0, -1, 6, 5};

// A setting as the hosting panel may write it: plain, with a suffix after a
// dot in the name, with a blank before the number, or with text after it.
// All four mean the same number.
std::string Setting(const char* name, int number, unsigned spelling) {
    const std::string digits = std::to_string(number);
    switch (spelling % 4) {
    case 0: return std::string(name) + "=" + digits;
    case 1: return std::string(name) + ".fuzz=" + digits;
    case 2: return std::string(name) + "= " + digits;
    default: return std::string(name) + "=" + digits + "abc";
    }
}

void Expect(CheckingHost& host, size_t from, const std::vector<std::string>& expected, const std::string& what) {
    const std::vector<std::string> got(host.commands.begin() + static_cast<long>(from), host.commands.end());
    if (got == expected) return;
    std::string message = what + ": expected";
    for (const std::string& command : expected) message += " [" + command + "]";
    message += ", got";
    for (const std::string& command : got) message += " [" + command + "]";
    FuzzFail(message, "");
}

// Sends a setting; a setting is never answered.
void Set(vesk_client_callback* component, const std::string& text) {
    if (component->callback(const_cast<char*>(text.c_str()), VESK_EVENT_TEXT)) FuzzFail("setting answered", text);
}

// The text the control shows after `commands`: the value of the last
// TP 'text=...', empty (the panel file's default) without one.
std::string ControlText(const std::vector<std::string>& commands) {
    const std::string head = "TP 'text=", tail = "' '1' 'LevelMimic'";
    for (size_t i = commands.size(); i-- > 0;) {
        const std::string& command = commands[i];
        if (command.compare(0, head.size(), head) == 0 && command.size() >= head.size() + tail.size())
            return command.substr(head.size(), command.size() - head.size() - tail.size());
    }
    return "";
}

// Runs one report operation read from `in`.
void RunReport(Reader& in, vesk_client_callback* component, CheckingHost& host, Promise& promise) {
    const size_t mark = host.commands.size();
    RevertiveRecord record;
    memset(&record, 0, sizeof record);
    record.device = in.number(promise.device());
    record.index = in.number(promise.destination());
    record.info = in.number(promise.shownSource());
    record.reserved = static_cast<int32_t>(0xDEADBEEF);
    const std::string text = in.text(sizeof record.text - 1);
    memcpy(record.text, text.data(), text.size());
    const std::vector<std::string> expected = promise.report(record.device, record.index, record.info, text);
    if (component->callback(&record, VESK_EVENT_REVERTIVE)) FuzzFail("report answered", text);
    Expect(host, mark, expected,
           "report " + std::to_string(record.device) + "/" + std::to_string(record.index) + "/" +
               std::to_string(record.info) + " " + Escaped(text));
}

// Runs one operation other than a report, read from `in`.
void RunOther(unsigned operation, Reader& in, vesk_client_callback* component, CheckingHost& host,
              Promise& promise) {
    const size_t mark = host.commands.size();
    std::vector<std::string> expected;
    std::string what;
    if (operation == 1) {
        const uint8_t selector = in.byte();
        const int32_t timer = selector >= 0xF0 ? in.word() : selector % 4;
        expected = promise.timer(timer);
        what = "timer " + std::to_string(timer);
        if (component->callback(reinterpret_cast<void*>(static_cast<intptr_t>(timer)), VESK_EVENT_TIMER))
            FuzzFail("timer answered", what);
    } else if (operation == 2 || operation == 3) {
        const uint8_t choice = in.byte();
        const int number = operation == 2 ? kDevices[choice % 8] : static_cast<int>(choice % 72) - 2;
        what = Setting(operation == 2 ? "driverid" : "destid", number, operation == 2 ? choice / 8u : choice / 72u);
        expected = operation == 2 ? promise.device(number) : promise.destination(number);
        Set(component, what);
    } else {
        const std::string value = in.text(255);
        what = (operation == 4 ? "statesheet=" : "unusedtext=") + value;
        expected = operation == 4 ? promise.stateSheet(value) : promise.idleText(value);
        Set(component, what);
    }
    Expect(host, mark, expected, Escaped(what));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnsureSite();
    CheckingHost host("");
    vesk_client_callback* component = load_vesk_client_script(&host, "");
    if (!component) FuzzFail("export gave null", "");
    Promise promise;
    size_t mark = host.commands.size();
    Set(component, "driverid=5");
    Set(component, "destid=12");
    promise.device(5);
    Expect(host, mark, promise.destination(12), "setting up 5/12");

    Reader in(data, size);
    for (int operations = 0; !in.empty() && operations < 256; ++operations) {
        const unsigned operation = in.byte() % 6;
        if (operation == 0)
            RunReport(in, component, host, promise);
        else
            RunOther(operation, in, component, host, promise);
    }
    if (ControlText(host.commands) != promise.controlText())
        FuzzFail("the control shows " + Escaped(ControlText(host.commands)) + ", not the promised",
                 promise.controlText());

    mark = host.commands.size();
    delete component;
    Expect(host, mark, promise.deletion(), "delete");
    return 0;
}
