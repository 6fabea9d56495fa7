// The messages of the SW-P-08 router protocol that follow routes and names,
// as typed values: what a frame's DATA means, and the DATA of a message.
//
// Numbers are 0-based on the wire, as in the RouterModel: destination n is
// output n, source s is input s. A matrix and a level (0-based too) pick one
// table of a router; a router with one table uses matrix 0, level 0.
//
// Two forms carry most messages. The standard form packs matrix and level
// into one byte (4 bits each) and a destination and a source into three
// bytes (a multiplier holding both numbers DIV 128, then each MOD 128), so
// it reaches matrix and level 15 and numbers 1023. The extended form
// (command + 128) carries matrix and level as whole bytes and each number
// as two bytes (DIV 256, MOD 256). The writer picks the extended form when a
// value needs it (or when asked); the reader accepts both, and `extended`
// says which came, so that a router answers in kind.
#ifndef VESK_SWP08_MESSAGE_H
#define VESK_SWP08_MESSAGE_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "swp08_frame.h"

namespace swp08 {

// Command bytes of the standard form; the extended form adds kExtendedBit.
enum Command : uint8_t {
    kInterrogate = 1,
    kConnect = 2,
    kTally = 3,
    kConnected = 4,
    kDualStatusRequest = 8,
    kDualStatus = 9,
    kTallyDumpRequest = 21,
    kTallyDumpByte = 22,
    kTallyDumpWord = 23,
    kNamesUpdated = 30,
    kImplementationRequest = 97,
    kImplementation = 98,
    kInvalidMessage = 99,
    kAllSourceNames = 100,
    kSingleSourceName = 101,
    kAllDestinationNames = 102,
    kSingleDestinationName = 103,
    kSourceNames = 106,
    kDestinationNames = 107,
};
constexpr uint8_t kExtendedBit = 0x80;

// Largest values each form carries.
constexpr int kMaxStandardNumber = 1023;
constexpr int kMaxStandardMatrix = 15;  // also the largest level
constexpr int kMaxNumber = 65535;
constexpr int kMaxMatrix = 255;  // also the largest level
// Tallies one dump message carries at most (both forms), as the reader and
// the writer take them.
constexpr int kMaxDumpTallies = 64;
// The largest number (destination or source) the byte dump (22) carries.
constexpr int kMaxByteDumpNumber = 191;
// The most DATA bytes one message of the router's may hold (a 151 of 64
// tallies would be 134): dumps are cut to keep under it.
constexpr size_t kMaxMessageData = 133;

enum class MessageKind {
    Interrogate,            // client: which source feeds `destination`?
    Connect,                // client: route `source` to `destination`
    Tally,                  // router: answer to Interrogate
    Connected,              // router: a route changed (to every client)
    TallyDumpRequest,       // client: every route of matrix/level
    TallyDumpByte,          // router: `sources` of destinations first.., one byte each
    TallyDumpWord,          // router: the same, two bytes each
    AllSourceNames,         // client: every source name of matrix/level
    SingleSourceName,       // client: the name of `source`
    AllDestinationNames,    // client: every destination name of matrix
    SingleDestinationName,  // client: the name of `destination`
    SourceNames,            // router: `names` of sources first..
    DestinationNames,       // router: `names` of destinations first..
    NamesUpdated,           // router: names changed; ask again
    Invalid,                // router: the message before was refused
    DualStatusRequest,      // client: which controller is active?
    DualStatus,             // router: answer to DualStatusRequest
    ImplementationRequest,  // client: which commands does the router know?
    Implementation,         // router: answer to ImplementationRequest
};

// Fixed name widths, by their code on the wire (0..4).
enum class NameLength : uint8_t { Chars4 = 0, Chars8 = 1, Chars12 = 2, Chars16 = 3, Chars32 = 4 };
// 4, 8, 12, 16 or 32.
int nameWidth(NameLength length);
// Names one reply carries at most: 32, 16, 10, 8 or 4 (no more than 128
// bytes of names).
int maxNamesPerMessage(NameLength length);

// One message. Which fields count depends on `kind` (see each field);
// the others are left at their defaults by the reader and ignored by the
// writer.
struct Message {
    MessageKind kind = MessageKind::Interrogate;
    // Read: the form that came. Write: force the extended form even when the
    // values fit the standard one.
    bool extended = false;
    int matrix = 0;
    int level = 0;  // not carried by the destination name messages
    // Interrogate, Connect, Tally, Connected, SingleDestinationName.
    int destination = 0;
    // Connect, Tally, Connected, SingleSourceName.
    int source = 0;
    // Tally, Connected (standard form): the router flags the source as bad.
    bool badSource = false;
    // TallyDumpByte/Word: the destination of sources[0]; SourceNames,
    // DestinationNames: the number of names[0].
    int first = 0;
    std::vector<int> sources;  // TallyDumpByte/Word: source per destination from `first`
    // Name requests and replies.
    NameLength nameLength = NameLength::Chars8;
    // SourceNames, DestinationNames: read without trailing blanks and zero
    // bytes; written cut or padded with blanks to the width.
    std::vector<std::string> names;
    // NamesUpdated, Invalid and the four status messages (DualStatusRequest,
    // DualStatus, ImplementationRequest, Implementation): the bytes after the
    // command byte, kept as they came (whatever a peer puts there) and written
    // as given. Their layouts are in swp08_answers.h.
    Bytes detail;

    bool operator==(const Message& o) const;
    bool operator!=(const Message& o) const { return !(*this == o); }
};

// The DATA of `message` (command byte first), in the extended form when a
// value needs it or `message.extended` is set. Null when the message cannot
// be written: a value below 0 or above what every form carries, a dump of
// more than kMaxDumpTallies or a reply of more names than
// maxNamesPerMessage, a byte dump of numbers above 255 or matrix/level above
// 15 (it has no extended form), a detail that does not fit a frame.
std::optional<Bytes> encodeMessage(const Message& message);

// Whether encodeMessage writes `message` in the extended form.
bool usesExtendedForm(const Message& message);

enum class DecodeError {
    None,
    Empty,           // no command byte
    UnknownCommand,  // a command this code does not read (not an error of the peer)
    BadLength,       // too short or too long for its command and counts
    BadValue,        // a name length code above 4
};

struct DecodeResult {
    DecodeError error = DecodeError::None;
    uint8_t command = 0;  // the command byte, when there was one
    Message message;      // meaningful when error is None

    bool ok() const { return error == DecodeError::None; }
};

// Reads a frame's DATA. Never fails otherwise than by an error value: every
// input, however malformed, gives a result.
DecodeResult decodeMessage(const Bytes& data);

// "interrogate", "bad length"...: for logs.
std::string_view messageKindName(MessageKind kind);
std::string_view decodeErrorName(DecodeError error);

}  // namespace swp08

#endif  // VESK_SWP08_MESSAGE_H
