"""Benchmarks of haltix.exe under Wine, each against a floor measured in the same run.

Run through bench/run.sh, which installs what is needed and builds haltix.exe first:

    bench/run.sh [--runs N] [--no-readme]

What is measured (several runs of each, interleaved with the floor's, medians):

1. Start to notice ready: from the CreateProcess call to the notice being visible with its
   button labelled 残り N 秒, against bench/bare_box.cpp (one MessageBoxA with the same text
   and caption) becoming visible.
2. Cost of waiting: CPU time (user + system of the Wine process, from /proc) from the start
   to 10 s after the notice is ready, against the bare box's over the same span; the start
   and the 10 s of waiting are shown apart too.
3. Accuracy: notice ready to the ExitWindowsEx call (relay log with timestamps) against the
   requested length, and the times the label changes against whole seconds.
4. Immediate road: start to ExitWindowsEx for "/s", against Wine's shutdown.exe /s in the same
   prefix, and against bench/bare_exit.cpp (the same privilege and ExitWindowsEx calls alone).
5. Size: haltix.exe stripped against bare_box.exe stripped, both -static -Os with mingw-w64.

The Wine session is the end-to-end tests' harness (tests/e2e/wineenv.py) in a prefix of its
own under build/bench/; bench/watch.cpp runs in the probe's place.  Writes the table to
bench/results.md and to the "## Benchmarks" section at the end of README.md, and every sample
to build/bench/samples.json.

Standard library only.
"""

import argparse
import datetime
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import wineenv  # noqa: E402

COMMAND = "bench/run.sh"
README_HEADING = "## Benchmarks"

# The compiler and the flags haltix.exe is built with (CMake's MinSizeRel with mingw-w64 and
# cmake/windows_program.cmake), used for the floor programs as well.
FLOOR_FLAGS = ["-std=c++20", "-Os", "-DNDEBUG", "-ffunction-sections", "-fdata-sections",
               "-static", "-Wl,--gc-sections", "-mwindows"]
E2E_DIR = os.path.join(REPO, "tests", "e2e")
WATCH_FLAGS = ["-std=c++20", "-O2", "-static", "-I" + E2E_DIR]
# watch.cpp shares this header with the probe.
WATCH_HEADERS = [os.path.join(E2E_DIR, "child_launch.h")]

TIMEOUT_MS = 20000
CPU_SPAN_MS = 10000
ACCURACY_SECONDS = 10
# The countdown runs a second longer than the CPU span, so the process is still there when
# its CPU time is read at the end of the span.
CPU_COUNTDOWN_SECONDS = CPU_SPAN_MS // 1000 + 1
READY_COUNTDOWN_SECONDS = 30

RELAY_ENV = {"WINEDEBUG": "+timestamp,+pid,+relay"}
RELAY_FUNCTIONS = ("user32.ExitWindowsEx",)

TARGET_READY_RATIO = 1.10
TARGET_CPU_RATIO = 1.20
TARGET_ACCURACY_MS = 50
TARGET_ROAD_RATIO = 1.05
TARGET_SIZE_BYTES = 192 * 1024

CLOCK_TICKS = os.sysconf("SC_CLK_TCK")


def log(msg):
    print("bench: " + msg, file=sys.stderr, flush=True)


# --------------------------------------------------------------------------------------------
# building

def compiler():
    for name in (os.environ.get("HALTIX_E2E_CXX", ""), "x86_64-w64-mingw32-g++-posix",
                 "x86_64-w64-mingw32-g++"):
        if name and shutil.which(name):
            return shutil.which(name)
    raise SystemExit("bench: no mingw-w64 C++ compiler (run scripts/install-deps.sh)")


