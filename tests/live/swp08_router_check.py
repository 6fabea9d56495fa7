#!/usr/bin/env python3
"""A strict checker of a SW-P-08 router: it connects as a controller and
checks every byte the router sends against the public document
(swp08_rules.py has the message layouts and their limits).

    swp08_router_check.py HOST PORT [--levels N] [--destinations M]
                          [--sources S] [--matrix M]

HOST is 127.0.0.1, ::1 or localhost: the checker talks to loopback only.
Levels are counted from 1 (level L is L-1 on the wire), destinations and
sources from 0 as on the wire; the router must have at least 3 sources.
It prints one line per check, "PASS name: what was seen" or "FAIL name:
...", bytes in hex, and exits 0 only when every check passed. Every wait
is bounded (about a minute in all). check_vesk_router.py runs it against
vesk-router, with a console that can rename a source (the NAMES UPDATED
check); without one that check is skipped.
"""
import argparse
import socket
import sys
import time

import swp08_rules
from swp08_wire import ACK, DLE, NAK, Deframer, frame

LOOPBACK = ("127.0.0.1", "::1", "localhost")
WHOLE_RUN = 90.0        # seconds; no wait goes past this
QUIET = 0.4             # a reply is complete after this long without a message


def show(data, most=24):
    text = bytes(data[:most]).hex(" ")
    return text + (" ... (%d bytes)" % len(data) if len(data) > most else "")


class Link:
    """One controller connection to the router under test. Every good frame
    the router sends is ACKed at once and checked against the document; what
    is wrong goes to `problems` as (sentence, raw bytes)."""

    def __init__(self, host, port):
        self.sock = socket.create_connection((host, port), timeout=5)
        self.deframer = Deframer()
        self.deadline = time.monotonic() + WHOLE_RUN
        self.problems = []
        self.inbox = []
        self.acks = self.naks = self.sent = 0
        self.commands_seen = set()

    def pump(self, timeout):
        """Reads what arrives within timeout (never past the deadline)."""
        timeout = min(timeout, self.deadline - time.monotonic())
        if timeout <= 0:
            return
        self.sock.settimeout(timeout)
        try:
            chunk = self.sock.recv(65536)
        except socket.timeout:
            return
        if not chunk:
            raise ConnectionError("the router closed the connection")
        for kind, detail, raw in self.deframer.feed(chunk):
            self.event(kind, detail, raw)

    def event(self, kind, detail, raw):
        if kind == "ack":
            self.acks += 1
        elif kind == "nak":
            self.naks += 1
        elif kind == "frame":
            self.sock.sendall(bytes([DLE, ACK]))
            self.commands_seen.add(detail[0])
            self.problems += [(p, raw) for p in swp08_rules.problems(detail, swp08_rules.ROUTER)]
            self.inbox.append(detail)
        else:
            if kind == "bad":
                self.sock.sendall(bytes([DLE, NAK]))
            self.problems.append((detail, raw))

    def exchange(self, data, quiet=QUIET, most=5.0):
        """Sends one request; (acked, messages that came until `quiet` s
        passed without one, `most` s at most)."""
        acks, self.inbox = self.acks, []
        self.sock.sendall(frame(data))
        self.sent += 1
        return self.collect(quiet, most, lambda: self.acks > acks)

    def collect(self, quiet, most, acked=lambda: False):
        start = last = time.monotonic()
        count = -1
        while time.monotonic() - last < quiet and time.monotonic() - start < most:
            self.pump(0.05)
            if len(self.inbox) != count:
                count, last = len(self.inbox), time.monotonic()
        messages, self.inbox = self.inbox, []
        return acked(), messages


