// watch.exe: starts one program inside the Wine prefix and times what it shows, for bench/.
//
//   watch.exe [--env NAME=VALUE]... [--unset NAME]... EXE CMDLINE-FILE [STEP...]
//
// The arguments and the output follow tests/e2e/probe.cpp, so the harness's
// WineEnv.run_probe can run this program in the probe's place.  The child is started with
// CreateProcessA(EXE, <bytes of CMDLINE-FILE>); the clock starts just before that call.
//
// Unlike the probe, this program reads the windows of the child only through calls that Wine
// answers from its server (no message is sent to the child), so watching costs the child
// nothing, and it polls every millisecond.
//
// Steps (numbers are milliseconds):
//   visible MS     wait until the child has a visible "#32770" window ("visible" event)
//   labelled MS    then wait until that window's first "Button" reads 残り<blank>... ("ready")
//   labels MS      report each change of the button's text ("label"), for MS or until the
//                  window goes away or the child ends
//   pause          print "pause" and wait for a line on stdin (the caller samples the child's
//                  CPU time meanwhile)
//   sleep MS
//   wait-exit MS   wait until the child and the processes it started have ended ("exit")
//   kill           TerminateProcess the child and whatever it started
//
// Output: one line per event, "<event> t=<ms since start> us=<microseconds since start>
// abs=<microseconds of the performance counter>", then key=value fields.  Under Wine the
// performance counter and the +timestamp of a debug log (milliseconds) come from the same
// monotonic clock, so abs/1000 can be set against relay log lines.  A failed step prints
// "error step=<name> reason=<why>" and the program exits with 2.

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include <string>
#include <vector>

#include "child_launch.h"

static HANDLE g_out;
static LARGE_INTEGER g_freq, g_t0;
static PROCESS_INFORMATION g_pi;
static HANDLE g_job;
static bool g_started = false;
static HWND g_box = NULL, g_button = NULL;

static long long to_us(long long ticks) {
    // In two parts, so that large counter values do not overflow.
    long long f = g_freq.QuadPart;
    return ticks / f * 1000000 + ticks % f * 1000000 / f;
}

static long long now_ticks() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t.QuadPart;
}

static long long elapsed_us() { return g_started ? to_us(now_ticks() - g_t0.QuadPart) : 0; }

static void emit(const char *event, const std::string &fields) {
    long long ticks = now_ticks();
    long long us = g_started ? to_us(ticks - g_t0.QuadPart) : 0;
    char head[160];
    snprintf(head, sizeof head, "%s t=%lld us=%lld abs=%lld", event, us / 1000, us, to_us(ticks));
    std::string line = head;
    if (!fields.empty()) line += " " + fields;
    line += "\n";
    DWORD n;
    WriteFile(g_out, line.data(), (DWORD)line.size(), &n, NULL);
    FlushFileBuffers(g_out);
}

static bool child_running(DWORD *code = NULL) {
    if (WaitForSingleObject(g_pi.hProcess, 0) != WAIT_OBJECT_0) return true;
    DWORD c = 0;
    GetExitCodeProcess(g_pi.hProcess, &c);
    if (code) *code = c;
    return false;
}

static DWORD job_active() {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
    memset(&info, 0, sizeof info);
    if (!QueryInformationJobObject(g_job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                   NULL))
        return 0;
    return info.ActiveProcesses;
}

// The child's visible box, found among the top-level "#32770" windows.
static HWND find_box() {
    for (HWND h = FindWindowExA(NULL, NULL, "#32770", NULL); h;
         h = FindWindowExA(NULL, h, "#32770", NULL)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == g_pi.dwProcessId && IsWindowVisible(h)) return h;
    }
    return NULL;
}

// The window's text as Wine's server holds it, in the ANSI code page.  GetWindowTextA would
// send WM_GETTEXT to the child under Wine and so wait for, and load, the thread that shows
// the box; InternalGetWindowText only asks the server.
static std::string text_of(HWND h) {
    WCHAR wide[256] = L"";
    int n = InternalGetWindowText(h, wide, 256);
    if (n <= 0) return "";
    char buf[512] = "";
    int len = WideCharToMultiByte(CP_ACP, 0, wide, n, buf, sizeof buf, NULL, NULL);
    return std::string(buf, len > 0 ? len : 0);
}

static bool step_visible(long long timeout_ms) {
    long long deadline = elapsed_us() + timeout_ms * 1000;
    for (;;) {
        if ((g_box = find_box()) != NULL) {
            emit("visible", fmt("hwnd=0x%llx", (unsigned long long)(ULONG_PTR)g_box));
            g_button = FindWindowExA(g_box, NULL, "Button", NULL);
            return true;
        }
        DWORD code;
        if (!child_running(&code)) {
            emit("error", fmt("step=visible reason=exited code=%lu", code));
            return false;
        }
        if (elapsed_us() >= deadline) {
            emit("error", "step=visible reason=timeout");
            return false;
        }
        Sleep(1);
    }
}

