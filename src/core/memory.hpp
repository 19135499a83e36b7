// Admission of working memory that grows with the product of two lengths (a distance matrix,
// position masks of many distinct characters). With overcommit such an allocation succeeds and
// the kernel kills the process once the pages are written, so it is refused up front instead.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillon::memory {

// Bytes this process can still obtain now: the least of MemAvailable (/proc/meminfo) and the
// headroom left under RLIMIT_AS and RLIMIT_DATA; physical memory when none of them is known.
std::uint64_t available() noexcept;

// rows * cols, or std::bad_alloc when the product overflows.
std::size_t cells(std::size_t rows, std::size_t cols);

// A claim on count elements of `size` bytes, held while the buffer lives. Throws std::bad_alloc
// when the byte count overflows or, added to the other live claims of this process, exceeds
// available(). Claims below 16 MiB are admitted unread: their allocation fails honestly
// or not at all, and reading /proc would cost more than the work they hold.
class Claim {
  public:
    Claim(std::size_t count, std::size_t size);
    ~Claim();
    Claim(const Claim&) = delete;
    Claim& operator=(const Claim&) = delete;

  private:
    std::uint64_t bytes_ = 0;  // 0 when admitted unread
};

}  // namespace quillon::memory
