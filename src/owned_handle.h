// A move-only owner of one operating-system handle, closed through the platform when it goes.
#pragma once

#include <utility>

#include "platform.h"

namespace haltix {

class OwnedHandle {
public:
    OwnedHandle() = default;
    OwnedHandle(Platform& platform, Handle handle) : platform_(&platform), handle_(handle) {}
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    OwnedHandle(OwnedHandle&& other) noexcept
        : platform_(other.platform_), handle_(other.release()) {}
    OwnedHandle& operator=(OwnedHandle&& other) noexcept {
        if (this != &other) {
            reset();
            platform_ = other.platform_;
            handle_ = other.release();
        }
        return *this;
    }
    ~OwnedHandle() { reset(); }

    [[nodiscard]] Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Handle::None; }

    // Gives the handle up without closing it.
    Handle release() { return std::exchange(handle_, Handle::None); }

    void reset() {
        const Handle handle = release();
        if (handle != Handle::None && platform_ != nullptr) {
            platform_->CloseHandle(handle);
        }
    }

private:
    Platform* platform_ = nullptr;
    Handle handle_ = Handle::None;
};

}  // namespace haltix
