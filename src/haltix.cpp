// The main sequence: refusal, usage text, immediate action or countdown.
#include "haltix.h"

#include <string>
#include <vector>

#include "command_line.h"
#include "countdown.h"
#include "run_settings.h"
#include "shutdown.h"
#include "texts.h"

namespace haltix {

bool IsWindowsNT(Platform& platform) {
    const VersionInfo version = platform.GetVersionExA();
    return version.succeeded && version.platformId == VerPlatformWin32Nt;
}

int RunHaltix(Platform& platform) {
    const std::string caption(Caption);
    if (!IsWindowsNT(platform)) {
        platform.MessageBoxA(Window::None, std::string(RefusalText), caption, MbIconError);
        return 0;
    }

    RunSettings settings;
    std::vector<std::string> arguments = SplitCommandLine(platform.GetCommandLineA());
    if (!arguments.empty()) arguments.erase(arguments.begin());  // the program token
    if (!arguments.empty()) ParseCommandLine(arguments, settings);

    if (arguments.empty() || settings.ShutdownFlags == NoAction) {
        platform.MessageBoxA(Window::None, std::string(UsageText), caption, MbIconInformation);
        return 0;
    }
    if (settings.ForceClose) settings.ShutdownFlags |= EwxForce;

    if (settings.TimeoutSeconds == 0 || RunCountdown(platform, settings)) {
        DoShutdown(platform, settings.ShutdownFlags);
    }
    return 0;
}

}  // namespace haltix
