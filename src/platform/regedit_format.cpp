#include "platform/regedit_format.h"

#include <algorithm>
#include <cctype>
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

std::string quoted(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
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
    char c = s[pos++];
    if (c == '"') return std::nullopt;
    if (c == '\\') {
      if (pos >= s.size()) break;
      char e = s[pos++];
      if (e != '\\' && e != '"') return std::string("unknown escape \\") + e;
      out += e;
    } else {
      out += c;
    }
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
  createKey(tree, parentName(fullName));
  tree.keys.push_back(RegKeyEntry{std::string(fullName), {}});
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
    std::string data(trimBlanks(line.substr(pos)));
    while (!data.empty() && data.back() == '\\' && (startsWithNoCase(data, "hex:") || startsWithNoCase(data, "hex("))) {
      data.pop_back();
      if (i + 1 >= physical.size()) return RegeditError{number, "hex data continues past the end of the file"};
      ++i;
      data += trimBlanks(physical[i]);
    }
    if (auto problem = parseData(data, dialect, entry.value)) return RegeditError{number, *problem};
    sections.back().values.push_back(std::move(entry));
  }
  return sections;
}

std::variant<RegistryTree, RegeditError> parseStoreFile(std::string_view text) {
  auto parsed = parseRegedit(text, RegeditDialect::StoreFile);
  if (auto* error = std::get_if<RegeditError>(&parsed)) return *error;
  RegistryTree tree;
  // Lower-cased key name -> index, and per key lower-cased value name -> index, so that a
  // large file loads in linear time.
  std::unordered_map<std::string, std::size_t> keyIndex;
  std::vector<std::unordered_map<std::string, std::size_t>> valueIndex;
  for (RegeditSection& section : std::get<0>(parsed)) {
    if (isRootKeyName(section.key) && section.values.empty()) continue;
    auto [it, added] = keyIndex.try_emplace(lowered(section.key), tree.keys.size());
    if (added) {
      tree.keys.push_back(RegKeyEntry{section.key, {}});
      valueIndex.emplace_back();
    }
    RegKeyEntry& key = tree.keys[it->second];
    auto& names = valueIndex[it->second];
    for (RegeditValueLine& v : section.values) {
      auto [vit, newValue] = names.try_emplace(lowered(v.name), key.values.size());
      if (newValue) {
        key.values.push_back(RegValueEntry{std::move(v.name), std::move(*v.value)});
      } else {
        key.values[vit->second].value = std::move(*v.value);
      }
    }
  }
  return tree;
}

void applyImport(RegistryTree& tree, const std::vector<RegeditSection>& sections) {
  for (const RegeditSection& section : sections) {
    if (section.deleteKey) {
      deleteKeyTree(tree, section.key);
      continue;
    }
    createKey(tree, section.key);
    RegKeyEntry* key = writableKey(tree, section.key);
    for (const RegeditValueLine& v : section.values) {
      if (v.value) {
        setValue(*key, v.name, *v.value);
      } else {
        removeValue(*key, v.name);
      }
    }
  }
}

// ---- writing ----

std::string formatValueData(const RegistryValue& value) {
  std::string out;
  if (value.type == regtype::Sz &&
      std::none_of(value.data.begin(), value.data.end(), [](std::uint8_t b) { return b == '\n' || b == '\r' || b == 0; })) {
    return quoted(std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size()));
  }
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
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    appendHexByte(out, value.data[i]);
    if (i + 1 < value.data.size()) out += ',';
  }
  return out;
}

namespace {

void writeValueLine(std::string& out, const RegValueEntry& v) {
  std::string line = v.name.empty() ? std::string("@") : quoted(v.name);
  line += '=';
  std::string data = formatValueData(v.value);
  if (data.front() == '"' || line.size() + data.size() <= kHexLineWidth + 2) {
    out += line + data + '\n';
    return;
  }
  // Wrap long hex data after a comma, continuing on lines indented by two blanks.
  std::size_t colon = data.find(':');
  line += data.substr(0, colon + 1);
  std::size_t pos = colon + 1;
  while (pos < data.size()) {
    std::size_t item = std::min<std::size_t>(3, data.size() - pos);  // "xx,"
    if (line.size() + item > kHexLineWidth && pos + item < data.size()) {
      out += line + "\\\n";
      line = "  ";
    }
    line += data.substr(pos, item);
    pos += item;
  }
  out += line + '\n';
}

void writeKey(std::string& out, const RegKeyEntry& key) {
  out += '[' + key.name + "]\n";
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
