// The Windows operations, each a thin call of the Win32 function of the same name.
#include "win32_platform.h"

#include <windows.h>

#include <atomic>
#include <cstddef>

namespace haltix {
namespace {

// The program keeps handles as opaque integers; here they become the pointer types Win32 takes.
template <typename Pointer, typename Opaque>
Pointer ToPointer(Opaque value) {
    // NOLINTNEXTLINE(performance-no-int-to-ptr): a handle is only passed on, never dereferenced
    return reinterpret_cast<Pointer>(static_cast<std::uintptr_t>(value));
}

HWND ToHwnd(Window window) { return ToPointer<HWND>(window); }
Window FromHwnd(HWND hwnd) { return static_cast<Window>(reinterpret_cast<std::uintptr_t>(hwnd)); }
HANDLE ToHandle(Handle handle) { return ToPointer<HANDLE>(handle); }
Handle FromHandle(HANDLE handle) {
    return static_cast<Handle>(reinterpret_cast<std::uintptr_t>(handle));
}

TOKEN_PRIVILEGES ToTokenPrivileges(const SinglePrivilege& privilege) {
    TOKEN_PRIVILEGES result{};
    result.PrivilegeCount = privilege.count;
    result.Privileges[0].Luid.LowPart = privilege.luid.lowPart;
    result.Privileges[0].Luid.HighPart = privilege.luid.highPart;
    result.Privileges[0].Attributes = privilege.attributes;
    return result;
}

static_assert(sizeof(TOKEN_PRIVILEGES) == sizeof(SinglePrivilege),
              "one privilege entry makes the 16 bytes of SinglePrivilege");

// A timer callback receives no context of its own, so the program's one callback waits here.
std::atomic<TimerCallback> ActiveTimerCallback{nullptr};

VOID CALLBACK TimerTrampoline(HWND hwnd, UINT message, UINT_PTR timerId, DWORD time) {
    if (const TimerCallback callback = ActiveTimerCallback.load()) {
        callback(FromHwnd(hwnd), message, timerId, time);
    }
}

DWORD WINAPI ThreadTrampoline(LPVOID parameter) {
    static_cast<ThreadBody*>(parameter)->RunThread();
    return 0;
}

// The size of OSVERSIONINFOA, which tells GetVersionExA to fill the ANSI record.
constexpr std::size_t AnsiVersionInfoSize = 148;

}  // namespace

std::string Win32Platform::GetCommandLineA() { return ::GetCommandLineA(); }

VersionInfo Win32Platform::GetVersionExA() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    static_assert(sizeof(OSVERSIONINFOA) == AnsiVersionInfoSize,
                  "the size field names the ANSI record");
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const bool succeeded = ::GetVersionExA(&info) != FALSE;
#pragma GCC diagnostic pop
    return {succeeded, info.dwPlatformId};
}

int Win32Platform::MessageBoxA(Window owner, const std::string& text, const std::string& caption,
                               std::uint32_t style) {
    return ::MessageBoxA(ToHwnd(owner), text.c_str(), caption.c_str(), style);
}

Window Win32Platform::FindWindowExA(Window parent, Window childAfter, const char* className,
                                    const char* title) {
    return FromHwnd(::FindWindowExA(ToHwnd(parent), ToHwnd(childAfter), className, title));
}

std::uint32_t Win32Platform::GetWindowThreadProcessId(Window window) {
    return ::GetWindowThreadProcessId(ToHwnd(window), nullptr);
}

bool Win32Platform::IsWindowVisible(Window window) {
    return ::IsWindowVisible(ToHwnd(window)) != FALSE;
}

Menu Win32Platform::GetSystemMenu(Window window, bool revert) {
    return static_cast<Menu>(
        reinterpret_cast<std::uintptr_t>(::GetSystemMenu(ToHwnd(window), revert ? TRUE : FALSE)));
}

void Win32Platform::EnableMenuItem(Menu menu, std::uint32_t item, std::uint32_t flags) {
    ::EnableMenuItem(ToPointer<HMENU>(menu), item, flags);
}

void Win32Platform::EnableWindow(Window window, bool enable) {
    ::EnableWindow(ToHwnd(window), enable ? TRUE : FALSE);
}

