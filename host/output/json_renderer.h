// The transcript as JSON: each event is one record on its own line, "kind"
// first, with the same facts as the text (the kinds and their fields are
// listed in docs/integrator-guide.md, "JSON records"). A named component's
// records carry "component":"NAME" right after "kind"; the unnamed single
// component's records have no such field.
//
// Texts are written as valid UTF-8: each byte that is not part of a valid
// sequence becomes U+FFFD (validUtf8). That is done here rather than by
// nlohmann's error_handler_t::replace, which writes one U+FFFD for a whole
// truncated sequence ("\xE2\x82A" gives one, not two), while the guide
// promises one per byte.
#ifndef VESK_HOST_OUTPUT_JSON_RENDERER_H
#define VESK_HOST_OUTPUT_JSON_RENDERER_H

#include <ostream>
#include <string>

#include "output/sink.h"

// The record of `event` as one line of JSON, without the line end.
std::string renderJson(const HostEvent& event);

class JsonRenderer : public Sink {
public:
    // Writes each event's record and a line end to `out`, flushed. Failures,
    // errors and violations also go to `alerts` as text (writeAlert), when it
    // is not null. Neither stream is owned; both must outlive the renderer.
    explicit JsonRenderer(std::ostream& out, std::ostream* alerts = nullptr);
    void emit(const HostEvent& event) override;

private:
    std::ostream& out_;
    std::ostream* alerts_;
};

#endif  // VESK_HOST_OUTPUT_JSON_RENDERER_H
