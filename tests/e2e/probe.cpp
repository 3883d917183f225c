// probe.exe: drives haltix from inside the same Wine prefix for the end-to-end tests.
//
//   probe.exe [--env NAME=VALUE]... [--unset NAME]... [--cwd DIR] EXE CMDLINE-FILE [STEP...]
//
// The child is started with CreateProcessA(EXE, <bytes of CMDLINE-FILE>), so quotes, tabs,
// CP932 bytes and very long lines reach it exactly as written by the test.  --env/--unset
// change the environment the child inherits (the probe itself does not care about them).
// Wine takes WINEDEBUG from there, but not WINEDLLOVERRIDES: that one has to be in the Unix
// environment the probe is started with.
//
// Steps (run in order; numbers are milliseconds):
//   wait-box MS       wait until a visible "#32770" window of the child exists, then describe it
//   wait-window MS    wait until a "#32770" window of the child exists, shown or not yet, and
//                     take it as the box without describing it (so that a step after it comes
//                     at once, even before the box is shown)
//   box               describe the current box again
//   read-button       report the text, state and place of the box's buttons
//   watch-button MS   report the buttons each time one of them changes, for MS or until the
//                     box goes away or the child ends
//   wait-gone MS      wait until the child has no visible box any more
//   sleep MS
//   press             left click in the middle of the first button, as real mouse input
//                     (SendInput), so a disabled button ignores it just as it ignores a user
//   bm-click          SendMessage BM_CLICK to the first button
//   command-ok        PostMessage WM_COMMAND IDOK to the box
//   key-enter | key-escape | key-space | key-alt-f4
//                     post the key's messages to the window that has the keyboard focus in
//                     the child (even a disabled button)
//   type-enter | type-escape | type-space | type-alt-f4
//                     the same key as real keyboard input (SendInput)
//   close             PostMessage WM_SYSCOMMAND SC_CLOSE to the box
//   sysmenu           report the window menu, item by item: "itemN=<id>,<state>,<greyed>,<text>"
//                     (needs probehook.dll next to probe.exe).  Wine's menu for a box has nine
//                     items (Restore, Move, Size, Minimize, Maximize, -, Close, -, About Wine).
//   pause             print "pause" and wait for a line on stdin (lets the caller take a
//                     screenshot while the box shows)
//   wait-exit MS      report the child's exit code, or "running" at the deadline, and how many
//                     new boxes of the child were seen meanwhile; once the child has ended,
//                     also wait for the processes it started, and count them
//   cmdline           report the command line the child received
//   kill              TerminateProcess the child
//
// Output: one line per event, "<event> t=<ms since the child started> key=value ...".  Text is
// hex-encoded bytes of the ANSI (CP932) text, so it can be compared byte for byte.  Values never
// contain spaces.  A failed step prints "error step=<name> reason=<why>"; the probe then stops,
// ends a child that is still running and exits with 2.  Otherwise the last line is
// "end child=running|exited code=<n>" and the probe exits with 0, ending a child still running
// and any process it started that is still there ("others-ended=<n>").

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
#include <winternl.h>

#include <string>
#include <vector>

#include "child_launch.h"

static HANDLE g_out;
static LARGE_INTEGER g_freq, g_t0;
static PROCESS_INFORMATION g_pi;
// The child runs in a job, so the processes it starts (wineboot from ExitWindowsEx) can be
// counted, waited for, and ended with it.
static HANDLE g_job;
static bool g_started = false;

static long long now_ms() {
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    if (!g_started) return 0;
    return (t.QuadPart - g_t0.QuadPart) * 1000 / g_freq.QuadPart;
}

static void emit(const char *event, const std::string &fields) {
    char head[96];
    snprintf(head, sizeof head, "%s t=%lld", event, now_ms());
    std::string line = head;
    if (!fields.empty()) line += " " + fields;
    line += "\n";
    DWORD n;
    WriteFile(g_out, line.data(), (DWORD)line.size(), &n, NULL);
    FlushFileBuffers(g_out);
}

static std::string rect_str(HWND h) {
    RECT r = {0, 0, 0, 0};
    GetWindowRect(h, &r);
    return fmt("%ld,%ld,%ld,%ld", r.left, r.top, r.right, r.bottom);
}

