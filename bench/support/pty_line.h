#pragma once
// A private machine root whose COM7 is a pseudo-terminal, for a benchmark of something
// that reads a serial line: the benchmark writes to the master side.
#include "platform/machine_root.h"

#include <pty.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace qv::bench {

struct PtyLine {
  PtyLine() {
    char dir[] = "/tmp/qvb-XXXXXX";
    root = ::mkdtemp(dir);
    ::setenv("QUORVANE_HOME", root.c_str(), 1);
    ::setenv("QUORVANE_REBOOT_COMMAND", "true", 1);
    char name[128] = {};
    ::openpty(&master, &slave, name, nullptr, nullptr);
    slaveName = name;
    qv::platform::ensureDirectory(qv::platform::deviceDir());
    std::filesystem::create_symlink(name, qv::platform::deviceDir() / "COM7");
  }
  ~PtyLine() {
    ::close(master);
    ::close(slave);
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  PtyLine(const PtyLine&) = delete;
  PtyLine& operator=(const PtyLine&) = delete;

  void send(const std::uint8_t* bytes, std::size_t count) const {
    std::size_t done = 0;
    while (done < count) {
      const ssize_t n = ::write(master, bytes + done, count - done);
      if (n > 0) done += static_cast<std::size_t>(n);
    }
  }

  std::filesystem::path root;
  std::string slaveName;
  int master = -1;
  int slave = -1;
};

}  // namespace qv::bench
