"""SW-P-08 for the test router: framing of the byte stream, and the router's
state with the messages that answer each request. No sockets here.

Numbers are 0-based on the wire. The standard commands pack matrix and level
in one byte (matrix in bits 7-4, level in bits 3-0) and a destination and a
source in a multiplier byte (bits 6-4 destination DIV 128, bit 3 "bad source",
bits 2-0 source DIV 128) and two bytes MOD 128: 0..1023. The extended commands
(standard + 128) carry matrix and level as whole bytes and each number as two
bytes, DIV 256 then MOD 256.
"""
from dataclasses import dataclass, field

DLE, STX, ETX, ACK, NAK = 0x10, 0x02, 0x03, 0x06, 0x15
# DATA is at most 255 bytes (its count is one byte), plus BTC and CHK.
MAX_FRAME_CONTENT = 257
NAME_WIDTHS = (4, 8, 12, 16, 32)     # by length code 0..4
NAME_BYTES_PER_MESSAGE = 128          # 32 x 4, 16 x 8, 10 x 12, 8 x 16, 4 x 32
BYTE_DUMP_LIMIT = 191                 # the byte dump carries numbers up to 191
WORD_DUMP_TALLIES = 64


def frame(data):
    """The wire bytes of one message; data is the command byte and its message.

    BTC counts the data before stuffing; CHK is the two's complement of the
    8-bit sum of data and BTC; every 10h in data, BTC and CHK is doubled.
    """
    btc = len(data) & 0xFF
    chk = (-(sum(data) + btc)) & 0xFF
    body = bytes(data) + bytes([btc, chk])
    return b"\x10\x02" + body.replace(b"\x10", b"\x10\x10") + b"\x10\x03"


class Deframer:
    """Splits a received byte stream into events, in arrival order, each
    (kind, detail, raw) with raw the bytes as received:
    ("ack", None, raw), ("nak", None, raw), ("frame", data, raw) for a frame
    whose count and checksum are right (data = command byte and message),
    ("bad", reason, raw) for one that is wrong, broken off or longer than any
    message can be, and ("junk", reason, raw) for bytes outside any frame.

    Bytes outside a frame that are not DLE ACK / DLE NAK are skipped (and
    reported as junk once the next DLE starts something). DLE ACK and DLE NAK
    inside a frame are acknowledgements, not part of it. A 10h that is the
    second half of a doubled 10h never starts DLE ETX.
    """

    def __init__(self):
        self.in_frame = False
        self.after_dle = False
        self.content = bytearray()
        self.raw = bytearray()          # the frame so far, or the junk so far
        self.junk = bytearray()

    def feed(self, chunk):
        events = []
        for byte in chunk:
            if self.in_frame:
                self.raw.append(byte)
            if self.after_dle:
                self.after_dle = False
                self._escape(byte, events)
            elif byte == DLE:
                self.after_dle = True
            elif self.in_frame:
                self._append(byte, events)
            else:
                self.junk.append(byte)
        return events

    def _append(self, byte, events):
        self.content.append(byte)
        if len(self.content) > MAX_FRAME_CONTENT:
            events.append(("bad", "longer than any message", bytes(self.raw)))
            self.in_frame = False

    def _flush_junk(self, events):
        if self.junk:
            events.append(("junk", "%d byte(s) outside any frame" % len(self.junk), bytes(self.junk)))
            self.junk = bytearray()

    def _escape(self, byte, events):
        if byte in (ACK, NAK):
            if not self.in_frame:
                self._flush_junk(events)
            events.append(("ack" if byte == ACK else "nak", None, bytes([DLE, byte])))
            if self.in_frame:
                del self.raw[-2:]               # no part of the frame
        elif byte == STX:
            if self.in_frame:
                events.append(("bad", "broken off by DLE STX", bytes(self.raw[:-2])))
            self._flush_junk(events)
            self.in_frame = True
            self.content = bytearray()
            self.raw = bytearray([DLE, STX])
        elif not self.in_frame:
            self.junk += bytes([DLE, byte])     # garbage between frames
        elif byte == DLE:
            self._append(DLE, events)
        elif byte == ETX:
            self.in_frame = False
            events.append(self._check(bytes(self.content), bytes(self.raw)))
        else:
            self.in_frame = False
            events.append(("bad", "DLE followed by %02x" % byte, bytes(self.raw)))

    @staticmethod
    def _check(content, raw):
        if len(content) < 3:
            return ("bad", "too short for a message", raw)
        data, btc = content[:-2], content[-2]
        if btc != len(data):
            return ("bad", "byte count %d for %d byte(s)" % (btc, len(data)), raw)
        if sum(content) & 0xFF != 0:
            return ("bad", "bad checksum", raw)
        return ("frame", data, raw)


