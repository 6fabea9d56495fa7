#include "swp08_message.h"

namespace swp08 {

int nameWidth(NameLength length) {
    switch (length) {
    case NameLength::Chars4: return 4;
    case NameLength::Chars8: return 8;
    case NameLength::Chars12: return 12;
    case NameLength::Chars16: return 16;
    case NameLength::Chars32: return 32;
    }
    return 0;
}

// 32 x 4, 16 x 8 and 10 x 12 are the published limits; 16- and 32-character
// names keep to the same 128 bytes.
int maxNamesPerMessage(NameLength length) {
    switch (length) {
    case NameLength::Chars4: return 32;
    case NameLength::Chars8: return 16;
    case NameLength::Chars12: return 10;
    case NameLength::Chars16: return 8;
    case NameLength::Chars32: return 4;
    }
    return 0;
}

bool Message::operator==(const Message& o) const {
    return kind == o.kind && extended == o.extended && matrix == o.matrix && level == o.level &&
           destination == o.destination && source == o.source && badSource == o.badSource && first == o.first &&
           sources == o.sources && nameLength == o.nameLength && names == o.names && detail == o.detail;
}

std::string_view messageKindName(MessageKind kind) {
    switch (kind) {
    case MessageKind::Interrogate: return "interrogate";
    case MessageKind::Connect: return "connect";
    case MessageKind::Tally: return "tally";
    case MessageKind::Connected: return "connected";
    case MessageKind::TallyDumpRequest: return "tally dump request";
    case MessageKind::TallyDumpByte: return "tally dump (byte)";
    case MessageKind::TallyDumpWord: return "tally dump (word)";
    case MessageKind::AllSourceNames: return "all source names";
    case MessageKind::SingleSourceName: return "single source name";
    case MessageKind::AllDestinationNames: return "all destination names";
    case MessageKind::SingleDestinationName: return "single destination name";
    case MessageKind::SourceNames: return "source names";
    case MessageKind::DestinationNames: return "destination names";
    case MessageKind::NamesUpdated: return "names updated";
    case MessageKind::Invalid: return "invalid message";
    case MessageKind::DualStatusRequest: return "dual controller status request";
    case MessageKind::DualStatus: return "dual controller status";
    case MessageKind::ImplementationRequest: return "implementation request";
    case MessageKind::Implementation: return "implementation";
    }
    return "unknown";
}

std::string_view decodeErrorName(DecodeError error) {
    switch (error) {
    case DecodeError::None: return "none";
    case DecodeError::Empty: return "empty";
    case DecodeError::UnknownCommand: return "unknown command";
    case DecodeError::BadLength: return "bad length";
    case DecodeError::BadValue: return "bad value";
    }
    return "unknown";
}

}  // namespace swp08
