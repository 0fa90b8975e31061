#include "platform/posix/posix_program_launcher.h"

#include "platform/posix/posix_watched_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace qv::platform {

namespace fs = std::filesystem;

namespace {

bool endsWithExe(std::string_view s) {
  if (s.size() < 4) return false;
  const std::string_view tail = s.substr(s.size() - 4);
  constexpr std::string_view exe = ".exe";
  for (std::size_t i = 0; i < 4; ++i) {
    const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? static_cast<char>(tail[i] - 'A' + 'a') : tail[i];
    if (c != exe[i]) return false;
  }
  return true;
}

// posix_spawn's attributes and file actions, released on every path out.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;

  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    // Detached from our stdin; stdout and stderr stay shared so its output is not lost.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    // A clean signal state: our threads may block signals that the new program needs.
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attr);
    posix_spawn_file_actions_destroy(&actions);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

// Runs the file itself (argv[0] = the file, no arguments); with errorsFd set, its standard
// error goes there. posix_spawn's error number, 0 when it started.
int spawnFile(const fs::path& file, int errorsFd, pid_t& pid) {
  std::string arg0 = file.string();
  char* argv[] = {arg0.data(), nullptr};
  SpawnSetup setup;
  if (errorsFd >= 0) posix_spawn_file_actions_adddup2(&setup.actions, errorsFd, STDERR_FILENO);
  return ::posix_spawn(&pid, file.c_str(), &setup.actions, &setup.attr, argv, environ);
}

std::uint32_t startResult(pid_t pid) { return pid > 31 ? static_cast<std::uint32_t>(pid) : 32u; }

// Through the system call: this C library's header for it lacks C linkage.
int openPidfd(pid_t pid) {
  return static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
}

}  // namespace

class PosixProgramLauncher::Reaper {
public:
  Reaper() : wake_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), thread_([this] { run(); }) {}

  ~Reaper() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    signal();
    thread_.join();
    for (const Child& c : children_) {
      if (c.pidfd >= 0) ::close(c.pidfd);
    }
    if (wake_ >= 0) ::close(wake_);
  }

  Reaper(const Reaper&) = delete;
  Reaper& operator=(const Reaper&) = delete;

  void watch(pid_t pid) {
    {
      std::lock_guard lock(mutex_);
      children_.push_back({pid, openPidfd(pid)});
    }
    signal();
  }

private:
  struct Child {
    pid_t pid;
    int pidfd;  // -1 where the system has no pidfds: then it is checked now and then
  };

  void signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto ignored = ::write(wake_, &one, sizeof one);
  }

  // Reaps every watched child that has ended; true while some child has no pidfd.
  bool reapEnded() {
    std::lock_guard lock(mutex_);
    bool unwatched = false;
    std::erase_if(children_, [&](const Child& c) {
      if (::waitpid(c.pid, nullptr, WNOHANG) == 0) {
        unwatched = unwatched || c.pidfd < 0;
        return false;
      }
      if (c.pidfd >= 0) ::close(c.pidfd);
      return true;  // reaped, or not ours to wait for any more
    });
    return unwatched;
  }

  void run() {
    for (;;) {
      const bool unwatched = reapEnded();
      std::vector<pollfd> fds{{wake_, POLLIN, 0}};
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        for (const Child& c : children_) {
          if (c.pidfd >= 0) fds.push_back({c.pidfd, POLLIN, 0});
        }
      }
      if (::poll(fds.data(), fds.size(), unwatched || wake_ < 0 ? 500 : -1) < 0 && errno != EINTR) return;
      if (fds[0].revents != 0) {
        std::uint64_t count;
        [[maybe_unused]] const auto ignored = ::read(wake_, &count, sizeof count);
      }
    }
  }

  int wake_;
  std::mutex mutex_;
  std::vector<Child> children_;
  bool stopping_ = false;
  std::thread thread_;  // last: starts after everything it uses exists
};

fs::path programFileFromCommand(std::string_view command) {
  std::string path(command);
  std::replace(path.begin(), path.end(), '\\', '/');
  if (endsWithExe(path)) {
    std::string bare = path.substr(0, path.size() - 4);
    std::error_code ec;
    if (!bare.empty() && fs::exists(bare, ec)) path = std::move(bare);
  }
  return path;
}

std::uint32_t startFailureCode(int error) {
  switch (error) {
    case ENOENT: return 2;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP: return 3;
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY: return 5;
    case ENOEXEC:
    case ELIBBAD: return 11;
    case E2BIG:
    case ENOMEM:
    case EAGAIN:
    case EMFILE:
    case ENFILE: return 0;
    default: return 31;
  }
}

PosixProgramLauncher::PosixProgramLauncher() : reaper_(std::make_unique<Reaper>()) {}

PosixProgramLauncher::~PosixProgramLauncher() = default;

std::uint32_t PosixProgramLauncher::startProgram(std::string_view command) {
  const fs::path file = programFileFromCommand(command);
  if (file.empty()) return startFailureCode(ENOENT);
  pid_t pid = 0;
  if (const int rc = spawnFile(file, -1, pid); rc != 0) return startFailureCode(rc);
  reaper_->watch(pid);
  return startResult(pid);
}

WatchedStart PosixProgramLauncher::startWatchedProgram(std::string_view command) {
  const fs::path file = programFileFromCommand(command);
  if (file.empty()) return {startFailureCode(ENOENT), nullptr};
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return {startFailureCode(errno), nullptr};
  UniqueFd errors(ends[0]);
  UniqueFd errorsOfProgram(ends[1]);
  pid_t pid = 0;
  if (const int rc = spawnFile(file, errorsOfProgram.get(), pid); rc != 0) return {startFailureCode(rc), nullptr};
  errorsOfProgram.reset();  // the pipe ends when the program and its children are done with it
  ::fcntl(errors.get(), F_SETFL, O_NONBLOCK);
  return {startResult(pid), std::make_unique<PosixWatchedProgram>(file.filename().string(), pid, std::move(errors),
                                                                  [reaper = reaper_.get()](pid_t p) { reaper->watch(p); })};
}

bool PosixProgramLauncher::requestRestart() {
  SpawnSetup setup;
  pid_t pid = 0;
  int rc;
  if (const char* command = std::getenv("QUORVANE_REBOOT_COMMAND")) {
    std::string sh = "/bin/sh", dashC = "-c", text = command;
    char* argv[] = {sh.data(), dashC.data(), text.data(), nullptr};
    rc = ::posix_spawn(&pid, "/bin/sh", &setup.actions, &setup.attr, argv, environ);
  } else {
    std::string name = "systemctl", verb = "reboot";
    char* argv[] = {name.data(), verb.data(), nullptr};
    rc = ::posix_spawnp(&pid, "systemctl", &setup.actions, &setup.attr, argv, environ);
  }
  if (rc != 0) return false;
  reaper_->watch(pid);
  return true;
}

}  // namespace qv::platform
