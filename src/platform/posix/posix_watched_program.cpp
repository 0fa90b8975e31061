#include "platform/posix/posix_watched_program.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace qv::platform {

namespace {

constexpr std::size_t kKeptErrorBytes = 4096;

// The last line with something in it, without its line end.
std::string lastLine(const std::string& text) {
  const std::size_t end = text.find_last_not_of(" \t\r\n");
  if (end == std::string::npos) return {};
  const std::size_t newline = text.find_last_of('\n', end);
  const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
  return text.substr(start, end + 1 - start);
}

}  // namespace

PosixWatchedProgram::PosixWatchedProgram(std::string name, pid_t pid, UniqueFd errors,
                                         std::function<void(pid_t)> leaveRunning)
    : name_(std::move(name)), pid_(pid), errors_(std::move(errors)), leaveRunning_(std::move(leaveRunning)) {}

PosixWatchedProgram::~PosixWatchedProgram() {
  if (ended()) {
    if (unreaped_) ::waitpid(pid_, nullptr, WNOHANG);
  } else if (leaveRunning_) {
    leaveRunning_(pid_);
  }
}

bool PosixWatchedProgram::ended() {
  if (ended_) return true;
  siginfo_t info{};
  if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
    if (errno == EINTR) return false;
    ended_ = true;  // reaped by someone else: it has gone, and its number with it
    endCode_ = CLD_KILLED;
    endStatus_ = SIGKILL;
    return true;
  }
  if (info.si_pid == 0) return false;
  ended_ = true;
  unreaped_ = true;
  endCode_ = info.si_code;
  endStatus_ = info.si_status;
  return true;
}

bool PosixWatchedProgram::waitEnded(int milliseconds) {
  for (int waited = 0; !ended(); waited += 10) {
    if (waited >= milliseconds) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

void PosixWatchedProgram::drainErrors() {
  char buffer[1024];
  while (errors_) {
    const ssize_t n = ::read(errors_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return;  // nothing more for now
    if (n == 0) {
      errors_.reset();
      return;
    }
    // Passed on, so that nothing it says is lost to a terminal or a log.
    [[maybe_unused]] const auto ignored = ::write(STDERR_FILENO, buffer, static_cast<std::size_t>(n));
    lastErrors_.append(buffer, static_cast<std::size_t>(n));
    if (lastErrors_.size() > kKeptErrorBytes) lastErrors_.erase(0, lastErrors_.size() - kKeptErrorBytes);
  }
}

std::optional<std::string> PosixWatchedProgram::endReason() {
  drainErrors();
  if (!ended()) return std::nullopt;
  drainErrors();  // what it wrote just before it ended
  if (std::string line = lastLine(lastErrors_); !line.empty()) return line;
  if (endCode_ == CLD_EXITED) return name_ + " ended with exit status " + std::to_string(endStatus_);
  return name_ + " was ended by signal " + std::to_string(endStatus_) + " (" + ::strsignal(endStatus_) + ")";
}

void PosixWatchedProgram::stop() {
  if (!ended()) {
    ::kill(-pid_, SIGTERM);
    if (!waitEnded(1000)) {
      ::kill(-pid_, SIGKILL);
      waitEnded(1000);
    }
  }
  // The processes it started may outlive it; while it is unreaped, its group's number
  // still names them and nothing else.
  if (ended() && unreaped_) ::kill(-pid_, SIGKILL);
}

}  // namespace qv::platform
