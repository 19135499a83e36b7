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

// Ordered parallel map: out[i] = fn(i) for i in [0, n). Pieces hold at least min_grain items,
// so cheap work on few items stays on the calling thread.
template <class F>
auto map(std::size_t n, F&& fn, std::size_t min_grain = min_pairs_per_piece) {
    using T = std::decay_t<decltype(fn(std::size_t{}))>;
    std::vector<T> out(n);
    if (n == 0) return out;
    // About sixteen pieces per thread lets fast threads take over the work of slow ones.
    std::size_t grain = (n + 16 * size() - 1) / (16 * size());
    if (grain < min_grain) grain = min_grain;
    auto body = [&](std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) out[i] = fn(i);
    };
    detail::run(n, grain, detail::RangeFn(body));
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
