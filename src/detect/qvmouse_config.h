#pragma once
// qvmouse.cfg, the driver configuration file that the port search tool writes in its own
// folder. 43 bytes; the panel uses two: the port number at offset 9 (1..4 = COM1..COM4)
// and its IRQ at offset 11.
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv::detect {

inline constexpr std::string_view kQvMouseConfigName = "qvmouse.cfg";
inline constexpr std::string_view kPortSearchToolName = "qvdetect.exe";
inline constexpr std::size_t kQvMouseConfigSize = 43;
inline constexpr std::size_t kPortNumberOffset = 9;
inline constexpr std::size_t kIrqOffset = 11;

struct StandardPort {
  int number;
  const char* name;     // "COM1"
  const char* address;  // "3F8H"
  int irq;
};
// The four standard serial ports of a PC.
inline constexpr std::array<StandardPort, 4> kStandardPorts{{
    {1, "COM1", "3F8H", 4},
    {2, "COM2", "2F8H", 3},
    {3, "COM3", "3E8H", 4},
    {4, "COM4", "2E8H", 3},
}};
// The port of number 1..4; nullopt for any other number.
std::optional<StandardPort> standardPort(int number);

struct QvMouseConfig {
  std::uint8_t portNumber = 0;
  std::uint8_t irq = 0;
};

// The two values, once the file is a regular file holding at least the 12 bytes that
// reach them; nullopt while it is missing, unreadable or shorter (still being written).
// At most the first 43 bytes are read.
std::optional<QvMouseConfig> readQvMouseConfig(const std::filesystem::path& file);
// The same from the file's bytes as read.
std::optional<QvMouseConfig> parseQvMouseConfig(std::span<const std::uint8_t> bytes);

// What the search tool found, laid out as the file's 43 bytes.
struct QvMouseFinding {
  int portNumber = 0;
  int irq = 0;
  std::int32_t baudRate = 0;
  std::string chipType;  // up to four characters are kept
  std::string firmware;  // four hexadecimal digits
};
std::array<std::uint8_t, kQvMouseConfigSize> buildQvMouseConfig(const QvMouseFinding& finding);
// Writes the bytes under a temporary name and renames it into place, so that a reader
// never sees part of it. False when it cannot.
bool writeQvMouseConfig(const std::filesystem::path& file, const std::array<std::uint8_t, kQvMouseConfigSize>& bytes);

}  // namespace qv::detect
