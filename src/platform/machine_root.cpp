#include "platform/machine_root.h"

#include <sys/stat.h>
#include <sys/un.h>

#include <cerrno>
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
  const int err = errno;  // why it could not be made, for the caller's message
  if (fs::is_directory(dir, ec)) return true;
  errno = err;
  return false;
}

namespace {

// A relative value of the variable is replaced by the absolute one, taken against the
// working directory of the moment it is first found.
void makeVariableAbsolute(const char* variable) {
  const char* value = std::getenv(variable);
  if (!value || !*value || fs::path(value).is_absolute()) return;
  std::error_code ec;
  const fs::path folder = fs::absolute(value, ec).lexically_normal();
  if (!ec) ::setenv(variable, folder.c_str(), 1);
}

fs::path createdOrThrow(const fs::path& dir, const char* what) {
  if (dir.empty()) throw std::runtime_error("Neither QUORVANE_HOME nor HOME is set");
  if (!ensureDirectory(dir, 0700)) throw std::runtime_error(std::string("Cannot create ") + what + " " + dir.string());
  return dir;
}

}  // namespace

MachinePlaces machinePlacesFrom(const EnvironmentLookup& environment) {
  auto folder = [&](const char* variable) {
    const char* value = environment(variable);
    return value && *value ? fs::path(value) : fs::path();
  };
  auto absoluteFolder = [&](const char* variable) {
    fs::path value = folder(variable);
    return value.is_absolute() ? value : fs::path();
  };

  MachinePlaces places;
  if (fs::path home = folder("QUORVANE_HOME"); !home.empty()) {
    places.privateMachine = true;
    places.machineDir = home;
    places.userDir = home;
    places.runDir = home / "run";
    places.driverDevice = home / "dev" / "QV.VXD";
    return places;
  }
  places.machineDir = kInstalledMachineDir;
  places.driverDevice = kInstalledDriverDevice;
  fs::path data = absoluteFolder("XDG_DATA_HOME");
  if (data.empty()) {
    const fs::path userHome = folder("HOME");
    if (userHome.empty()) return places;  // a program without a user: the machine's part only
    data = userHome / ".local" / "share";
  }
  places.userDir = data / "quorvane";
  const fs::path runtime = absoluteFolder("XDG_RUNTIME_DIR");
  places.runDir = runtime.empty() ? places.userDir / "run" : runtime / "quorvane";
  return places;
}

MachinePlaces machinePlaces() {
  makeVariableAbsolute("QUORVANE_HOME");
  makeVariableAbsolute("HOME");
  return machinePlacesFrom([](const char* variable) { return std::getenv(variable); });
}

fs::path machineRoot() {
  const MachinePlaces places = machinePlaces();
  // The installed machine's folder belongs to the package; a user's program never makes it.
  if (!places.privateMachine) return places.machineDir;
  return createdOrThrow(places.machineDir, "the machine root");
}

bool privateMachine() {
  const char* home = std::getenv("QUORVANE_HOME");
  return home && *home;
}

fs::path registryFile() { return machineRoot() / "registry.reg"; }
fs::path registryLockFile() { return machineRoot() / "registry.lock"; }
fs::path deviceDir() { return machineRoot() / "dev"; }

fs::path driverDevicePath() {
  if (privateMachine()) return deviceDir() / "QV.VXD";
  return machinePlaces().driverDevice;
}

fs::path userDataDir() { return createdOrThrow(machinePlaces().userDir, "the user's folder"); }
fs::path userRegistryFile() { return userDataDir() / "registry.reg"; }
fs::path systemDir() { return userDataDir() / "system"; }
fs::path runDir() { return createdOrThrow(machinePlaces().runDir, "the folder of window endpoints"); }

std::optional<std::string> socketPathProblem(const fs::path& path) {
  constexpr std::size_t limit = sizeof(sockaddr_un{}.sun_path) - 1;
  if (path.native().size() > limit) {
    return "Socket path is longer than " + std::to_string(limit) + " bytes: " + path.string();
  }
  return std::nullopt;
}

}  // namespace qv::platform
