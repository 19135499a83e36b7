// The narrow-lane Needleman-Wunsch kernels on plain integers: the reference for every
// instruction set, with the AVX2 register widths.
#define QUILLON_ISA portable
#include "needleman.inl"

namespace quillon::simd {
namespace portable {
namespace {

using Lanes16 = PlainNwLanes<std::int16_t, std::uint16_t, 16>;
using Lanes32 = PlainNwLanes<std::int32_t, std::uint32_t, 8>;

}  // namespace
}  // namespace portable

const nw::Table nw::table_portable = {
    portable::Lanes16::width,
    portable::Lanes32::width,
    portable::nw_family::linear_pair<portable::Lanes16>,
    portable::nw_family::affine_pair<portable::Lanes16>,
    portable::nw_family::linear_pair<portable::Lanes32>,
    portable::nw_family::affine_pair<portable::Lanes32>,
    portable::nw_family::linear_group<portable::Lanes16>,
    portable::nw_family::affine_group<portable::Lanes16>,
    portable::nw_family::linear_group<portable::Lanes32>,
    portable::nw_family::affine_group<portable::Lanes32>,
};

}  // namespace quillon::simd
