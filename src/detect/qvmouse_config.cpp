#include "detect/qvmouse_config.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <fstream>
#include <system_error>

namespace qv::detect {

std::optional<StandardPort> standardPort(int number) {
  for (const auto& p : kStandardPorts) {
    if (p.number == number) return p;
  }
  return std::nullopt;
}

std::optional<QvMouseConfig> readQvMouseConfig(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::array<char, kQvMouseConfigSize> bytes{};
  in.read(bytes.data(), bytes.size());
  const auto count = static_cast<std::size_t>(in.gcount());
  return parseQvMouseConfig(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), count));
}

std::optional<QvMouseConfig> parseQvMouseConfig(std::span<const std::uint8_t> bytes) {
  if (bytes.size() <= kIrqOffset) return std::nullopt;
  return QvMouseConfig{bytes[kPortNumberOffset], bytes[kIrqOffset]};
}

std::array<std::uint8_t, kQvMouseConfigSize> buildQvMouseConfig(const QvMouseFinding& f) {
  // 0..7 signature, 8 layout version, 9 port number, 10 reserved, 11 IRQ, 12..13 I/O
  // address (little-endian), 14..17 baud rate (little-endian), 18..21 chip model,
  // 22..23 firmware bytes, the rest zero.
  std::array<std::uint8_t, kQvMouseConfigSize> b{};
  std::memcpy(b.data(), "QVMOUSE\x1A", 8);
  b[8] = 1;
  b[kPortNumberOffset] = static_cast<std::uint8_t>(f.portNumber);
  b[kIrqOffset] = static_cast<std::uint8_t>(f.irq);
  if (const auto port = standardPort(f.portNumber)) {
    unsigned address = 0;
    std::from_chars(port->address, port->address + 3, address, 16);
    b[12] = static_cast<std::uint8_t>(address & 0xFF);
    b[13] = static_cast<std::uint8_t>(address >> 8);
  }
  const auto baud = static_cast<std::uint32_t>(f.baudRate);
  for (int i = 0; i < 4; ++i) b[14 + i] = static_cast<std::uint8_t>(baud >> (8 * i));
  std::memcpy(b.data() + 18, f.chipType.data(), std::min<std::size_t>(f.chipType.size(), 4));
  unsigned firmware = 0;
  if (f.firmware.size() == 4) std::from_chars(f.firmware.data(), f.firmware.data() + 4, firmware, 16);
  b[22] = static_cast<std::uint8_t>(firmware >> 8);
  b[23] = static_cast<std::uint8_t>(firmware & 0xFF);
  return b;
}

bool writeQvMouseConfig(const std::filesystem::path& file, const std::array<std::uint8_t, kQvMouseConfigSize>& bytes) {
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out) return false;
  }
  std::error_code ec;
  std::filesystem::rename(temporary, file, ec);
  if (ec) std::filesystem::remove(temporary, ec);
  return !ec;
}

}  // namespace qv::detect
