#pragma once
// An in-memory registry store for tests, with the semantics of the store file (names
// compare without regard to letter case and keep their first case, values keep their
// order) and hooks to make writes fail and to see the order of writes.
#include "platform/regedit_format.h"
#include "platform/registry_store.h"

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace qv::test {

class MemoryRegistryStore : public platform::RegistryStore {
public:
  MemoryRegistryStore() = default;
  // Starts from a REGEDIT4 text (the store file's form); throws std::invalid_argument
  // naming the line when it does not parse.
  explicit MemoryRegistryStore(std::string_view regeditText);

  bool keyExists(platform::RegistryRoot root, std::string_view path) override;
  bool createKey(platform::RegistryRoot root, std::string_view path) override;
  bool deleteKey(platform::RegistryRoot root, std::string_view path) override;
  std::optional<platform::RegistryValue> readValue(platform::RegistryRoot root, std::string_view path,
                                                   std::string_view name) override;
  std::vector<std::string> valueNames(platform::RegistryRoot root, std::string_view path) override;
  bool writeValue(platform::RegistryRoot root, std::string_view path, std::string_view name,
                  const platform::RegistryValue& value) override;
  bool writeValues(platform::RegistryRoot root, std::string_view path,
                   const std::vector<platform::RegValueEntry>& values) override;
  bool deleteValue(platform::RegistryRoot root, std::string_view path, std::string_view name) override;
  std::string lastError() const override;
  bool accessDenied() const override;

  std::string location() const override { return where; }
  std::string where;  // what location() says

  // ---- test hooks ----
  // Writes of a value with this name (any key, any case) fail from now on.
  void refuseWritesOf(std::string_view name);
  void clearRefusals();
  // Value writes fail from now on as a store this user may not change refuses them.
  void denyValueWrites(bool deny) { denyValueWrites_ = deny; }
  // Every operation fails with this text as lastError(), as a store whose file does not
  // parse does; an empty text ends that.
  void failEverything(std::string error);
  // Successful value writes in order, each "HKLM\<path>\<name>" or "HKCU\<path>\<name>"
  // with path and name as the writer spelled them.
  std::vector<std::string> writeLog() const;
  // Successful deletions of present values, in the same form.
  std::vector<std::string> deleteLog() const;
  void clearLogs();
  // Loads more REGEDIT4 text as an import (with [-KEY] and "name"=-); throws
  // std::invalid_argument naming the line when it does not parse.
  void import(std::string_view regeditText);
  // The whole store as REGEDIT4 text.
  std::string exportText() const;

private:
  bool failing();  // true (with lastError_ set) while failEverything is in force
  std::string logName(platform::RegistryRoot root, std::string_view path, std::string_view name) const;

  mutable std::mutex mutex_;
  platform::RegistryTree tree_;
  std::vector<std::string> refused_;
  std::vector<std::string> writeLog_;
  std::vector<std::string> deleteLog_;
  std::string forcedError_;
  std::string lastError_;
  bool denyValueWrites_ = false;
  bool deniedLast_ = false;
};

}  // namespace qv::test
