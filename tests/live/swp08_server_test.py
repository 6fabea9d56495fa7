#!/usr/bin/env python3
"""Checks tests/live/swp08_server.py from outside, as a client on loopback:
it starts the router as a program and speaks SW-P-08 to it with its own small
encoder and decoder (not the router's), so a fault shared by both cannot hide.

    python3 tests/live/swp08_server_test.py
"""
import os
import select
import socket
import subprocess
import sys
import time
import unittest

SERVER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "swp08_server.py")
ACK, NAK = b"\x10\x06", b"\x10\x15"


def encode(data):
    data = bytes(data)
    chk = (0x100 - (sum(data) + len(data)) % 0x100) % 0x100
    body = data + bytes([len(data), chk])
    return b"\x10\x02" + body.replace(b"\x10", b"\x10\x10") + b"\x10\x03"


class Router:
    """The router as a child program; every wait is bounded."""

    def __init__(self, *args):
        self.proc = subprocess.Popen([sys.executable, SERVER, "--lifetime", "60", *args],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.out = b""
        words = self.line().split()
        assert words[0] == "port", words
        self.port = int(words[1])

    def line(self, timeout=5.0):
        deadline = time.monotonic() + timeout
        while b"\n" not in self.out:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                raise AssertionError("no line from the router within %.1f s" % timeout)
            chunk = os.read(self.proc.stdout.fileno(), 4096)
            if not chunk:
                raise AssertionError("the router ended")
            self.out += chunk
        line, self.out = self.out.split(b"\n", 1)
        return line.decode()

    def do(self, command):
        self.proc.stdin.write(command.encode() + b"\n")
        self.proc.stdin.flush()

    def stats(self):
        self.do("stats")
        return {k: int(v) for k, v in (w.split("=") for w in self.line().split()[1:])}

    def close(self):
        try:
            self.do("quit")
            self.proc.wait(timeout=5)
        except (OSError, subprocess.TimeoutExpired):
            self.proc.kill()
            self.proc.wait()
        self.proc.stdin.close()
        self.proc.stdout.close()


class Peer:
    """One client connection with its own deframer."""

    def __init__(self, port, auto_ack=True):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=5)
        self.auto_ack = auto_ack
        self.raw = b""          # every byte received, for byte-exact checks
        self.buf = b""
        self.closed = False

    def send(self, raw):
        self.sock.sendall(raw)

    def event(self, timeout=3.0):
        """The next "ack", "nak" or message (bytes, command first); None when
        nothing arrives within timeout."""
        deadline = time.monotonic() + timeout
        while True:
            found = self._parse()
            if found is not None:
                return found
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            self.sock.settimeout(left)
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                return None
            if not chunk:
                self.closed = True
                return None
            self.raw += chunk
            self.buf += chunk

    def _parse(self):
        b = self.buf
        if len(b) < 2:
            return None
        if b[:2] in (ACK, NAK):
            self.buf = b[2:]
            return "ack" if b[:2] == ACK else "nak"
        assert b[:2] == b"\x10\x02", b.hex(" ")
        i, content = 2, bytearray()
        while i + 1 < len(b):
            if b[i] != 0x10:
                content.append(b[i])
                i += 1
            elif b[i + 1] == 0x10:
                content.append(0x10)
                i += 2
            elif b[i + 1] == 0x03:
                self.buf = b[i + 2:]
                assert content[-2] == len(content) - 2 and sum(content) % 256 == 0, content.hex(" ")
                if self.auto_ack:
                    self.send(ACK)
                return bytes(content[:-2])
            else:
                raise AssertionError("unexpected DLE %02x" % b[i + 1])
        return None

    def message(self, timeout=3.0):
        """The next message, skipping acknowledgements."""
        while True:
            found = self.event(timeout)
            if found not in ("ack", "nak"):
                return found

    def close(self):
        self.sock.close()


