// The figures behind memory::Claim: /proc/meminfo, the resource limits and /proc/self/statm.
#include "memory.hpp"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>

#include "fork.hpp"

namespace quillon::memory {

namespace {

// 16 MiB: about four million matrix cells, milliseconds of work beside a few microseconds of
// reading /proc.
constexpr std::uint64_t unread_below = std::uint64_t{16} << 20;
constexpr std::uint64_t unknown = ~std::uint64_t{0};

// Bytes held by live claims. Their pages count in MemAvailable only once written, so they are
// subtracted again: conservative for a buffer already filled, right for one just allocated. A
// forked child starts from zero: it has none of the threads whose claims the count holds.
std::atomic<std::uint64_t>& claimed() noexcept { return per_process<std::atomic<std::uint64_t>>(); }

std::uint64_t page_size() noexcept {
    const long size = sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uint64_t>(size) : 4096;
}

// Where MemAvailable is unknown: a buffer beyond physical memory would only thrash.
std::uint64_t physical_memory() noexcept {
    const long pages = sysconf(_SC_PHYS_PAGES);
    return pages > 0 ? static_cast<std::uint64_t>(pages) * page_size() : unknown;
}

// MemAvailable in bytes, or unknown (kernels before 3.14, no /proc).
std::uint64_t mem_available() noexcept {
    std::FILE* file = std::fopen("/proc/meminfo", "re");
    if (file == nullptr) return unknown;
    std::uint64_t bytes = unknown;
    char line[128];
    unsigned long long kib = 0;
    while (std::fgets(line, sizeof line, file) != nullptr) {
        if (std::sscanf(line, "MemAvailable: %llu kB", &kib) == 1) {
            bytes = static_cast<std::uint64_t>(kib) * 1024;
            break;
        }
    }
    std::fclose(file);
    return bytes;
}

// Headroom under a resource limit, given the part of the process it already covers.
std::uint64_t headroom(int resource, std::uint64_t used) noexcept {
    rlimit limit{};
    if (getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return unknown;
    const auto cap = static_cast<std::uint64_t>(limit.rlim_cur);
    return cap > used ? cap - used : 0;
}

}  // namespace

std::uint64_t available() noexcept {
    std::uint64_t bytes = mem_available();
    if (bytes == unknown) bytes = physical_memory();
    // statm: total program size, then resident, shared, text, library, data + stack, in pages.
    unsigned long long size = 0, resident = 0, shared = 0, text = 0, lib = 0, data = 0;
    if (std::FILE* file = std::fopen("/proc/self/statm", "re")) {
        const int read = std::fscanf(file, "%llu %llu %llu %llu %llu %llu", &size, &resident,
                                     &shared, &text, &lib, &data);
        std::fclose(file);
        if (read != 6) size = data = 0;
    }
    bytes = std::min(bytes, headroom(RLIMIT_AS, size * page_size()));
    bytes = std::min(bytes, headroom(RLIMIT_DATA, data * page_size()));
    return bytes;
}

std::size_t cells(std::size_t rows, std::size_t cols) {
    std::size_t product;
    if (__builtin_mul_overflow(rows, cols, &product)) throw std::bad_alloc();
    return product;
}

Claim::Claim(std::size_t count, std::size_t size) {
    std::size_t bytes;
    if (__builtin_mul_overflow(count, size, &bytes)) throw std::bad_alloc();
    if (bytes < unread_below) return;
    // Counted before the check, so of two claims racing here the later one sees the earlier.
    const std::uint64_t others = claimed().fetch_add(bytes, std::memory_order_relaxed);
    const std::uint64_t room = available();
    if (others >= room || bytes > room - others) {
        claimed().fetch_sub(bytes, std::memory_order_relaxed);
        throw std::bad_alloc();
    }
    bytes_ = bytes;
}

Claim::~Claim() {
    if (bytes_ != 0) claimed().fetch_sub(bytes_, std::memory_order_relaxed);
}

}  // namespace quillon::memory
