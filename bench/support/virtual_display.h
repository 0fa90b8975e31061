#pragma once
// A virtual X display (Xvfb) of its own for a benchmark, stopped when the object ends.
// Xvfb chooses a free display number itself and reports it (-displayfd), so several
// benchmarks and test runs can each have one at the same time.
#include "support/child_process.h"

#include <memory>
#include <string>

namespace qv::bench {

class VirtualDisplay {
public:
  // Starts Xvfb with one screen of the given size and waits until it takes clients.
  explicit VirtualDisplay(const std::string& screen = "1280x1024x24");
  ~VirtualDisplay() = default;
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // True when the server runs and told its display number.
  bool ready() const { return !name_.empty(); }
  // The display's name for DISPLAY, such as ":3"; empty when not ready.
  const std::string& name() const { return name_; }

  // Points DISPLAY at this display and makes Qt programs started from now on use it.
  void useForQtPrograms() const;

private:
  std::unique_ptr<test::ChildProcess> server_;
  std::string name_;
};

}  // namespace qv::bench