bool Win32Platform::GetWindowRect(Window window, Rect& rect) {
    RECT r{};
    if (::GetWindowRect(ToHwnd(window), &r) == FALSE) return false;
    rect = {r.left, r.top, r.right, r.bottom};
    return true;
}

void Win32Platform::ScreenToClient(Window window, Point& point) {
    POINT p{point.x, point.y};
    ::ScreenToClient(ToHwnd(window), &p);
    point = {p.x, p.y};
}

void Win32Platform::MoveWindow(Window window, std::int32_t x, std::int32_t y, std::int32_t width,
                               std::int32_t height, bool repaint) {
    // The repaint flag is passed as -1, the run-time library's spelling of true.
    ::MoveWindow(ToHwnd(window), x, y, width, height, repaint ? -1 : FALSE);
}

void Win32Platform::SetWindowTextA(Window window, const std::string& text) {
    ::SetWindowTextA(ToHwnd(window), text.c_str());
}

void Win32Platform::SetTimer(Window window, std::uintptr_t timerId, std::uint32_t milliseconds,
                             TimerCallback callback) {
    ActiveTimerCallback.store(callback);
    ::SetTimer(ToHwnd(window), timerId, milliseconds, TimerTrampoline);
}

void Win32Platform::KillTimer(Window window, std::uintptr_t timerId) {
    ::KillTimer(ToHwnd(window), timerId);
}

StartedThread Win32Platform::CreateThread(ThreadBody& body) {
    DWORD id = 0;
    HANDLE handle = ::CreateThread(nullptr, 0, ThreadTrampoline, &body, 0, &id);
    return {FromHandle(handle), id};
}

Handle Win32Platform::DuplicateHandle(Handle handle) {
    HANDLE duplicate = nullptr;
    if (::DuplicateHandle(::GetCurrentProcess(), ToHandle(handle), ::GetCurrentProcess(),
                          &duplicate, 0, FALSE, DUPLICATE_SAME_ACCESS) == FALSE) {
        return Handle::None;
    }
    return FromHandle(duplicate);
}

std::uint32_t Win32Platform::WaitForSingleObject(Handle handle, std::uint32_t milliseconds) {
    return ::WaitForSingleObject(ToHandle(handle), milliseconds);
}

void Win32Platform::CloseHandle(Handle handle) { ::CloseHandle(ToHandle(handle)); }

Handle Win32Platform::GetCurrentProcess() { return FromHandle(::GetCurrentProcess()); }

bool Win32Platform::OpenProcessToken(Handle process, std::uint32_t desiredAccess, Handle& token) {
    HANDLE raw = nullptr;
    const bool opened = ::OpenProcessToken(ToHandle(process), desiredAccess, &raw) != FALSE;
    token = opened ? FromHandle(raw) : Handle::None;
    return opened;
}

bool Win32Platform::LookupPrivilegeValueA(const char* systemName, const char* name, Luid& luid) {
    LUID raw{};
    const bool found = ::LookupPrivilegeValueA(systemName, name, &raw) != FALSE;
    luid = {raw.LowPart, raw.HighPart};
    return found;
}

bool Win32Platform::AdjustTokenPrivileges(Handle token, bool disableAllPrivileges,
                                          const SinglePrivilege& newState,
                                          std::uint32_t bufferLength,
                                          SinglePrivilege& previousState,
                                          std::uint32_t& returnLength) {
    TOKEN_PRIVILEGES requested = ToTokenPrivileges(newState);
    TOKEN_PRIVILEGES previous{};
    DWORD length = 0;
    const bool adjusted =
        ::AdjustTokenPrivileges(ToHandle(token), disableAllPrivileges ? TRUE : FALSE, &requested,
                                bufferLength, &previous, &length) != FALSE;
    previousState.count = previous.PrivilegeCount;
    previousState.luid = {previous.Privileges[0].Luid.LowPart,
                          previous.Privileges[0].Luid.HighPart};
    previousState.attributes = previous.Privileges[0].Attributes;
    returnLength = length;
    return adjusted;
}

bool Win32Platform::ExitWindowsEx(std::uint32_t flags, std::uint32_t reserved) {
    return ::ExitWindowsEx(flags, reserved) != FALSE;
}

}  // namespace haltix
