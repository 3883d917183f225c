// The main sequence's roads: refusal, usage text and immediate action, against the recording fake.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "haltix.h"
#include "texts.h"

namespace haltix {
namespace {

using testing::FakePlatform;
using Calls = std::vector<std::string>;

// The calls of a run, leaving out the two reads every run makes first.
Calls RunAndRecord(FakePlatform& fake) {
    EXPECT_EQ(RunHaltix(fake), 0);
    Calls calls = fake.Calls();
    std::erase_if(calls, [](const std::string& call) {
        return call == "GetVersionExA()" || call == "GetCommandLineA()";
    });
    return calls;
}

Calls ShutdownCalls(int flags) {
    return {"GetCurrentProcess()",
            "OpenProcessToken(process,40)",
            "LookupPrivilegeValueA(null,SeShutdownPrivilege)",
            "AdjustTokenPrivileges(token,false,{1,shutdown,2},16)",
            "ExitWindowsEx(" + std::to_string(flags) + ",0)",
            "CloseHandle()"};
}

class UsageRoadTest : public ::testing::TestWithParam<std::string> {};

TEST_P(UsageRoadTest, ShowsTheUsageTextAndDoesNothingElse) {
    FakePlatform fake;
    fake.commandLine = GetParam();
    EXPECT_EQ(RunAndRecord(fake), Calls{"MessageBoxA(none,haltix,64)"});
    ASSERT_EQ(fake.Boxes().size(), 1U);
    EXPECT_EQ(fake.Boxes()[0].text, std::string(UsageText));
}

INSTANTIATE_TEST_SUITE_P(WithoutAction, UsageRoadTest,
                         ::testing::Values("haltix.exe", "haltix.exe   ", "haltix.exe \"\"",
                                           "haltix.exe /f", "haltix.exe /t:10", "haltix.exe /u",
                                           "haltix.exe /m:abc", "haltix.exe /f /t:10 /u",
                                           "haltix.exe /s: -s /sf", "haltix.exe/s",
                                           "haltix.exe \"/m:abc /s"));

struct ActionCase {
    std::string commandLine;
    int flags;
};

class ImmediateRoadTest : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ImmediateRoadTest, EnablesThePrivilegeThenRequestsTheAction) {
    FakePlatform fake;
    fake.commandLine = GetParam().commandLine;
    EXPECT_EQ(RunAndRecord(fake), ShutdownCalls(GetParam().flags));
    EXPECT_EQ(fake.OpenHandles(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Actions, ImmediateRoadTest,
    ::testing::Values(ActionCase{"haltix.exe /s", 1}, ActionCase{"haltix.exe /r", 2},
                      ActionCase{"haltix.exe /l", 0}, ActionCase{"haltix.exe /p", 8},
                      ActionCase{"haltix.exe /l /f", 4}, ActionCase{"haltix.exe /p /f", 12},
                      ActionCase{"haltix.exe /F /S", 5}, ActionCase{"haltix.exe /r /f", 6},
                      ActionCase{"haltix.exe /s /t:0", 1}, ActionCase{"haltix.exe /s /t:abc", 1},
                      ActionCase{"haltix.exe /t:10 /t:x /u /s", 1}));

struct VersionCase {
    VersionInfo version;
    std::string commandLine;
};

class RefusalRoadTest : public ::testing::TestWithParam<VersionCase> {};

TEST_P(RefusalRoadTest, OutsideTheNtFamilyShowsOnlyTheRefusal) {
    FakePlatform fake;
    fake.version = GetParam().version;
    fake.commandLine = GetParam().commandLine;
    EXPECT_EQ(RunHaltix(fake), 0);
    EXPECT_EQ(fake.Calls(), (Calls{"GetVersionExA()", "MessageBoxA(none,haltix,16)"}));
    EXPECT_EQ(fake.Boxes()[0].text, "This program runs under Windows NT/2000 only.");
}

INSTANTIATE_TEST_SUITE_P(NotNt, RefusalRoadTest,
                         ::testing::Values(VersionCase{{true, 1}, "haltix.exe"},
                                           VersionCase{{true, 1}, "haltix.exe /s"},
                                           VersionCase{{true, 0}, "haltix.exe /r /t:5"},
                                           VersionCase{{false, 2}, "haltix.exe /s"}));

}  // namespace
}  // namespace haltix
