// The countdown ticker's state, label, timer callback and thread.
#include "Unit2.h"

namespace haltix {

std::atomic<Window> DialogWnd{Window::None};
std::atomic<Window> ButtonWnd{Window::None};
std::atomic<std::int32_t> RemainingSeconds{0};

namespace {

// The timer callback has no room for context, so the ticker leaves the platform here for it
// before the timer starts.
std::atomic<Platform*> TickerPlatform{nullptr};

}  // namespace

std::string CountdownLabel(std::int32_t seconds) {
    // 残り (remaining), a blank, the count, a blank, 秒 (seconds).
    return "\x8E\x63\x82\xE8 " + std::to_string(seconds) + " \x95\x62";
}

void TimerProc(Window /*window*/, std::uint32_t /*message*/, std::uintptr_t /*timerId*/,
               std::uint32_t /*time*/) {
    Platform* const platform = TickerPlatform.load();
    if (DialogWnd.load() == Window::None || platform == nullptr) return;
    // The count goes on below zero as long as ticks come; it wraps rather than overflows.
    const auto lowered =
        static_cast<std::int32_t>(static_cast<std::uint32_t>(RemainingSeconds.load()) - 1U);
    RemainingSeconds.store(lowered);
    platform->SetWindowTextA(ButtonWnd.load(), CountdownLabel(lowered));
}

TTimerThread::TTimerThread(Platform& platform, std::int32_t seconds)
    : TThread(platform), FSeconds(seconds) {
    Start();
}

void TTimerThread::Execute() {
    RemainingSeconds.store(FSeconds);
    TickerPlatform.store(&platform());
    platform().SetTimer(DialogWnd.load(), CountdownTimerId, CountdownTickMilliseconds, TimerProc);
}

}  // namespace haltix
