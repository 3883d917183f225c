"""End-to-end tests: the real haltix.exe under Wine, driven by probe.exe.

Run directly (this is what CTest does):

    python3 tests/e2e/test_e2e.py --haltix build/mingw/haltix.exe \
        --probe build/mingw/tests/e2e/probe.exe --build-dir build/mingw [unittest options]

or as "python3 -m unittest test_e2e" from tests/e2e with the same settings in the environment
(HALTIX_E2E_HALTIX, HALTIX_E2E_PROBE, HALTIX_E2E_BUILD_DIR).  Without --probe, probe.exe and
probehook.dll are built from this folder's sources into the build directory when missing or
older than their sources.

One Xvfb, one Wine prefix (under the build directory, kept between runs) and one wineserver
serve every test.  When any of them cannot be had, every test fails; none is skipped.
"""

import argparse
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import wineenv  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))

# Generous deadlines for things that must happen; they only bound a failing test.
BOX_TIMEOUT_MS = 20000
EXIT_TIMEOUT_MS = 20000

CAPTION = b"haltix"
NT_ONLY_TEXT = b"This program runs under Windows NT/2000 only."
MB_ICONERROR = 0x10
MB_ICONINFORMATION = 0x40
MB_ICONMASK = 0xF0
TOKEN_ADJUST_PRIVILEGES_QUERY = 0x28
EWX_LOGOFF, EWX_SHUTDOWN, EWX_REBOOT, EWX_FORCE, EWX_POWEROFF = 0, 1, 2, 4, 8

PRIVILEGE_SEQUENCE = ["OpenProcessToken", "LookupPrivilegeValueA", "AdjustTokenPrivileges", "ExitWindowsEx"]


class Config:
    haltix = None
    probe = None
    build_dir = None
    usage_text = None
    display = None
    fresh_prefix = False


def configure(argv):
    """Read the settings from argv and the environment; returns the arguments left for unittest."""
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--haltix", default=os.environ.get("HALTIX_E2E_HALTIX"))
    parser.add_argument("--probe", default=os.environ.get("HALTIX_E2E_PROBE"))
    parser.add_argument("--build-dir", default=os.environ.get("HALTIX_E2E_BUILD_DIR"))
    parser.add_argument("--usage-text", default=os.environ.get("HALTIX_E2E_USAGE_TEXT"),
                        help="expected usage text, UTF-8 with LF line ends (default: tests/data/usage_text.utf8.txt)")
    parser.add_argument("--display", default=os.environ.get("HALTIX_E2E_DISPLAY"),
                        help="use this X display instead of a private Xvfb")
    parser.add_argument("--fresh-prefix", action="store_true", help="make the Wine prefix anew")
    args, rest = parser.parse_known_args(argv)
    Config.build_dir = os.path.abspath(args.build_dir or os.path.join(REPO, "build", "mingw"))
    Config.haltix = os.path.abspath(args.haltix or os.path.join(Config.build_dir, "haltix.exe"))
    Config.probe = os.path.abspath(args.probe) if args.probe else None
    Config.usage_text = args.usage_text or os.path.join(REPO, "tests", "data", "usage_text.utf8.txt")
    Config.display = args.display
    Config.fresh_prefix = args.fresh_prefix
    return rest


def expected_usage_bytes():
    """The usage text as haltix shows it: CP932, every line ending CR LF."""
    with open(Config.usage_text, encoding="utf-8") as f:
        text = f.read()
    lines = text.replace("\r\n", "\n").split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    return "".join(line + "\r\n" for line in lines).encode("cp932"), len(lines)


ENV = None


