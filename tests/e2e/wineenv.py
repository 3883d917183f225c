"""A private Wine session on a private X server, for haltix's end-to-end tests.

WineEnv starts Xvfb (or uses a given display), creates and settles a Wine prefix of its own
(64-bit, Japanese locale, so the ANSI code page is 932), keeps one persistent wineserver for
the whole run, and runs probe.exe (see probe.cpp) in it.  A run gives back the probe's events
and, when asked, the Wine relay log of the haltix process, parsed into calls.

Everything here fails loudly: when Xvfb, Wine or the prefix cannot be had, WineError is raised
and the tests that need it fail; nothing is skipped.

Standard library only.
"""

import os
import re
import select
import shutil
import struct
import subprocess
import time
import zlib

LOCALE = "ja_JP.UTF-8"
CODEPAGE = "cp932"

# Calls of haltix that the relay log shows.  Wine names a function by the DLL it was imported
# from (advapi32 even where advapi32 forwards to kernelbase).
DEFAULT_RELAY = (
    "user32.ExitWindowsEx",
    "advapi32.OpenProcessToken",
    "advapi32.LookupPrivilegeValueA",
    "advapi32.AdjustTokenPrivileges",
    "user32.MessageBoxA",
    "kernel32.ExitProcess",
)

# Under Wine, ExitWindowsEx starts C:\windows\system32\wineboot.exe with "--end-session
# --shutdown", or with "--kill --shutdown" when EWX_FORCE is given, and --kill ends every
# process of the Wine session, the probe too (sometimes only the next probe, as it starts).
# Disabling wineboot (wineboot.exe=d) is no way out: ExitWindowsEx then fails.  So the harness
# puts wineboot_stub.exe in the place of the prefix's wineboot.exe and runs the probe with
# wineboot.exe=n: ExitWindowsEx succeeds and starts the stub, which only writes its command
# line to a log.  Without the override Wine goes on using its own wineboot.
PROTECT_SESSION = "wineboot.exe=n"

# Keeps Wine from offering to install Mono and Gecko while the prefix is made.
PREFIX_DLLOVERRIDES = "mscoree,mshtml="

SETTLED_MARK = ".haltix-e2e-settled"


class WineError(RuntimeError):
    """The Wine session could not be set up or used."""


def _which(*names):
    for name in names:
        if os.path.isabs(name):
            if os.access(name, os.X_OK):
                return name
        else:
            found = shutil.which(name)
            if found:
                return found
    return None


