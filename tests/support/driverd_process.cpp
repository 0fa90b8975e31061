#include "support/driverd_process.h"

#include "support/private_root.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

extern char** environ;

namespace qv::test {

namespace {

using namespace std::chrono_literals;

pid_t spawn(const std::string& name, const std::vector<std::string>& args, int outFd) {
  const std::filesystem::path given(name);
  const std::string program = (given.is_absolute() ? given : binDir() / name).string();
  std::vector<std::string> all{program};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outFd, STDERR_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  // The child must not inherit a blocked SIGTERM from a test thread.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), environ) != 0) pid = -1;
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int statusOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

// Waits up to limit for pid to end; its status or nullopt.
std::optional<int> reap(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) return statusOf(status);
    if (r < 0) return std::nullopt;
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(5ms);
  }
}

}  // namespace

bool socketAnswers(const std::filesystem::path& path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof addr.sun_path) return false;
  std::strcpy(addr.sun_path, path.c_str());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

DriverdProcess::DriverdProcess(std::vector<std::string> options) {
  const char* home = std::getenv("QUORVANE_HOME");
  socket_ = std::filesystem::path(home ? home : "") / "dev" / "QV.VXD";
  for (const auto& o : options) {
    if (o.starts_with("--socket=")) socket_ = o.substr(9);
  }
  pid_ = spawn("qv-driverd", options, -1);
  if (pid_ < 0) return;
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;  // it ended: nothing to stop later
      return;
    }
    if (socketAnswers(socket_)) {
      ready_ = true;
      return;
    }
    std::this_thread::sleep_for(5ms);
  }
}

DriverdProcess::~DriverdProcess() {
  if (pid_ > 0 && !stop(SIGTERM)) stop(SIGKILL);
}

std::optional<int> DriverdProcess::stop(int signal) {
  if (pid_ <= 0) return std::nullopt;
  ::kill(pid_, signal);
  auto status = reap(pid_, 5s);
  if (status) pid_ = -1;
  return status;
}

int runProgram(const std::string& name, const std::vector<std::string>& args, std::string* output) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
  const pid_t pid = spawn(name, args, pipeFds[1]);
  ::close(pipeFds[1]);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0 || (n < 0 && errno == EINTR)) {
    if (n > 0) text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(pipeFds[0]);
  if (pid < 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  if (output) *output = text;
  return statusOf(status);
}

}  // namespace qv::test
