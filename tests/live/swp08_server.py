#!/usr/bin/env python3
"""A small SW-P-08 ("General Remote Control", Pro-Bel) router over TCP, written
from public descriptions of the protocol, independent of the project's own
router code: the live tests check the project's client against it.

    swp08_server.py [--sources N] [--destinations M] [--matrix M] [--level L]
                    [--levels N] [--one-name] [--names-data]
                    [--lifetime S] [--sloppy] [--stats]

It listens on 127.0.0.1 on a free port and prints "port N" as its first line.
The TCP stream carries exactly the serial bytes: frames DLE STX, data (command
byte first), byte count, checksum, DLE ETX, with every 10h inside doubled, and
the acknowledgements DLE ACK / DLE NAK. At most 16 clients at once.

Standard input drives the router (one command a line):
    route DEST SRC [LEVEL]  a take made on the router itself (0-based numbers,
                            as on the wire; the first level when left out)
    label SRC TEXT          renames a source; NAMES UPDATED follows 2 s later
    restart MS [DEST SRC]   every connection and the listener close; after MS
                            the router listens again on the same port (with
                            the route DEST SRC changed meanwhile when given)
    stats                   prints the counters (see Stats.line)
    quit                    ends the router
The end of standard input is not a quit: the router runs on until --lifetime
seconds (default 120) have passed, or it is stopped.

--sloppy behaves like the deviating real routers: CONNECTED (04) answers an
interrogate, replies go out before the DLE ACK, a tally dump comes as one
TALLY (03) per destination, no NAMES UPDATED, nothing is ever re-sent, and
names are always 8 characters (length code 1), whatever was asked.
--stats prints the counters once more when the router ends.

--levels N serves levels L..L+N-1 of the matrix (L is --level), each with its
own crosspoints: level L+k starts with destination d fed by source d+k
(modulo the sources); names are the same on every level. --one-name answers
every names request with one name a message. --names-data sends NAMES
UPDATED with its 8 data bytes (swp08_wire.Matrix.names_updated).

Every frame a client sends is read strictly against the public document
(swp08_rules): a frame with a bad count, checksum or DLE, bytes outside
frames, an unknown command or a message of the wrong size or with a field
out of range is a strict violation, counted (strict_violations) and written to
standard error with its bytes, while the router answers as before.
"""
import argparse
import os
import selectors
import signal
import socket
import sys
import time

import swp08_rules
from swp08_wire import Deframer, frame, Matrix

MAX_CLIENTS = 16
RESEND_AFTER = 1.0      # seconds without a DLE ACK before a message is sent again
MAX_RESENDS = 5         # re-sends of one message; then it is given up
NAMES_UPDATED_AFTER = 2.0
SEND_TIMEOUT = 2.0      # a client that takes nothing for this long is dropped
ACK = b"\x10\x06"
NAK = b"\x10\x15"


class Stats:
    """Counters that tests compare, so that they need not read wording."""

    FIELDS = ("connections", "refused", "frames", "bad_frames", "acks_sent", "naks_sent",
              "acks_received", "naks_received", "sent", "resends", "given_up", "invalid",
              "strict_violations")

    def __init__(self):
        for name in self.FIELDS:
            setattr(self, name, 0)

    def line(self):
        """One line "stats name=count ..." in the order of FIELDS."""
        return "stats " + " ".join("%s=%d" % (n, getattr(self, n)) for n in self.FIELDS)


class Client:
    """One connection: its deframer and its queue of messages awaiting DLE ACK.

    Invariant: `pending` is the frame on the wire that awaits its ACK (None
    when nothing does); `queue` holds the frames not yet sent, in order.
    """

    def __init__(self, sock):
        self.sock = sock
        self.deframer = Deframer()
        self.queue = []
        self.pending = None
        self.sent_at = 0.0
        self.resends = 0


