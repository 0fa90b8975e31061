#pragma once
// A qv-driverd process serving the driver's device of the current private machine root
// (QUORVANE_HOME), started from the built programs and stopped when this object ends.
#include "support/child_process.h"

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qv::test {

class DriverdProcess {
public:
  // Starts qv-driverd with the given options and waits until its socket answers. It
  // plays the touch screen (--true-limits) unless the options give its true limits or
  // playing is false (a test that gives it a controller).
  explicit DriverdProcess(std::vector<std::string> options = {}, bool playing = true);
  // Ending the object stops the process: SIGTERM, then SIGKILL when it does not stop in time.

  // True when the process runs and its socket accepts connections.
  bool ready() const { return ready_; }
  pid_t pid() const { return process_.pid(); }
  const std::filesystem::path& socketPath() const { return socket_; }

  // Sends the signal and waits for the process to end; its exit status (the signal
  // number + 128 when a signal ended it), nullopt when it did not end within 5 s.
  std::optional<int> stop(int signal) { return process_.stop(signal); }

private:
  ChildProcess process_;
  bool ready_ = false;
  std::filesystem::path socket_;
};

// Runs a built program (from binDir(), or name itself when it is an absolute path) to its end with the current environment; its
// exit status, with what it wrote to stdout and stderr in *output when given.
int runProgram(const std::string& name, const std::vector<std::string>& args, std::string* output = nullptr);

// True when a connection to the Unix socket at path succeeds.
bool socketAnswers(const std::filesystem::path& path);

}  // namespace qv::test
