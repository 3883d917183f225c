// The Windows entry point: runs haltix on the real platform behind the program's one error
// boundary.
#include <windows.h>

#include "haltix.h"
#include "win32_platform.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    try {
        haltix::Win32Platform platform;
        return haltix::RunHaltix(platform);
    } catch (...) {
        // Only exhausted memory gets here; the run ends without acting, with status 1.
        return 1;
    }
}