class Server:
    def __init__(self, matrix, sloppy, stats, names_data=False):
        self.matrix = matrix
        self.sloppy = sloppy
        self.names_data = names_data
        self.stats = stats
        self.sel = selectors.DefaultSelector()
        self.clients = {}           # socket -> Client
        self.listener = None
        self.port = 0
        self.reopen_at = None
        self.pending_route = None
        self.names_due = None
        self.running = True
        self.listen()

    # -- connections ---------------------------------------------------------

    def listen(self):
        self.listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.listener.bind(("127.0.0.1", self.port))
        self.listener.listen(MAX_CLIENTS)
        self.port = self.listener.getsockname()[1]
        self.sel.register(self.listener, selectors.EVENT_READ, "listener")

    def accept(self):
        sock, _ = self.listener.accept()
        if len(self.clients) >= MAX_CLIENTS:
            self.stats.refused += 1
            sock.close()
            return
        sock.settimeout(SEND_TIMEOUT)
        self.clients[sock] = Client(sock)
        self.sel.register(sock, selectors.EVENT_READ, "client")
        self.stats.connections += 1

    def drop(self, client):
        if client.sock in self.clients:
            self.sel.unregister(client.sock)
            del self.clients[client.sock]
            client.sock.close()

    def close_all(self):
        # The listener first: a client that sees its connection end and
        # connects again at once must be refused, not queued and then reset.
        if self.listener is not None:
            self.sel.unregister(self.listener)
            self.listener.close()
            self.listener = None
        for client in list(self.clients.values()):
            self.drop(client)

    def write(self, client, raw):
        """Writes raw bytes; a client that cannot take them is dropped."""
        try:
            client.sock.sendall(raw)
        except OSError:
            self.drop(client)

    # -- messages out --------------------------------------------------------

    def send(self, client, data):
        """Sends one message. Careful mode: one message at a time, each after
        the DLE ACK of the one before. Sloppy mode: at once, never again."""
        self.stats.sent += 1
        if self.sloppy:
            self.write(client, frame(data))
            return
        client.queue.append(frame(data))
        if client.pending is None:
            self.next_message(client)

    def next_message(self, client):
        client.pending = client.queue.pop(0) if client.queue else None
        client.resends = 0
        if client.pending is not None:
            client.sent_at = time.monotonic()
            self.write(client, client.pending)

    def resend(self, client):
        if client.resends >= MAX_RESENDS:
            self.stats.given_up += 1
            self.next_message(client)
            return
        client.resends += 1
        self.stats.resends += 1
        client.sent_at = time.monotonic()
        self.write(client, client.pending)

    def broadcast_route(self, router, dest, src, requester=None, extended=False):
        """CONNECTED of that level to every client; the requester of an
        extended connect gets the extended form, the others the smallest
        form that fits."""
        for client in list(self.clients.values()):
            in_kind = extended and client is requester
            self.send(client, router.connected(dest, src, in_kind))

    # -- messages in ---------------------------------------------------------

    def receive(self, client):
        try:
            data = client.sock.recv(65536)
        except OSError:
            data = b""
        if not data:
            self.drop(client)
            return
        for event in client.deframer.feed(data):
            if client.sock not in self.clients:
                return
            self.event(client, event)

    def violation(self, what, raw):
        self.stats.strict_violations += 1
        shown = raw[:48].hex(" ") + (" ..." if len(raw) > 48 else "")
        print("strict: %s: %s" % (what, shown), file=sys.stderr, flush=True)

    def event(self, client, event):
        """One deframer event: read strictly, then acted on."""
        kind, data, raw = event
        if kind in ("bad", "junk"):
            self.violation(data, raw)
        elif kind == "frame":
            for problem in swp08_rules.problems(data, swp08_rules.CONTROLLER):
                self.violation(problem, raw)
        if kind == "ack":
            self.stats.acks_received += 1
            if client.pending is not None:
                self.next_message(client)
        elif kind == "nak":
            self.stats.naks_received += 1
            if client.pending is not None:
                self.resend(client)
        elif kind == "bad":
            self.stats.bad_frames += 1
            self.stats.naks_sent += 1
            self.write(client, NAK)
        elif kind == "frame":
            self.stats.frames += 1
            self.request(client, data)

    def request(self, client, data):
        """Answers one good frame: DLE ACK, then the reply (sloppy: reversed)."""
        if not self.sloppy:
            self.stats.acks_sent += 1
            self.write(client, ACK)
        reply = self.matrix.answer(data, self.sloppy)
        if reply.invalid:
            self.stats.invalid += 1
        if reply.take is not None:
            self.broadcast_route(reply.router, reply.take[0], reply.take[1], client, reply.extended)
        for message in reply.messages:
            if client.sock in self.clients:
                self.send(client, message)
        if self.sloppy and client.sock in self.clients:
            self.stats.acks_sent += 1
            self.write(client, ACK)

    # -- the script on standard input ----------------------------------------

    def command(self, line):
        words = line.split(None, 2)
        try:
            if not words:
                return
            if words[0] == "route" and len(line.split()) in (3, 4):
                rest = [int(w) for w in line.split()[1:]]
                router = self.matrix.levels[rest[2]] if len(rest) == 3 else self.matrix.first
                if router.take(rest[0], rest[1]):
                    self.broadcast_route(router, rest[0], rest[1])
            elif words[0] == "label" and len(words) == 3:
                self.matrix.first.source_names[int(words[1])] = words[2]
                if not self.sloppy:
                    self.names_due = time.monotonic() + NAMES_UPDATED_AFTER
            elif words[0] == "restart" and len(words) in (2, 3):
                rest = line.split()
                self.pending_route = (int(rest[2]), int(rest[3])) if len(rest) == 4 else None
                self.reopen_at = time.monotonic() + int(rest[1]) / 1000.0
                self.close_all()
            elif words[0] == "stats":
                print(self.stats.line(), flush=True)
            elif words[0] == "quit":
                self.running = False
            else:
                print("unknown command: %s" % line, file=sys.stderr, flush=True)
        except (ValueError, IndexError, KeyError):
            print("bad command: %s" % line, file=sys.stderr, flush=True)

    def read_stdin(self, state):
        chunk = os.read(sys.stdin.fileno(), 4096)
        if not chunk:
            self.sel.unregister(sys.stdin)
            return
        state[0] += chunk
        while b"\n" in state[0] and self.running:
            line, state[0] = state[0].split(b"\n", 1)
            self.command(line.decode("utf-8", "replace").strip())

    # -- the loop ------------------------------------------------------------

    def timers(self, now):
        if self.listener is None and self.reopen_at is not None and now >= self.reopen_at:
            if self.pending_route:
                self.matrix.first.take(*self.pending_route)
            self.reopen_at = None
            self.listen()
        if self.names_due is not None and now >= self.names_due:
            self.names_due = None
            for client in list(self.clients.values()):
                self.send(client, self.matrix.names_updated(self.names_data))
        for client in list(self.clients.values()):
            if client.pending is not None and now - client.sent_at >= RESEND_AFTER:
                self.resend(client)

    def serve(self, deadline):
        stdin_buffer = [b""]
        try:
            self.sel.register(sys.stdin, selectors.EVENT_READ, "stdin")
        except (ValueError, OSError, PermissionError):
            pass    # no usable standard input (a file or /dev/null): no script
        while self.running and time.monotonic() < deadline:
            for key, _ in self.sel.select(timeout=0.05):
                if key.data == "listener" and self.listener is not None:
                    self.accept()
                elif key.data == "stdin":
                    self.read_stdin(stdin_buffer)
                elif key.fileobj in self.clients:
                    self.receive(self.clients[key.fileobj])
            self.timers(time.monotonic())
        self.close_all()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--sources", type=int, default=16)
    parser.add_argument("--destinations", type=int, default=16)
    parser.add_argument("--matrix", type=int, default=0)
    parser.add_argument("--level", type=int, default=0)
    parser.add_argument("--lifetime", type=float, default=120)
    parser.add_argument("--levels", type=int, default=1)
    parser.add_argument("--one-name", action="store_true")
    parser.add_argument("--names-data", action="store_true")
    parser.add_argument("--sloppy", action="store_true")
    parser.add_argument("--stats", action="store_true")
    args = parser.parse_args()
    if not (1 <= args.sources <= 65535 and 1 <= args.destinations <= 65535
            and 0 <= args.matrix <= 255 and 0 <= args.level <= 255
            and 1 <= args.levels <= 256 - args.level):
        parser.error("sources and destinations are 1..65535, matrix and level 0..255, "
                     "levels 1..256 - level")
    stats = Stats()
    matrix = Matrix(args.sources, args.destinations, args.matrix, args.level, args.levels, args.one_name)
    server = Server(matrix, args.sloppy, stats, args.names_data)
    signal.signal(signal.SIGTERM, lambda *_: setattr(server, "running", False))
    print("port %d" % server.port, flush=True)
    server.serve(time.monotonic() + args.lifetime)
    if args.stats:
        print(stats.line(), flush=True)


if __name__ == "__main__":
    main()
