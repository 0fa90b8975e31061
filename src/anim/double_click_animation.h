#pragma once
// The double-click test animation, embedded at build time in the animated image's stored
// "Data" form (32-bit little-endian byte count, then the GIF). Defined in qv_anim_data,
// which qv_anim_qt links.
#include <cstdint>
#include <span>

namespace qv::anim {

std::span<const std::uint8_t> doubleClickAnimationData();

}  // namespace qv::anim
