"""End-to-end tests of the countdown notice: the real haltix.exe under Wine, driven by probe.exe.

With /t:N the notice (the /m: text or the default one, caption "haltix", stop icon, one button)
counts down on its button, once a second; answering it cancels, letting it run out asks for
the action. With /u its button and window-menu item 1 are disabled instead.

Run it like test_e2e.py, with the same options (it uses that module's harness and settings):

    python3 tests/e2e/test_countdown.py --haltix build/mingw/haltix.exe \
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
# Watches the button until the notice goes away; the deadline only bounds a failing run.
WATCH_TO_END = ["watch-button", e2e.EXIT_TIMEOUT_MS] + WAIT_EXIT

COUNTDOWN_SECONDS = 3
COUNTING = b"haltix.exe /r /t:%d" % COUNTDOWN_SECONDS
LOCKED = COUNTING + b" /u"
GROWTH_EACH_SIDE = 20


def setUpModule():
    e2e.setUpModule(relay=nc.RELAY)


def tearDownModule():
    e2e.tearDownModule()


class CountdownTests(nc.NoticeTestCase):
    # The counting and the locked notice, each run once and checked by several tests.
    _runs = {}

    def shared_run(self, name):
        if name not in self._runs:
            if name == "counting":
                steps = BOX + ["sysmenu"] + WATCH_TO_END
                self._runs[name] = self.run_haltix(COUNTING, steps)
            else:
                # The click comes while the button still reads its own caption.
                steps = BOX + ["read-button", "sysmenu", "press"] + WATCH_TO_END
                self._runs[name] = self.run_haltix(LOCKED, steps)
        self._last_run = self._runs[name]
        return self._last_run

    def locked_button_rect(self):
        """The notice's button as the box laid it out: /u leaves it in place."""
        rects = {e.rect() for e in nc.button_readings(self.shared_run("locked"))}
        self.assertEqual(len(rects), 1, "the button moved under /u" + self.context())
        return rects.pop()

    def menu_items(self, run):
        """The window menu's items: position -> greyed ("0"/"1")."""
        fields = run.first("sysmenu").fields
        count = int(fields["count"])
        return {pos: fields["item%d" % pos].split(",")[2] for pos in range(count)}

    def test_counts_down_then_acts(self):
        run = self.shared_run("counting")
        self.assert_notice(run, nc.default_notice_bytes())
        # 3, 2, 1 a second apart; a last tick may show 0 just as the time runs out.
        self.assert_counts_down(run, COUNTDOWN_SECONDS, ticks=COUNTDOWN_SECONDS - 1)
        self.assertLessEqual(len(nc.labels(run)), COUNTDOWN_SECONDS + 1, self.context())
        self.assertTrue(all(e["enabled"] == "1" for e in nc.button_readings(run)), self.context())
        self.assertEqual(len(run.calls("MoveWindow")), 1, self.context())
        self.assert_acted_after_notice(run, e2e.EWX_REBOOT)

    def test_button_is_widened_by_twenty_pixels_each_side(self):
        left, top, right, bottom = self.locked_button_rect()
        run = self.shared_run("counting")
        rects = {e.rect() for e in nc.button_readings(run)}
        self.assertEqual(rects, {(left - GROWTH_EACH_SIDE, top, right + GROWTH_EACH_SIDE, bottom)},
                         self.context())

    def test_locked_notice(self):
        run = self.shared_run("locked")
        self.assert_notice(run, nc.default_notice_bytes())
        readings = nc.button_readings(run)
        # Disabled from the moment it is locked (a reading may come just before), and for good.
        first_disabled = next(i for i, e in enumerate(readings) if e["enabled"] == "0")
        self.assertTrue(all(e["enabled"] == "0" for e in readings[first_disabled:]), self.context())
        self.assertEqual(readings[first_disabled].bytes("text"), b"OK", self.context())
        # No label of its own until the first tick, which writes N-1; the count then goes on.
        texts = [text for _, text, _ in nc.labels(run)]
        self.assertEqual(texts[0], b"OK", self.context())
        self.assertEqual(texts[1:], [nc.countdown_label(COUNTDOWN_SECONDS - 1 - i) for i in range(len(texts) - 1)],
                         self.context())
        self.assertGreaterEqual(len(texts), COUNTDOWN_SECONDS, self.context())
        self.assert_tick_spacing([t for t, _, _ in nc.labels(run)[1:]])
        calls = [func for kind, func in nc.relay_order(run) if kind == "Call"]
        self.assertEqual(calls.count("MoveWindow"), 0, self.context())
        self.assertLess(calls.index("SetTimer"), calls.index("SetWindowTextA"), self.context())
        # Only window-menu item 1 (Move, under Wine) is greyed, compared with the counting notice.
        locked = self.menu_items(run)
        counting = self.menu_items(self.shared_run("counting"))
        self._last_run = run
        self.assertEqual(locked[nc.MENU_MOVE], "1", self.context())
        self.assertEqual(counting[nc.MENU_MOVE], "0", self.context())
        self.assertEqual({p: g for p, g in locked.items() if p != nc.MENU_MOVE},
                         {p: g for p, g in counting.items() if p != nc.MENU_MOVE}, self.context())
        # The real click on the disabled button did not end it: it counted on, then acted.
        press = run.first("press")
        self.assertEqual(press["sent"], "3", self.context())
        self.assertTrue(any(e.t > press.t and e.bytes("text") == nc.countdown_label(1) for e in readings),
                        "the notice did not count on after the click" + self.context())
        self.assert_acted_after_notice(run, e2e.EWX_REBOOT)

    def test_answered_after_a_second(self):
        run = self.run_haltix(b"haltix.exe /r /t:%d" % nc.LONG_WAIT_SECONDS,
                              BOX + ["sleep", 1000, "press"] + WAIT_EXIT)
        self.assert_notice(run, nc.default_notice_bytes())
        # It ends long before its minute is up, without asking for anything.
        self.assert_no_action(run)
        self.assert_quiet_after_answer(run)

    def test_message_texts(self):
        japanese = "再起動します。".encode("cp932")
        cases = [
            ("quoted, with blanks", b'haltix.exe /r /t:60 "/m:Bye now"', b"Bye now"),
            ("empty", b"haltix.exe /r /t:60 /m:", b""),
            ("Japanese", b"haltix.exe /r /t:60 /m:" + japanese, japanese),
        ]
        for name, cmdline, text in cases:
            with self.subTest(name, cmdline=cmdline):
                run = self.run_haltix(cmdline, BOX + ["press"] + WAIT_EXIT)
                self.assert_notice(run, text)
                self.assertEqual(self.notice(run)["buttons"][0].bytes("text"), nc.countdown_label(60),
                                 self.context())
                self.assert_no_action(run)

    def test_lengths_beyond_one_wait_and_below_zero(self):
        # 4294968 s makes more milliseconds than one wait can take; a negative length waits
        # for the answer. Neither acts within the seconds watched; both count on.
        for seconds in (4294968, -5):
            with self.subTest(seconds=seconds):
                run = self.run_haltix(b"haltix.exe /r /t:%d" % seconds,
                                      BOX + ["watch-button", 3000, "press"] + WAIT_EXIT)
                self.assertIsNone(run.first("gone"), "the notice went away by itself" + self.context())
                self.assert_counts_down(run, seconds, ticks=2)
                self.assert_no_action(run)
                self.assert_quiet_after_answer(run)


