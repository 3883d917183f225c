// probehook.dll: lets probe.exe read the window menu of a haltix box.
//
// Menus are kept in the memory of the process that owns the window, and Wine does not answer
// GetSystemMenu/GetMenuState for a window of another process.  probe.exe therefore loads this
// DLL and calls probe_query_sysmenu(): it hooks the box's thread with WH_GETMESSAGE (Wine loads
// the DLL into haltix for that), posts a private message to the box, and the hook, now running
// inside haltix, describes the menu into a small named shared memory block.

#include <stdio.h>
#include <string.h>
#include <windows.h>

static HMODULE g_self;
static const char *kMapName = "probehook-sysmenu-answer";
static const char *kEventName = "probehook-sysmenu-done";
static const int kAnswerSize = 4096;

static UINT query_message() { return RegisterWindowMessageA("probehook-query-sysmenu"); }

static void append(char *out, size_t size, const char *fmt, ...) {
    size_t used = strlen(out);
    if (used >= size) return;
    va_list ap;
    va_start(ap, fmt);
    vsnprintf(out + used, size - used, fmt, ap);
    va_end(ap);
}

// Runs inside haltix: describe the box's window menu item by item.
static void describe(HWND box, char *out, size_t size) {
    HMENU menu = GetSystemMenu(box, FALSE);
    if (!menu) {
        append(out, size, "menu=none");
        return;
    }
    int count = GetMenuItemCount(menu);
    append(out, size, "count=%d", count);
    for (int pos = 0; pos < count; pos++) {
        UINT state = GetMenuState(menu, pos, MF_BYPOSITION);
        UINT id = GetMenuItemID(menu, pos);
        char text[256] = "";
        GetMenuStringA(menu, pos, text, sizeof text, MF_BYPOSITION);
        append(out, size, " item%d=0x%x,0x%x,%d,", pos, id, state,
               (state & (MF_GRAYED | MF_DISABLED)) ? 1 : 0);
        for (const unsigned char *p = (const unsigned char *)text; *p; p++)
            append(out, size, "%02x", *p);
    }
}

static LRESULT CALLBACK hook_proc(int code, WPARAM wp, LPARAM lp) {
    MSG *msg = (MSG *)lp;
    if (code == HC_ACTION && wp == PM_REMOVE && msg->message == query_message()) {
        HANDLE map = OpenFileMappingA(FILE_MAP_WRITE, FALSE, kMapName);
        HANDLE done = OpenEventA(EVENT_MODIFY_STATE, FALSE, kEventName);
        if (map && done) {
            char *answer = (char *)MapViewOfFile(map, FILE_MAP_WRITE, 0, 0, kAnswerSize);
            if (answer) {
                answer[0] = 0;
                describe(msg->hwnd, answer, kAnswerSize);
                UnmapViewOfFile(answer);
            }
            SetEvent(done);
        }
        if (map) CloseHandle(map);
        if (done) CloseHandle(done);
        msg->message = WM_NULL;  // haltix never sees the private message
    }
    return CallNextHookEx(NULL, code, wp, lp);
}

// Runs inside probe.exe.  Returns FALSE with a short reason in out when there is no answer.
extern "C" __declspec(dllexport) BOOL probe_query_sysmenu(HWND box, char *out, int size) {
    out[0] = 0;
    HANDLE map =
        CreateFileMappingA(INVALID_HANDLE_VALUE, NULL, PAGE_READWRITE, 0, kAnswerSize, kMapName);
    HANDLE done = CreateEventA(NULL, TRUE, FALSE, kEventName);
    BOOL ok = FALSE;
    if (map && done) {
        ResetEvent(done);
        DWORD tid = GetWindowThreadProcessId(box, NULL);
        HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, hook_proc, g_self, tid);
        if (!hook) {
            snprintf(out, size, "hook-failed:%lu", GetLastError());
        } else {
            PostMessageA(box, query_message(), 0, 0);
            if (WaitForSingleObject(done, 5000) == WAIT_OBJECT_0) {
                char *answer = (char *)MapViewOfFile(map, FILE_MAP_READ, 0, 0, kAnswerSize);
                if (answer) {
                    snprintf(out, size, "%s", answer);
                    UnmapViewOfFile(answer);
                    ok = TRUE;
                }
            } else {
                snprintf(out, size, "timeout");
            }
            UnhookWindowsHookEx(hook);
        }
    } else {
        snprintf(out, size, "no-shared-memory");
    }
    if (map) CloseHandle(map);
    if (done) CloseHandle(done);
    return ok;
}

BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = inst;
    return TRUE;
}
