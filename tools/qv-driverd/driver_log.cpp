#include "driver_log.h"

#include "hex_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace qv::driverd {

std::optional<std::string> DriverLog::open(const std::filesystem::path& path) {
  fd_.reset(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600));
  if (!fd_) return "cannot open the log " + path.string() + ": " + std::strerror(errno);
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

}  // namespace qv::driverd