def build(source, out, flags, headers=()):
    src = os.path.join(HERE, source)
    newest = max(os.path.getmtime(f) for f in [src, *headers])
    if os.path.exists(out) and os.path.getmtime(out) >= newest:
        return out
    p = subprocess.run([compiler(), "-Wall", "-Wextra", "-o", out, src] + flags,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    if p.returncode != 0:
        raise SystemExit("bench: building %s failed:\n%s" % (source, p.stdout.decode(errors="replace")))
    return out


def stripped_size(exe, out_dir):
    strip = shutil.which("x86_64-w64-mingw32-strip")
    if not strip:
        raise SystemExit("bench: x86_64-w64-mingw32-strip not found (binutils-mingw-w64-x86-64)")
    copy = os.path.join(out_dir, "stripped-" + os.path.basename(exe))
    shutil.copyfile(exe, copy)
    subprocess.run([strip, copy], check=True)
    return os.path.getsize(copy)


# --------------------------------------------------------------------------------------------
# runs

class Bench:
    def __init__(self, env, watch):
        self.env = env
        self.watch = watch

    def run(self, exe, cmdline, steps, relay=False, on_pause=None):
        run = self.env.run_probe(self.watch, exe, cmdline, [str(s) for s in steps],
                                 child_env=RELAY_ENV if relay else None, on_pause=on_pause)
        if run.errors or not run.first("started"):
            raise SystemExit("bench: a run of %s failed:\n%s" % (cmdline.decode(), run.describe()))
        return run

    def linux_pid(self, cmdline):
        """The Unix process of the Windows program now running with this command line."""
        text = cmdline.decode(wineenv.CODEPAGE)
        for pid, cmd in self.env.session_processes():
            if cmd == text:
                return pid
        raise SystemExit("bench: no Unix process found for %r" % text)


def us(event):
    return int(event["us"])


def start_ms(run):
    """The start (just before CreateProcess) on the clock of Wine's debug timestamps."""
    started = run.first("started")
    return (int(started["abs"]) - int(started["us"])) / 1000.0


def relay_call_ms(run, func):
    """The timestamp (ms) of the child's first relayed call of func, or None."""
    pid = "%04x" % int(run.first("started")["pid"])
    pattern = re.compile(r"^\s*(\d+)\.(\d{3}):%s:[0-9a-f]+:Call [A-Za-z0-9_]+\.%s\(" % (pid, func))
    for line in run.stderr.splitlines():
        m = pattern.match(line)
        if m:
            return int(m.group(1)) * 1000 + int(m.group(2))
    return None


def since(ms, reference_ms):
    """ms - reference_ms, where ms is a debug timestamp that wraps at 2**32 milliseconds."""
    delta = (ms - reference_ms) % (1 << 32)
    return delta - (1 << 32) if delta >= (1 << 31) else delta


def cpu_stat_ms(pid):
    """User + system time of the whole process from /proc/<pid>/stat (clock-tick grained)."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # After the name: state is field 3, utime 14 and stime 15 (counting from 1).
    return (int(fields[11]) + int(fields[12])) * 1000.0 / CLOCK_TICKS


def cpu_threads_ms(pid):
    """Time on the CPU of the process's live threads, to the nanosecond: the sum of the first
    field of /proc/<pid>/task/*/schedstat (threads that have ended are not counted)."""
    total = 0
    for tid in os.listdir("/proc/%d/task" % pid):
        try:
            with open("/proc/%d/task/%s/schedstat" % (pid, tid)) as f:
                total += int(f.read().split()[0])
        except (OSError, ValueError, IndexError):
            pass
    return total / 1e6


# --------------------------------------------------------------------------------------------
# the measurements

class Program:
    """A program that shows a box: its path, command line, and whether its button gets a label."""

    def __init__(self, name, exe, cmdline, labelled):
        self.name, self.exe, self.cmdline, self.labelled = name, exe, cmdline, labelled


def rotate(items, i):
    """The items starting at i (modulo their count), so that none always runs first."""
    i %= len(items)
    return items[i:] + items[:i]


def measure_ready_and_cpu(bench, boxes, runs):
    """Start → ready (→ visible for a floor), and CPU time at ready and 10 s after it.

    boxes: Programs, haltix first.  Returns {measure: {program name: [values]}}: "ready" and
    "visible" (ms after the start), "cpu-ready" (CPU ms at ready, every run), and from the
    long runs "cpu" and "cpu-stat" (CPU ms 10 s after ready, from the threads' schedstat and
    from stat) and "cpu-wait" (CPU ms of those 10 s alone).
    """
    m = {key: {} for key in ("ready", "visible", "cpu-ready", "cpu", "cpu-stat", "cpu-wait")}

    def add(key, program, value):
        m[key].setdefault(program.name, []).append(value)

    def sampler(program, cmdline):
        state = {}

        def on_pause(_run):
            if "pid" not in state:
                state["pid"] = bench.linux_pid(cmdline)
                state["ready"] = cpu_threads_ms(state["pid"])
                add("cpu-ready", program, state["ready"])
            else:
                total = cpu_threads_ms(state["pid"])
                add("cpu", program, total)
                add("cpu-stat", program, cpu_stat_ms(state["pid"]))
                add("cpu-wait", program, total - state["ready"])
        return on_pause

    def one_run(program, seconds, steps):
        cmdline = program.cmdline % seconds if program.labelled else program.cmdline
        head = ["visible", TIMEOUT_MS] + (["labelled", TIMEOUT_MS] if program.labelled else [])
        run = bench.run(program.exe, cmdline, head + ["pause"] + steps, on_pause=sampler(program, cmdline))
        add("ready", program, us(run.first("ready" if program.labelled else "visible")) / 1000.0)
        add("visible", program, us(run.first("visible")) / 1000.0)

    # Short runs are cheap, and start-up times vary most: three times as many of them.
    for i in range(3 * runs):
        for program in rotate(boxes, i):
            one_run(program, READY_COUNTDOWN_SECONDS, ["kill"])
    for i in range(runs):
        for program in rotate(boxes, i):
            one_run(program, CPU_COUNTDOWN_SECONDS, ["sleep", CPU_SPAN_MS, "pause", "kill"])
        log("CPU round %d/%d done" % (i + 1, runs))
    return m


def measure_accuracy(bench, haltix, runs):
    """Ready → ExitWindowsEx against the requested length; label changes against whole seconds."""
    action_errors, label_errors = [], []
    cmd = b"haltix.exe /s /t:%d" % ACCURACY_SECONDS
    for i in range(runs):
        run = bench.run(haltix, cmd, ["visible", TIMEOUT_MS, "labelled", TIMEOUT_MS,
                                      "labels", ACCURACY_SECONDS * 1000 + 5000, "wait-exit", TIMEOUT_MS],
                        relay=True)
        ready = run.first("ready")
        ready_abs_ms = int(ready["abs"]) / 1000.0
        call = relay_call_ms(run, "ExitWindowsEx")
        if call is None:
            raise SystemExit("bench: no ExitWindowsEx call in the relay log:\n" + run.describe())
        action_errors.append(since(call, ready_abs_ms) - ACCURACY_SECONDS * 1000)
        for k, label in enumerate(run.all("label"), start=1):
            seen = label.text("text")
            if seen != "残り %d 秒" % (ACCURACY_SECONDS - k):
                raise SystemExit("bench: label %d reads %r:\n%s" % (k, seen, run.describe()))
            label_errors.append((us(label) - us(ready)) / 1000.0 - k * 1000)
        log("accuracy run %d/%d done" % (i + 1, runs))
    return action_errors, label_errors


def measure_road(bench, programs, runs):
    """Start → ExitWindowsEx and start → exit of each (name, exe, cmdline); relay log on.

    Returns ({name: [ms]} to the call, for those that make it; {name: [ms]} to the exit).
    """
    to_call, to_exit = {}, {}
    for i in range(runs):
        for name, exe, cmd in rotate(programs, i):
            run = bench.run(exe, cmd, ["wait-exit", TIMEOUT_MS], relay=True)
            to_exit.setdefault(name, []).append(us(run.first("exited")) / 1000.0)
            call = relay_call_ms(run, "ExitWindowsEx")
            if call is not None:
                to_call.setdefault(name, []).append(since(call, start_ms(run)))
    return to_call, to_exit


# --------------------------------------------------------------------------------------------
# the report

def med(values):
    return statistics.median(values)


def worst(values):
    return max(values, key=abs)


def yes_no(ok):
    return "yes" if ok else "**no**"


def ms(values):
    """Median, and the best run in brackets."""
    digits = 1 if med(values) < 20 else 0
    return "%.*f ms (best %.*f)" % (digits, med(values), digits, min(values))


def machine():
    """Cores, processor, kernel and Wine version."""
    model = ""
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    wine = subprocess.run([wineenv._which("/usr/lib/wine/wine64", "wine64", "wine"), "--version"],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout.decode().strip()
    return "%d cores%s, Linux %s, %s" % (os.cpu_count(), " (%s)" % model if model else "",
                                         platform.release(), wine)


def ratio(a, b):
    return med(a) / med(b)


def table(r):
    m, call, exit_ = r["boxes"], r["road_call"], r["road_exit"]
    ready, cpu = m["ready"], m["cpu"]
    ready_ratio = ratio(ready["haltix"], ready["bare"])
    cpu_ratio = ratio(cpu["haltix"], cpu["bare"])
    road_ratio = ratio(call["haltix"], exit_["shutdown"])
    action_worst = max(abs(e) for e in r["action_errors"])

    def against(key, floor):
        """The floor's figure and haltix's ratio to it."""
        return ms(m[key][floor]), "%.2f×" % ratio(m[key]["haltix"], m[key][floor])

    rows = [
        ("Measure", "haltix", "Floor", "Ratio / error", "Target", "Met"),
        ("1. Start → notice ready (visible, button labelled), %d runs each" % len(ready["haltix"]),
         ms(ready["haltix"]), ms(ready["bare"]) + ", bare box visible",
         "%.2f×" % ready_ratio, "≤ %.2f×" % TARGET_READY_RATIO, yes_no(ready_ratio <= TARGET_READY_RATIO)),
        ("↳ against the bare box with haltix's manifest", "")
        + against("ready", "bare-manifest") + ("", ""),
        ("↳ against that, shown from a second thread while the main thread waits", "")
        + against("ready", "bare-thread") + ("", ""),
        ("↳ haltix's notice visible, before its relabelling, against the same", ms(m["visible"]["haltix"]))
        + against("visible", "bare-thread") + ("", ""),
        ("2. CPU time, start → 10 s after ready, %d runs each" % len(cpu["haltix"]),
         ms(cpu["haltix"]), ms(cpu["bare"]) + ", bare box",
         "%.2f×" % cpu_ratio, "≤ %.2f×" % TARGET_CPU_RATIO, yes_no(cpu_ratio <= TARGET_CPU_RATIO)),
        ("↳ against the bare box with haltix's manifest", "") + against("cpu", "bare-manifest") + ("", ""),
        ("↳ against that, shown from a second thread", "") + against("cpu", "bare-thread") + ("", ""),
        ("↳ the same from /proc/<pid>/stat (%d ms ticks)" % (1000 // CLOCK_TICKS), ms(m["cpu-stat"]["haltix"]))
        + against("cpu-stat", "bare") + ("", ""),
        ("↳ of which start → ready, %d runs each" % len(m["cpu-ready"]["haltix"]), ms(m["cpu-ready"]["haltix"]))
        + against("cpu-ready", "bare") + ("", ""),
        ("↳ of which the 10 s of waiting", ms(m["cpu-wait"]["haltix"]), ms(m["cpu-wait"]["bare"]), "", "", ""),
        ("3. Notice ready → ExitWindowsEx with /t:%d, %d runs" % (ACCURACY_SECONDS, len(r["action_errors"])),
         "%+.0f ms median" % med(r["action_errors"]), "%d ms requested" % (ACCURACY_SECONDS * 1000),
         "worst %+.0f ms" % worst(r["action_errors"]), "within %d ms" % TARGET_ACCURACY_MS,
         yes_no(action_worst <= TARGET_ACCURACY_MS)),
        ("↳ label changes against whole seconds after ready, %d changes" % len(r["label_errors"]),
         "%+.0f ms median" % med(r["label_errors"]), "", "worst %+.0f ms" % worst(r["label_errors"]), "", ""),
        ("4. Start → ExitWindowsEx with /s, %d runs each" % len(call["haltix"]),
         ms(call["haltix"]), ms(exit_["shutdown"]) + ", Wine's shutdown.exe /s, start → exit",
         "%.2f×" % road_ratio, "≤ %.2f×" % TARGET_ROAD_RATIO, yes_no(road_ratio <= TARGET_ROAD_RATIO)),
        ("↳ against bare_exit (the same privilege and ExitWindowsEx calls alone)", "", ms(call["bare-exit"]),
         "%.2f×" % ratio(call["haltix"], call["bare-exit"]), "", ""),
        ("5. Stripped size (-static -Os, mingw-w64)",
         "%d bytes (%.1f KiB)" % (r["size"], r["size"] / 1024.0),
         "%d bytes (%.1f KiB), bare box" % (r["size_floor"], r["size_floor"] / 1024.0),
         "%.2f×" % (r["size"] / r["size_floor"]), "≤ 192 KiB", yes_no(r["size"] <= TARGET_SIZE_BYTES)),
    ]
    lines = ["| " + " | ".join(rows[0]) + " |", "|" + "---|" * len(rows[0])]
    lines += ["| " + " | ".join(row) + " |" for row in rows[1:]]
    return "\n".join(lines)


NOTES = """\
How: times run from the moment just before CreateProcess in the watcher (bench/watch.cpp),
which polls the child's windows every millisecond through calls that Wine answers from its
server, so the child is not disturbed.  Wine's first window call in a process (loading the X11
driver and connecting to the X server) is part of every start, haltix's and the floors' alike.
ExitWindowsEx is timed from a relay log with timestamps (`WINEDEBUG=+timestamp,+pid,+relay`,
relaying ExitWindowsEx alone), on the same clock as the watcher's.  CPU time is user + system of
the Wine process that runs the program, read while it runs: the sum over its threads of
/proc/<pid>/task/*/schedstat (nanoseconds; threads that have ended, such as haltix's short-lived
ticker, are missed), and, as a check, /proc/<pid>/stat (whole process, %d ms clock ticks).
"best" is the fastest run.

Floors: bench/bare_box.cpp shows one MessageBoxA with haltix's default text and caption from
its main thread; the same built with haltix's manifest shows what the manifest costs under
Wine, and the same again showing the box from a second thread while the main thread waits for
it shows what haltix's arrangement of threads costs.  Wine's shutdown.exe is a stub that prints
a message and ends: it never calls ExitWindowsEx and loads no user32, so its whole life stands in for the floor of the
immediate road; bench/bare_exit.cpp makes the calls "/s" needs and nothing else.  All floors are
built with haltix's compiler and flags.

The machine is a virtual one on a shared host: other work slows it down at times, by up to
twice between whole runs, and neither ps, the load average nor the steal time shows it.  So
absolute times mean little from one run to the next: the programs compared run interleaved so
that they see the same slowdowns, ratios are taken within one run, and the Wine session runs at
a raised priority where allowed.  A slowed-down run stretches every program alike, which pulls
the ratios towards 1.""" % (1000 // CLOCK_TICKS)


def write_results(path, text):
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


def update_readme(path, section):
    with open(path, encoding="utf-8") as f:
        readme = f.read()
    at = readme.find("\n" + README_HEADING + "\n")
    if at >= 0:
        readme = readme[:at + 1]
    else:
        readme = readme.rstrip("\n") + "\n\n"
    with open(path, "w", encoding="utf-8") as f:
        f.write(readme + section)


def manifest_resource(bin_dir):
    """haltix's application manifest as a compiled resource, for a floor built with it."""
    windres = shutil.which("x86_64-w64-mingw32-windres")
    if not windres:
        raise SystemExit("bench: x86_64-w64-mingw32-windres not found (binutils-mingw-w64-x86-64)")
    manifest = os.path.join(REPO, "platform", "haltix.manifest")
    rc, res = os.path.join(bin_dir, "manifest.rc"), os.path.join(bin_dir, "manifest.res")
    with open(rc, "w") as f:
        f.write('1 24 "%s"\n' % manifest)
    subprocess.run([windres, rc, "-O", "coff", "-o", res], check=True)
    return res


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--runs", type=int, default=5, help="runs of each long measurement (default 5)")
    parser.add_argument("--haltix", default=os.path.join(REPO, "build", "mingw", "haltix.exe"))
    parser.add_argument("--work-dir", default=os.path.join(REPO, "build", "bench"))
    parser.add_argument("--results", default=os.path.join(HERE, "results.md"))
    parser.add_argument("--readme", default=os.path.join(REPO, "README.md"))
    parser.add_argument("--no-readme", action="store_true", help="leave README.md as it is")
    args = parser.parse_args(argv)
    began = time.monotonic()
    # The machine is shared: the X server, the Wine session and the programs measured inherit
    # a raised priority where that is allowed, so that other work disturbs the times less.
    try:
        os.nice(-10)
    except OSError:
        pass

    haltix = os.path.abspath(args.haltix)
    if not os.path.exists(haltix):
        raise SystemExit("bench: %s not found (build it first: cmake --build --preset mingw)" % haltix)
    bin_dir = os.path.join(os.path.abspath(args.work_dir), "bin")
    os.makedirs(bin_dir, exist_ok=True)
    # The probe's folder brings wineboot_stub.exe, which keeps ExitWindowsEx from ending the session.
    wineenv.build_probe(bin_dir)
    watch = build("watch.cpp", os.path.join(bin_dir, "watch.exe"), WATCH_FLAGS, WATCH_HEADERS)
    bare_box = build("bare_box.cpp", os.path.join(bin_dir, "bare_box.exe"), FLOOR_FLAGS)
    bare_exit = build("bare_exit.cpp", os.path.join(bin_dir, "bare_exit.exe"), FLOOR_FLAGS)

    # The bare box with haltix's manifest, and also from a second thread: what haltix's manifest
    # and its arrangement of threads cost by themselves.
    manifest = manifest_resource(bin_dir)
    bare_manifest = os.path.join(bin_dir, "bare_box_manifest.exe")
    bare_thread = os.path.join(bin_dir, "bare_box_thread.exe")
    for out, extra in ((bare_manifest, []), (bare_thread, ["-DBARE_BOX_IN_THREAD"])):
        subprocess.run([compiler(), "-Wall", "-Wextra", "-o", out, os.path.join(HERE, "bare_box.cpp"), manifest]
                       + extra + FLOOR_FLAGS, check=True)

    results = {"size": stripped_size(haltix, bin_dir), "size_floor": stripped_size(bare_box, bin_dir)}
    env = wineenv.WineEnv(os.path.join(os.path.abspath(args.work_dir), "wine"), relay=RELAY_FUNCTIONS, log=log)
    with env:
        bench = Bench(env, watch)
        shutdown_exe = os.path.join(env.prefix, "drive_c", "windows", "system32", "shutdown.exe")
        boxes = [Program("haltix", haltix, b"haltix.exe /s /t:%d", True),
                 Program("bare", bare_box, b"bare_box.exe", False),
                 Program("bare-manifest", bare_manifest, b"bare_box_manifest.exe", False),
                 Program("bare-thread", bare_thread, b"bare_box_thread.exe", False)]
        roads = [("haltix", haltix, b"haltix.exe /s"), ("bare-exit", bare_exit, b"bare_exit.exe"),
                 ("shutdown", shutdown_exe, b"shutdown.exe /s")]
        log("warming up")
        for program in boxes:
            bench.run(program.exe, program.cmdline % 30 if program.labelled else program.cmdline,
                      ["visible", TIMEOUT_MS, "kill"])
        measure_road(bench, roads, 1)

        log("start to notice ready, and CPU time")
        results["boxes"] = measure_ready_and_cpu(bench, boxes, args.runs)
        log("accuracy")
        results["action_errors"], results["label_errors"] = measure_accuracy(bench, haltix, args.runs)
        log("immediate road")
        results["road_call"], results["road_exit"] = measure_road(bench, roads, 3 * args.runs)

    text = table(results)
    date = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")
    head = "Measured %s on %s, with `%s` (%.0f s)." % (date, machine(), COMMAND, time.monotonic() - began)
    print()
    print(head)
    print()
    print(text)
    write_results(args.results, "# Benchmarks\n\n%s\n\n%s\n\n%s\n" % (head, text, NOTES))
    # Every sample, for a closer look.
    with open(os.path.join(os.path.abspath(args.work_dir), "samples.json"), "w") as f:
        json.dump(results, f, indent=1)
    if not args.no_readme:
        update_readme(args.readme, "%s\n\n`%s` runs haltix.exe and small floor programs of its own under Wine on a "
                                   "virtual display, side by side; see bench/results.md for how.\n\n%s\n\n%s\n"
                      % (README_HEADING, COMMAND, head, text))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
