// Instruction-set selection: CPUID/XGETBV detection and the QUILLON_SIMD override, each read once
// into a function-local static. Baseline code: nothing here may need the features it detects.
#include "isa.hpp"

#include <cstdint>
#include <cstdlib>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

namespace quillon::simd {

namespace {

std::optional<std::string_view> read_override() noexcept {
    static constexpr std::string_view accepted[] = {"portable", "neon", "avx2", "avx512"};
    const char* value = std::getenv("QUILLON_SIMD");
    if (value == nullptr) return std::nullopt;
    // Byte for byte: "AVX512" or "avx2 " mean automatic selection, like an unset variable.
    const std::string_view requested(value);
    for (const std::string_view name : accepted) {
        if (requested == name) return name;  // the literal, not the environment's storage
    }
    return std::nullopt;
}

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

#else

bool detect_avx2() noexcept { return false; }
bool detect_avx512() noexcept { return false; }

#endif

}  // namespace

std::optional<std::string_view> simd_isa_override() noexcept {
    static const std::optional<std::string_view> cell = read_override();
    return cell;
}

bool avx2_available() noexcept {
    static const bool cell = detect_avx2();
    return cell;
}

bool avx512_available() noexcept {
    static const bool cell = detect_avx512();
    return cell;
}

std::size_t jaro_simd_width() noexcept {
    // An override fixes the group size only; the kernels still ask detection themselves, so
    // "avx512" on a processor without it runs two groups of four.
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

}  // namespace quillon::simd
