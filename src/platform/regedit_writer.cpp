// Writing the tree as REGEDIT4 text.
#include "platform/regedit_format.h"

#include <algorithm>
#include <cstring>

#include "platform/regedit_detail.h"

namespace qv::platform {

using regedit_detail::kHeader;

namespace {

constexpr std::size_t kHexLineWidth = 76;  // continued hex lines stay within 80 columns

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

}  // namespace

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
