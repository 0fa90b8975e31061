#pragma once
// The registry store kept in the machine root's registry.reg (REGEDIT4 text).
//
// Writers take an exclusive flock on registry.lock, re-read the file, apply their
// change, write registry.reg.tmp, flush it and rename it over registry.reg, so readers
// never see a half-written file and concurrent writers lose nothing. Readers keep the
// parsed file and parse again only when the file on disk changed.
//
// Hostile files are refused, never waited on: registry.reg must be a regular file of at
// most kMaxFileBytes, a writer gives up after a limited wait for the lock, and
// registry.reg.tmp is created afresh, never through a link.
#include "platform/regedit_format.h"
#include "platform/registry_store.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace qv::platform {

class RegistryFileStore : public RegistryStore {
public:
  // The largest store file read or written.
  static constexpr off_t kMaxFileBytes = off_t{64} << 20;
  // How long a writer waits for another program's lock before it fails.
  static constexpr std::chrono::milliseconds kLockWaitLimit{10'000};

  // The store kept in the given folder (registry.reg, its lock beside it).
  explicit RegistryFileStore(std::filesystem::path root);

  bool keyExists(RegistryRoot root, std::string_view path) override;
  bool createKey(RegistryRoot root, std::string_view path) override;
  bool deleteKey(RegistryRoot root, std::string_view path) override;
  std::optional<RegistryValue> readValue(RegistryRoot root, std::string_view path,
                                         std::string_view name) override;
  std::vector<std::string> valueNames(RegistryRoot root, std::string_view path) override;
  bool writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                  const RegistryValue& value) override;
  // One lock, one file replacement; false, with nothing written, when the key does not
  // exist or the store failed.
  bool writeValues(RegistryRoot root, std::string_view path, const std::vector<RegValueEntry>& values) override;
  bool deleteValue(RegistryRoot root, std::string_view path, std::string_view name) override;
  std::string lastError() const override;
  bool accessDenied() const override;
  // The store file, in its folder.
  std::string location() const override { return file_.string(); }

  // Creates the key with its missing parents and replaces or appends the values, as one
  // write; false, with nothing written, when the store failed.
  bool createKeyWithValues(RegistryRoot root, std::string_view path, const std::vector<RegValueEntry>& values);

  // Applies a REGEDIT4 import text ([KEY], [-KEY], "name"=value, "name"=-) as one write.
  // false when it does not parse (lastError() "<sourceName>:<line>: <reason>", nothing
  // applied) or the store failed.
  bool importText(std::string_view text, std::string_view sourceName);
  // Applies parsed import sections as one write; false when the store failed.
  bool importSections(const std::vector<RegeditSection>& sections);
  // The current contents; nullopt when the store failed.
  std::optional<RegistryTree> snapshot();
  // REGEDIT4 text of the whole store, or of one key with everything below it. nullopt
  // when the store failed, or the key does not exist (lastError() then stays empty).
  std::optional<std::string> exportText();
  std::optional<std::string> exportText(RegistryRoot root, std::string_view path);

  const std::filesystem::path& file() const { return file_; }
  // Changes how long writers wait for the lock (kLockWaitLimit unless changed).
  void setLockWaitLimit(std::chrono::milliseconds limit);

private:
  // What identifies one version of the file on disk.
  struct Stamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec mtime{};
    bool operator==(const Stamp& o) const;
  };
  // The stamp of the file version st describes.
  static Stamp stampOf(const struct stat& st);

  // Brings the cache up to date with the file; false (lastError_ set) when it cannot be
  // read or does not parse. Called with mutex_ held.
  bool refresh();
  // Runs change on the current tree under the file lock and replaces the file when it
  // reports a change. change returns false to refuse (having set lastError_).
  bool modify(const std::function<bool(RegistryTree&, bool& changed)>& change);
  bool replaceFile(const RegistryTree& tree);
  bool importSectionsLocked(const std::vector<RegeditSection>& sections);
  // Runs set on the values of the key named full (a root key is made when missing) under
  // modify(); set reports whether it changed anything. A missing key that is not a root
  // key refuses the change (lastError_ set). Called with mutex_ held.
  bool modifyValues(const std::string& full, const std::function<bool(RegKeyEntry&)>& set);
  void setError(std::string text) { setError(std::move(text), 0); }
  // As setError, for a failure with the system error err: EACCES and EPERM mean this
  // user may not change the store.
  void setError(std::string text, int err);
  void clearError();
  // Sets lastError_ when the key name cannot be stored; true when it can.
  bool checkKeyName(const std::string& full);
  // Sets lastError_ when a value name cannot be stored; true when all can.
  bool checkValueNames(const std::vector<RegValueEntry>& values);

  std::filesystem::path root_;
  std::filesystem::path file_;
  std::filesystem::path lockFile_;
  std::filesystem::path tmpFile_;

  std::chrono::milliseconds lockWaitLimit_ = kLockWaitLimit;

  mutable std::mutex mutex_;
  bool cacheValid_ = false;
  bool cacheRacy_ = false;  // the file may have changed without changing its stamp
  Stamp cacheStamp_;
  RegistryTree cache_;
  std::string cacheText_;  // the bytes cache_ was parsed from or written as
  std::string cacheError_;  // parse error of the cached version, if it did not parse
  std::string lastError_;
  bool accessDenied_ = false;
};

}  // namespace qv::platform
