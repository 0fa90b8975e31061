#include "platform/posix/registry_file_store.h"

#include "platform/machine_root.h"
#include "platform/posix/unique_fd.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace qv::platform {

namespace fs = std::filesystem;

namespace {

std::string errnoText(int err) { return std::strerror(err); }

// An exclusive flock on the lock file for as long as the object lives, waited for at
// most `limit`: a stopped or stuck program that holds it must not stall every writer.
class FileLock {
public:
  FileLock(const fs::path& path, std::chrono::milliseconds limit) : fd_(openLockFile(path)) {
    if (!fd_) {
      error_ = errno;
      return;
    }
    // flock cannot wait with a time limit; ask again with pauses growing to 10 ms.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::microseconds(200);
    while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) {
        error_ = errno;
        fd_.reset();
        return;
      }
      const auto now = std::chrono::steady_clock::now();
      if (now >= deadline) {
        timedOut_ = true;
        fd_.reset();
        return;
      }
      std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(pause, deadline - now));
      pause = std::min(pause * 2, std::chrono::microseconds(10'000));
    }
  }
  bool locked() const { return static_cast<bool>(fd_); }

  // flock needs no write access: a store shared by a group keeps its lock file readable
  // by the group, whoever made it, and every member locks through a reading descriptor.
  static int openLockFile(const fs::path& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0660);
    if (fd >= 0 || errno != EACCES) return fd;
    const int reading = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (reading < 0) errno = EACCES;  // what stands in the way is the permission, not the file
    return reading;
  }
  bool timedOut() const { return timedOut_; }
  int error() const { return error_; }

private:
  UniqueFd fd_;  // closing it releases the lock
  int error_ = 0;
  bool timedOut_ = false;
};

std::string secondsText(std::chrono::milliseconds d) {
  if (d.count() % 1000 == 0) return std::to_string(d.count() / 1000) + " s";
  return std::to_string(d.count()) + " ms";
}

// A key name as an error shows it: very long names (they come from outside) shortened.
std::string shownKeyName(std::string_view full) {
  constexpr std::size_t kShown = 120;
  if (full.size() <= kShown) return std::string(full);
  return std::string(full.substr(0, kShown)) + "... (" + std::to_string(full.size()) + " bytes)";
}