// WM_GETTEXT across the process boundary; Wine converts to the probe's ANSI code page,
// which is the same one the child uses, so the bytes are the child's bytes.
static std::string window_text(HWND h) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutA(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &len)) return "";
    std::vector<char> buf(len * 2 + 16, 0);
    DWORD_PTR got = 0;
    SendMessageTimeoutA(h, WM_GETTEXT, (WPARAM)buf.size(), (LPARAM)buf.data(), SMTO_ABORTIFHUNG,
                        5000, &got);
    return std::string(buf.data(), strnlen(buf.data(), buf.size()));
}

static std::string class_name(HWND h) {
    char c[128] = "";
    GetClassNameA(h, c, sizeof c);
    return c;
}

static bool child_running(DWORD *code = NULL) {
    DWORD c = 0;
    if (WaitForSingleObject(g_pi.hProcess, 0) == WAIT_OBJECT_0) {
        GetExitCodeProcess(g_pi.hProcess, &c);
        if (code) *code = c;
        return false;
    }
    return true;
}

static bool job_counts(DWORD *total, DWORD *active) {
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info;
    memset(&info, 0, sizeof info);
    if (!QueryInformationJobObject(g_job, JobObjectBasicAccountingInformation, &info, sizeof info,
                                   NULL))
        return false;
    *total = info.TotalProcesses;
    *active = info.ActiveProcesses;
    return true;
}

struct FindCtx {
    DWORD pid;
    HWND found;
    bool need_visible;
    int count;
};

static BOOL CALLBACK find_box_cb(HWND h, LPARAM lp) {
    FindCtx *ctx = (FindCtx *)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != ctx->pid || class_name(h) != "#32770") return TRUE;
    if (ctx->need_visible && !IsWindowVisible(h)) return TRUE;
    ctx->count++;
    if (!ctx->found) ctx->found = h;
    return TRUE;
}

static HWND find_box(bool need_visible, int *count = NULL) {
    FindCtx ctx = {g_pi.dwProcessId, NULL, need_visible, 0};
    EnumWindows(find_box_cb, (LPARAM)&ctx);
    if (count) *count = ctx.count;
    return ctx.found;
}

