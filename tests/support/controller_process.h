#pragma once
// qv-controller-sim playing the controller on a port of the current private machine root,
// with the touches it plays written to its standard input (a FIFO beside the root's
// store), stopped when this object ends: its line hangs up and its port link goes, as
// when a USB serial adapter is pulled.
#include "support/child_process.h"

#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

namespace qv::test {

class ControllerProcess {
public:
  // Waits until the port is linked as <root>/dev/<port>.
  ControllerProcess(const std::filesystem::path& root, const std::string& port, const std::string& model);
  ~ControllerProcess();
  ControllerProcess(const ControllerProcess&) = delete;
  ControllerProcess& operator=(const ControllerProcess&) = delete;

  bool linked() const { return linked_; }
  // One command line: "tap X Y", "down X Y", "move X Y", "up".
  void play(const std::string& command) const;

private:
  std::filesystem::path fifo_;
  std::unique_ptr<ChildProcess> process_;
  int input_ = -1;
  bool linked_ = false;
};

// A controller on the master side of a pseudo-terminal: takes the first probeBytes bytes
// the driver sends, then acknowledges as an older chip does (FF 70 00). Gives up when the
// line stays quiet for 5 s.
void acknowledgeAfter(int master, std::size_t probeBytes);

}  // namespace qv::test
