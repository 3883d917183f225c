// The life of a TThread: start, body, end and freeing.
#include "thread.h"

namespace haltix {

void TThread::Start() {
    const StartedThread started = platform_.CreateThread(*this);
    if (started.handle == Handle::None) {
        // No thread will ever end this object's life; the mark alone frees it.
        stage_.store(Stage::Finished);
        return;
    }
    handle_ = OwnedHandle(platform_, started.handle);
    threadId_ = started.id;
}

void TThread::RunThread() {
    Execute();
    if (stage_.exchange(Stage::Finished) == Stage::FreeMarked) delete this;
}

void TThread::FreeOnTerminate() {
    if (stage_.exchange(Stage::FreeMarked) == Stage::Finished) delete this;
}

}  // namespace haltix
