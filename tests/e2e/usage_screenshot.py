"""Save a picture of haltix's usage box, as Wine shows it under the Japanese locale.

    python3 tests/e2e/usage_screenshot.py [--haltix build/mingw/haltix.exe]
        [--build-dir build/mingw] [--probe PATH] [--out docs/usage-box.png]

The box is cropped out of the screen while it shows, then answered.  Uses the same private
Xvfb and Wine prefix as the end-to-end tests (see wineenv.py).
"""

import argparse
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import wineenv  # noqa: E402

REPO = os.path.dirname(os.path.dirname(HERE))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build-dir", default=os.path.join(REPO, "build", "mingw"))
    parser.add_argument("--haltix")
    parser.add_argument("--probe")
    parser.add_argument("--out", default=os.path.join(REPO, "docs", "usage-box.png"))
    args = parser.parse_args()
    build_dir = os.path.abspath(args.build_dir)
    haltix = os.path.abspath(args.haltix or os.path.join(build_dir, "haltix.exe"))
    probe = args.probe or wineenv.build_probe(os.path.join(build_dir, "tests", "e2e"))
    if not os.path.exists(haltix):
        sys.exit("haltix.exe not found at %s" % haltix)

    shots = []

    def shoot(run):
        box = run.first("box")
        wineenv_session.screenshot(args.out, crop=box.rect())
        shots.append(args.out)

    with wineenv.WineEnv(os.path.join(build_dir, "e2e-wine"), log=print) as wineenv_session:
        run = wineenv_session.run_probe(probe, haltix, b"haltix.exe",
                                        ["wait-box", 20000, "pause", "press", "wait-exit", 20000],
                                        on_pause=shoot)
    if not shots or run.errors:
        sys.exit("no usage box to take a picture of:\n" + run.describe())
    print("saved", args.out)


if __name__ == "__main__":
    main()
