#pragma once
// Where the machine's parts live. With QUORVANE_HOME set, one folder plays the whole
// machine (tests, the demo): both roots of the store, the devices, the window endpoints and
// the system directory. Without it the machine is the system and each user keeps a part:
// HKEY_LOCAL_MACHINE, its lock and the port links in /var/lib/quorvane, the driver's device
// in /run/quorvane, HKEY_CURRENT_USER and the system directory in the user's data folder,
// the window endpoints in the user's runtime folder.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace qv::platform {

// The folders of the installed machine.
inline constexpr const char* kInstalledMachineDir = "/var/lib/quorvane";
inline constexpr const char* kInstalledDriverDevice = "/run/quorvane/QV.VXD";

struct MachinePlaces {
  bool privateMachine = false;
  std::filesystem::path machineDir;    // HKEY_LOCAL_MACHINE's store, its lock, dev/
  std::filesystem::path userDir;       // HKEY_CURRENT_USER's store, system/
  std::filesystem::path runDir;        // window endpoints, the search tool's result file
  std::filesystem::path driverDevice;  // the driver's socket
};

// A variable of the environment, nullptr when unset.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The places the given environment names. XDG_DATA_HOME and XDG_RUNTIME_DIR count only
// when absolute (a relative one is ignored, as the XDG rules say); QUORVANE_HOME and HOME
// are taken as given. Without QUORVANE_HOME and HOME the user's folders stay empty.
MachinePlaces machinePlacesFrom(const EnvironmentLookup& environment);

// The places of this process. A relative QUORVANE_HOME or HOME is taken against the
// working directory when it is first read and rewritten absolute in the environment, so
// that later look-ups (the advanced detection changes the working directory) and the
// programs started from here (qvdetect) all find the same folders.
MachinePlaces machinePlaces();

// The machine's own folder: QUORVANE_HOME (created with mode 0700 when missing), else the
// installed machine's folder, which the package makes. Throws std::runtime_error when a
// private machine's folder cannot be created or no folder of the user can be found.
std::filesystem::path machineRoot();

// True when QUORVANE_HOME is set: a private machine (tests, the demo) whose devices are
// only the links under its own root, never the real machine's ports.
bool privateMachine();

std::filesystem::path registryFile();      // HKEY_LOCAL_MACHINE's store: <machine>/registry.reg
std::filesystem::path registryLockFile();  // <machine>/registry.lock
std::filesystem::path deviceDir();         // <machine>/dev
std::filesystem::path driverDevicePath();  // <root>/dev/QV.VXD, installed /run/quorvane/QV.VXD
// The user's folder (created 0700); the machine root when private. Throws
// std::runtime_error when it cannot be found or made, as runDir() does.
std::filesystem::path userDataDir();
std::filesystem::path userRegistryFile();  // HKEY_CURRENT_USER's store: <user>/registry.reg
std::filesystem::path runDir();            // window endpoints (created 0700)
std::filesystem::path systemDir();         // <user>/system

// Unix socket paths hold at most 107 bytes; returns an error text when path is longer.
std::optional<std::string> socketPathProblem(const std::filesystem::path& path);

// Creates dir (and parents) with the given mode when missing. False, with errno saying
// why, when it cannot.
bool ensureDirectory(const std::filesystem::path& dir, unsigned mode = 0700);

}  // namespace qv::platform
