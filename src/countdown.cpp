// The countdown run.
#include "countdown.h"

#include <algorithm>
#include <optional>

#include "Unit1.h"
#include "Unit2.h"
#include "owned_handle.h"
#include "texts.h"

namespace haltix {
namespace {

constexpr const char* DialogClass = "#32770";
constexpr const char* ButtonClass = "Button";
constexpr std::uint32_t WindowMenuItem = 1;
constexpr std::uint32_t MfByPositionDisabledGrayed = 1024 + 2 + 1;
constexpr std::int32_t ButtonGrowthEachSide = 20;
constexpr std::uint64_t MillisecondsPerSecond = 1000;

struct NoticeWindows {
    Window dialog;
    Window button;
};

// The first top-level notice window made by the given thread: a box of another haltix, or of
// anything else titled alike, is never taken.
Window FindThreadDialog(Platform& platform, std::uint32_t threadId) {
    const std::string title(Caption);
    Window candidate = Window::None;
    while ((candidate = platform.FindWindowExA(Window::None, candidate, DialogClass,
                                               title.c_str())) != Window::None) {
        if (platform.GetWindowThreadProcessId(candidate) == threadId) return candidate;
    }
    return Window::None;
}

// Polls until the notice is ready: its window exists, is visible (the box has laid itself out
// and dropped its spare buttons by then) and has its button. Between attempts it waits briefly
// on the notice thread, and gives up when that thread has ended: the notice was answered.
std::optional<NoticeWindows> FindReadyNotice(Platform& platform, std::uint32_t threadId,
                                             Handle noticeThread) {
    for (;;) {
        const Window dialog = FindThreadDialog(platform, threadId);
        if (dialog != Window::None && platform.IsWindowVisible(dialog)) {
            const Window button =
                platform.FindWindowExA(dialog, Window::None, ButtonClass, nullptr);
            if (button != Window::None) return NoticeWindows{dialog, button};
        }
        if (platform.WaitForSingleObject(noticeThread, NoticeSearchPauseMilliseconds) !=
            WaitTimeout) {
            return std::nullopt;
        }
    }
}

// Disables the button and the window-menu item at position 1, so the notice cannot be answered.
void LockNotice(Platform& platform, const NoticeWindows& notice) {
    platform.EnableMenuItem(platform.GetSystemMenu(notice.dialog, false), WindowMenuItem,
                            MfByPositionDisabledGrayed);
    platform.EnableWindow(notice.button, false);
}

// Widens the button by 20 pixels on each side, for the longer label, and writes the first label.
void WidenAndLabel(Platform& platform, const NoticeWindows& notice, std::int32_t seconds) {
    Rect rect;
    if (platform.GetWindowRect(notice.button, rect)) {
        Point topLeft{rect.left, rect.top};
        Point bottomRight{rect.right, rect.bottom};
        platform.ScreenToClient(notice.dialog, topLeft);
        platform.ScreenToClient(notice.dialog, bottomRight);
        platform.MoveWindow(notice.button, topLeft.x - ButtonGrowthEachSide, topLeft.y,
                            bottomRight.x - topLeft.x + 2 * ButtonGrowthEachSide,
                            bottomRight.y - topLeft.y, true);
    }
    platform.SetWindowTextA(notice.button, CountdownLabel(seconds));
}

}  // namespace

bool WaitForAnswer(Platform& platform, Handle noticeThread, std::int32_t seconds) {
    if (seconds < 0) {
        // An unending wait returns only when the thread ends or the wait fails.
        return platform.WaitForSingleObject(noticeThread, Infinite) == WaitTimeout;
    }
    std::uint64_t remaining = static_cast<std::uint64_t>(seconds) * MillisecondsPerSecond;
    while (remaining > 0) {
        const auto slice =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(remaining, LongestFiniteWait));
        if (platform.WaitForSingleObject(noticeThread, slice) != WaitTimeout) return false;
        remaining -= slice;
    }
    return true;
}

bool RunCountdown(Platform& platform, const RunSettings& settings) {
    auto* const notice = new TMessageThread(platform, settings.NoticeText);
    const std::uint32_t noticeThreadId = notice->ThreadID();
    // A handle of our own: the thread object closes its handle when it frees itself, which may
    // happen at any moment after the mark is set.
    const OwnedHandle noticeThread(platform, platform.DuplicateHandle(notice->ThreadHandle()));
    notice->FreeOnTerminate();

    const std::optional<NoticeWindows> windows =
        FindReadyNotice(platform, noticeThreadId, noticeThread.get());
    if (!windows) return false;

    DialogWnd.store(windows->dialog);
    ButtonWnd.store(windows->button);
    if (settings.Unstoppable) {
        LockNotice(platform, *windows);
    } else {
        WidenAndLabel(platform, *windows, settings.TimeoutSeconds);
    }

    auto* const ticker = new TTimerThread(platform, settings.TimeoutSeconds);
    const OwnedHandle tickerThread(platform, platform.DuplicateHandle(ticker->ThreadHandle()));
    ticker->FreeOnTerminate();

    const bool timedOut = WaitForAnswer(platform, noticeThread.get(), settings.TimeoutSeconds);
    // The ticker starts the timer a moment after it starts itself; stopping the timer before
    // that moment would leave it running, so the ticker's end comes first.
    platform.WaitForSingleObject(tickerThread.get(), Infinite);
    platform.KillTimer(windows->dialog, CountdownTimerId);
    return timedOut;
}

}  // namespace haltix
