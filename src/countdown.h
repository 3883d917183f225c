// The countdown run: shows the notice, adapts its button, counts down and waits for the answer.
#pragma once

#include <cstdint>

#include "platform.h"
#include "run_settings.h"

namespace haltix {

// How long the window search pauses between attempts, waiting on the notice thread meanwhile.
inline constexpr std::uint32_t NoticeSearchPauseMilliseconds = 5;

// Waits on the notice thread's handle for the whole countdown: seconds × 1000 ms when positive
// (in several waits when that exceeds the longest single wait), without end when negative.
// True when the time ran out; false when the thread ended or the wait failed.
bool WaitForAnswer(Platform& platform, Handle noticeThread, std::int32_t seconds);

// True when the countdown ran out, false when the notice was answered first (or never showed).
bool RunCountdown(Platform& platform, const RunSettings& settings);

}  // namespace haltix
