#pragma once
// The lock that decides between two drivers of one socket: <socket>.lock, held
// exclusively for as long as the driver serves. Taken before anything else is set up, so
// that a second driver gives up before it makes a device or takes an input.
#include "platform/posix/unique_fd.h"

#include <filesystem>
#include <string>

namespace qv::driverd {

struct InstanceLock {
  platform::UniqueFd fd;  // empty when the lock was not taken
  std::string error;      // then: why not (another driver holds it, the path is unusable, ...)
};
// folderMode: of the socket's folder when it must be made (0750 where the socket's group
// may reach it).
InstanceLock takeInstanceLock(const std::filesystem::path& socketPath, unsigned folderMode = 0700);

}  // namespace qv::driverd