static std::vector<HWND> children_of_class(HWND dlg, const char *cls) {
    std::vector<HWND> r;
    for (HWND c = GetWindow(dlg, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        if (lstrcmpiA(class_name(c).c_str(), cls) == 0) r.push_back(c);
    return r;
}

static std::string button_fields(HWND b, int index) {
    LONG style = GetWindowLongA(b, GWL_STYLE);
    return fmt("index=%d hwnd=0x%llx id=%d enabled=%d visible=%d default=%d rect=%s text=", index,
               (unsigned long long)(ULONG_PTR)b, GetDlgCtrlID(b), IsWindowEnabled(b) ? 1 : 0,
               IsWindowVisible(b) ? 1 : 0, (style & 0x0f) == BS_DEFPUSHBUTTON ? 1 : 0,
               rect_str(b).c_str()) +
           hex(window_text(b));
}

// Which standard icon does an SS_ICON control show?  The control's pixels are read back
// from the screen and compared with each standard icon drawn by the probe on the same
// background colour (taken from the control's top-left pixel, which is transparent in all
// of them).  Returns the best match, or "none" when no icon is close.
struct Pixels {
    int w = 0, h = 0;
    std::vector<DWORD> px;
};

static Pixels grab_screen(const RECT &r) {
    Pixels p;
    p.w = r.right - r.left;
    p.h = r.bottom - r.top;
    if (p.w <= 0 || p.h <= 0) return p;
    HDC screen = GetDC(NULL), mem = CreateCompatibleDC(screen);
    BITMAPINFO bi;
    memset(&bi, 0, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.w;
    bi.bmiHeader.biHeight = -p.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, p.w, p.h, screen, r.left, r.top, SRCCOPY);
    GdiFlush();
    p.px.assign((DWORD *)bits, (DWORD *)bits + p.w * p.h);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    return p;
}

static Pixels draw_icon(HICON icon, int w, int h, DWORD background) {
    Pixels p;
    p.w = w;
    p.h = h;
    HDC screen = GetDC(NULL), mem = CreateCompatibleDC(screen);
    BITMAPINFO bi;
    memset(&bi, 0, sizeof bi);
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = NULL;
    HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, NULL, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    for (int i = 0; i < w * h; i++) ((DWORD *)bits)[i] = background;
    DrawIconEx(mem, 0, 0, icon, 0, 0, 0, NULL, DI_NORMAL);
    GdiFlush();
    p.px.assign((DWORD *)bits, (DWORD *)bits + w * h);
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(NULL, screen);
    return p;
}

static std::string identify_icon(HWND control) {
    static const struct {
        const char *name;
        LPCSTR id;
    } icons[] = {{"error", IDI_HAND},
                 {"question", IDI_QUESTION},
                 {"warning", IDI_EXCLAMATION},
                 {"information", IDI_ASTERISK}};
    RECT r;
    GetWindowRect(control, &r);
    Pixels shot = grab_screen(r);
    if (shot.px.empty()) return "icon=none";
    std::string best = "none";
    int best_diff = shot.w * shot.h + 1;
    for (const auto &icon : icons) {
        Pixels ref = draw_icon(LoadIconA(NULL, icon.id), shot.w, shot.h, shot.px[0] & 0xffffff);
        int diff = 0;
        for (size_t i = 0; i < shot.px.size(); i++) {
            DWORD a = shot.px[i], b = ref.px[i];
            int d = 0;
            for (int k = 0; k < 24; k += 8) d += abs((int)((a >> k) & 255) - (int)((b >> k) & 255));
            if (d > 24) diff++;
        }
        if (diff < best_diff) {
            best_diff = diff;
            best = icon.name;
        }
    }
    // Pixels that differ are allowed only along the anti-aliased edge.
    if (best_diff * 20 > shot.w * shot.h) best = "none";
    return fmt("icon=%s icon-diff=%d", best.c_str(), best_diff);
}

static HWND g_box = NULL;

static void describe_box(HWND dlg) {
    int count = 0;
    find_box(true, &count);
    LONG style = GetWindowLongA(dlg, GWL_STYLE), exstyle = GetWindowLongA(dlg, GWL_EXSTYLE);
    emit("box",
         fmt("hwnd=0x%llx boxes=%d style=0x%08lx exstyle=0x%08lx enabled=%d rect=%s caption=",
             (unsigned long long)(ULONG_PTR)dlg, count, (unsigned long)style,
             (unsigned long)exstyle, IsWindowEnabled(dlg) ? 1 : 0, rect_str(dlg).c_str()) +
             hex(window_text(dlg)));
    for (HWND s : children_of_class(dlg, "Static")) {
        LONG ss = GetWindowLongA(s, GWL_STYLE);
        bool icon = (ss & SS_TYPEMASK) == SS_ICON;
        std::string f =
            fmt("id=%d kind=%s visible=%d rect=%s ", GetDlgCtrlID(s), icon ? "icon" : "text",
                IsWindowVisible(s) ? 1 : 0, rect_str(s).c_str());
        if (icon) {
            // The box may not have painted yet right after it became visible.
            std::string seen;
            for (int tries = 0; tries < 50; tries++) {
                seen = identify_icon(s);
                if (seen.compare(0, 10, "icon=none ") != 0) break;
                Sleep(20);
            }
            emit("static", f + seen);
        } else {
            emit("static", f + "text=" + hex(window_text(s)));
        }
    }
    int i = 0;
    for (HWND b : children_of_class(dlg, "Button")) emit("button", button_fields(b, i++));
}

static bool require_box(const char *step) {
    if (g_box && IsWindow(g_box)) return true;
    HWND b = find_box(true);
    if (b) {
        g_box = b;
        return true;
    }
    emit("error", fmt("step=%s reason=no-box", step));
    return false;
}

static HWND first_button() {
    std::vector<HWND> b = children_of_class(g_box, "Button");
    return b.empty() ? NULL : b[0];
}

static bool step_wait_box(long long timeout) {
    long long deadline = now_ms() + timeout;
    for (;;) {
        HWND b = find_box(true);
        if (b) {
            g_box = b;
            describe_box(b);
            return true;
        }
        DWORD code;
        if (!child_running(&code)) {
            emit("error", fmt("step=wait-box reason=exited code=%lu", code));
            return false;
        }
        if (now_ms() >= deadline) {
            emit("error", "step=wait-box reason=timeout");
            return false;
        }
        Sleep(10);
    }
}

static bool step_wait_window(long long timeout) {
    long long deadline = now_ms() + timeout;
    for (;;) {
        HWND b = find_box(false);
        if (b) {
            g_box = b;
            emit("window", fmt("hwnd=0x%llx visible=%d", (unsigned long long)(ULONG_PTR)b,
                               IsWindowVisible(b) ? 1 : 0));
            return true;
        }
        DWORD code;
        if (!child_running(&code)) {
            emit("error", fmt("step=wait-window reason=exited code=%lu", code));
            return false;
        }
        if (now_ms() >= deadline) {
            emit("error", "step=wait-window reason=timeout");
            return false;
        }
        Sleep(1);
    }
}

static bool step_watch_button(long long duration) {
    if (!require_box("watch-button")) return false;
    long long end = now_ms() + duration;
    std::vector<std::string> last;
    for (;;) {
        if (!IsWindow(g_box) || !IsWindowVisible(g_box)) {
            emit("gone", "");
            return true;
        }
        std::vector<std::string> cur;
        int i = 0;
        for (HWND b : children_of_class(g_box, "Button")) cur.push_back(button_fields(b, i++));
        if (cur != last) {
            for (const std::string &f : cur) emit("button", f);
            last = cur;
        }
        if (!child_running()) {
            emit("gone", "reason=exited");
            return true;
        }
        if (now_ms() >= end) return true;
        Sleep(10);
    }
}

static bool step_wait_gone(long long timeout) {
    long long deadline = now_ms() + timeout;
    for (;;) {
        if (!find_box(true)) {
            emit("gone", "");
            g_box = NULL;
            return true;
        }
        if (now_ms() >= deadline) {
            emit("error", "step=wait-gone reason=timeout");
            return false;
        }
        Sleep(10);
    }
}

// Also counts the boxes the child showed meanwhile, leaving out the one a step before has
// described (it may still be going away).  A box that needs no answer would go unnoticed only
// if it came and went within one polling interval.
struct NewBoxCtx {
    DWORD pid;
    HWND known;
    std::vector<HWND> *seen;
};

static BOOL CALLBACK new_box_cb(HWND h, LPARAM lp) {
    NewBoxCtx *ctx = (NewBoxCtx *)lp;
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid != ctx->pid || h == ctx->known || !IsWindowVisible(h) || class_name(h) != "#32770")
        return TRUE;
    for (HWND s : *ctx->seen)
        if (s == h) return TRUE;
    ctx->seen->push_back(h);
    return TRUE;
}

static bool step_wait_exit(long long timeout) {
    long long deadline = now_ms() + timeout;
    std::vector<HWND> seen;
    NewBoxCtx ctx = {g_pi.dwProcessId, g_box, &seen};
    for (;;) {
        DWORD code;
        bool running = child_running(&code);
        if (running) EnumWindows(new_box_cb, (LPARAM)&ctx);
        if (!running) break;
        if (now_ms() >= deadline) {
            emit("running", fmt("boxes-seen=%u", (unsigned)seen.size()));
            return true;
        }
        Sleep(10);
    }
    // Then for the processes the child started (they may outlive it), within the same deadline.
    DWORD code = 0, total = 0, active = 0;
    child_running(&code);
    while (job_counts(&total, &active) && active > 0 && now_ms() < deadline) Sleep(10);
    emit("exit", fmt("code=%lu boxes-seen=%u processes=%lu others-running=%lu", code,
                     (unsigned)seen.size(), total, active));
    return true;
}

// The command line as the child sees it, read from its process parameters and converted to
// the ANSI code page the way GetCommandLineA does.  Wine fills the parameters in while the
// new process starts, so they are read again until they hold a command line.
static bool read_child_cmdline(std::wstring *out) {
    typedef NTSTATUS(NTAPI * query_fn)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    query_fn query = (query_fn)(void (*)(void))GetProcAddress(GetModuleHandleA("ntdll.dll"),
                                                              "NtQueryInformationProcess");
    PROCESS_BASIC_INFORMATION pbi;
    PEB peb;
    RTL_USER_PROCESS_PARAMETERS params;
    SIZE_T got = 0;
    if (!query || query(g_pi.hProcess, ProcessBasicInformation, &pbi, sizeof pbi, NULL) != 0 ||
        !ReadProcessMemory(g_pi.hProcess, pbi.PebBaseAddress, &peb, sizeof peb, &got) ||
        !peb.ProcessParameters ||
        !ReadProcessMemory(g_pi.hProcess, peb.ProcessParameters, &params, sizeof params, &got) ||
        !params.CommandLine.Length || !params.CommandLine.Buffer)
        return false;
    std::vector<WCHAR> wide(params.CommandLine.Length / sizeof(WCHAR), 0);
    if (!ReadProcessMemory(g_pi.hProcess, params.CommandLine.Buffer, wide.data(),
                           params.CommandLine.Length, &got))
        return false;
    out->assign(wide.begin(), wide.end());
    return true;
}

static bool step_cmdline() {
    std::wstring wide;
    long long deadline = now_ms() + 5000;
    while (!read_child_cmdline(&wide)) {
        if (now_ms() >= deadline) {
            emit("error", fmt("step=cmdline reason=unreadable gle=%lu", GetLastError()));
            return false;
        }
        Sleep(5);
    }
    int wlen = (int)wide.size();
    int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), wlen, NULL, 0, NULL, NULL);
    std::string ansi(n, 0);
    WideCharToMultiByte(CP_ACP, 0, wide.data(), wlen, &ansi[0], n, NULL, NULL);
    emit("cmdline", fmt("chars=%d text=", wlen) + hex(ansi));
    return true;
}

