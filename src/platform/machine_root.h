#pragma once
// The machine root: the directory that plays the part of the machine (store, devices,
// window endpoints, system directory). Named by QUORVANE_HOME.
#include <filesystem>
#include <optional>
#include <string>

namespace qv::platform {

// QUORVANE_HOME, else ${XDG_DATA_HOME:-$HOME/.local/share}/quorvane, always absolute: a
// relative variable is taken against the working directory when it is first read and
// rewritten absolute in the environment. Created with mode 0700 when missing. Throws
// std::runtime_error when it cannot be created.
std::filesystem::path machineRoot();

// True when QUORVANE_HOME is set: a private machine (tests, the demo) whose devices are
// only the links under its own root, never the real machine's ports.
bool privateMachine();

std::filesystem::path registryFile();      // <root>/registry.reg
std::filesystem::path registryLockFile();  // <root>/registry.lock
std::filesystem::path deviceDir();         // <root>/dev
std::filesystem::path driverDevicePath();  // <root>/dev/QV.VXD
std::filesystem::path runDir();            // <root>/run (created 0700)
std::filesystem::path systemDir();         // <root>/system

// Unix socket paths hold at most 107 bytes; returns an error text when path is longer.
std::optional<std::string> socketPathProblem(const std::filesystem::path& path);

// Creates dir (and parents) with the given mode when missing. False when it cannot.
bool ensureDirectory(const std::filesystem::path& dir, unsigned mode = 0700);

}  // namespace qv::platform
