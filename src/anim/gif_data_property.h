#pragma once
// The streamed "Data" form of an animated image: a 32-bit little-endian byte count followed
// by that many GIF bytes. Written only when there is something to store.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace qv::anim {

std::vector<std::uint8_t> encodeDataProperty(std::span<const std::uint8_t> gif);

// The GIF bytes of a stored Data form. A count of 0 or less gives no bytes; a count larger
// than what follows is a damaged store and gives nothing (never a read past the end).
std::optional<std::vector<std::uint8_t>> decodeDataProperty(std::span<const std::uint8_t> stored);

}  // namespace qv::anim
