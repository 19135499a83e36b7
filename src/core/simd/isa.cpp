// Instruction-set selection: CPUID/XGETBV detection, the QUILLON_SIMD override and the kernel
// table, each read once into a lock-free once-cell. Baseline code: nothing here may need the
// features it detects.
#include "isa.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <iterator>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace quillon::simd {

namespace {

#if defined(__x86_64__)

constexpr std::uint32_t bit(unsigned n) noexcept { return std::uint32_t{1} << n; }

// CPUID.1:ECX
constexpr std::uint32_t fma = bit(12);
constexpr std::uint32_t xsave = bit(26);
constexpr std::uint32_t osxsave = bit(27);
constexpr std::uint32_t f16c = bit(29);
// CPUID.(7,0):EBX
constexpr std::uint32_t avx2 = bit(5);
constexpr std::uint32_t avx512f = bit(16);
constexpr std::uint32_t avx512bw = bit(30);
// XCR0: SSE and AVX state; opmask, upper halves of ZMM0-15 and ZMM16-31.
constexpr std::uint64_t ymm_state = 0x6;
constexpr std::uint64_t zmm_state = 0xE0;

struct Cpu {
    std::uint32_t leaf1_ecx = 0;
    std::uint32_t leaf7_ebx = 0;
    std::uint64_t xcr0 = 0;
};

Cpu probe() noexcept {
    Cpu cpu;
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return cpu;
    cpu.leaf1_ecx = ecx;
    // XGETBV raises #UD unless the operating system has enabled it (OSXSAVE). Inline assembly
    // because this file is built for baseline x86-64, where the intrinsic needs -mxsave.
    if ((ecx & osxsave) != 0) {
        std::uint32_t lo = 0, hi = 0;
        asm volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
        cpu.xcr0 = (std::uint64_t{hi} << 32) | lo;
    }
    // __get_cpuid_count checks the highest leaf first and fails on processors without leaf 7.
    if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0) cpu.leaf7_ebx = ebx;
    return cpu;
}

// The processor has XSAVE and the operating system saves the YMM registers across switches.
bool saves_ymm(const Cpu& cpu) noexcept {
    return (cpu.leaf1_ecx & xsave) != 0 && (cpu.leaf1_ecx & osxsave) != 0 &&
           (cpu.xcr0 & ymm_state) == ymm_state;
}

bool detect_avx2() noexcept {
    const Cpu cpu = probe();
    return saves_ymm(cpu) && (cpu.leaf7_ebx & avx2) != 0;
}

// avx512.cpp is built with -mavx512f -mavx2 -mfma -mf16c; every one of them is checked here.
bool detect_avx512() noexcept {
    const Cpu cpu = probe();
    return saves_ymm(cpu) && (cpu.xcr0 & zmm_state) == zmm_state && (cpu.leaf1_ecx & fma) != 0 &&
           (cpu.leaf1_ecx & f16c) != 0 && (cpu.leaf7_ebx & avx512f) != 0 &&
           (cpu.leaf7_ebx & avx2) != 0;
}

bool detect_avx512bw() noexcept { return detect_avx512() && (probe().leaf7_ebx & avx512bw) != 0; }

#else

bool detect_avx2() noexcept { return false; }
bool detect_avx512() noexcept { return false; }
bool detect_avx512bw() noexcept { return false; }

#endif

constexpr std::string_view override_names[] = {"portable", "neon", "avx2", "avx512"};
constexpr int no_override = std::size(override_names);

int read_override_index() noexcept {
    const char* value = std::getenv("QUILLON_SIMD");
    if (value == nullptr) return no_override;
    // Byte for byte: "AVX512" or "avx2 " mean automatic selection, like an unset variable.
    for (int i = 0; i < no_override; ++i) {
        if (std::string_view(value) == override_names[i]) return i;
    }
    return no_override;
}

// A once-cell without a guard lock (a child forked while another thread held one would wait on
// it forever): racing threads compute the same value, so filling it twice is harmless.
template <int (*compute)() noexcept>
int once(std::atomic<int>& cell) noexcept {
    int value = cell.load(std::memory_order_acquire);
    if (value < 0) {
        value = compute();
        cell.store(value, std::memory_order_release);
    }
    return value;
}

int avx2_index() noexcept { return detect_avx2() ? 1 : 0; }
int avx512_index() noexcept { return detect_avx512() ? 1 : 0; }
int avx512bw_index() noexcept { return detect_avx512bw() ? 1 : 0; }

}  // namespace

std::optional<std::string_view> simd_isa_override() noexcept {
    constinit static std::atomic<int> cell{-1};
    const int index = once<read_override_index>(cell);
    if (index == no_override) return std::nullopt;
    return override_names[index];
}

