#include "driver_log.h"

#include "hex_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace qv::driverd {

std::optional<std::string> DriverLog::open(const std::filesystem::path& path) {
  fd_.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  if (!fd_) return "cannot open the log " + path.string() + ": " + std::strerror(errno);
  return std::nullopt;
}

std::optional<std::string> DriverLog::openStandardError() {
  fd_.reset(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0));
  if (!fd_) return std::string("cannot log to standard error: ") + std::strerror(errno);
  return std::nullopt;
}

void DriverLog::request(std::uint32_t code, std::span<const std::uint8_t> input, const char* outcome) {
  char head[16];
  std::snprintf(head, sizeof head, "%08x ", code);
  line(head + hexText(input) + " " + outcome);
}

void DriverLog::note(const std::string& text) { line("# " + text); }

void DriverLog::line(std::string text) {
  if (!fd_) return;
  if (withTimes_) {
    // Microseconds of CLOCK_MONOTONIC, so that another program can time a request.
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    char at[32];
    std::snprintf(at, sizeof at, " %lld", static_cast<long long>(now.tv_sec) * 1'000'000LL + now.tv_nsec / 1000);
    text += at;
  }
  text += "\n";
  // One write with O_APPEND: a line is never torn, also with a second writer.
  [[maybe_unused]] auto n = ::write(fd_.get(), text.data(), text.size());
}

bool standardErrorIsJournal() {
  const char* stream = std::getenv("JOURNAL_STREAM");
  if (!stream) return false;
  unsigned long long device = 0, inode = 0;
  if (std::sscanf(stream, "%llu:%llu", &device, &inode) != 2) return false;
  struct stat st {};
  if (::fstat(STDERR_FILENO, &st) != 0) return false;
  return static_cast<unsigned long long>(st.st_dev) == device && static_cast<unsigned long long>(st.st_ino) == inode;
}

}  // namespace qv::driverd
