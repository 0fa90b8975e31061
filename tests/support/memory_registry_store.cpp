#include "support/memory_registry_store.h"

#include <algorithm>
#include <stdexcept>

namespace qv::test {

using platform::fullKeyName;
using platform::RegistryRoot;
using platform::RegistryValue;

MemoryRegistryStore::MemoryRegistryStore(std::string_view regeditText) { import(regeditText); }

bool MemoryRegistryStore::failing() {
  lastError_ = forcedError_;
  deniedLast_ = false;
  return !forcedError_.empty();
}

std::string MemoryRegistryStore::logName(RegistryRoot root, std::string_view path, std::string_view name) const {
  std::string full = fullKeyName(root, path);
  std::string out = root == RegistryRoot::LocalMachine ? "HKLM" : "HKCU";
  out += full.substr(platform::rootName(root).size());
  out += '\\';
  out += name;
  return out;
}

bool MemoryRegistryStore::keyExists(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  if (failing()) return false;
  std::string full = fullKeyName(root, path);
  return platform::isRootKeyName(full) || platform::findKey(tree_, full) != nullptr;
}

bool MemoryRegistryStore::createKey(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  if (failing()) return false;
  std::string full = fullKeyName(root, path);
  if (auto problem = platform::unstorableKeyName(full)) {
    lastError_ = *problem;
    return false;
  }
  platform::createKey(tree_, full);
  return true;
}

bool MemoryRegistryStore::deleteKey(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  if (failing()) return false;
  std::string full = fullKeyName(root, path);
  if (platform::isRootKeyName(full)) {
    lastError_ = "a root key cannot be deleted";
    return false;
  }
  platform::deleteKeyTree(tree_, full);
  return true;
}

std::optional<RegistryValue> MemoryRegistryStore::readValue(RegistryRoot root, std::string_view path,
                                                            std::string_view name) {
  std::lock_guard lock(mutex_);
  if (failing()) return std::nullopt;
  const auto* key = platform::findKey(tree_, fullKeyName(root, path));
  if (!key) return std::nullopt;
  const auto* value = platform::findValue(*key, name);
  if (!value) return std::nullopt;
  return value->value;
}

std::vector<std::string> MemoryRegistryStore::valueNames(RegistryRoot root, std::string_view path) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> names;
  if (failing()) return names;
  if (const auto* key = platform::findKey(tree_, fullKeyName(root, path))) {
    for (const auto& v : key->values) names.push_back(v.name);
  }
  return names;
}

bool MemoryRegistryStore::writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                                     const RegistryValue& value) {
  std::lock_guard lock(mutex_);
  if (failing()) return false;
  if (denyValueWrites_) {
    lastError_ = "registry.reg: cannot write: Permission denied";
    deniedLast_ = true;
    return false;
  }
  for (const std::string& refused : refused_) {
    if (platform::namesEqual(refused, name)) {
      lastError_ = "write of '" + std::string(name) + "' refused";
      return false;
    }
  }
  if (auto problem = platform::unstorableName(name)) {
    lastError_ = *problem;
    return false;
  }
  std::string full = fullKeyName(root, path);
  auto* key = platform::writableKey(tree_, full);
  if (!key) {
    lastError_ = "key " + full + " does not exist";
    return false;
  }
  platform::setValue(*key, name, value);
  writeLog_.push_back(logName(root, path, name));
  return true;
}

bool MemoryRegistryStore::writeValues(RegistryRoot root, std::string_view path,
                                      const std::vector<platform::RegValueEntry>& values) {
  for (const auto& v : values) {
    std::lock_guard lock(mutex_);
    if (std::ranges::any_of(refused_, [&](const std::string& r) { return platform::namesEqual(r, v.name); })) {
      lastError_ = "write of '" + v.name + "' refused";
      return false;
    }
  }
  return std::ranges::all_of(values, [&](const auto& v) { return writeValue(root, path, v.name, v.value); });
}

bool MemoryRegistryStore::deleteValue(RegistryRoot root, std::string_view path, std::string_view name) {
  std::lock_guard lock(mutex_);
  if (failing()) return false;
  auto* key = platform::findKey(tree_, fullKeyName(root, path));
  if (key && platform::removeValue(*key, name)) deleteLog_.push_back(logName(root, path, name));
  return true;
}

bool MemoryRegistryStore::accessDenied() const {
  std::lock_guard lock(mutex_);
  return deniedLast_;
}

std::string MemoryRegistryStore::lastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

void MemoryRegistryStore::refuseWritesOf(std::string_view name) {
  std::lock_guard lock(mutex_);
  refused_.emplace_back(name);
}

void MemoryRegistryStore::clearRefusals() {
  std::lock_guard lock(mutex_);
  refused_.clear();
}

void MemoryRegistryStore::failEverything(std::string error) {
  std::lock_guard lock(mutex_);
  forcedError_ = std::move(error);
}

std::vector<std::string> MemoryRegistryStore::writeLog() const {
  std::lock_guard lock(mutex_);
  return writeLog_;
}

std::vector<std::string> MemoryRegistryStore::deleteLog() const {
  std::lock_guard lock(mutex_);
  return deleteLog_;
}

void MemoryRegistryStore::clearLogs() {
  std::lock_guard lock(mutex_);
  writeLog_.clear();
  deleteLog_.clear();
}

void MemoryRegistryStore::import(std::string_view regeditText) {
  auto parsed = platform::parseRegedit(regeditText, platform::RegeditDialect::Import);
  if (auto* error = std::get_if<platform::RegeditError>(&parsed)) {
    throw std::invalid_argument("line " + std::to_string(error->line) + ": " + error->reason);
  }
  std::lock_guard lock(mutex_);
  platform::applyImport(tree_, std::get<0>(parsed));
}

std::string MemoryRegistryStore::exportText() const {
  std::lock_guard lock(mutex_);
  return platform::writeRegedit(tree_);
}

}  // namespace qv::test
