// State that a forked child must start afresh: the child has only the thread that called fork,
// so whatever the parent's other threads held (a lock, a hold, a claim) is held by no one there.
#pragma once

#include <pthread.h>

#include <atomic>

namespace quillon {

// Registers `child` to run in every forked child, once per process, on the first call. A flag
// rather than a guarded static, whose guard a fork could leave taken.
template <void (*child)() noexcept>
void reset_in_forked_child() noexcept {
    constinit static std::atomic<bool> registered{false};
    if (!registered.load(std::memory_order_acquire) && !registered.exchange(true)) {
        pthread_atfork(nullptr, nullptr, child);
    }
}

}  // namespace quillon
