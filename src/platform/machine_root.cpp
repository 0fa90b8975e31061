#include "platform/machine_root.h"

#include <sys/stat.h>
#include <sys/un.h>

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace qv::platform {

namespace fs = std::filesystem;

bool ensureDirectory(const fs::path& dir, unsigned mode) {
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return true;
  if (dir.has_parent_path() && dir.parent_path() != dir) ensureDirectory(dir.parent_path(), mode);
  if (::mkdir(dir.c_str(), mode) == 0) return true;
  return fs::is_directory(dir, ec);
}

namespace {

// The folder a variable names, made absolute against the working directory of the moment
// it is first found; a relative value is then replaced by the absolute one, so that later
// look-ups (the advanced detection changes the working directory) and the programs
// started from here (qvdetect) all find the same folder. Empty when the variable is unset.
fs::path absoluteFolderOf(const char* variable) {
  const char* value = std::getenv(variable);
  if (!value || !*value) return {};
  fs::path folder = value;
  if (folder.is_absolute()) return folder;
  std::error_code ec;
  folder = fs::absolute(folder, ec).lexically_normal();
  if (ec) return value;
  ::setenv(variable, folder.c_str(), 1);
  return folder;
}

}  // namespace

fs::path machineRoot() {
  fs::path root;
  if (fs::path home = absoluteFolderOf("QUORVANE_HOME"); !home.empty()) {
    root = home;
  } else if (fs::path xdg = absoluteFolderOf("XDG_DATA_HOME"); !xdg.empty()) {
    root = xdg / "quorvane";
  } else if (fs::path userHome = absoluteFolderOf("HOME"); !userHome.empty()) {
    root = userHome / ".local" / "share" / "quorvane";
  } else {
    throw std::runtime_error("Neither QUORVANE_HOME nor HOME is set");
  }
  if (!ensureDirectory(root, 0700)) {
    throw std::runtime_error("Cannot create the machine root " + root.string());
  }
  return root;
}

bool privateMachine() { return std::getenv("QUORVANE_HOME") != nullptr; }

fs::path registryFile() { return machineRoot() / "registry.reg"; }
fs::path registryLockFile() { return machineRoot() / "registry.lock"; }
fs::path deviceDir() { return machineRoot() / "dev"; }
fs::path driverDevicePath() { return deviceDir() / "QV.VXD"; }
fs::path systemDir() { return machineRoot() / "system"; }

fs::path runDir() {
  fs::path dir = machineRoot() / "run";
  ensureDirectory(dir, 0700);
  return dir;
}

std::optional<std::string> socketPathProblem(const fs::path& path) {
  constexpr std::size_t limit = sizeof(sockaddr_un{}.sun_path) - 1;
  if (path.native().size() > limit) {
    return "Socket path is longer than " + std::to_string(limit) + " bytes: " + path.string();
  }
  return std::nullopt;
}

}  // namespace qv::platform
