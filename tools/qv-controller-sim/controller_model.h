#pragma once
// What the simulated controller is and how it answers: the command line, the probes it
// recognises in the byte stream, and its replies.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qv::sim {

struct ControllerOptions {
  std::string port;                        // COMn, linked under <root>/dev
  std::string model;                       // T201, T302, T303, or four hex digits (newer chip)
  std::optional<std::uint16_t> firmware;   // answered to probe 1 by the older chips
  std::uint32_t baudRate = 0;              // the only line speed at which it answers
  bool silent = false;                     // never answers
  bool garbage = false;                    // answers with bytes that mean nothing
  bool split = false;                      // sends each reply in two parts, far apart
  int hangupAfter = 0;                     // hangs up after this many probes; 0 never
  bool help = false;
};

// Parses the arguments after the program name; nullopt with error set when they are wrong.
std::optional<ControllerOptions> parseArguments(const std::vector<std::string>& args, std::string& error);
std::string usageText();

// The three probes, numbered 1 to 3; 0 when bytes are no probe.
inline constexpr std::uint8_t kProbes[3][5] = {
    {0x44, 0x47, 0x0B, 0x00, 0x00},
    {0xF0, 0x00, 0x00, 0x00, 0x00},
    {0x44, 0x47, 0x02, 0x80, 0x00},
};

// Finds whole probes in a byte stream that may arrive in pieces. Bytes that cannot begin
// a probe are skipped.
class ProbeScanner {
public:
  std::vector<int> feed(const std::uint8_t* bytes, std::size_t count);

private:
  std::vector<std::uint8_t> pending_;
};

// The reply to probe number probe (1..3) when the line runs at baudRate; empty when the
// controller stays quiet.
std::vector<std::uint8_t> replyTo(const ControllerOptions& options, int probe, std::uint32_t baudRate);

}  // namespace qv::sim
