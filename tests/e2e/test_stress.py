"""End-to-end stress tests of the countdown notice and of odd command lines, under Wine.

The notice is answered at many moments of its set-up and by every way Wine offers; command
lines go to the edges of length, code page 932 and separators. Every run is bounded: a run
that hangs fails at its deadline.

Run it like test_e2e.py, with the same options (it uses that module's harness and settings):

    python3 tests/e2e/test_stress.py --haltix build/mingw/haltix.exe \
        --probe build/mingw/tests/e2e/probe.exe --build-dir build/mingw [unittest options]
"""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import notice_checks as nc  # noqa: E402
import test_e2e as e2e  # noqa: E402

BOX = ["wait-box", e2e.BOX_TIMEOUT_MS]
WAIT_EXIT = ["wait-exit", e2e.EXIT_TIMEOUT_MS]
WATCH_TO_END = ["watch-button", e2e.EXIT_TIMEOUT_MS] + WAIT_EXIT

# The longest text the notice takes: an argument holds 4096 bytes, "/m:" included.
LONGEST_TEXT = 4093


def setUpModule():
    e2e.setUpModule(relay=nc.RELAY)


def tearDownModule():
    e2e.tearDownModule()


def words(length):
    """Blank-separated numbered words, cut to length bytes: a text the box wraps, in which
    every cut point is told apart."""
    text = b"".join(b"w%05d " % i for i in range(length // 7 + 1))
    return text[:length]


class AnswerTests(nc.NoticeTestCase):
    def test_answered_at_any_moment_of_the_set_up(self):
        # From the moment the window exists (before it shows, while haltix finds and adapts it,
        # while the ticker starts) to well into the wait. WM_COMMAND IDOK and SC_CLOSE are
        # posted, so they need no button yet; BM_CLICK needs the shown box.
        moments = [("wait-window", delay, answer) for delay, answer in
                   zip((0, 10, 20, 40, 70, 100, 150, 220, 300), ("command-ok", "close") * 5)]
        moments += [("wait-box", 0, "bm-click"), ("wait-box", 300, "bm-click")]
        for anchor, delay, answer in moments:
            with self.subTest(anchor=anchor, delay=delay, answer=answer):
                run = self.run_haltix(b"haltix.exe /r /t:5",
                                      [anchor, e2e.BOX_TIMEOUT_MS, "sleep", delay, answer] + WAIT_EXIT)
                self.assert_no_action(run)
                self.assert_quiet_after_answer(run)

    def test_answered_around_the_first_tick(self):
        # The first tick comes about a second after the notice shows: answers just before,
        # at and just after it.
        for delay in (920, 970, 1020):
            with self.subTest(delay=delay):
                run = self.run_haltix(b"haltix.exe /r /t:5", BOX + ["sleep", delay, "bm-click"] + WAIT_EXIT)
                self.assert_no_action(run)
                self.assert_quiet_after_answer(run)

    def test_nothing_ticks_after_a_cancel(self):
        run = self.run_haltix(b"haltix.exe /r /t:5", BOX + ["watch-button", 1500, "bm-click"] + WAIT_EXIT)
        self.assert_counts_down(run, 5, ticks=1)
        self.assert_no_action(run)
        # The box goes with the answer, so the probe has no button left to watch; the relay log
        # shows that no label was written after the answer and the timer was stopped, and the
        # process ended.
        self.assert_quiet_after_answer(run)
        calls = [func for kind, func in nc.relay_order(run) if kind == "Call"]
        self.assertEqual(calls[-1], "ExitProcess", self.context())

    def test_keyboard_and_close(self):
        # Without /u every way of answering cancels. With /u the program means the notice to
        # be impossible to end: it disables the button and window-menu item 1. Under Wine the
        # box still ends on Enter (it returns IDOK though its button is disabled), on Escape and
        # Alt+F4, and on SC_CLOSE (Close is item 6, left enabled; all three return IDCANCEL).
        # That Wine behaviour is what is asserted here; only the click on the disabled button
        # is ignored, as intended.
        cases = [(unstoppable, answer, "ends" if answer != "press" or not unstoppable else "counts on")
                 for unstoppable in (False, True)
                 for answer in ("type-enter", "type-escape", "type-alt-f4", "close", "press")]
        for unstoppable, answer, outcome in cases:
            cmdline = b"haltix.exe /r /t:2" + (b" /u" if unstoppable else b"")
            with self.subTest(cmdline=cmdline, answer=answer, outcome=outcome):
                run = self.run_haltix(cmdline, BOX + ["sleep", 300, "read-button", answer] + WAIT_EXIT)
                before = run.all("button")[-1]
                self.assertEqual(before["enabled"], "0" if unstoppable else "1", self.context())
                if outcome == "ends":
                    self.assert_no_action(run)
                    self.assert_quiet_after_answer(run)
                else:
                    self.assert_acted_after_notice(run, e2e.EWX_REBOOT)


# Each command line with the road it takes: "usage" (the usage box), "at-once" (the action
# without a box) or "notice" (the notice with the given text, run out, then the action).
# Where Wine changes the bytes on their way to haltix, "received" says what arrives.
NOTICE_WORDS = words(32700 - 24)
CASES = [
    dict(name="near the length limit, at once",
         cmdline=b"haltix.exe /s /m:" + b"x" * 32000, road="at-once", flags=e2e.EWX_SHUTDOWN),
    dict(name="near the length limit, the text cut",
         cmdline=b'haltix.exe /r /t:1 "/m:' + NOTICE_WORDS + b'"', road="notice",
         text=NOTICE_WORDS[:LONGEST_TEXT], flags=e2e.EWX_REBOOT),
    dict(name="a 5000-byte text",
         cmdline=b'haltix.exe /r /t:1 "/m:' + words(5000) + b'"', road="notice",
         text=words(LONGEST_TEXT), flags=e2e.EWX_REBOOT),
    # The rest of a cut argument is read as a token of its own: here "/s", which wins over /r.
    dict(name="a switch right after the cut",
         cmdline=b'haltix.exe /r /t:1 "/m:' + words(LONGEST_TEXT) + b'/s"', road="notice",
         text=words(LONGEST_TEXT), flags=e2e.EWX_SHUTDOWN),
    # The cut falls inside a double-byte character: haltix hands over 2046 characters and a
    # lead byte, which Wine leaves out of the box.
    dict(name="a Japanese text cut inside a character",
         cmdline=b"haltix.exe /r /t:1 /m:" + "あ".encode("cp932") * 2500, road="notice",
         text="あ".encode("cp932") * 2046, flags=e2e.EWX_REBOOT),
    # Wine turns a lead byte with a byte that cannot follow it into one character (・), the
    # "/" included, and drops a lead byte at the very end.
    dict(name="a lone lead byte before /s", cmdline=b"haltix.exe \x81/s",
         received=b"haltix.exe \x81\x45s", road="usage"),
    dict(name="a lone lead byte after /s", cmdline=b"haltix.exe /s\x81",
         received=b"haltix.exe /s", road="at-once", flags=e2e.EWX_SHUTDOWN),
    dict(name="control bytes between switches", cmdline=b"haltix.exe\x01/p\x1f/f\t/t:0\r\n\x0b",
         road="at-once", flags=e2e.EWX_POWEROFF | e2e.EWX_FORCE),
    dict(name="an unclosed quote", cmdline=b'haltix.exe "/m:abc /s', road="usage"),
]


class CommandLineTests(nc.NoticeTestCase):
    def test_odd_command_lines(self):
        usage, _ = e2e.expected_usage_bytes()
        for case in CASES:
            cmdline, road = case["cmdline"], case["road"]
            with self.subTest(case["name"], length=len(cmdline), road=road):
                if road == "usage":
                    steps = ["cmdline"] + BOX + ["press"] + WAIT_EXIT
                elif road == "at-once":
                    steps = ["cmdline"] + WAIT_EXIT
                else:
                    steps = ["cmdline"] + BOX + WATCH_TO_END
                run = self.run_haltix(cmdline, steps)
                self.assertEqual(run.first("cmdline").bytes("text"), case.get("received", cmdline),
                                 self.context())
                if road == "usage":
                    self.assert_single_box(run, usage, "information", e2e.MB_ICONINFORMATION)
                    self.assert_no_shutdown(run)
                elif road == "at-once":
                    self.assert_acts_at_once(run, case["flags"])
                else:
                    # A long text makes a box taller than the screen; its icon is not checked.
                    box = self.notice(run)
                    self.assertEqual([s.bytes("text") for s in box["statics"] if s["kind"] == "text"],
                                     [case["text"]], self.context())
                    self.assertEqual(len(box["buttons"]), 1, self.context())
                    self.assert_acted_after_notice(run, case["flags"])


def main():
    rest = e2e.configure(sys.argv[1:])
    unittest.main(module=__name__, argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
