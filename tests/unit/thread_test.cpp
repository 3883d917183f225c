// TThread: the body sees its parameter, and the object is freed exactly once on every road.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "fake_platform.h"
#include "thread.h"

namespace haltix {
namespace {

using testing::FakePlatform;

class RecordingThread final : public TThread {
public:
    RecordingThread(Platform& platform, int parameter, std::shared_future<void> gate,
                    std::atomic<int>& seen, std::atomic<int>& freed)
        : TThread(platform),
          parameter_(parameter),
          gate_(std::move(gate)),
          seen_(seen),
          freed_(freed) {
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

struct Fixture {
    FakePlatform fake;
    std::promise<void> open;
    std::shared_future<void> gate = open.get_future().share();
    std::atomic<int> seen{0};
    std::atomic<int> freed{0};
};

TEST(ThreadTest, ThreadEndingAfterTheMarkFreesItself) {
    Fixture f;
    auto* thread = new RecordingThread(f.fake, 42, f.gate, f.seen, f.freed);
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
    auto* thread = new RecordingThread(f.fake, 7, f.gate, f.seen, f.freed);
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
    auto* thread = new RecordingThread(f.fake, 1, f.gate, f.seen, f.freed);
    EXPECT_EQ(thread->ThreadHandle(), Handle::None);
    thread->FreeOnTerminate();
    EXPECT_EQ(f.freed, 1);
    EXPECT_EQ(f.seen, 0);
}

}  // namespace
}  // namespace haltix