bool avx2_available() noexcept {
    constinit static std::atomic<int> cell{-1};
    return once<avx2_index>(cell) == 1;
}

bool avx512_available() noexcept {
    constinit static std::atomic<int> cell{-1};
    return once<avx512_index>(cell) == 1;
}

bool avx512bw_available() noexcept {
    constinit static std::atomic<int> cell{-1};
    return once<avx512bw_index>(cell) == 1;
}

namespace {

// The group entries a process can get, by kernel_row.
#if defined(__x86_64__) || defined(_M_X64)
constexpr BandKernel band_avx2 = band_pass_avx2, band_avx512 = band_pass_avx512;
#else
constexpr BandKernel band_avx2 = nullptr, band_avx512 = nullptr;  // never selected there
#endif

struct Groups {
    std::size_t width;
    MyersGroup levenshtein;
    JaroGroup jaro;
    BandKernel band;
};
constexpr Groups group_rows[] = {
    {1, nullptr, nullptr, nullptr},
    {2, nullptr, nullptr, nullptr},
    {4, levenshtein_myers_4way_portable, jaro_4way_portable, nullptr},
    {4, levenshtein_myers_4way_avx2, jaro_4way_avx2, band_avx2},
    {8, levenshtein_myers_8way_portable, jaro_8way_portable, nullptr},
    {8, levenshtein_myers_8way_avx2, jaro_8way_avx2, band_avx2},
    {8, levenshtein_myers_8way_avx512, jaro_8way_avx512, band_avx512},
};

// The narrow-lane entries and the Latin-1 decoder, by lanes_row.
struct Lanes {
    packed::Kernel levenshtein;
    packed::JaroKernel jaro;
    Latin1Decoder latin1_16;
    packed::LcsKernel lcs;
    partial::Entries partial;
};
constexpr Lanes lanes_rows[] = {
    {nullptr, nullptr, decode_latin1_16, nullptr, partial::portable_entries},
    {packed::myers_block_avx2, packed::jaro_block_avx2, decode_latin1_16_avx2,
     packed::lcs_block_avx2, partial::avx2_entries},
    {packed::myers_block_avx512, packed::jaro_block_avx512, decode_latin1_16_avx2,
     packed::lcs_block_avx512, partial::avx512_entries},
};
constexpr int lanes_count = std::size(lanes_rows);
constexpr const nw::Table* needleman_rows[] = {&nw::table_portable, &nw::table_avx2,
                                               &nw::table_avx512};

// Every table a process can get: each group row with each lanes row.
constexpr auto kernel_rows = [] {
    std::array<Kernels, std::size(group_rows) * std::size(lanes_rows)> rows{};
    for (std::size_t g = 0; g < std::size(group_rows); ++g) {
        for (std::size_t l = 0; l < std::size(lanes_rows); ++l) {
            rows[g * std::size(lanes_rows) + l] = {group_rows[g].width, group_rows[g].levenshtein,
                                                   group_rows[g].jaro,  lanes_rows[l].levenshtein,
                                                   lanes_rows[l].jaro,  lanes_rows[l].latin1_16,
                                                   lanes_rows[l].lcs,   lanes_rows[l].partial};
            rows[g * std::size(lanes_rows) + l].needleman = needleman_rows[l];
            rows[g * std::size(lanes_rows) + l].band_pass = group_rows[g].band;
        }
    }
    return rows;
}();

std::size_t group_width() noexcept {
    // An override fixes the width only: the entries below still follow detection.
    if (const auto isa = simd_isa_override()) {
        if (*isa == "avx512") return 8;
        if (*isa == "avx2") return 4;
        if (*isa == "neon") return 2;
        return 1;
    }
    if (avx512_available()) return 8;
    if (avx2_available()) return 4;
    return 1;
}

int group_row() noexcept {
    switch (group_width()) {
        case 8:
            return avx512_available() ? 6 : avx2_available() ? 5 : 4;
        case 4:
            return avx2_available() ? 3 : 2;
        case 2:
            return 1;
        default:
            return 0;
    }
}

// The override caps the instruction set of the narrow lanes as it caps the group width.
int lanes_row() noexcept {
    const auto isa = simd_isa_override();
    const bool allow_avx512 = !isa || *isa == "avx512";
    const bool allow_avx2 = allow_avx512 || *isa == "avx2";
    if (allow_avx512 && avx512bw_available()) return 2;
    if (allow_avx2 && avx2_available()) return 1;
    return 0;
}

int kernel_row() noexcept { return group_row() * lanes_count + lanes_row(); }

}  // namespace

const Kernels& kernels() noexcept {
    constinit static std::atomic<int> cell{-1};
    return kernel_rows[static_cast<std::size_t>(once<kernel_row>(cell))];
}

std::size_t jaro_simd_width() noexcept { return kernels().width; }

}  // namespace quillon::simd