def to_windows_path(path):
    """The Z: drive of a Wine prefix is the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# --------------------------------------------------------------------------------------------
# probe output

class Event:
    """One line of probe output: "<name> t=<ms> key=value ..."."""

    def __init__(self, line):
        parts = line.split(" ")
        self.name = parts[0]
        self.fields = {}
        for part in parts[1:]:
            key, _, value = part.partition("=")
            self.fields[key] = value
        self.t = int(self.fields.get("t", "0"))
        self.line = line

    def __getitem__(self, key):
        return self.fields[key]

    def get(self, key, default=None):
        return self.fields.get(key, default)

    def bytes(self, key):
        """A hex-encoded text field as the raw (CP932) bytes."""
        return bytes.fromhex(self.fields[key])

    def text(self, key):
        return self.bytes(key).decode(CODEPAGE)

    def int(self, key):
        return int(self.fields[key], 0)

    def rect(self, key="rect"):
        """(left, top, right, bottom) in screen coordinates."""
        return tuple(int(v) for v in self.fields[key].split(","))

    def __repr__(self):
        return "Event(%r)" % self.line


class ProbeRun:
    """What one probe run saw."""

    def __init__(self, events, returncode, stderr, relay, wineboot=None):
        self.events = events
        self.returncode = returncode
        self.stderr = stderr
        self.relay = relay
        # Command lines wineboot_stub.exe was started with (when the session was protected).
        self.wineboot = wineboot or []

    def all(self, name):
        return [e for e in self.events if e.name == name]

    def first(self, name):
        for e in self.events:
            if e.name == name:
                return e
        return None

    @property
    def child_pid(self):
        started = self.first("started")
        return int(started["pid"]) if started else None

    @property
    def errors(self):
        return self.all("error")

    @property
    def finished(self):
        """False when the probe was ended before its last line (wineboot --kill does that)."""
        return self.first("end") is not None

    @property
    def exit_code(self):
        e = self.first("exit")
        return int(e["code"]) if e else None

    def boxes(self):
        """Each box described, with its statics and buttons: a list of dicts."""
        result = []
        current = None
        for e in self.events:
            if e.name == "box":
                current = {"box": e, "statics": [], "buttons": []}
                result.append(current)
            elif current is not None and e.name == "static" and not current["buttons"]:
                current["statics"].append(e)
            elif current is not None and e.name == "button" and len(current["buttons"]) < 10 \
                    and not any(b["index"] == e["index"] for b in current["buttons"]):
                current["buttons"].append(e)
            elif e.name != "static":
                current = None
        return result

    def button_texts(self):
        """Successive distinct texts of the first button, with the time each was first seen."""
        seen = []
        for e in self.all("button"):
            if e["index"] != "0":
                continue
            text = e.bytes("text")
            if not seen or seen[-1][1] != text:
                seen.append((e.t, text))
        return seen

    def calls(self, name=None):
        """The haltix process's relay calls, optionally only those of one function."""
        pid = self.child_pid
        return [c for c in self.relay if c.pid == pid and (name is None or c.func == name)]

    def describe(self):
        """The whole run, for failure messages."""
        out = ["probe exit status %r" % (self.returncode,)]
        out += [e.line for e in self.events]
        calls = self.calls()
        if calls:
            out.append("relay calls of haltix:")
            out += ["  " + str(c) for c in calls]
        if self.wineboot:
            out.append("wineboot started as:")
            out += ["  " + c for c in self.wineboot]
        tail = self.stderr.strip().splitlines()[-15:]
        if tail and not calls:
            out.append("stderr (end):")
            out += ["  " + line for line in tail]
        return "\n".join(out)


# --------------------------------------------------------------------------------------------
# relay log

class RelayCall:
    """One relayed call: dll and function (dll lower-cased), raw arguments, return value."""

    def __init__(self, pid, tid, dll, func, args):
        self.pid = pid
        self.tid = tid
        self.dll = dll.lower()
        self.func = func
        self.args = args
        self.retval = None

    @property
    def name(self):
        return "%s.%s" % (self.dll, self.func)

    def int_arg(self, i):
        return int(self.args[i].split(" ")[0], 16)

    def str_arg(self, i):
        """The quoted string Wine shows after a pointer argument, as bytes (None for NULL)."""
        return _relay_string(self.args[i])

    def __str__(self):
        ret = "" if self.retval is None else " -> %x" % self.retval
        return "%04x:%04x %s(%s)%s" % (self.pid, self.tid, self.name, ",".join(self.args), ret)

    __repr__ = __str__


_RELAY_LINE = re.compile(
    r"^(?P<pid>[0-9a-f]{4,8}):(?P<tid>[0-9a-f]{4,8}):(?P<kind>Call|Ret) +"
    r"(?P<dll>[A-Za-z0-9_]+)\.(?P<func>[A-Za-z0-9_@?]+)\((?P<args>.*)\)"
    r"(?: retval=(?P<retval>[0-9a-f]+))?(?: ret=[0-9a-f]+)?$")


def _split_args(text):
    args, cur, quoted, escaped = [], "", False, False
    for ch in text:
        if escaped:
            cur += ch
            escaped = False
        elif ch == "\\" and quoted:
            cur += ch
            escaped = True
        elif ch == '"':
            cur += ch
            quoted = not quoted
        elif ch == "," and not quoted:
            args.append(cur)
            cur = ""
        else:
            cur += ch
    if cur or args:
        args.append(cur)
    return args