class RouterCase(unittest.TestCase):
    ARGS = ("--sources", "200", "--destinations", "200")

    def setUp(self):
        self.router = Router(*self.ARGS)
        self.peers = []

    def tearDown(self):
        for peer in self.peers:
            peer.close()
        self.router.close()

    def peer(self, auto_ack=True):
        self.peers.append(Peer(self.router.port, auto_ack))
        return self.peers[-1]


class FramingTest(RouterCase):
    def test_stuffed_dle_before_etx_does_not_end_a_frame(self):
        peer = self.peer()
        # connect dest 131 src 5: the multiplier 10h is doubled, then 03 follows
        peer.send(bytes.fromhex("10 02 02 00 10 10 03 05 05 E1 10 03"))
        self.assertEqual(peer.event(), "ack")
        self.assertEqual(peer.message(), bytes([4, 0, 0x10, 3, 5]))
        self.assertEqual(peer.raw, ACK + bytes.fromhex("10 02 04 00 10 10 03 05 05 DF 10 03"))

    def test_checksum_10h_is_doubled(self):
        peer = self.peer()
        self.router.do("route 127 104")     # 04 00 00 7F 68, BTC 05: CHK 10h
        self.assertEqual(peer.message(), bytes([4, 0, 0, 127, 104]))
        self.assertEqual(peer.raw, bytes.fromhex("10 02 04 00 00 7F 68 05 10 10 10 03"))

    def test_acknowledgement_inside_a_frame_is_no_part_of_it(self):
        peer = self.peer(auto_ack=False)
        self.router.do("route 3 9")
        self.assertEqual(peer.message(), bytes([4, 0, 0, 3, 9]))
        frame = encode([1, 0, 0, 3])
        peer.send(frame[:4] + ACK + frame[4:])      # ACKs the 04 above
        self.assertEqual(peer.message(), bytes([3, 0, 0, 3, 9]))
        self.assertEqual(self.router.stats()["acks_received"], 1)

    def test_bad_frames_are_refused_and_the_router_goes_on(self):
        cases = {
            "bad checksum": encode([1, 0, 0, 3])[:-3] + b"\x00\x10\x03",
            "bad count": bytes.fromhex("10 02 01 00 00 03 05 F7 10 03"),
            "broken off": bytes.fromhex("10 02 01 00 10 41"),
            "never ends": b"\x10\x02" + b"\x01" * 400,
        }
        peer = self.peer()
        for name, raw in cases.items():
            with self.subTest(name):
                peer.send(b"garbage\x03\x02" + raw)
                self.assertEqual(peer.event(), "nak", name)
                peer.send(encode([1, 0, 0, 3]))
                self.assertEqual(peer.event(), "ack", name)
                self.assertEqual(peer.message(), bytes([3, 0, 0, 3, 3]), name)
        self.assertEqual(self.router.stats()["naks_sent"], len(cases))

    def test_a_close_mid_frame_harms_no_other_client(self):
        gone = self.peer()
        gone.send(b"\x10\x02\x01\x00")
        gone.close()
        self.peers.remove(gone)
        peer = self.peer()
        peer.send(encode([1, 0, 0, 7]))
        self.assertEqual(peer.message(), bytes([3, 0, 0, 7, 7]))

    def test_a_seventeenth_client_is_turned_away(self):
        for _ in range(16):
            self.peer()
        extra = self.peer()
        self.assertIsNone(extra.event(timeout=2.0))
        self.assertTrue(extra.closed)
        self.assertEqual(self.router.stats()["refused"], 1)

    def test_resends_an_unacknowledged_message_five_times_at_most(self):
        peer = self.peer(auto_ack=False)
        self.router.do("route 2 50")
        copies = []
        while True:
            found = peer.event(timeout=1.6)
            if found is None:
                break
            copies.append(found)
        self.assertEqual(copies, [bytes([4, 0, 0, 2, 50])] * 6)
        self.assertEqual(self.router.stats()["resends"], 5)


