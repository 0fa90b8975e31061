#include "monitor_output.h"

#include "pointer_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace qv::driverd {

namespace {

int unitsPerMm(int millimetres) {
  if (millimetres <= 0) return kDefaultResolution;
  return std::max(1, static_cast<int>(std::lround(static_cast<double>(kPointerMax) / millimetres)));
}

bool plainName(const std::string& name) {
  return !name.empty() && std::all_of(name.begin(), name.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == ':';
  });
}

std::string failure(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

}  // namespace

OutputSetup outputSetup(const settings::CalibratedMonitor& monitor, bool rotated) {
  OutputSetup s;
  const int turn = rotated ? settings::normalRotation(monitor.mounting.rotation) : 0;
  const bool across = turn == 90 || turn == 270;
  s.resolutionX = unitsPerMm(across ? monitor.heightMm : monitor.widthMm);
  s.resolutionY = unitsPerMm(across ? monitor.widthMm : monitor.heightMm);
  if (plainName(monitor.connector)) s.udevProperties += "WL_OUTPUT=" + monitor.connector + "\n";
  s.udevProperties += "LIBINPUT_CALIBRATION_MATRIX=1 0 0 0 1 0\n";
  return s;
}

std::optional<std::string> writeUdevProperties(const std::filesystem::path& file, const std::string& text) {
  std::filesystem::path temporary = file;
  temporary += ".tmp";
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) return failure("cannot write", temporary);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::string why = failure("cannot write", temporary);
      ::close(fd);
      ::unlink(temporary.c_str());
      return why;
    }
    done += static_cast<std::size_t>(n);
  }
  // The mode asked for is cut by the umask; udev must be able to read the file.
  bool kept = ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
  std::string why = kept ? std::string() : failure("cannot write", temporary);
  if (::close(fd) != 0 && kept) {
    kept = false;
    why = failure("cannot write", temporary);
  }
  if (!kept) {
    ::unlink(temporary.c_str());
    return why;
  }
  if (::rename(temporary.c_str(), file.c_str()) != 0) {
    std::string why = failure("cannot replace", file);
    ::unlink(temporary.c_str());
    return why;
  }
  return std::nullopt;
}

}  // namespace qv::driverd
