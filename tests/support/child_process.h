#pragma once
// A program started for a test with the current environment, stopped and reaped when the
// object ends. A signal only ever goes to the child itself: never while it was not started
// or after it was reaped (a pid of 0 or -1 would reach a process group or every process).
#include <spawn.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace qv::test {

// posix_spawn with the given file actions and no signal blocked in the child (a test
// thread may block SIGTERM, and the child must not inherit that). The pid, or -1.
pid_t spawnWithSignalsOpen(const char* file, const posix_spawn_file_actions_t& actions, char* const argv[],
                           char* const envp[]);

class ChildProcess {
public:
  // Where the child's standard output goes; its standard error is the test's own, and its
  // standard input is /dev/null.
  enum class Output { Discard, Inherit };

  // Starts program (a built program's name, found in binDir(), or an absolute path).
  explicit ChildProcess(const std::string& program, const std::vector<std::string>& args = {},
                        Output output = Output::Discard);
  // As above, with standard output and standard error both on outputFd.
  ChildProcess(const std::string& program, const std::vector<std::string>& args, int outputFd);
  // SIGTERM, then SIGKILL when it does not end in time.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return started_; }
  // The running child's pid; -1 once it was reaped or when it did not start.
  pid_t pid() const { return pid_; }

  // Sends sig to the child while it has not been reaped; false otherwise.
  bool signal(int sig) const;
  // Waits up to limit for the child to end. Its exit code (128 + the signal number when a
  // signal ended it), kept for later calls; nullopt while it still runs.
  std::optional<int> waitExit(std::chrono::milliseconds limit = std::chrono::seconds(5));
  // signal(sig), then waitExit(limit).
  std::optional<int> stop(int sig, std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
  void spawn(const std::string& program, const std::vector<std::string>& args, int outputFd, bool discard);

  pid_t pid_ = -1;
  bool started_ = false;
  std::optional<int> status_;
};

}  // namespace qv::test
