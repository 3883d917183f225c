// The recording fake of the Windows operations, with real threads and a scripted notice box.
#include "fake_platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace haltix::testing {
namespace {

// The fake thread that runs the calling code; 0 for the test's own thread.
thread_local std::uint32_t CurrentThreadId = 0;

constexpr std::uint32_t MomentMilliseconds = 100;
constexpr auto SafetyTimeout = std::chrono::seconds(5);
constexpr Handle ProcessPseudoHandle = static_cast<Handle>(~std::uintptr_t{0});
constexpr Luid ShutdownPrivilegeLuid{19, 0};

std::string Text(const char* text) { return text == nullptr ? "null" : text; }
std::string Flag(bool value) { return value ? "true" : "false"; }

}  // namespace

FakePlatform::~FakePlatform() { AnswerNoticeAndJoin(); }

std::string FakePlatform::Name(Window window) {
    switch (static_cast<std::uintptr_t>(window)) {
        case 0: return "none";
        case static_cast<std::uintptr_t>(NoticeDialog): return "dialog";
        case static_cast<std::uintptr_t>(NoticeSpareButton): return "spareButton";
        case static_cast<std::uintptr_t>(NoticeButton): return "button";
        case static_cast<std::uintptr_t>(ForeignDialog): return "foreignDialog";
        case static_cast<std::uintptr_t>(ForeignButton): return "foreignButton";
        default: return "window" + std::to_string(static_cast<std::uintptr_t>(window));
    }
}

void FakePlatform::Record(std::string call) {
    calls_.push_back(std::move(call));
    changed_.notify_all();
}

std::vector<std::string> FakePlatform::Calls() const {
    const std::scoped_lock lock(mutex_);
    return calls_;
}

std::vector<std::string> FakePlatform::CallsNamed(const std::vector<std::string>& names) const {
    std::vector<std::string> selected;
    for (const std::string& call : Calls()) {
        for (const std::string& name : names) {
            if (call.starts_with(name + "(")) selected.push_back(call);
        }
    }
    return selected;
}

std::vector<RecordedBox> FakePlatform::Boxes() const {
    const std::scoped_lock lock(mutex_);
    return boxes_;
}

std::vector<std::uint32_t> FakePlatform::LongWaits() const {
    const std::scoped_lock lock(mutex_);
    return longWaits_;
}

std::size_t FakePlatform::OpenHandles() const {
    const std::scoped_lock lock(mutex_);
    return handles_.size();
}

std::string FakePlatform::ButtonText() const {
    const std::scoped_lock lock(mutex_);
    return buttonText_;
}

void FakePlatform::OpenForeignNotice() {
    const std::scoped_lock lock(mutex_);
    windows_.insert(windows_.begin(),
                    {{ForeignDialog, Window::None, "#32770", "haltix", ForeignThreadId, true},
                     {ForeignButton, ForeignDialog, "Button", "OK", ForeignThreadId, true}});
}

Handle FakePlatform::OpenUnendingThread() {
    const std::scoped_lock lock(mutex_);
    auto state = std::make_shared<ThreadState>();
    state->id = nextThreadId_++;
    state->simulated = true;
    noticeThreadId_ = state->id;
    threadStates_.push_back(state);
    return NewHandle(std::move(state));
}

void FakePlatform::WaitForCall(const std::string& prefix) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, SafetyTimeout, [&] {
        return std::any_of(calls_.begin(), calls_.end(),
                           [&](const std::string& call) { return call.starts_with(prefix); });
    });
}

void FakePlatform::AnswerNotice() {
    {
        const std::scoped_lock lock(mutex_);
        noticeAnswered_ = true;
    }
    changed_.notify_all();
}

void FakePlatform::AnswerNoticeAndJoin() {
    AnswerNotice();
    std::vector<std::thread> threads;
    {
        const std::scoped_lock lock(mutex_);
        threads.swap(threads_);
    }
    for (std::thread& thread : threads) thread.join();
}

void FakePlatform::Tick() {
    std::unique_lock lock(mutex_);
    const int target = ticksHandled_ + 1;
    ++pendingTicks_;
    changed_.notify_all();
    changed_.wait_for(lock, SafetyTimeout,
                      [&] { return ticksHandled_ >= target || noticeAnswered_; });
}

