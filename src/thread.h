// TThread: a thread object that runs an overridden body in a thread of its own and can free itself.
#pragma once

#include <atomic>
#include <cstdint>

#include "owned_handle.h"
#include "platform.h"

namespace haltix {

// A derived class must be final and call Start() as the last statement of its constructor: the
// thread then begins only once the whole object exists, so the body never meets a half-built
// object, and every parameter stored by the constructor is visible to it.
class TThread : private ThreadBody {
public:
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    TThread(TThread&&) = delete;
    TThread& operator=(TThread&&) = delete;

    [[nodiscard]] Handle ThreadHandle() const { return handle_.get(); }
    [[nodiscard]] std::uint32_t ThreadID() const { return threadId_; }

    // Sets the free-at-end mark: the object frees itself when its thread ends, or here and now
    // when the thread has already ended. The caller must not touch the object afterwards.
    void FreeOnTerminate();

protected:
    explicit TThread(Platform& platform) : platform_(platform) {}
    virtual ~TThread() = default;

    void Start();
    virtual void Execute() = 0;

    [[nodiscard]] Platform& platform() const { return platform_; }

private:
    enum class Stage { Running, FreeMarked, Finished };

    void RunThread() final;

    Platform& platform_;
    OwnedHandle handle_;
    std::uint32_t threadId_ = 0;
    // Whichever of the creator (setting the mark) and the thread (ending) comes second frees the
    // object, so it is freed exactly once and never while either still needs it.
    std::atomic<Stage> stage_{Stage::Running};
};

}  // namespace haltix
