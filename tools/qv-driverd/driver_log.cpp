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
  path_ = path;
  fd_.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  if (!fd_) return "cannot open the log " + path.string() + ": " + std::strerror(errno);
  struct stat st {};
  size_ = ::fstat(fd_.get(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  return std::nullopt;
}

std::optional<std::string> DriverLog::openStandardError() {
  path_.clear();  // the journal keeps itself bounded
  size_ = 0;
  fd_.reset(::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0));
  if (!fd_) return std::string("cannot log to standard error: ") + std::strerror(errno);
  return std::nullopt;
}

void DriverLog::rotate() {
  const std::string older = path_.string() + ".1";
  // A file removed meanwhile is simply begun anew.
  if (::rename(path_.c_str(), older.c_str()) == 0 || errno == ENOENT) {
    platform::UniqueFd fresh(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
    if (fresh) {
      fd_ = std::move(fresh);
      size_ = 0;
      return;
    }
  }
  // Where the file cannot be moved or made anew, it starts over in place: bounded all the same.
  if (::ftruncate(fd_.get(), 0) == 0) size_ = 0;
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
  if (!path_.empty() && size_ > 0 && size_ + text.size() > cap_) rotate();
  // One write with O_APPEND: a line is never torn, also with a second writer.
  if (const auto n = ::write(fd_.get(), text.data(), text.size()); n > 0) size_ += static_cast<std::uint64_t>(n);
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
