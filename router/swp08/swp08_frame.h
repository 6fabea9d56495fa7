// The link layer of the SW-P-08 router protocol: frames and their
// acknowledgements, as bytes on a serial line or, unchanged, on TCP.
//
// A frame is DLE STX, DATA (a command byte and its message), BTC (the count
// of DATA bytes), CHK (the two's complement of the 8-bit sum of DATA and
// BTC), DLE ETX. Every 0x10 inside DATA, BTC and CHK travels as 10 10, so a
// lone DLE always starts a control pair. The receiver answers each frame
// with DLE ACK (good) or DLE NAK (anything else); those pairs may arrive
// between frames or in the middle of one.
//
// Used on both ends: a client reads the router's frames with it, a router
// its clients' frames. No I/O, no threads.
#ifndef VESK_SWP08_FRAME_H
#define VESK_SWP08_FRAME_H

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace swp08 {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kDle = 0x10;
constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr uint8_t kAck = 0x06;
constexpr uint8_t kNak = 0x15;

// The two-byte answers, ready to send.
inline const Bytes& ackBytes() {
    static const Bytes bytes{kDle, kAck};
    return bytes;
}
inline const Bytes& nakBytes() {
    static const Bytes bytes{kDle, kNak};
    return bytes;
}

// BTC is one byte, so no frame carries more DATA than this.
constexpr size_t kMaxFrameData = 255;
// Garbage is reported at the latest after this many skipped bytes, so that a
// stream of junk is noticed even when no frame ever follows.
constexpr size_t kGarbageReportBytes = 4096;

enum class FrameEventKind {
    Frame,        // a good frame: `data` holds its DATA (command byte first)
    Ack,          // DLE ACK
    Nak,          // DLE NAK
    Garbage,      // `count` bytes outside any frame were skipped
    Restarted,    // DLE STX inside an unfinished frame: its `count` bytes are
                  // dropped and the new frame is read
    BadEscape,    // DLE followed by a byte no pair allows inside a frame: the
                  // frame (`count` bytes) is dropped
    Oversize,     // the frame held more than the cap: dropped, `count` bytes
    BadChecksum,  // CHK does not match: dropped, `count` bytes
    BadCount,     // BTC is not the DATA length (or the frame is too short to
                  // hold DATA, BTC and CHK): dropped, `count` bytes
};

// Every kind but Frame, Ack and Nak is a problem: a receiver answers a
// dropped frame (Restarted, BadEscape, Oversize, BadChecksum, BadCount) with
// a NAK and notes it; Garbage is only noted.
struct FrameEvent {
    FrameEventKind kind;
    Bytes data;        // Frame only
    size_t count = 0;  // the problems: bytes skipped or dropped (unstuffed)
};

// Whether a receiver answers this event with a NAK (a frame was dropped).
bool needsNak(FrameEventKind kind);
// "frame", "ack", "garbage", "bad checksum"...: for logs.
std::string_view frameEventName(FrameEventKind kind);

// An incremental frame reader: bytes in, in any splits, events out, in the
// order the bytes carry them. The events never depend on how the bytes were
// split. Memory is bounded: at most cap + 2 bytes of an unfinished frame are
// kept; the rest are only counted.
class Framer {
public:
    // `maxData`: the largest DATA accepted, clamped to 1..kMaxFrameData.
    explicit Framer(size_t maxData = kMaxFrameData);

    // Reads `bytes` and appends the events they complete to `events`.
    void feed(const uint8_t* bytes, size_t size, std::vector<FrameEvent>& events);
    void feed(const Bytes& bytes, std::vector<FrameEvent>& events) { feed(bytes.data(), bytes.size(), events); }
    void feed(std::string_view bytes, std::vector<FrameEvent>& events) {
        feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), events);
    }

    // True while a frame has started and not ended: a close now cuts it.
    bool midFrame() const { return state_ == State::InFrame || state_ == State::InFrameDle; }
    // Bytes of the frame still unfinished, kept or not; 0 between frames.
    size_t frameBytes() const { return midFrame() ? bodyCount_ : 0; }
    // Garbage skipped and not yet reported (it is reported with the next
    // pair or after kGarbageReportBytes).
    size_t pendingGarbage() const { return garbage_; }
    // Forgets everything: for a new connection.
    void reset();

private:
    enum class State { Hunt, HuntDle, InFrame, InFrameDle };
    void huntByte(uint8_t byte, std::vector<FrameEvent>& events);
    void frameByte(uint8_t byte);
    void keep(uint8_t byte);
    void frameDleByte(uint8_t byte, std::vector<FrameEvent>& events);
    void addGarbage(size_t count, std::vector<FrameEvent>& events);
    void flushGarbage(std::vector<FrameEvent>& events);
    void startFrame();
    void endFrame(std::vector<FrameEvent>& events);
    void dropFrame(FrameEventKind kind, std::vector<FrameEvent>& events);

    size_t maxData_;
    State state_ = State::Hunt;
    size_t garbage_ = 0;
    Bytes body_;          // DATA, BTC and CHK unstuffed, at most maxData_ + 2
    size_t bodyCount_ = 0;  // bytes of the frame so far, kept or not
};

// The frame that carries `data`: DLE STX, DATA, BTC, CHK, DLE ETX, with
// every 0x10 of DATA, BTC and CHK doubled. Empty when `data` is empty or
// longer than kMaxFrameData (no frame can carry it).
Bytes encodeFrame(const Bytes& data);

// The checksum of DATA and BTC: two's complement of their 8-bit sum.
uint8_t frameChecksum(const Bytes& data);

}  // namespace swp08

#endif  // VESK_SWP08_FRAME_H
