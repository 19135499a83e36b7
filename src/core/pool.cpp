// The worker pool. A job is a range split into pieces that any thread claims with one atomic
// increment; the caller pushes its job, works on it too, and waits for the pieces that
// workers claimed. Jobs of concurrent callers share the workers in submission order.
#include "pool.hpp"

#include <atomic>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>

#include "fork.hpp"

namespace quillon::pool {

namespace {

// A positive decimal integer, or 0 when the variable is unset, empty or anything else.
std::size_t read_count(const char* name, bool* is_zero = nullptr) {
    const char* value = std::getenv(name);
    if (value == nullptr) return 0;
    const std::string_view text(value);
    std::size_t parsed = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), parsed);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return 0;
    if (is_zero != nullptr) *is_zero = parsed == 0;
    return parsed;
}

std::size_t hardware_threads() {
    const unsigned n = std::thread::hardware_concurrency();
    return n == 0 ? 1 : n;
}

thread_local const InterruptPoll* current_poll = nullptr;

// The submitting thread's view of its poll: asks at most once per interval, and remembers a
// stop for good.
class Poller {
  public:
    using Clock = std::chrono::steady_clock;
    static constexpr auto interval = std::chrono::milliseconds(poll_interval_ms);

    explicit Poller(const InterruptPoll* poll) noexcept : poll_(poll) {
        if (poll_ != nullptr) last_ = Clock::now();
    }

    bool active() const noexcept { return poll_ != nullptr && !stopped_; }
    bool stopped() const noexcept { return stopped_; }

    bool stop_requested() noexcept {
        if (!active() || Clock::now() - last_ < interval) return stopped_;
        stopped_ = poll_->stop(poll_->context);
        // The poll may wait for the interpreter lock; the interval counts from its answer.
        last_ = Clock::now();
        return stopped_;
    }

  private:
    const InterruptPoll* poll_;
    Clock::time_point last_{};
    bool stopped_ = false;
};

struct Job {
    std::size_t n, grain, pieces;
    detail::RangeFn body;
    std::atomic<std::size_t> next{0};
    std::atomic<std::size_t> unfinished;
    std::atomic<bool> failed{false};
    std::exception_ptr error;  // written once, by the thread that flips `failed`
    std::size_t users = 0;     // workers inside work_on; guarded by the pool mutex

    Job(std::size_t n_, std::size_t grain_, detail::RangeFn body_)
        : n(n_),
          grain(grain_),
          pieces((n_ + grain_ - 1) / grain_),
          body(body_),
          unfinished(pieces) {}

    // Claims and runs pieces until none is left; the submitting thread passes its poller,
    // whose stop makes every thread skip the pieces it claims from then on. Returns true if it
    // finished the last piece.
    bool work_on(Poller* poller = nullptr) noexcept {
        bool finished_last = false;
        for (std::size_t k; (k = next.fetch_add(1, std::memory_order_relaxed)) < pieces;) {
            if (!failed.load(std::memory_order_relaxed)) {
                try {
                    const std::size_t begin = k * grain;
                    body(begin, begin + grain < n ? begin + grain : n);
                } catch (...) {
                    if (!failed.exchange(true)) error = std::current_exception();
                }
            }
            if (unfinished.fetch_sub(1, std::memory_order_acq_rel) == 1) finished_last = true;
            if (poller != nullptr && poller->stop_requested()) stop();
        }
        return finished_last;
    }

    // Pieces not yet started are skipped; `error` stays as it is.
    void stop() noexcept { failed.store(true, std::memory_order_relaxed); }

    bool claimable() const noexcept { return next.load(std::memory_order_relaxed) < pieces; }
};

thread_local bool on_worker = false;

class Pool {
  public:
    explicit Pool(std::size_t threads) : size_(threads) {
        // The caller is one of the threads that run a job.
        for (std::size_t i = 1; i < threads; ++i) {
            try {
                workers_.emplace_back([this] { worker_loop(); });
            } catch (const std::system_error&) {
                break;  // the system refuses more threads: run with those we have
            }
        }
    }

