#include "support/program_run.h"

#include "support/child_process.h"
#include "support/private_root.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace qv::test {

namespace {

// A file that catches one output stream; removed when the object ends.
class CaughtOutput {
public:
  CaughtOutput() {
    std::string pattern = "/tmp/qv-output-XXXXXX";
    fd_ = ::mkstemp(pattern.data());
    if (fd_ >= 0) path_ = pattern;
  }
  ~CaughtOutput() {
    if (fd_ >= 0) ::close(fd_);
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  CaughtOutput(const CaughtOutput&) = delete;
  CaughtOutput& operator=(const CaughtOutput&) = delete;

  int fd() const { return fd_; }
  std::string text() const { return readFile(path_); }

private:
  int fd_ = -1;
  std::string path_;
};

std::vector<std::string> changedEnvironment(const std::vector<EnvironmentChange>& changes) {
  std::vector<std::string> result;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool changed = false;
    for (const auto& change : changes) changed = changed || change.first == name;
    if (!changed) result.push_back(entry);
  }
  for (const auto& [name, value] : changes) {
    if (value) result.push_back(name + "=" + *value);
  }
  return result;
}

}  // namespace

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::vector<EnvironmentChange>& environment, std::chrono::milliseconds limit) {
  const std::filesystem::path given(program);
  std::vector<std::string> argvText{(given.is_absolute() ? given : binDir() / given).string()};
  argvText.insert(argvText.end(), args.begin(), args.end());
  std::vector<std::string> envText = changedEnvironment(environment);
  std::vector<char*> argv, envp;
  for (auto& a : argvText) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : envText) envp.push_back(e.data());
  envp.push_back(nullptr);

  CaughtOutput out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out.fd(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.fd(), STDERR_FILENO);
  const pid_t pid = spawnWithSignalsOpen(argv[0], actions, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);

  ProgramRun run;
  if (pid <= 0) return run;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool killed = false;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      if (!killed && WIFEXITED(status)) run.status = WEXITSTATUS(status);
      if (!killed && WIFSIGNALED(status)) run.status = 128 + WTERMSIG(status);
      break;
    }
    if (r < 0 && errno != EINTR) break;
    if (!killed && std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid, SIGKILL);  // our own unreaped child
      killed = true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  run.out = out.text();
  run.err = err.text();
  return run;
}

}  // namespace qv::test
