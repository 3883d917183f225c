// TThread: the body sees its parameter, and the object is freed exactly once on every road.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "fake_platform.h"
#include "thread.h"

namespace haltix {
namespace {

using testing::FakePlatform;

struct Fixture {
    FakePlatform fake;
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::atomic<int> seen{0};
    std::atomic<int> freed{0};
};

// Waits for the fixture's gate, then leaves its parameter in the fixture's seen counter; counts
// its freeing in the freed counter.
class RecordingThread final : public TThread {
public:
    RecordingThread(Fixture& fixture, int parameter)
        : TThread(fixture.fake),
          parameter_(parameter),
          gate_(fixture.gate),
          seen_(fixture.seen),
          freed_(fixture.freed) {
        Start();
    }
    ~RecordingThread() override { ++freed_; }

private:
    void Execute() override {
        gate_.wait();
        seen_ = parameter_;
    }

    const int parameter_;
    std::shared_future<void> gate_;
    std::atomic<int>& seen_;
    std::atomic<int>& freed_;
};

TEST(ThreadTest, ThreadEndingAfterTheMarkFreesItself) {
    Fixture f;
    auto* thread = new RecordingThread(f, 42);
    thread->FreeOnTerminate();
    EXPECT_EQ(f.freed, 0);
    f.open.set_value();
    f.fake.AnswerNoticeAndJoin();
    EXPECT_EQ(f.seen, 42);
    EXPECT_EQ(f.freed, 1);
    EXPECT_EQ(f.fake.OpenHandles(), 0U);
}

TEST(ThreadTest, MarkAfterTheThreadEndedFreesAtOnce) {
    Fixture f;
    f.open.set_value();
    auto* thread = new RecordingThread(f, 7);
    EXPECT_EQ(f.fake.WaitForSingleObject(thread->ThreadHandle(), Infinite), WaitObject0);
    f.fake.AnswerNoticeAndJoin();
    EXPECT_EQ(f.freed, 0);
    thread->FreeOnTerminate();
    EXPECT_EQ(f.seen, 7);
    EXPECT_EQ(f.freed, 1);
    EXPECT_EQ(f.fake.OpenHandles(), 0U);
}

TEST(ThreadTest, ThreadThatCannotStartIsFreedByTheMark) {
    Fixture f;
    f.fake.createThreadFails = true;
    auto* thread = new RecordingThread(f, 1);
    EXPECT_EQ(thread->ThreadHandle(), Handle::None);
    thread->FreeOnTerminate();
    EXPECT_EQ(f.freed, 1);
    EXPECT_EQ(f.seen, 0);
}

}  // namespace
}  // namespace haltix
