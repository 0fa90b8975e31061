#include "instance_lock.h"

#include "platform/machine_root.h"
#include "platform/posix/unix_socket.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstring>

namespace qv::driverd {

InstanceLock takeInstanceLock(const std::filesystem::path& socketPath, unsigned folderMode) {
  InstanceLock lock;
  if (auto problem = platform::socketPathProblem(socketPath)) {
    lock.error = *problem;
    return lock;
  }
  if (socketPath.has_parent_path() && !platform::ensureDirectory(socketPath.parent_path(), folderMode)) {
    lock.error = "cannot create the folder " + socketPath.parent_path().string();
    return lock;
  }
  const std::string lockPath = socketPath.string() + ".lock";
  platform::UniqueFd fd(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
  if (!fd) {
    lock.error = "cannot open " + lockPath + ": " + std::strerror(errno);
  } else if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    lock.error = "another qv-driverd already serves " + socketPath.string();
  } else {
    lock.fd = std::move(fd);
  }
  return lock;
}

}  // namespace qv::driverd
