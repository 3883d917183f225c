"""What the countdown tests share: the notice's texts, reading its labels, and the order of
haltix's calls in the relay log.

The relay log of one process is written in the order of its calls, so it tells whether a label
was written before the action was asked for, or after the notice was answered; the probe's own
readings tell what the window showed and roughly when.
"""

import os
import re
import threading

import test_e2e as e2e
import wineenv

# Besides the default calls: what adapts the notice, its timer and its labels.
RELAY = wineenv.DEFAULT_RELAY + (
    "user32.SetWindowTextA",
    "user32.MoveWindow",
    "user32.EnableWindow",
    "user32.EnableMenuItem",
    "user32.SetTimer",
    "user32.KillTimer",
)

# Generous bounds for the time between two successive labels (the timer ticks every second).
TICK_MS = 1000
TICK_SLACK_MS = 500

# "/t:" lengths long enough that a test always answers the notice first.
LONG_WAIT_SECONDS = 60

# Wine's window menu of a box: Move is at position 1, Close at position 6.
MENU_MOVE, MENU_CLOSE = 1, 6


def countdown_label(seconds):
    """The button's label: 残り (remaining), the count, 秒 (seconds), in code page 932."""
    return b"\x8e\x63\x82\xe8 " + str(seconds).encode("ascii") + b" \x95\x62"


def default_notice_bytes():
    path = os.path.join(e2e.REPO, "tests", "data", "default_notice_text.utf8.txt")
    with open(path, encoding="utf-8") as f:
        return f.read().rstrip("\r\n").encode("cp932")


def labels(run):
    """The successive distinct texts of the shown button: [(first seen at ms, text, enabled)].

    Readings of a button that is going away (no longer visible) are left out."""
    seen = []
    for e in run.all("button"):
        if e["index"] != "0" or e["visible"] != "1":
            continue
        text = e.bytes("text")
        if not seen or seen[-1][1] != text:
            seen.append((e.t, text, e["enabled"] == "1"))
    return seen


def button_readings(run):
    """Every reading of the shown button, in order."""
    return [e for e in run.all("button") if e["index"] == "0" and e["visible"] == "1"]


_RELAY_ORDER = re.compile(r"^([0-9a-f]{4,8}):[0-9a-f]{4,8}:(Call|Ret) +[A-Za-z0-9_]+\.([A-Za-z0-9_]+)\(")


def relay_order(run):
    """The haltix process's relayed calls and returns in log order: [("Call"|"Ret", function)]."""
    pid = run.child_pid
    order = []
    for line in run.stderr.splitlines():
        m = _RELAY_ORDER.match(line)
        if m and int(m.group(1), 16) == pid:
            order.append((m.group(2), m.group(3)))
    return order


def run_side_by_side(first, second_after_box):
    """Run first(on_pause) and, once its probe pauses, second() in a thread of its own.

    first gets the callback to pass as on_pause; second starts from it, so the second probe
    starts while the first one's box shows and both probes then run at the same time.
    Returns (first run, second run)."""
    result = {}

    def second():
        try:
            result["second"] = second_after_box()
        except BaseException as exc:  # handed to the test below
            result["error"] = exc

    thread = threading.Thread(target=second)

    def on_pause(_run):
        if not thread.is_alive() and "started" not in result:
            result["started"] = True
            thread.start()

    first_run = first(on_pause)
    if "started" in result:
        thread.join()
    if "error" in result:
        raise result["error"]
    return first_run, result.get("second")


