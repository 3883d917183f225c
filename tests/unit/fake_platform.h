// A fake of the Windows operations: records every call and answers as a test scripts it.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform.h"

namespace haltix::testing {

// Named windows the fake knows; calls are recorded with these names.
inline constexpr Window NoticeDialog = static_cast<Window>(0x100);
inline constexpr Window NoticeSpareButton = static_cast<Window>(0x101);
inline constexpr Window NoticeButton = static_cast<Window>(0x102);
inline constexpr Window ForeignDialog = static_cast<Window>(0x200);
inline constexpr Window ForeignButton = static_cast<Window>(0x201);
inline constexpr Menu NoticeMenu = static_cast<Menu>(0x300);
inline constexpr std::uint32_t ForeignThreadId = 999;

struct RecordedBox {
    std::string text;
    std::string caption;
    std::uint32_t style;
};

// How the notice box behaves when a fake thread opens it (style 16).
enum class NoticeBehaviour {
    // Opens invisible with a spare button, becomes ready (visible, one final button) after a few
    // visibility checks, and stays open until answered.
    Normal,
    // Answered before its window ever exists.
    AnsweredBeforeWindow,
    // Its window exists but the box is answered before it becomes visible.
    AnsweredBeforeReady,
};

// What a wait longer than a moment does; short waits are real waits on the thread.
enum class LongWait {
    TimesOut,        // the time runs out with the notice unanswered
    AnsweredAtOnce,  // the person answers the notice right away
    UntilAnswered,   // the wait lasts until the test answers the notice
    Fails,           // the wait itself fails
};

class FakePlatform final : public Platform {
public:
    FakePlatform() = default;
    ~FakePlatform() override;
    FakePlatform(const FakePlatform&) = delete;
    FakePlatform& operator=(const FakePlatform&) = delete;
    FakePlatform(FakePlatform&&) = delete;
    FakePlatform& operator=(FakePlatform&&) = delete;

    // --- Script -----------------------------------------------------------------------------
    std::string commandLine = "haltix.exe";
    VersionInfo version{true, 2};
    NoticeBehaviour notice = NoticeBehaviour::Normal;
    int visibilityChecksBeforeReady = 3;
    LongWait longWait = LongWait::TimesOut;
    bool getWindowRectFails = false;
    bool createThreadFails = false;
    bool duplicateHandleFails = false;
    // The button in screen coordinates, and the dialog's client origin on the screen.
    Rect buttonScreenRect{300, 400, 375, 423};
    Point dialogClientOrigin{250, 330};

    // --- Observation ------------------------------------------------------------------------
    [[nodiscard]] std::vector<std::string> Calls() const;
    // The recorded calls whose text starts with one of the given names.
    [[nodiscard]] std::vector<std::string> CallsNamed(const std::vector<std::string>& names) const;
    [[nodiscard]] std::vector<RecordedBox> Boxes() const;
    // Lengths of the waits that were longer than a moment, in order.
    [[nodiscard]] std::vector<std::uint32_t> LongWaits() const;
    [[nodiscard]] std::size_t OpenHandles() const;
    [[nodiscard]] std::string ButtonText() const;

    // Opens a visible "#32770" box titled "haltix" of another process, ahead of ours in the
    // z-order, as a second running copy's notice would be.
    void OpenForeignNotice();
    // A handle to a thread that never ends by itself (as the notice thread's would be).
    Handle OpenUnendingThread();
    // Blocks until a call starting with the given text has been recorded.
    void WaitForCall(const std::string& prefix);
    // Answers the open notice (or the next one to open).
    void AnswerNotice();
    // Answers the open notice and waits for every fake thread to end.
    void AnswerNoticeAndJoin();
    // Delivers one timer tick to the notice thread and waits until it has been handled.
    void Tick();

    // --- Platform ---------------------------------------------------------------------------
    std::string GetCommandLineA() override;
    VersionInfo GetVersionExA() override;
    int MessageBoxA(Window owner, const std::string& text, const std::string& caption,
                    std::uint32_t style) override;
    Window FindWindowExA(Window parent, Window childAfter, const char* className,
                         const char* title) override;
    std::uint32_t GetWindowThreadProcessId(Window window) override;
    bool IsWindowVisible(Window window) override;
    Menu GetSystemMenu(Window window, bool revert) override;
    void EnableMenuItem(Menu menu, std::uint32_t item, std::uint32_t flags) override;
    void EnableWindow(Window window, bool enable) override;
    bool GetWindowRect(Window window, Rect& rect) override;
    void ScreenToClient(Window window, Point& point) override;
    void MoveWindow(Window window, std::int32_t x, std::int32_t y, std::int32_t width,
                    std::int32_t height, bool repaint) override;
    void SetWindowTextA(Window window, const std::string& text) override;
    void SetTimer(Window window, std::uintptr_t timerId, std::uint32_t milliseconds,
                  TimerCallback callback) override;
    void KillTimer(Window window, std::uintptr_t timerId) override;
    StartedThread CreateThread(ThreadBody& body) override;
    Handle DuplicateHandle(Handle handle) override;
    std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) override;
    void CloseHandle(Handle handle) override;
    Handle GetCurrentProcess() override;
    bool OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) override;
    bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid& luid) override;
    bool AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                               const SinglePrivilege& newState, std::uint32_t bufferLength,
                               SinglePrivilege& previousState,
                               std::uint32_t& returnLength) override;
    bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) override;

private:
    struct ThreadState {
        std::uint32_t id = 0;
        bool finished = false;
        // No real thread runs behind it: it ends when the notice is answered.
        bool simulated = false;
    };
    struct FakeWindow {
        Window handle;
        Window parent;
        std::string className;
        std::string title;
        std::uint32_t threadId;
        bool visible;
    };

    void Record(std::string call);
    Handle NewHandle(std::shared_ptr<ThreadState> thread);
    std::shared_ptr<ThreadState> ThreadOf(Handle handle);
    const FakeWindow* FindKnownWindow(Window window) const;
    void RemoveNoticeWindows();
    bool ShortLivedThreadsRunning() const;
    static std::string Name(Window window);

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> calls_;
    std::vector<RecordedBox> boxes_;
    std::vector<std::uint32_t> longWaits_;
    std::vector<FakeWindow> windows_;
    std::map<std::uintptr_t, std::shared_ptr<ThreadState>> handles_;
    std::uintptr_t nextHandle_ = 0x1000;
    std::uint32_t nextThreadId_ = 1001;
    std::vector<std::thread> threads_;
    std::vector<std::shared_ptr<ThreadState>> threadStates_;
    std::uint32_t noticeThreadId_ = 0;
    int visibilityChecks_ = 0;
    bool noticeAnswered_ = false;
    int pendingTicks_ = 0;
    int ticksHandled_ = 0;
    TimerCallback timer_ = nullptr;
    std::string buttonText_;
};

}  // namespace haltix::testing