@dataclass
class Reply:
    """What one request asks of the router: messages for the requester, a
    take to announce to every client, and whether the request was malformed."""
    messages: list = field(default_factory=list)
    take: tuple = None
    extended: bool = False
    invalid: bool = False
    router: object = None       # the level that answered (set by Matrix)


def hi(n):
    return (n >> 8) & 0xFF


def lo(n):
    return n & 0xFF


def fixed(text, width):
    """The name cut or padded with spaces to width, in ASCII."""
    return text.encode("ascii", "replace")[:width].ljust(width, b" ")


class Router:
    """One matrix and level of a router: routes and names, 0-based."""

    def __init__(self, sources, destinations, matrix, level, offset=0):
        self.sources = sources
        self.destinations = destinations
        self.matrix = matrix
        self.level = level
        self.names_per_message = None       # None: as many as 128 bytes hold
        self.routes = [(d + offset) % sources for d in range(destinations)]
        self.source_names = ["Camera %d" % (s + 1) for s in range(sources)]
        self.dest_names = ["Monitor %d" % (d + 1) for d in range(destinations)]
        self.handlers = {
            1: self._interrogate, 129: self._interrogate,
            2: self._connect, 130: self._connect,
            21: self._dump, 149: self._dump,
            100: self._names, 101: self._names, 228: self._names, 229: self._names,
            102: self._names, 103: self._names, 230: self._names, 231: self._names,
        }

    def take(self, dest, src):
        """Routes src to dest; False (and nothing changes) when out of range."""
        if 0 <= dest < self.destinations and 0 <= src < self.sources:
            self.routes[dest] = src
            return True
        return False

    def needs_extended(self, *numbers):
        return self.matrix > 15 or self.level > 15 or any(n > 1023 for n in numbers)

    def matrix_level(self):
        return (self.matrix << 4 | self.level) & 0xFF

    def route_message(self, command, dest, src, extended):
        """TALLY (3) or CONNECTED (4), or their extended forms 131 / 132."""
        if extended or self.needs_extended(dest, src):
            return bytes([command + 128, self.matrix, self.level,
                          hi(dest), lo(dest), hi(src), lo(src), 0])
        mult = (dest >> 7 & 7) << 4 | (src >> 7 & 7)
        return bytes([command, self.matrix_level(), mult, dest & 0x7F, src & 0x7F])

    def connected(self, dest, src, extended=False):
        return self.route_message(4, dest, src, extended)

    def answer(self, data, sloppy):
        """The Reply to one good frame. An unknown command, or a known one too
        short for its fields, gets INVALID MESSAGE (99) naming the command."""
        handler = self.handlers.get(data[0])
        reply = None
        if handler is not None:
            try:
                reply = handler(data, sloppy)
            except IndexError:
                reply = None
        if reply is None:
            return Reply(messages=[bytes([99, data[0]])], invalid=True)
        return reply

    # -- requests: each returns a Reply, or None when malformed ---------------

    def _address(self, data):
        """(matrix, level, rest) of a request, in either form."""
        if data[0] & 0x80:
            return data[1], data[2], data[3:]
        return data[1] >> 4, data[1] & 0x0F, data[2:]

    def _interrogate(self, data, sloppy):
        extended = bool(data[0] & 0x80)
        matrix, level, rest = self._address(data)
        if extended:
            dest = rest[0] << 8 | rest[1]
        else:
            dest = (rest[0] >> 4 & 7) << 7 | (rest[1] & 0x7F)
        if (matrix, level) != (self.matrix, self.level) or dest >= self.destinations:
            return Reply()
        command = 4 if sloppy else 3
        return Reply([self.route_message(command, dest, self.routes[dest], extended)])

    def _connect(self, data, sloppy):
        extended = bool(data[0] & 0x80)
        matrix, level, rest = self._address(data)
        if extended:
            dest, src = rest[0] << 8 | rest[1], rest[2] << 8 | rest[3]
        else:
            dest = (rest[0] >> 4 & 7) << 7 | (rest[1] & 0x7F)
            src = (rest[0] & 7) << 7 | (rest[2] & 0x7F)
        if (matrix, level) != (self.matrix, self.level) or not self.take(dest, src):
            return Reply()
        return Reply(take=(dest, src), extended=extended)

    def _dump(self, data, sloppy):
        extended = bool(data[0] & 0x80)
        matrix, level, _ = self._address(data)
        if (matrix, level) != (self.matrix, self.level):
            return Reply()
        if sloppy:
            return Reply([self.route_message(3, d, s, extended) for d, s in enumerate(self.routes)])
        if not extended and max(self.destinations, self.sources) <= BYTE_DUMP_LIMIT:
            return Reply(self._byte_dump())
        return Reply(self._word_dump(extended))

    def _byte_dump(self):
        out = []
        for first in range(0, self.destinations, BYTE_DUMP_LIMIT):
            chunk = self.routes[first:first + BYTE_DUMP_LIMIT]
            out.append(bytes([22, self.matrix_level(), len(chunk), first]) + bytes(chunk))
        return out

    def _word_dump(self, extended):
        out = []
        head = bytes([151, self.matrix, self.level]) if extended else bytes([23, self.matrix_level()])
        for first in range(0, self.destinations, WORD_DUMP_TALLIES):
            chunk = self.routes[first:first + WORD_DUMP_TALLIES]
            words = b"".join(bytes([hi(s), lo(s)]) for s in chunk)
            out.append(head + bytes([len(chunk), hi(first), lo(first)]) + words)
        return out

    def _names(self, data, sloppy):
        """Source names (100 / 101, 228 / 229 -> 106 / 234) and destination
        association names (102 / 103, 230 / 231 -> 107 / 235). Destination
        requests and replies name a matrix only: bits 7-4 of byte 1 (bits 3-0
        are 0), or byte 1 when extended."""
        command = data[0]
        extended = bool(command & 0x80)
        of_sources = (command & 0x7F) in (100, 101)
        single = (command & 0x7F) in (101, 103)
        if of_sources:
            matrix, level, rest = self._address(data)
        else:
            matrix, level, rest = (data[1], 0, data[2:]) if extended else (data[1] >> 4, 0, data[2:])
        if rest[0] >= len(NAME_WIDTHS):
            return None
        if matrix != self.matrix or (of_sources and level != self.level):
            return Reply()
        code = 1 if sloppy else rest[0]
        names = self.source_names if of_sources else self.dest_names
        first, count = 0, len(names)
        if single:
            first, count = rest[1] << 8 | rest[2], 1
            if first >= len(names):
                return Reply()
        return Reply(self._name_messages(command, names, first, count, code))

    def _name_messages(self, request, names, first, count, code):
        extended = bool(request & 0x80)
        reply = {100: 106, 101: 106, 102: 107, 103: 107}[request & 0x7F] + (128 if extended else 0)
        width = NAME_WIDTHS[code]
        per_message = self.names_per_message or NAME_BYTES_PER_MESSAGE // width
        if reply == 234:
            head = bytes([reply, self.matrix, self.level, code])
        elif reply == 235:
            # Like its requests (230 / 231), the matrix alone: no level byte.
            head = bytes([reply, self.matrix, code])
        else:
            level = self.level if reply == 106 else 0
            head = bytes([reply, (self.matrix << 4 | level) & 0xFF, code])
        out = []
        for start in range(first, first + count, per_message):
            chunk = names[start:min(start + per_message, first + count)]
            body = b"".join(fixed(n, width) for n in chunk)
            out.append(head + bytes([hi(start), lo(start), len(chunk)]) + body)
        return out


