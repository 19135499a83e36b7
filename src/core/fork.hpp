// State that a forked child must start afresh: the child has only the thread that called fork,
// so whatever the parent's other threads held (a lock, a hold, a claim) is held by no one there.
#pragma once

#include <pthread.h>

#include <atomic>
#include <new>

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

namespace detail {

template <class T>
struct PerProcess {
    alignas(T) static inline unsigned char storage[sizeof(T)];
    static inline T* object = ::new (static_cast<void*>(storage)) T;
    // The parent's object is left to leak rather than destroyed in a child mid-update.
    static void renew() noexcept { object = ::new (static_cast<void*>(storage)) T; }
};

}  // namespace detail

// The process's one T, in static storage, default-constructed again in a forked child: for state
// that the parent's other threads may have held (a mutex, an entry) when it forked.
template <class T>
T& per_process() noexcept {
    reset_in_forked_child<&detail::PerProcess<T>::renew>();
    return *detail::PerProcess<T>::object;
}

}  // namespace quillon
