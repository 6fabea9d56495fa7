// Fuzzes texts from the hosting panel. The input is split at line feeds into
// up to 64 texts, each delivered as a text event to one component made by the
// module's export on a checking host (see fuzz_support.h), then the component
// is deleted. Checks beyond the host's: a TP carries the value of the text
// that caused it, unchanged; only
// "_events" is answered, with "notify=*"; every answer is handed back; "AS" is
// the last command.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <string>

#include "Parvex_export.h"
#include "fuzz_support.h"

// The value a setting text carries: what follows its first equals sign, unless
// 32 dots come before it (the path then swallows the rest) or there is none.
static std::string ValueOf(const std::string& text) {
    int dots = 0;
    for (size_t i = 0; i < text.size() && dots < 32; ++i) {
        if (text[i] == '.') ++dots;
        else if (text[i] == '=') return text.substr(i + 1);
    }
    return std::string();
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    EnsureSite();
    CheckingHost host("panels");
    std::string current;
    host.acceptValue = [&current](const std::string&, const std::string& value) { return value == ValueOf(current); };
    vesk_client_callback* component = load_vesk_client_script(&host, "panels");
    if (!component) FuzzFail("export gave null", "");
    if (host.commands.size() != 1) FuzzFail("creation sent more than the panel command", "");

    const char* bytes = reinterpret_cast<const char*>(data);
    size_t start = 0;
    for (int events = 0; start <= size && events < 64; ++events) {
        const void* end = memchr(bytes + start, '\n', size - start);
        const size_t stop = end ? static_cast<size_t>(static_cast<const char*>(end) - bytes) : size;
        const std::string piece(bytes + start, stop - start);
        current = piece.c_str();  // the component sees the text up to a zero byte
        // The one-byte text 0x01 stands for an event with no text at all.
        char* answer = component->callback(piece == "\x01" ? nullptr : const_cast<char*>(current.c_str()), 3);
        if (answer) {
            const std::string command = current.substr(0, current.find_first_of(".="));
            if (command != "_events") FuzzFail("answered a text other than _events", current);
            if (strcmp(answer, "notify=*") != 0) FuzzFail("wrong answer " + Escaped(answer), current);
            component->callback(answer, 5);
        }
        if (host.closed()) FuzzFail("AS before the delete", current);
        start = stop + 1;
    }
    delete component;
    if (!host.closed() || host.commands.back() != "AS") FuzzFail("AS is not the last command", "");
    return 0;
}
