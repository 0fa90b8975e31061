// Reading REGEDIT4 text: the sections of a store or import file, and a store file as a tree.
#include "platform/regedit_format.h"

#include <unordered_map>

#include "platform/regedit_detail.h"

namespace qv::platform {

using regedit_detail::kHeader;
using regedit_detail::lowered;

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s) {
  while (!s.empty() && (isBlank(s.front()) || s.front() == '\r')) s.remove_prefix(1);
  while (!s.empty() && (isBlank(s.back()) || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

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

}  // namespace qv::platform
