#include "anim/gif_data_property.h"

namespace qv::anim {

std::vector<std::uint8_t> encodeDataProperty(std::span<const std::uint8_t> gif) {
  std::vector<std::uint8_t> out;
  out.reserve(4 + gif.size());
  const auto count = static_cast<std::uint32_t>(gif.size());
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<std::uint8_t>(count >> shift));
  out.insert(out.end(), gif.begin(), gif.end());
  return out;
}

std::optional<std::vector<std::uint8_t>> decodeDataProperty(std::span<const std::uint8_t> stored) {
  if (stored.size() < 4) return std::nullopt;
  std::uint32_t raw = 0;
  for (int i = 0; i < 4; ++i) raw |= std::uint32_t{stored[static_cast<std::size_t>(i)]} << (8 * i);
  const auto count = static_cast<std::int32_t>(raw);  // stored signed: negative reads nothing
  if (count <= 0) return std::vector<std::uint8_t>{};
  if (static_cast<std::size_t>(count) > stored.size() - 4) return std::nullopt;
  return std::vector<std::uint8_t>(stored.begin() + 4, stored.begin() + 4 + count);
}

}  // namespace qv::anim