def setUpModule(relay=wineenv.DEFAULT_RELAY):
    """Start the Wine session; relay names the calls of haltix its relay log shows."""
    global ENV
    if Config.build_dir is None:
        configure([])
    if not os.path.exists(Config.haltix):
        raise wineenv.WineError("haltix.exe not found at %s (build it first)" % Config.haltix)
    if Config.probe is None:
        Config.probe = wineenv.build_probe(os.path.join(Config.build_dir, "tests", "e2e"))
    if not os.path.exists(Config.probe):
        raise wineenv.WineError("probe.exe not found at %s" % Config.probe)
    ENV = wineenv.WineEnv(os.path.join(Config.build_dir, "e2e-wine"), display=Config.display,
                          fresh=Config.fresh_prefix, relay=relay,
                          log=lambda msg: print("e2e:", msg, file=sys.stderr))
    ENV.start()


def tearDownModule():
    if ENV is not None:
        ENV.stop()


class HaltixTestCase(unittest.TestCase):
    maxDiff = None

    def run_haltix(self, cmdline, steps, **kwargs):
        """Start haltix with the exact command line and run the probe steps, relay log on."""
        kwargs.setdefault("relay", True)
        run = ENV.run_probe(Config.probe, Config.haltix, cmdline, [str(s) for s in steps], **kwargs)
        # Shown with any failure of the test that made the run.
        self._last_run = run
        if run.errors:
            self.fail("probe step failed:\n" + run.describe())
        return run

    def context(self):
        run = getattr(self, "_last_run", None)
        return "\n" + run.describe() if run else ""

    def assert_exited(self, run, code=0):
        exit_event = run.first("exit")
        self.assertIsNotNone(exit_event, "haltix did not end" + self.context())
        self.assertEqual(int(exit_event["code"]), code, "exit code" + self.context())

    def assert_single_box(self, run, text, icon_name, icon_flag):
        """Exactly one box, with this text, the caption "haltix", this icon and one OK button."""
        boxes = run.boxes()
        self.assertEqual(len(boxes), 1, self.context())
        box = boxes[0]
        self.assertEqual(box["box"]["boxes"], "1", "more than one box at once" + self.context())
        self.assertEqual(box["box"].bytes("caption"), CAPTION, self.context())
        texts = [s.bytes("text") for s in box["statics"] if s["kind"] == "text"]
        self.assertEqual(texts, [text], self.context())
        icons = [s["icon"] for s in box["statics"] if s["kind"] == "icon"]
        self.assertEqual(icons, [icon_name], self.context())
        buttons = [(b.bytes("text"), b["enabled"]) for b in box["buttons"]]
        self.assertEqual(buttons, [(b"OK", "1")], self.context())
        # The relay log shows the call itself: MB_OK with the icon flag, caption "haltix".
        calls = run.calls("MessageBoxA")
        self.assertEqual(len(calls), 1, self.context())
        self.assertEqual(calls[0].int_arg(3) & ~MB_ICONMASK, 0, "MB_OK only" + self.context())
        self.assertEqual(calls[0].int_arg(3) & MB_ICONMASK, icon_flag, self.context())
        self.assertEqual(calls[0].str_arg(2), CAPTION, self.context())
        # After the answer nothing else shows and haltix ends.
        self.assert_exited(run, 0)
        self.assertEqual(run.first("exit")["boxes-seen"], "0", "another box after the first" + self.context())

    def assert_no_shutdown(self, run):
        self.assertEqual(run.calls("ExitWindowsEx"), [], self.context())

    def assert_acts_at_once(self, run, flags):
        """No box; the shutdown privilege is enabled, then ExitWindowsEx(flags, 0); exit code 0."""
        self.assert_exited(run, 0)
        self.assertEqual(run.first("exit")["boxes-seen"], "0", "a box was shown" + self.context())
        self.assertEqual(run.calls("MessageBoxA"), [], self.context())
        sequence = [c for c in run.calls() if c.func in PRIVILEGE_SEQUENCE]
        self.assertEqual([c.func for c in sequence], PRIVILEGE_SEQUENCE, self.context())
        open_token, lookup, adjust, exit_windows = sequence
        self.assertEqual(open_token.int_arg(1), TOKEN_ADJUST_PRIVILEGES_QUERY, self.context())
        self.assertEqual(lookup.int_arg(0), 0, "system name must be NULL" + self.context())
        self.assertEqual(lookup.str_arg(1), b"SeShutdownPrivilege", self.context())
        self.assertEqual(adjust.int_arg(1), 0, "DisableAllPrivileges must be FALSE" + self.context())
        self.assertEqual((exit_windows.int_arg(0), exit_windows.int_arg(1)), (flags, 0), self.context())
        self.assertEqual(exit_windows.retval, 1, self.context())


