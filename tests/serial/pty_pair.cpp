#include "pty_pair.h"

#include "platform/machine_root.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>

namespace qv::test {

PtyPair::PtyPair(const std::string& name) {
  char slaveName[128] = {};
  if (::openpty(&master_, &slave_, slaveName, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  termios t{};
  ::tcgetattr(slave_, &t);
  ::cfmakeraw(&t);
  ::tcsetattr(slave_, TCSANOW, &t);
  const auto dev = platform::deviceDir();
  platform::ensureDirectory(dev);
  link_ = (dev / name).string();
  std::filesystem::create_symlink(slaveName, link_);
}

PtyPair::~PtyPair() {
  std::error_code ec;
  std::filesystem::remove(link_, ec);
  if (master_ >= 0) ::close(master_);
  ::close(slave_);
}

void PtyPair::send(const std::vector<std::uint8_t>& bytes) const {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else {
      pollfd fd{master_, POLLOUT, 0};
      ::poll(&fd, 1, 100);
    }
  }
}

std::vector<std::uint8_t> PtyPair::receive(std::size_t count, std::chrono::milliseconds timeout) const {
  std::vector<std::uint8_t> got;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (got.size() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    pollfd fd{master_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
    std::uint8_t buffer[4096];
    const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
    if (n > 0) got.insert(got.end(), buffer, buffer + n);
  }
  return got;
}

termios PtyPair::lineSettings() const {
  termios t{};
  ::tcgetattr(slave_, &t);
  return t;
}

speed_t PtyPair::speed() const {
  const termios t = lineSettings();
  return ::cfgetospeed(&t);
}

void PtyPair::setLineSettings(const termios& t) const { ::tcsetattr(slave_, TCSANOW, &t); }

void PtyPair::closeMaster() {
  ::close(master_);
  master_ = -1;
}

namespace {
int countEntries(const char* dir) {
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    (void)entry;
    ++n;
  }
  return n;
}
}  // namespace

int openDescriptorCount() { return countEntries("/proc/self/fd"); }
int threadCount() { return countEntries("/proc/self/task"); }

}  // namespace qv::test
