// The countdown ticker: the notice window state, the one-second timer and its callback.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "thread.h"

namespace haltix {

inline constexpr std::uintptr_t CountdownTimerId = 1;
inline constexpr std::uint32_t CountdownTickMilliseconds = 1000;

// The notice's windows, written by the countdown run before the ticker starts (None until found),
// and the count shown on the button, set by the ticker once and then lowered by TimerProc.
extern std::atomic<Window> DialogWnd;
extern std::atomic<Window> ButtonWnd;
extern std::atomic<std::int32_t> RemainingSeconds;

// "残り <n> 秒" in code page 932, n in plain decimal.
std::string CountdownLabel(std::int32_t seconds);

// Lowers the count by one (wrapping in 32 bits) and writes it on the button, when a notice
// window is known. Runs in the notice thread, whose message loop takes the timer's messages.
void TimerProc(Window window, std::uint32_t message, std::uintptr_t timerId, std::uint32_t time);

// Sets the count and starts the one-second timer on the notice window, then ends.
class TTimerThread final : public TThread {
public:
    TTimerThread(Platform& platform, std::int32_t seconds);

private:
    void Execute() override;

    const std::int32_t FSeconds;
};

}  // namespace haltix
