// The shutdown request: enables the shutdown privilege, then asks the system to act.
#pragma once

#include <cstdint>

#include "platform.h"

namespace haltix {

// Requests log off, shutdown, restart or power off with the given ExitWindowsEx flags. Every step
// is taken whatever the one before answered; the system may refuse the request, silently.
void DoShutdown(Platform& platform, std::int32_t shutdownFlags);

}  // namespace haltix