class TwoCopiesTests(nc.NoticeTestCase):
    """Each haltix touches only the notice of its own notice thread."""

    def assert_adapted_own_button_once(self, run):
        own = {e["hwnd"] for e in nc.button_readings(run)}
        self.assertEqual(len(own), 1, self.context())
        targets = [(c.func, "0x%x" % c.int_arg(0)) for c in run.calls() if c.func in ("MoveWindow", "SetWindowTextA")]
        self.assertEqual(targets[0], ("MoveWindow", own.pop()), self.context())
        self.assertEqual({hwnd for _, hwnd in targets}, {targets[0][1]}, self.context())
        self.assertEqual([func for func, _ in targets].count("MoveWindow"), 1, self.context())

    def test_two_countdowns_at_once(self):
        first, second = nc.run_side_by_side(
            lambda on_pause: self.run_haltix(b"haltix.exe /r /t:4", BOX + ["pause"] + WATCH_TO_END,
                                             on_pause=on_pause),
            lambda: self.run_haltix(b"haltix.exe /p /t:3", BOX + WATCH_TO_END))
        for run, seconds, flags in ((first, 4, e2e.EWX_REBOOT), (second, 3, e2e.EWX_POWEROFF)):
            self._last_run = run
            self.assert_notice(run, nc.default_notice_bytes())
            self.assert_counts_down(run, seconds, ticks=seconds - 1)
            self.assert_adapted_own_button_once(run)
            self.assert_acted_after_notice(run, flags)
        # Two buttons, each widened once: the same place on two same notices, never moved again.
        rects = [{e.rect() for e in nc.button_readings(run)} for run in (first, second)]
        self.assertEqual(rects[0], rects[1], self.context())
        self.assertEqual(len(rects[0]), 1, self.context())
        self.assertNotEqual(nc.button_readings(first)[0]["hwnd"], nc.button_readings(second)[0]["hwnd"])

    def test_countdown_beside_a_usage_box(self):
        # The usage box is watched for longer than the countdown started beside it lasts.
        usage, countdown = nc.run_side_by_side(
            lambda on_pause: self.run_haltix(b"haltix.exe", BOX + ["pause", "watch-button", 8000, "bm-click"]
                                             + WAIT_EXIT, on_pause=on_pause),
            lambda: self.run_haltix(b"haltix.exe /r /t:2", BOX + WATCH_TO_END))
        self._last_run = usage
        readings = nc.button_readings(usage)
        self.assertEqual({(e.bytes("text"), e["enabled"], e.rect(), e["hwnd"]) for e in readings},
                         {(b"OK", "1", readings[0].rect(), readings[0]["hwnd"])}, self.context())
        self.assert_exited(usage, 0)
        self.assert_no_shutdown(usage)
        self._last_run = countdown
        self.assert_notice(countdown, nc.default_notice_bytes())
        self.assert_counts_down(countdown, 2, ticks=1)
        self.assert_adapted_own_button_once(countdown)
        self.assert_acted_after_notice(countdown, e2e.EWX_REBOOT)


def main():
    rest = e2e.configure(sys.argv[1:])
    unittest.main(module=__name__, argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
