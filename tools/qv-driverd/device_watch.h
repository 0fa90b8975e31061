#pragma once
// Tells when a device that is missing may have come back, without polling: inotify on the
// folders along the way to it. A path may be a link (a port link in the device folder,
// a stable name such as /dev/serial/by-id/...) to another link or to the device itself;
// each is watched in its folder, and a folder that does not exist yet (by-id goes away
// with the last adapter) through its nearest ancestor that does. The links are resolved
// anew at each arm(), so a link that is re-made to point elsewhere is followed.
#include "platform/posix/unique_fd.h"

#include <filesystem>
#include <vector>

namespace qv::driverd {

class DeviceWatch {
public:
  DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  // Watches the ways to these paths, instead of what was watched before. False when
  // nothing could be watched.
  bool arm(const std::vector<std::filesystem::path>& paths);
  void disarm();
  bool armed() const { return !watches_.empty(); }
  // Readable when something changed in a watched folder; -1 while nothing is watched.
  int fd() const { return armed() ? fd_.get() : -1; }
  // Takes what the kernel reported; true when anything changed.
  bool takeChanges();

  // The folders arm() watches for paths: where each link on the way and the device lie.
  static std::vector<std::filesystem::path> foldersToWatch(const std::vector<std::filesystem::path>& paths);

private:
  platform::UniqueFd fd_;
  std::vector<int> watches_;
};

}  // namespace qv::driverd