std::string FakePlatform::GetCommandLineA() {
    const std::scoped_lock lock(mutex_);
    Record("GetCommandLineA()");
    return commandLine;
}

VersionInfo FakePlatform::GetVersionExA() {
    const std::scoped_lock lock(mutex_);
    Record("GetVersionExA()");
    return version;
}

void FakePlatform::RemoveNoticeWindows() {
    std::erase_if(windows_, [&](const FakeWindow& w) { return w.threadId == noticeThreadId_; });
}

int FakePlatform::MessageBoxA(Window owner, const std::string& text, const std::string& caption,
                              std::uint32_t style) {
    std::unique_lock lock(mutex_);
    Record("MessageBoxA(" + Name(owner) + "," + caption + "," + std::to_string(style) + ")");
    boxes_.push_back({text, caption, style});
    if (CurrentThreadId == 0) return 1;  // a box of the main thread is answered at once

    noticeThreadId_ = CurrentThreadId;
    if (notice == NoticeBehaviour::AnsweredBeforeWindow) return 1;

    // Like the system's box: the window exists before its layout is done and it is shown.
    windows_.push_back({NoticeDialog, Window::None, "#32770", caption, noticeThreadId_, false});
    windows_.push_back({NoticeSpareButton, NoticeDialog, "Button", "", noticeThreadId_, false});
    changed_.notify_all();

    if (notice == NoticeBehaviour::AnsweredBeforeReady) {
        changed_.wait_for(lock, SafetyTimeout, [&] { return visibilityChecks_ > 0; });
        RemoveNoticeWindows();
        return 1;
    }
    for (;;) {
        changed_.wait(lock, [&] { return noticeAnswered_ || pendingTicks_ > 0; });
        if (noticeAnswered_) break;
        --pendingTicks_;
        const TimerCallback timer = timer_;
        lock.unlock();
        if (timer != nullptr) timer(NoticeDialog, 0x113, 1, 0);
        lock.lock();
        ++ticksHandled_;
        changed_.notify_all();
    }
    RemoveNoticeWindows();
    timer_ = nullptr;
    return 1;
}

// NOLINTNEXTLINE(bugprone-easily-swappable-parameters): the Win32 function's parameter order
Window FakePlatform::FindWindowExA(Window parent, Window childAfter, const char* className,
                                   const char* title) {
    const std::scoped_lock lock(mutex_);
    bool passed = childAfter == Window::None;
    for (const FakeWindow& window : windows_) {
        if (window.parent != parent) continue;
        if (!passed) {
            passed = window.handle == childAfter;
            continue;
        }
        if ((className == nullptr || window.className == className) &&
            (title == nullptr || window.title == title)) {
            return window.handle;
        }
    }
    return Window::None;
}

const FakePlatform::FakeWindow* FakePlatform::FindKnownWindow(Window window) const {
    const auto found = std::find_if(windows_.begin(), windows_.end(),
                                    [&](const FakeWindow& w) { return w.handle == window; });
    return found == windows_.end() ? nullptr : &*found;
}

std::uint32_t FakePlatform::GetWindowThreadProcessId(Window window) {
    const std::scoped_lock lock(mutex_);
    const FakeWindow* known = FindKnownWindow(window);
    return known == nullptr ? 0 : known->threadId;
}

bool FakePlatform::IsWindowVisible(Window window) {
    const std::scoped_lock lock(mutex_);
    if (window == NoticeDialog && FindKnownWindow(window) != nullptr &&
        ++visibilityChecks_ >= visibilityChecksBeforeReady && notice == NoticeBehaviour::Normal) {
        // The box has laid itself out: the spare button is gone, the final one is shown.
        std::erase_if(windows_, [](const FakeWindow& w) { return w.handle == NoticeSpareButton; });
        if (FindKnownWindow(NoticeButton) == nullptr) {
            windows_.push_back({NoticeButton, NoticeDialog, "Button", "OK", noticeThreadId_, true});
            buttonText_ = "OK";
        }
        for (FakeWindow& w : windows_) {
            if (w.handle == NoticeDialog) w.visible = true;
        }
    }
    changed_.notify_all();
    const FakeWindow* known = FindKnownWindow(window);
    return known != nullptr && known->visible;
}

