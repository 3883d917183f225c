// The main sequence of haltix: from the command line to the end of the run.
#pragma once

#include "platform.h"

namespace haltix {

inline constexpr std::uint32_t VerPlatformWin32Nt = 2;

// True when the system belongs to the NT family.
bool IsWindowsNT(Platform& platform);

// Runs haltix once and answers the exit status, 0 on every road.
int RunHaltix(Platform& platform);

}  // namespace haltix
