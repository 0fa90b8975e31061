// qvdetect: searches the machine's serial ports COM1..COM4 for the touch-screen controller
// with the detection's probe, and writes what it found to qvmouse.cfg in the machine's run
// folder (the port number at offset 9, its standard IRQ at offset 11). Writes nothing when
// no controller answers. The panel's advanced detection starts it without arguments, and
// ends it with SIGTERM when the user goes back: the probe under way stops and its port is
// given back before the program ends.
#include "detect/detect_flow.h"
#include "detect/machine_ports.h"
#include "detect/port_prober.h"
#include "detect/qvmouse_config.h"
#include "cli/command_line.h"
#include "platform/machine_root.h"
#include "platform/user_identity.h"
#include "stop_signals.h"

#include <unistd.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace qv;

constexpr const char* kUsage =
    "Usage: qvdetect [--help | --version]\n"
    "Searches the serial ports COM1 to COM4 of the machine (QUORVANE_HOME, or the\n"
    "default machine root) for the touch-screen controller, probing each at 19200,\n"
    "9600 and 1200 baud. When a controller answers, writes run/qvmouse.cfg in the\n"
    "machine root (port number at offset 9, IRQ at offset 11) and exits with 0;\n"
    "writes nothing and exits with 1 when none answers, with 2 when the file\n"
    "cannot be put in place, and with 3 when SIGTERM or SIGINT stopped the search\n"
    "(the port being probed is released first). Why it wrote nothing goes to\n"
    "standard error, as its last line: the panel shows that line.\n";

constexpr int kStoppedStatus = 3;

int search() {
  const fs::path root = platform::machineRoot();
  std::cout << "qvdetect: searching the serial ports of " << root.string() << std::endl;
  detect::ProbeState state;
  detect::PortProber prober(state, detect::realTimeTicks(), detect::machinePortOpener());
  const tools::StopSignalWatch stopSignals([&prober] { prober.stop(); });
  std::vector<detect::DeniedPort> denied;
  for (const auto& port : detect::kStandardPorts) {
    if (prober.stopped()) break;
    if (!detect::machinePortPresent(port.name)) {
      if (std::string group = detect::machinePortGroupNeeded(port.name); !group.empty()) {
        std::cout << port.name << ": permission denied (only members of the group " << group
                  << " may open it), skipped" << std::endl;
        denied.push_back({port.name, std::move(group)});
      } else {
        std::cout << port.name << ": absent or in use, skipped" << std::endl;
      }
      continue;
    }
    std::cout << port.name << ": probing at 19200, 9600 and 1200 baud ..." << std::endl;
    prober.setPortName(port.name);
    prober.showModal();
    const detect::DetectResult& r = prober.result();
    if (prober.stopped() && !r.DetFound) break;
    if (!r.DetFound) {
      std::cout << port.name << ": no answer" << std::endl;
      continue;
    }
    std::cout << port.name << ": found " << r.DetChipType << " at " << r.DetBaudRate << " baud, firmware "
              << r.DetFirmware << std::endl;
    const fs::path file = detect::qvMouseConfigPath();
    const auto bytes = detect::buildQvMouseConfig({port.number, port.irq, r.DetBaudRate, r.DetChipType, r.DetFirmware});
    if (const auto problem = detect::writeQvMouseConfig(file, bytes)) {
      std::cerr << "qvdetect: " << *problem << std::endl;
      return 2;
    }
    std::cout << "wrote " << file.string() << ": port " << port.number << ", IRQ " << port.irq << std::endl;
    return 0;
  }
  if (prober.stopped()) {
    std::cerr << "qvdetect: stopped by a signal before the search ended; nothing written" << std::endl;
    return kStoppedStatus;
  }
  if (!denied.empty()) {
    // The panel shows the last line only: it must say what stands in the way.
    std::string text;
    for (char ch : detect::deniedPortsText(denied, platform::currentUserName())) {
      if (ch != '\n') {
        text += ch;
      } else if (!text.empty() && text.back() != ' ') {
        text += ' ';
      }
    }
    std::cerr << "qvdetect: no controller answered; nothing written. " << text << std::endl;
    return 1;
  }
  std::cerr << "qvdetect: no controller answered on COM1 to COM4; nothing written" << std::endl;
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any thread starts, so that only the watch takes the stop signals.
  tools::blockStopSignals();
  if (const auto status = cli::takeNoArguments({"qvdetect", kUsage}, argc, argv)) return *status;
  try {
    return search();
  } catch (const std::exception& e) {
    std::cerr << "qvdetect: " << e.what() << std::endl;
    return 2;
  }
}
