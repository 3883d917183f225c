"""Run haltix.exe with the given switches in a private Wine prefix and tell what it did.

    python3 scripts/run_haltix.py [--build-dir build/mingw] [--shot FILE] [--] SWITCH...

haltix runs on the display in DISPLAY when that is set (answer its boxes yourself), otherwise on
a private virtual display, where a box that is still open after a while is answered for you.
A screenshot of the first box is saved. ExitWindowsEx only reaches a stand-in for Wine's session
manager, so not even the Wine session ends: nothing on this machine is touched.
"""

import argparse
import os
import sys

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import wineenv  # noqa: E402

ACTIONS = {0: "log off", 1: "shut down", 2: "restart", 8: "power off"}
EWX_FORCE = 4
# How long a box may stay open on the virtual display before it is answered for you.
UNATTENDED_SECONDS = 30


def quote(argument):
    """Quote an argument that holds blanks as a whole, the way haltix's usage text says."""
    return '"%s"' % argument if any(c in argument for c in " \t") else argument


def describe_flags(flags):
    action = ACTIONS.get(flags & ~EWX_FORCE, "unknown action")
    return "%s%s" % (action, ", programs closed by force" if flags & EWX_FORCE else "")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build", "mingw"))
    parser.add_argument("--shot", default=os.path.join(REPO, "build", "run", "haltix-run.png"))
    parser.add_argument("switches", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    switches = [s for s in args.switches if s != "--"]
    build_dir = os.path.abspath(args.build_dir)
    haltix = os.path.join(build_dir, "haltix.exe")
    probe = wineenv.build_probe(os.path.join(build_dir, "tests", "e2e"))
    display = os.environ.get("DISPLAY") or None
    command_line = " ".join(["haltix.exe"] + [quote(s) for s in switches]).encode(wineenv.CODEPAGE)

    wait_ms = (24 * 3600 if display else UNATTENDED_SECONDS) * 1000
    steps = ["wait-box", 10000, "sleep", 1500, "pause", "wait-exit", wait_ms,
             "command-ok", "wait-exit", 10000]
    shots = []

    def shoot(run):
        box = run.first("box")
        session.screenshot(args.shot, crop=box.rect() if box else None)
        shots.append(args.shot)

    os.makedirs(os.path.dirname(os.path.abspath(args.shot)), exist_ok=True)
    print("haltix %s  (display %s)" % (command_line.decode(wineenv.CODEPAGE), display or "virtual"))
    with wineenv.WineEnv(os.path.join(REPO, "build", "run"), display=display) as session:
        run = session.run_probe(probe, haltix, command_line, steps, relay=True, on_pause=shoot,
                                timeout=wait_ms // 1000 + 120)

    for box in run.boxes():
        print("box %r" % box["box"].text("caption"))
        for static in box["statics"]:
            text = static.text("text") if static.get("text") else ""
            if text:
                print("  text: " + text.replace("\r\n", "\n        "))
        for button in box["buttons"]:
            print("  button: %r" % button.text("text"))
    labels = [text.decode(wineenv.CODEPAGE, "replace") for _, text in run.button_texts()]
    if len(labels) > 1:
        print("button labels seen: " + ", ".join(labels))
    requests = run.calls("ExitWindowsEx")
    for call in requests:
        flags = call.int_arg(0)
        print("haltix asked Windows: ExitWindowsEx(flags=%d: %s)" % (flags, describe_flags(flags)))
    if not requests:
        print("haltix asked Windows for nothing")
    exit_code = run.exit_code
    for error in run.errors:
        if exit_code is None and error.get("code") is not None:
            exit_code = error.int("code")  # it ended before it showed a box
    print("exit status: %s" % exit_code)
    if shots:
        print("screenshot: %s" % os.path.relpath(shots[0]))


if __name__ == "__main__":
    main()