bool before(const timespec& a, const timespec& b) {
  return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

bool onlyWhiteSpace(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

bool writeAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

RegistryFileStore::Stamp RegistryFileStore::stampOf(const struct stat& st) {
  Stamp stamp;
  stamp.exists = true;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.mtime = st.st_mtim;
  return stamp;
}

bool RegistryFileStore::Stamp::operator==(const Stamp& o) const {
  if (exists != o.exists) return false;
  if (!exists) return true;
  return device == o.device && inode == o.inode && size == o.size && mtime.tv_sec == o.mtime.tv_sec &&
         mtime.tv_nsec == o.mtime.tv_nsec;
}

namespace {

// A version of the file is trusted by its stamp only once its modification time lies
// this far before the read: a file rewritten in place within one tick of the file
// system's clock keeps its stamp, and some file systems keep times in whole seconds.
constexpr time_t kFileClockSlackSeconds = 2;

// True while a file stamped at mtime may still change without changing its stamp.
bool mayChangeUnseen(const timespec& mtime, const timespec& readStart) {
  timespec settled = mtime;
  settled.tv_sec += kFileClockSlackSeconds;
  return !before(settled, readStart);
}

timespec fileClockNow() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  return now;
}

}  // namespace

RegistryFileStore::RegistryFileStore(fs::path root)
    : root_(std::move(root)), file_(root_ / "registry.reg"), lockFile_(root_ / "registry.lock") {
  tmpFile_ = file_;
  tmpFile_ += ".tmp";
}

bool RegistryFileStore::refresh() {
  struct stat st {};
  auto becomeEmpty = [this] {
    cache_ = RegistryTree{};
    cacheText_.clear();
    cacheStamp_ = Stamp{};
    cacheError_.clear();
    cacheValid_ = true;
    cacheRacy_ = false;
    return true;
  };
  auto fail = [this](const std::string& what, int err) {
    cacheValid_ = false;
    setError(file_.string() + ": " + what + ": " + errnoText(err), err);
    return false;
  };

  auto refuse = [this](const std::string& why) {
    cacheValid_ = false;
    setError(file_.string() + ": cannot read: " + why);
    return false;
  };
  const std::string notRegular = "not a regular file (the store must be one)";
  const std::string tooLarge = "larger than " + std::to_string(kMaxFileBytes >> 20) + " MB";

  if (::stat(file_.c_str(), &st) != 0) {
    if (errno == ENOENT) return becomeEmpty();
    return fail("cannot read", errno);
  }
  // A FIFO would block the open or the read, a device could read without end.
  if (!S_ISREG(st.st_mode)) return refuse(notRegular);
  if (cacheValid_ && !cacheRacy_ && stampOf(st) == cacheStamp_) {
    if (cacheError_.empty()) return true;
    setError(cacheError_);
    return false;
  }

  // Read through one descriptor and take the stamp from it, so the stamp belongs to
  // exactly the bytes that were parsed even if the file is replaced meanwhile.
  const timespec readStart = fileClockNow();
  // The file may have been replaced by something else since the stat: open without
  // waiting and check again what was opened.
  UniqueFd fd(::open(file_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!fd) {
    if (errno == ENOENT) return becomeEmpty();
    return fail("cannot read", errno);
  }
  if (::fstat(fd.get(), &st) != 0) return fail("cannot read", errno);
  if (!S_ISREG(st.st_mode)) return refuse(notRegular);
  if (st.st_size > kMaxFileBytes) return refuse(tooLarge);
  // Read one byte past the limit at most, so a file that grows meanwhile is caught too.
  const std::size_t cap = static_cast<std::size_t>(kMaxFileBytes) + 1;
  std::string text;
  text.resize(std::min(static_cast<std::size_t>(st.st_size) + 1, cap));
  std::size_t used = 0;
  while (true) {
    if (used == text.size()) {
      if (used == cap) return refuse(tooLarge);
      text.resize(std::min(text.size() * 2, cap));
    }
    ssize_t n = ::read(fd.get(), text.data() + used, text.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      return fail("cannot read", errno);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
  }
  if (used > static_cast<std::size_t>(kMaxFileBytes)) return refuse(tooLarge);
  text.resize(used);

  // The same bytes as the cached version (as after this store's own write, or a rewrite
  // with the same content): the parsed tree still holds, and parsing again is saved.
  const bool sameBytes = cacheValid_ && cacheError_.empty() && text == cacheText_;
  cacheStamp_ = stampOf(st);
  cacheValid_ = true;
  cacheRacy_ = mayChangeUnseen(st.st_mtim, readStart);
  if (sameBytes) return true;
  cacheText_ = std::move(text);
  // An empty file holds nothing; it is a store without keys, not a broken one.
  if (onlyWhiteSpace(cacheText_)) {
    cache_ = RegistryTree{};
    cacheError_.clear();
    return true;
  }
  auto parsed = parseStoreFile(cacheText_);
  if (auto* error = std::get_if<RegeditError>(&parsed)) {
    cache_ = RegistryTree{};
    cacheError_ = file_.string() + ":" + std::to_string(error->line) + ": " + error->reason;
    setError(cacheError_);
    return false;
  }
  cache_ = std::move(std::get<RegistryTree>(parsed));
  cacheError_.clear();
  return true;
}

bool RegistryFileStore::modify(const std::function<bool(RegistryTree&, bool&)>& change) {
  if (!ensureDirectory(root_, 0700)) {
    setError(root_.string() + ": cannot create the folder: " + errnoText(errno), errno);
    return false;
  }
  FileLock lock(lockFile_, lockWaitLimit_);
  if (lock.timedOut()) {
    setError(file_.string() + ": " + std::string(kStoreLockedText) + " (waited " + secondsText(lockWaitLimit_) +
             " for " + lockFile_.filename().string() + ")");
    return false;
  }
  if (!lock.locked()) {
    setError(lockFile_.string() + ": cannot lock: " + errnoText(lock.error()), lock.error());
    return false;
  }
  if (!refresh()) return false;  // a file that does not parse is never overwritten
  bool changed = false;
  if (!change(cache_, changed)) {
    cacheValid_ = false;  // the change may have begun on the cached tree
    return false;
  }
  if (!changed) return true;
  if (!replaceFile(cache_)) {
    cacheValid_ = false;
    return false;
  }
  return true;
}

bool RegistryFileStore::replaceFile(const RegistryTree& tree) {
  std::string text = writeRegedit(tree);
  // Readers refuse a larger file; so nothing larger is written.
  if (text.size() > static_cast<std::size_t>(kMaxFileBytes)) {
    setError(file_.string() + ": cannot write: the store would grow beyond " + std::to_string(kMaxFileBytes >> 20) +
             " MB");
    return false;
  }
  auto fail = [this](const std::string& what, int err) {
    ::unlink(tmpFile_.c_str());
    setError(file_.string() + ": " + what + ": " + errnoText(err), err);
    return false;
  };

  // Keep the permissions and the group of the file being replaced: a store shared by a
  // group stays the group's, whichever member writes it.
  mode_t mode = 0600;
  struct stat old {};
  const bool replacing = cacheStamp_.exists && ::stat(file_.c_str(), &old) == 0;
  if (replacing) mode = old.st_mode & 07777;

  // The temporary file is made afresh: whatever lies at its name (a link planted there, a
  // FIFO) is never opened, so the write can only ever land in a new file of its own. A
  // regular file there is what a killed writer left; it goes first. Anything else stays
  // where it is, and the write fails.
  struct stat stale {};
  if (::lstat(tmpFile_.c_str(), &stale) == 0) {
    if (!S_ISREG(stale.st_mode)) {
      setError(tmpFile_.string() + ": cannot write: something other than a regular file is in the way");
      return false;
    }
    if (::unlink(tmpFile_.c_str()) != 0 && errno != ENOENT) {
      setError(tmpFile_.string() + ": cannot remove the file a killed writer left: " + errnoText(errno), errno);
      return false;
    }
  }
  UniqueFd fd(::open(tmpFile_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!fd) {
    // Not ours to remove: someone else put it there since the check.
    setError(file_.string() + ": cannot write " + tmpFile_.filename().string() + ": " + errnoText(errno), errno);
    return false;
  }
  if (replacing) {
    // Only a member of the group may give it; otherwise the file keeps the writer's group.
    [[maybe_unused]] const int kept = ::fchown(fd.get(), static_cast<uid_t>(-1), old.st_gid);
  }
  if (::fchmod(fd.get(), mode) != 0) return fail("cannot write", errno);
  if (!writeAll(fd.get(), text)) return fail("cannot write", errno);

  // Readers recognise a new version by inode, size and modification time. Two writes in
  // one tick of the file-system clock can reuse a freed inode with the same size, so
  // each version gets a modification time later than the one it replaces.
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return fail("cannot write", errno);
  if (cacheStamp_.exists && !before(cacheStamp_.mtime, st.st_mtim)) {
    timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1] = cacheStamp_.mtime;
    if (++times[1].tv_nsec >= 1'000'000'000) {
      times[1].tv_nsec = 0;
      ++times[1].tv_sec;
    }
    if (::futimens(fd.get(), times) != 0 || ::fstat(fd.get(), &st) != 0) return fail("cannot write", errno);
  }
  if (::fsync(fd.get()) != 0) return fail("cannot flush to disk", errno);
  if (!fd.close()) return fail("cannot write", errno);
  if (::rename(tmpFile_.c_str(), file_.c_str()) != 0) return fail("cannot replace", errno);

  // The rename itself must reach the disk for the write to survive a crash. Once the
  // rename is done the new file is in place and every reader sees it, so a folder that
  // cannot be flushed does not undo the write: it is reported, and the write stands.
  UniqueFd dir(::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir && ::fsync(dir.get()) != 0 && errno != EINVAL) {
    const int err = errno;
    setError(root_.string() + ": cannot flush to disk: " + errnoText(err) +
             " (the write is in place but may not survive a crash)");
  }

  cacheStamp_ = stampOf(st);
  cacheText_ = std::move(text);
  cacheError_.clear();
  cacheValid_ = true;
  cacheRacy_ = mayChangeUnseen(st.st_mtim, fileClockNow());
  return true;
}

bool RegistryFileStore::keyExists(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  clearError();
  if (!refresh()) return false;
  std::string full = fullKeyName(root, path);
  return isRootKeyName(full) || findKey(cache_, full) != nullptr;
}

bool RegistryFileStore::checkKeyName(const std::string& full) {
  if (auto problem = unstorableKeyName(full)) {
    setError("key " + shownKeyName(full) + ": " + *problem);
    return false;
  }
  return true;
}

bool RegistryFileStore::checkValueNames(const std::vector<RegValueEntry>& values) {
  for (const RegValueEntry& v : values) {
    if (auto problem = unstorableName(v.name)) {
      setError(*problem);
      return false;
    }
  }
  return true;
}

void RegistryFileStore::setLockWaitLimit(std::chrono::milliseconds limit) {
  std::lock_guard lock(mutex_);
  lockWaitLimit_ = limit;
}

bool RegistryFileStore::createKey(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  clearError();
  std::string full = fullKeyName(root, path);
  if (!checkKeyName(full)) return false;
  return modify([&](RegistryTree& tree, bool& changed) {
    changed = platform::createKey(tree, full);
    return true;
  });
}

bool RegistryFileStore::deleteKey(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  clearError();
  std::string full = fullKeyName(root, path);
  if (isRootKeyName(full)) {
    setError("a root key cannot be deleted");
    return false;
  }
  return modify([&](RegistryTree& tree, bool& changed) {
    changed = deleteKeyTree(tree, full);
    return true;
  });
}

std::optional<RegistryValue> RegistryFileStore::readValue(RegistryRoot root, std::string_view path,
                                                          std::string_view name) {
  std::lock_guard lock(mutex_);
  clearError();
  if (!refresh()) return std::nullopt;
  const RegKeyEntry* key = findKey(cache_, fullKeyName(root, path));
  const RegValueEntry* value = key ? findValue(*key, name) : nullptr;
  if (!value) return std::nullopt;
  return value->value;
}

std::vector<std::string> RegistryFileStore::valueNames(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  clearError();
  std::vector<std::string> names;
  if (!refresh()) return names;
  if (const RegKeyEntry* key = findKey(cache_, fullKeyName(root, path))) {
    for (const RegValueEntry& v : key->values) names.push_back(v.name);
  }
  return names;
}

bool RegistryFileStore::writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                                   const RegistryValue& value) {
  std::lock_guard lock(mutex_);
  clearError();
  if (auto problem = unstorableName(name)) {
    setError(*problem);
    return false;
  }
  return modifyValues(fullKeyName(root, path), [&](RegKeyEntry& key) { return setValue(key, name, value); });
}

bool RegistryFileStore::writeValues(RegistryRoot root, std::string_view path,
                                    const std::vector<RegValueEntry>& values) {
  std::lock_guard lock(mutex_);
  clearError();
  if (!checkValueNames(values)) return false;
  return modifyValues(fullKeyName(root, path), [&](RegKeyEntry& key) {
    bool changed = false;
    for (const RegValueEntry& v : values) changed = setValue(key, v.name, v.value) || changed;
    return changed;
  });
}

bool RegistryFileStore::createKeyWithValues(RegistryRoot root, std::string_view path,
                                            const std::vector<RegValueEntry>& values) {
  std::lock_guard lock(mutex_);
  clearError();
  std::string full = fullKeyName(root, path);
  if (!checkKeyName(full) || !checkValueNames(values)) return false;
  return modify([&](RegistryTree& tree, bool& changed) {
    changed = platform::createKey(tree, full);
    const std::size_t keysBefore = tree.keys.size();
    RegKeyEntry* key = writableKey(tree, full);  // exists now; a root gets its entry here
    changed = changed || tree.keys.size() != keysBefore;
    for (const RegValueEntry& v : values) changed = setValue(*key, v.name, v.value) || changed;
    return true;
  });
}

bool RegistryFileStore::modifyValues(const std::string& full, const std::function<bool(RegKeyEntry&)>& set) {
  return modify([&](RegistryTree& tree, bool& changed) {
    RegKeyEntry* key = findKey(tree, full);
    if (!key && isRootKeyName(full)) {
      key = writableKey(tree, full);
      changed = true;
    }
    if (!key) {
      setError("key " + shownKeyName(full) + " does not exist");
      return false;
    }
    changed = set(*key) || changed;
    return true;
  });
}

bool RegistryFileStore::deleteValue(RegistryRoot root, std::string_view path, std::string_view name) {
  std::lock_guard lock(mutex_);
  clearError();
  std::string full = fullKeyName(root, path);
  return modify([&](RegistryTree& tree, bool& changed) {
    if (RegKeyEntry* key = findKey(tree, full)) changed = removeValue(*key, name);
    return true;
  });
}

std::string RegistryFileStore::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

bool RegistryFileStore::accessDenied() const {
  std::lock_guard lock(mutex_);
  return accessDenied_;
}

void RegistryFileStore::setError(std::string text, int err) {
  lastError_ = std::move(text);
  accessDenied_ = err == EACCES || err == EPERM;
}

void RegistryFileStore::clearError() {
  lastError_.clear();
  accessDenied_ = false;
}

bool RegistryFileStore::importText(std::string_view text, std::string_view sourceName) {
  std::lock_guard lock(mutex_);
  clearError();
  auto parsed = parseRegedit(text, RegeditDialect::Import);
  if (auto* error = std::get_if<RegeditError>(&parsed)) {
    setError(std::string(sourceName) + ":" + std::to_string(error->line) + ": " + error->reason);
    return false;
  }
  return importSectionsLocked(std::get<std::vector<RegeditSection>>(parsed));
}

bool RegistryFileStore::importSections(const std::vector<RegeditSection>& sections) {
  std::lock_guard lock(mutex_);
  clearError();
  return importSectionsLocked(sections);
}

bool RegistryFileStore::importSectionsLocked(const std::vector<RegeditSection>& sections) {
  return modify([&](RegistryTree& tree, bool& changed) {
    applyImport(tree, sections);
    changed = true;
    return true;
  });
}

std::optional<RegistryTree> RegistryFileStore::snapshot() {
  std::lock_guard lock(mutex_);
  clearError();
  if (!refresh()) return std::nullopt;
  return cache_;
}

std::optional<std::string> RegistryFileStore::exportText() {
  std::lock_guard lock(mutex_);
  clearError();
  if (!refresh()) return std::nullopt;
  return writeRegedit(cache_);
}

std::optional<std::string> RegistryFileStore::exportText(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  clearError();
  if (!refresh()) return std::nullopt;
  std::string full = fullKeyName(root, path);
  if (!isRootKeyName(full) && !findKey(cache_, full)) return std::nullopt;
  return writeRegedit(cache_, full);
}

}  // namespace qv::platform
