// bare_exit.exe: the floor of haltix's immediate road, for the benchmarks.
//
// It makes the calls "haltix /s" must make and nothing else: enables the shutdown privilege
// of its own token and asks for a shutdown with ExitWindowsEx(EWX_SHUTDOWN, 0).  Under the
// benchmarks' Wine session the request reaches a stand-in for wineboot, so nothing shuts down.
// Built with the same compiler and size flags as haltix.exe (see bench/bench.py).

#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    HANDLE token = NULL;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL);
        CloseHandle(token);
    }
    ExitWindowsEx(EWX_SHUTDOWN, 0);
    return 0;
}
