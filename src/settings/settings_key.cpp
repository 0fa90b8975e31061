#include "settings/settings_key.h"

#include <algorithm>

namespace qv::settings {

namespace {

std::string named(std::string_view pattern, std::string_view name) {
  // The patterns hold one "%s", replaced by the value name.
  std::string out(pattern);
  out.replace(out.find("%s"), 2, name);
  return out;
}

[[noreturn]] void failGet(std::string_view name) { throw SettingsError(named("Failed to get data for '%s'", name)); }
[[noreturn]] void failSet(std::string_view name) { throw SettingsError(named("Failed to set data for '%s'", name)); }
[[noreturn]] void failType(std::string_view name) { throw SettingsError(named("Invalid data type for '%s'", name)); }

}  // namespace

bool SettingsKey::open(RegistryRoot root, std::string_view path, bool createIfMissing) {
  close();
  bool exists = createIfMissing ? store_.createKey(root, path) : store_.keyExists(root, path);
  if (!exists) {
    // A broken store is not "missing": the user must learn which file and line is wrong.
    if (std::string error = store_.lastError(); !error.empty()) {
      if (store_.accessDenied()) throw StoreAccessDenied(error);
      throw SettingsError(error);
    }
    return false;
  }
  root_ = root;
  path_ = std::string(path);
  open_ = true;
  return true;
}

bool SettingsKey::keyExists(RegistryRoot root, std::string_view path) {
  if (store_.keyExists(root, path)) return true;
  if (std::string error = store_.lastError(); !error.empty()) throw SettingsError(error);
  return false;
}

std::optional<platform::RegistryValue> SettingsKey::read(std::string_view name) {
  if (!open_) return std::nullopt;  // no key open: every value reads as absent
  auto value = store_.readValue(root_, path_, name);
  if (!value) {
    if (std::string error = store_.lastError(); !error.empty()) throw SettingsError(error);
  }
  return value;
}

bool SettingsKey::valueExists(std::string_view name) { return read(name).has_value(); }

std::string SettingsKey::readText(std::string_view name) {
  auto value = read(name);
  if (!value) return {};
  if (value->type != platform::regtype::Sz && value->type != platform::regtype::ExpandSz) failType(name);
  std::string text(value->data.begin(), value->data.end());
  // Texts stored with their terminating zero (expandable texts always are) end before it.
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::int32_t SettingsKey::readInteger(std::string_view name) {
  auto value = read(name);
  if (!value) failGet(name);
  if (value->type != platform::regtype::Dword || value->data.size() != 4) failType(name);
  const auto& d = value->data;
  return static_cast<std::int32_t>(d[0] | d[1] << 8 | d[2] << 16 | static_cast<std::uint32_t>(d[3]) << 24);
}

bool SettingsKey::readFlag(std::string_view name) { return readInteger(name) != 0; }

std::size_t SettingsKey::readBinary(std::string_view name, std::span<std::uint8_t> out) {
  auto value = read(name);
  if (!value) return 0;
  if (value->type != platform::regtype::Binary || value->data.size() > out.size()) failType(name);
  std::copy(value->data.begin(), value->data.end(), out.begin());
  return value->data.size();
}

void SettingsKey::write(std::string_view name, const platform::RegistryValue& value) {
  if (open_ && store_.writeValue(root_, path_, name, value)) return;
  failWrite(name);
}

void SettingsKey::writeValues(const std::vector<platform::RegValueEntry>& values) {
  if (values.empty() || (open_ && store_.writeValues(root_, path_, values))) return;
  failWrite(values.front().name);
}

void SettingsKey::failWrite(std::string_view name) {
  // A store that another program holds locked, or that this user may not change: the user
  // must learn that, not only which value was not written.
  const std::string error = open_ ? store_.lastError() : std::string();
  if (open_ && store_.accessDenied()) throw StoreAccessDenied(error);
  if (error.find(platform::kStoreLockedText) != std::string::npos) throw SettingsError(error);
  failSet(name);
}

void SettingsKey::writeText(std::string_view name, std::string_view text) {
  write(name, platform::RegistryValue::text(text));
}

void SettingsKey::writeInteger(std::string_view name, std::int32_t value) {
  write(name, platform::RegistryValue::dword(static_cast<std::uint32_t>(value)));
}

void SettingsKey::writeFlag(std::string_view name, bool value) { writeInteger(name, value ? 1 : 0); }

void SettingsKey::writeBinary(std::string_view name, std::span<const std::uint8_t> bytes) {
  write(name, platform::RegistryValue::binary({bytes.begin(), bytes.end()}));
}

void SettingsKey::deleteValue(std::string_view name) {
  if (!open_) return;
  // An absent value is no error; a store that refuses is, or a deletion that did not
  // happen would pass for one that did.
  if (!store_.deleteValue(root_, path_, name)) {
    std::string error = store_.lastError();
    if (store_.accessDenied()) throw StoreAccessDenied(error);
    throw SettingsError(error.empty() ? named("Failed to set data for '%s'", name) : error);
  }
}

void SettingsKey::close() {
  open_ = false;
  path_.clear();
}

}  // namespace qv::settings
