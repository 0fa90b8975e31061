#include "platform/regedit_format.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <functional>
#include <unordered_map>

namespace qv::platform {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::size_t kHexLineWidth = 76;  // continued hex lines stay within 80 columns

// Names fold ASCII letters only; other bytes (UTF-8) compare as they are.
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowered(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = lower(c);
  return out;
}

// Hash for maps keyed by (already folded) names that are looked up by string_view.
struct NameHash {
  using is_transparent = void;
  std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (isBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

std::string_view parentName(std::string_view fullName) {
  std::size_t cut = fullName.rfind('\\');
  return cut == std::string_view::npos ? std::string_view{} : fullName.substr(0, cut);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

const char kHexChars[] = "0123456789abcdef";

void appendHexByte(std::string& out, std::uint8_t b) {
  out += kHexChars[b >> 4];
  out += kHexChars[b & 0x0F];
}

bool holdsByte(std::string_view s, char c) { return !s.empty() && std::memchr(s.data(), c, s.size()) != nullptr; }

void appendQuoted(std::string& out, std::string_view s) {
  out += '"';
  if (!holdsByte(s, '\\') && !holdsByte(s, '"')) {  // most texts: one copy
    out += s;
    out += '"';
    return;
  }
  std::size_t run = 0;  // start of the plain run not yet copied
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' && s[i] != '"') continue;
    out.append(s.data() + run, i - run);
    out += '\\';
    run = i;
  }
  out.append(s.data() + run, s.size() - run);
  out += '"';
}

std::string_view bytesAsText(const std::vector<std::uint8_t>& data) {
  return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

// True when a value is written as a quoted text: REG_SZ without line breaks or zeros.
bool isQuotedText(const RegistryValue& value) {
  if (value.type != regtype::Sz) return false;
  std::string_view text = bytesAsText(value.data);
  return !holdsByte(text, '\n') && !holdsByte(text, '\r') && !holdsByte(text, '\0');
}

std::string quoted(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  appendQuoted(out, s);
  return out;
}

// ---- parsing ----

// The logical lines of the text: physical lines with a hex value's continuations joined.
struct Line {
  int number = 0;
  std::string text;
};

// Reads a quoted name or text starting at s[pos] == '"' into out and moves pos past the
// closing quote; gives the reason when it cannot.
std::optional<std::string> readQuoted(std::string_view s, std::size_t& pos, std::string& out) {
  ++pos;
  while (pos < s.size()) {
    // Plain runs are copied whole.
    std::size_t special = pos;
    while (special < s.size() && s[special] != '"' && s[special] != '\\') ++special;
    if (special == s.size()) break;
    out.append(s.data() + pos, special - pos);
    pos = special + 1;
    if (s[special] == '"') return std::nullopt;
    if (pos >= s.size()) break;
    char e = s[pos++];
    if (e != '\\' && e != '"') return std::string("unknown escape \\") + e;
    out += e;
  }
  return "missing closing quote";
}

std::optional<std::string> parseHexBytes(std::string_view s, std::vector<std::uint8_t>& out) {
  s = trimBlanks(s);
  if (s.empty()) return std::nullopt;
  std::size_t pos = 0;
  while (true) {
    while (pos < s.size() && isBlank(s[pos])) ++pos;
    std::size_t start = pos;
    unsigned v = 0;
    while (pos < s.size() && hexDigit(s[pos]) >= 0) v = v * 16 + static_cast<unsigned>(hexDigit(s[pos++]));
    if (pos == start || pos - start > 2) return "bad byte in hex data";
    out.push_back(static_cast<std::uint8_t>(v));
    while (pos < s.size() && isBlank(s[pos])) ++pos;
    if (pos == s.size()) return std::nullopt;
    if (s[pos] != ',') return "bad byte in hex data";
    ++pos;
    // A trailing comma is what a wrapped line leaves after joining; nothing follows it.
    std::size_t rest = pos;
    while (rest < s.size() && isBlank(s[rest])) ++rest;
    if (rest == s.size()) return std::nullopt;
  }
}

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && namesEqual(s.substr(0, prefix.size()), prefix);
}

// The data after '=': sets value (or leaves it empty for a deletion) or gives the reason.
std::optional<std::string> parseData(std::string_view data, RegeditDialect dialect,
                                     std::optional<RegistryValue>& value) {
  data = trimBlanks(data);
  if (data == "-") {
    if (dialect != RegeditDialect::Import) return "value deletion in a store file";
    value.reset();
    return std::nullopt;
  }
  if (!data.empty() && data.front() == '"') {
    std::size_t pos = 0;
    std::string text;
    if (auto problem = readQuoted(data, pos, text)) return problem;
    if (!trimBlanks(data.substr(pos)).empty()) return "unexpected text after the closing quote";
    value = RegistryValue::text(text);
    return std::nullopt;
  }
  if (startsWithNoCase(data, "dword:")) {
    std::string_view digits = trimBlanks(data.substr(6));
    if (digits.empty() || digits.size() > 8) return "dword needs 1 to 8 hexadecimal digits";
    std::uint32_t v = 0;
    for (char c : digits) {
      int d = hexDigit(c);
      if (d < 0) return "dword needs 1 to 8 hexadecimal digits";
      v = v * 16 + static_cast<std::uint32_t>(d);
    }
    value = RegistryValue::dword(v);
    return std::nullopt;
  }
  std::uint32_t type = regtype::Binary;
  std::string_view bytes;
  if (startsWithNoCase(data, "hex:")) {
    bytes = data.substr(4);
  } else if (startsWithNoCase(data, "hex(")) {
    std::size_t close = data.find("):");
    if (close == std::string_view::npos || close == 4 || close > 12) return "bad hex(type): form";
    std::uint32_t t = 0;
    for (char c : data.substr(4, close - 4)) {
      int d = hexDigit(c);
      if (d < 0) return "bad hex(type): form";
      t = t * 16 + static_cast<std::uint32_t>(d);
    }
    type = t;
    bytes = data.substr(close + 2);
  } else {
    return "unknown value form (expected \"text\", dword:, hex: or hex(type):)";
  }
  RegistryValue v;
  v.type = type;
  if (auto problem = parseHexBytes(bytes, v.data)) return problem;
  value = std::move(v);
  return std::nullopt;
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

// ---- parsing ----

std::variant<std::vector<RegeditSection>, RegeditError> parseRegedit(std::string_view text,
                                                                     RegeditDialect dialect) {
  // Split into physical lines; CR LF line ends are accepted.
  std::vector<std::string_view> physical;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    physical.push_back(line);
    start = end + 1;
  }

  std::size_t i = 0;
  if (!physical.empty() && physical[0].starts_with("\xEF\xBB\xBF")) physical[0].remove_prefix(3);
  if (physical.empty() || trimBlanks(physical[0]) != kHeader) {
    return RegeditError{1, "missing REGEDIT4 header"};
  }
  ++i;

  std::vector<RegeditSection> sections;
  for (; i < physical.size(); ++i) {
    const int number = static_cast<int>(i) + 1;
    std::string_view line = trimBlanks(physical[i]);
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      if (line.back() != ']') return RegeditError{number, "key line does not end with ]"};
      std::string_view name = line.substr(1, line.size() - 2);
      RegeditSection section;
      section.line = number;
      if (!name.empty() && name.front() == '-') {
        if (dialect != RegeditDialect::Import) return RegeditError{number, "key deletion in a store file"};
        section.deleteKey = true;
        name.remove_prefix(1);
      }
      for (std::size_t p = 0; p <= name.size();) {
        std::size_t e = name.find('\\', p);
        if (e == std::string_view::npos) e = name.size();
        if (e == p) return RegeditError{number, "empty key name or path component"};
        p = e + 1;
      }
      auto full = normalizeKeyName(name);
      if (!full) return RegeditError{number, "unknown root key in [" + std::string(name) + "]"};
      if (auto problem = keyNameBeyondLimits(*full)) return RegeditError{number, *problem};
      if (section.deleteKey && isRootKeyName(*full)) return RegeditError{number, "a root key cannot be deleted"};
      section.key = std::move(*full);
      sections.push_back(std::move(section));
      continue;
    }

    if (line.front() != '"' && line.front() != '@') {
      return RegeditError{number, "expected a [key] line, a \"name\"=value line or a ; comment"};
    }
    if (sections.empty()) return RegeditError{number, "value line before the first [key] line"};
    if (sections.back().deleteKey) return RegeditError{number, "value line under a [-key] deletion"};

    RegeditValueLine entry;
    entry.line = number;
    std::size_t pos = 0;
    if (line.front() == '@') {
      pos = 1;
    } else {
      if (auto problem = readQuoted(line, pos, entry.name)) return RegeditError{number, *problem};
    }
    while (pos < line.size() && isBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return RegeditError{number, "expected = after the value name"};
    ++pos;

    // A hex value may continue over following lines, each one ending in a backslash.
    // Earlier versions also wrapped long dword lines that way; such files still load.
    std::string_view data = trimBlanks(line.substr(pos));
    std::string joined;  // only for a value that continues
    while (!data.empty() && data.back() == '\\' &&
           (startsWithNoCase(data, "hex:") || startsWithNoCase(data, "hex(") || startsWithNoCase(data, "dword:"))) {
      if (joined.empty()) joined = data;
      joined.pop_back();
      if (i + 1 >= physical.size()) return RegeditError{number, "hex data continues past the end of the file"};
      ++i;
      joined += trimBlanks(physical[i]);
      data = joined;
    }
    if (auto problem = parseData(data, dialect, entry.value)) return RegeditError{number, *problem};
    sections.back().values.push_back(std::move(entry));
  }
  return sections;
}

std::variant<RegistryTree, RegeditError> parseStoreFile(std::string_view text) {
  auto parsed = parseRegedit(text, RegeditDialect::StoreFile);
  if (auto* error = std::get_if<RegeditError>(&parsed)) return *error;
  auto& sections = std::get<0>(parsed);
  RegistryTree tree;
  tree.keys.reserve(sections.size());
  // Lower-cased key name -> index, so that a large file loads in linear time. Values are
  // found by a scan while a key has few of them (most keys), by an index past that.
  constexpr std::size_t kScannedValues = 16;
  std::unordered_map<std::string, std::size_t> keyIndex;
  keyIndex.reserve(sections.size());
  std::unordered_map<std::size_t, std::unordered_map<std::string, std::size_t>> valueIndex;  // by key
  for (RegeditSection& section : sections) {
    if (isRootKeyName(section.key) && section.values.empty()) continue;
    auto [it, added] = keyIndex.try_emplace(lowered(section.key), tree.keys.size());
    if (added) tree.keys.push_back(RegKeyEntry{std::move(section.key), {}});
    RegKeyEntry& key = tree.keys[it->second];
    for (RegeditValueLine& v : section.values) {
      RegValueEntry* same = nullptr;
      if (key.values.size() < kScannedValues) {
        for (RegValueEntry& old : key.values) {
          if (namesEqual(old.name, v.name)) {
            same = &old;
            break;
          }
        }
      } else {
        auto& names = valueIndex[it->second];
        if (names.empty()) {
          for (std::size_t i = 0; i < key.values.size(); ++i) names.try_emplace(lowered(key.values[i].name), i);
        }
        auto [vit, newValue] = names.try_emplace(lowered(v.name), key.values.size());
        if (!newValue) same = &key.values[vit->second];
      }
      if (same) {
        same->value = std::move(*v.value);
      } else {
        key.values.push_back(RegValueEntry{std::move(v.name), std::move(*v.value)});
      }
    }
  }
  return tree;
}

namespace {

// The tree as an import changes it, with what makes each step cost time independent of
// the tree's size: keys and values found by hash, [-KEY] walking only the keys below the
// one deleted (through a tree of the names), and removals marked first and swept out once
// at the end.
class ImportWork {
public:
  explicit ImportWork(RegistryTree& tree) : tree_(tree), deadKey_(tree.keys.size(), false) {
    for (std::size_t i = 0; i < tree.keys.size(); ++i) {
      Node& node = nodes_[nodeFor(lowered(tree.keys[i].name))];
      if (node.entry == kNone) node.entry = i;  // a name twice over: the first one counts, as in findKey
    }
  }

  // The entry of the key, created with its missing parents (roots only get an entry).
  std::size_t key(std::string_view fullName) {
    const std::string folded = lowered(fullName);
    const std::size_t node = nodeFor(folded);
    if (nodes_[node].entry != kNone) return nodes_[node].entry;
    // Lengths of the names without an entry, from this key up to the nearest one that has
    // one (or the root, which never gets an entry as a parent).
    std::vector<std::size_t> missing{folded.size()};
    for (std::size_t cut = folded.rfind('\\'); cut != std::string::npos && cut > 0; cut = folded.rfind('\\', cut - 1)) {
      std::string_view parent = std::string_view(folded).substr(0, cut);
      if (isRootKeyName(parent) || nodes_[nodeOf_.find(parent)->second].entry != kNone) break;
      missing.push_back(cut);
    }
    for (auto length = missing.rbegin(); length != missing.rend(); ++length) {
      nodes_[nodeOf_.find(std::string_view(folded).substr(0, *length))->second].entry = tree_.keys.size();
      tree_.keys.push_back(RegKeyEntry{std::string(fullName.substr(0, *length)), {}});
      deadKey_.push_back(false);
    }
    return nodes_[node].entry;
  }

  void deleteKeyTree(std::string_view fullName) {
    auto found = nodeOf_.find(std::string_view(lowered(fullName)));
    if (found == nodeOf_.end()) return;
    Node& top = nodes_[found->second];
    removeEntry(top);
    // The names below leave the name tree; the top one stays where it hangs.
    std::vector<std::size_t> pending = std::move(top.children);
    top.children.clear();
    while (!pending.empty()) {
      Node& node = nodes_[pending.back()];
      pending.pop_back();
      removeEntry(node);
      pending.insert(pending.end(), node.children.begin(), node.children.end());
      node.children.clear();
      nodeOf_.erase(std::string_view(node.name));
    }
  }

  void setValue(std::size_t keyEntry, const std::string& name, const RegistryValue& value) {
    Values& values = valuesOf(keyEntry);
    RegKeyEntry& key = tree_.keys[keyEntry];
    auto [place, added] = values.position.try_emplace(lowered(name), key.values.size());
    if (added) {
      key.values.push_back(RegValueEntry{name, value});
      values.dead.push_back(false);
    } else {
      key.values[place->second].value = value;
    }
  }

  void removeValue(std::size_t keyEntry, std::string_view name) {
    Values& values = valuesOf(keyEntry);
    auto place = values.position.find(std::string_view(lowered(name)));
    if (place == values.position.end()) return;
    values.dead[place->second] = true;
    values.anyDead = true;
    values.position.erase(place);
  }

  // Sweeps out what was removed.
  void finish() {
    for (auto& [keyEntry, values] : values_) {
      if (values.anyDead) sweep(tree_.keys[keyEntry].values, values.dead);
    }
    sweep(tree_.keys, deadKey_);
  }

private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  // One name of the name tree: a key, or a name above keys that has no entry itself.
  struct Node {
    std::string name;  // folded
    std::size_t entry = kNone;
    std::vector<std::size_t> children;
  };
  // The values of one key that the import touches.
  struct Values {
    std::unordered_map<std::string, std::size_t, NameHash, std::equal_to<>> position;  // folded name -> index
    std::vector<bool> dead;
    bool anyDead = false;
  };

  template <class T>
  static void sweep(std::vector<T>& items, const std::vector<bool>& dead) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < items.size(); ++i) {
      if (dead[i]) continue;
      if (kept != i) items[kept] = std::move(items[i]);
      ++kept;
    }
    items.erase(items.begin() + static_cast<std::ptrdiff_t>(kept), items.end());
  }

  // The node of a folded name, made with the nodes of the names above it when missing.
  std::size_t nodeFor(std::string_view folded) {
    if (auto found = nodeOf_.find(folded); found != nodeOf_.end()) return found->second;
    std::vector<std::string_view> missing{folded};
    std::size_t parent = kNone;
    for (std::size_t cut = folded.rfind('\\'); cut != std::string_view::npos;) {
      std::string_view above = folded.substr(0, cut);
      if (auto found = nodeOf_.find(above); found != nodeOf_.end()) {
        parent = found->second;
        break;
      }
      missing.push_back(above);
      cut = cut == 0 ? std::string_view::npos : folded.rfind('\\', cut - 1);
    }
    for (auto name = missing.rbegin(); name != missing.rend(); ++name) {
      const std::size_t id = nodes_.size();
      nodes_.push_back(Node{std::string(*name), kNone, {}});
      nodeOf_.emplace(std::string_view(nodes_.back().name), id);
      if (parent != kNone) nodes_[parent].children.push_back(id);
      parent = id;
    }
    return parent;
  }

  void removeEntry(Node& node) {
    if (node.entry == kNone) return;
    deadKey_[node.entry] = true;
    values_.erase(node.entry);
    node.entry = kNone;
  }

  Values& valuesOf(std::size_t keyEntry) {
    auto [found, added] = values_.try_emplace(keyEntry);
    if (added) {
      const auto& list = tree_.keys[keyEntry].values;
      found->second.dead.assign(list.size(), false);
      for (std::size_t i = 0; i < list.size(); ++i) found->second.position.try_emplace(lowered(list[i].name), i);
    }
    return found->second;
  }

  RegistryTree& tree_;
  std::vector<bool> deadKey_;
  std::deque<Node> nodes_;  // a deque: nodeOf_ points into the names, which must not move
  std::unordered_map<std::string_view, std::size_t, NameHash, std::equal_to<>> nodeOf_;
  std::unordered_map<std::size_t, Values> values_;  // by key entry
};

}  // namespace

void applyImport(RegistryTree& tree, const std::vector<RegeditSection>& sections) {
  ImportWork work(tree);
  for (const RegeditSection& section : sections) {
    if (section.deleteKey) {
      work.deleteKeyTree(section.key);
      continue;
    }
    const std::size_t key = work.key(section.key);
    for (const RegeditValueLine& v : section.values) {
      if (v.value) {
        work.setValue(key, v.name, *v.value);
      } else {
        work.removeValue(key, v.name);
      }
    }
  }
  work.finish();
}

// ---- writing ----

std::string formatValueData(const RegistryValue& value) {
  std::string out;
  if (isQuotedText(value)) return quoted(bytesAsText(value.data));
  if (value.type == regtype::Dword && value.data.size() == 4) {
    std::uint32_t v = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                      static_cast<std::uint32_t>(value.data[3]) << 24;
    out = "dword:";
    for (int shift = 28; shift >= 0; shift -= 4) out += kHexChars[(v >> shift) & 0x0F];
    return out;
  }
  // Everything else, including texts that hold line breaks or zero bytes, as typed bytes.
  if (value.type == regtype::Binary) {
    out = "hex:";
  } else {
    out = "hex(";
    constexpr char digits[] = "0123456789abcdef";
    std::string t;
    std::uint32_t type = value.type;
    do {
      t.insert(t.begin(), digits[type & 0x0F]);
      type >>= 4;
    } while (type != 0);
    out += t + "):";
  }
  out.reserve(out.size() + value.data.size() * 3);
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    appendHexByte(out, value.data[i]);
    if (i + 1 < value.data.size()) out += ',';
  }
  return out;
}

