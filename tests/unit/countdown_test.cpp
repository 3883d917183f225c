// The countdown run: finding and adapting the notice, the ticker, the wait and its outcome.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "Unit2.h"
#include "countdown.h"
#include "fake_platform.h"
#include "haltix.h"

namespace haltix {
namespace {

using testing::FakePlatform;
using testing::LongWait;
using testing::NoticeBehaviour;
using Calls = std::vector<std::string>;

// The calls that touch the notice's windows or the timer, or request an action.
std::vector<std::string> CountdownCallNames() {
    return {"MessageBoxA",   "GetSystemMenu",  "EnableMenuItem", "EnableWindow",
            "GetWindowRect", "ScreenToClient", "MoveWindow",     "SetWindowTextA",
            "SetTimer",      "KillTimer",      "ExitWindowsEx"};
}

std::string Label(std::int32_t seconds) { return CountdownLabel(seconds); }

class CountdownTest : public ::testing::Test {
protected:
    void SetUp() override {
        DialogWnd.store(Window::None);
        ButtonWnd.store(Window::None);
        RemainingSeconds.store(0);
    }

    Calls Run(const std::string& arguments) {
        fake.commandLine = "haltix.exe " + arguments;
        EXPECT_EQ(RunHaltix(fake), 0);
        fake.AnswerNoticeAndJoin();
        return fake.CallsNamed(CountdownCallNames());
    }