class NoticeTestCase(e2e.HaltixTestCase):
    """Checks on a countdown notice and on what haltix asked for around it."""

    def notice(self, run):
        """The one notice box described: its box event, statics and buttons."""
        boxes = run.boxes()
        self.assertGreaterEqual(len(boxes), 1, "no notice described" + self.context())
        box = boxes[0]
        self.assertEqual(box["box"]["boxes"], "1", "more than one box of haltix" + self.context())
        return box

    def assert_notice(self, run, text):
        """The notice: caption "haltix", this text, the stop icon, exactly one button; shown
        once, by MessageBoxA(NULL, text, "haltix", MB_ICONERROR)."""
        box = self.notice(run)
        self.assertEqual(box["box"].bytes("caption"), e2e.CAPTION, self.context())
        texts = [s.bytes("text") for s in box["statics"] if s["kind"] == "text"]
        self.assertEqual(texts, [text], self.context())
        icons = [s["icon"] for s in box["statics"] if s["kind"] == "icon"]
        self.assertEqual(icons, ["error"], self.context())
        self.assertEqual(len(box["buttons"]), 1, self.context())
        calls = run.calls("MessageBoxA")
        self.assertEqual(len(calls), 1, self.context())
        self.assertEqual(calls[0].int_arg(0), 0, "no owner window" + self.context())
        self.assertEqual(calls[0].str_arg(2), e2e.CAPTION, self.context())
        self.assertEqual(calls[0].int_arg(3), e2e.MB_ICONERROR, self.context())

    def assert_counts_down(self, run, first, ticks):
        """The button's labels go first, first-1, ... for at least the given number of ticks,
        each change roughly a second after the one before."""
        seen = labels(run)
        texts = [text for _, text, _ in seen]
        expected = [countdown_label(first - i) for i in range(len(texts))]
        self.assertEqual(texts, expected, "labels out of sequence" + self.context())
        self.assertGreaterEqual(len(texts), ticks + 1, "too few ticks seen" + self.context())
        self.assert_tick_spacing([t for t, _, _ in seen[1:]])

    def assert_tick_spacing(self, times):
        for before, after in zip(times, times[1:]):
            self.assertAlmostEqual(after - before, TICK_MS, delta=TICK_SLACK_MS,
                                   msg="labels not about a second apart" + self.context())

    def assert_no_action(self, run):
        """Nothing was asked of the system: no privilege, no ExitWindowsEx; haltix ended with 0."""
        self.assert_exited(run, 0)
        self.assertEqual(run.calls("ExitWindowsEx"), [], self.context())
        self.assertEqual(run.calls("OpenProcessToken"), [], self.context())
        self.assertEqual(run.wineboot, [], self.context())

    def assert_acted_after_notice(self, run, flags):
        """The timer was stopped after the count reached 1, and only then was the action asked
        for, once: ExitWindowsEx(flags, 0), which succeeded. haltix ended with 0.

        The notice thread may have taken a tick from its queue just before the timer was
        stopped; that tick's label, 0, is then written after KillTimer. No other is."""
        self.assert_exited(run, 0)
        calls = run.calls("ExitWindowsEx")
        self.assertEqual([(c.int_arg(0), c.int_arg(1), c.retval) for c in calls], [(flags, 0, 1)],
                         self.context())
        order = [c for c in run.calls() if c.func in ("SetWindowTextA", "KillTimer", "OpenProcessToken",
                                                       "ExitWindowsEx")]
        funcs = [c.func for c in order]
        kill_timer = funcs.index("KillTimer")
        written = [c.str_arg(1) for c in order[:kill_timer] if c.func == "SetWindowTextA"]
        self.assertIn(countdown_label(1), written, "stopped before the count reached 1" + self.context())
        late = [c.str_arg(1) for c in order[kill_timer:] if c.func == "SetWindowTextA"]
        self.assertIn(late, ([], [countdown_label(0)]), "labels after the timer stopped" + self.context())
        self.assertEqual(funcs.count("KillTimer"), 1, self.context())
        self.assertLess(kill_timer, funcs.index("OpenProcessToken"), self.context())
        self.assertLess(funcs.index("OpenProcessToken"), funcs.index("ExitWindowsEx"), self.context())

    def assert_quiet_after_answer(self, run):
        """Once the notice was answered no label was written, and a timer that was started was
        stopped afterwards."""
        order = relay_order(run)
        self.assertIn(("Ret", "MessageBoxA"), order, "the notice was not answered" + self.context())
        answered = order.index(("Ret", "MessageBoxA"))
        after = [func for kind, func in order[answered:] if kind == "Call"]
        self.assertNotIn("SetWindowTextA", after, "a label after the answer" + self.context())
        calls = [func for kind, func in order if kind == "Call"]
        if "SetTimer" in calls:
            self.assertIn("KillTimer", after, self.context())
            self.assertGreater(len(calls) - 1 - calls[::-1].index("KillTimer"), calls.index("SetTimer"),
                               "the timer was not stopped after it was started" + self.context())
