// The process-wide worker pool: an ordered parallel map and a chunked parallel for-each.
// Created on first use, sized once from RAYON_NUM_THREADS / RAYON_RS_NUM_CPUS / the hardware.
// Any number of threads may submit at once; a caller blocks until its own work is done and
// takes part in it meanwhile. An exception thrown by the work reaches the caller.
#pragma once

#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

namespace quillon::pool {

// Threads that run parallel work, the calling thread included; creates the pool if needed.
std::size_t size();

// Asked on the submitting thread between pieces of its parallel work, at most once per
// poll_interval; answering true abandons the pieces not yet started. Must not throw.
struct InterruptPoll {
    bool (*stop)(void* context) noexcept;
    void* context;
};

inline constexpr auto poll_interval_ms = 20;

// Thrown by a parallel operation whose poll asked it to stop, after every started piece ended.
struct Interrupted {};

// Makes `poll` the calling thread's poll for its lifetime (parallel operations read it when
// they start); nests, restoring the previous one.
class ScopedInterruptPoll {
  public:
    explicit ScopedInterruptPoll(const InterruptPoll& poll) noexcept;
    ScopedInterruptPoll(const ScopedInterruptPoll&) = delete;
    ScopedInterruptPoll& operator=(const ScopedInterruptPoll&) = delete;
    ~ScopedInterruptPoll();

  private:
    const InterruptPoll* previous_;
};

// The pool size that the environment asks for (the rule that size() applies once).
std::size_t size_from_environment();

namespace detail {

// A borrowed callable of signature void(begin, end), without allocation.
class RangeFn {
  public:
    template <class F>
        requires(!std::is_same_v<std::remove_cv_t<F>, RangeFn>)  // copies stay copies
    RangeFn(F& fn) noexcept
        : object_(&fn),
          call_([](void* o, std::size_t b, std::size_t e) { (*static_cast<F*>(o))(b, e); }) {}
    void operator()(std::size_t begin, std::size_t end) const { call_(object_, begin, end); }

  private:
    void* object_;
    void (*call_)(void*, std::size_t, std::size_t);
};

// Runs body over the pieces [k * grain, min(n, (k + 1) * grain)) of [0, n) in any order and on
// any threads; returns when all are done, rethrowing the first exception.
void run(std::size_t n, std::size_t grain, RangeFn body);

}  // namespace detail

// Items per piece below which handing work to another thread costs more than it saves, for
// maps whose items are single pairs of texts.
inline constexpr std::size_t min_pairs_per_piece = 16;

// The same bound for maps whose items are rows of row_length pairs each.
inline std::size_t rows_per_piece(std::size_t row_length) noexcept {
    constexpr std::size_t pairs = 512;
    return row_length == 0 ? 1 : (pairs + row_length - 1) / row_length;
}

// Parallel for-each: fn(i) for every i in [0, n), in any order. Pieces hold at least min_grain
// items, so cheap work on few items stays on the calling thread.
template <class F>
void for_each(std::size_t n, F&& fn, std::size_t min_grain = min_pairs_per_piece) {
    if (n == 0) return;
    // Many pieces per thread let fast threads take over the work of slow ones, and keep the
    // gaps between interrupt polls short.
    constexpr std::size_t pieces_per_thread = 64;
    std::size_t grain = (n + pieces_per_thread * size() - 1) / (pieces_per_thread * size());
    if (grain < min_grain) grain = min_grain;
    auto body = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) fn(i);
    };
    detail::run(n, grain, detail::RangeFn(body));
}

// Ordered parallel map: out[i] = fn(i) for i in [0, n), pieces as for for_each.
template <class F>
auto map(std::size_t n, F&& fn, std::size_t min_grain = min_pairs_per_piece) {
    using T = std::decay_t<decltype(fn(std::size_t{}))>;
    std::vector<T> out(n);
    for_each(n, [&](std::size_t i) { out[i] = fn(i); }, min_grain);
    return out;
}

// Chunked for-each over [0, n): fn(chunk_index, begin, end) for chunks of `chunk` entries,
// each chunk handed whole to one thread.
template <class F>
void for_each_chunk(std::size_t n, std::size_t chunk, F&& fn) {
    if (n == 0) return;
    auto body = [&](std::size_t begin, std::size_t end) { fn(begin / chunk, begin, end); };
    detail::run(n, chunk, detail::RangeFn(body));
}

}  // namespace quillon::pool
