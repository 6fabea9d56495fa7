// A queued backend event as the text transcript shows it, for tests that
// read what a router backend queued.
#ifndef VESK_HOST_TESTS_BACKEND_EVENT_TEXT_H
#define VESK_HOST_TESTS_BACKEND_EVENT_TEXT_H

#include <optional>
#include <string>

#include "output/text_renderer.h"
#include "routers/backend_events.h"

// The note of `e` (a note, or a link change that has one); empty for the rest.
inline std::string noteOf(const BackendEvent& e) {
    if (e.kind == BackendEvent::Kind::Note) return e.note;
    if (e.kind != BackendEvent::Kind::Link) return "";
    std::optional<std::string> note = linkNote(event::Link{e.device, e.link, -1});
    return note ? *note : "";
}

#endif  // VESK_HOST_TESTS_BACKEND_EVENT_TEXT_H
