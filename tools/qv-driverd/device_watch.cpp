#include "device_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

namespace qv::driverd {

namespace fs = std::filesystem;

namespace {

// Links followed from one path at most, as the kernel's own limit for a lookup.
constexpr int kMaxLinks = 40;

// What shows a device arriving in a folder: a node or link made or moved in, and a node
// whose owner or mode changes (udev gives a new node its group after the kernel made it).
constexpr std::uint32_t kArrivals = IN_CREATE | IN_MOVED_TO | IN_ATTRIB;

fs::path nearestExisting(fs::path folder) {
  std::error_code ec;
  while (!fs::is_directory(folder, ec) && folder.has_parent_path() && folder.parent_path() != folder) {
    folder = folder.parent_path();
  }
  return folder;
}

}  // namespace

DeviceWatch::DeviceWatch() : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}

std::vector<fs::path> DeviceWatch::foldersToWatch(const std::vector<fs::path>& paths) {
  std::vector<fs::path> folders;
  auto add = [&](const fs::path& folder) {
    if (std::find(folders.begin(), folders.end(), folder) == folders.end()) folders.push_back(folder);
  };
  for (fs::path at : paths) {
    for (int hop = 0; hop < kMaxLinks && !at.empty(); ++hop) {
      at = at.lexically_normal();
      add(nearestExisting(at.parent_path()));
      std::error_code ec;
      if (!fs::is_symlink(fs::symlink_status(at, ec))) break;
      const fs::path target = fs::read_symlink(at, ec);
      if (ec) break;
      at = target.is_absolute() ? target : at.parent_path() / target;
    }
  }
  return folders;
}

bool DeviceWatch::arm(const std::vector<fs::path>& paths) {
  disarm();
  if (!fd_) return false;
  for (const fs::path& folder : foldersToWatch(paths)) {
    const int wd = ::inotify_add_watch(fd_.get(), folder.c_str(), kArrivals | IN_ONLYDIR);
    if (wd >= 0) watches_.push_back(wd);
  }
  return armed();
}

void DeviceWatch::disarm() {
  for (const int wd : watches_) ::inotify_rm_watch(fd_.get(), wd);
  watches_.clear();
  takeChanges();  // what came before is of no interest any more
}

bool DeviceWatch::takeChanges() {
  if (!fd_) return false;
  bool changed = false;
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    changed = true;
  }
  return changed;
}

}  // namespace qv::driverd