class Matrix:
    """Levels first..first+count-1 of one matrix, each a Router with its own
    crosspoints (level first + k starts with destination d fed by source
    (d + k) modulo the sources); all levels share one list of source names
    and one of destination names. A request goes to the level it names; one
    for another level, or one that names none (destination names), goes to
    the first level, which answers it as a one-level router would."""

    def __init__(self, sources, destinations, matrix, first, count=1, one_name=False):
        self.levels = {}
        for k in range(count):
            router = Router(sources, destinations, matrix, first + k, offset=k)
            if k:
                router.source_names = self.first.source_names
                router.dest_names = self.first.dest_names
            router.names_per_message = 1 if one_name else None
            self.levels[first + k] = router
            if not k:
                self.first = router

    def level(self, level=None):
        """The Router of that level (the first when None or not served)."""
        return self.levels.get(level, self.first)

    def answer(self, data, sloppy):
        command = data[0]
        if command & 0x7F in (102, 103) or len(data) < (3 if command & 0x80 else 2):
            router = self.first
        else:
            router = self.level(data[2] if command & 0x80 else data[1] & 0x0F)
        reply = router.answer(data, sloppy)
        reply.router = router
        return reply

    def names_updated(self, with_data):
        """NAMES UPDATED (30): bare, or with its 8 data bytes: the matrices
        whose names changed as a 16-bit mask (bit m for matrix m, DIV 256
        first), the kinds of name that changed (bit 0 source names), then 5
        bytes of 0."""
        if not with_data:
            return bytes([30])
        mask = 1 << (self.first.matrix & 0x0F)
        return bytes([30, hi(mask), lo(mask), 0x01, 0, 0, 0, 0, 0])