def _relay_string(arg):
    start = arg.find('"')
    if start < 0:
        return None
    body = arg[start + 1:]
    out = bytearray()
    i = 0
    simple = {"n": 10, "r": 13, "t": 9, "\\": 92, '"': 34, "a": 7, "b": 8, "f": 12, "v": 11}
    while i < len(body):
        ch = body[i]
        if ch == '"':
            break
        if ch == "\\" and i + 1 < len(body):
            nxt = body[i + 1]
            if nxt == "x":
                out.append(int(body[i + 2:i + 4], 16))
                i += 4
                continue
            if nxt in simple:
                out.append(simple[nxt])
                i += 2
                continue
            if nxt.isdigit():  # octal
                j = i + 1
                while j < len(body) and j < i + 4 and body[j] in "01234567":
                    j += 1
                out.append(int(body[i + 1:j], 8))
                i = j
                continue
        out += ch.encode("latin-1", "replace")
        i += 1
    return bytes(out)


def parse_relay(text):
    """Calls found in a +relay log (with +pid), in order; Ret lines fill in the return value."""
    calls = []
    open_calls = {}
    for line in text.splitlines():
        m = _RELAY_LINE.match(line)
        if not m:
            continue
        pid, tid = int(m["pid"], 16), int(m["tid"], 16)
        if m["kind"] == "Call":
            call = RelayCall(pid, tid, m["dll"], m["func"], _split_args(m["args"]))
            calls.append(call)
            open_calls.setdefault((pid, tid), []).append(call)
        else:
            stack = open_calls.get((pid, tid), [])
            for i in range(len(stack) - 1, -1, -1):
                if stack[i].func == m["func"]:
                    if m["retval"] is not None:
                        stack[i].retval = int(m["retval"], 16)
                    del stack[i:]
                    break
    return calls


# --------------------------------------------------------------------------------------------
# screenshots

def xwd_to_png(xwd, png_path, crop=None):
    """Write a TrueColor xwd dump (as xwd -root gives for Xvfb) as PNG; crop is (l, t, r, b)."""
    (header_size, _version, _format, depth, width, height, _xoffset, byte_order, _unit,
     _bit_order, _pad, bits_per_pixel, bytes_per_line, _visual_class, red_mask, green_mask,
     blue_mask, _bits_per_rgb, _colormap_entries, ncolors, _ww, _wh, _wx, _wy,
     _border) = struct.unpack(">25I", xwd[:100])
    if bits_per_pixel not in (24, 32) or depth < 24:
        raise WineError("screenshot: unsupported xwd format (%d bits per pixel)" % bits_per_pixel)
    data = xwd[header_size + ncolors * 12:]
    left, top, right, bottom = crop if crop else (0, 0, width, height)
    left, top = max(0, left), max(0, top)
    right, bottom = min(width, right), min(height, bottom)
    step = bits_per_pixel // 8
    endian = "<" if byte_order == 0 else ">"
    fmt = endian + ("I" if step == 4 else "")

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    raw = bytearray()
    for y in range(top, bottom):
        raw.append(0)
        row = data[y * bytes_per_line:(y + 1) * bytes_per_line]
        for x in range(left, right):
            if step == 4:
                (v,) = struct.unpack_from(fmt, row, x * 4)
            else:
                b = row[x * 3:x * 3 + 3]
                v = int.from_bytes(b, "little" if byte_order == 0 else "big")
            raw += bytes(((v & red_mask) >> rs, (v & green_mask) >> gs, (v & blue_mask) >> bs))

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xffffffff))

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", right - left, bottom - top, 8, 2, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    os.makedirs(os.path.dirname(os.path.abspath(png_path)), exist_ok=True)
    with open(png_path, "wb") as f:
        f.write(png)


# --------------------------------------------------------------------------------------------
# building the probe

# Each target with its source, its flags and what it is built for: "haltix" targets take the
# bitness of the haltix under test (probehook.dll is loaded into haltix, and probe.exe loads it
# too), "prefix" targets that of the 64-bit prefix (the stub replaces system32\wineboot.exe).
PROBE_SOURCES = {
    "probe.exe": ("probe.cpp", ["-luser32", "-lgdi32"], "haltix"),
    "probehook.dll": ("probehook.cpp", ["-shared", "-luser32"], "haltix"),
    "wineboot_stub.exe": ("wineboot_stub.cpp", ["-mwindows"], "prefix"),
}

# Headers a target's source includes, so that a change to them rebuilds it too.
PROBE_HEADERS = {"probe.exe": ["child_launch.h"]}

