"""What the public SW-P-08 document allows in one message, by command byte and
by sender: the byte count each message must have and the ranges of its
fields. The test router's strict reader checks what a controller sends with
it, the router checker what a router sends. No sockets, no state here.

A message is the frame's DATA: the command byte, then its bytes. Numbers are
0-based. Facts used (command: layout):
  01 interrogate     ML, multiplier, dest MOD 128                  (4 bytes)
  02 connect         ML, multiplier, dest MOD 128, src MOD 128     (5)
  03 tally, 04 connected: as 02                                     (5)
  08 dual controller status request                                 (1)
  09 its answer      bit 0 master/slave, bit 1 active; idle status  (3)
  21 tally dump request ML (2); 149 its extended form matrix, level (3)
  22 byte dump       ML, count, first dest, count source bytes; no
                     number (count, destination, source) above 191
  23 word dump       ML, count, first dest DIV/MOD 256, count words;
                     at most 64 tallies (133 bytes)
  151 extended word dump  matrix, level, count, first dest, words; at most
                     63 tallies and 133 bytes
  30 names updated   8 data bytes                                    (9)
  97 implementation request (1); 98 its answer: the number of commands
                     sent, the number accepted, then those command bytes
                     (the order the commands are named in: sends, accepts)
  99 invalid message the command byte it refuses                     (2)
  100/101 all/single source names  ML, length code (0..4) [, src DIV/MOD]
  102/103 destination names  matrix in bits 7-4, length code [, dest]
  106/107 names      ML, code, first DIV/MOD 256, count, count names of
                     4/8/12/16/32 characters, at most 32/16/10/8/4 a message
  extended (+128): matrix and level whole bytes, numbers DIV/MOD 256:
  129 (5), 130 (7), 131/132 (7, or 8 with a status byte), 228 (4),
  229 (6), 230 (3), 231 (5), 234 (7 + names), 235 (6 + names, no level)
"""

CONTROLLER, ROUTER = "controller", "router"
NAME_WIDTHS = (4, 8, 12, 16, 32)
NAMES_PER_MESSAGE = (32, 16, 10, 8, 4)
BYTE_DUMP_MAX = 191
WORD_DUMP_TALLIES = 64
EXTENDED_DUMP_TALLIES = 63
DUMP_BYTES = 133
NAMES_UPDATED_BYTES = 8

# Commands the document gives a controller that these tables do not lay out:
# known, so not "unknown", but their sizes go unchecked.
OTHER_CONTROLLER_COMMANDS = {7, 10, 12, 14, 17, 19, 25, 27, 29, 41, 76, 79, 87, 89, 104, 105,
                             111, 112, 114, 115, 117, 120, 121, 124, 138, 140, 142, 147}


def _size(data, *allowed):
    if len(data) not in allowed:
        return ["%d byte(s), the document gives %s" % (len(data), " or ".join(map(str, allowed)))]
    return []


def _seven_bits(data, *at):
    return ["byte %d is %02x, above 7Fh" % (i, data[i]) for i in at if data[i] > 0x7F]


def _crosspoint(size, mods):
    def check(data):
        return _size(data, size) or (["multiplier bit 7 set"] if data[2] & 0x80 else []) \
            + _seven_bits(data, *mods)
    return check


def _code_at(size, at):
    def check(data):
        return _size(data, size) or (["length code %d, not 0..4" % data[at]] if data[at] > 4 else [])
    return check


def _byte_dump(data):
    if len(data) < 5 or len(data) != 4 + data[2]:
        return ["%d byte(s) for a count of %s" % (len(data), data[2] if len(data) > 2 else "none")]
    count, first = data[2], data[3]
    big = [n for n in [count, first + count - 1] + list(data[4:]) if n > BYTE_DUMP_MAX]
    return ["carries %d, above %d (the word form 23 carries it)" % (max(big), BYTE_DUMP_MAX)] if big else []


def _word_dump(head, most):
    def check(data):
        if len(data) < head + 2 or len(data) != head + 2 * data[head - 3]:
            return ["%d byte(s), not %d + 2 x its count" % (len(data), head)]
        count = data[head - 3]
        problems = ["%d tallies, at most %d a message" % (count, most)] if not 1 <= count <= most else []
        if len(data) > DUMP_BYTES:
            problems.append("%d bytes, at most %d" % (len(data), DUMP_BYTES))
        return problems
    return check


def _names(head):
    def check(data):
        if len(data) < head:
            return ["%d byte(s), shorter than its head" % len(data)]
        code, count = data[head - 4], data[head - 1]
        if code > 4:
            return ["length code %d, not 0..4" % code]
        problems = []
        if not 1 <= count <= NAMES_PER_MESSAGE[code]:
            problems.append("%d names, at most %d of %d characters" % (count, NAMES_PER_MESSAGE[code],
                                                                    NAME_WIDTHS[code]))
        if len(data) != head + count * NAME_WIDTHS[code]:
            problems.append("%d byte(s) for %d names of %d" % (len(data), count, NAME_WIDTHS[code]))
        return problems
    return check


def _implementation(data):
    if len(data) < 3 or len(data) != 3 + data[1] + data[2]:
        return ["%d byte(s), not 3 + the two counts" % len(data)]
    return []


def _dual_status(data):
    return _size(data, 3) or (["status byte %02x has bits beyond 0 and 1" % data[1]] if data[1] & 0xFC else []) \
        + (["idle status %d, not 0 or 1" % data[2]] if data[2] > 1 else [])


LAYOUTS = {
    CONTROLLER: {
        1: _crosspoint(4, (3,)), 2: _crosspoint(5, (3, 4)), 8: lambda d: _size(d, 1),
        21: lambda d: _size(d, 2), 97: lambda d: _size(d, 1), 99: lambda d: _size(d, 2),
        100: _code_at(3, 2), 101: _code_at(5, 2), 102: _code_at(3, 2), 103: _code_at(5, 2),
        129: lambda d: _size(d, 5), 130: lambda d: _size(d, 7), 149: lambda d: _size(d, 3),
        228: _code_at(4, 3), 229: _code_at(6, 3), 230: _code_at(3, 2), 231: _code_at(5, 2),
    },
    ROUTER: {
        3: _crosspoint(5, (3, 4)), 4: _crosspoint(5, (3, 4)), 9: _dual_status,
        22: _byte_dump, 23: _word_dump(5, WORD_DUMP_TALLIES),
        151: _word_dump(6, EXTENDED_DUMP_TALLIES),
        30: lambda d: _size(d, 1 + NAMES_UPDATED_BYTES), 98: _implementation,
        99: lambda d: _size(d, 2), 106: _names(6), 107: _names(6), 234: _names(7), 235: _names(6),
        131: lambda d: _size(d, 7, 8), 132: lambda d: _size(d, 7, 8),
    },
}


def problems(data, sender):
    """What the document does not allow in message `data` from `sender`
    (CONTROLLER or ROUTER): a list of sentences, empty when it is right."""
    if not data:
        return ["an empty message"]
    check = LAYOUTS[sender].get(data[0])
    if check is None:
        if sender == CONTROLLER and data[0] in OTHER_CONTROLLER_COMMANDS:
            return []
        return ["command %02x is not one a %s sends" % (data[0], sender)]
    return check(data)
