// The shutdown request.
#include "shutdown.h"

#include "owned_handle.h"

namespace haltix {
namespace {

constexpr std::uint32_t TokenAdjustPrivilegesAndQuery = 32 + 8;
constexpr std::uint32_t SePrivilegeEnabled = 2;
constexpr std::uint32_t PreviousStateBufferLength = 16;
constexpr const char* ShutdownPrivilege = "SeShutdownPrivilege";

}  // namespace

void DoShutdown(Platform& platform, std::int32_t shutdownFlags) {
    Handle rawToken = Handle::None;
    platform.OpenProcessToken(platform.GetCurrentProcess(), TokenAdjustPrivilegesAndQuery,
                              rawToken);
    const OwnedHandle token(platform, rawToken);

    SinglePrivilege privilege;
    privilege.count = 1;
    privilege.attributes = SePrivilegeEnabled;
    platform.LookupPrivilegeValueA(nullptr, ShutdownPrivilege, privilege.luid);

    SinglePrivilege previousState;
    std::uint32_t previousStateLength = 0;
    platform.AdjustTokenPrivileges(token.get(), false, privilege, PreviousStateBufferLength,
                                   previousState, previousStateLength);

    platform.ExitWindowsEx(static_cast<std::uint32_t>(shutdownFlags), 0);
}

}  // namespace haltix
