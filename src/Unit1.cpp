// The notice thread's body.
#include "Unit1.h"

#include <utility>

#include "texts.h"

namespace haltix {

TMessageThread::TMessageThread(Platform& platform, std::string message)
    : TThread(platform), FMessage(std::move(message)) {
    Start();
}

void TMessageThread::Execute() {
    // The answer itself does not matter: any answer cancels the countdown.
    platform().MessageBoxA(Window::None, FMessage, std::string(Caption), MbIconError);
}

}  // namespace haltix
