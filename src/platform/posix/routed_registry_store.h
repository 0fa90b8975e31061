#pragma once
// The registry store as programs see it: one interface over the store files that hold
// its two roots. HKEY_LOCAL_MACHINE lives in the machine's store, HKEY_CURRENT_USER in the
// user's; a private machine keeps both in one file. Each key goes to the file of its root,
// here and nowhere else.
#include "platform/posix/registry_file_store.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>

namespace qv::platform {

class RoutedRegistryStore : public RegistryStore {
public:
  // Both roots in the store of one folder.
  explicit RoutedRegistryStore(const std::filesystem::path& folder);
  // HKEY_LOCAL_MACHINE in machineFolder's store, HKEY_CURRENT_USER in userFolder's.
  RoutedRegistryStore(const std::filesystem::path& machineFolder, const std::filesystem::path& userFolder);

  bool keyExists(RegistryRoot root, std::string_view path) override;
  bool createKey(RegistryRoot root, std::string_view path) override;
  bool deleteKey(RegistryRoot root, std::string_view path) override;
  std::optional<RegistryValue> readValue(RegistryRoot root, std::string_view path,
                                         std::string_view name) override;
  std::vector<std::string> valueNames(RegistryRoot root, std::string_view path) override;
  bool writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                  const RegistryValue& value) override;
  bool writeValues(RegistryRoot root, std::string_view path, const std::vector<RegValueEntry>& values) override;
  bool deleteValue(RegistryRoot root, std::string_view path, std::string_view name) override;
  // Of the file the last operation used.
  std::string lastError() const override;
  bool accessDenied() const override;
  // The one file, or both: "<machine file> (HKEY_LOCAL_MACHINE), <user file> (HKEY_CURRENT_USER)".
  std::string location() const override;

  // As RegistryFileStore's, each in the file of its root.
  bool createKeyWithValues(RegistryRoot root, std::string_view path, const std::vector<RegValueEntry>& values);
  std::optional<std::string> exportText(RegistryRoot root, std::string_view path);
  // Both roots together: each root's keys from its own file.
  std::optional<RegistryTree> snapshot();
  std::optional<std::string> exportText();
  // Applies a REGEDIT4 import text; nothing when it does not parse. Each file's part is
  // one write, the machine's first: when that one fails, the user's is not written.
  bool importText(std::string_view text, std::string_view sourceName);

  // True when one file holds both roots.
  bool oneFile() const { return !user_; }
  RegistryFileStore& fileOf(RegistryRoot root);
  // The user's store file read whole: a per-user installation of an earlier version kept
  // HKEY_LOCAL_MACHINE there too.
  RegistryFileStore& userFile() { return fileOf(RegistryRoot::CurrentUser); }
  void setLockWaitLimit(std::chrono::milliseconds limit);

private:
  // The file of root, remembered as the one whose error lastError() tells.
  RegistryFileStore& use(RegistryRoot root);
  RegistryFileStore& use(RegistryFileStore& file);

  std::unique_ptr<RegistryFileStore> machine_;
  std::unique_ptr<RegistryFileStore> user_;  // null when machine_ holds both roots
  std::atomic<RegistryFileStore*> last_;
};

}  // namespace qv::platform
