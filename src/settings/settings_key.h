#pragma once
// The settings layer: one open key at a time, typed reads and writes whose failures are
// SettingsError exceptions naming the value.
#include "platform/regedit_format.h"
#include "platform/registry_store.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qv::settings {

class SettingsError : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// A change the store refused because this user may not change it; says the store's error.
class StoreAccessDenied : public SettingsError {
public:
  using SettingsError::SettingsError;
};

using platform::RegistryRoot;

class SettingsKey {
public:
  explicit SettingsKey(platform::RegistryStore& store) : store_(store) {}
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;
  ~SettingsKey() { close(); }

  // True when the key is open. Without create, a missing key is not an error (false).
  // A store that cannot be read (malformed file) throws SettingsError with its description.
  bool open(RegistryRoot root, std::string_view path, bool createIfMissing);
  bool keyExists(RegistryRoot root, std::string_view path);
  bool isOpen() const { return open_; }

  bool valueExists(std::string_view name);
  // Empty when absent; "Invalid data type for '%s'" unless REG_SZ / REG_EXPAND_SZ.
  std::string readText(std::string_view name);
  // "Failed to get data for '%s'" when absent, "Invalid data type for '%s'" unless REG_DWORD.
  std::int32_t readInteger(std::string_view name);
  bool readFlag(std::string_view name);
  // Copies the bytes and returns their count; 0 when absent. "Invalid data type for '%s'"
  // unless REG_BINARY of at most out.size() bytes.
  std::size_t readBinary(std::string_view name, std::span<std::uint8_t> out);

  // "Failed to set data for '%s'" when no key is open or the store refuses.
  void writeText(std::string_view name, std::string_view text);
  void writeInteger(std::string_view name, std::int32_t value);
  void writeFlag(std::string_view name, bool value);
  void writeBinary(std::string_view name, std::span<const std::uint8_t> bytes);
  // The values in order, as one write: all of them or none. A refusal names the first.
  void writeValues(const std::vector<platform::RegValueEntry>& values);
  // No error when absent. A store that refuses throws SettingsError with its description.
  void deleteValue(std::string_view name);

  void close();

private:
  // The value, or nullopt when absent or no key is open; throws on a store failure.
  std::optional<platform::RegistryValue> read(std::string_view name);
  void write(std::string_view name, const platform::RegistryValue& value);
  [[noreturn]] void failWrite(std::string_view name);

  platform::RegistryStore& store_;
  RegistryRoot root_ = RegistryRoot::LocalMachine;
  std::string path_;
  bool open_ = false;
};

}  // namespace qv::settings
