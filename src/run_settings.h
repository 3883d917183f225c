// The run settings: the one record in which every command-line switch leaves its effect.
#pragma once

#include <cstdint>
#include <string>

#include "texts.h"

namespace haltix {

inline constexpr std::int32_t NoAction = -1;
inline constexpr std::int32_t EwxLogoff = 0;
inline constexpr std::int32_t EwxShutdown = 1;
inline constexpr std::int32_t EwxReboot = 2;
inline constexpr std::int32_t EwxForce = 4;
inline constexpr std::int32_t EwxPoweroff = 8;

struct RunSettings {
    // The flags for ExitWindowsEx; NoAction until an action switch is seen.
    std::int32_t ShutdownFlags = NoAction;
    bool ForceClose = false;
    // Countdown length in seconds; 0 means act at once.
    std::int32_t TimeoutSeconds = 0;
    bool Unstoppable = false;
    std::string NoticeText{DefaultNoticeText};
};

}  // namespace haltix