    FakePlatform fake;
};

TEST_F(CountdownTest, WidensAndLabelsTheButtonThenActsWhenTheTimeRunsOut) {
    EXPECT_EQ(
        Run("/r /t:30"),
        (Calls{"MessageBoxA(none,haltix,16)", "GetWindowRect(button)",
               "ScreenToClient(dialog,300,400)", "ScreenToClient(dialog,375,423)",
               "MoveWindow(button,30,70,115,23,true)", "SetWindowTextA(button," + Label(30) + ")",
               "SetTimer(dialog,1,1000)", "KillTimer(dialog,1)", "ExitWindowsEx(2,0)"}));
    EXPECT_EQ(fake.LongWaits(), std::vector<std::uint32_t>{30000});
    EXPECT_EQ(fake.Boxes()[0].text, std::string(DefaultNoticeText));
    EXPECT_EQ(fake.OpenHandles(), 0U);
}

TEST_F(CountdownTest, UnstoppableLocksTheNoticeAndWritesNoLabel) {
    EXPECT_EQ(Run("/s /f /u /t:5 /m:Bye"),
              (Calls{"MessageBoxA(none,haltix,16)", "GetSystemMenu(dialog,false)",
                     "EnableMenuItem(menu,1,1027)", "EnableWindow(button,false)",
                     "SetTimer(dialog,1,1000)", "KillTimer(dialog,1)", "ExitWindowsEx(5,0)"}));
    EXPECT_EQ(fake.Boxes()[0].text, "Bye");
}

TEST_F(CountdownTest, FailedWindowRectLeavesTheButtonButStillLabelsIt) {
    fake.getWindowRectFails = true;
    EXPECT_EQ(Run("/l /t:3"),
              (Calls{"MessageBoxA(none,haltix,16)", "GetWindowRect(button)",
                     "SetWindowTextA(button," + Label(3) + ")", "SetTimer(dialog,1,1000)",
                     "KillTimer(dialog,1)", "ExitWindowsEx(0,0)"}));
}

TEST_F(CountdownTest, AdaptsOnlyTheReadyNoticesFinalButton) {
    fake.visibilityChecksBeforeReady = 20;
    const Calls calls = Run("/p /t:3");
    for (const std::string& call : calls) {
        EXPECT_EQ(call.find("spareButton"), std::string::npos) << call;
    }
    EXPECT_EQ(fake.CallsNamed({"MoveWindow"}), Calls{"MoveWindow(button,30,70,115,23,true)"});
}

TEST_F(CountdownTest, NeverTouchesAnotherCopysNotice) {
    fake.OpenForeignNotice();
    const Calls calls = Run("/r /t:3");
    for (const std::string& call : fake.Calls()) {
        EXPECT_EQ(call.find("foreign"), std::string::npos) << call;
    }
    EXPECT_EQ(calls.back(), "ExitWindowsEx(2,0)");
}

struct NoActionCase {
    std::string name;
    NoticeBehaviour notice;
    LongWait wait;
    bool createThreadFails;
    bool duplicateHandleFails;
    bool adapted;  // whether the notice was found and adapted before the answer
};

class CountdownWithoutActionTest : public CountdownTest,
                                   public ::testing::WithParamInterface<NoActionCase> {};

TEST_P(CountdownWithoutActionTest, RequestsNothing) {
    const NoActionCase& c = GetParam();
    fake.notice = c.notice;
    fake.longWait = c.wait;
    fake.createThreadFails = c.createThreadFails;
    fake.duplicateHandleFails = c.duplicateHandleFails;
    const Calls calls = Run("/s /t:30");
    EXPECT_TRUE(fake.CallsNamed({"ExitWindowsEx", "OpenProcessToken"}).empty());
    EXPECT_EQ(fake.CallsNamed({"SetTimer"}).size(), c.adapted ? 1U : 0U);
    EXPECT_EQ(fake.CallsNamed({"MoveWindow"}).size(), c.adapted ? 1U : 0U);
    if (c.adapted) {
        EXPECT_EQ(calls.back(), "KillTimer(dialog,1)");
    }
    EXPECT_EQ(fake.OpenHandles(), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Answered, CountdownWithoutActionTest,
    ::testing::Values(
        NoActionCase{"AnsweredDuringTheWait", NoticeBehaviour::Normal, LongWait::AnsweredAtOnce,
                     false, false, true},
        NoActionCase{"WaitFails", NoticeBehaviour::Normal, LongWait::Fails, false, false, true},
        NoActionCase{"AnsweredBeforeItsWindowExists", NoticeBehaviour::AnsweredBeforeWindow,
                     LongWait::TimesOut, false, false, false},
        NoActionCase{"AnsweredBeforeItIsReady", NoticeBehaviour::AnsweredBeforeReady,
                     LongWait::TimesOut, false, false, false},
        NoActionCase{"NoticeThreadCannotStart", NoticeBehaviour::Normal, LongWait::TimesOut, true,
                     false, false},
        NoActionCase{"NoHandleToWaitOn", NoticeBehaviour::Normal, LongWait::TimesOut, false, true,
                     false}),
    [](const auto& testInfo) { return testInfo.param.name; });

TEST_F(CountdownTest, TicksLowerTheLabelUntilTheNoticeIsAnswered) {
    fake.longWait = LongWait::UntilAnswered;
    fake.commandLine = "haltix.exe /r /t:3";
    std::thread run([&] { EXPECT_EQ(RunHaltix(fake), 0); });
    fake.WaitForCall("SetTimer(");
    EXPECT_EQ(fake.ButtonText(), Label(3));
    for (const int expected : {2, 1, 0, -1}) {
        fake.Tick();
        EXPECT_EQ(fake.ButtonText(), Label(expected));
    }
    fake.AnswerNotice();
    run.join();
    fake.Tick();  // a tick after the answer finds no timer and no notice
    fake.AnswerNoticeAndJoin();
    EXPECT_EQ(fake.CallsNamed({"SetWindowTextA"}).size(), 5U);
    EXPECT_EQ(fake.CallsNamed(CountdownCallNames()).back(), "KillTimer(dialog,1)");
    EXPECT_TRUE(fake.CallsNamed({"ExitWindowsEx"}).empty());
}

TEST_F(CountdownTest, NegativeLengthShowsItsLabelAndWaitsForTheAnswerOnly) {
    fake.longWait = LongWait::TimesOut;  // an unending wait cannot time out
    Run("/s /t:-5");
    EXPECT_EQ(fake.CallsNamed({"SetWindowTextA"}),
              Calls{"SetWindowTextA(button," + Label(-5) + ")"});
    EXPECT_EQ(fake.LongWaits(), std::vector<std::uint32_t>{Infinite});
    EXPECT_TRUE(fake.CallsNamed({"ExitWindowsEx"}).empty());
}

TEST_F(CountdownTest, TimerProcWrapsTheCountAndIgnoresAMissingNotice) {
    ButtonWnd.store(testing::NoticeButton);
    (new TTimerThread(fake, INT_MIN))->FreeOnTerminate();
    fake.AnswerNoticeAndJoin();
    TimerProc(Window::None, 0, 0, 0);  // no notice window known yet: nothing happens
    EXPECT_TRUE(fake.CallsNamed({"SetWindowTextA"}).empty());
    DialogWnd.store(testing::NoticeDialog);
    TimerProc(Window::None, 0, 0, 0);
    EXPECT_EQ(RemainingSeconds.load(), INT_MAX);
    EXPECT_EQ(fake.CallsNamed({"SetWindowTextA"}),
              Calls{"SetWindowTextA(button," + Label(INT_MAX) + ")"});
}

struct WaitCase {
    std::int32_t seconds;
    LongWait behaviour;
    bool timedOut;
    std::vector<std::uint32_t> waits;  // empty: check only their sum
};

class WaitForAnswerTest : public ::testing::TestWithParam<WaitCase> {};

TEST_P(WaitForAnswerTest, WaitsTheWholeLength) {
    const WaitCase& c = GetParam();
    FakePlatform fake;
    fake.longWait = c.behaviour;
    const Handle notice = fake.OpenUnendingThread();
    EXPECT_EQ(WaitForAnswer(fake, notice, c.seconds), c.timedOut);
    const std::vector<std::uint32_t> waits = fake.LongWaits();
    if (!c.waits.empty()) {
        EXPECT_EQ(waits, c.waits);
    } else {
        EXPECT_EQ(std::accumulate(waits.begin(), waits.end(), std::uint64_t{0}),
                  static_cast<std::uint64_t>(c.seconds) * 1000U);
        for (std::size_t i = 0; i + 1 < waits.size(); ++i) EXPECT_EQ(waits[i], LongestFiniteWait);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, WaitForAnswerTest,
    ::testing::Values(WaitCase{1, LongWait::TimesOut, true, {1000}},
                      WaitCase{30, LongWait::TimesOut, true, {30000}},
                      WaitCase{4294967, LongWait::TimesOut, true, {4294967000U}},
                      WaitCase{4294968, LongWait::TimesOut, true, {LongestFiniteWait, 706}},
                      WaitCase{8589935, LongWait::TimesOut, true, {}},
                      WaitCase{INT_MAX, LongWait::TimesOut, true, {}},
                      WaitCase{-5, LongWait::TimesOut, false, {Infinite}},
                      WaitCase{INT_MIN, LongWait::TimesOut, false, {Infinite}},
                      WaitCase{30, LongWait::AnsweredAtOnce, false, {30000}},
                      WaitCase{4294968, LongWait::AnsweredAtOnce, false, {LongestFiniteWait}},
                      WaitCase{30, LongWait::Fails, false, {30000}}));

}  // namespace
}  // namespace haltix