Menu FakePlatform::GetSystemMenu(Window window, bool revert) {
    const std::scoped_lock lock(mutex_);
    Record("GetSystemMenu(" + Name(window) + "," + Flag(revert) + ")");
    return NoticeMenu;
}

void FakePlatform::EnableMenuItem(Menu menu, std::uint32_t item, std::uint32_t flags) {
    const std::scoped_lock lock(mutex_);
    Record("EnableMenuItem(" + std::string(menu == NoticeMenu ? "menu" : "other") + "," +
           std::to_string(item) + "," + std::to_string(flags) + ")");
}

void FakePlatform::EnableWindow(Window window, bool enable) {
    const std::scoped_lock lock(mutex_);
    Record("EnableWindow(" + Name(window) + "," + Flag(enable) + ")");
}

bool FakePlatform::GetWindowRect(Window window, Rect& rect) {
    const std::scoped_lock lock(mutex_);
    Record("GetWindowRect(" + Name(window) + ")");
    if (getWindowRectFails) return false;
    rect = buttonScreenRect;
    return true;
}

void FakePlatform::ScreenToClient(Window window, Point& point) {
    const std::scoped_lock lock(mutex_);
    Record("ScreenToClient(" + Name(window) + "," + std::to_string(point.x) + "," +
           std::to_string(point.y) + ")");
    point.x -= dialogClientOrigin.x;
    point.y -= dialogClientOrigin.y;
}

void FakePlatform::MoveWindow(Window window, std::int32_t x, std::int32_t y, std::int32_t width,
                              std::int32_t height, bool repaint) {
    const std::scoped_lock lock(mutex_);
    Record("MoveWindow(" + Name(window) + "," + std::to_string(x) + "," + std::to_string(y) + "," +
           std::to_string(width) + "," + std::to_string(height) + "," + Flag(repaint) + ")");
}

void FakePlatform::SetWindowTextA(Window window, const std::string& text) {
    const std::scoped_lock lock(mutex_);
    Record("SetWindowTextA(" + Name(window) + "," + text + ")");
    if (window == NoticeButton && FindKnownWindow(window) != nullptr) buttonText_ = text;
}

void FakePlatform::SetTimer(Window window, std::uintptr_t timerId, std::uint32_t milliseconds,
                            TimerCallback callback) {
    const std::scoped_lock lock(mutex_);
    Record("SetTimer(" + Name(window) + "," + std::to_string(timerId) + "," +
           std::to_string(milliseconds) + ")");
    if (window == NoticeDialog && FindKnownWindow(window) != nullptr) timer_ = callback;
}

void FakePlatform::KillTimer(Window window, std::uintptr_t timerId) {
    const std::scoped_lock lock(mutex_);
    Record("KillTimer(" + Name(window) + "," + std::to_string(timerId) + ")");
    if (window == NoticeDialog) timer_ = nullptr;
}

Handle FakePlatform::NewHandle(std::shared_ptr<ThreadState> thread) {
    const std::uintptr_t value = nextHandle_++;
    handles_[value] = std::move(thread);
    return static_cast<Handle>(value);
}

std::shared_ptr<FakePlatform::ThreadState> FakePlatform::ThreadOf(Handle handle) {
    const auto found = handles_.find(static_cast<std::uintptr_t>(handle));
    return found == handles_.end() ? nullptr : found->second;
}

StartedThread FakePlatform::CreateThread(ThreadBody& body) {
    const std::scoped_lock lock(mutex_);
    Record("CreateThread()");
    if (createThreadFails) return {};
    auto state = std::make_shared<ThreadState>();
    state->id = nextThreadId_++;
    threadStates_.push_back(state);
    const Handle handle = NewHandle(state);
    threads_.emplace_back([this, &body, state] {
        CurrentThreadId = state->id;
        body.RunThread();
        {
            const std::scoped_lock threadLock(mutex_);
            state->finished = true;
        }
        changed_.notify_all();
    });
    return {handle, state->id};
}

