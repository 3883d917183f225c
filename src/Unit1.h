// TMessageThread: shows the countdown notice in a thread of its own.
#pragma once

#include <string>

#include "thread.h"

namespace haltix {

// Shows the notice box (no owner, the given text, caption "haltix", stop icon and one OK button)
// and ends when it has been answered. Its end is the signal that the user has answered.
class TMessageThread final : public TThread {
public:
    TMessageThread(Platform& platform, std::string message);

private:
    void Execute() override;

    const std::string FMessage;
};

}  // namespace haltix