static HWND focus_window() {
    GUITHREADINFO gi;
    memset(&gi, 0, sizeof gi);
    gi.cbSize = sizeof gi;
    DWORD tid = GetWindowThreadProcessId(g_box, NULL);
    if (GetGUIThreadInfo(tid, &gi)) {
        if (gi.hwndFocus) return gi.hwndFocus;
        if (gi.hwndActive) return gi.hwndActive;
    }
    return g_box;
}

struct Key {
    const char *name;
    UINT vk;
    bool alt;
};
static const Key kKeys[] = {
    {"enter", VK_RETURN, false},
    {"escape", VK_ESCAPE, false},
    {"space", VK_SPACE, false},
    {"alt-f4", VK_F4, true},
};

// "key-NAME" or "type-NAME" -> the key, or NULL.
static const Key *find_key(const std::string &step) {
    size_t dash = step.find('-');
    if (dash == std::string::npos) return NULL;
    std::string kind = step.substr(0, dash), name = step.substr(dash + 1);
    if (kind != "key" && kind != "type") return NULL;
    for (const Key &k : kKeys)
        if (name == k.name) return &k;
    return NULL;
}

// key-NAME: post the key's messages straight to the window that has the focus in the child.
static bool step_key(const std::string &step, const Key &key) {
    if (!require_box(step.c_str())) return false;
    HWND target = focus_window();
    UINT scan = MapVirtualKeyA(key.vk, MAPVK_VK_TO_VSC);
    LPARAM down = (LPARAM)(1 | (scan << 16) | (key.alt ? (1u << 29) : 0));
    LPARAM up = down | (LPARAM)((1u << 30) | (1u << 31));
    PostMessageA(target, key.alt ? WM_SYSKEYDOWN : WM_KEYDOWN, key.vk, down);
    PostMessageA(target, key.alt ? WM_SYSKEYUP : WM_KEYUP, key.vk, up);
    emit("key", fmt("name=%s target=0x%llx class=%s", key.name,
                    (unsigned long long)(ULONG_PTR)target, class_name(target).c_str()));
    return true;
}

