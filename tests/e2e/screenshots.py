"""Save pictures of haltix's boxes, as Wine shows them under the Japanese locale.

    python3 tests/e2e/screenshots.py [--haltix build/mingw/haltix.exe]
        [--build-dir build/mingw] [--probe PATH] [--out-dir docs]

docs/usage-box.png: the usage text, shown without arguments.
docs/notice-countdown.png: the notice of "/s /t:60", counting down on its widened button.
docs/notice-locked.png: the notice of "/s /t:60 /u", its button disabled, after the first tick.
Each box is cropped out of the screen while it shows; then the usage box and the counting
notice are answered and the locked one ended (it cannot be answered by a click), so nothing is asked of the system.
Uses the same private Xvfb and Wine prefix as the end-to-end tests (see wineenv.py).
"""

import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import wineenv  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))

# (file name, command line, steps before the picture is taken, steps after it)
PICTURES = [
    ("usage-box.png", b"haltix.exe", [], ["press", "wait-exit", 20000]),
    ("notice-countdown.png", b"haltix.exe /s /t:60", ["sleep", 300], ["press", "wait-exit", 20000]),
    # After the first tick the disabled button shows the count too.
    ("notice-locked.png", b"haltix.exe /s /t:60 /u", ["sleep", 1500], ["kill"]),
]


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build", "mingw"))
    parser.add_argument("--haltix")
    parser.add_argument("--probe")
    parser.add_argument("--out-dir", default=os.path.join(REPO, "docs"))
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    haltix = os.path.abspath(args.haltix or os.path.join(build_dir, "haltix.exe"))
    probe = args.probe or wineenv.build_probe(os.path.join(build_dir, "tests", "e2e"))
    if not os.path.exists(haltix):
        sys.exit("haltix.exe not found at %s" % haltix)

    with wineenv.WineEnv(os.path.join(build_dir, "e2e-wine"), log=print) as session:
        for name, cmdline, before, after in PICTURES:
            out = os.path.join(args.out_dir, name)
            shots = []

            def shoot(run, out=out, shots=shots):
                session.screenshot(out, crop=run.first("box").rect())
                shots.append(out)

            run = session.run_probe(probe, haltix, cmdline, ["wait-box", 20000] + before + ["pause"] + after,
                                    on_pause=shoot)
            if not shots or run.errors:
                sys.exit("no box to take a picture of:\n" + run.describe())
            print("saved", out)


if __name__ == "__main__":
    main()