    std::size_t size() const noexcept { return size_; }

    void run(Job& job) {
        Poller poller(current_poll);
        if (workers_.empty() || job.pieces == 1 || on_worker) {
            // Nothing to share, or a worker's own nested call: finish it here.
            job.work_on(&poller);
        } else {
            {
                std::lock_guard lock(mutex_);
                queue_.push_back(&job);
            }
            work_available_.notify_all();
            job.work_on(&poller);
            std::unique_lock lock(mutex_);
            // Once every piece is claimed no worker may pick the job up any more.
            for (auto it = queue_.begin(); it != queue_.end(); ++it) {
                if (*it == &job) {
                    queue_.erase(it);
                    break;
                }
            }
            const auto done = [&] {
                return job.users == 0 && job.unfinished.load(std::memory_order_acquire) == 0;
            };
            // Pieces that workers claimed reach into this frame: wait for them even after a stop.
            while (poller.active()) {
                if (job_done_.wait_for(lock, Poller::interval, done)) break;
                // The poll may take the interpreter lock, whose holder may be waiting for ours.
                lock.unlock();
                if (poller.stop_requested()) job.stop();
                lock.lock();
            }
            job_done_.wait(lock, done);
        }
        if (poller.stopped()) throw Interrupted{};
        if (job.error) std::rethrow_exception(job.error);
    }

  private:
    void worker_loop() {
        on_worker = true;
        std::unique_lock lock(mutex_);
        for (;;) {
            work_available_.wait(lock, [&] { return !queue_.empty(); });
            Job* job = queue_.front();
            if (!job->claimable()) {
                queue_.pop_front();
                continue;
            }
            ++job->users;
            lock.unlock();
            job->work_on();
            lock.lock();
            if (--job->users == 0) job_done_.notify_all();
        }
    }

    std::size_t size_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable work_available_, job_done_;
    std::deque<Job*> queue_;
};

// The pool lives until the process ends: workers are never joined, because interpreter
// shutdown may still have calls in flight. A forked child starts without workers, so it
// forgets the parent's pool and builds its own on first use.
std::atomic<Pool*> instance{nullptr};
alignas(std::mutex) unsigned char creation_storage[sizeof(std::mutex)];
std::mutex* creation = new (creation_storage) std::mutex;

void forget_pool_in_child() noexcept {
    instance.store(nullptr);
    creation = new (creation_storage) std::mutex;
}

Pool& pool() {
    Pool* p = instance.load(std::memory_order_acquire);
    if (p != nullptr) return *p;
    std::lock_guard lock(*creation);
    p = instance.load(std::memory_order_relaxed);
    if (p == nullptr) {
        reset_in_forked_child<forget_pool_in_child>();
        p = new Pool(size_from_environment());
        instance.store(p, std::memory_order_release);
    }
    return *p;
}

}  // namespace

std::size_t size_from_environment() {
    bool zero = false;
    if (const std::size_t n = read_count("RAYON_NUM_THREADS", &zero); n > 0) return n;
    if (zero) return hardware_threads();
    if (const std::size_t n = read_count("RAYON_RS_NUM_CPUS"); n > 0) return n;
    return hardware_threads();
}

std::size_t size() { return pool().size(); }

ScopedInterruptPoll::ScopedInterruptPoll(const InterruptPoll& poll) noexcept
    : previous_(current_poll) {
    current_poll = &poll;
}

ScopedInterruptPoll::~ScopedInterruptPoll() { current_poll = previous_; }

namespace detail {

void run(std::size_t n, std::size_t grain, RangeFn body) {
    if (n == 0) return;
    Job job(n, grain == 0 ? 1 : grain, body);
    pool().run(job);
}

}  // namespace detail

}  // namespace quillon::pool