// type-NAME: the key as real keyboard input (SendInput); Wine hands it to the focus window of
// the foreground thread, as it would a key the user pressed.
static bool step_type(const std::string &step, const Key &key) {
    if (!require_box(step.c_str())) return false;
    std::vector<INPUT> in;
    auto add = [&in](WORD vk, bool up) {
        INPUT i;
        memset(&i, 0, sizeof i);
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = vk;
        i.ki.wScan = (WORD)MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    if (key.alt) add(VK_MENU, false);
    add((WORD)key.vk, false);
    add((WORD)key.vk, true);
    if (key.alt) add(VK_MENU, true);
    HWND foreground = GetForegroundWindow();
    UINT sent = 0;
    for (INPUT &i : in) {
        sent += SendInput(1, &i, sizeof(INPUT));
        Sleep(20);
    }
    emit("type",
         fmt("name=%s sent=%u foreground-is-box=%d", key.name, sent, foreground == g_box ? 1 : 0));
    return true;
}

static bool step_press() {
    if (!require_box("press")) return false;
    HWND b = first_button();
    if (!b) {
        emit("error", "step=press reason=no-button");
        return false;
    }
    RECT r;
    GetWindowRect(b, &r);
    int x = (r.left + r.right) / 2, y = (r.top + r.bottom) / 2;
    int w = GetSystemMetrics(SM_CXSCREEN), h = GetSystemMetrics(SM_CYSCREEN);
    INPUT in[3];
    memset(in, 0, sizeof in);
    for (int i = 0; i < 3; i++) {
        in[i].type = INPUT_MOUSE;
        in[i].mi.dx = (x * 65535 + w / 2) / (w - 1);
        in[i].mi.dy = (y * 65535 + h / 2) / (h - 1);
    }
    in[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    in[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    UINT sent = SendInput(1, &in[0], sizeof(INPUT));
    Sleep(30);
    sent += SendInput(1, &in[1], sizeof(INPUT));
    Sleep(30);
    sent += SendInput(1, &in[2], sizeof(INPUT));
    emit("press", fmt("x=%d y=%d sent=%u", x, y, sent));
    return true;
}

static bool step_bm_click() {
    if (!require_box("bm-click")) return false;
    HWND b = first_button();
    if (!b) {
        emit("error", "step=bm-click reason=no-button");
        return false;
    }
    DWORD_PTR res = 0;
    BOOL ok = SendMessageTimeoutA(b, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &res) != 0;
    emit("bm-click", fmt("ok=%d", ok ? 1 : 0));
    return true;
}

static bool step_command_ok() {
    if (!require_box("command-ok")) return false;
    HWND b = GetDlgItem(g_box, IDOK);
    PostMessageA(g_box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), (LPARAM)b);
    emit("command-ok", "");
    return true;
}

static bool step_close() {
    if (!require_box("close")) return false;
    PostMessageA(g_box, WM_SYSCOMMAND, SC_CLOSE, 0);
    emit("close", "");
    return true;
}

// The window menu lives in the child's memory; Wine cannot read it from another process.
// probehook.dll is loaded into the child as a message hook and answers from inside.
static bool step_sysmenu() {
    if (!require_box("sysmenu")) return false;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
    while (n && path[n - 1] != '\\') n--;
    strcpy(path + n, "probehook.dll");
    HMODULE mod = LoadLibraryA(path);
    typedef BOOL (*query_fn)(HWND, char *, int);
    query_fn query =
        mod ? (query_fn)(void (*)(void))GetProcAddress(mod, "probe_query_sysmenu") : NULL;
    if (!query) {
        emit("error", "step=sysmenu reason=no-probehook");
        return false;
    }
    char out[1024] = "";
    if (!query(g_box, out, sizeof out)) {
        emit("error", fmt("step=sysmenu reason=%s", out[0] ? out : "no-answer"));
        return false;
    }
    emit("sysmenu", out);
    return true;
}

static bool step_pause() {
    emit("pause", "");
    char c;
    DWORD n;
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    while (ReadFile(in, &c, 1, &n, NULL) && n == 1 && c != '\n') {
    }
    emit("resume", "");
    return true;
}

static int finish(int rc) {
    DWORD code;
    if (!g_started) return rc;
    std::string state;
    if (child_running(&code)) {
        TerminateProcess(g_pi.hProcess, 1);
        WaitForSingleObject(g_pi.hProcess, 5000);
        state = "child=running";
    } else {
        state = fmt("child=exited code=%lu", code);
    }
    DWORD total = 0, active = 0;
    if (job_counts(&total, &active) && active > 0) {
        // Processes the child started and that are still there.
        TerminateJobObject(g_job, 1);
        state += fmt(" others-ended=%lu", active);
    }
    emit("end", state);
    return rc;
}

static bool takes_number(const std::string &s) {
    return s == "wait-box" || s == "wait-window" || s == "watch-button" || s == "wait-gone" ||
           s == "sleep" || s == "wait-exit";
}

static bool known_step(const std::string &s) {
    static const char *known[] = {"wait-box",     "wait-window", "box",     "read-button",
                                  "watch-button", "wait-gone",   "sleep",   "press",
                                  "bm-click",     "command-ok",  "close",   "sysmenu",
                                  "pause",        "wait-exit",   "cmdline", "kill"};
    bool ok = find_key(s) != NULL;
    for (const char *k : known) ok = ok || s == k;
    return ok;
}

int main(int argc, char **argv) {
    g_out = GetStdHandle(STD_OUTPUT_HANDLE);
    QueryPerformanceFrequency(&g_freq);
    const char *cwd = NULL, *exe, *cmdfile;
    // Environment changes are applied just before the child starts, so that Wine helper
    // processes the probe itself may start (explorer.exe for the desktop) do not get them.
    std::vector<EnvChange> env;
    int i = parse_start_args(argc, argv, &env, &cwd, &exe, &cmdfile, emit);
    if (i < 0) return 2;
    // Check the whole script before starting anything.
    if (!check_steps(argc, argv, i, known_step, takes_number, emit)) return 2;
    std::string cmdline;
    if (!read_cmdline(cmdfile, &cmdline, emit)) return 2;

    // The first window-manager call of a Wine process is slow (it connects to X); pay for it
    // before the child's clock starts.
    FindCtx warm = {0, NULL, false, 0};
    EnumWindows(find_box_cb, (LPARAM)&warm);
    GetSystemMetrics(SM_CXSCREEN);

    apply_env(env);

    LARGE_INTEGER before;
    auto clock_and_job = [&] {
        QueryPerformanceCounter(&before);
        g_job = CreateJobObjectA(NULL, NULL);
    };
    if (!start_in_job(exe, cmdline, cwd, &g_job, &g_pi, clock_and_job, emit)) return 2;
    g_t0 = before;
    g_started = true;
    emit("started", fmt("pid=%lu tid=%lu cmdline-bytes=%u", g_pi.dwProcessId, g_pi.dwThreadId,
                        (unsigned)cmdline.size()));

    for (; i < argc; i++) {
        std::string s = argv[i];
        long long arg = takes_number(s) ? atoll(argv[++i]) : 0;
        bool good = true;
        if (s == "wait-box")
            good = step_wait_box(arg);
        else if (s == "wait-window")
            good = step_wait_window(arg);
        else if (s == "box") {
            good = require_box("box");
            if (good) describe_box(g_box);
        } else if (s == "read-button") {
            good = require_box("read-button");
            int k = 0;
            if (good)
                for (HWND b : children_of_class(g_box, "Button"))
                    emit("button", button_fields(b, k++));
        } else if (s == "watch-button")
            good = step_watch_button(arg);
        else if (s == "wait-gone")
            good = step_wait_gone(arg);
        else if (s == "sleep") {
            Sleep((DWORD)arg);
            emit("slept", "");
        } else if (s == "press")
            good = step_press();
        else if (s == "bm-click")
            good = step_bm_click();
        else if (s == "command-ok")
            good = step_command_ok();
        else if (find_key(s) && s[0] == 'k')
            good = step_key(s, *find_key(s));
        else if (find_key(s))
            good = step_type(s, *find_key(s));
        else if (s == "close")
            good = step_close();
        else if (s == "sysmenu")
            good = step_sysmenu();
        else if (s == "pause")
            good = step_pause();
        else if (s == "wait-exit")
            good = step_wait_exit(arg);
        else if (s == "cmdline")
            good = step_cmdline();
        else if (s == "kill") {
            TerminateProcess(g_pi.hProcess, 1);
            WaitForSingleObject(g_pi.hProcess, 5000);
            emit("killed", "");
        }
        if (!good) return finish(2);
    }
    return finish(0);
}
