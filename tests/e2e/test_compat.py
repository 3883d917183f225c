"""End-to-end compatibility matrix: haltix under each Windows version that Wine can report.

Wine reports the version set in HKCU\\Software\\Wine\\AppDefaults\\haltix.exe\\Version to
haltix alone.  On the NT family haltix works normally: an immediate action, and a countdown
whose notice runs out.  On Windows 95, 98 and Me it only shows its refusal, whatever the
command line.

Run it like test_e2e.py, with the same options (it uses that module's harness and settings):

    python3 tests/e2e/test_compat.py --haltix build/mingw/haltix.exe \
        --probe build/mingw/tests/e2e/probe.exe --build-dir build/mingw [unittest options]
"""

import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import test_e2e as e2e  # noqa: E402

NT_FAMILY = ["nt40", "win2k", "winxp", "win7", "win10"]
WINDOWS_9X = ["win95", "win98", "winme"]

COUNTDOWN_SECONDS = 2
COUNTDOWN_CMDLINE = b"haltix.exe /r /t:%d" % COUNTDOWN_SECONDS


def countdown_label(seconds):
    # 残り (remaining), the count, 秒 (seconds), in code page 932.
    return "残り {} 秒".format(seconds).encode("cp932")


def default_notice_bytes():
    path = os.path.join(e2e.REPO, "tests", "data", "default_notice_text.utf8.txt")
    with open(path, encoding="utf-8") as f:
        return f.read().rstrip("\r\n").encode("cp932")


# What each version family does with each command line: "at-once" (ExitWindowsEx(flags, 0),
# no box), "countdown" (the notice counts down and runs out, then ExitWindowsEx(flags, 0)) or
# "refusal" (the refusal box alone).
MATRIX = [(version, b"haltix.exe /s", "at-once", e2e.EWX_SHUTDOWN) for version in NT_FAMILY] + \
         [(version, COUNTDOWN_CMDLINE, "countdown", e2e.EWX_REBOOT) for version in NT_FAMILY] + \
         [(version, cmdline, "refusal", None) for version in WINDOWS_9X
          for cmdline in (b"haltix.exe", b"haltix.exe /s", COUNTDOWN_CMDLINE)]

ANSWER_BOX = ["wait-box", e2e.BOX_TIMEOUT_MS, "press", "wait-exit", e2e.EXIT_TIMEOUT_MS]
WAIT_EXIT = ["wait-exit", e2e.EXIT_TIMEOUT_MS]
# The notice is watched until it goes away; the deadline only bounds a failing run.
WATCH_COUNTDOWN = ["wait-box", e2e.BOX_TIMEOUT_MS, "watch-button", e2e.EXIT_TIMEOUT_MS,
                   "wait-exit", e2e.EXIT_TIMEOUT_MS]


def setUpModule():
    e2e.setUpModule()


def tearDownModule():
    e2e.tearDownModule()


class CompatibilityTests(e2e.HaltixTestCase):
    def exe_name(self):
        return os.path.basename(e2e.Config.haltix)

    def tearDown(self):
        e2e.ENV.set_windows_version(None, self.exe_name())

    def assert_countdown_ran_out(self, run, flags):
        """One notice with the default text, its button counting down from the given seconds;
        nobody answers, the notice goes, and haltix asks for the action once."""
        boxes = run.boxes()
        self.assertEqual(len(boxes), 1, self.context())
        box = boxes[0]
        self.assertEqual(box["box"].bytes("caption"), e2e.CAPTION, self.context())
        texts = [s.bytes("text") for s in box["statics"] if s["kind"] == "text"]
        self.assertEqual(texts, [default_notice_bytes()], self.context())
        # The labels the shown button had (a read while the box is being destroyed gives none).
        labels = [b.bytes("text") for b in run.all("button") if b["index"] == "0" and b["visible"] == "1"]
        self.assertIn(countdown_label(COUNTDOWN_SECONDS), labels, self.context())
        allowed = {b"OK"} | {countdown_label(n) for n in range(COUNTDOWN_SECONDS, -1, -1)}
        self.assertLessEqual(set(labels), allowed, self.context())
        self.assert_exited(run, 0)
        calls = run.calls("ExitWindowsEx")
        self.assertEqual([(c.int_arg(0), c.int_arg(1), c.retval) for c in calls], [(flags, 0, 1)],
                         self.context())
        notices = run.calls("MessageBoxA")
        self.assertEqual(len(notices), 1, self.context())
        self.assertEqual(notices[0].int_arg(3), e2e.MB_ICONERROR, self.context())

    def test_windows_versions(self):
        for version, cmdline, outcome, flags in MATRIX:
            with self.subTest(version=version, cmdline=cmdline, outcome=outcome):
                e2e.ENV.set_windows_version(version, self.exe_name())
                if outcome == "at-once":
                    run = self.run_haltix(cmdline, WAIT_EXIT)
                    self.assert_acts_at_once(run, flags)
                elif outcome == "countdown":
                    run = self.run_haltix(cmdline, WATCH_COUNTDOWN)
                    self.assert_countdown_ran_out(run, flags)
                else:
                    run = self.run_haltix(cmdline, ANSWER_BOX)
                    self.assert_single_box(run, e2e.NT_ONLY_TEXT, "error", e2e.MB_ICONERROR)
                    self.assert_no_shutdown(run)


def main():
    rest = e2e.configure(sys.argv[1:])
    unittest.main(module=__name__, argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
