// Key names and the in-memory tree of the registry.
#include "platform/regedit_format.h"

#include <algorithm>

#include "platform/regedit_detail.h"

namespace qv::platform {

using regedit_detail::lower;

namespace {

std::string_view parentName(std::string_view fullName) {
  std::size_t cut = fullName.rfind('\\');
  return cut == std::string_view::npos ? std::string_view{} : fullName.substr(0, cut);
}

}  // namespace

// ---- names ----

std::string_view rootName(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::optional<RegistryRoot> parseRootName(std::string_view name) {
  if (namesEqual(name, "HKEY_LOCAL_MACHINE") || namesEqual(name, "HKLM")) return RegistryRoot::LocalMachine;
  if (namesEqual(name, "HKEY_CURRENT_USER") || namesEqual(name, "HKCU")) return RegistryRoot::CurrentUser;
  return std::nullopt;
}

std::string fullKeyName(RegistryRoot root, std::string_view path) {
  std::string out;
  out.reserve(rootName(root).size() + path.size() + 1);
  out += rootName(root);
  // Empty components (doubled, leading or trailing backslashes) are dropped.
  bool separator = true;
  for (char c : path) {
    if (c == '\\') {
      separator = true;
      continue;
    }
    if (separator) out += '\\';
    separator = false;
    out += c;
  }
  return out;
}

std::optional<std::string> normalizeKeyName(std::string_view fullName) {
  std::size_t cut = fullName.find('\\');
  std::string_view first = cut == std::string_view::npos ? fullName : fullName.substr(0, cut);
  auto root = parseRootName(first);
  if (!root) return std::nullopt;
  return fullKeyName(*root, cut == std::string_view::npos ? std::string_view{} : fullName.substr(cut + 1));
}

bool namesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

bool isSameOrBelow(std::string_view key, std::string_view ancestor) {
  if (key.size() == ancestor.size()) return namesEqual(key, ancestor);
  return key.size() > ancestor.size() && key[ancestor.size()] == '\\' &&
         namesEqual(key.substr(0, ancestor.size()), ancestor);
}

bool isRootKeyName(std::string_view fullName) { return fullName.find('\\') == std::string_view::npos; }

std::optional<std::string> unstorableName(std::string_view name) {
  if (name.find_first_of("\r\n") != std::string_view::npos) return "a name cannot hold a line break";
  return std::nullopt;
}

std::optional<std::string> keyNameBeyondLimits(std::string_view fullName) {
  std::size_t cut = fullName.find('\\');
  if (cut == std::string_view::npos) return std::nullopt;
  std::size_t levels = 1;
  std::size_t chars = 0;
  for (std::size_t i = cut + 1; i < fullName.size(); ++i) {
    if (fullName[i] == '\\') {
      if (++levels > kMaxKeyLevels) {
        return "a key name has more than " + std::to_string(kMaxKeyLevels) + " levels";
      }
      chars = 0;
      continue;
    }
    // Every byte but a UTF-8 continuation byte starts a character.
    if ((static_cast<unsigned char>(fullName[i]) & 0xC0) != 0x80 && ++chars > kMaxKeyPartChars) {
      return "a key name part is longer than " + std::to_string(kMaxKeyPartChars) + " characters";
    }
  }
  return std::nullopt;
}

std::optional<std::string> unstorableKeyName(std::string_view fullName) {
  if (auto problem = unstorableName(fullName)) return problem;
  return keyNameBeyondLimits(fullName);
}

// ---- tree ----

const RegKeyEntry* findKey(const RegistryTree& tree, std::string_view fullName) {
  for (const RegKeyEntry& key : tree.keys) {
    if (namesEqual(key.name, fullName)) return &key;
  }
  return nullptr;
}

RegKeyEntry* findKey(RegistryTree& tree, std::string_view fullName) {
  return const_cast<RegKeyEntry*>(findKey(static_cast<const RegistryTree&>(tree), fullName));
}

const RegValueEntry* findValue(const RegKeyEntry& key, std::string_view name) {
  for (const RegValueEntry& v : key.values) {
    if (namesEqual(v.name, name)) return &v;
  }
  return nullptr;
}

std::vector<std::string> childKeys(const RegistryTree& tree, std::string_view fullName) {
  std::vector<std::string> out;
  for (const RegKeyEntry& key : tree.keys) {
    if (key.name.size() > fullName.size() && isSameOrBelow(key.name, fullName) &&
        key.name.find('\\', fullName.size() + 1) == std::string::npos) {
      out.push_back(key.name);
    }
  }
  return out;
}

RegKeyEntry* writableKey(RegistryTree& tree, std::string_view fullName) {
  if (RegKeyEntry* key = findKey(tree, fullName)) return key;
  if (!isRootKeyName(fullName)) return nullptr;
  tree.keys.push_back(RegKeyEntry{std::string(fullName), {}});
  return &tree.keys.back();
}

bool createKey(RegistryTree& tree, std::string_view fullName) {
  if (isRootKeyName(fullName) || findKey(tree, fullName)) return false;
  const std::string name(fullName);  // fullName may point into an entry that moves
  // The missing keys from this one up to the nearest existing ancestor, by a loop: the
  // depth of a name comes from outside.
  std::vector<std::size_t> missing{name.size()};
  for (std::string_view parent = parentName(name); !isRootKeyName(parent) && !findKey(tree, parent);
       parent = parentName(parent)) {
    missing.push_back(parent.size());
  }
  for (auto length = missing.rbegin(); length != missing.rend(); ++length) {
    tree.keys.push_back(RegKeyEntry{name.substr(0, *length), {}});
  }
  return true;
}

bool deleteKeyTree(RegistryTree& tree, std::string_view fullName) {
  std::string target(fullName);  // fullName may point into an entry that is erased
  auto removed = std::erase_if(tree.keys, [&](const RegKeyEntry& k) { return isSameOrBelow(k.name, target); });
  return removed > 0;
}

bool setValue(RegKeyEntry& key, std::string_view name, const RegistryValue& value) {
  for (RegValueEntry& v : key.values) {
    if (namesEqual(v.name, name)) {
      if (v.value == value) return false;
      v.value = value;
      return true;
    }
  }
  key.values.push_back(RegValueEntry{std::string(name), value});
  return true;
}

bool removeValue(RegKeyEntry& key, std::string_view name) {
  return std::erase_if(key.values, [&](const RegValueEntry& v) { return namesEqual(v.name, name); }) > 0;
}

}  // namespace qv::platform