class Checks:
    """The checks, in order; each adds one result line."""

    def __init__(self, link, args, rename):
        self.link, self.args, self.rename = link, args, rename
        self.results = []
        self.accepted = set()       # request commands (not 99) answered other than with 99
        self.implementation = None

    def report(self, ok, name, seen):
        self.results.append(ok)
        print("%s %s: %s" % ("PASS" if ok else "FAIL", name, seen), flush=True)

    def ask(self, data, **kw):
        acked, messages = self.link.exchange(data, **kw)
        if acked and data[0] != 99 and not any(m[0] == 99 for m in messages):
            self.accepted.add(data[0])
        return acked, messages

    def run(self):
        for check in (self.implementation_request, self.dual_status, self.invalid_message,
                      self.levels, self.names, self.names_updated,
                      self.implementation_lists, self.wire):
            check()
        return all(self.results)

    def implementation_request(self):
        _, messages = self.ask([97])
        found = [m for m in messages if m[0] == 98]
        self.implementation = found[0] if found else None
        self.report(len(found) == 1 and len(messages) == 1,
                    "implementation request (97) answered 98", seen(messages))

    def dual_status(self):
        _, messages = self.ask([8])
        ok = len(messages) == 1 and messages[0][0] == 9 and len(messages[0]) == 3 and messages[0][1] & 2
        self.report(bool(ok), "dual controller status (08) answered 09, this controller active",
                    seen(messages))

    def invalid_message(self):
        _, messages = self.ask([99, 0x4D], quiet=1.0)
        self.report(not any(m[0] == 99 for m in messages), "invalid message (99) never answered 99",
                    seen(messages))

    def levels(self):
        """Interrogate, connect and both dumps on every level asked; then each
        level must still hold its own take."""
        a, taken = self.args, {}
        for level in range(a.levels):
            ml, name = a.matrix << 4 | level, "level %d: " % (level + 1)
            _, messages = self.ask(crosspoint(1, ml, 0))
            self.expect_route(messages, 3, ml, 0, None, name + "interrogate (01) answered tally (03)")
            taken[level] = (level + 2) % a.sources
            _, messages = self.ask(crosspoint(2, ml, 1, taken[level]))
            self.expect_route(messages, 4, ml, 1, taken[level], name + "connect (02) answered connected (04)")
            self.dump([21, ml], name + "tally dump (21)", level)
            self.dump([149, a.matrix, level], name + "extended tally dump (149)", level)
        if a.levels > 1:
            now = {}
            for level in taken:
                _, messages = self.ask(crosspoint(1, a.matrix << 4 | level, 1))
                now[level] = route_of(messages[0]) if len(messages) == 1 else None
            self.report(all(now[k] == (1, taken[k]) for k in taken), "each level keeps its own crosspoints",
                        "destination 1 by level: %s (taken: %s)" % (now, taken))

    def expect_route(self, messages, command, ml, dest, src, name):
        """One message: `command` of that matrix/level and destination (and
        source, unless None), as the document lays it out."""
        ok = (len(messages) == 1 and messages[0][0] == command and len(messages[0]) == 5
              and messages[0][1] == ml and route_of(messages[0])[0] == dest
              and src in (None, route_of(messages[0])[1]) and not faults(messages))
        self.report(ok, name, seen(messages) + faults_text(messages))

    def dump(self, request, name, level):
        """The dump answers: every destination once, in order, in messages of
        this matrix and level, each within the document's limits."""
        _, messages = self.ask(request, most=10.0)
        covered, forms, foreign = [], {}, []
        for m in messages:
            span = dump_span(m)
            if span is None or dump_table(m) != (self.args.matrix, level):
                foreign.append(m)
                continue
            forms[m[0]] = forms.get(m[0], 0) + 1
            covered += range(*span)
        ok = not foreign and covered == list(range(self.args.destinations)) and not faults(messages)
        self.report(ok, name, "%s, destinations %s%s%s" % (
            ", ".join("%d messages of %d" % (n, c) for c, n in sorted(forms.items())) or "no dump message",
            spans(covered), "; not a dump of this table: " + seen(foreign) if foreign else "",
            faults_text(messages)))

    def names(self):
        for request, reply, name in (([100, self.args.matrix << 4, 2], 106, "source names (100)"),
                                     ([102, self.args.matrix << 4, 2], 107, "destination names (102)")):
            _, messages = self.ask(request, most=10.0)
            covered = [n for m in messages if m[0] == reply and len(m) >= 6
                       for n in range(m[3] << 8 | m[4], (m[3] << 8 | m[4]) + m[5])]
            total = self.args.sources if reply == 106 else self.args.destinations
            ok = covered == list(range(total)) and all(m[0] == reply for m in messages)
            self.report(ok, "%s: %d names, once each, in order" % (name, total),
                        "%d messages, %d names; first %s" % (len(messages), len(covered),
                                                             show(messages[0]) if messages else "none"))

    def names_updated(self):
        if self.rename is None:
            print("SKIP names updated (30): no console to rename a source", flush=True)
            return
        self.link.inbox = []
        self.rename()
        _, messages = self.link.collect(quiet=3.5, most=6.0)
        found = [m for m in messages if m[0] == 30]
        ok = len(found) == 1 and len(found[0]) == 1 + swp08_rules.NAMES_UPDATED_BYTES
        self.report(ok, "names updated (30) after a rename, with its 8 data bytes", seen(messages))

    def implementation_lists(self):
        answer = self.implementation
        if answer is None or swp08_rules.problems(answer, swp08_rules.ROUTER):
            self.report(False, "98 lists what the router accepts and sends", "no well-formed 98")
            return
        sends, accepts = set(answer[3:3 + answer[1]]), set(answer[3 + answer[1]:])
        missing = sorted(self.accepted - accepts), sorted(self.link.commands_seen - sends)
        self.report(not any(missing), "98 lists what the router accepts and sends",
                    "accepts %s, sends %s; not listed: accepted %s, sent %s"
                    % (hexes(accepts), hexes(sends), hexes(missing[0]), hexes(missing[1])))

    def wire(self):
        link = self.link
        self.report(link.acks == link.sent and not link.naks,
                    "every request ACKed", "%d requests, %d ACK, %d NAK" % (link.sent, link.acks, link.naks))
        shown = "; ".join("%s: %s" % (what, show(raw)) for what, raw in link.problems[:5])
        self.report(not link.problems, "every frame and message as the document allows",
                    "%d problem(s)%s" % (len(link.problems), (": " + shown) if shown else ""))