static bool step_labelled(long long timeout_ms) {
    static const char remaining[] = "\x8E\x63\x82\xE8 ";  // 残り and a blank, code page 932
    long long deadline = elapsed_us() + timeout_ms * 1000;
    for (;;) {
        if (!g_button || !IsWindow(g_button)) {
            // The box may have been re-created; look again.
            g_box = find_box();
            g_button = g_box ? FindWindowExA(g_box, NULL, "Button", NULL) : NULL;
        }
        if (g_button) {
            std::string text = text_of(g_button);
            if (text.compare(0, sizeof remaining - 1, remaining) == 0) {
                emit("ready", "text=" + hex(text));
                return true;
            }
        }
        DWORD code;
        if (!child_running(&code)) {
            emit("error", fmt("step=labelled reason=exited code=%lu", code));
            return false;
        }
        if (elapsed_us() >= deadline) {
            emit("error", "step=labelled reason=timeout");
            return false;
        }
        Sleep(1);
    }
}

static bool step_labels(long long duration_ms) {
    if (!g_button) {
        emit("error", "step=labels reason=no-button");
        return false;
    }
    long long end = elapsed_us() + duration_ms * 1000;
    std::string last = text_of(g_button);
    for (;;) {
        if (!IsWindow(g_button) || !child_running()) {
            emit("gone", "");
            return true;
        }
        std::string text = text_of(g_button);
        // A button being destroyed reads empty for a moment; that is no label.
        if (!text.empty() && text != last) {
            emit("label", "text=" + hex(text));
            last = text;
        }
        if (elapsed_us() >= end) return true;
        Sleep(1);
    }
}

static bool step_wait_exit(long long timeout_ms) {
    long long deadline = elapsed_us() + timeout_ms * 1000;
    DWORD code = 0;
    while (child_running(&code)) {
        if (elapsed_us() >= deadline) {
            emit("running", "");
            return true;
        }
        WaitForSingleObject(g_pi.hProcess, 5);
    }
    emit("exited", fmt("code=%lu", code));
    while (job_active() > 0 && elapsed_us() < deadline) Sleep(5);
    emit("exit", fmt("code=%lu others-running=%lu", code, job_active()));
    return true;
}

static void step_pause() {
    emit("pause", "");
    char c;
    DWORD n;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, &c, 1, &n, NULL) && n == 1 && c != '\n') {
    }
    emit("resume", "");
}

static void end_all() {
    if (child_running()) {
        TerminateProcess(g_pi.hProcess, 1);
        WaitForSingleObject(g_pi.hProcess, 5000);
    }
    if (job_active() > 0) TerminateJobObject(g_job, 1);
}

static bool takes_number(const std::string &s) {
    return s == "visible" || s == "labelled" || s == "labels" || s == "sleep" || s == "wait-exit";
}

static bool known_step(const std::string &s) {
    return takes_number(s) || s == "pause" || s == "kill";
}

int main(int argc, char **argv) {
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    QueryPerformanceFrequency(&g_freq);
    std::vector<EnvChange> env;
    const char *exe, *cmdfile;
    int i = parse_start_args(argc, argv, &env, NULL, &exe, &cmdfile, emit);
    if (i < 0) return 2;
    if (!check_steps(argc, argv, i, known_step, takes_number, emit)) return 2;
    std::string cmdline;
    if (!read_cmdline(cmdfile, &cmdline, emit)) return 2;

    // This process's own first window calls are slow under Wine (they connect to X); they are
    // made before the clock starts, so only the child's own start is timed.
    find_box();
    GetSystemMetrics(SM_CXSCREEN);

    apply_env(env);

    g_job = CreateJobObjectA(NULL, NULL);
    // The child starts suspended only long enough to join the job, which keeps the processes it
    // starts (wineboot from ExitWindowsEx) countable; the clock covers that moment too.
    auto start_clock = [] {
        g_t0.QuadPart = now_ticks();
        g_started = true;
    };
    if (!start_in_job(exe, cmdline, NULL, &g_job, &g_pi, start_clock, emit)) return 2;
    emit("started", fmt("pid=%lu", g_pi.dwProcessId));

    for (; i < argc; i++) {
        std::string s = argv[i];
        long long arg = takes_number(s) ? atoll(argv[++i]) : 0;
        bool good = true;
        if (s == "visible")
            good = step_visible(arg);
        else if (s == "labelled")
            good = step_labelled(arg);
        else if (s == "labels")
            good = step_labels(arg);
        else if (s == "sleep") {
            Sleep((DWORD)arg);
            emit("slept", "");
        } else if (s == "pause")
            step_pause();
        else if (s == "wait-exit")
            good = step_wait_exit(arg);
        else if (s == "kill") {
            end_all();
            emit("killed", "");
        }
        if (!good) {
            end_all();
            emit("end", "status=failed");
            return 2;
        }
    }
    end_all();
    emit("end", "status=ok");
    return 0;
}
