#pragma once
// A started program watched while it runs: its standard error comes through a pipe (and is
// passed on to this program's), its end is seen without reaping it at once, and stopping
// it ends its whole process group.
#include "platform/posix/unique_fd.h"
#include "platform/programs.h"

#include <sys/types.h>

#include <functional>
#include <string>

namespace qv::platform {

class PosixWatchedProgram final : public WatchedProgram {
public:
  // pid leads a process group of its own; errors is the reading end of its standard error.
  // leaveRunning takes over a program still running when this object goes.
  PosixWatchedProgram(std::string name, pid_t pid, UniqueFd errors, std::function<void(pid_t)> leaveRunning);
  ~PosixWatchedProgram() override;
  PosixWatchedProgram(const PosixWatchedProgram&) = delete;
  PosixWatchedProgram& operator=(const PosixWatchedProgram&) = delete;

  std::optional<std::string> endReason() override;
  // SIGTERM to the group, SIGKILL when the program has not ended a second later; then
  // SIGKILL to whatever of the group is left.
  void stop() override;

private:
  // True once the program has ended. It is left unreaped until this object goes, so that
  // its process group's number cannot be taken by another group meanwhile.
  bool ended();
  bool waitEnded(int milliseconds);
  // Takes what the program wrote to its standard error so far.
  void drainErrors();

  std::string name_;
  pid_t pid_;
  UniqueFd errors_;
  std::function<void(pid_t)> leaveRunning_;
  std::string lastErrors_;  // the tail of what it wrote
  bool ended_ = false;
  bool unreaped_ = false;  // ended, and its number still held for us
  int endCode_ = 0;    // CLD_EXITED, CLD_KILLED or CLD_DUMPED
  int endStatus_ = 0;  // the exit status or the signal
};

}  // namespace qv::platform
