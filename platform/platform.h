// The Windows operations haltix relies on, behind one interface in the program's own types.
#pragma once

#include <cstdint>
#include <string>

namespace haltix {

// Opaque operating-system handles; 0 means none.
enum class Window : std::uintptr_t { None = 0 };
enum class Menu : std::uintptr_t { None = 0 };
enum class Handle : std::uintptr_t { None = 0 };

struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

struct Point {
    std::int32_t x = 0;
    std::int32_t y = 0;
};

// A locally unique identifier, as the system names privileges.
struct Luid {
    std::uint32_t lowPart = 0;
    std::int32_t highPart = 0;
    friend bool operator==(const Luid&, const Luid&) = default;
};

// A privilege set of exactly one entry (the layout of TOKEN_PRIVILEGES with one entry: 16 bytes).
struct SinglePrivilege {
    std::uint32_t count = 0;
    Luid luid;
    std::uint32_t attributes = 0;
};

// What GetVersionExA answered.
struct VersionInfo {
    bool succeeded = false;
    std::uint32_t platformId = 0;
};

struct StartedThread {
    Handle handle = Handle::None;
    std::uint32_t id = 0;
};

// The body a new thread runs. The platform calls RunThread once in the new thread; the thread ends
// with exit code 0 when it returns. RunThread may free the object it belongs to.
class ThreadBody {
public:
    virtual void RunThread() = 0;

protected:
    ThreadBody() = default;
    ~ThreadBody() = default;
    ThreadBody(const ThreadBody&) = default;
    ThreadBody& operator=(const ThreadBody&) = default;
};

// The form of a timer callback: window, message, timer id, system time.
using TimerCallback = void (*)(Window window, std::uint32_t message, std::uintptr_t timerId,
                               std::uint32_t time);

inline constexpr std::uint32_t WaitObject0 = 0;
inline constexpr std::uint32_t WaitTimeout = 258;
inline constexpr std::uint32_t WaitFailed = 0xFFFFFFFF;
inline constexpr std::uint32_t Infinite = 0xFFFFFFFF;
// The longest wait that still runs out by itself (one less than Infinite).
inline constexpr std::uint32_t LongestFiniteWait = 0xFFFFFFFE;

inline constexpr std::uint32_t MbIconError = 16;
inline constexpr std::uint32_t MbIconInformation = 64;

// Each operation has the name and the meaning of the Win32 function it stands for; strings are
// code page 932 byte strings handed to the ANSI forms.
class Platform {
public:
    Platform() = default;
    Platform(const Platform&) = delete;
    Platform& operator=(const Platform&) = delete;
    Platform(Platform&&) = delete;
    Platform& operator=(Platform&&) = delete;
    virtual ~Platform() = default;

    // The process's command line, as GetCommandLineA gives it.
    virtual std::string GetCommandLineA() = 0;
    // GetVersionExA with an OSVERSIONINFOA whose size field is 148.
    virtual VersionInfo GetVersionExA() = 0;

    // Blocks until answered; the calling thread dispatches messages meanwhile.
    virtual int MessageBoxA(Window owner, const std::string& text, const std::string& caption,
                            std::uint32_t style) = 0;

    // className and title may be null, meaning "any".
    virtual Window FindWindowExA(Window parent, Window childAfter, const char* className,
                                 const char* title) = 0;
    // The id of the thread that created the window; 0 when the window does not exist.
    virtual std::uint32_t GetWindowThreadProcessId(Window window) = 0;
    virtual bool IsWindowVisible(Window window) = 0;
    virtual Menu GetSystemMenu(Window window, bool revert) = 0;
    virtual void EnableMenuItem(Menu menu, std::uint32_t item, std::uint32_t flags) = 0;
    virtual void EnableWindow(Window window, bool enable) = 0;
    virtual bool GetWindowRect(Window window, Rect& rect) = 0;
    virtual void ScreenToClient(Window window, Point& point) = 0;
    virtual void MoveWindow(Window window, std::int32_t x, std::int32_t y, std::int32_t width,
                            std::int32_t height, bool repaint) = 0;
    virtual void SetWindowTextA(Window window, const std::string& text) = 0;
    virtual void SetTimer(Window window, std::uintptr_t timerId, std::uint32_t milliseconds,
                          TimerCallback callback) = 0;
    virtual void KillTimer(Window window, std::uintptr_t timerId) = 0;

    // Starts a thread running body.RunThread(); handle None when it could not be started.
    virtual StartedThread CreateThread(ThreadBody& body) = 0;
    // A second handle to the same object, owned by the caller; None on failure.
    virtual Handle DuplicateHandle(Handle handle) = 0;
    virtual std::uint32_t WaitForSingleObject(Handle handle, std::uint32_t milliseconds) = 0;
    virtual void CloseHandle(Handle handle) = 0;

    virtual Handle GetCurrentProcess() = 0;
    virtual bool OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) = 0;
    // systemName null means the local system.
    virtual bool LookupPrivilegeValueA(const char* systemName, const char* name, Luid& luid) = 0;
    // The previous state and its length are written to the given places.
    virtual bool AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                                       const SinglePrivilege& newState, std::uint32_t bufferLength,
                                       SinglePrivilege& previousState,
                                       std::uint32_t& returnLength) = 0;
    virtual bool ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) = 0;
};

}  // namespace haltix