# Command lines without any of /L /S /R /P on their own: the usage box.
USAGE_CASES = [
    ("no arguments", b"haltix.exe"),
    ("quoted program path", b'"Z:\\some dir\\haltix.exe"'),
    ("force only", b"haltix.exe /f"),
    ("delay only", b"haltix.exe /t:10"),
    ("no-abort only", b"haltix.exe /u"),
    ("message only", b"haltix.exe /m:abc"),
    ("action letter with colon", b"haltix.exe /s:"),
    ("dash instead of slash", b"haltix.exe -s"),
    ("two letters", b"haltix.exe /sf"),
]

# Command lines that act at once: expected ExitWindowsEx flags.
ACTION_CASES = [
    (b"haltix.exe /s", EWX_SHUTDOWN),
    (b"haltix.exe /r", EWX_REBOOT),
    (b"haltix.exe /l", EWX_LOGOFF),
    (b"haltix.exe /p", EWX_POWEROFF),
    (b"haltix.exe /l /f", EWX_LOGOFF | EWX_FORCE),
    (b"haltix.exe /p /f", EWX_POWEROFF | EWX_FORCE),
    (b"haltix.exe /S /T:0", EWX_SHUTDOWN),
    (b"haltix.exe /s /t:abc", EWX_SHUTDOWN),
]


class UsageTests(HaltixTestCase):
    def setUp(self):
        ENV.set_windows_version(None, os.path.basename(Config.haltix))

    def test_usage_box(self):
        expected, count = expected_usage_bytes()
        self.assertEqual(count, 34, "%s should hold the 34 lines of the usage text" % Config.usage_text)
        for name, cmdline in USAGE_CASES:
            with self.subTest(name, cmdline=cmdline):
                run = self.run_haltix(cmdline, ["wait-box", BOX_TIMEOUT_MS, "press", "wait-exit", EXIT_TIMEOUT_MS])
                self.assert_single_box(run, expected, "information", MB_ICONINFORMATION)
                self.assert_no_shutdown(run)

    def test_enter_answers_the_usage_box(self):
        expected, _ = expected_usage_bytes()
        run = self.run_haltix(b"haltix.exe", ["wait-box", BOX_TIMEOUT_MS, "type-enter", "wait-exit", EXIT_TIMEOUT_MS])
        self.assert_single_box(run, expected, "information", MB_ICONINFORMATION)


class ActionTests(HaltixTestCase):
    def setUp(self):
        ENV.set_windows_version(None, os.path.basename(Config.haltix))

    def test_acts_at_once(self):
        for cmdline, flags in ACTION_CASES:
            with self.subTest(cmdline=cmdline, flags=flags):
                run = self.run_haltix(cmdline, ["wait-exit", EXIT_TIMEOUT_MS])
                self.assert_acts_at_once(run, flags)
                # ExitWindowsEx reached the stand-in for wineboot, not Wine's own.
                self.assertEqual(len(run.wineboot), 1, self.context())


