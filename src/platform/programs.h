#pragma once
// Starting other programs and asking the system to restart.
#include <cstdint>
#include <string_view>

namespace qv::platform {

class ProgramLauncher {
public:
  virtual ~ProgramLauncher() = default;
  // Starts the program file itself (never through a shell). A Windows-style name such as
  // "dir\AltKey.exe" names the file "dir/AltKey". Above 31 on success, 31 or less on failure.
  virtual std::uint32_t startProgram(std::string_view command) = 0;
  // Asks the system to restart; returns at once. False when the request could not be made.
  virtual bool requestRestart() = 0;
};

}  // namespace qv::platform
