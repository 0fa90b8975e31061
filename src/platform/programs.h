#pragma once
// Starting other programs and asking the system to restart.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qv::platform {

// A program started by startWatchedProgram: the caller learns whether it has ended and
// why, and can end it together with every process it started.
class WatchedProgram {
public:
  // A program still running then is left to run (and is reaped when it ends).
  virtual ~WatchedProgram() = default;
  // nullopt while it runs; once it has ended, why: the last line it wrote to its standard
  // error, else its exit status or the signal that ended it.
  virtual std::optional<std::string> endReason() = 0;
  // Ends the program and the processes it started; returns once they have been told to
  // end and the program itself has ended (or would not end even when killed).
  virtual void stop() = 0;
};

struct WatchedStart {
  std::uint32_t result = 0;                 // as startProgram's
  std::unique_ptr<WatchedProgram> program;  // set when the start succeeded
};

class ProgramLauncher {
public:
  virtual ~ProgramLauncher() = default;
  // Starts the program file itself (never through a shell). A Windows-style name such as
  // "dir\AltKey.exe" names the file "dir/AltKey". Above 31 on success, 31 or less on failure.
  virtual std::uint32_t startProgram(std::string_view command) = 0;
  // Starts the program as startProgram does, to be watched while it runs. The launcher
  // must outlive the WatchedProgram.
  virtual WatchedStart startWatchedProgram(std::string_view command) = 0;
  // Asks the system to restart; returns at once. False when the request could not be made.
  virtual bool requestRestart() = 0;
};

}  // namespace qv::platform
