// The Windows operations, carried out by the Win32 API.
#pragma once

#include "platform.h"

namespace haltix {

class Win32Platform final : public Platform {
public:
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
};

}  // namespace haltix