PE_MACHINE_AMD64 = 0x8664


def pe_machine(path):
    """The machine field of a PE file's header (0x8664 for x86-64, 0x14c for 32-bit x86)."""
    with open(path, "rb") as f:
        head = f.read(4096)
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    if head[offset:offset + 4] != b"PE\0\0":
        raise WineError("%s is not a PE file" % path)
    return struct.unpack_from("<H", head, offset + 4)[0]


def build_probe(out_dir, compiler=None):
    """Build probe.exe, probehook.dll and wineboot_stub.exe into out_dir when missing or older
    than their sources.

    The normal build does this through CMake; this serves runs without it.  compiler (or
    HALTIX_E2E_CXX) builds probe.exe and probehook.dll, and must match the bitness of haltix;
    wineboot_stub.exe is always built for 64-bit Windows (HALTIX_E2E_PREFIX_CXX, or the
    x86_64 MinGW-w64 compiler).  Returns the path of probe.exe.
    """
    here = os.path.dirname(os.path.abspath(__file__))
    default_64 = ("x86_64-w64-mingw32-g++-posix", "x86_64-w64-mingw32-g++")
    compilers = {
        "haltix": compiler or _which(os.environ.get("HALTIX_E2E_CXX", ""), *default_64),
        "prefix": _which(os.environ.get("HALTIX_E2E_PREFIX_CXX", ""), *default_64),
    }
    os.makedirs(out_dir, exist_ok=True)
    for target, (source, flags, kind) in PROBE_SOURCES.items():
        compiler = compilers[kind]
        out, src = os.path.join(out_dir, target), os.path.join(here, source)
        deps = [src] + [os.path.join(here, h) for h in PROBE_HEADERS.get(target, ())]
        newest = max(os.path.getmtime(f) for f in deps)
        if os.path.exists(out) and os.path.getmtime(out) >= newest:
            continue
        if not compiler:
            raise WineError("cannot build %s: no MinGW-w64 compiler (Debian package mingw-w64)" % target)
        p = subprocess.run([compiler, "-std=c++20", "-static", "-O2", "-Wall", "-Wextra", "-o", out, src] + flags,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        if p.returncode != 0:
            raise WineError("building %s failed:\n%s" % (target, p.stdout.decode(errors="replace")))
    return os.path.join(out_dir, "probe.exe")


# --------------------------------------------------------------------------------------------
# the session

class WineEnv:
    """One X server, one Wine prefix and one wineserver for a whole test run.

    work_dir holds the prefix (kept between runs once it has been settled, unless fresh=True)
    and the files each probe run needs.  display=None starts a private Xvfb; a string such as
    ":0" uses that display instead.

    Wine's helper processes (services.exe, explorer.exe, ...) inherit the standard output of
    the process that started them and keep it open for the whole session, so nothing here
    reads a Wine process's output through a pipe: it goes to files.
    """

    def __init__(self, work_dir, display=None, fresh=False, relay=DEFAULT_RELAY, log=None):
        self.work_dir = os.path.abspath(work_dir)
        self.prefix = os.path.join(self.work_dir, "prefix")
        self.run_dir = os.path.join(self.work_dir, "runs")
        self.given_display = display
        self.display = None
        self.fresh = fresh
        self.relay_include = list(relay)
        self.log = log or (lambda msg: None)
        self.xvfb = None
        self.wine = None
        self.wineserver = None
        self.app_versions = {}
        self.counter = 0
        self.started = False

    # ---- start and stop

    def start(self):
        try:
            self._find_tools()
            shutil.rmtree(self.run_dir, ignore_errors=True)
            os.makedirs(self.run_dir)
            self._start_display()
            self._make_prefix()
            self._configure()
            self.started = True
        except Exception:
            self.stop()
            raise
        return self

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        """End the Wine session and the X server this object started."""
        if self.wineserver and os.path.isdir(self.prefix):
            self._kill_session()
        if self.xvfb:
            self.xvfb.terminate()
            try:
                self.xvfb.wait(10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()
                self.xvfb.wait()
            self.xvfb = None
        self.started = False

    def _find_tools(self):
        # The 64-bit loader is called directly: Debian's "wine" wrapper asks for wine32.
        self.wine = _which(os.environ.get("HALTIX_E2E_WINE", ""), "/usr/lib/wine/wine64", "wine64", "wine")
        self.wineserver = _which(os.environ.get("HALTIX_E2E_WINESERVER", ""), "/usr/lib/wine/wineserver64",
                                 "wineserver64", "wineserver")
        if not self.wine or not self.wineserver:
            raise WineError("Wine not found (need wine64 and wineserver: Debian packages wine, wine64)")

    def _start_display(self):
        if self.given_display:
            self.display = self.given_display
            return
        xvfb = _which("Xvfb")
        if not xvfb:
            raise WineError("Xvfb not found (Debian package xvfb)")
        # -displayfd: Xvfb picks a free display and writes its number once it accepts clients.
        read_end, write_end = os.pipe()
        err = open(os.path.join(self.run_dir, "xvfb.log"), "wb")
        self.xvfb = subprocess.Popen(
            [xvfb, "-displayfd", str(write_end), "-screen", "0", "1024x768x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=err, stderr=err, start_new_session=True)
        err.close()
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb", buffering=0) as pipe:
            while not number.endswith(b"\n"):
                ready, _, _ = select.select([pipe], [], [], 30)
                chunk = pipe.read(16) if ready else b""
                if not chunk:
                    break
                number += chunk
        if not number.strip().isdigit():
            raise WineError("Xvfb did not start; see %s" % os.path.join(self.run_dir, "xvfb.log"))
        self.display = ":" + number.strip().decode()
        self.log("Xvfb on display %s" % self.display)

    def env(self, **extra):
        env = dict(os.environ)
        env.update({
            "WINEPREFIX": self.prefix,
            "WINEARCH": "win64",
            "WINEDEBUG": "-all",
            "WINEDLLOVERRIDES": PREFIX_DLLOVERRIDES,
            "LANG": LOCALE,
            "LC_ALL": LOCALE,
            "DISPLAY": self.display or "",
        })
        if self.wine and os.path.basename(self.wine).startswith("wine64"):
            env["WINELOADER"] = self.wine
        env.update(extra)
        return env

    def _run(self, args, timeout, check=True, what=None):
        """Run a Wine tool with its output in a file; returns (status, output)."""
        self.counter += 1
        out_path = os.path.join(self.run_dir, "tool-%03d.txt" % self.counter)
        with open(out_path, "wb") as out:
            p = subprocess.Popen(args, env=self.env(), stdin=subprocess.DEVNULL, stdout=out, stderr=out,
                                 start_new_session=True)
            try:
                status = p.wait(timeout)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
                raise WineError("%s did not finish within %d s" % (what or " ".join(args), timeout))
        with open(out_path, "rb") as f:
            output = f.read().decode("utf-8", "replace")
        if check and status != 0:
            raise WineError("%s failed with status %d: %s" % (what or " ".join(args), status, output[-500:]))
        return status, output

    def _wine(self, args, timeout=120, check=True):
        return self._run([self.wine] + args, timeout, check, "wine " + " ".join(args))

    def _make_prefix(self):
        _, version = self._run([self.wine, "--version"], 60)
        version = version.strip()
        mark = os.path.join(self.prefix, SETTLED_MARK)
        if not self.fresh and os.path.exists(mark):
            with open(mark) as f:
                if f.read().strip() == version:
                    self.log("reusing Wine prefix %s (%s)" % (self.prefix, version))
                    # A session left over from an earlier run would still use its old display.
                    self._kill_session()
                    self._start_server()
                    return
        if os.path.exists(self.prefix):
            self._kill_session()
            shutil.rmtree(self.prefix)
        self.log("creating Wine prefix %s (%s)" % (self.prefix, version))
        self._wine(["wineboot", "-u"], timeout=600)
        self._run([self.wineserver, "-w"], 300)
        if not os.path.exists(os.path.join(self.prefix, "system.reg")):
            raise WineError("the Wine prefix was not created in %s" % self.prefix)
        self._start_server()
        with open(mark, "w") as f:
            f.write(version + "\n")

    def _start_server(self):
        # One wineserver for the whole run; it stays when the last Wine process ends.
        self._run([self.wineserver, "-p"], 60)

    def _kill_session(self):
        for flag in ("-k", "-w"):
            try:
                self._run([self.wineserver, flag], 60, check=False)
            except WineError:
                pass

    def _configure(self):
        self.reg_set(r"HKCU\Software\Wine\X11 Driver", "Managed", "N")
        self.reg_set(r"HKCU\Software\Wine\Debug", "RelayInclude", ";".join(self.relay_include))
        self._wine(["reg", "delete", r"HKCU\Software\Wine\AppDefaults\haltix.exe", "/f"], check=False)
        self.app_versions = {}

    # ---- registry

    def reg_set(self, key, name, value):
        self._wine(["reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"])

    def reg_delete(self, key, name):
        self._wine(["reg", "delete", key, "/v", name, "/f"], check=False)

    def set_windows_version(self, version, exe="haltix.exe"):
        """The Windows version Wine reports to exe (win98, nt40, win2k, ...); None for the default."""
        if self.app_versions.get(exe, "unset") == version:
            return
        key = "HKCU\\Software\\Wine\\AppDefaults\\" + exe
        if version is None:
            self.reg_delete(key, "Version")
        else:
            self.reg_set(key, "Version", version)
        self.app_versions[exe] = version

    # ---- Wine processes

    def session_processes(self):
        """(unix pid, command line) of the Windows programs now running in this prefix."""
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environ = f.read().split(b"\0")
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    cmdline = f.read().replace(b"\0", b" ").decode("utf-8", "replace").strip()
            except OSError:
                continue
            if ("WINEPREFIX=" + self.prefix).encode() in environ and cmdline and "wineserver" not in cmdline:
                found.append((int(entry), cmdline))
        return found

    def wait_for_wineboot(self, timeout=20):
        """Wait until no wineboot of this prefix runs; end any that outlives timeout.

        Returns the command lines of the wineboot processes that were seen.
        """
        seen = set()
        deadline = time.monotonic() + timeout
        while True:
            running = [(pid, cmd) for pid, cmd in self.session_processes() if "wineboot" in cmd.lower()]
            seen.update(cmd for _, cmd in running)
            if not running:
                return sorted(seen)
            if time.monotonic() >= deadline:
                for pid, _ in running:
                    try:
                        os.kill(pid, 9)
                    except OSError:
                        pass
                self.log("ended wineboot that did not finish: %s" % [c for _, c in running])
                return sorted(seen)
            time.sleep(0.05)

    def reset_session(self):
        """End every process of the Wine session and start a fresh wineserver."""
        self._kill_session()
        self._start_server()

    # ---- running the probe

    def run_probe(self, probe, exe, cmdline, steps, relay=False, protect_session=True,
                  child_env=None, on_pause=None, timeout=90):
        """Start exe with the exact bytes cmdline under probe.exe and run steps (a list of str).

        relay: log the relay calls of haltix (and of the processes it starts).
        protect_session: let ExitWindowsEx start wineboot_stub.exe (found beside probe.exe)
        instead of Wine's wineboot, so it cannot end the Wine session (see PROTECT_SESSION).
        With False the real wineboot runs; this then waits for it to finish and makes sure the
        session is up again before returning.
        on_pause: called with the ProbeRun so far at each "pause" step; the probe goes on when
        it returns.
        """
        if not self.started:
            raise WineError("the Wine session is not running")
        if isinstance(cmdline, str):
            cmdline = cmdline.encode(CODEPAGE)
        self.counter += 1
        base = os.path.join(self.run_dir, "probe-%03d" % self.counter)
        with open(base + ".cmdline", "wb") as f:
            f.write(cmdline)
        probe = os.path.abspath(probe)
        args = [self.wine, probe]
        # WINEDLLOVERRIDES reaches haltix only from the Unix environment of the probe: Wine
        # does not take it from the Windows environment a parent passes on.
        probe_env = self.env()
        if protect_session:
            self._install_wineboot_stub(os.path.join(os.path.dirname(probe), "wineboot_stub.exe"))
            probe_env["WINEDLLOVERRIDES"] = PREFIX_DLLOVERRIDES + ";" + PROTECT_SESSION
            probe_env["HALTIX_E2E_WINEBOOT_LOG"] = to_windows_path(base + ".wineboot")
        if relay:
            args += ["--env", "WINEDEBUG=+pid,+relay"]
        for name, value in (child_env or {}).items():
            args += ["--env", "%s=%s" % (name, value)] if value is not None else ["--unset", name]
        args += [to_windows_path(exe), to_windows_path(base + ".cmdline")] + [str(s) for s in steps]

        events = []
        pending = b""
        with open(base + ".out", "wb") as out, open(base + ".err", "wb") as err, \
                open(base + ".out", "rb") as reader:
            proc = subprocess.Popen(args, env=probe_env, stdin=subprocess.PIPE, stdout=out, stderr=err,
                                    start_new_session=True)
            deadline = time.monotonic() + timeout
            try:
                while True:
                    done = proc.poll() is not None
                    pending += reader.read()
                    *lines, pending = pending.split(b"\n")
                    for raw in lines:
                        line = raw.decode("ascii", "replace").rstrip("\r")
                        if not line:
                            continue
                        events.append(Event(line))
                        if events[-1].name == "pause":
                            if on_pause:
                                on_pause(ProbeRun(list(events), None, "", []))
                            proc.stdin.write(b"\n")
                            proc.stdin.flush()
                    if done:
                        break
                    if time.monotonic() > deadline:
                        proc.kill()
                        proc.wait()
                        self.reset_session()
                        raise WineError("probe did not finish within %d s\n%s"
                                        % (timeout, ProbeRun(events, None, "", []).describe()))
                    time.sleep(0.01)
            finally:
                if proc.poll() is None:
                    proc.kill()
                    proc.wait()
                try:
                    proc.stdin.close()
                except OSError:
                    pass  # the probe was ended before it read its input
        if not protect_session:
            self.wait_for_wineboot()
            self._wake_session()
        with open(base + ".err", "rb") as f:
            stderr = f.read().decode("latin-1")
        wineboot = []
        if os.path.exists(base + ".wineboot"):
            with open(base + ".wineboot", "rb") as f:
                wineboot = [line for line in f.read().decode(CODEPAGE, "replace").split("\r\n") if line]
        return ProbeRun(events, proc.returncode, stderr, parse_relay(stderr) if relay else [], wineboot)

    def _install_wineboot_stub(self, stub):
        if not os.path.exists(stub):
            raise WineError("wineboot_stub.exe not found beside the probe (%s)" % stub)
        # A 32-bit program in system32 makes Wine's 32-bit wineboot, which hands its work to the
        # 64-bit one in system32, start itself again and again.
        if pe_machine(stub) != PE_MACHINE_AMD64:
            raise WineError("%s must be a 64-bit program: it takes the place of system32\\wineboot.exe"
                            % stub)
        target = os.path.join(self.prefix, "drive_c", "windows", "system32", "wineboot.exe")
        with open(stub, "rb") as f:
            wanted = f.read()
        with open(target, "rb") as f:
            if f.read() == wanted:
                return
        with open(target, "wb") as f:
            f.write(wanted)

    def _wake_session(self):
        # The first Wine process of a session runs "wineboot --init", which starts services.exe
        # and the rest.  After the real wineboot may have ended the session, let a plain Wine
        # process (without the stub override) be that first one.
        self._wine(["reg", "query", r"HKCU\Software\Wine\X11 Driver", "/v", "Managed"], check=False)

    # ---- screenshots

    def screenshot(self, png_path, crop=None):
        """Save the X screen (or the crop rectangle (l, t, r, b) of it) as PNG."""
        xwd = _which("xwd")
        if not xwd:
            raise WineError("xwd not found (Debian package x11-apps)")
        dump = os.path.join(self.run_dir, "screen.xwd")
        with open(dump, "wb") as out:
            status = subprocess.run([xwd, "-root", "-silent", "-display", self.display],
                                    stdout=out, stderr=subprocess.DEVNULL, timeout=60).returncode
        with open(dump, "rb") as f:
            data = f.read()
        if status != 0 or not data:
            raise WineError("xwd failed with status %d" % status)
        xwd_to_png(data, png_path, crop)
