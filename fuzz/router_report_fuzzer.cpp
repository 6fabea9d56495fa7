// Fuzzes router reports, timer events and the pair settings against a model of
// the destination tracking. A component made by the module's export follows
// device 5, destination 12 (database 64); the input is then read as a list of
// operations, each one byte followed by its operands:
//   0 report   device, index and info (one byte each: below 0xF0 a small or
//              current value, else four raw bytes), a length byte and that many
//              text bytes (zero bytes included: the text ends at the first)
//   1 timer    one byte: below 0xF0 a timer 0..3, else four raw bytes
//   2 driverid one byte choosing the device number
//   3 destid   one byte choosing the destination number
// After each operation the commands the host received must be exactly those
// the model expects; at the end the delete must send RU (when a pair is set)
// and AS.
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

  private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// What the component should hold and send.
struct Model {
    int device = -1;
    int destination = -1;
    int last = -1;
    std::string lastText;  // text on the control with `last`

    std::vector<std::string> setPair(int newDevice, int newDestination) {
        const int previous = device;
        device = newDevice;
        if (newDestination == destination || newDestination < 1 || newDevice < 1 || newDevice > 999 ||
            newDestination > SiteDatabaseSize(newDevice))
            return {};
        destination = newDestination;
        std::vector<std::string> sent;
        if (previous >= 1 && previous <= 999) sent.push_back("RU " + std::to_string(previous));
        const std::string numbers = std::to_string(device) + " " + std::to_string(destination) + " " +
                                    std::to_string(destination);
        sent.push_back("RR " + numbers);
        sent.push_back("RP " + numbers);
        sent.push_back("ET 1 10000");
        return sent;
    }
};

const int kDevices[] = {5, 7, 999, 1000, 0, -1, 6, 5};

void Expect(CheckingHost& host, size_t from, const std::vector<std::string>& expected, const std::string& what) {
    const std::vector<std::string> got(host.commands.begin() + static_cast<long>(from), host.commands.end());
    if (got == expected) return;
    std::string message = what + ": expected";
    for (const std::string& command : expected) message += " [" + command + "]";
    message += ", got";
    for (const std::string& command : got) message += " [" + command + "]";
    FuzzFail(message, "");
}

char* Text(vesk_client_callback* component, const std::string& text) {
    return component->callback(const_cast<char*>(text.c_str()), VESK_EVENT_TEXT);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnsureSite();
    CheckingHost host("");
    vesk_client_callback* component = load_vesk_client_script(&host, "");
    if (!component) FuzzFail("export gave null", "");
    Model model;
    size_t mark = host.commands.size();
    if (Text(component, "driverid=5") || Text(component, "destid=12")) FuzzFail("a setting was answered", "");
    model.setPair(5, -1);
    Expect(host, mark, model.setPair(5, 12), "setting up 5/12");

    Reader in(data, size);
    for (int operations = 0; !in.empty() && operations < 256; ++operations) {
        mark = host.commands.size();
        switch (in.byte() % 4) {
        case 0: {
            RevertiveRecord record;
            memset(&record, 0, sizeof record);
            record.device = in.number(model.device);
            record.index = in.number(model.destination);
            record.info = in.number(model.last);
            record.reserved = static_cast<int32_t>(0xDEADBEEF);
            const size_t length = in.byte();
            for (size_t i = 0; i < length && i < sizeof record.text - 1; ++i) record.text[i] = static_cast<char>(in.byte());
            std::vector<std::string> expected;
            const std::string text(record.text);
            if (record.device == model.device && record.index == model.destination &&
                (record.info != model.last || text != model.lastText)) {
                model.last = record.info;
                model.lastText = text;
                expected = {"TP 'text=" + text + "' '1' 'LevelMimic'", "ET 1"};
            }
            if (component->callback(&record, VESK_EVENT_REVERTIVE)) FuzzFail("report answered", record.text);
            Expect(host, mark, expected,
                   "report " + std::to_string(record.device) + "/" + std::to_string(record.index) + "/" +
                       std::to_string(record.info));
            break;
        }
        case 1: {
            const uint8_t selector = in.byte();
            const int32_t timer = selector >= 0xF0 ? in.word() : selector % 4;
            std::vector<std::string> expected;
            if (timer != 1)
                expected = {"ET " + std::to_string(timer)};
            else if (model.device > 0 && model.destination > 0)
                expected = {"RP " + std::to_string(model.device) + " " + std::to_string(model.destination) + " " +
                            std::to_string(model.destination)};
            else
                expected = {"ET 1"};
            if (component->callback(reinterpret_cast<void*>(static_cast<intptr_t>(timer)), VESK_EVENT_TIMER))
                FuzzFail("timer answered", "");
            Expect(host, mark, expected, "timer " + std::to_string(timer));
            break;
        }
        case 2: {
            const int device = kDevices[in.byte() % 8];
            if (Text(component, "driverid=" + std::to_string(device))) FuzzFail("driverid answered", "");
            Expect(host, mark, model.setPair(device, model.destination), "driverid " + std::to_string(device));
            break;
        }
        default: {
            const int destination = static_cast<int>(in.byte() % 72) - 2;
            if (Text(component, "destid=" + std::to_string(destination))) FuzzFail("destid answered", "");
            Expect(host, mark, model.setPair(model.device, destination), "destid " + std::to_string(destination));
            break;
        }
        }
    }

    mark = host.commands.size();
    delete component;
    std::vector<std::string> closing;
    if (model.device >= 1 && model.destination >= 1) closing.push_back("RU " + std::to_string(model.device));
    closing.push_back("AS");
    Expect(host, mark, closing, "delete");
    return 0;
}
