// wineboot_stub.exe: takes the place of Wine's wineboot.exe while a test runs haltix.
//
// Under Wine, ExitWindowsEx does its work by starting C:\windows\system32\wineboot.exe with
// --end-session or --kill (and --shutdown); --kill ends every process of the Wine session,
// the test's probe too.  The harness copies this program over the prefix's wineboot.exe and
// runs the probe with WINEDLLOVERRIDES=wineboot.exe=n, so haltix's ExitWindowsEx starts this
// stub instead: ExitWindowsEx still succeeds as it would, and the stub only appends its
// command line to the file named by HALTIX_E2E_WINEBOOT_LOG.  Without the override Wine keeps
// using its own wineboot, so the prefix itself is not affected.

#include <windows.h>

int main() {
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("HALTIX_E2E_WINEBOOT_LOG", path, sizeof path);
    if (n == 0 || n >= sizeof path) return 0;
    HANDLE log = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (log == INVALID_HANDLE_VALUE) return 0;
    const char *cmdline = GetCommandLineA();
    DWORD written;
    WriteFile(log, cmdline, lstrlenA(cmdline), &written, NULL);
    WriteFile(log, "\r\n", 2, &written, NULL);
    CloseHandle(log);
    return 0;
}