namespace {

void writeValueLine(std::string& out, const RegValueEntry& v) {
  const std::size_t lineStart = out.size();
  if (v.name.empty()) {
    out += '@';
  } else {
    appendQuoted(out, v.name);
  }
  out += '=';
  if (isQuotedText(v.value)) {
    appendQuoted(out, bytesAsText(v.value.data));
    out += '\n';
    return;
  }
  const std::string data = formatValueData(v.value);
  // Only hex data continues on further lines, and only between two bytes: a reader joins
  // continuation lines of hex values alone, and a dword or text is one token.
  if (!data.starts_with("hex") || out.size() - lineStart + data.size() <= kHexLineWidth + 2) {
    out += data;
    out += '\n';
    return;
  }
  const std::size_t colon = data.find(':');
  out.append(data, 0, colon + 1);
  std::size_t lineLength = out.size() - lineStart;
  for (std::size_t pos = colon + 1; pos < data.size();) {
    const std::size_t item = std::min<std::size_t>(3, data.size() - pos);  // "xx," or the last "xx"
    if (lineLength + item > kHexLineWidth && pos + item < data.size()) {
      out += "\\\n  ";
      lineLength = 2;
    }
    out.append(data, pos, item);
    lineLength += item;
    pos += item;
  }
  out += '\n';
}

void writeKey(std::string& out, const RegKeyEntry& key) {
  // A root exists without an entry; an empty one would not survive a read anyway.
  if (key.values.empty() && isRootKeyName(key.name)) return;
  out += '[';
  out += key.name;
  out += "]\n";
  for (const RegValueEntry& v : key.values) writeValueLine(out, v);
  out += '\n';
}

}  // namespace

std::string writeRegedit(const RegistryTree& tree) {
  std::string out = std::string(kHeader) + "\n\n";
  for (const RegKeyEntry& key : tree.keys) writeKey(out, key);
  return out;
}

std::string writeRegedit(const RegistryTree& tree, std::string_view subtreeKey) {
  std::string out = std::string(kHeader) + "\n\n";
  for (const RegKeyEntry& key : tree.keys) {
    if (isSameOrBelow(key.name, subtreeKey)) writeKey(out, key);
  }
  return out;
}

}  // namespace qv::platform
