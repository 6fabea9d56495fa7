#!/usr/bin/env python3
"""Checks the message layouts of tests/live/swp08_rules.py, which the test
router's strict reader and the router checker both rely on: each limit of
the document must let the right message through and catch the wrong one.

    python3 tests/live/swp08_rules_test.py
"""
import unittest

from swp08_rules import CONTROLLER, ROUTER, problems


def words(count, first=0):
    return [b for n in range(first, first + count) for b in (n >> 8, n & 0xFF)]


# (what, sender, message, a word of the expected problem or None when right)
CASES = (
    ("interrogate", CONTROLLER, [1, 0x01, 0x10, 5], None),
    ("interrogate a byte short", CONTROLLER, [1, 0, 0], "document gives 4"),
    ("connect source MOD 128 above 127", CONTROLLER, [2, 0, 0, 1, 0x80], "above 7Fh"),
    ("all source names, length code 5", CONTROLLER, [100, 0, 5], "length code 5"),
    ("extended single destination name", CONTROLLER, [231, 0, 4, 0, 9], None),
    ("a controller sending tally", CONTROLLER, [3, 0, 0, 1, 1], "not one a controller sends"),
    ("a known command left unchecked", CONTROLLER, [10, 0, 0, 1], None),
    ("tally", ROUTER, [3, 0, 0x11, 2, 3], None),
    ("dual status, active master", ROUTER, [9, 0x02, 0], None),
    ("dual status with a stray bit", ROUTER, [9, 0x06, 0], "bits beyond"),
    ("byte dump up to 191", ROUTER, [22, 0, 2, 190, 190, 191], None),
    ("byte dump of destination 192", ROUTER, [22, 0, 2, 191, 1, 1], "above 191"),
    ("byte dump of source 200", ROUTER, [22, 0, 1, 0, 200], "above 191"),
    ("byte dump count wrong", ROUTER, [22, 0, 3, 0, 1, 1], "for a count"),
    ("word dump of 64", ROUTER, [23, 0, 64, 0, 0] + words(64), None),
    ("word dump of 65", ROUTER, [23, 0, 65, 0, 0] + words(65), "at most 64"),
    ("extended dump of 63", ROUTER, [151, 0, 0, 63, 1, 0] + words(63), None),
    ("extended dump of 64", ROUTER, [151, 0, 0, 64, 1, 0] + words(64), "at most 63"),
    ("names updated with its data", ROUTER, [30, 0, 1, 1, 0, 0, 0, 0, 0], None),
    ("names updated bare", ROUTER, [30], "document gives 9"),
    ("implementation answer", ROUTER, [98, 2, 1, 1, 2, 3], None),
    ("implementation answer short of its counts", ROUTER, [98, 2, 2, 1, 2, 3], "two counts"),
    ("16 names of 8", ROUTER, [106, 0, 1, 0, 0, 16] + [65] * 128, None),
    ("17 names of 8", ROUTER, [106, 0, 1, 0, 0, 17] + [65] * 136, "at most 16"),
    ("names shorter than their count", ROUTER, [107, 0, 0, 0, 0, 2] + [65] * 4, "2 names of 4"),
    ("extended source names", ROUTER, [234, 0, 2, 4, 0, 0, 1] + [66] * 32, None),
    ("extended connected with status", ROUTER, [132, 0, 0, 4, 0, 0, 1, 0], None),
    ("a router sending connect", ROUTER, [2, 0, 0, 1, 1], "not one a router sends"),
)


class RulesTest(unittest.TestCase):
    def test_each_limit_lets_through_the_right_message_and_catches_the_wrong(self):
        for what, sender, message, expected in CASES:
            with self.subTest(what):
                found = problems(bytes(message), sender)
                if expected is None:
                    self.assertEqual(found, [], what)
                else:
                    self.assertTrue(any(expected in p for p in found), "%s: %s" % (what, found))


if __name__ == "__main__":
    unittest.main()
