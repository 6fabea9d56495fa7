#include "swp08_frame.h"

#include <algorithm>

namespace swp08 {

bool needsNak(FrameEventKind kind) {
    switch (kind) {
    case FrameEventKind::Restarted:
    case FrameEventKind::BadEscape:
    case FrameEventKind::Oversize:
    case FrameEventKind::BadChecksum:
    case FrameEventKind::BadCount:
        return true;
    default:
        return false;
    }
}

std::string_view frameEventName(FrameEventKind kind) {
    switch (kind) {
    case FrameEventKind::Frame: return "frame";
    case FrameEventKind::Ack: return "ack";
    case FrameEventKind::Nak: return "nak";
    case FrameEventKind::Garbage: return "garbage";
    case FrameEventKind::Restarted: return "frame restarted";
    case FrameEventKind::BadEscape: return "bad escape";
    case FrameEventKind::Oversize: return "oversize frame";
    case FrameEventKind::BadChecksum: return "bad checksum";
    case FrameEventKind::BadCount: return "bad count";
    }
    return "unknown";
}

Framer::Framer(size_t maxData) : maxData_(std::clamp<size_t>(maxData, 1, kMaxFrameData)) {
    body_.reserve(maxData_ + 2);
}

void Framer::reset() {
    state_ = State::Hunt;
    garbage_ = 0;
    body_.clear();
    bodyCount_ = 0;
}

void Framer::feed(const uint8_t* bytes, size_t size, std::vector<FrameEvent>& events) {
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = bytes[i];
        switch (state_) {
        case State::Hunt:
        case State::HuntDle: huntByte(byte, events); break;
        case State::InFrame: frameByte(byte); break;
        case State::InFrameDle: frameDleByte(byte, events); break;
        }
    }
}

// Outside a frame only DLE STX, DLE ACK and DLE NAK mean anything; every
// other byte is garbage. A DLE DLE pair outside a frame counts its first DLE
// as garbage: the second may still start a pair.
void Framer::huntByte(uint8_t byte, std::vector<FrameEvent>& events) {
    if (state_ == State::Hunt) {
        if (byte == kDle)
            state_ = State::HuntDle;
        else
            addGarbage(1, events);
        return;
    }
    switch (byte) {
    case kStx:
        flushGarbage(events);
        startFrame();
        return;
    case kAck:
    case kNak:
        flushGarbage(events);
        events.push_back({byte == kAck ? FrameEventKind::Ack : FrameEventKind::Nak, {}, 0});
        state_ = State::Hunt;
        return;
    case kDle:
        addGarbage(1, events);
        return;
    default:
        addGarbage(2, events);
        state_ = State::Hunt;
        return;
    }
}

void Framer::frameByte(uint8_t byte) {
    if (byte == kDle)
        state_ = State::InFrameDle;
    else
        keep(byte);
}

// Counts every byte of the frame; keeps only what fits the cap.
void Framer::keep(uint8_t byte) {
    ++bodyCount_;
    if (body_.size() < maxData_ + 2) body_.push_back(byte);
}

// After a DLE inside a frame: DLE is a stuffed 0x10, ETX ends the frame,
// STX starts a new one, ACK and NAK are answers to our own frames that the
// other end slipped in. Because a stuffed pair is consumed here whole, the
// 03 after a stuffed 10 10 is DATA, never the end of the frame.
void Framer::frameDleByte(uint8_t byte, std::vector<FrameEvent>& events) {
    state_ = State::InFrame;
    switch (byte) {
    case kDle: keep(kDle); return;
    case kEtx: endFrame(events); return;
    case kStx:
        dropFrame(FrameEventKind::Restarted, events);
        startFrame();
        return;
    case kAck: events.push_back({FrameEventKind::Ack, {}, 0}); return;
    case kNak: events.push_back({FrameEventKind::Nak, {}, 0}); return;
    default:
        // The stray byte belongs to the broken frame.
        ++bodyCount_;
        dropFrame(FrameEventKind::BadEscape, events);
        return;
    }
}

void Framer::addGarbage(size_t count, std::vector<FrameEvent>& events) {
    garbage_ += count;
    if (garbage_ >= kGarbageReportBytes) flushGarbage(events);
}

void Framer::flushGarbage(std::vector<FrameEvent>& events) {
    if (garbage_ == 0) return;
    events.push_back({FrameEventKind::Garbage, {}, garbage_});
    garbage_ = 0;
}

void Framer::startFrame() {
    body_.clear();
    bodyCount_ = 0;
    state_ = State::InFrame;
}

void Framer::dropFrame(FrameEventKind kind, std::vector<FrameEvent>& events) {
    events.push_back({kind, {}, bodyCount_});
    body_.clear();
    bodyCount_ = 0;
    state_ = State::Hunt;
}

// body_ is DATA, BTC, CHK. The sum of all three is 0 modulo 256 when CHK is
// right; BTC must then equal the DATA length.
void Framer::endFrame(std::vector<FrameEvent>& events) {
    if (bodyCount_ > maxData_ + 2) return dropFrame(FrameEventKind::Oversize, events);
    if (body_.size() < 3) return dropFrame(FrameEventKind::BadCount, events);
    uint8_t sum = 0;
    for (uint8_t byte : body_) sum = static_cast<uint8_t>(sum + byte);
    if (sum != 0) return dropFrame(FrameEventKind::BadChecksum, events);
    const size_t dataSize = body_.size() - 2;
    if (body_[dataSize] != dataSize) return dropFrame(FrameEventKind::BadCount, events);
    FrameEvent event{FrameEventKind::Frame, Bytes(body_.begin(), body_.begin() + static_cast<long>(dataSize)), 0};
    events.push_back(std::move(event));
    body_.clear();
    bodyCount_ = 0;
    state_ = State::Hunt;
}

uint8_t frameChecksum(const Bytes& data) {
    uint8_t sum = static_cast<uint8_t>(data.size());
    for (uint8_t byte : data) sum = static_cast<uint8_t>(sum + byte);
    return static_cast<uint8_t>(-sum);
}

Bytes encodeFrame(const Bytes& data) {
    if (data.empty() || data.size() > kMaxFrameData) return {};
    Bytes out;
    out.reserve(2 * data.size() + 8);
    out.push_back(kDle);
    out.push_back(kStx);
    auto put = [&out](uint8_t byte) {
        out.push_back(byte);
        if (byte == kDle) out.push_back(kDle);
    };
    for (uint8_t byte : data) put(byte);
    put(static_cast<uint8_t>(data.size()));
    put(frameChecksum(data));
    out.push_back(kDle);
    out.push_back(kEtx);
    return out;
}

}  // namespace swp08
