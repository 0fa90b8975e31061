#include "platform/registry_store.h"

namespace qv::platform {

RegistryValue RegistryValue::text(std::string_view s) {
  return RegistryValue{regtype::Sz, std::vector<std::uint8_t>(s.begin(), s.end())};
}

RegistryValue RegistryValue::dword(std::uint32_t v) {
  // REG_DWORD data is the 32-bit number little-endian.
  return RegistryValue{regtype::Dword,
                       {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                        static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)}};
}

RegistryValue RegistryValue::binary(std::vector<std::uint8_t> bytes) {
  return RegistryValue{regtype::Binary, std::move(bytes)};
}

}  // namespace qv::platform