class WindowsVersionTests(HaltixTestCase):
    """Wine reports the version set for haltix.exe in its AppDefaults key."""

    def tearDown(self):
        ENV.set_windows_version(None, os.path.basename(Config.haltix))

    def test_refuses_to_run_on_windows_9x(self):
        ENV.set_windows_version("win98", os.path.basename(Config.haltix))
        for cmdline in (b"haltix.exe", b"haltix.exe /s"):
            with self.subTest(cmdline=cmdline):
                run = self.run_haltix(cmdline, ["wait-box", BOX_TIMEOUT_MS, "press", "wait-exit", EXIT_TIMEOUT_MS])
                self.assert_single_box(run, NT_ONLY_TEXT, "error", MB_ICONERROR)
                self.assert_no_shutdown(run)

    def test_runs_on_nt_versions(self):
        expected, _ = expected_usage_bytes()
        for version in ("nt40", "win2k"):
            ENV.set_windows_version(version, os.path.basename(Config.haltix))
            with self.subTest(version=version, cmdline=b"haltix.exe"):
                run = self.run_haltix(b"haltix.exe", ["wait-box", BOX_TIMEOUT_MS, "press", "wait-exit", EXIT_TIMEOUT_MS])
                self.assert_single_box(run, expected, "information", MB_ICONINFORMATION)
            with self.subTest(version=version, cmdline=b"haltix.exe /s"):
                run = self.run_haltix(b"haltix.exe /s", ["wait-exit", EXIT_TIMEOUT_MS])
                self.assert_acts_at_once(run, EWX_SHUTDOWN)


class RealWinebootTests(HaltixTestCase):
    """ExitWindowsEx with Wine's own wineboot, not the disabled one the other tests use."""

    def setUp(self):
        ENV.set_windows_version(None, os.path.basename(Config.haltix))

    def test_shutdown_ends_the_session_politely(self):
        # wineboot --end-session asks the windows to close; the probe has none and stays.
        run = self.run_haltix(b"haltix.exe /s", ["wait-exit", EXIT_TIMEOUT_MS, "sleep", 1000],
                              protect_session=False)
        self.assertTrue(run.finished, self.context())
        self.assert_acts_at_once(run, EWX_SHUTDOWN)
        self.assertEqual(run.calls("ExitWindowsEx")[0].retval, 1, self.context())

    def test_forced_logoff_kills_the_session_and_the_tests_go_on(self):
        # wineboot --kill ends every process of the session, the probe included.
        run = self.run_haltix(b"haltix.exe /l /f", ["wait-exit", EXIT_TIMEOUT_MS, "sleep", 10000],
                              protect_session=False)
        calls = run.calls("ExitWindowsEx")
        self.assertEqual([(c.int_arg(0), c.int_arg(1)) for c in calls], [(EWX_LOGOFF | EWX_FORCE, 0)],
                         self.context())
        self.assertFalse(run.finished, "wineboot --kill should have ended the probe" + self.context())
        # The next run works in the same prefix.
        expected, _ = expected_usage_bytes()
        run = self.run_haltix(b"haltix.exe", ["wait-box", BOX_TIMEOUT_MS, "press", "wait-exit", EXIT_TIMEOUT_MS])
        self.assert_single_box(run, expected, "information", MB_ICONINFORMATION)


class ProbeTests(HaltixTestCase):
    """The probe hands haltix its command line unchanged."""

    def test_command_line_reaches_haltix_byte_for_byte(self):
        cases = [
            b'haltix.exe "quoted arg" \t tab /m:"\x8e\x63\x82\xe8 3 \x95\x62"',
            b'"Z:\\dir with space\\haltix.exe" /m:' + b"x" * 32700,
        ]
        for cmdline in cases:
            with self.subTest(length=len(cmdline)):
                run = self.run_haltix(cmdline, ["cmdline", "kill"], relay=False)
                self.assertEqual(run.first("cmdline").bytes("text"), cmdline, self.context())


def main():
    rest = configure(sys.argv[1:])
    program = unittest.main(module=__name__, argv=[sys.argv[0]] + rest, verbosity=2, exit=False)
    result = program.result
    # A failing subtest stands for its test.
    failed = {getattr(test, "test_case", test).id() for test, _ in result.failures + result.errors}
    print("e2e: %d passed, %d failed" % (max(result.testsRun - len(failed), 0), len(failed)))
    sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
