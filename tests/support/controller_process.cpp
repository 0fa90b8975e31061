#include "support/controller_process.h"

#include "support/private_root.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace qv::test {

ControllerProcess::ControllerProcess(const std::filesystem::path& root, const std::string& port, const std::string& model)
    : fifo_(root / ("sim-" + port + ".in")) {
  ::mkfifo(fifo_.c_str(), 0600);
  // The shell only opens the FIFO as the simulator's input and becomes the simulator.
  const std::string sim = (binDir() / "qv-controller-sim").string();
  const std::string command = "exec '" + sim + "' --port " + port + " --model " + model + " <'" + fifo_.string() + "'";
  process_ = std::make_unique<ChildProcess>("/bin/sh", std::vector<std::string>{"-c", command});
  input_ = ::open(fifo_.c_str(), O_RDWR | O_CLOEXEC);  // read-write: never waits for the reader
  const auto link = root / "dev" / port;
  for (int i = 0; i < 1000 && !linked_; ++i) {
    std::error_code ec;
    linked_ = std::filesystem::exists(std::filesystem::symlink_status(link, ec));
    if (!linked_) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

ControllerProcess::~ControllerProcess() {
  process_.reset();
  if (input_ >= 0) ::close(input_);
}

void ControllerProcess::play(const std::string& command) const {
  const std::string line = command + "\n";
  [[maybe_unused]] const auto n = ::write(input_, line.data(), line.size());
}

void acknowledgeAfter(int master, std::size_t probeBytes) {
  std::vector<std::uint8_t> bytes(probeBytes);
  std::size_t got = 0;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (pollfd in{master, POLLIN, 0}; got < probeBytes && ::poll(&in, 1, 5000) > 0;) {
    const ssize_t n = ::read(master, bytes.data() + got, probeBytes - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EIO && std::chrono::steady_clock::now() < giveUp) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));  // the port is between two opens
    } else {
      return;
    }
  }
  [[maybe_unused]] const auto sent = ::write(master, "\xFF\x70\x00", 3);
}

}  // namespace qv::test
