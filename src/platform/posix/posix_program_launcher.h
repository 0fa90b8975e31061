#pragma once
// Starting other programs with posix_spawn, and the restart request.
#include "platform/programs.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>

namespace qv::platform {

// The file that a stored command names: backslashes become '/', and a trailing ".exe" (in
// any letter case) is dropped when the file without it exists, since programs here carry
// no such suffix. The whole command is the path: it may hold spaces and is never split.
std::filesystem::path programFileFromCommand(std::string_view command);

// The start result for an error number of a failed start: 2 file not found, 3 path not
// found, 5 access denied, 11 bad format, 0 out of resources (all 31 or less).
std::uint32_t startFailureCode(int error);

class PosixProgramLauncher final : public ProgramLauncher {
public:
  PosixProgramLauncher();
  ~PosixProgramLauncher() override;
  PosixProgramLauncher(const PosixProgramLauncher&) = delete;
  PosixProgramLauncher& operator=(const PosixProgramLauncher&) = delete;

  // Runs the file itself (argv[0] = the file, no arguments, never a shell) with stdin on
  // /dev/null, in a process group of its own so that a signal meant for this program's
  // terminal does not reach it. Returns the new process id, or 32 when that is smaller,
  // on success; startFailureCode() of the error otherwise.
  std::uint32_t startProgram(std::string_view command) override;
  // The same start, with the program's standard error read by the WatchedProgram (which
  // passes it on to this program's standard error).
  WatchedStart startWatchedProgram(std::string_view command) override;
  // Runs QUORVANE_REBOOT_COMMAND with /bin/sh -c when the variable is set (even when
  // empty, which then does nothing), else "systemctl reboot". Does not wait for it.
  bool requestRestart() override;

private:
  // Reaps the programs this launcher started, so that none lingers as a zombie. It waits
  // for each by its own process id (a pidfd per child, watched by one thread), never for
  // "any child", so that other code that starts and waits for processes is not disturbed.
  // Children still running when the launcher goes are left alone; once this program ends
  // the system adopts and reaps them.
  class Reaper;
  std::unique_ptr<Reaper> reaper_;
};

}  // namespace qv::platform
