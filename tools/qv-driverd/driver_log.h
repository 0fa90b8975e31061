#pragma once
// The driver's log: every request as one line
//   <code, 8 hex digits> <input bytes in hex, or -> <ok|fail|held>
// and everything else the driver has to say (its touch input, beeps, what it skipped) as
// a line that starts with "# ". Without a file nothing is written. The file is kept
// bounded: a line that would take it past its cap first moves it to <file>.1 (replacing
// the one there), and a new file begins.
#include "platform/posix/unique_fd.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>

namespace qv::driverd {

inline constexpr std::uint64_t kDriverLogCap = 1024 * 1024;

class DriverLog {
public:
  // withTimes: each line ends with its CLOCK_MONOTONIC time in microseconds.
  explicit DriverLog(bool withTimes = false, std::uint64_t cap = kDriverLogCap) : withTimes_(withTimes), cap_(cap) {}

  // Appends to path from now on; why not, when it cannot be opened.
  std::optional<std::string> open(const std::filesystem::path& path);
  // Writes to standard error from now on (the journal, when the driver is the service).
  std::optional<std::string> openStandardError();

  void request(std::uint32_t code, std::span<const std::uint8_t> input, const char* outcome);
  void note(const std::string& text);

private:
  void line(std::string text);
  void rotate();

  bool withTimes_;
  std::uint64_t cap_;
  std::filesystem::path path_;
  std::uint64_t size_ = 0;  // of the file, as far as this log wrote it
  platform::UniqueFd fd_;
};

// True when standard error is the journal's stream, as systemd says in JOURNAL_STREAM
// ("device:inode" of that stream) for a service; a program merely started from such a
// service's session has another standard error and gets false.
bool standardErrorIsJournal();

}  // namespace qv::driverd