Handle FakePlatform::DuplicateHandle(Handle handle) {
    const std::scoped_lock lock(mutex_);
    Record("DuplicateHandle()");
    auto thread = ThreadOf(handle);
    if (thread == nullptr || duplicateHandleFails) return Handle::None;
    return NewHandle(std::move(thread));
}

bool FakePlatform::ShortLivedThreadsRunning() const {
    return std::any_of(threadStates_.begin(), threadStates_.end(), [&](const auto& state) {
        return !state->finished && state->id != noticeThreadId_;
    });
}

std::uint32_t FakePlatform::WaitForSingleObject(Handle handle, std::uint32_t milliseconds) {
    std::unique_lock lock(mutex_);
    const auto thread = ThreadOf(handle);
    if (thread == nullptr) return WaitFailed;
    if (thread->finished) return WaitObject0;
    if (milliseconds <= MomentMilliseconds || thread->id != noticeThreadId_) {
        // A short wait is a real one. A thread that shows no notice ends by itself within
        // moments, so a long wait on it lasts until it has.
        const auto limit = milliseconds <= MomentMilliseconds
                               ? std::chrono::milliseconds(milliseconds)
                               : std::chrono::milliseconds(SafetyTimeout);
        changed_.wait_for(lock, limit, [&] { return thread->finished; });
        return thread->finished ? WaitObject0 : WaitTimeout;
    }
    longWaits_.push_back(milliseconds);
    if (longWait == LongWait::Fails) return WaitFailed;
    if (longWait == LongWait::TimesOut && milliseconds != Infinite) {
        // The time passes: every thread but the notice gets to finish its work meanwhile.
        changed_.wait_for(lock, SafetyTimeout, [&] { return !ShortLivedThreadsRunning(); });
        return WaitTimeout;
    }
    if (longWait != LongWait::UntilAnswered) {
        // The person answers; an unending wait could end no other way.
        noticeAnswered_ = true;
        changed_.notify_all();
    }
    changed_.wait(lock, [&] {
        if (thread->simulated && noticeAnswered_) thread->finished = true;
        return thread->finished;
    });
    return thread->finished ? WaitObject0 : WaitTimeout;
}

void FakePlatform::CloseHandle(Handle handle) {
    const std::scoped_lock lock(mutex_);
    const bool known = handles_.erase(static_cast<std::uintptr_t>(handle)) == 1;
    Record(known ? "CloseHandle()" : "CloseHandle(unknown)");
}

Handle FakePlatform::GetCurrentProcess() {
    const std::scoped_lock lock(mutex_);
    Record("GetCurrentProcess()");
    return ProcessPseudoHandle;
}

bool FakePlatform::OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) {
    const std::scoped_lock lock(mutex_);
    Record("OpenProcessToken(" + std::string(process == ProcessPseudoHandle ? "process" : "other") +
           "," + std::to_string(desiredAccess) + ")");
    token = NewHandle(nullptr);
    return true;
}

bool FakePlatform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid& luid) {
    const std::scoped_lock lock(mutex_);
    Record("LookupPrivilegeValueA(" + Text(systemName) + "," + Text(name) + ")");
    luid = ShutdownPrivilegeLuid;
    return true;
}

bool FakePlatform::AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                                         const SinglePrivilege& newState,
                                         std::uint32_t bufferLength, SinglePrivilege& previousState,
                                         std::uint32_t& returnLength) {
    const std::scoped_lock lock(mutex_);
    const bool isToken =
        handles_.contains(static_cast<std::uintptr_t>(token)) && ThreadOf(token) == nullptr;
    Record("AdjustTokenPrivileges(" + std::string(isToken ? "token" : "other") + "," +
           Flag(disableAllPrivileges) + ",{" + std::to_string(newState.count) + "," +
           (newState.luid == ShutdownPrivilegeLuid ? "shutdown" : "other") + "," +
           std::to_string(newState.attributes) + "}," + std::to_string(bufferLength) + ")");
    previousState = {};
    returnLength = 16;
    return true;
}

bool FakePlatform::ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
    const std::scoped_lock lock(mutex_);
    Record("ExitWindowsEx(" + std::to_string(flags) + "," + std::to_string(reserved) + ")");
    return true;
}

}  // namespace haltix::testing