class CountTest(RouterCase):
    ARGS = ("--sources", "12", "--destinations", "12")

    def test_byte_count_10h_is_doubled(self):
        peer = self.peer()
        peer.send(encode([21, 0]))                   # 22 with 12 tallies: BTC 10h
        data = bytes([22, 0, 12, 0]) + bytes(range(12))
        self.assertEqual(peer.message(), data)
        chk = (0x100 - (sum(data) + 16) % 0x100) % 0x100
        self.assertEqual(peer.raw, ACK + b"\x10\x02" + data + b"\x10\x10" + bytes([chk]) + b"\x10\x03")


class RoutingTest(RouterCase):
    def test_interrogate_answers_tally(self):
        peer = self.peer()
        for dest in (0, 5, 127, 128, 131, 199):
            with self.subTest(dest=dest):
                mult = (dest // 128) << 4
                peer.send(encode([1, 0, mult, dest % 128]))
                src = dest % 200
                self.assertEqual(peer.message(), bytes([3, 0, mult | src // 128, dest % 128, src % 128]))

    def test_connect_is_announced_to_every_client(self):
        first, second = self.peer(), self.peer()
        first.send(encode([2, 0, 0x10, 2, 5]))       # dest 130 src 5
        expected = bytes([4, 0, 0x10, 2, 5])
        self.assertEqual(first.message(), expected)
        self.assertEqual(second.message(), expected)

    def test_tally_dump_of_200_comes_as_words_64_at_a_time(self):
        peer = self.peer()
        peer.send(encode([21, 0]))
        for first, count in ((0, 64), (64, 64), (128, 64), (192, 8)):
            words = b"".join(bytes([0, d % 200]) for d in range(first, first + count))
            self.assertEqual(peer.message(), bytes([23, 0, count, 0, first]) + words)
        self.assertIsNone(peer.message(timeout=0.5))

    def test_restart_closes_and_comes_back_with_the_route_changed(self):
        peer = self.peer()
        self.router.do("restart 300 5 7")
        self.assertIsNone(peer.event(timeout=1.0))
        self.assertTrue(peer.closed)
        deadline = time.monotonic() + 3.0
        while True:                                 # refused until the router is back
            try:
                again = self.peer()
                break
            except ConnectionRefusedError:
                self.assertLess(time.monotonic(), deadline, "the router did not come back")
                time.sleep(0.05)
        again.send(encode([1, 0, 0, 5]))
        self.assertEqual(again.message(), bytes([3, 0, 0, 5, 7]))


class NamesTest(RouterCase):
    def test_all_source_names_come_in_fixed_widths_and_chunks(self):
        peer = self.peer()
        for code, width, per_message in ((0, 4, 32), (1, 8, 16), (2, 12, 10), (3, 16, 8), (4, 32, 4)):
            with self.subTest(code=code):
                peer.send(encode([100, 0, code]))
                first = 0
                while first < 200:
                    count = min(per_message, 200 - first)
                    names = b"".join(("Camera %d" % (n + 1)).encode()[:width].ljust(width)
                                     for n in range(first, first + count))
                    expected = bytes([106, 0, code, 0, first, count]) + names
                    self.assertEqual(peer.message(), expected, "first %d" % first)
                    first += count
                self.assertIsNone(peer.message(timeout=0.3))

    def test_single_names(self):
        peer = self.peer()
        peer.send(encode([101, 0, 1, 0, 150]))
        self.assertEqual(peer.message(), bytes([106, 0, 1, 0, 150, 1]) + b"Camera 1")
        peer.send(encode([103, 0, 2, 0, 9]))
        self.assertEqual(peer.message(), bytes([107, 0, 2, 0, 9, 1]) + b"Monitor 10  ")

    def test_rename_is_followed_by_names_updated(self):
        peer = self.peer()
        self.router.do("label 3 Studio A")
        self.assertEqual(peer.message(timeout=4.0), bytes([30]))
        peer.send(encode([101, 0, 2, 0, 3]))
        self.assertEqual(peer.message(), bytes([106, 0, 2, 0, 3, 1]) + b"Studio A    ")

    def test_unknown_command_is_answered_invalid(self):
        peer = self.peer()
        peer.send(encode([77, 1, 2]))
        self.assertEqual(peer.message(), bytes([99, 77]))


class ExtendedTest(RouterCase):
    ARGS = ("--sources", "2048", "--destinations", "2048")

    def test_numbers_past_1023_use_the_extended_forms(self):
        first, second = self.peer(), self.peer()
        first.send(encode([129, 0, 0, 0x05, 0xDC]))          # dest 1500
        self.assertEqual(first.message(), bytes([131, 0, 0, 0x05, 0xDC, 0x05, 0xDC, 0]))
        first.send(encode([130, 0, 0, 0x07, 0xD0, 0x04, 0x4C]))   # dest 2000 src 1100
        expected = bytes([132, 0, 0, 0x07, 0xD0, 0x04, 0x4C, 0])
        self.assertEqual(first.message(), expected)
        self.assertEqual(second.message(), expected)
        self.router.do("route 1024 1")
        self.assertEqual(second.message(), bytes([132, 0, 0, 4, 0, 0, 1, 0]))
        second.send(encode([2, 0, 0, 1, 2]))                 # small numbers stay standard
        self.assertEqual(second.message(), bytes([4, 0, 0, 1, 2]))

    def test_extended_requests_are_answered_in_kind(self):
        peer = self.peer()
        peer.send(encode([130, 0, 0, 0, 1, 0, 2]))
        self.assertEqual(peer.message(), bytes([132, 0, 0, 0, 1, 0, 2, 0]))
        peer.send(encode([229, 0, 0, 1, 0x04, 0x00]))
        self.assertEqual(peer.message(), bytes([234, 0, 0, 1, 4, 0, 1]) + b"Camera 1")
        peer.send(encode([149, 0, 0]))
        head = peer.message()
        self.assertEqual(head[:6], bytes([151, 0, 0, 64, 0, 0]))
        self.assertEqual(len(head), 6 + 128)


class TableNamesTest(RouterCase):
    """Name replies of a router that is matrix 2, level 3: the level goes with
    source names only; destination names carry the matrix alone."""
    ARGS = ("--matrix", "2", "--level", "3")

    def test_each_name_reply_names_its_table_as_its_form_says(self):
        peer = self.peer()
        cases = (
            ("standard source", [101, 0x23, 2, 0, 4], [106, 0x23, 2, 0, 4, 1], b"Camera 5    "),
            ("standard destination", [103, 0x20, 2, 0, 4], [107, 0x20, 2, 0, 4, 1], b"Monitor 5   "),
            ("extended source", [229, 2, 3, 2, 0, 4], [234, 2, 3, 2, 0, 4, 1], b"Camera 5    "),
            ("extended destination", [231, 2, 2, 0, 4], [235, 2, 2, 0, 4, 1], b"Monitor 5   "),
            ("extended all destinations", [230, 2, 0], [235, 2, 0, 0, 0, 16], b"Mon"),
        )
        for what, request, head, name in cases:
            with self.subTest(what):
                peer.send(encode(request))
                reply = peer.message()
                self.assertEqual(reply[:len(head) + len(name)], bytes(head) + name)
        self.assertEqual(len(reply), 6 + 16 * 4)


class SloppyTest(RouterCase):
    ARGS = ("--sloppy",)

    def test_sloppy_router_deviates_as_real_ones_do(self):
        peer = self.peer(auto_ack=False)
        peer.send(encode([1, 0, 0, 3]))
        self.assertEqual(peer.event(), bytes([4, 0, 0, 3, 3]))   # 04, before the ACK
        self.assertEqual(peer.event(), "ack")
        peer.send(encode([21, 0]))
        for dest in range(16):
            self.assertEqual(peer.message(), bytes([3, 0, 0, dest, dest]))
        peer.send(encode([101, 0, 0, 0, 0]))                   # asks for 4 characters
        self.assertEqual(peer.message(), bytes([106, 0, 1, 0, 0, 1]) + b"Camera 1")
        self.router.do("label 1 Other")
        self.assertIsNone(peer.message(timeout=3.0))            # no 30, no re-sends
        self.assertEqual(self.router.stats()["resends"], 0)


class OneNameTest(RouterCase):
    ARGS = ("--one-name", "--destinations", "20")

    def test_every_names_answer_carries_one_name(self):
        peer = self.peer()
        for request, reply, names, count in (([100, 0, 2], 106, "Camera %d", 16),
                                             ([102, 0, 2], 107, "Monitor %d", 20)):
            with self.subTest(request=request):
                peer.send(encode(request))
                for n in range(count):
                    name = (names % (n + 1)).encode().ljust(12)
                    self.assertEqual(peer.message(), bytes([reply, 0, 2, 0, n, 1]) + name, n)
                self.assertIsNone(peer.message(timeout=0.3))


class LevelsTest(RouterCase):
    """Levels 0..2: level k starts with destination d fed by source d + k."""
    ARGS = ("--levels", "3")

    def test_each_level_has_its_own_crosspoints(self):
        peer = self.peer()
        peer.send(encode([2, 0x01, 0, 4, 9]))                   # level 1: dest 4 <- src 9
        self.assertEqual(peer.message(), bytes([4, 0x01, 0, 4, 9]))
        cases = (
            ("level 0 untouched", [1, 0x00, 0, 4], [3, 0x00, 0, 4, 4]),
            ("level 1 taken", [1, 0x01, 0, 4], [3, 0x01, 0, 4, 9]),
            ("level 2", [1, 0x02, 0, 4], [3, 0x02, 0, 4, 6]),
            ("extended level 2", [129, 0, 2, 0, 4], [131, 0, 2, 0, 4, 0, 6, 0]),
            ("dump of level 2", [21, 0x02], [22, 0x02, 16, 0] + [(d + 2) % 16 for d in range(16)]),
            ("extended connect on level 2", [130, 0, 2, 0, 5, 0, 1], [132, 0, 2, 0, 5, 0, 1, 0]),
            ("extended dump of level 2", [149, 0, 2], [151, 0, 2, 16, 0, 0]
             + [b for d in range(16) for b in (0, 1 if d == 5 else (d + 2) % 16)]),
        )
        for what, request, reply in cases:
            with self.subTest(what):
                peer.send(encode(request))
                self.assertEqual(peer.message(), bytes(reply))
        self.router.do("route 3 1 2")
        self.assertEqual(peer.message(), bytes([4, 0x02, 0, 3, 1]))
        self.assertIsNone(peer.message(timeout=0.3))


class NamesDataTest(RouterCase):
    ARGS = ("--names-data", "--matrix", "2")

    def test_names_updated_carries_eight_data_bytes(self):
        peer = self.peer()
        self.router.do("label 3 Studio A")
        self.assertEqual(peer.message(timeout=4.0), bytes([30, 0, 0x04, 0x01, 0, 0, 0, 0, 0]))


class StrictReaderTest(RouterCase):
    def test_counts_every_message_the_document_does_not_allow(self):
        peer = self.peer()
        cases = {
            "interrogate a byte short": encode([1, 0, 0]),
            "destination MOD 128 above 127": encode([1, 0, 0, 0x80]),
            "length code 5": encode([100, 0, 5]),
            "a command only a router sends": encode([3, 0, 0, 1, 1]),
            "bad checksum": encode([1, 0, 0, 3])[:-3] + b"\x00\x10\x03",
            "bytes outside a frame": b"\x00\x01" + encode([1, 0, 0, 3]),
        }
        for what, raw in cases.items():
            with self.subTest(what):
                before = self.router.stats()["strict_violations"]
                peer.send(raw)
                self.assertIsNotNone(peer.event(), what)
                while peer.event(timeout=0.3) is not None:
                    pass
                self.assertEqual(self.router.stats()["strict_violations"], before + 1, what)
        peer.send(encode([1, 0, 0, 3]) + encode([149, 0, 0]) + encode([231, 0, 2, 0, 9]))
        before = self.router.stats()["strict_violations"]
        self.assertEqual(peer.message(), bytes([3, 0, 0, 3, 3]))
        self.assertEqual(self.router.stats()["strict_violations"], before)


if __name__ == "__main__":
    unittest.main()
