#include "platform/posix/routed_registry_store.h"

namespace qv::platform {

namespace fs = std::filesystem;

namespace {

bool ofRoot(std::string_view fullKey, RegistryRoot root) { return isSameOrBelow(fullKey, rootName(root)); }

}  // namespace

RoutedRegistryStore::RoutedRegistryStore(const fs::path& folder)
    : machine_(std::make_unique<RegistryFileStore>(folder)), last_(machine_.get()) {}

RoutedRegistryStore::RoutedRegistryStore(const fs::path& machineFolder, const fs::path& userFolder)
    : machine_(std::make_unique<RegistryFileStore>(machineFolder)), last_(machine_.get()) {
  if (userFolder.lexically_normal() != machineFolder.lexically_normal()) {
    user_ = std::make_unique<RegistryFileStore>(userFolder);
  }
}

RegistryFileStore& RoutedRegistryStore::fileOf(RegistryRoot root) {
  return root == RegistryRoot::CurrentUser && user_ ? *user_ : *machine_;
}

RegistryFileStore& RoutedRegistryStore::use(RegistryFileStore& file) {
  last_ = &file;
  return file;
}

RegistryFileStore& RoutedRegistryStore::use(RegistryRoot root) { return use(fileOf(root)); }

bool RoutedRegistryStore::keyExists(RegistryRoot root, std::string_view path) {
  return use(root).keyExists(root, path);
}

bool RoutedRegistryStore::createKey(RegistryRoot root, std::string_view path) {
  return use(root).createKey(root, path);
}

bool RoutedRegistryStore::deleteKey(RegistryRoot root, std::string_view path) {
  return use(root).deleteKey(root, path);
}

std::optional<RegistryValue> RoutedRegistryStore::readValue(RegistryRoot root, std::string_view path,
                                                            std::string_view name) {
  return use(root).readValue(root, path, name);
}

std::vector<std::string> RoutedRegistryStore::valueNames(RegistryRoot root, std::string_view path) {
  return use(root).valueNames(root, path);
}

bool RoutedRegistryStore::writeValue(RegistryRoot root, std::string_view path, std::string_view name,
                                     const RegistryValue& value) {
  return use(root).writeValue(root, path, name, value);
}

bool RoutedRegistryStore::writeValues(RegistryRoot root, std::string_view path,
                                      const std::vector<RegValueEntry>& values) {
  return use(root).writeValues(root, path, values);
}

bool RoutedRegistryStore::deleteValue(RegistryRoot root, std::string_view path, std::string_view name) {
  return use(root).deleteValue(root, path, name);
}

std::string RoutedRegistryStore::lastError() const { return last_.load()->lastError(); }

bool RoutedRegistryStore::accessDenied() const { return last_.load()->accessDenied(); }

std::string RoutedRegistryStore::location() const {
  if (!user_) return machine_->location();
  return machine_->location() + " (" + std::string(rootName(RegistryRoot::LocalMachine)) + "), " +
         user_->location() + " (" + std::string(rootName(RegistryRoot::CurrentUser)) + ")";
}

bool RoutedRegistryStore::createKeyWithValues(RegistryRoot root, std::string_view path,
                                              const std::vector<RegValueEntry>& values) {
  return use(root).createKeyWithValues(root, path, values);
}

std::optional<std::string> RoutedRegistryStore::exportText(RegistryRoot root, std::string_view path) {
  return use(root).exportText(root, path);
}

std::optional<RegistryTree> RoutedRegistryStore::snapshot() {
  if (!user_) return use(*machine_).snapshot();
  auto machine = use(*machine_).snapshot();
  if (!machine) return std::nullopt;
  auto user = use(*user_).snapshot();
  if (!user) return std::nullopt;
  RegistryTree both;
  for (auto& key : machine->keys) {
    if (ofRoot(key.name, RegistryRoot::LocalMachine)) both.keys.push_back(std::move(key));
  }
  for (auto& key : user->keys) {
    if (ofRoot(key.name, RegistryRoot::CurrentUser)) both.keys.push_back(std::move(key));
  }
  return both;
}

std::optional<std::string> RoutedRegistryStore::exportText() {
  if (!user_) return use(*machine_).exportText();
  auto tree = snapshot();
  if (!tree) return std::nullopt;
  return writeRegedit(*tree);
}

bool RoutedRegistryStore::importText(std::string_view text, std::string_view sourceName) {
  if (!user_) return use(*machine_).importText(text, sourceName);
  // Parsed whole before anything is written, so that a bad line leaves both files alone;
  // the machine's file is asked for the parse error's report.
  auto parsed = parseRegedit(text, RegeditDialect::Import);
  if (std::holds_alternative<RegeditError>(parsed)) return use(*machine_).importText(text, sourceName);
  std::vector<RegeditSection> machinePart;
  std::vector<RegeditSection> userPart;
  for (auto& section : std::get<std::vector<RegeditSection>>(parsed)) {
    (ofRoot(section.key, RegistryRoot::LocalMachine) ? machinePart : userPart).push_back(std::move(section));
  }
  if (!machinePart.empty() && !use(*machine_).importSections(machinePart)) return false;
  if (!userPart.empty() && !use(*user_).importSections(userPart)) return false;
  return true;
}

void RoutedRegistryStore::setLockWaitLimit(std::chrono::milliseconds limit) {
  machine_->setLockWaitLimit(limit);
  if (user_) user_->setLockWaitLimit(limit);
}

}  // namespace qv::platform
