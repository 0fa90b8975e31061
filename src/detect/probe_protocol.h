#pragma once
// The controller's probe protocol: the three five-byte probes, the baud rates tried from
// the fastest down, the model of the older chips by their speed, and how one burst of
// reply bytes is read.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace qv::detect {

using ProbeMessage = std::array<std::uint8_t, 5>;

// Probe number n (1..3) is kProbeMessages[n - 1]; always sent whole.
inline constexpr std::array<ProbeMessage, 3> kProbeMessages{{
    {0x44, 0x47, 0x0B, 0x00, 0x00},  // "DG" 0B 00 00
    {0xF0, 0x00, 0x00, 0x00, 0x00},
    {0x44, 0x47, 0x02, 0x80, 0x00},  // "DG" 02 80 00
}};

inline constexpr std::int32_t kFirstBaudRate = 19200;
inline constexpr int kTickMilliseconds = 500;
inline constexpr std::string_view kUnknownModel = "UnKnown";
inline constexpr std::string_view kDefaultFirmware = "1000";

// The next slower rate: 19200 -> 9600 -> 1200 -> 0; any other rate stays as it is.
std::int32_t nextBaudRate(std::int32_t rate);

// The older chips' model by the speed they answered at; "UnKnown" for any other speed.
std::string modelForBaudRate(std::int32_t rate);

// Every byte as two upper-case hexadecimal digits and one space ("FF 70 00 ").
std::string replyText(std::span<const std::uint8_t> bytes);

// What one received burst says, read from its first bytes alone.
struct Reply {
  enum class Kind {
    None,             // matches no form: ignored
    Firmware,         // FF and two digits' worth: text = the firmware digits (possibly cut short)
    Acknowledgement,  // FF 70 00: an older chip answered
    NewerChip,        // F0 00: text = the model the chip names itself
  };
  Kind kind = Kind::None;
  std::string text;
};
Reply classifyReply(std::span<const std::uint8_t> bytes);

// The line the detection window shows while it probes: "Detecting on COM1  ...".
std::string progressText(std::string_view portName);

// Probe state shared by every detection window of the program.
struct ProbeState {
  int ProbeStep = 0;       // 0..4: position inside the current pass
  bool FirstPass = false;  // true while the pass at 19200 runs
};

// What a detection window found, read by its caller after the window closed.
struct DetectResult {
  bool DetFound = false;
  std::int32_t DetBaudRate = 0;
  std::string DetPort;
  std::string DetChipType;
  std::string DetFirmware;
};

}  // namespace qv::detect
