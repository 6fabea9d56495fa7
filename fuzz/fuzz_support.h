// Shared pieces of the fuzz targets: a host that aborts on the first command a
// component must never send, a temporary site with device configuration files,
// and a way to stop with a message that libFuzzer shows beside the input.
#ifndef VESK_FUZZ_SUPPORT_H
#define VESK_FUZZ_SUPPORT_H

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "vesk_client_callback.h"

// Prints the message and the text (escaped) to stderr and aborts, so that
// libFuzzer records the input as a crash.
[[noreturn]] void FuzzFail(const std::string& message, const std::string& text);

// Control characters and bytes above 126 escaped, in double quotes.
std::string Escaped(const std::string& text);

// Decimal text of a 32-bit number as the component must write it: an optional
// minus sign and digits without leading zeros. True and *value set when `text`
// is exactly that.
bool ParseCanonicalInt(const std::string& text, int64_t* value);

// A host for a Parvex created on panel folder `path`. Every command is checked
// as it arrives:
//   - only type 0 calls (Parvex asks nothing whose reply it would hand back);
//   - PS '1' '{path}/mimic.vesk_ui' (no path part when path is empty), TP of
//     'text=' or 'statesheet=' a value that `acceptValue` takes, to '1'
//     'LevelMimic', RR/RP {device} {n} {n} with n >= 1 and device 1..999 (RR)
//     or >= 1 (RP), RU {device >= 1}, ET 1 10000, ET {id}, AS;
//   - numbers in canonical decimal; RR directly followed by the RP for the
//     same numbers and then ET 1 10000;
//   - "AS" once, and nothing after it.
// PS is answered "1"; everything else gets a null reply.
class CheckingHost : public vesk_client_callback {
  public:
    explicit CheckingHost(const std::string& path);
    char* callback(void* data, int type) override;

    // Decides whether a TP value may be sent now; by default every value.
    std::function<bool(const std::string& param, const std::string& value)> acceptValue;

    std::vector<std::string> commands;
    bool closed() const { return closed_; }

  private:
    void check(const std::string& command);

    std::string path_;
    std::string pending_;  // the command that must come next, if any
    bool closed_ = false;
    char psReply_[2] = {'1', '\0'};
};

// A site folder with QX_ROOT and QX_SYSTEM pointing at it, made once per
// process and removed at exit. Device 5 has a database 1 of 64 entries,
// device 7 of 20, device 999 of 10; no other device has a configuration file.
void EnsureSite();
// The database 1 size EnsureSite gives `device` (0 for devices without a file).
int SiteDatabaseSize(int device);

#endif  // VESK_FUZZ_SUPPORT_H