def crosspoint(command, ml, dest, src=0):
    """Interrogate (1) or connect (2) in the standard form (numbers < 1024)."""
    data = [command, ml, (dest >> 7) << 4 | src >> 7, dest & 0x7F]
    return data + [src & 0x7F] if command == 2 else data


def route_of(m):
    """(destination, source) of a tally or connected message (3 / 4)."""
    return ((m[2] >> 4) & 7) << 7 | m[3], (m[2] & 7) << 7 | m[4]


def dump_span(m):
    """range(first, end) of the destinations of a dump message; None else."""
    head = {22: (2, 3, 1), 23: (2, 3, 2), 151: (3, 4, 2)}.get(m[0])
    if head is None or len(m) < head[1] + head[2]:
        return None
    count, at, width = head
    first = m[at] if width == 1 else m[at] << 8 | m[at + 1]
    return first, first + m[count]


def dump_table(m):
    return (m[1], m[2]) if m[0] == 151 else (m[1] >> 4, m[1] & 0x0F)


def spans(numbers):
    """"0-191 192-255" for runs of consecutive numbers, in the order given."""
    runs = []
    for n in numbers:
        if runs and n == runs[-1][1] + 1:
            runs[-1][1] = n
        else:
            runs.append([n, n])
    return " ".join("%d-%d" % (a, b) if a != b else str(a) for a, b in runs) or "none"


def faults(messages):
    return [(p, m) for m in messages for p in swp08_rules.problems(m, swp08_rules.ROUTER)]


def faults_text(messages):
    found = faults(messages)
    return "; " + "; ".join("%s (%s)" % (p, show(m, 8)) for p, m in found[:3]) if found else ""


def seen(messages):
    return "; ".join(show(m) for m in messages[:4]) + (" ..." if len(messages) > 4 else "") or "nothing"


def hexes(commands):
    return " ".join("%02x" % c for c in sorted(commands)) or "none"


def run_checks(host, port, args, rename=None):
    """Runs every check against the router at host:port; True when all pass."""
    if host not in LOOPBACK:
        raise ValueError("the checker talks to loopback only, not %s" % host)
    link = Link(host, port)
    try:
        return Checks(link, args, rename).run()
    except ConnectionError as e:
        print("FAIL connection: %s" % e, flush=True)
        return False
    finally:
        link.sock.close()


def parser():
    p = argparse.ArgumentParser(description="checks a SW-P-08 router against the document")
    p.add_argument("--levels", type=int, default=1, choices=range(1, 17), metavar="N")
    p.add_argument("--destinations", type=int, default=16)
    p.add_argument("--sources", type=int)
    p.add_argument("--matrix", type=int, default=0, choices=range(16), metavar="M")
    return p


def main():
    p = parser()
    p.add_argument("host")
    p.add_argument("port", type=int)
    args = p.parse_args()
    args.sources = args.sources or args.destinations
    return 0 if run_checks(args.host, args.port, args) else 1


if __name__ == "__main__":
    sys.exit(main())
