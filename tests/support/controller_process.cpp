#include "support/controller_process.h"

#include "support/private_root.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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

}  // namespace qv::test
