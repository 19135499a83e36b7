// The narrow-lane Jaro kernel on plain integers: the reference for every instruction set.
#define QUILLON_ISA portable
#include "packed_jaro.inl"

namespace quillon::simd::packed {

namespace {

template <class Unit>
using Plain16 = portable::JaroPlainLanes<Unit, 16>;

}  // namespace

void jaro_block_portable(const JaroQuery& query, JaroBlock block, JaroCounts& out) noexcept {
    portable::jaro_block<Plain16>(query, block, out);
}

}  // namespace quillon::simd::packed
