#include "support/child_process.h"

#include "support/private_root.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <thread>

extern char** environ;

namespace qv::test {

namespace {

int exitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

pid_t spawnWithSignalsOpen(const char* file, const posix_spawn_file_actions_t& actions, char* const argv[],
                           char* const envp[]) {
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, file, &actions, &attr, argv, envp);
  posix_spawnattr_destroy(&attr);
  return spawned == 0 && pid > 0 ? pid : -1;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args, Output output) {
  spawn(program, args, -1, output == Output::Discard);
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args, int outputFd) {
  spawn(program, args, outputFd, false);
}

void ChildProcess::spawn(const std::string& program, const std::vector<std::string>& args, int outputFd,
                         bool discard) {
  const std::filesystem::path given(program);
  const std::string file = (given.is_absolute() ? given : binDir() / given).string();
  std::vector<std::string> all{file};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (outputFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outputFd, STDERR_FILENO);
  } else if (discard) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  const pid_t pid = spawnWithSignalsOpen(file.c_str(), actions, argv.data(), environ);
  if (pid > 0) {
    pid_ = pid;
    started_ = true;
  }
  posix_spawn_file_actions_destroy(&actions);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0 && !stop(SIGTERM, std::chrono::seconds(3))) stop(SIGKILL);
}

bool ChildProcess::signal(int sig) const {
  return pid_ > 0 && ::kill(pid_, sig) == 0;
}

std::optional<int> ChildProcess::waitExit(std::chrono::milliseconds limit) {
  if (status_ || pid_ <= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      pid_ = -1;  // reaped: the pid may now belong to another process
      status_ = exitCodeOf(status);
      return status_;
    }
    if (r < 0 && errno != EINTR) {
      pid_ = -1;  // not our child any more: nothing to wait for or signal
      return std::nullopt;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::optional<int> ChildProcess::stop(int sig, std::chrono::milliseconds limit) {
  if (status_) return status_;
  if (!signal(sig)) return std::nullopt;
  return waitExit(limit);
}

}  // namespace qv::test
